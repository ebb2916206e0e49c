// A blocking framed client of the registry server (see ClienteEmQuadros.h).
#include "support/ClienteEmQuadros.h"
#include "protocol/Wire.h"
#include "support/Pedidos.h"

#include <QDeadlineTimer>

#include <utility>

namespace {

int restante(const QDeadlineTimer& prazo)
{
    return int(qMax<qint64>(1, prazo.remainingTime()));
}

// Whether an agreement answer names every capability asked for ("sessao" comes back as
// "sessao=<secret>").
bool concedeTudo(const QByteArray& resposta, const QStringList& pedidas)
{
    QStringList aceitas;
    if (!Quadros::leNegociacao(Wire::decodifica(resposta), aceitas))
        return false;
    for (QString& a : aceitas)
        a = a.section(u'=', 0, 0);
    for (const QString& p : pedidas)
        if (!aceitas.contains(p.section(u'=', 0, 0)))
            return false;
    return true;
}

} // namespace

ClienteEmQuadros::ClienteEmQuadros(const QString& host, quint16 porta)
{
    m_socket.connectToHost(host, porta);
    m_conectado = m_socket.waitForConnected(5000) && leCru(1) == "2";
}

QByteArray ClienteEmQuadros::combina(const QStringList& capacidades, int prazoMs)
{
    // The answer is plain and has no end marker: it is whole once it grants everything
    // asked for, or else once the line has been quiet a moment (something was refused).
    constexpr int quietoMs = 200;
    envia(Wire::codifica(Quadros::pedidoDeNegociacao(capacidades)));
    QByteArray resposta;
    QDeadlineTimer prazo(prazoMs);
    while (!concedeTudo(resposta, capacidades) && !prazo.hasExpired()) {
        if (m_socket.bytesAvailable() == 0 && !m_socket.waitForReadyRead(resposta.isEmpty() ? restante(prazo) : quietoMs))
            break;
        resposta += m_socket.readAll();
    }
    QStringList aceitas;
    m_enquadrado = Quadros::leNegociacao(Wire::decodifica(resposta), aceitas)
                   && aceitas.contains(QLatin1String(Quadros::capacidadeQuadros));
    m_combinado = resposta;
    return resposta;
}

void ClienteEmQuadros::envia(const QByteArray& bytes)
{
    m_socket.write(bytes);
    m_socket.waitForBytesWritten(5000);
}

void ClienteEmQuadros::enviaEmQuadro(const QString& mensagem)
{
    envia(Quadros::mensagem(Wire::codifica(mensagem)));
}

QByteArray ClienteEmQuadros::leCru(qsizetype n, int prazoMs)
{
    QDeadlineTimer prazo(prazoMs);
    while (m_socket.bytesAvailable() < n && !prazo.hasExpired() && m_socket.state() == QAbstractSocket::ConnectedState)
        m_socket.waitForReadyRead(restante(prazo));
    return m_socket.read(n);
}

QByteArray ClienteEmQuadros::ateSilencio(int quietoMs, int prazoMs)
{
    QByteArray r;
    QDeadlineTimer prazo(prazoMs);
    while (!prazo.hasExpired()) {
        if (m_socket.bytesAvailable() == 0 && !m_socket.waitForReadyRead(quietoMs))
            break;
        r += m_socket.readAll();
    }
    return r;
}

QByteArray ClienteEmQuadros::mensagem(int prazoMs)
{
    QDeadlineTimer prazo(prazoMs);
    while (m_prontas.isEmpty()) {
        if (m_socket.bytesAvailable() == 0 && (prazo.hasExpired() || !m_socket.waitForReadyRead(restante(prazo))))
            return QByteArray();
        if (!m_leitor.le(
                m_socket.readAll(), [this](QByteArrayView d) { m_corrente += d; },
                [this] { m_prontas.append(std::exchange(m_corrente, QByteArray())); }))
            return QByteArray();
    }
    return m_prontas.takeFirst();
}

QByteArray ClienteEmQuadros::pede(const QString& mensagem, int prazoMs)
{
    return pedeCodificado(Wire::codifica(mensagem), prazoMs);
}

QByteArray ClienteEmQuadros::pedeCodificado(QByteArrayView bytes, int prazoMs)
{
    envia(Quadros::mensagem(bytes));
    return mensagem(prazoMs);
}

bool ClienteEmQuadros::entra(const ServidorReal::Conta& conta)
{
    return pede(pedidoDeLogin(conta.usuario, conta.senha)).startsWith("4|");
}

QList<Historico::Entrada> ClienteEmQuadros::historico(qint32 numeroFicha, QByteArray* cru)
{
    const QByteArray r = pede(Historico::pedido(numeroFicha));
    if (cru)
        *cru = r;
    QList<Historico::Entrada> e;
    Historico::leResposta(Wire::decodifica(r), e);
    return e;
}

bool ClienteEmQuadros::fechado(int prazoMs)
{
    return m_socket.state() == QAbstractSocket::UnconnectedState || m_socket.waitForDisconnected(prazoMs);
}
