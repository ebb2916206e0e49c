// One connection to the registry's database (see Banco.h).
#include "server/store/Banco.h"
#include "server/store/ArquivosDoRegistro.h"
#include "server/store/ConexaoLibpq.h"
#include "server/store/EnderecoPg.h"
#include "server/store/EstadoDeGravacao.h"
#include "server/monitoring/Metricas.h"
#include "server/store/VigiaDoBanco.h"

#include <QAtomicInt>
#include <QDateTime>
#include <QFileInfo>

#include <QFile>

#include <libpq-fe.h>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace {

QAtomicInt contadorDeConexoes;

qint64 agora()
{
    return QDateTime::currentMSecsSinceEpoch();
}

bool conexaoCaiu(const QSqlError& e)
{
    // Class 08: connection exception; 57P01-57P03: the server is shutting down or starting.
    // No SQLSTATE at all: libpq found the connection closed under it.
    const QString codigo = e.nativeErrorCode();
    return e.type() == QSqlError::ConnectionError || codigo.isEmpty() || codigo.startsWith(QLatin1String("08"))
        || codigo.startsWith(QLatin1String("57P"));
}

} // namespace

// A notice from the server: WARNINGs are counted (the client's minimum, so nothing milder comes).
void avisoDoPostgres(void* banco, const PGresult* aviso)
{
    auto* b = static_cast<Banco*>(banco);
    const char* gravidade = PQresultErrorField(aviso, PG_DIAG_SEVERITY_NONLOCALIZED);
    if (!gravidade || qstrcmp(gravidade, "WARNING") != 0)
        return;
    ++b->m_avisos;
    b->m_ultimoAviso = QString::fromUtf8(PQresultErrorField(aviso, PG_DIAG_MESSAGE_PRIMARY)).simplified();
}

void Banco::ouveAvisos()
{
    if (PGconn* c = conexaoLibpq(db()))
        PQsetNoticeReceiver(c, avisoDoPostgres, this);
}

bool Banco::confirmacaoIncerta(int avisosAntes)
{
    if (m_sqlite || m_avisos == avisosAntes)
        return false;
    m_passageira = false;
    falha(QStringLiteral("confirmação"),
          QStringLiteral("o PostgreSQL confirmou com um aviso (%1): a mudança pode não estar na reserva síncrona e é dada como não gravada")
              .arg(m_ultimoAviso));
    if (m_diario)
        m_diario(m_erro);
    return true;
}

Banco::Banco(QString conexao)
    : m_conexao(std::move(conexao)),
      m_nomeConexao(QStringLiteral("zelto-armazem-%1").arg(contadorDeConexoes.fetchAndAddRelaxed(1)))
{
}

Banco::~Banco()
{
    VigiaDoBanco::doProcesso().retira(this);
    qDeleteAll(m_preparadas);
    m_preparadas.clear();
    if (QSqlDatabase::contains(m_nomeConexao)) {
        {
            QSqlDatabase db = QSqlDatabase::database(m_nomeConexao, false);
            db.close();
        }
        QSqlDatabase::removeDatabase(m_nomeConexao);
    }
}

bool Banco::falha(const QString& onde, const QString& detalhe)
{
    m_erro = onde + QStringLiteral(": ") + detalhe;
    return false;
}

QSqlDatabase Banco::db() const
{
    return QSqlDatabase::database(m_nomeConexao, false);
}

QVariant Banco::texto(const QString& t)
{
    return t.isNull() ? QVariant(QString(QLatin1String(""))) : QVariant(t);
}

// Full disk, read-only file or database, or (while writing) an I/O error.
bool Banco::gravacaoRecusada(const QSqlError& e) const
{
    const QString codigo = e.nativeErrorCode();
    if (m_sqlite) {
        const int primario = codigo.toInt() & 0xff;   // the same with SQLite's extended codes
        return primario == 13 || primario == 8 || (primario == 10 && m_gravando);
    }
    return codigo == QLatin1String("53100") || codigo == QLatin1String("25006") || (codigo == QLatin1String("58030") && m_gravando);
}

void Banco::gravou()
{
    if (!EstadoDeGravacao::aceitando())
        EstadoDeGravacao::aceitou(m_diario);
}

