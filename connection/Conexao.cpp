// The client's one connection to the registry server (see Conexao.h).
#include "connection/Conexao.h"
#include "app/Implantacao.h"
#include "app/modGlobais.h"
#include "connection/Confianca.h"
#include "protocol/ErroDeExecucao.h"
#include "protocol/Historico.h"
#include "protocol/Sincronia.h"
#include "protocol/Wire.h"
#include "protocol/modCommands.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QSet>
#include <QSslConfiguration>
#include <QSslSocket>
#include <QThread>
#include <QTimer>

#include <new>
#include <utility>

namespace {

// What the socket's failures are reported as coming from.
const QString nomeDoSocket = QStringLiteral("wskClient");

// Servers (host:port) found this run not to take part in the framing agreement: their
// connections go straight to the plain wire.
QSet<QString>& servidoresSimples()
{
    static QSet<QString> s;
    return s;
}

// Servers (host:port) found this run to take part in the agreement without TLS: their
// reconnects present the session's secret on the plain wire, as before TLS.
QSet<QString>& servidoresSemTls()
{
    static QSet<QString> s;
    return s;
}

// TLS 1.2 at least (1.3 when both have it); the certificate is judged by Confianca.
void preparaTls(QSslSocket& s)
{
    QSslConfiguration c = s.sslConfiguration();
    c.setProtocol(QSsl::TlsV1_2OrLater);
    c.setPeerVerifyMode(QSslSocket::QueryPeer);
    s.setSslConfiguration(c);
}
// What connections ask for in the agreement (see definePedidos).
bool pedeQuadros = true;
bool pedeEmpacotamento = true;

// How long the agreement's one exchange may take before the server counts as not taking part.
constexpr int limiteDaNegociacaoMs = 1000;

// A request sent right after a keep-alive could reach the server in the same read as the
// "1" and be taken for one message ("13|..."): keep them this far apart.
constexpr qint64 intervaloAposKeepAliveMs = 25;

QString descricaoDoErro(const QTcpSocket& socket)
{
    switch (socket.error()) {
    case QAbstractSocket::ConnectionRefusedError:
        return QStringLiteral("A conexão foi recusada pelo servidor");
    case QAbstractSocket::RemoteHostClosedError:
        return QStringLiteral("O servidor encerrou a conexão");
    case QAbstractSocket::HostNotFoundError:
        return QStringLiteral("Servidor não encontrado");
    case QAbstractSocket::SocketTimeoutError:
        return QStringLiteral("Tempo de conexão esgotado");
    case QAbstractSocket::NetworkError:
        return QStringLiteral("Falha na rede");
    default:
        return socket.errorString();
    }
}

DonoDaConexao donoDoPrograma{};

} // namespace

void defineDonoDoPrograma(const DonoDaConexao& dono)
{
    donoDoPrograma = dono;
}

Conexao* conexaoExistente()
{
    return donoDoPrograma.existente ? donoDoPrograma.existente() : nullptr;
}

Conexao& conexaoDoPrograma()
{
    if (donoDoPrograma.cria)
        return donoDoPrograma.cria();
    static Conexao* sozinha = new Conexao(QCoreApplication::instance());
    return *sozinha;
}

Conexao::Conexao(QObject* parent) : CanalDaEspera(parent)
{
    m_keepAlive = new QTimer(this);
    m_keepAlive->setObjectName(QStringLiteral("timerKeepAlive"));
    m_socket = new QSslSocket(this);
    preparaTls(*m_socket);
    m_socket->setObjectName(nomeDoSocket);

    connect(m_keepAlive, &QTimer::timeout, this, &Conexao::enviaKeepAlive);
    connect(m_socket, &QTcpSocket::readyRead, this, &Conexao::leDados);
    connect(m_socket, &QTcpSocket::errorOccurred, this, &Conexao::trataErro);
    connect(m_socket, &QTcpSocket::connected, this, [this] {
        m_socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        if (m_antesDoAceite) {
            m_socket->write(m_oferta);
            m_socket->flush();
        }
    });
    connect(m_socket, &QTcpSocket::disconnected, this, [this] {
        // Normally the error handler has seen it first (the server closed the connection).
        if (!m_erroTratado && RequisicaoEmCurso())
            trataErro();
    });
}

Conexao::~Conexao()
{
    // The socket is destroyed after this object's own part, and closing it then says
    // "disconnected": nothing here may hear it.
    m_socket->disconnect(this);
}

bool Conexao::conectada() const
{
    return m_socket->state() == QAbstractSocket::ConnectedState;
}

