// Whether the PostgreSQL server answers at all: a probe of its own, and every connection cut when it stops answering.
#pragma once
#include <QMutex>
#include <QString>
#include <QThread>
#include <QWaitCondition>

#include <atomic>
#include <functional>
#include <map>
#include <optional>

class QSqlDatabase;

// A database host that hangs (stopped, or cut off by the network) answers nothing and
// refuses nothing: a call waits on it for as long as the system keeps the socket, however
// the database was told to time out. So the server probes it on a connection of its own
// (SELECT pg_is_in_recovery() every 100 ms); when a probe has had no answer for `prazoMs`, the database is
// "travado": every connection of the process is cut (its socket shut down, so the call
// waiting on it fails at once) and, until a probe is answered again, every call fails at
// once without going near the database. The probe keeps trying, so the first answer after
// the database resumes is seen within a probe's interval.
//
// The probe also tells, on the log and to whoever asks, whether a host takes writes: when
// none answers, or only standbys (read-only) do, it says so once, and again when a host
// takes writes again (after a failover, the promoted standby), naming it.
//
// One per process: the Bancos register their connections' sockets while they are open.
class VigiaDoBanco {
public:
    static VigiaDoBanco& doProcesso();
    ~VigiaDoBanco();

    // `banco`'s connection, just opened (PostgreSQL only) / about to close.
    void registra(const void* dono, const QSqlDatabase& banco);
    void retira(const void* dono);
    bool travado() const { return m_travado.load(std::memory_order_relaxed); }
    // What the probe found last: a host that takes writes, only standbys, or no host at all.
    enum class Alcance { Gravando, SoLeitura, Nenhum };
    Alcance alcance() const { return m_alcance.load(std::memory_order_relaxed); }

    // Starts probing the database `conexao` names; log lines go to `diario`.
    void inicia(const QString& conexao, std::function<void(const QString&)> diario, int prazoMs = 800);
    void para();

private:
    VigiaDoBanco() = default;
    void sonda(QString conexao);
    void relogio();
    void trava(qint64 semRespostaMs);
    void alcancou(Alcance alcance, const QString& detalhe);
    bool dorme(int ms);

    mutable QMutex m_mutex;
    QWaitCondition m_acorda;
    std::map<const void*, int> m_sockets;   // open connections' sockets, by their Banco
    std::atomic<bool> m_travado{false};
    std::atomic<Alcance> m_alcance{Alcance::Gravando};
    std::atomic<qint64> m_esperandoDesde{0};   // when the probe's call under way began (0: none)
    bool m_parar = false;
    int m_prazoMs = 800;
    std::function<void(const QString&)> m_diario;
    QThread* m_sonda = nullptr;
    QThread* m_relogio = nullptr;
};