bool Banco::falhaDoBanco(const QString& onde, const QSqlError& e)
{
    m_passageira = false;
    m_semGravacao = gravacaoRecusada(e);
    if (m_semGravacao)
        EstadoDeGravacao::recusou(m_diario, e.text().simplified());
    if (m_sqlite) {
        // Pages read while the file was damaged stay in this connection's cache, and the file
        // coming back whole does not tell it: the connection is opened anew before its next use.
        const int primario = e.nativeErrorCode().toInt() & 0xff;
        if (primario == 11 || primario == 26)   // SQLITE_CORRUPT, SQLITE_NOTADB
            perdeu();
        return falha(onde, e.text().simplified());
    }
    const QString codigo = e.nativeErrorCode();
    QString texto = e.databaseText().simplified();
    if (texto.isEmpty())
        texto = e.text().simplified();
    m_passageira = codigo == QLatin1String("40P01") || codigo == QLatin1String("40001");
    if (codigo == QLatin1String("42501"))
        texto += QStringLiteral(" (o usuário do banco não tem permissão nas tabelas do registro: "
                                "veja GRANT no README do servidor)");
    else if (codigo == QLatin1String("55P03") || codigo == QLatin1String("57014"))
        texto += QStringLiteral(" (um registro ficou bloqueado por outra sessão do banco além do tempo de espera)");
    if (conexaoCaiu(e))
        perdeu();
    return falha(onde, QStringLiteral("PostgreSQL%1: %2").arg(codigo.isEmpty() ? QString() : QStringLiteral(" [%1]").arg(codigo), texto));
}

QString Banco::descricao() const
{
    if (m_conexao.startsWith(QLatin1String("sqlite:")))
        return m_conexao;
    if (!ehConexaoPg(m_conexao))
        return QStringLiteral("(conexão não reconhecida)");
    return descricaoPg(m_conexao);
}

void Banco::perdeu()
{
    if (m_perdida)
        return;
    m_perdida = true;
    m_perdidaDesdeMs = agora();
    m_proximaTentativaMs = m_perdidaDesdeMs;   // the next request tries at once
    m_esperaMs = 0;
    m_ultimoAvisoMs = m_perdidaDesdeMs;
    if (m_diario)
        m_diario(QStringLiteral("conexão com o banco perdida; será reaberta"));
}

// Reopens a lost connection; on failure the next attempt waits a little longer (up to 2 s).
bool Banco::reabre()
{
    if (!m_sqlite && VigiaDoBanco::doProcesso().travado())
        return falha(QStringLiteral("banco"), QStringLiteral("o banco não responde"));
    qDeleteAll(m_preparadas);
    m_preparadas.clear();
    QSqlDatabase db = this->db();
    VigiaDoBanco::doProcesso().retira(this);
    db.close();
    const qint64 agoraMs = agora();
    const bool abriu = db.open();
    if (abriu && !m_sqlite) {
        VigiaDoBanco::doProcesso().registra(this, db);
        ouveAvisos();
    }
    // A refused connection (the database is down) is known at once: the next request may try
    // again. One that hung until its time-out waits for the back-off instead.
    m_tentativaLenta = agora() - agoraMs > 200;
    if (abriu && configuraConexao()) {
        Metricas::bancoReconectou();
        if (m_diario)
            m_diario(QStringLiteral("conexão com o banco restabelecida (%1 s fora)").arg(double(agoraMs - m_perdidaDesdeMs) / 1000.0, 0, 'f', 1));
        m_perdida = false;
        m_perdidaDesdeMs = 0;
        m_esperaMs = 0;
        return true;
    }
    const QString porque = m_erro.isEmpty() || db.isOpenError() ? db.lastError().text().simplified() : m_erro;
    db.close();
    m_perdida = true;
    m_esperaMs = std::clamp<qint64>(m_esperaMs * 2, 100, 2000);
    m_proximaTentativaMs = agoraMs + m_esperaMs;
    if (agoraMs - m_perdidaDesdeMs >= 10'000 && agoraMs - m_ultimoAvisoMs >= 30'000) {
        m_ultimoAvisoMs = agoraMs;
        if (m_diario)
            m_diario(QStringLiteral("BANCO INACESSÍVEL há %1 s: todos os pedidos recebem 0 (%2)")
                         .arg((agoraMs - m_perdidaDesdeMs) / 1000)
                         .arg(porque));
    }
    return falha(QStringLiteral("banco"), QStringLiteral("banco inacessível: ") + porque);
}

