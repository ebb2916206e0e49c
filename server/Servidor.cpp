#include "server/Servidor.h"
#include "protocol/ErroDeExecucao.h"
#include "protocol/Wire.h"
#include "protocol/clsUsuario.h"
#include "protocol/modCommands.h"
#include "protocol/Quadros.h"
#include "server/Banco.h"
#include "server/Cadastro.h"
#include "server/Enquadramento.h"
#include "server/Oficina.h"
#include "server/Senhas.h"

#include <QDateTime>
#include <QHash>
#include <QMutex>
#include <QWaitCondition>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <cstdio>
#include <limits>

void registraNoDiario(const QString& linha)
{
    QString limpa;
    limpa.reserve(linha.size());
    for (QChar c : linha) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f || (c.unicode() >= 0x80 && c.unicode() < 0xa0))
            limpa += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
        else
            limpa += c;
    }
    const QByteArray texto = QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs).toLatin1() + QByteArrayLiteral(" zelto-server: ")
        + limpa.toUtf8() + '\n';
    std::fwrite(texto.constData(), 1, size_t(texto.size()), stderr);
    std::fflush(stderr);
}

struct Servidor::Vazao {
    QMutex mutex;
    QWaitCondition pode;
    qsizetype aCaminho = 0;   // read by the worker, not yet handed to the socket
    qsizetype noSocket = 0;   // in the socket's buffer, not yet taken by the system
    bool cancelada = false;

    // The worker, before handing over `n` more bytes: waits while too much is still unsent.
    bool reserva(qsizetype limite, qsizetype n)
    {
        QMutexLocker trava(&mutex);
        while (!cancelada && aCaminho + noSocket > limite)
            pode.wait(&mutex);
        if (cancelada)
            return false;
        aCaminho += n;
        return true;
    }
    void escrito(qsizetype n, qsizetype noSocketAgora)
    {
        QMutexLocker trava(&mutex);
        aCaminho -= n;
        noSocket = noSocketAgora;
        pode.wakeAll();
    }
    void saiu(qsizetype noSocketAgora)
    {
        QMutexLocker trava(&mutex);
        noSocket = noSocketAgora;
        pode.wakeAll();
    }
    void cancela()
    {
        QMutexLocker trava(&mutex);
        cancelada = true;
        pode.wakeAll();
    }
};

struct Servidor::Conexao {
    QTcpSocket* socket = nullptr;
    QTimer* timer = nullptr;
    QHostAddress endereco;
    QString nome;             // "address:port", for the log
    QByteArray recebido;      // bytes not yet taken as a request (plain wire)
    bool ocupada = false;     // a request of this connection is being served
    bool fechando = false;
    bool primeira = true;     // no message served yet: the framing may still be agreed
    // The session: its key (the hash of the secret), whether the client agreed on one (it
    // holds the secret and comes back with it), and whether it ends with this connection.
    QString chave;
    bool combinouSessao = false;
    bool sessaoSoDaConexao = false;
    // Framed messages (once agreed): the reader, the message growing, those complete.
    bool enquadrada = false;
    Quadros::Leitor leitor;
    QByteArray mensagem;
    QList<QByteArray> prontas;
    // The long reply under way, and the code its first piece carried (for the log).
    std::shared_ptr<Vazao> vazao;
    QByteArray codigoDaResposta;
    // Limits: the address as counted, the idle clock, and the place among those not logged in.
    QString chaveDoEndereco;
    QTimer* ociosa = nullptr;
    bool autenticada = false;
    bool contada = false;
    std::list<Conexao*>::iterator naFila;
    qsizetype bytesProntos = 0;   // what `prontas` holds, with a little for each message
};

namespace {

// The connections live as long as their sockets; the socket's property finds them back.
const char* const propriedadeConexao = "zelto.conexao";

QByteArray codigo(int c)
{
    return QByteArray::number(c);
}

QString milissegundos(qint64 ns)
{
    return QString::number(double(ns) / 1e6, 'f', 1) + QStringLiteral(" ms");
}

} // namespace

Servidor::Servidor(Banco& armazem, Opcoes opcoes, QObject* pai)
    : QObject(pai),
      m_armazem(armazem),
      m_opcoes(opcoes),
      m_servidor(new QTcpServer(this)),
      m_sessoes(opcoes.sessaoMs, true),
      m_filaDeSenhas(std::make_shared<FilaDeSenhas>(opcoes.filaDeSenhas, opcoes.senhasPorEndereco)),
      m_baldes(opcoes.rajadaDeLogins, opcoes.loginsPorMinuto)
{
    m_relogio.start();
    // The store reopens a lost database connection in the background, and says so.
    m_armazem.defineDiario(registraNoDiario);
    auto* vigia = new QTimer(this);
    connect(vigia, &QTimer::timeout, this, [this] { m_armazem.vigia(); });
    vigia->start(1000);
    m_conferencias.setMaxThreadCount(2);
    connect(m_servidor, &QTcpServer::newConnection, this, &Servidor::aceita);
    connect(m_servidor, &QTcpServer::acceptError, this, &Servidor::erroAoAceitar);
}

