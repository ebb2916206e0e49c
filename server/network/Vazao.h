// How much of a long reply is read but not yet taken by the system, shared by its worker and the loop.
#pragma once
#include <QMutex>

// A long reply is read by a worker and written by the loop in pieces. The worker never waits
// on the client: after handing over a piece it learns whether what is unsent (handed over,
// or in the socket's buffer) has gone beyond the connection's budget, and if so stops
// reading and leaves its thread; the loop takes the reply up again once the socket drains
// (see Escoamento). Cancelled (the client has gone, the server is stopping), the worker gives up.
class Vazao {
public:
    // The worker handed over `n` more bytes: true when what is unsent is now above `limite`.
    bool entregou(qsizetype n, qsizetype limite);
    // The loop wrote `n` of the bytes handed over; the socket now holds `noSocketAgora`.
    void escrito(qsizetype n, qsizetype noSocketAgora);
    // The system took bytes from the socket, which now holds `noSocketAgora`.
    void saiu(qsizetype noSocketAgora);
    qsizetype pendente() const;
    void cancela();
    bool cancelada() const;

private:
    mutable QMutex m_mutex;
    qsizetype m_aCaminho = 0;   // handed over by the worker, not yet written to the socket
    qsizetype m_noSocket = 0;   // in the socket's buffer, not yet taken by the system
    bool m_cancelada = false;
};