// Whether an operation may go to the database now: a lost connection is reopened when
// outside a transaction and the back-off allows; otherwise the operation fails at once.
bool Banco::pronto()
{
    // A database that answers nothing is not waited on (see VigiaDoBanco).
    if (!m_sqlite && VigiaDoBanco::doProcesso().travado())
        return falha(QStringLiteral("banco"), QStringLiteral("o banco não responde"));
    if (!m_perdida)
        return true;
    if (m_emTransacao)
        return falha(QStringLiteral("banco"), QStringLiteral("a conexão com o banco caiu no meio da transação"));
    if (m_tentativaLenta && agora() < m_proximaTentativaMs)
        return falha(QStringLiteral("banco"), QStringLiteral("banco inacessível há %1 s").arg((agora() - m_perdidaDesdeMs) / 1000));
    return reabre();
}

void Banco::vigia()
{
    if (m_emTransacao || m_sqlite || VigiaDoBanco::doProcesso().travado())
        return;
    const qint64 agoraMs = agora();
    if (m_perdida) {
        if (agoraMs >= m_proximaTentativaMs)
            reabre();
        return;
    }
    // A quiet connection is checked now and then, so that a restart of the database is
    // noticed (and the connection reopened) before a client's request meets it.
    if (agoraMs - m_ultimaVigiaMs < 1000)
        return;
    m_ultimaVigiaMs = agoraMs;
    QSqlQuery q(db());
    if (!q.exec(QStringLiteral("SELECT 1"))) {
        falhaDoBanco(QStringLiteral("vigia"), q.lastError());
        if (m_perdida)
            reabre();
    }
}

// Settings every (re)opened connection gets; false when the database is not fit to serve.
bool Banco::configuraConexao()
{
    QSqlDatabase db = this->db();
    const auto executa = [&](const QString& sql) {
        QSqlQuery q(db);
        if (!q.exec(sql))
            return falhaDoBanco(sql.section(u' ', 0, 2), q.lastError());
        return true;
    };
    if (m_sqlite) {
        // WAL with a full sync at every commit: an acknowledged change survives a crash of
        // the process and of the machine.
        return executa(QStringLiteral("PRAGMA journal_mode=WAL")) && executa(QStringLiteral("PRAGMA synchronous=FULL"))
            && executa(QStringLiteral("PRAGMA foreign_keys=ON"))
            // Room for a whole registry of some tens of thousands of sheets in the page cache
            // (the default holds 2 MiB), so that searches do not read the file over and over.
            // Pages are read by system calls, never through a mapping of the file: a read
            // that fails there (a disk error, a file cut short) is a failed request, where a
            // mapped page would end the whole process with SIGBUS. The large cache keeps the
            // speed: a page once read stays until another connection changes the file.
            && executa(QStringLiteral("PRAGMA cache_size=-65536")) && executa(QStringLiteral("PRAGMA mmap_size=0"));
    }
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral("SHOW server_encoding")) || !q.next())
        return falhaDoBanco(QStringLiteral("banco"), q.lastError());
    const QString codificacao = q.value(0).toString();
    q.finish();
    if (codificacao.compare(QLatin1String("UTF8"), Qt::CaseInsensitive) != 0)
        return falha(QStringLiteral("banco"),
                     QStringLiteral("o banco %1 usa a codificação %2, e o registro precisa de UTF8 para guardar todo texto "
                                    "que os clientes enviam; crie-o com: CREATE DATABASE nome ENCODING 'UTF8' TEMPLATE template0")
                         .arg(descricao(), codificacao));
    // Notices ("already exists, skipping") would reach standard error past the log's format.
    return executa(QStringLiteral("SET client_min_messages = warning"))
        && executa(QStringLiteral("SET lock_timeout = %1").arg(esperaDeBloqueioMs))
        && executa(QStringLiteral("SET statement_timeout = %1").arg(limiteDeComandoMs))
        && executa(QStringLiteral("SET idle_in_transaction_session_timeout = 60000"));
}