qint64 Servidor::agoraMs()
{
    return QDateTime::currentMSecsSinceEpoch();
}

Servidor::~Servidor()
{
    for (const auto& v : std::as_const(m_vazoes))
        v->cancela();
    m_oficina.reset();
    m_conferencias.waitForDone();
}

bool Servidor::escuta(QString& erro)
{
    if (!m_oficina) {
        auto oficina = std::make_unique<Oficina>(m_armazem.conexao(), m_sessoes, m_opcoes.leitores);
        if (!oficina->inicia(erro))
            return false;
        m_oficina = std::move(oficina);
    }
    // Every connection holds an open file: the ceiling leaves room for the database and
    // the log, so the system never refuses us a connection we would want to greet.
    const qint64 arquivos = Limites::elevaLimiteDeArquivos();
    const int peloSistema = arquivos > 0 ? Limites::tetoDeConexoes(arquivos - Limites::arquivosAbertos(), m_opcoes.leitores + 2) : 1 << 24;
    // Never above what the files allow: out of files, QTcpServer (Qt 6.4) retries the accept
    // at every pass of the loop without a word, and nobody is greeted any more.
    m_tetoDeConexoes = m_opcoes.limiteDeConexoes > 0 ? std::min(m_opcoes.limiteDeConexoes, peloSistema) : peloSistema;
    registraNoDiario(QStringLiteral("limite de arquivos abertos %1: até %2 conexões, %3 por endereço")
                         .arg(arquivos)
                         .arg(m_tetoDeConexoes)
                         .arg(m_opcoes.conexoesPorEndereco));
    m_servidor->setListenBacklogSize(m_opcoes.filaDeConexoes);
    if (!m_servidor->listen(m_opcoes.endereco, m_opcoes.porta)) {
        erro = m_servidor->errorString();
        return false;
    }
    return true;
}

QHostAddress Servidor::enderecoOuvindo() const
{
    return m_servidor->serverAddress();
}

quint16 Servidor::portaOuvindo() const
{
    return m_servidor->serverPort();
}

Servidor::Conexao* Servidor::conexaoDe(QTcpSocket* socket) const
{
    return socket ? static_cast<Conexao*>(socket->property(propriedadeConexao).value<void*>()) : nullptr;
}

Portador Servidor::portadorDe(const Conexao* c) const
{
    return {c->chave, Sessoes::chave(c->endereco), m_opcoes.sessaoPorEndereco && !c->combinouSessao};
}

void Servidor::aceita()
{
    while (QTcpSocket* socket = m_servidor->nextPendingConnection()) {
        const QString chave = Sessoes::chave(socket->peerAddress());
        const QString nome = chave + QLatin1Char(':') + QString::number(socket->peerPort());
        const int doEndereco = m_porEndereco.value(chave);
        const bool cheio = doEndereco >= m_opcoes.conexoesPorEndereco;
        if (cheio || (m_abertas >= m_tetoDeConexoes && !fechaMaisAntigaSemLogin())) {
            avisa(cheio ? QStringLiteral("por endereço") : QStringLiteral("teto"),
                  cheio ? QStringLiteral("%1 recusada: %2 conexões abertas desse endereço (limite)").arg(nome).arg(doEndereco)
                        : QStringLiteral("%1 recusada: %2 conexões abertas (limite), todas com login ou atendendo").arg(nome).arg(m_abertas));
            socket->abort();
            socket->deleteLater();
            continue;
        }
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        auto* c = new Conexao;
        c->socket = socket;
        c->endereco = socket->peerAddress();
        c->chaveDoEndereco = chave;
        c->nome = nome;
        c->contada = true;
        ++m_abertas;
        ++m_porEndereco[chave];
        c->naFila = m_semLogin.insert(m_semLogin.end(), c);
        c->ociosa = new QTimer(socket);
        c->ociosa->setSingleShot(true);
        c->ociosa->setTimerType(Qt::CoarseTimer);
        connect(c->ociosa, &QTimer::timeout, this, [this, c] { ociosa(c); });
        c->ociosa->start(m_opcoes.semLoginMs);
        c->timer = new QTimer(socket);
        c->timer->setSingleShot(true);
        c->timer->setTimerType(Qt::PreciseTimer);
        socket->setProperty(propriedadeConexao, QVariant::fromValue<void*>(c));

        connect(c->timer, &QTimer::timeout, this, [this, c] { silencio(c); });
        connect(socket, &QTcpSocket::readyRead, this, [this, c] { chegaram(c); });
        connect(socket, &QTcpSocket::bytesWritten, this, [c] {
            if (c->vazao)
                c->vazao->saiu(c->socket->bytesToWrite());
        });
        connect(socket, &QTcpSocket::disconnected, this, [this, c] {
            registraNoDiario(c->nome + QStringLiteral(" desconectou"));
            if (c->vazao) {
                c->vazao->cancela();
                m_vazoes.removeOne(c->vazao);
            }
            c->timer->stop();
            esquece(c);
            // A plain-wire login's session is this connection's alone.
            if (c->sessaoSoDaConexao && !m_sessoes.encerra(c->chave, &m_armazem))
                registraNoDiario(c->nome + QStringLiteral(" sessão não encerrada: erro do banco: ") + m_armazem.ultimoErro());
            c->socket->setProperty(propriedadeConexao, QVariant());
            c->socket->deleteLater();
            delete c;
        });

        registraNoDiario(c->nome + QStringLiteral(" conectou"));
        socket->write(Wire::codifica(MontaComando(Codigo::Aceito)));
    }
}

