// One client's connection to the registry server, from its greeting to its farewell.
#include "server/ConexaoDoCliente.h"
#include "protocol/Compressao.h"
#include "protocol/Wire.h"
#include "protocol/modCommands.h"
#include "server/store/Banco.h"
#include "server/ConferenciaDeSessoes.h"
#include "server/Diario.h"
#include "server/PedidosCombinados.h"
#include "server/monitoring/Metricas.h"
#include "server/RegistroDoPedido.h"
#include "server/SaudeDoServidor.h"
#include "server/TrabalhoNoBanco.h"
#include "server/network/Tls.h"
#include "server/network/Escoamento.h"
#include "server/network/Limites.h"
#include "server/network/Vazao.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QSslCipher>
#include <QSslSocket>
#include <QTimer>

#include <limits>

namespace {
QByteArray codigo(int c) { return QByteArray::number(c); }

// Wall-clock time: sessions are shared with other servers through the database.
qint64 agoraMs() { return QDateTime::currentMSecsSinceEpoch(); }

} // namespace

ConexaoDoCliente::ConexaoDoCliente(QTcpSocket* socket, quint64 numero, const Ambiente& ambiente)
    : QObject(socket),
      m_trabalho(ambiente.trabalho),
      m_tamanhos(ambiente.tamanhos),
      m_opcoes(ambiente.opcoes),
      m_sessoes(ambiente.sessoes),
      m_relogio(ambiente.relogio),
      m_tls(ambiente.tls),
      m_socket(socket),
      m_endereco(socket->peerAddress()),
      m_chaveDoEndereco(Sessoes::chave(m_endereco)),
      m_nome(m_chaveDoEndereco + QLatin1Char(':') + QString::number(socket->peerPort())),
      m_numero(numero),
      m_silencio(new QTimer(this)),
      m_ociosa(new QTimer(this)),
      m_escoamento(new Escoamento(socket, ambiente.opcoes.emTransito, ambiente.opcoes.semLerMs, [this](qint64 esperando) { naoLe(esperando); },
                                  this))
{
    socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    m_ociosa->setSingleShot(true);
    m_ociosa->setTimerType(Qt::CoarseTimer);
    connect(m_ociosa, &QTimer::timeout, this, &ConexaoDoCliente::ociosa);
    m_ociosa->start(m_opcoes.semLoginMs);
    m_silencio->setSingleShot(true);
    m_silencio->setTimerType(Qt::PreciseTimer);
    connect(m_silencio, &QTimer::timeout, this, &ConexaoDoCliente::silencio);
    connect(socket, &QTcpSocket::readyRead, this, &ConexaoDoCliente::chegaram);
    connect(socket, &QTcpSocket::disconnected, this, &ConexaoDoCliente::desconectou);
}

ConexaoDoCliente::~ConexaoDoCliente() = default;

void ConexaoDoCliente::cumprimenta()
{
    registraNoDiario(m_nome + QStringLiteral(" conectou"));
    m_socket->write(Wire::codifica(MontaComando(Codigo::Aceito)));
}

Portador ConexaoDoCliente::portador() const
{
    return {m_chave, m_chaveDoEndereco, m_opcoes.sessaoPorEndereco && !m_combinouSessao};
}

void ConexaoDoCliente::derruba()
{
    m_fechando = true;
    m_socket->abort();   // "disconnected" comes at once: nothing here may run after this
}

void ConexaoDoCliente::desconectou()
{
    registraNoDiario(m_nome + QStringLiteral(" desconectou"));
    // From now on nothing happens here; a reply still on its way finds the connection gone.
    m_desconectada = true;
    m_fechando = true;
    cancelaVazao();
    m_silencio->stop();
    m_ociosa->stop();
    emit fechou();
    // A plain-wire login's session is this connection's alone (ended on a worker: the loop never waits on the database).
    if (m_sessaoSoDaConexao) {
        Sessoes* sessoes = &m_sessoes;
        m_trabalho.executa(nullptr, [sessoes, chave = m_chave, nome = m_nome](Banco& banco) {
            if (!sessoes->encerra(chave, &banco))
                registraNoDiario(nome + QStringLiteral(" sessão não encerrada: erro do banco: ") + banco.ultimoErro());
        }, {});
    }
    m_socket->deleteLater();   // this object with it
}

