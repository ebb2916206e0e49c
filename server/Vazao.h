// How far the worker reading a long reply may run ahead of the connection sending it.
#pragma once
#include <QMutex>
#include <QWaitCondition>

// A long reply is read by a worker and written by the loop in pieces. The worker asks before
// handing over each piece and waits while too much is read but not yet taken by the system,
// so memory stays bounded however slowly the client reads; the loop says what it wrote and
// what has left. Cancelled (the client has gone, the server is stopping), the worker stops
// waiting and gives up.
class Vazao {
public:
    // The worker, before handing over `n` more bytes: waits while more than `limite` bytes
    // are unsent. False once cancelled.
    bool reserva(qsizetype limite, qsizetype n);
    // The loop wrote `n` of the bytes reserved; the socket now holds `noSocketAgora`.
    void escrito(qsizetype n, qsizetype noSocketAgora);
    // The system took bytes from the socket, which now holds `noSocketAgora`.
    void saiu(qsizetype noSocketAgora);
    void cancela();

private:
    QMutex m_mutex;
    QWaitCondition m_pode;
    qsizetype m_aCaminho = 0;   // read by the worker, not yet handed to the socket
    qsizetype m_noSocket = 0;   // in the socket's buffer, not yet taken by the system
    bool m_cancelada = false;
};