void Servidor::chegaram(Conexao* c)
{
    const QByteArray novos = c->socket->readAll();
    if (c->fechando)
        return;
    // Once logged in, every message (keep-alives too) shows the client is there.
    if (c->autenticada)
        c->ociosa->start();
    if (c->enquadrada) {
        chegaramEmQuadros(c, novos);
        return;
    }
    c->recebido += novos;
    const qsizetype limite = maiorPedidoDe(c);
    if (c->recebido.size() > limite) {
        c->fechando = true;
        c->timer->stop();
        c->recebido.clear();
        c->socket->write(Wire::codifica(MontaComando(Codigo::Falha)));
        avisa(QStringLiteral("pedido"), c->nome + QStringLiteral(" pedido maior que %1 bytes%2 -> 0, conexão encerrada")
                                                      .arg(limite)
                                                      .arg(limite < m_opcoes.maiorPedido ? QStringLiteral(" sem login") : QString()));
        c->socket->disconnectFromHost();
        return;
    }
    if (!c->ocupada)
        examina(c);
}

void Servidor::examina(Conexao* c)
{
    using Enquadramento::Situacao;
    const Enquadramento::Analise a = Enquadramento::analisa(c->recebido);
    switch (a.situacao) {
    case Situacao::SoKeepAlive:
        c->timer->stop();
        // Keep-alives are never answered; one "1" is kept in case a request code follows it.
        if (c->recebido.size() > 1)
            c->recebido = c->recebido.right(1);
        break;
    case Situacao::Incompleto:
        c->timer->start(m_opcoes.esperaIncompletaMs);
        break;
    case Situacao::Completo:
        if (terminaNaDescricao(c, a) && c->socket->bytesAvailable() == 0) {
            c->timer->stop();
            silencio(c);
            break;
        }
        c->timer->start(m_opcoes.silencioMs);
        break;
    case Situacao::Invalido:
        c->timer->start(m_opcoes.silencioMs);
        break;
    }
}

bool Servidor::terminaNaDescricao(const Conexao* c, const Enquadramento::Analise& a) const
{
    // Only the last piece can still be growing once a request has all its pieces, and for
    // every request but the login that piece is the department's description. When it is
    // already the whole description this connection's session knows, nothing more is coming:
    // no need to wait for the quiet interval.
    const QByteArray& r = c->recebido;
    const qsizetype ultima = r.lastIndexOf('|');
    const qsizetype penultima = ultima > a.inicio ? r.lastIndexOf('|', ultima - 1) : -1;
    if (a.codigo == Codigo::Login || penultima < a.inicio
        || QByteArrayView(r).sliced(a.inicio).count('|') != Codigo::pecasDaMensagem(a.codigo) - 1)
        return false;
    bool ok = false;
    const qint32 dep = QByteArrayView(r).sliced(penultima + 1, ultima - penultima - 1).toInt(&ok);
    if (!ok)
        return false;
    const std::optional<QString> ds = m_sessoes.consulta(portadorDe(c), dep, agoraMs());
    return ds && QByteArrayView(r).sliced(ultima + 1) == QByteArrayView(Wire::codifica(*ds));
}