Conexao::Resultado Conexao::conecta(const QString& host, quint16 porta, QTimer* timerTimeOut)
{
    m_erroTratado = false;
    m_menorEsperaMs = -1;
    m_sobra.clear();
    m_guardaSobra = false;
    // The offer leaves as soon as the connection is up, without waiting for the "2": one
    // round trip less. The first byte back is then the "2", and what follows it is the
    // answer to the offer, kept for negocia().
    m_servidor = host + QLatin1Char(':') + QString::number(porta);
    m_oferta = oferta(host, porta);
    m_antesDoAceite = !m_oferta.isEmpty();
    m_socket->connectToHost(host, porta);
    const int codigo = AguardaResposta(this, timerTimeOut);
    m_antesDoAceite = false;
    if (globais().tempoEsgotado)
        return Resultado::SemResposta;
    if (EsperaInterrompida())
        return Resultado::Interrompida;
    if (codigo != Codigo::Aceito)
        return Resultado::Recusada;
    if (const Resultado r = negocia(timerTimeOut); r != Resultado::Conectada)
        return r;
    if (m_keepAlive->interval() > 0)
        m_keepAlive->start();
    return Resultado::Conectada;
}

void Conexao::conectaSePreciso()
{
    if (!conectada())
        emit pedeConexao();
}

bool Conexao::exigeTls(const QString& host, quint16 porta) const
{
    // A remembered certificate means the server spoke TLS before: one that now does not is
    // more likely someone in between than a server that lost its certificate.
    const Implantacao::PoliticaTls politica = Implantacao::tls();
    return !m_cifrada && (politica == Implantacao::PoliticaTls::Exigir || !Implantacao::certificado().isEmpty()
                          || (politica == Implantacao::PoliticaTls::Preferir && Confianca::conhece(host, porta)));
}

bool Conexao::exigeTls() const
{
    return exigeTls(m_socket->peerName(), m_socket->peerPort());
}

Conexao::Resultado Conexao::recusa(const QString& motivo)
{
    m_motivoDaRecusa = motivo;
    encerra();
    return Resultado::NaoConfiavel;
}

QStringList Conexao::capacidades(bool tls) const
{
    const QString sessao = QLatin1String(Quadros::capacidadeSessao);
    QStringList pedidas;
    // Encryption first, when wanted: nothing secret goes beside the offer.
    if (tls)
        pedidas << QLatin1String(Quadros::capacidadeTls);
    pedidas << QLatin1String(Quadros::capacidadeQuadros);
    if (pedeEmpacotamento)
        pedidas << QLatin1String(Compressao::capacidade);
    pedidas << QLatin1String(Historico::capacidade);
    // Only a deployment that works disconnected asks for the changes it needs: off, the offer is as it always was.
    if (Implantacao::trabalhoDesconectado())
        pedidas << QLatin1String(Sincronia::capacidade);
    pedidas << (m_segredo.isEmpty() || tls ? sessao : sessao + QLatin1Char('=') + m_segredo);
    return pedidas;
}

QByteArray Conexao::oferta(const QString& host, quint16 porta)
{
    m_ofereceTls = false;
    if (servidoresSimples().contains(m_servidor) || !pedeQuadros)
        return {};
    // The session's secret goes only to the server that gave it.
    if (m_servidorDoSegredo != m_servidor)
        m_segredo.clear();
    m_ofereceTls = !m_cifrada && Implantacao::tls() != Implantacao::PoliticaTls::Nunca
                   && (!servidoresSemTls().contains(m_servidor) || exigeTls(host, porta));
    return Wire::codifica(Quadros::pedidoDeNegociacao(capacidades(m_ofereceTls)));
}

void Conexao::entregaSobra()
{
    if (!m_sobra.isEmpty() && RequisicaoEmCurso())
        emit chegaram(std::exchange(m_sobra, QByteArray()));
}

