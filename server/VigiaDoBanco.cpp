// Whether the PostgreSQL server answers at all (see VigiaDoBanco.h).
#include "server/VigiaDoBanco.h"
#include "server/EnderecoPg.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QMutexLocker>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlQuery>

#include <dlfcn.h>
#include <sys/socket.h>

namespace {

qint64 agora()
{
    return QDateTime::currentMSecsSinceEpoch();
}

// The socket under a QPSQL connection. libpq is loaded by Qt's driver, not linked here: the
// server keeps PostgreSQL an option.
int socketDe(const QSqlDatabase& banco)
{
    if (!banco.isOpen() || !banco.driver())
        return -1;
    const QVariant h = banco.driver()->handle();
    if (qstrcmp(h.typeName(), "pg_conn*") != 0 && qstrcmp(h.typeName(), "PGconn*") != 0)
        return -1;
    void* conexao = *static_cast<void* const*>(h.constData());
    using Socket = int (*)(const void*);
    // Loaded already, privately to the driver: found by its name, never loaded here.
    static const auto pqSocket = [] {
        void* libpq = ::dlopen("libpq.so.5", RTLD_NOW | RTLD_NOLOAD);
        return reinterpret_cast<Socket>(libpq ? ::dlsym(libpq, "PQsocket") : nullptr);
    }();
    return conexao && pqSocket ? pqSocket(conexao) : -1;
}

} // namespace

VigiaDoBanco& VigiaDoBanco::doProcesso()
{
    static VigiaDoBanco vigia;
    return vigia;
}

VigiaDoBanco::~VigiaDoBanco()
{
    para();
}

void VigiaDoBanco::registra(const void* dono, const QSqlDatabase& banco)
{
    const int s = socketDe(banco);
    QMutexLocker trava(&m_mutex);
    if (s < 0) {
        m_sockets.erase(dono);
        return;
    }
    m_sockets[dono] = s;
    // Opened as the database stopped answering: cut as the others were (but the probe, which finds out when it answers again).
    if (travado() && dono != this)
        ::shutdown(s, SHUT_RDWR);
}

void VigiaDoBanco::retira(const void* dono)
{
    // Before the socket closes: a cut never reaches a number the system has given to another file.
    QMutexLocker trava(&m_mutex);
    m_sockets.erase(dono);
}

void VigiaDoBanco::inicia(const QString& conexao, std::function<void(const QString&)> diario, int prazoMs)
{
    para();
    {
        QMutexLocker trava(&m_mutex);
        m_parar = false;
        m_prazoMs = prazoMs;
        m_diario = std::move(diario);
    }
    m_sonda = QThread::create([this, conexao] { sonda(conexao); });
    m_relogio = QThread::create([this] { relogio(); });
    m_sonda->start();
    m_relogio->start();
}

void VigiaDoBanco::para()
{
    {
        QMutexLocker trava(&m_mutex);
        m_parar = true;
        m_acorda.wakeAll();
    }
    for (QThread* t : {m_sonda, m_relogio}) {
        if (!t)
            continue;
        t->wait();
        delete t;
    }
    m_sonda = m_relogio = nullptr;
    m_travado = false;
}

bool VigiaDoBanco::dorme(int ms)
{
    QMutexLocker trava(&m_mutex);
    if (!m_parar)
        m_acorda.wait(&m_mutex, ms);
    return !m_parar;
}

void VigiaDoBanco::sonda(QString conexao)
{
    DestinoPg destino;
    QString erro;
    if (!leDestinoPg(conexao, destino, erro))
        return;
    const QString nome = QStringLiteral("zelto-vigia-do-banco");
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), nome);
        apontaPara(db, destino);
        do {
            bool respondeu = false;
            m_esperandoDesde = agora();
            if (!db.isOpen() && db.open())
                registra(this, db);
            if (db.isOpen()) {
                QSqlQuery q(db);
                respondeu = q.exec(QStringLiteral("SELECT 1"));
            }
            m_esperandoDesde = 0;
            if (respondeu && travado()) {
                m_travado = false;
                if (m_diario)
                    m_diario(QStringLiteral("o banco voltou a responder"));
            }
            if (!respondeu) {
                // A database that refuses (down, restarting) is the Bancos' own business.
                retira(this);
                db.close();
            }
        } while (dorme(travado() ? 50 : 100));
        retira(this);
        db.close();
    }
    QSqlDatabase::removeDatabase(nome);
}

void VigiaDoBanco::relogio()
{
    while (dorme(50)) {
        const qint64 desde = m_esperandoDesde;
        if (desde != 0 && !travado() && agora() - desde > m_prazoMs)
            trava(agora() - desde);
    }
}

void VigiaDoBanco::trava(qint64 semRespostaMs)
{
    QMutexLocker trava(&m_mutex);
    m_travado = true;
    for (const auto& [dono, s] : m_sockets)
        ::shutdown(s, SHUT_RDWR);
    if (m_diario)
        m_diario(QStringLiteral("o banco não responde há %1 ms: conexões cortadas, todos os pedidos recebem 0 até ele voltar")
                     .arg(semRespostaMs));
}