void Servidor::silencio(Conexao* c)
{
    using Enquadramento::Situacao;
    if (c->ocupada || c->fechando)
        return;
    const Enquadramento::Analise a = Enquadramento::analisa(c->recebido);
    const qint64 chegou = m_relogio.nsecsElapsed();
    switch (a.situacao) {
    case Situacao::SoKeepAlive:
        return;
    case Situacao::Completo: {
        QByteArray pedido = c->recebido.mid(a.inicio);
        c->recebido.clear();
        c->primeira = false;
        c->ocupada = true;
        atendePedido(c, a.codigo, std::move(pedido));
        return;
    }
    case Situacao::Incompleto:
        c->recebido.clear();
        c->primeira = false;
        c->ocupada = true;
        responde(c->socket, a.codigo, codigo(Codigo::Falha), QStringLiteral("pedido incompleto"), chegou);
        return;
    case Situacao::Invalido:
        if (negocia(c))
            return;
        c->recebido.clear();
        c->primeira = false;
        c->ocupada = true;
        responde(c->socket, -1, codigo(Codigo::Falha), QStringLiteral("pedido inválido"), chegou);
        return;
    }
}

void Servidor::chegaramEmQuadros(Conexao* c, QByteArrayView novos)
{
    bool grandeDemais = false;
    // Messages waiting behind the one being served count too (with a little for each, so a
    // stream of empty messages is bounded as well).
    const qsizetype limite = maiorPedidoDe(c);
    const bool inteiro = c->leitor.le(
        novos,
        [&](QByteArrayView dados) {
            if (c->bytesProntos + c->mensagem.size() + dados.size() > limite)
                grandeDemais = true;
            else
                c->mensagem += dados;
        },
        [&] {
            c->bytesProntos += c->mensagem.size() + 16;
            c->prontas.append(std::exchange(c->mensagem, QByteArray()));
            if (c->bytesProntos > limite)
                grandeDemais = true;
        });
    if (!inteiro || grandeDemais) {
        // Nothing after a broken frame can be trusted to start a message: refuse and close.
        c->fechando = true;
        c->prontas.clear();
        c->bytesProntos = 0;
        c->mensagem.clear();
        c->socket->write(Quadros::mensagem(codigo(Codigo::Falha)));
        if (grandeDemais)
            avisa(QStringLiteral("pedido"), c->nome + QStringLiteral(" pedido maior que %1 bytes%2 -> 0, conexão encerrada")
                                                          .arg(limite)
                                                          .arg(limite < m_opcoes.maiorPedido ? QStringLiteral(" sem login") : QString()));
        else
            registraNoDiario(c->nome + QStringLiteral(" quadro inválido -> 0, conexão encerrada"));
        c->socket->disconnectFromHost();
        return;
    }
    proximaEmQuadros(c);
}

void Servidor::proximaEmQuadros(Conexao* c)
{
    using Enquadramento::Situacao;
    while (!c->ocupada && !c->fechando && !c->prontas.isEmpty()) {
        const QByteArray mensagem = c->prontas.takeFirst();
        c->bytesProntos = std::max<qsizetype>(0, c->bytesProntos - mensagem.size() - 16);
        const Enquadramento::Analise a = Enquadramento::analisa(mensagem);
        const qint64 chegou = m_relogio.nsecsElapsed();
        c->ocupada = a.situacao != Situacao::SoKeepAlive;
        switch (a.situacao) {
        case Situacao::SoKeepAlive:
            break;
        case Situacao::Completo:
            atendePedido(c, a.codigo, mensagem.mid(a.inicio));
            return;
        case Situacao::Incompleto:
            responde(c->socket, a.codigo, codigo(Codigo::Falha), QStringLiteral("pedido incompleto"), chegou);
            return;
        case Situacao::Invalido:
            responde(c->socket, -1, codigo(Codigo::Falha), QStringLiteral("pedido inválido"), chegou);
            return;
        }
    }
}