bool Banco::abre(bool criar)
{
    QSqlDatabase db;
    if (m_conexao.startsWith(QLatin1String("sqlite:"))) {
        m_sqlite = true;
        const QString caminho = m_conexao.mid(7);
        if (caminho.isEmpty())
            return falha(QStringLiteral("banco"), QStringLiteral("falta o caminho do arquivo em \"sqlite:CAMINHO\""));
        if (!criar && !QFileInfo::exists(caminho))
            return falha(QStringLiteral("banco"), QStringLiteral("o arquivo %1 não existe (crie-o com \"zelto-server criar-banco\")").arg(caminho));
        // What SQLite would only call "unable to open database file", said with its path and cause.
        // (":memory:", SQLite's store in memory, is no file; to Qt a leading ":" is a resource.)
        const bool existe = QFileInfo::exists(caminho);
        const QByteArray alvo = QFile::encodeName(existe ? caminho : QFileInfo(caminho).absolutePath());
        if (caminho != QLatin1String(":memory:") && ::access(alvo.constData(), existe ? R_OK : W_OK | X_OK) != 0)
            return falha(QStringLiteral("banco"), ArquivosDoRegistro::motivo(caminho, errno));
        db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_nomeConexao);
        db.setDatabaseName(caminho);
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
    } else if (ehConexaoPg(m_conexao)) {
        m_sqlite = false;
        DestinoPg destino;
        QString porque;
        if (!leDestinoPg(m_conexao, destino, porque))
            return falha(QStringLiteral("banco"), porque);
        db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), m_nomeConexao);
        apontaPara(db, destino);
    } else {
        return falha(QStringLiteral("banco"),
                     QStringLiteral("conexão desconhecida \"%1\": use sqlite:CAMINHO ou postgresql://...").arg(m_conexao));
    }
    if (!db.isValid())
        return falha(QStringLiteral("banco"), QStringLiteral("o driver do banco não está instalado"));
    if (!db.open() && m_sqlite && m_conexao != QLatin1String("sqlite::memory:")) {
        // SQLite says only "unable to open database file": the system's own refusal instead.
        const QString caminho = m_conexao.mid(7);
        const bool existia = QFileInfo::exists(caminho);
        const int fd = ::open(QFile::encodeName(caminho).constData(), existia ? O_RDWR : O_RDWR | O_CREAT | O_EXCL, 0600);
        if (fd < 0)
            return falha(QStringLiteral("banco"), ArquivosDoRegistro::motivo(caminho, errno));
        ::close(fd);
        if (!existia)
            QFile::remove(caminho);
    }
    if (!db.isOpen())
        return falha(QStringLiteral("banco"), QStringLiteral("não foi possível conectar a %1: %2").arg(descricao(), db.lastError().text().simplified()));
    if (!m_sqlite) {
        VigiaDoBanco::doProcesso().registra(this, db);
        ouveAvisos();
    }
    return configuraConexao();
}

bool Banco::executaDireto(const QString& sql)
{
    if (!pronto())
        return false;
    QSqlQuery q(db());
    if (!q.exec(sql))
        return falhaDoBanco(sql.section(u' ', 0, 2), q.lastError());
    q.finish();
    return true;
}

QSqlQuery* Banco::prepara(const QString& sql)
{
    if (!pronto())
        return nullptr;
    if (QSqlQuery* q = m_preparadas.value(sql))
        return q;
    auto* q = new QSqlQuery(db());
    q->setForwardOnly(true);
    if (!q->prepare(sql)) {
        falhaDoBanco(QStringLiteral("preparo"), q->lastError());
        delete q;
        return nullptr;
    }
    m_preparadas.insert(sql, q);
    return q;
}

bool Banco::executa(QSqlQuery* q)
{
    if (!q)
        return false;
    if (!q->exec()) {
        falhaDoBanco(QStringLiteral("consulta"), q->lastError());
        q->finish();
        return false;
    }
    return true;
}

