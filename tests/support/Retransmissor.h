#pragma once
// A relay between the client and a server, as someone in the way would run it: it forwards
// both ways on a thread of its own (the client's TLS handshake blocks the test's thread),
// records every byte that crosses, and can take "tls" out of the client's offer or send the
// next connections to another server (one showing another certificate, say).
//
//     Retransmissor relay(servidor.porta());
//     entrada.preparaEEntra("127.0.0.1", relay.porta(), ...);
//     relay.mudaDestino(outro.porta());            // connections from now on go there
//     QVERIFY(!relay.captura().contains(segredo));
//     relay.corta();                               // the link drops: open connections cut, new ones refused
//     relay.restaura();                            // and comes back
//     relay.cortaApos(200'000);                    // drops once the server sent that many more bytes
#include <QByteArray>
#include <QMutex>
#include <QSemaphore>
#include <QThread>

#include <atomic>

class Retransmissor : public QThread {
public:
    // Forwards to 127.0.0.1:destino; with `tiraTls`, the client's offer loses its "tls".
    explicit Retransmissor(quint16 destino, bool tiraTls = false);
    ~Retransmissor() override;

    quint16 porta() const { return m_porta; }
    // Connections made from now on go to 127.0.0.1:destino (those open stay where they are).
    void mudaDestino(quint16 destino) { m_destino = destino; }
    // Every byte that crossed so far, both ways, in the order it came.
    QByteArray captura();
    // The link drops: every open connection is cut at once (within 10 ms) and new ones are
    // closed as they come, until restaura().
    void corta() { m_cortado = true; }
    void restaura()
    {
        m_limite = -1;
        m_cortado = false;
    }
    bool cortado() const { return m_cortado; }
    // The link drops once the server has sent `bytes` more to its clients: those bytes pass,
    // the rest does not, and it stays down until restaura().
    void cortaApos(qint64 bytes) { m_limite = m_doServidor + bytes; }
    // The bytes the server sent its clients so far.
    qint64 doServidor() const { return m_doServidor; }

protected:
    void run() override;

private:
    std::atomic<quint16> m_destino;
    std::atomic<bool> m_cortado{false};
    std::atomic<qint64> m_limite{-1};
    std::atomic<qint64> m_doServidor{0};
    bool m_tiraTls;
    quint16 m_porta = 0;
    QSemaphore m_pronto;
    QMutex m_mutex;
    QByteArray m_captura;
};