bool Servidor::negocia(Conexao* c)
{
    QStringList pedidas;
    if (!c->primeira || !Quadros::leNegociacao(Wire::decodifica(c->recebido), pedidas))
        return false;
    c->recebido.clear();
    c->primeira = false;
    QStringList aceitas, diario;
    bool retomada = false;
    if (pedidas.contains(QLatin1String(Quadros::capacidadeQuadros))) {
        aceitas << QLatin1String(Quadros::capacidadeQuadros);
        diario << QLatin1String(Quadros::capacidadeQuadros);
    }
    const QString sessao = QLatin1String(Quadros::capacidadeSessao);
    const QString encerrar = QLatin1String(Quadros::capacidadeEncerrar);
    for (const QString& pedida : std::as_const(pedidas)) {
        const QString nome = pedida.section(u'=', 0, 0);
        const QString valor = pedida.section(u'=', 1);
        if (nome == sessao && !c->combinouSessao) {
            // Back in the session the secret names, when it is live; else a new secret, which
            // the next login on this connection binds. A secret of the wrong shape, forged or
            // from an ended session gets nothing of it. When the database cannot tell, the
            // secret is kept: every request checks the session again anyway.
            QString segredo;
            bool erro = false;
            if (Sessoes::pareceSegredo(valor)) {
                const QString chave = Sessoes::chaveDoSegredo(valor);
                const bool viva = m_sessoes.viva(chave, agoraMs(), &m_armazem, erro);
                if (viva || erro)
                    segredo = valor;
                retomada = viva && !erro;
            }
            diario << (segredo.isEmpty() ? QStringLiteral("sessão nova") : erro ? QStringLiteral("sessão mantida sem conferir (banco inacessível)")
                                                                             : QStringLiteral("sessão retomada"));
            if (segredo.isEmpty())
                segredo = Sessoes::novoSegredo();
            c->chave = Sessoes::chaveDoSegredo(segredo);
            c->combinouSessao = true;
            aceitas << sessao + QLatin1Char('=') + segredo;
        } else if (nome == encerrar && Sessoes::pareceSegredo(valor)) {
            // Log-off: the session that secret names ends, on every server of the database.
            const bool ok = m_sessoes.encerra(Sessoes::chaveDoSegredo(valor), &m_armazem);
            diario << (ok ? QStringLiteral("sessão encerrada") : QStringLiteral("sessão não encerrada: erro do banco: ") + m_armazem.ultimoErro());
            if (ok)
                aceitas << encerrar;
        }
    }
    c->socket->write(Wire::codifica(Quadros::pedidoDeNegociacao(aceitas)));
    c->socket->flush();
    c->enquadrada = aceitas.contains(QLatin1String(Quadros::capacidadeQuadros));
    // Back in a live session: logged in, as far as the limits go.
    if (retomada)
        autenticou(c);
    registraNoDiario(c->nome + QStringLiteral(" combinou: ") + (diario.isEmpty() ? QStringLiteral("nada") : diario.join(u',')));
    return true;
}

void Servidor::atendePedido(Conexao* c, int codigoPedido, QByteArray pedido)
{
    if (codigoPedido == Codigo::Login) {
        atendeLogin(c, pedido);
        return;
    }
    if (codigoPedido == Codigo::Busca) {
        atendeBusca(c, std::move(pedido));
        return;
    }
    const qint64 chegou = m_relogio.nsecsElapsed();
    QPointer<QTcpSocket> socket(c->socket);
    m_oficina->altera({codigoPedido, std::move(pedido), portadorDe(c), agoraMs(),
                       [this, socket, codigoPedido, chegou](Atendente::Resposta r) {
                           QMetaObject::invokeMethod(
                               this, [this, socket, codigoPedido, chegou, r] { responde(socket, codigoPedido, r.bytes, r.desfecho, chegou); },
                               Qt::QueuedConnection);
                       }});
}

void Servidor::atendeBusca(Conexao* c, QByteArray pedido)
{
    const qint64 chegou = m_relogio.nsecsElapsed();
    auto vazao = std::make_shared<Vazao>();
    c->vazao = vazao;
    m_vazoes.append(vazao);
    QPointer<QTcpSocket> socket(c->socket);
    const Portador portador = portadorDe(c);
    const qint64 agora = agoraMs();
    const qsizetype pedaco = m_opcoes.pedacoDeResposta;
    const qsizetype limite = m_opcoes.emTransito;
    m_oficina->le([this, socket, pedido, portador, agora, chegou, vazao, pedaco, limite](Banco&, Atendente& atendente) {
        const auto entrega = [&](QByteArray&& bloco) {
            if (!vazao->reserva(limite, bloco.size()))
                return false;
            QMetaObject::invokeMethod(
                this, [this, socket, bloco = std::move(bloco)]() mutable { escrevePedaco(socket, std::move(bloco)); },
                Qt::QueuedConnection);
            return true;
        };
        bool comecou = false;
        const Atendente::Resposta r = atendente.buscaEmPartes(Wire::decodifica(pedido), portador, agora, pedaco, entrega, comecou);
        QMetaObject::invokeMethod(
            this,
            [this, socket, r, comecou, chegou] {
                if (comecou && r.bytes == codigo(Codigo::Falha))
                    falhaNoMeio(socket, Codigo::Busca, r.desfecho, chegou);
                else
                    responde(socket, Codigo::Busca, r.bytes, r.desfecho, chegou);
            },
            Qt::QueuedConnection);
    });
}

