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

protected:
    void run() override;

private:
    std::atomic<quint16> m_destino;
    bool m_tiraTls;
    quint16 m_porta = 0;
    QSemaphore m_pronto;
    QMutex m_mutex;
    QByteArray m_captura;
};