Conexao::Resultado Conexao::negocia(QTimer* timerTimeOut)
{
    const QString& servidor = m_servidor;
    m_historico = false;
    m_sincronia = false;
    if (m_oferta.isEmpty())
        return exigeTls() ? recusa(Confianca::semTls(m_socket->peerName())) : Resultado::Conectada;
    const bool ofereceTls = m_ofereceTls;
    // What came right behind the "2" is the start of the answer: the wait gets it first.
    m_guardaSobra = false;
    if (!m_sobra.isEmpty())
        QTimer::singleShot(0, this, &Conexao::entregaSobra);
    int codigo = -1;
    try {
        codigo = AguardaResposta(this, timerTimeOut, limiteDaNegociacaoMs, {Codigo::Negociacao});
    } catch (const ErroDeExecucao&) {
        codigo = -2;   // not even a code: whatever this server is, it is not ours
    }
    m_sobra.clear();
    if (EsperaInterrompida() && !globais().tempoEsgotado)
        return Resultado::Interrompida;   // the connection failed and was reported
    QStringList aceitas;
    if (codigo == Codigo::Negociacao && Quadros::leNegociacao(globais().respostaServidor, aceitas)) {
        if (ofereceTls && aceitas.contains(QLatin1String(Quadros::capacidadeTls)))
            return cifra(timerTimeOut);
        if (exigeTls())
            return recusa(Confianca::semTls(m_socket->peerName()));
        if (ofereceTls)
            servidoresSemTls().insert(servidor);
        aplicaAcordo(aceitas);
        return Resultado::Conectada;
    }
    if (exigeTls()) {
        globais().tempoEsgotado = false;
        return recusa(Confianca::semTls(m_socket->peerName()));
    }
    // A server that does not know the agreement. A plain "0" (its answer to an unknown code)
    // leaves the connection in step; silence or anything else may still be followed by more,
    // so that connection is dropped and a new one made on the plain wire.
    servidoresSimples().insert(servidor);
    if (codigo == Codigo::Falha && !globais().tempoEsgotado)
        return Resultado::Conectada;
    globais().tempoEsgotado = false;
    encerra();
    conectaSePreciso();
    return conectada() ? Resultado::Conectada : Resultado::Interrompida;
}

Conexao::Resultado Conexao::cifra(QTimer* timerTimeOut)
{
    const QString host = m_socket->peerName();
    m_apertoDeMao = true;
    m_socket->startClientEncryption();
    const bool cifrou = m_socket->waitForEncrypted(timerTimeOut && timerTimeOut->interval() > 0 ? timerTimeOut->interval() : 10000);
    m_apertoDeMao = false;
    if (!cifrou)
        return recusa(Confianca::falhaNaCifra(host, m_socket->errorString()));
    const Confianca::Veredito v = Confianca::julga(m_socket->peerCertificateChain(), host, m_socket->peerPort(), Implantacao::certificado());
    if (!v.aceito)
        return recusa(v.motivo);
    // Inside TLS the agreement is made again, as on a new connection, and framed like every
    // message there: the peer is our server. Nothing waits for its answer: the caller's first
    // request goes right behind it, and the answer is read ahead of that request's reply.
    m_cifrada = true;
    m_socket->write(Quadros::mensagem(Wire::codifica(Quadros::pedidoDeNegociacao(capacidades(false)))));
    m_socket->flush();
    m_enquadrada = true;
    m_empacotada = pedeEmpacotamento;
    m_acordoPendente = true;
    m_acordo.clear();
    return Resultado::Conectada;
}

void Conexao::aplicaAcordo(const QStringList& aceitas)
{
    const QString sessao = QLatin1String(Quadros::capacidadeSessao);
    m_enquadrada = m_cifrada || aceitas.contains(QLatin1String(Quadros::capacidadeQuadros));
    m_historico = m_enquadrada && aceitas.contains(QLatin1String(Historico::capacidade));
    m_empacotada = m_enquadrada && aceitas.contains(QLatin1String(Compressao::capacidade));
    m_sincronia = m_enquadrada && aceitas.contains(QLatin1String(Sincronia::capacidade));
    // The secret the server holds this connection's session under: the one presented
    // when the session is still live, a new one otherwise. A server without sessions
    // names none.
    m_segredo.clear();
    for (const QString& a : aceitas)
        if (a.startsWith(sessao + QLatin1Char('=')) && Quadros::pareceSegredo(QStringView(a).mid(sessao.size() + 1)))
            m_segredo = a.mid(sessao.size() + 1);
    m_servidorDoSegredo = m_servidor;
    m_impressaoDaSessao = m_cifrada ? Confianca::impressao(m_socket->peerCertificate()) : QString();
}

bool Conexao::tomaAcordo()
{
    m_acordoPendente = false;
    QStringList aceitas;
    if (!Quadros::leNegociacao(Wire::decodifica(std::exchange(m_acordo, QByteArray())), aceitas))
        return false;
    aplicaAcordo(aceitas);
    return true;
}

bool Conexao::fechaSeForaDePasso()
{
    if (m_enquadrada || !m_respostaPorSilencio || !conectada())
        return false;
    // Bytes already on their way are read now, not on the loop's next pass.
    m_socket->waitForReadyRead(0);
    if (!m_foraDePasso)
        return false;
    encerra();
    return true;
}