void Servidor::atendeLogin(Conexao* c, const QByteArray& bytes)
{
    const qint64 chegou = m_relogio.nsecsElapsed();
    // A login is what a connection not yet logged in is given its short time for.
    if (!c->autenticada)
        c->ociosa->start(m_opcoes.semLoginMs);
    // Across user names: one address cannot spray passwords, nor fill the checks' queue.
    if (!m_baldes.tira(c->chaveDoEndereco, agoraMs())) {
        avisa(QStringLiteral("logins"), QStringLiteral("%1 logins demais desse endereço (%2 de uma vez, %3 por minuto) -> 0")
                                            .arg(c->nome)
                                            .arg(m_opcoes.rajadaDeLogins)
                                            .arg(m_opcoes.loginsPorMinuto));
        responde(c->socket, Codigo::Login, codigo(Codigo::Falha), QStringLiteral("logins demais desse endereço"), chegou);
        return;
    }
    clsUsuario u;
    try {
        u.fromPipeStringWithCommand(Wire::decodifica(bytes));
    } catch (const ErroDeExecucao&) {
        responde(c->socket, Codigo::Login, codigo(Codigo::Falha), QStringLiteral("login malformado"), chegou);
        return;
    }
    const QString quem = u.usuario.left(40);
    if (u.usuario.isEmpty() || u.senha.isEmpty() || u.usuario.size() > 200 || u.senha.size() > 1000) {
        responde(c->socket, Codigo::Login, codigo(Codigo::LoginNegado), QStringLiteral("login de '%1' negado").arg(quem), chegou);
        return;
    }
    if (m_tentativas.bloqueado(u.usuario, c->endereco, agoraMs())) {
        responde(c->socket, Codigo::Login, codigo(Codigo::LoginNegado),
                 QStringLiteral("login de '%1' negado: tentativas demais, aguardando").arg(quem), chegou);
        return;
    }
    // The checks are slow: when too many wait, 0 at once rather than a reply nobody waits for.
    if (!m_filaDeSenhas->entra(c->chaveDoEndereco)) {
        avisa(QStringLiteral("senhas"), QStringLiteral("%1 fila de conferência de senhas cheia (%2 no todo, %3 por endereço) -> 0")
                                            .arg(c->nome)
                                            .arg(m_opcoes.filaDeSenhas)
                                            .arg(m_opcoes.senhasPorEndereco));
        responde(c->socket, Codigo::Login, codigo(Codigo::Falha), QStringLiteral("fila de conferência de senhas cheia"), chegou);
        return;
    }
    const auto vaga = std::make_shared<FilaDeSenhas::Vaga>(m_filaDeSenhas, c->chaveDoEndereco);
    // Charged before the look-up and the (slow) check: parallel attempts cannot pass the rule.
    m_tentativas.cobra(u.usuario, c->endereco, agoraMs());

    QPointer<QTcpSocket> socket(c->socket);
    const QString usuarioPedido = u.usuario;
    const QString senha = u.senha;
    m_oficina->le([this, socket, usuarioPedido, senha, chegou, vaga](Banco& armazem, Atendente&) {
        std::optional<Operador> op;
        if (!Cadastro(armazem).operador(usuarioPedido, op)) {
            const QString porque = QStringLiteral("erro do banco: ") + armazem.ultimoErro();
            QMetaObject::invokeMethod(
                this, [this, socket, porque, chegou] { responde(socket, Codigo::Login, codigo(Codigo::Falha), porque, chegou); },
                Qt::QueuedConnection);
            return;
        }
        // A disabled operator is refused like an unknown one, after the same work.
        const QString hash = op && op->ativo ? op->hash : QString();
        const std::optional<Departamento> dep = op ? std::optional(op->departamento) : std::nullopt;
        const QString usuario = op ? op->usuario : usuarioPedido;
        m_conferencias.start([this, socket, hash, dep, usuario, senha, chegou, vaga] {
            bool certa = false;
            if (hash.isEmpty())
                Senhas::confereFicticio(senha);
            else
                certa = Senhas::confere(hash, senha);
            QMetaObject::invokeMethod(
                this, [this, socket, dep, usuario, certa, chegou] { loginConferido(socket, usuario, certa ? dep : std::nullopt, chegou); },
                Qt::QueuedConnection);
        });
    });
}