void ConexaoDoCliente::ociosa()
{
    if (m_fechando) {
        // Closing all this time: the last reply is still unread by a peer that reads nothing.
        m_socket->abort();
        return;
    }
    if (m_ocupada || m_escoamento->emCurso()) {
        // A request under way is not idleness. Without a login, only the login being checked
        // is waited for: a short look again, not a whole new period.
        m_ociosa->start(m_autenticada ? m_ociosa->interval() : std::min(m_opcoes.semLoginMs, 1000));
        return;
    }
    if (m_autenticada)
        emit aviso(QStringLiteral("ociosa"), QStringLiteral("%1 sem mensagens há %2 min -> conexão encerrada")
                                                   .arg(m_nome)
                                                   .arg(double(m_opcoes.ociosaMs) / 60'000.0, 0, 'f', 1));
    else
        emit aviso(QStringLiteral("sem login"), QStringLiteral("%1 sem login há %2 s -> conexão encerrada")
                                                      .arg(m_nome)
                                                      .arg(double(m_opcoes.semLoginMs) / 1000.0, 0, 'f', 1));
    derruba();
}

void ConexaoDoCliente::naoLe(qint64 esperando)
{
    emit aviso(QStringLiteral("sem ler"), QStringLiteral("%1 não lê há %2 s (%3 bytes esperando) -> conexão encerrada")
                                                .arg(m_nome)
                                                .arg(double(m_opcoes.semLerMs) / 1000.0, 0, 'f', 1)
                                                .arg(esperando));
    derruba();
}

void ConexaoDoCliente::sessaoEncerrada(const QString& chave)
{
    if (!m_autenticada || m_desconectada || chave.isEmpty() || chave != m_chave)
        return;
    m_autenticada = false;
    emit saiu();
    m_ociosa->start(m_opcoes.semLoginMs);
}

void ConexaoDoCliente::autentica()
{
    if (m_autenticada || m_desconectada)
        return;
    m_autenticada = true;
    emit autenticou();
    m_ociosa->start(int(std::min<qint64>(m_opcoes.ociosaMs, std::numeric_limits<int>::max())));
}

void ConexaoDoCliente::chegaram()
{
    const QByteArray novos = m_socket->readAll();
    Metricas::recebidos(novos.size());
    if (m_fechando)
        return;
    // Once logged in, every message (keep-alives too) shows the client is there.
    if (m_autenticada)
        m_ociosa->start();
    if (m_enquadrada) {
        chegaramEmQuadros(novos);
        return;
    }
    m_recebido += novos;
    const qsizetype limite = m_tamanhos.maximo(m_autenticada, m_chaveDoEndereco, agoraMs());
    if (m_recebido.size() > limite) {
        m_fechando = true;
        m_silencio->stop();
        m_recebido.clear();
        m_socket->write(Wire::codifica(MontaComando(Codigo::Falha)));
        avisaPedidoGrande(limite);
        m_socket->disconnectFromHost();
        return;
    }
    if (!m_ocupada)
        examina();
}

void ConexaoDoCliente::avisaPedidoGrande(qsizetype limite)
{
    emit aviso(QStringLiteral("pedido"), m_nome + QStringLiteral(" pedido maior que %1 bytes%2 -> 0, conexão encerrada")
                                                        .arg(limite)
                                                        .arg(limite < m_opcoes.maiorPedido ? QStringLiteral(" sem login") : QString()));
}

void ConexaoDoCliente::examina()
{
    using Enquadramento::Situacao;
    const Enquadramento::Analise a = Enquadramento::analisa(m_recebido);
    switch (a.situacao) {
    case Situacao::SoKeepAlive:
        m_silencio->stop();
        // Keep-alives are never answered; one "1" is kept in case a request code follows it.
        if (m_recebido.size() > 1)
            m_recebido = m_recebido.right(1);
        break;
    case Situacao::Incompleto:
        m_silencio->start(m_opcoes.esperaIncompletaMs);
        break;
    case Situacao::Completo:
        if (terminaNaDescricao(a) && m_socket->bytesAvailable() == 0) {
            m_silencio->stop();
            silencio();
            break;
        }
        m_silencio->start(m_opcoes.silencioMs);
        break;
    case Situacao::Invalido:
        m_silencio->start(m_opcoes.silencioMs);
        break;
    }
}

bool ConexaoDoCliente::terminaNaDescricao(const Enquadramento::Analise& a) const
{
    // Only the last piece can still be growing once a request has all its pieces, and for
    // every request but the login that piece is the department's description. When it is
    // already the whole description this connection's session knows, nothing more is coming:
    // no need to wait for the quiet interval.
    const QByteArray& r = m_recebido;
    const qsizetype ultima = r.lastIndexOf('|');
    const qsizetype penultima = ultima > a.inicio ? r.lastIndexOf('|', ultima - 1) : -1;
    if (a.codigo == Codigo::Login || penultima < a.inicio
        || QByteArrayView(r).sliced(a.inicio).count('|') != Codigo::pecasDaMensagem(a.codigo) - 1)
        return false;
    bool ok = false;
    const qint32 dep = QByteArrayView(r).sliced(penultima + 1, ultima - penultima - 1).toInt(&ok);
    if (!ok)
        return false;
    const std::optional<QString> ds = m_sessoes.consulta(portador(), dep, agoraMs());
    return ds && QByteArrayView(r).sliced(ultima + 1) == QByteArrayView(Wire::codifica(*ds));
}

void ConexaoDoCliente::silencio()
{
    using Enquadramento::Situacao;
    if (m_ocupada || m_fechando)
        return;
    const Enquadramento::Analise a = Enquadramento::analisa(m_recebido);
    const qint64 chegou = m_relogio.nsecsElapsed();
    switch (a.situacao) {
    case Situacao::SoKeepAlive:
        return;
    case Situacao::Completo: {
        QByteArray pedido = m_recebido.mid(a.inicio);
        m_recebido.clear();
        m_primeira = false;
        m_ocupada = true;
        entrega(a.codigo, std::move(pedido));
        return;
    }
    case Situacao::Incompleto:
        m_recebido.clear();
        m_primeira = false;
        m_ocupada = true;
        responde(a.codigo, codigo(Codigo::Falha), QStringLiteral("pedido incompleto"), chegou);
        return;
    case Situacao::Invalido:
        if (negocia(m_recebido))
            return;
        m_recebido.clear();
        m_primeira = false;
        m_ocupada = true;
        responde(-1, codigo(Codigo::Falha), QStringLiteral("pedido inválido"), chegou);
        return;
    }
}

void ConexaoDoCliente::chegaramEmQuadros(QByteArrayView novos)
{
    bool grandeDemais = false;
    // Messages waiting behind the one being served count too (with a little for each, so a
    // stream of empty messages is bounded as well).
    const qsizetype limite = m_tamanhos.maximo(m_autenticada, m_chaveDoEndereco, agoraMs());
    const bool inteiro = m_leitor.le(
        novos,
        [&](QByteArrayView dados) {
            if (m_bytesProntos + m_mensagem.size() + dados.size() > limite)
                grandeDemais = true;
            else
                m_mensagem += dados;
        },
        [&] {
            m_bytesProntos += m_mensagem.size() + 16;
            m_prontas.append(std::exchange(m_mensagem, QByteArray()));
            if (m_bytesProntos > limite)
                grandeDemais = true;
        });
    if (!inteiro || grandeDemais) {
        // Nothing after a broken frame can be trusted to start a message: refuse and close.
        m_fechando = true;
        m_prontas.clear();
        m_bytesProntos = 0;
        m_mensagem.clear();
        m_socket->write(Quadros::mensagem(codigo(Codigo::Falha)));
        if (grandeDemais)
            avisaPedidoGrande(limite);
        else
            registraNoDiario(m_nome + QStringLiteral(" quadro inválido -> 0, conexão encerrada"));
        m_socket->disconnectFromHost();
        return;
    }
    proximaEmQuadros();
}

void ConexaoDoCliente::proximaEmQuadros()
{
    using Enquadramento::Situacao;
    while (!m_ocupada && !m_fechando && !m_prontas.isEmpty()) {
        const QByteArray mensagem = m_prontas.takeFirst();
        m_bytesProntos = std::max<qsizetype>(0, m_bytesProntos - mensagem.size() - 16);
        // Inside TLS the agreement comes framed, ahead of what the client sent behind it.
        if (m_primeira && negocia(mensagem))
            continue;
        m_primeira = false;
        if (const int c = PedidosCombinados::codigo(m_combinadas, Wire::decodifica(mensagem)); c > 0) {
            m_ocupada = true;
            entrega(c, mensagem);
            return;
        }
        const Enquadramento::Analise a = Enquadramento::analisa(mensagem);
        const qint64 chegou = m_relogio.nsecsElapsed();
        m_ocupada = a.situacao != Situacao::SoKeepAlive;
        switch (a.situacao) {
        case Situacao::SoKeepAlive:
            break;
        case Situacao::Completo:
            entrega(a.codigo, mensagem.mid(a.inicio));
            return;
        case Situacao::Incompleto:
            responde(a.codigo, codigo(Codigo::Falha), QStringLiteral("pedido incompleto"), chegou);
            return;
        case Situacao::Invalido:
            responde(-1, codigo(Codigo::Falha), QStringLiteral("pedido inválido"), chegou);
            return;
        }
    }
}

bool ConexaoDoCliente::negocia(const QByteArray& mensagem)
{
    QStringList pedidas;
    if (!m_primeira || !Quadros::leNegociacao(Wire::decodifica(mensagem), pedidas))
        return false;
    m_recebido.clear();
    m_primeira = false;
    if (aceitaTls(pedidas))
        return true;
    // What only the database can tell is asked on a worker: the loop never waits on it.
    if (pedidas.contains(QLatin1String(Saude::capacidade))) {   // "serving?": answered with the state alone
        auto e = std::make_shared<Saude::Estado>();
        m_trabalho.executa(this, [e](Banco& b) { *e = SaudeDoServidor::doBanco(b); },
                       [this, e] { if (!m_desconectada) m_socket->write(SaudeDoServidor::resposta(*e, m_cifrada, m_nome)); });
        return true;
    }
    auto conferencia = std::make_shared<ConferenciaDeSessoes>(ConferenciaDeSessoes::doPedido(pedidas, m_combinouSessao));
    if (conferencia->passos.isEmpty() || !m_sessoes.noBanco()) {
        conferencia->confere(m_sessoes, nullptr, agoraMs());
        terminaNegociacao(pedidas, *conferencia);
        return true;
    }
    m_ocupada = true;
    Sessoes* sessoes = &m_sessoes;
    m_trabalho.executa(
        this, [sessoes, conferencia](Banco& banco) { conferencia->confere(*sessoes, &banco, agoraMs()); },
        [this, pedidas, conferencia] {
            if (m_desconectada)
                return;
            m_ocupada = false;
            terminaNegociacao(pedidas, *conferencia);
            // What came meanwhile, read as the negotiation says.
            if (m_enquadrada && !m_recebido.isEmpty())
                chegaramEmQuadros(std::exchange(m_recebido, QByteArray()));
            else if (m_enquadrada)
                proximaEmQuadros();
            else if (!m_recebido.isEmpty())
                examina();
        });
    return true;
}

void ConexaoDoCliente::terminaNegociacao(const QStringList& pedidas, const ConferenciaDeSessoes& conferencia)
{
    QStringList aceitas, diario;
    QStringList encerradas;
    bool retomada = false;
    if (pedidas.contains(QLatin1String(Quadros::capacidadeQuadros))) {
        aceitas << QLatin1String(Quadros::capacidadeQuadros);
        diario << QLatin1String(Quadros::capacidadeQuadros);
        // A sheet's history and an office's synchronization travel only in frames.
        m_combinadas = PedidosCombinados::aceitas(pedidas);
        aceitas << m_combinadas;
    }
    if (!aceitas.isEmpty() && pedidas.contains(QLatin1String(Compressao::capacidade))) {
        aceitas << QLatin1String(Compressao::capacidade);
        diario << QLatin1String(Compressao::capacidade);
    }
    const QString sessao = QLatin1String(Quadros::capacidadeSessao);
    const QString encerrar = QLatin1String(Quadros::capacidadeEncerrar);
    for (const QString& pedida : std::as_const(pedidas)) {
        const QString nome = pedida.section(u'=', 0, 0);
        const QString valor = pedida.section(u'=', 1);
        if (nome == sessao && !m_combinouSessao) {
            // Back in the session the secret names, when it is live; else a new secret, which
            // the next login on this connection binds. A secret of the wrong shape, forged or
            // from an ended session gets nothing of it. When the database cannot tell, the
            // secret is kept: every request checks the session again anyway.
            QString segredo;
            bool erro = false;
            // Under --exigir-tls a secret that crossed in clear opens nothing (but on this machine).
            if (Sessoes::pareceSegredo(valor) && Tls::loginPermitido(m_opcoes.exigirTls, m_cifrada, m_endereco)) {
                const ConferenciaDeSessoes::Passo* p = conferencia.retomada(Sessoes::chaveDoSegredo(valor));
                erro = p && p->erro;
                const bool viva = p && p->ok && !erro;
                if (viva || erro)
                    segredo = valor;
                retomada = viva && !erro;
            }
            diario << (segredo.isEmpty() ? QStringLiteral("sessão nova") : erro ? QStringLiteral("sessão mantida sem conferir (banco inacessível)")
                                                                             : QStringLiteral("sessão retomada"));
            if (segredo.isEmpty())
                segredo = Sessoes::novoSegredo();
            m_chave = Sessoes::chaveDoSegredo(segredo);
            m_combinouSessao = true;
            aceitas << sessao + QLatin1Char('=') + segredo;
        } else if (nome == encerrar && Sessoes::pareceSegredo(valor)) {
            // Log-off: the session that secret names ends, on every server of the database.
            const ConferenciaDeSessoes::Passo* p = conferencia.encerramento(Sessoes::chaveDoSegredo(valor));
            const bool ok = p && p->ok;
            diario << (ok ? QStringLiteral("sessão encerrada") : QStringLiteral("sessão não encerrada: erro do banco: ") + conferencia.erroDoBanco);
            if (ok) {
                aceitas << encerrar;
                encerradas << Sessoes::chaveDoSegredo(valor);
            }
        }
    }
    const QByteArray resposta = Wire::codifica(Quadros::pedidoDeNegociacao(aceitas));
    m_socket->write(m_cifrada ? Quadros::mensagem(resposta) : resposta);
    m_socket->flush();
    m_enquadrada = m_cifrada || aceitas.contains(QLatin1String(Quadros::capacidadeQuadros));
    m_empacota = m_enquadrada && aceitas.contains(QLatin1String(Compressao::capacidade));
    // Back in a live session: logged in, as far as the limits go (unless this same message ended it).
    if (retomada && !encerradas.contains(m_chave))
        autentica();
    for (const QString& chave : std::as_const(encerradas))
        emit encerrouSessao(chave);
    registraNoDiario(m_nome + QStringLiteral(" combinou: ") + (diario.isEmpty() ? QStringLiteral("nada") : diario.join(u',')));
}

bool ConexaoDoCliente::aceitaTls(const QStringList& pedidas)
{
    auto* ssl = qobject_cast<QSslSocket*>(m_socket);
    if (m_cifrada || !ssl || m_tls.localCertificate().isNull() || !pedidas.contains(QLatin1String(Quadros::capacidadeTls)))
        return false;
    // The answer names "tls" alone: what else was asked is asked again inside. Whatever
    // came after the offer is the client's handshake, which the socket now reads itself.
    m_socket->write(Wire::codifica(Quadros::pedidoDeNegociacao({QLatin1String(Quadros::capacidadeTls)})));
    m_socket->flush();
    connect(ssl, &QSslSocket::encrypted, this, &ConexaoDoCliente::cifrou);
    connect(ssl, &QSslSocket::errorOccurred, this, [this](QAbstractSocket::SocketError e) {
        if (e == QAbstractSocket::SslHandshakeFailedError && !m_fechando) {
            Metricas::tlsFalhou();
            registraNoDiario(m_nome + QStringLiteral(" TLS falhou: ") + m_socket->errorString());
            derruba();
        }
    });
    ssl->startServerEncryption();
    return true;
}

void ConexaoDoCliente::cifrou()
{
    // A new connection as far as the agreement goes; the login clock keeps running. Every
    // message inside is framed, the agreement's first (the client sends its first request
    // right behind it).
    m_cifrada = true;
    m_primeira = true;
    m_recebido.clear();
    m_enquadrada = true;
    const auto* ssl = static_cast<QSslSocket*>(m_socket);
    registraNoDiario(m_nome + QStringLiteral(" combinou: tls (%1, %2)")
                                  .arg(ssl->sessionProtocol() == QSsl::TlsV1_3 ? QStringLiteral("TLS 1.3") : QStringLiteral("TLS 1.2"),
                                       ssl->sessionCipher().name()));
}

void ConexaoDoCliente::entrega(int codigoPedido, QByteArray pedido)
{
    // The time for a login runs from the accept: attempts (refused ones above all) never extend it.
    emit pediu(codigoPedido, std::move(pedido));
}

Portador ConexaoDoCliente::preparaSessao(bool& compartilhada)
{
    // A connection that agreed on a session binds the secret it holds; any other gets a
    // secret of its own that nobody ever sees, and its session ends with it (or, under the
    // per-address rule, is shared by the plain-wire connections of its address).
    if (m_chave.isEmpty()) {
        m_chave = Sessoes::chaveDoSegredo(Sessoes::novoSegredo());
        m_sessaoSoDaConexao = !m_opcoes.sessaoPorEndereco;
    }
    compartilhada = m_opcoes.sessaoPorEndereco && !m_combinouSessao;
    return portador();
}

std::shared_ptr<Vazao> ConexaoDoCliente::comecaVazao()
{
    return m_escoamento->comeca();
}

void ConexaoDoCliente::cancelaVazao()
{
    m_escoamento->cancela();
}

void ConexaoDoCliente::aguardaEscoar(std::function<void()> continua)
{
    m_escoamento->aguarda(std::move(continua));
}

ConexaoDoCliente::Forma ConexaoDoCliente::formaDosPedacos() const
{
    return !m_enquadrada ? Forma::Simples : m_empacota ? Forma::Empacotada : Forma::Enquadrada;
}

QByteArray ConexaoDoCliente::pedacoPronto(Forma forma, QByteArrayView bytes)
{
    switch (forma) {
    case Forma::Empacotada:
        return Compressao::quadro(bytes);
    case Forma::Enquadrada:
        return Quadros::quadro(bytes);
    case Forma::Simples:
        break;
    }
    return bytes.toByteArray();
}

void ConexaoDoCliente::escrevePedaco(const QByteArray& cabecalho, const QByteArray& pronto, const QByteArray& codigo)
{
    if (!m_escoamento->emCurso())
        return;
    if (m_codigoDaResposta.isEmpty())
        m_codigoDaResposta = codigo;
    if (!cabecalho.isEmpty())
        m_socket->write(cabecalho);   // two writes of shared bytes: the socket's buffer keeps both as they are
    m_socket->write(pronto);
    m_escoamento->escreveu(cabecalho.size() + pronto.size());
}

void ConexaoDoCliente::responde(int codigoPedido, const QByteArray& bytes, const QString& desfecho, qint64 chegouNs, qint64 linhas,
                                qint32 departamento)
{
    // A login's reply is never packed: it answers a password.
    const Forma forma = formaDosPedacos();
    m_socket->write(pedacoPronto(codigoPedido == Codigo::Login && forma == Forma::Empacotada ? Forma::Enquadrada : forma, bytes));
    m_escoamento->vigia();
    if (m_enquadrada)
        m_socket->write(Quadros::fim());
    // Out now rather than on the loop's next pass: the reply is complete and nothing else
    // is waiting to join it.
    m_socket->flush();
    const qsizetype barra = bytes.indexOf('|');
    const QByteArray codigoDaResposta = m_codigoDaResposta.isEmpty() ? (barra < 0 ? bytes : bytes.left(barra)) : m_codigoDaResposta;
    registraResposta(codigoPedido, codigoDaResposta, desfecho, chegouNs, linhas, departamento);
    // Anything but 0 or "login refused" means the connection was let in (by its login or its session).
    if (codigoPedido >= 0 && codigoDaResposta != codigo(Codigo::Falha) && codigoDaResposta != codigo(Codigo::LoginNegado))
        autentica();
    libera();
}

void ConexaoDoCliente::falhaNoMeio(int codigoPedido, const QString& desfecho, qint64 chegouNs)
{
    // Part of the reply has left: code 0 can no longer replace it. Dropping the connection
    // is what tells the client the reply will not be whole.
    registraResposta(codigoPedido, "(cortada)", desfecho + QStringLiteral(", conexão encerrada"), chegouNs);
    derruba();
}

void ConexaoDoCliente::registraResposta(int pedido, QByteArrayView resposta, const QString& desfecho, qint64 chegouNs, qint64 linhas, qint32 dep)
{
    RegistroDoPedido::registra({m_nome, pedido, resposta, desfecho, m_relogio.nsecsElapsed() - chegouNs, linhas, dep}, m_opcoes.lentoMs);
}

void ConexaoDoCliente::libera()
{
    m_escoamento->termina();
    m_codigoDaResposta.clear();
    m_ocupada = false;
    if (m_enquadrada)
        proximaEmQuadros();
    else if (!m_recebido.isEmpty())
        examina();
}
