// A connection's bytes on their way out: a long reply's budget, its next part once the socket drains, and a client that reads nothing.
#pragma once
#include <QObject>
#include <QTimer>

#include <functional>
#include <memory>

class QTcpSocket;
class Vazao;

// A long reply holds no worker while it waits for its client: the worker reads until what is
// unsent passes `limite` (the connection's budget: at most that plus one piece sits in this
// process for the connection), stops, and leaves `aguarda` the way to go on; that runs once
// the system has taken the socket's buffer down to half the budget. So a slow reader still
// gets a steady stream, and one that reads nothing costs the budget and no thread.
//
// Whenever bytes wait in the socket and the system takes none of them for `semLerMs`, the
// client is reading nothing: `naoLe` (bytes waiting) says so, and the connection is dropped.
class Escoamento : public QObject {
public:
    Escoamento(QTcpSocket* socket, qsizetype limite, int semLerMs, std::function<void(qint64)> naoLe, QObject* pai);
    ~Escoamento() override;

    std::shared_ptr<Vazao> comeca();   // a long reply begins
    bool emCurso() const { return bool(m_vazao); }
    // A piece of the long reply was written to the socket.
    void escreveu(qsizetype n);
    // Its worker stopped reading: `continua` is called (once) when the socket has drained.
    void aguarda(std::function<void()> continua);
    void termina();   // the long reply ended (whole or failed)
    void cancela();   // the client has gone: the worker gives up, nothing goes on
    // Something was written to the socket: its deadline runs while it waits there.
    void vigia();

private:
    void saiu();
    void prazo();

    QTcpSocket* m_socket;
    qsizetype m_limite;
    int m_semLerMs;
    std::function<void(qint64)> m_naoLe;
    QTimer m_semLer;
    std::shared_ptr<Vazao> m_vazao;
    std::function<void()> m_continua;
};