void Servidor::loginConferido(QPointer<QTcpSocket> socket, QString usuario, std::optional<Departamento> dep, qint64 chegouNs)
{
    Conexao* c = conexaoDe(socket.data());
    if (!c)
        return;
    const QString quem = usuario.left(40);
    if (!dep) {
        responde(socket, Codigo::Login, codigo(Codigo::LoginNegado), QStringLiteral("login de '%1' negado").arg(quem), chegouNs);
        return;
    }
    // A connection that agreed on a session binds the secret it holds; any other gets a
    // secret of its own that nobody ever sees, and its session ends with it (or, under the
    // per-address rule, is shared by the plain-wire connections of its address).
    if (c->chave.isEmpty()) {
        c->chave = Sessoes::chaveDoSegredo(Sessoes::novoSegredo());
        c->sessaoSoDaConexao = !m_opcoes.sessaoPorEndereco;
    }
    const bool compartilhada = m_opcoes.sessaoPorEndereco && !c->combinouSessao;
    if (!m_sessoes.abre(portadorDe(c), usuario, dep->id, dep->descricao, agoraMs(), &m_armazem, compartilhada)) {
        responde(socket, Codigo::Login, codigo(Codigo::Falha), QStringLiteral("erro do banco: ") + m_armazem.ultimoErro(), chegouNs);
        return;
    }
    m_tentativas.acertou(usuario, c->endereco);
    clsUsuario r;
    r.usuario = usuario;   // the password never travels back
    r.departamento.idDepartamento = dep->id;
    r.departamento.dsDepartamento = dep->descricao;
    responde(socket, Codigo::Login, Wire::codifica(r.toPipeStringWithCommand(Codigo::LoginAceito)),
             QStringLiteral("login de '%1' aceito, departamento %2").arg(quem).arg(dep->id), chegouNs);
}

void Servidor::escreve(Conexao* c, QByteArrayView bytes)
{
    if (c->enquadrada)
        c->socket->write(Quadros::quadro(bytes));
    else
        c->socket->write(bytes.data(), bytes.size());
}

void Servidor::escrevePedaco(QPointer<QTcpSocket> socket, QByteArray bytes)
{
    Conexao* c = conexaoDe(socket.data());
    if (!c || !c->vazao)
        return;
    if (c->codigoDaResposta.isEmpty()) {
        const qsizetype barra = bytes.indexOf('|');
        c->codigoDaResposta = barra < 0 ? bytes : bytes.left(barra);
    }
    escreve(c, bytes);
    c->vazao->escrito(bytes.size(), c->socket->bytesToWrite());
}

void Servidor::responde(QTcpSocket* socket, int codigoPedido, const QByteArray& bytes, const QString& desfecho, qint64 chegouNs)
{
    Conexao* c = conexaoDe(socket);
    if (!c)
        return;
    escreve(c, bytes);
    if (c->enquadrada)
        c->socket->write(Quadros::fim());
    // Out now rather than on the loop's next pass: the reply is complete and nothing else
    // is waiting to join it.
    c->socket->flush();
    const qsizetype barra = bytes.indexOf('|');
    const QByteArray codigoDaResposta = c->codigoDaResposta.isEmpty() ? (barra < 0 ? bytes : bytes.left(barra)) : c->codigoDaResposta;
    registraResposta(c, codigoPedido, codigoDaResposta, desfecho, chegouNs);
    // Anything but 0 or "login refused" means the connection was let in (by its login or its session).
    if (codigoPedido >= 0 && codigoDaResposta != codigo(Codigo::Falha) && codigoDaResposta != codigo(Codigo::LoginNegado)) {
        if (codigoPedido == Codigo::Login)
            m_baldes.devolve(c->chaveDoEndereco, agoraMs());   // a right password costs the address nothing
        autenticou(c);
    }
    libera(c);
}

void Servidor::falhaNoMeio(QTcpSocket* socket, int codigoPedido, const QString& desfecho, qint64 chegouNs)
{
    Conexao* c = conexaoDe(socket);
    if (!c)
        return;
    // Part of the reply has left: code 0 can no longer replace it. Dropping the connection
    // is what tells the client the reply will not be whole.
    registraResposta(c, codigoPedido, "(cortada)", desfecho + QStringLiteral(", conexão encerrada"), chegouNs);
    c->fechando = true;
    socket->abort();
}

void Servidor::registraResposta(Conexao* c, int codigoPedido, QByteArrayView codigoDaResposta, const QString& desfecho, qint64 chegouNs)
{
    registraNoDiario(QStringLiteral("%1 pedido %2 -> %3 %4 (%5)")
                         .arg(c->nome, codigoPedido >= 0 ? QString::number(codigoPedido) : QStringLiteral("?"),
                              QString::fromLatin1(codigoDaResposta), desfecho,
                              milissegundos(m_relogio.nsecsElapsed() - chegouNs)));
}

void Servidor::libera(Conexao* c)
{
    if (c->vazao) {
        m_vazoes.removeOne(c->vazao);
        c->vazao.reset();
    }
    c->codigoDaResposta.clear();
    c->ocupada = false;
    if (c->enquadrada)
        proximaEmQuadros(c);
    else if (!c->recebido.isEmpty())
        examina(c);
}