void Conexao::notaEspera(qint64 ms)
{
    if (m_menorEsperaMs < 0 || ms < m_menorEsperaMs)
        m_menorEsperaMs = ms;
}

void Conexao::esqueceServidoresSimples()
{
    servidoresSimples().clear();
}

void Conexao::definePedidos(bool quadros, bool empacotamento)
{
    pedeQuadros = quadros;
    pedeEmpacotamento = empacotamento;
}

void Conexao::encerra()
{
    if (m_socket->state() == QAbstractSocket::UnconnectedState)
        return;
    m_keepAlive->stop();
    m_erroTratado = true;   // what the socket reports while we close it is ours, not an error
    m_socket->abort();
    m_cifrada = false;
    m_enquadrada = false;
    m_empacotada = false;
    m_desempacotador.reinicia();
    m_leitor = Quadros::Leitor();
    m_respostaPorSilencio = false;
    m_foraDePasso = false;
    m_menorEsperaMs = -1;
    m_antesDoAceite = false;
    m_guardaSobra = false;
    m_sobra.clear();
    m_acordoPendente = false;
    m_acordo.clear();
    emit encerrada();
}

void Conexao::envia(const QString& mensagem)
{
    m_socket->readAll();   // whatever came between requests answers nothing we still wait for
    m_respostaPorSilencio = false;
    m_foraDePasso = false;
    if (m_enquadrada) {
        m_socket->write(Quadros::mensagem(Wire::codifica(mensagem)));
        m_socket->flush();
        if (m_keepAlive->isActive())
            m_keepAlive->start();
        return;
    }
    if (m_ultimoKeepAlive.isValid()) {
        const qint64 decorrido = m_ultimoKeepAlive.elapsed();
        if (decorrido < intervaloAposKeepAliveMs)
            QThread::msleep(static_cast<unsigned long>(intervaloAposKeepAliveMs - decorrido));
    }
    m_socket->write(Wire::codifica(mensagem));
    m_socket->flush();
    // The keep-alive counts idle time: it starts over with every request.
    if (m_keepAlive->isActive())
        m_keepAlive->start();
}

void Conexao::enviaKeepAlive()
{
    if (RequisicaoEmCurso() || !conectada())
        return;
    const QByteArray keepAlive = Wire::codifica(MontaComando(Codigo::KeepAlive));
    m_socket->write(m_enquadrada ? Quadros::mensagem(keepAlive) : keepAlive);
    m_socket->flush();
    m_ultimoKeepAlive.start();
}

void Conexao::leDados()
{
    // Nothing may escape into the event loop: a reply too big for memory ends the wait with
    // its message, and the connection, whose stream is now lost, is closed.
    try {
        recebe(m_socket->readAll());
    } catch (const std::bad_alloc&) {
        m_erroTratado = true;
        emit semMemoria();
        encerra();
    }
}

void Conexao::recebe(const QByteArray& bytes)
{
    if (m_enquadrada) {
        // Each reply ends where its frames say. A whole message that comes between requests
        // answers nothing we wait for and is dropped; it cannot spill into the next reply.
        // Inside TLS the agreement's answer comes first, ahead of the reply to the request
        // sent behind it; it is ours, not the waiter's.
        bool acordoIlegivel = false;
        const auto dados = [&](QByteArrayView d) {
            if (acordoIlegivel)
                return;
            if (m_acordoPendente)
                m_acordo += d;
            else
                emit chegouQuadro(d);
        };
        const auto fim = [&] {
            if (acordoIlegivel)
                return;
            if (m_acordoPendente)
                acordoIlegivel = !tomaAcordo();
            else
                emit respostaInteira();
        };
        // A packed piece that does not unpack is a broken stream like any other.
        const auto empacotados = [this](QByteArrayView parte, bool ultima) {
            if (m_acordoPendente || !m_desempacotador.acrescenta(parte, ultima))
                return false;
            if (ultima)
                emit chegouQuadro(m_desempacotador.pronto());
            return true;
        };
        const bool inteiro = m_empacotada ? m_leitor.le(bytes, dados, fim, empacotados) : m_leitor.le(bytes, dados, fim);
        if (!inteiro || acordoIlegivel) {
            m_erroTratado = true;
            emit falhou(nomeDoSocket, QStringLiteral("O servidor enviou dados fora do formato combinado"), false,
                        !m_sondando);
            encerra();
        }
        return;
    }
    // An offer went out with the connection: its first byte is the "2" (or whatever refuses
    // it), and the rest, the offer's answer, waits for negocia().
    if (m_antesDoAceite && !bytes.isEmpty()) {
        m_antesDoAceite = false;
        if (bytes.startsWith('2')) {
            m_guardaSobra = true;
            m_sobra = bytes.mid(1);
            if (RequisicaoEmCurso())
                emit chegaram(bytes.left(1));
            return;
        }
    } else if (m_guardaSobra) {
        m_sobra += bytes;
        return;
    }
    if (RequisicaoEmCurso()) {
        emit chegaram(m_sobra.isEmpty() ? bytes : std::exchange(m_sobra, QByteArray()) + bytes);
        return;
    }
    // Between requests nobody waits for anything: such data is dropped. After a reply taken
    // by the quiet rule it means that reply went on: the connection is out of step.
    if (m_respostaPorSilencio && !bytes.isEmpty())
        m_foraDePasso = true;
}

