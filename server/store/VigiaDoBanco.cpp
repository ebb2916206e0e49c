// Whether the PostgreSQL server answers at all (see VigiaDoBanco.h).
#include "server/store/VigiaDoBanco.h"
#include "server/store/ConexaoLibpq.h"
#include "server/store/EnderecoPg.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QMutexLocker>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

#include <libpq-fe.h>
#include <sys/socket.h>

namespace {

qint64 agora()
{
    return QDateTime::currentMSecsSinceEpoch();
}

// The socket under a QPSQL connection.
int socketDe(const QSqlDatabase& banco)
{
    PGconn* conexao = conexaoLibpq(banco);
    return conexao ? PQsocket(conexao) : -1;
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
    m_alcance = Alcance::Gravando;
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
    // The same hosts, whether they take writes or not: tells "no host answers" from "only
    // standbys answer" when the text asks for a host that takes writes.
    DestinoPg qualquer = destino;
    qualquer.opcoes += QStringLiteral(";target_session_attrs=any");
    const QString nome = QStringLiteral("zelto-vigia-do-banco");
    const QString nomeDaLeitura = nome + QStringLiteral("-leitura");
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), nome);
        apontaPara(db, destino);
        QSqlDatabase leitura = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), nomeDaLeitura);
        apontaPara(leitura, qualquer);
        do {
            bool respondeu = false;
            std::optional<Alcance> achado;
            QString porque;
            m_esperandoDesde = agora();
            if (!db.isOpen() && db.open())
                registra(this, db);
            if (db.isOpen()) {
                QSqlQuery q(db);
                respondeu = q.exec(QStringLiteral("SELECT pg_is_in_recovery()")) && q.next();
                if (respondeu)
                    achado = q.value(0).toBool() ? Alcance::SoLeitura : Alcance::Gravando;
            } else {
                porque = db.lastError().databaseText().simplified();
                respondeu = leitura.open();
                leitura.close();
                achado = respondeu ? Alcance::SoLeitura : Alcance::Nenhum;
            }
            m_esperandoDesde = 0;
            if (respondeu && travado()) {
                m_travado = false;
                if (m_diario)
                    m_diario(QStringLiteral("o banco voltou a responder"));
            }
            if (achado)
                alcancou(*achado, *achado == Alcance::Gravando ? hostDaConexao(db) : porque);
            if (!respondeu || achado != Alcance::Gravando) {
                // Refused, or found a standby: the Bancos reconnect by themselves.
                retira(this);
                db.close();
            }
        } while (dorme(travado() ? 50 : alcance() == Alcance::Gravando ? 100 : 250));
        retira(this);
        db.close();
    }
    QSqlDatabase::removeDatabase(nome);
    QSqlDatabase::removeDatabase(nomeDaLeitura);
}

void VigiaDoBanco::alcancou(Alcance alcance, const QString& detalhe)
{
    if (m_alcance.exchange(alcance) == alcance || !m_diario)
        return;
    switch (alcance) {
    case Alcance::Nenhum:
        m_diario(QStringLiteral("nenhum servidor do banco atende (%1): todos os pedidos recebem 0 até um voltar").arg(detalhe));
        break;
    case Alcance::SoLeitura:
        m_diario(QStringLiteral("nenhum servidor do banco aceita gravações: os que respondem são reservas (somente leitura); "
                                "os pedidos recebem 0 até uma ser promovida"));
        break;
    case Alcance::Gravando:
        m_diario(QStringLiteral("o banco voltou a aceitar gravações, em %1").arg(detalhe));
        break;
    }
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