void Servidor::erroAoAceitar()
{
    // The system would not hand over a connection and Qt has stopped accepting. Make room
    // and take up accepting again shortly, never in a tight loop. (Out of open files Qt says
    // nothing; the ceiling keeps us from getting there.)
    m_servidor->pauseAccepting();
    const QString porque = m_servidor->errorString();
    // Room for a few at once: more are surely waiting in the backlog.
    const int abertas = m_abertas;
    int liberadas = 0;
    while (liberadas < 16 && fechaMaisAntigaSemLogin())
        ++liberadas;
    const bool liberou = liberadas > 0;
    avisa(QStringLiteral("aceitar"), QStringLiteral("o sistema recusou uma conexão (%1) com %2 abertas; %3 sem login encerradas, aceitando de novo em %4 ms")
                                         .arg(porque)
                                         .arg(abertas)
                                         .arg(liberadas)
                                         .arg(liberou ? 50 : 1000));
    if (m_aceitarPausado)
        return;
    m_aceitarPausado = true;
    QTimer::singleShot(liberou ? 50 : 1000, this, [this] {
        m_aceitarPausado = false;
        m_servidor->resumeAccepting();
    });
}

bool Servidor::fechaMaisAntigaSemLogin()
{
    for (Conexao* c : m_semLogin) {
        if (c->ocupada || c->fechando)
            continue;   // a login under way: let it finish
        avisa(QStringLiteral("teto"), QStringLiteral("%1 sem login encerrada para dar lugar a outra (%2 conexões abertas, limite)")
                                          .arg(c->nome)
                                          .arg(m_abertas));
        c->fechando = true;
        c->socket->abort();   // its file is needed now; the "disconnected" handler forgets it
        return true;
    }
    return false;
}

void Servidor::esquece(Conexao* c)
{
    if (!c->contada)
        return;
    c->contada = false;
    --m_abertas;
    const auto it = m_porEndereco.find(c->chaveDoEndereco);
    if (it != m_porEndereco.end() && --*it <= 0)
        m_porEndereco.erase(it);
    if (!c->autenticada)
        m_semLogin.erase(c->naFila);
    c->ociosa->stop();
}

void Servidor::ociosa(Conexao* c)
{
    if (c->fechando) {
        // Closing all this time: the last reply is still unread by a peer that reads nothing.
        c->socket->abort();
        return;
    }
    if (c->ocupada || c->vazao) {
        c->ociosa->start();   // a request under way is not idleness
        return;
    }
    if (c->autenticada)
        avisa(QStringLiteral("ociosa"), QStringLiteral("%1 sem mensagens há %2 min -> conexão encerrada")
                                            .arg(c->nome)
                                            .arg(double(m_opcoes.ociosaMs) / 60'000.0, 0, 'f', 1));
    else
        avisa(QStringLiteral("sem login"), QStringLiteral("%1 sem login há %2 s -> conexão encerrada")
                                               .arg(c->nome)
                                               .arg(double(m_opcoes.semLoginMs) / 1000.0, 0, 'f', 1));
    c->fechando = true;
    c->socket->abort();
}

void Servidor::autenticou(Conexao* c)
{
    if (c->autenticada)
        return;
    c->autenticada = true;
    m_semLogin.erase(c->naFila);
    const qint64 agora = agoraMs();
    if (m_enderecosComLogin.size() > 10'000) {
        for (auto it = m_enderecosComLogin.begin(); it != m_enderecosComLogin.end();)
            it = agora - *it > m_opcoes.sessaoMs ? m_enderecosComLogin.erase(it) : std::next(it);
    }
    m_enderecosComLogin.insert(c->chaveDoEndereco, agora);
    c->ociosa->start(int(std::min<qint64>(m_opcoes.ociosaMs, std::numeric_limits<int>::max())));
}

qsizetype Servidor::maiorPedidoDe(const Conexao* c) const
{
    // A login is small. Our client comes back into its session before its next request (a
    // live secret counts as logged in). The original client, under the per-address rule,
    // sends whatever it was sending (a sheet with long texts) on a new connection straight
    // away: an address that logged in lately keeps the full size then.
    if (c->autenticada)
        return m_opcoes.maiorPedido;
    if (!m_opcoes.sessaoPorEndereco)
        return std::min(m_opcoes.maiorPedidoSemLogin, m_opcoes.maiorPedido);
    const auto it = m_enderecosComLogin.constFind(c->chaveDoEndereco);
    if (it != m_enderecosComLogin.cend() && agoraMs() - *it < m_opcoes.sessaoMs)
        return m_opcoes.maiorPedido;
    return std::min(m_opcoes.maiorPedidoSemLogin, m_opcoes.maiorPedido);
}

void Servidor::avisa(const QString& tipo, const QString& linha)
{
    qint64 omitidos = 0;
    if (!m_avisos.pode(tipo, agoraMs(), omitidos))
        return;
    registraNoDiario(omitidos > 0 ? linha + QStringLiteral(" (e mais %1 avisos iguais omitidos)").arg(omitidos) : linha);
}