QSqlQuery* Banco::consulta(const QString& sql, std::initializer_list<QVariant> valores)
{
    for (int tentativa = 0;; ++tentativa) {
        QSqlQuery* q = prepara(sql);
        // A statement never prepared before meets a dropped connection at its preparation.
        if (!q && (tentativa > 0 || !m_perdida || m_emTransacao))
            return nullptr;
        if (!q)
            continue;
        int i = 0;
        for (const QVariant& v : valores)
            q->bindValue(i++, v);
        if (executa(q))
            return q;
        // Outside a transaction a statement that met a dropped connection is simply run
        // again on a new one: nothing of it was done.
        if (tentativa > 0 || !m_perdida || m_emTransacao || !reabre())
            return nullptr;
    }
}

bool Banco::altera(const QString& sql, std::initializer_list<QVariant> valores, qint64* linhas)
{
    m_gravando = true;
    const int avisos = m_avisos;
    QSqlQuery* q = consulta(sql, valores);
    m_gravando = false;
    if (!q)
        return false;
    if (!m_emTransacao && confirmacaoIncerta(avisos)) {
        q->finish();
        return false;
    }
    const qint64 alteradas = q->numRowsAffected();
    if (linhas)
        *linhas = alteradas;
    q->finish();
    // Outside a transaction a change that took rows is on disk: the store takes writes.
    if (!m_emTransacao && alteradas > 0)
        gravou();
    return true;
}

bool Banco::temLinha(const QString& sql, std::initializer_list<QVariant> valores, bool& tem)
{
    QSqlQuery* q = consulta(sql, valores);
    if (!q)
        return false;
    tem = q->next();
    q->finish();
    return true;
}

bool Banco::iniciaTransacao()
{
    if (!pronto())
        return false;
    QSqlDatabase db = this->db();
    if (m_sqlite) {
        // Taking the write lock at the start, within the busy timeout: a transaction that read
        // first could not take it later while another connection wrote meanwhile, and SQLite
        // fails that one at once ("database is locked") instead of waiting.
        QSqlQuery q(db);
        if (!q.exec(QStringLiteral("BEGIN IMMEDIATE")))
            return falhaDoBanco(QStringLiteral("transação"), q.lastError());
        m_emTransacao = true;
        m_mudou = false;
        return true;
    }
    if (!db.transaction()) {
        falhaDoBanco(QStringLiteral("transação"), db.lastError());
        // A connection that died while quiet (the database restarted) is noticed here:
        // reopened at once, the request still goes through.
        if (!m_perdida || !reabre())
            return false;
        db = this->db();
        if (!db.transaction())
            return falhaDoBanco(QStringLiteral("transação"), db.lastError());
    }
    m_emTransacao = true;
    m_mudou = false;
    return true;
}

bool Banco::confirmaTransacao()
{
    QSqlDatabase db = this->db();
    m_gravando = true;
    const int avisos = m_avisos;
    const bool confirmou = db.commit();
    const bool ok = (confirmou || falhaDoBanco(QStringLiteral("confirmação"), db.lastError())) && !confirmacaoIncerta(avisos);
    m_gravando = false;
    if (confirmou || m_perdida)
        m_emTransacao = false;
    if (ok && m_mudou)
        gravou();
    return ok;
}

void Banco::desfazTransacao()
{
    db().rollback();
    m_emTransacao = false;
}

bool Banco::marcaPonto()
{
    return executaDireto(QStringLiteral("SAVEPOINT alteracao"));
}

bool Banco::liberaPonto()
{
    // On PostgreSQL every statement is a round trip to another process: a savepoint that
    // went well is left in place (the commit ends them all, and a later rollback to
    // "alteracao" finds the newest one), which spares one per change.
    if (!m_sqlite) {
        m_mudou = m_mudou || !m_perdida;
        return !m_perdida || falha(QStringLiteral("banco"), QStringLiteral("a conexão com o banco caiu no meio da transação"));
    }
    const bool ok = executaDireto(QStringLiteral("RELEASE SAVEPOINT alteracao"));
    m_mudou = m_mudou || ok;
    return ok;
}

void Banco::voltaAoPonto()
{
    executaDireto(QStringLiteral("ROLLBACK TO SAVEPOINT alteracao"));
    executaDireto(QStringLiteral("RELEASE SAVEPOINT alteracao"));
}
