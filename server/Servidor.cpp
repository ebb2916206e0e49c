#include "server/Servidor.h"
#include "protocol/ErroDeExecucao.h"
#include "protocol/Wire.h"
#include "protocol/clsUsuario.h"
#include "protocol/modCommands.h"
#include "server/Armazem.h"
#include "server/Enquadramento.h"
#include "server/Senhas.h"

#include <QDateTime>
#include <QHash>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <cstdio>

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

struct Servidor::Conexao {
    QTcpSocket* socket = nullptr;
    QTimer* timer = nullptr;
    QHostAddress endereco;
    QString nome;             // "address:port", for the log
    QByteArray recebido;      // bytes not yet taken as a request
    bool ocupada = false;     // a request of this connection is being served
    bool fechando = false;
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

Servidor::Servidor(Armazem& armazem, Opcoes opcoes, QObject* pai)
    : QObject(pai),
      m_armazem(armazem),
      m_opcoes(opcoes),
      m_servidor(new QTcpServer(this)),
      m_sessoes(opcoes.sessaoMs, &armazem),
      m_atendente(armazem, m_sessoes)
{
    m_relogio.start();
    // The store reopens a lost database connection in the background, and says so.
    m_armazem.defineDiario(registraNoDiario);
    auto* vigia = new QTimer(this);
    connect(vigia, &QTimer::timeout, this, [this] { m_armazem.vigia(); });
    vigia->start(1000);
    m_conferencias.setMaxThreadCount(2);
    connect(m_servidor, &QTcpServer::newConnection, this, &Servidor::aceita);
}

qint64 Servidor::agoraMs()
{
    return QDateTime::currentMSecsSinceEpoch();
}

Servidor::~Servidor()
{
    m_conferencias.waitForDone();
}

bool Servidor::escuta(QString& erro)
{
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

void Servidor::aceita()
{
    while (QTcpSocket* socket = m_servidor->nextPendingConnection()) {
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        auto* c = new Conexao;
        c->socket = socket;
        c->endereco = socket->peerAddress();
        c->nome = Sessoes::chave(c->endereco) + QLatin1Char(':') + QString::number(socket->peerPort());
        c->timer = new QTimer(socket);
        c->timer->setSingleShot(true);
        c->timer->setTimerType(Qt::PreciseTimer);
        socket->setProperty(propriedadeConexao, QVariant::fromValue<void*>(c));

        connect(c->timer, &QTimer::timeout, this, [this, c] { silencio(c); });
        connect(socket, &QTcpSocket::readyRead, this, [this, c] { chegaram(c); });
        connect(socket, &QTcpSocket::disconnected, this, [c] {
            registraNoDiario(c->nome + QStringLiteral(" desconectou"));
            c->timer->stop();
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
    c->recebido += novos;
    if (c->recebido.size() > m_opcoes.maiorPedido) {
        c->fechando = true;
        c->timer->stop();
        c->recebido.clear();
        c->socket->write(Wire::codifica(MontaComando(Codigo::Falha)));
        registraNoDiario(c->nome + QStringLiteral(" pedido maior que %1 bytes -> 0, conexão encerrada").arg(m_opcoes.maiorPedido));
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
    // already the whole description this address's session knows, nothing more is coming:
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
    const std::optional<QString> ds = m_sessoes.consulta(c->endereco, dep, agoraMs());
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
        c->ocupada = true;
        if (a.codigo == Codigo::Login)
            atendeLogin(c, pedido);
        else
            enfileira(c, a.codigo, std::move(pedido));
        return;
    }
    case Situacao::Incompleto:
        c->recebido.clear();
        responde(c->socket, a.codigo, codigo(Codigo::Falha), QStringLiteral("pedido incompleto"), chegou);
        return;
    case Situacao::Invalido:
        c->recebido.clear();
        responde(c->socket, -1, codigo(Codigo::Falha), QStringLiteral("pedido inválido"), chegou);
        return;
    }
}

void Servidor::enfileira(Conexao* c, int codigo, QByteArray bytes)
{
    m_fila.append({QPointer<QTcpSocket>(c->socket), codigo, std::move(bytes), m_relogio.nsecsElapsed(), c->endereco});
    if (!m_loteAgendado) {
        m_loteAgendado = true;
        QTimer::singleShot(0, this, &Servidor::atendeLote);
    }
}

void Servidor::atendeLote()
{
    m_loteAgendado = false;
    const QList<Pedido> fila = std::exchange(m_fila, {});
    QList<Atendente::Resposta> respostas;
    respostas.reserve(fila.size());

    bool confirmado = m_armazem.iniciaTransacao();
    if (confirmado) {
        for (const Pedido& p : fila)
            respostas.append(m_atendente.atende(p.codigo, Wire::decodifica(p.bytes), p.endereco, agoraMs()));
        confirmado = m_armazem.confirmaTransacao();
        if (!confirmado)
            m_armazem.desfazTransacao();
    }
    if (!confirmado) {
        const QString porque = QStringLiteral("erro do banco: ") + m_armazem.ultimoErro();
        respostas.clear();
        for (qsizetype i = 0; i < fila.size(); ++i)
            respostas.append({codigo(Codigo::Falha), porque, false});
    }
    for (qsizetype i = 0; i < fila.size(); ++i)
        responde(fila[i].socket, fila[i].codigo, respostas[i].bytes, respostas[i].desfecho, fila[i].chegouNs);
}

void Servidor::atendeLogin(Conexao* c, const QByteArray& bytes)
{
    const qint64 chegou = m_relogio.nsecsElapsed();
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
    std::optional<Operador> op;
    if (!m_armazem.operador(u.usuario, op)) {
        responde(c->socket, Codigo::Login, codigo(Codigo::Falha), QStringLiteral("erro do banco: ") + m_armazem.ultimoErro(), chegou);
        return;
    }
    m_tentativas.cobra(u.usuario, c->endereco, agoraMs());

    QPointer<QTcpSocket> socket(c->socket);
    // A disabled operator is refused like an unknown one, after the same work.
    const QString hash = op && op->ativo ? op->hash : QString();
    const std::optional<Departamento> dep = op ? std::optional(op->departamento) : std::nullopt;
    const QString usuario = op ? op->usuario : u.usuario;
    const QString senha = u.senha;
    m_conferencias.start([this, socket, hash, dep, usuario, senha, chegou] {
        bool certa = false;
        if (hash.isEmpty())
            Senhas::confereFicticio(senha);
        else
            certa = Senhas::confere(hash, senha);
        QMetaObject::invokeMethod(
            this, [this, socket, dep, usuario, certa, chegou] { loginConferido(socket, usuario, certa ? dep : std::nullopt, chegou); },
            Qt::QueuedConnection);
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
    if (!m_sessoes.abre(c->endereco, usuario, dep->id, dep->descricao, agoraMs())) {
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

void Servidor::responde(QTcpSocket* socket, int codigoPedido, const QByteArray& bytes, const QString& desfecho, qint64 chegouNs)
{
    Conexao* c = conexaoDe(socket);
    if (!c)
        return;
    c->socket->write(bytes);
    // Out now rather than on the loop's next pass: the reply is complete and nothing else
    // is waiting to join it.
    c->socket->flush();
    const qsizetype barra = bytes.indexOf('|');
    registraNoDiario(QStringLiteral("%1 pedido %2 -> %3 %4 (%5)")
                         .arg(c->nome, codigoPedido >= 0 ? QString::number(codigoPedido) : QStringLiteral("?"),
                              QString::fromLatin1(barra < 0 ? bytes : bytes.left(barra)), desfecho,
                              milissegundos(m_relogio.nsecsElapsed() - chegouNs)));
    c->ocupada = false;
    if (!c->recebido.isEmpty())
        examina(c);
}