void Conexao::respostaTomadaPorSilencio()
{
    m_respostaPorSilencio = true;
    m_foraDePasso = false;
}

void Conexao::trataErro()
{
    if (m_erroTratado || m_apertoDeMao)
        return;
    // The look for bytes still on their way (fechaSeForaDePasso) reports its empty look as
    // a time-out; the connection is fine.
    if (m_socket->error() == QAbstractSocket::SocketTimeoutError && conectada())
        return;
    m_erroTratado = true;
    const bool fechadaPeloServidor = m_socket->error() == QAbstractSocket::RemoteHostClosedError ||
                                     m_socket->state() == QAbstractSocket::UnconnectedState;
    const QString descricao = descricaoDoErro(*m_socket);
    const bool emEspera = RequisicaoEmCurso();
    // With framed replies the end is in the bytes: a close is never the end of a reply.
    emit falhou(nomeDoSocket, descricao, fechadaPeloServidor && !m_enquadrada, !m_sondando);
    // A server that hangs up between requests is noticed by the next request, quietly.
    emit caiu(nomeDoSocket, descricao, !emEspera && !m_sondando && !fechadaPeloServidor);
    encerra();
}

void Conexao::encerraSessaoNoServidor()
{
    // Over a short connection of its own, so that it works the same whether the request
    // connection is up, down or inside a wait; and quietly, within a second in all: a server
    // that cannot be reached now ends the session when it expires.
    const QString segredo = std::exchange(m_segredo, QString());
    if (!globais().usuarioLogado)
        return;   // no login on it: nothing to end
    const qsizetype doisPontos = m_servidorDoSegredo.lastIndexOf(u':');
    if (segredo.isEmpty() || doisPontos <= 0)
        return;
    QSslSocket s;
    preparaTls(s);
    QDeadlineTimer prazo(1000);
    s.connectToHost(m_servidorDoSegredo.left(doisPontos), quint16(m_servidorDoSegredo.mid(doisPontos + 1).toUInt()));
    if (!s.waitForConnected(int(prazo.remainingTime())))
        return;
    const auto le = [&](QByteArrayView esperado) {
        QByteArray lido;
        while (!lido.contains(esperado) && !prazo.hasExpired() && s.waitForReadyRead(int(prazo.remainingTime())))
            lido += s.readAll();
        return lido;
    };
    // As in conecta, the offer goes without waiting for the "2", which comes first back. The
    // secret never crosses in clear when the session was made inside TLS: the same
    // certificate, or nothing.
    const QString encerrar = QLatin1String(Quadros::capacidadeEncerrar) + QLatin1Char('=') + segredo;
    const bool cifrada = !m_impressaoDaSessao.isEmpty();
    s.write(Wire::codifica(Quadros::pedidoDeNegociacao({cifrada ? QString(QLatin1String(Quadros::capacidadeTls)) : encerrar})));
    if (cifrada) {
        const QByteArray r = le("tls");
        QStringList aceitas;
        if (!r.startsWith('2') || !Quadros::leNegociacao(Wire::decodifica(r.mid(1)), aceitas)
            || !aceitas.contains(QLatin1String(Quadros::capacidadeTls)))
            return;
        s.startClientEncryption();
        if (!s.waitForEncrypted(int(prazo.remainingTime())) || Confianca::impressao(s.peerCertificate()) != m_impressaoDaSessao)
            return;
        s.write(Quadros::mensagem(Wire::codifica(Quadros::pedidoDeNegociacao({encerrar}))));
    }
    // The answer says it was done; nothing else is said either way.
    le(Quadros::capacidadeEncerrar);
    s.abort();
}
