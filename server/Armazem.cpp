#include "server/Armazem.h"
#include "protocol/FormatoBR.h"
#include "protocol/Wire.h"

#include <QAtomicInt>
#include <QDateTime>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QUrlQuery>
#include <QSqlError>
#include <QSqlRecord>
#include <QUrl>
#include <QVariant>

namespace {

using Tipo = CampoDaFicha::Tipo;

// The sheet columns, one per field of the member record in wire order, numeroFicha
// excepted (it is part of the key). Column names are the field names in lower case.
struct Colunas {
    QStringList nomes;
    QString lista;           // "nome, endereco, ..."
    QString marcadores;      // "?, ?, ..."
    QString atribuicoes;     // "nome = ?, endereco = ?, ..."
};

const Colunas& colunas()
{
    static const Colunas c = [] {
        Colunas c;
        for (const CampoDaFicha& campo : clsAgenda::campos()) {
            if (campo.tipo == Tipo::Inteiro)
                continue;
            c.nomes << QString::fromLatin1(campo.nome).toLower();
        }
        c.lista = c.nomes.join(QStringLiteral(", "));
        QStringList m, a;
        for (const QString& n : c.nomes) {
            m << QStringLiteral("?");
            a << n + QStringLiteral(" = ?");
        }
        c.marcadores = m.join(QStringLiteral(", "));
        c.atribuicoes = a.join(QStringLiteral(", "));
        return c;
    }();
    return c;
}

QString dataIso(const QDate& d)
{
    const QDate v = d.isValid() ? d : FormatoBR::dataZero();
    return QStringLiteral("%1-%2-%3")
        .arg(v.year(), 4, 10, QLatin1Char('0'))
        .arg(v.month(), 2, 10, QLatin1Char('0'))
        .arg(v.day(), 2, 10, QLatin1Char('0'));
}

// Qt binds a null QString as SQL NULL; the text columns hold the empty text instead.
QVariant texto(const QString& t)
{
    return t.isNull() ? QVariant(QString(QLatin1String(""))) : QVariant(t);
}

// LIKE pattern for "contains", with the pattern characters of the text escaped by "\".
QString padraoContem(const QString& t)
{
    QString p = QStringLiteral("%");
    for (QChar c : t) {
        if (c == u'\\' || c == u'%' || c == u'_')
            p += u'\\';
        p += c;
    }
    p += u'%';
    return p;
}

QAtomicInt contadorDeConexoes;

// Name searches scan this (department, folded name, number) index instead of the rows.
QString indiceDeNomes()
{
    return QStringLiteral("CREATE INDEX IF NOT EXISTS fichas_por_nome ON fichas (iddepartamento, nome_busca, numeroficha)");
}

qint64 agora()
{
    return QDateTime::currentMSecsSinceEpoch();
}

// The parts of "postgresql://[USER[:PASSWORD]@]HOST[:PORT]/DATABASE[?options]". The user
// part is cut at the last "@" by hand, so a password with "@", "/", "#" or "?" in it is
// still read whole (and never ends up in a message).
struct EnderecoPg {
    QString esquema, usuario, senha, resto;
    bool temSenha = false;
};

EnderecoPg separa(const QString& conexao)
{
    EnderecoPg e;
    const qsizetype inicio = conexao.indexOf(QLatin1String("://"));
    e.esquema = conexao.left(inicio + 3);
    QString depois = conexao.mid(inicio + 3);
    // The user part ends at the last "@" before the database path; a path or query with an
    // "@" of its own is rare enough to ignore.
    const qsizetype arroba = depois.lastIndexOf(u'@');
    if (arroba >= 0) {
        const QString credenciais = depois.left(arroba);
        const qsizetype doisPontos = credenciais.indexOf(u':');
        e.usuario = QUrl::fromPercentEncoding(credenciais.left(doisPontos < 0 ? credenciais.size() : doisPontos).toUtf8());
        if (doisPontos >= 0) {
            e.temSenha = true;
            e.senha = QUrl::fromPercentEncoding(credenciais.mid(doisPontos + 1).toUtf8());
        }
        depois = depois.mid(arroba + 1);
    }
    e.resto = depois;
    return e;
}

// The libpq options a connection text may carry after "?".
const QStringList opcoesPg = {QStringLiteral("host"), QStringLiteral("port"), QStringLiteral("sslmode"), QStringLiteral("sslrootcert"),
                              QStringLiteral("sslcert"), QStringLiteral("sslkey"), QStringLiteral("connect_timeout"),
                              QStringLiteral("service"), QStringLiteral("passfile"), QStringLiteral("application_name"),
                              QStringLiteral("target_session_attrs")};

bool conexaoCaiu(const QSqlError& e)
{
    // Class 08: connection exception; 57P01-57P03: the server is shutting down or starting.
    // No SQLSTATE at all: libpq found the connection closed under it.
    const QString codigo = e.nativeErrorCode();
    return e.type() == QSqlError::ConnectionError || codigo.isEmpty() || codigo.startsWith(QLatin1String("08"))
        || codigo.startsWith(QLatin1String("57P"));
}

} // namespace

Armazem::Armazem(QString conexao)
    : m_conexao(std::move(conexao)),
      m_nomeConexao(QStringLiteral("zelto-armazem-%1").arg(contadorDeConexoes.fetchAndAddRelaxed(1)))
{
}

Armazem::~Armazem()
{
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

bool Armazem::falha(const QString& onde, const QString& detalhe)
{
    m_erro = onde + QStringLiteral(": ") + detalhe;
    return false;
}

QSqlDatabase Armazem::banco() const
{
    return QSqlDatabase::database(m_nomeConexao, false);
}

// Every database error goes through here: one line, the engine's code, and for PostgreSQL
// whether the connection was lost.
bool Armazem::falhaDoBanco(const QString& onde, const QSqlError& e)
{
    m_passageira = false;
    if (m_sqlite)
        return falha(onde, e.text().simplified());
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

QString Armazem::descricao() const
{
    if (m_conexao.startsWith(QLatin1String("sqlite:")))
        return m_conexao;
    if (!m_conexao.contains(QLatin1String("://")))
        return QStringLiteral("(conexão não reconhecida)");
    const EnderecoPg e = separa(m_conexao);
    QString resto = e.resto;
    // A password given as an option is cut out as well.
    const qsizetype interrogacao = resto.indexOf(u'?');
    if (interrogacao >= 0) {
        QUrlQuery consulta(resto.mid(interrogacao + 1));
        consulta.removeAllQueryItems(QStringLiteral("password"));
        resto = resto.left(interrogacao) + (consulta.isEmpty() ? QString() : QLatin1Char('?') + consulta.toString());
    }
    return e.esquema + (e.usuario.isEmpty() ? QString() : QString(QUrl::toPercentEncoding(e.usuario)) + QLatin1Char('@')) + resto;
}

void Armazem::perdeu()
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
bool Armazem::reabre()
{
    qDeleteAll(m_preparadas);
    m_preparadas.clear();
    QSqlDatabase db = banco();
    db.close();
    const qint64 agoraMs = agora();
    const bool abriu = db.open();
    // A refused connection (the database is down) is known at once: the next request may try
    // again. One that hung until its time-out waits for the back-off instead.
    m_tentativaLenta = agora() - agoraMs > 200;
    if (abriu && configuraConexao()) {
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
bool Armazem::pronto()
{
    if (!m_perdida)
        return true;
    if (m_emTransacao)
        return falha(QStringLiteral("banco"), QStringLiteral("a conexão com o banco caiu no meio da transação"));
    if (m_tentativaLenta && agora() < m_proximaTentativaMs)
        return falha(QStringLiteral("banco"), QStringLiteral("banco inacessível há %1 s").arg((agora() - m_perdidaDesdeMs) / 1000));
    return reabre();
}

void Armazem::vigia()
{
    if (m_emTransacao || m_sqlite)
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
    QSqlQuery q(banco());
    if (!q.exec(QStringLiteral("SELECT 1"))) {
        falhaDoBanco(QStringLiteral("vigia"), q.lastError());
        if (m_perdida)
            reabre();
    }
}

// Settings every (re)opened connection gets; false when the database is not fit to serve.
bool Armazem::configuraConexao()
{
    QSqlDatabase db = banco();
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
            && executa(QStringLiteral("PRAGMA cache_size=-65536"))
            // Pages read through a mapping of the file rather than copied by a system call
            // each: a department's whole list reads in half the time. Writes still go through
            // the journal as before.
            && executa(QStringLiteral("PRAGMA mmap_size=1073741824"));
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

bool Armazem::abre(bool criar)
{
    QSqlDatabase db;
    if (m_conexao.startsWith(QLatin1String("sqlite:"))) {
        m_sqlite = true;
        const QString caminho = m_conexao.mid(7);
        if (caminho.isEmpty())
            return falha(QStringLiteral("banco"), QStringLiteral("falta o caminho do arquivo em \"sqlite:CAMINHO\""));
        if (!criar && !QFileInfo::exists(caminho))
            return falha(QStringLiteral("banco"), QStringLiteral("o arquivo %1 não existe (crie-o com \"zelto-server criar-banco\")").arg(caminho));
        db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_nomeConexao);
        db.setDatabaseName(caminho);
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
    } else if (m_conexao.startsWith(QLatin1String("postgresql://")) || m_conexao.startsWith(QLatin1String("postgres://"))) {
        m_sqlite = false;
        const EnderecoPg e = separa(m_conexao);
        const QUrl url(QStringLiteral("postgresql://") + e.resto);
        if (!url.isValid() || url.path().size() < 2)
            return falha(QStringLiteral("banco"), QStringLiteral("endereço PostgreSQL inválido: %1 (esperado postgresql://USUÁRIO@SERVIDOR:PORTA/BANCO)")
                                                      .arg(descricao()));
        QStringList opcoes{QStringLiteral("connect_timeout=3")};
        QString host = url.host();
        int porta = url.port();
        for (const auto& [nome, valor] : QUrlQuery(url).queryItems(QUrl::FullyDecoded)) {
            if (!opcoesPg.contains(nome) || valor.contains(u' ') || valor.contains(u';'))
                return falha(QStringLiteral("banco"), QStringLiteral("opção \"%1\" não aceita no endereço PostgreSQL").arg(nome));
            if (nome == QLatin1String("host"))
                host = valor;   // e.g. the folder of a Unix socket
            else if (nome == QLatin1String("port"))
                porta = valor.toInt();
            else
                opcoes << nome + QLatin1Char('=') + valor;
        }
        db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), m_nomeConexao);
        db.setHostName(host);
        if (porta > 0)
            db.setPort(porta);
        db.setUserName(e.usuario);
        if (e.temSenha)
            db.setPassword(e.senha);
        db.setDatabaseName(url.path().mid(1));
        db.setConnectOptions(opcoes.join(u';'));
    } else {
        return falha(QStringLiteral("banco"),
                     QStringLiteral("conexão desconhecida \"%1\": use sqlite:CAMINHO ou postgresql://...").arg(m_conexao));
    }
    if (!db.isValid())
        return falha(QStringLiteral("banco"), QStringLiteral("o driver do banco não está instalado"));
    if (!db.open())
        return falha(QStringLiteral("banco"), QStringLiteral("não foi possível conectar a %1: %2").arg(descricao(), db.lastError().text().simplified()));
    return configuraConexao();
}

bool Armazem::executaDireto(const QString& sql)
{
    if (!pronto())
        return false;
    QSqlQuery q(QSqlDatabase::database(m_nomeConexao, false));
    if (!q.exec(sql))
        return falhaDoBanco(sql.section(u' ', 0, 2), q.lastError());
    q.finish();
    return true;
}

QSqlQuery* Armazem::prepara(const QString& sql)
{
    if (!pronto())
        return nullptr;
    if (QSqlQuery* q = m_preparadas.value(sql))
        return q;
    auto* q = new QSqlQuery(QSqlDatabase::database(m_nomeConexao, false));
    q->setForwardOnly(true);
    if (!q->prepare(sql)) {
        falhaDoBanco(QStringLiteral("preparo"), q->lastError());
        delete q;
        return nullptr;
    }
    m_preparadas.insert(sql, q);
    return q;
}

bool Armazem::executa(QSqlQuery* q)
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

QSqlQuery* Armazem::consulta(const QString& sql, std::initializer_list<QVariant> valores)
{
    for (int tentativa = 0;; ++tentativa) {
        QSqlQuery* q = prepara(sql);
        if (!q)
            return nullptr;
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

template <class PorLinha>
bool Armazem::paraCadaLinha(const QString& sql, std::initializer_list<QVariant> valores, PorLinha&& porLinha)
{
    QSqlQuery* q = consulta(sql, valores);
    if (!q)
        return false;
    while (q->next())
        porLinha(*q);
    q->finish();
    return true;
}

namespace {

// `segredo` holds the session's key: the hash of the secret its client holds.
QString tabelaDeSessoes()
{
    return QStringLiteral("CREATE TABLE IF NOT EXISTS sessoes ("
                          "segredo TEXT NOT NULL PRIMARY KEY, "
                          "endereco TEXT NOT NULL, "
                          "usuario TEXT NOT NULL REFERENCES operadores (usuario) ON DELETE CASCADE, "
                          "por_endereco INTEGER NOT NULL DEFAULT 0, "
                          "aberta_em BIGINT NOT NULL, "
                          "ultima_atividade BIGINT NOT NULL)");
}

} // namespace

bool Armazem::criaEsquema()
{
    QStringList ddl;
    ddl << QStringLiteral("CREATE TABLE IF NOT EXISTS versao_esquema (versao INTEGER NOT NULL)")
        << QStringLiteral("CREATE TABLE IF NOT EXISTS departamentos ("
                          "iddepartamento INTEGER NOT NULL PRIMARY KEY, "
                          "dsdepartamento TEXT NOT NULL)")
        << QStringLiteral("CREATE TABLE IF NOT EXISTS operadores ("
                          "usuario TEXT NOT NULL PRIMARY KEY, "
                          "hash TEXT NOT NULL, "
                          "iddepartamento INTEGER NOT NULL REFERENCES departamentos (iddepartamento), "
                          "ativo INTEGER NOT NULL DEFAULT 1)")
        << tabelaDeSessoes()
        << QStringLiteral("CREATE INDEX IF NOT EXISTS sessoes_do_endereco ON sessoes (endereco)")
        << QStringLiteral("CREATE INDEX IF NOT EXISTS sessoes_por_usuario ON sessoes (usuario)");
    QString fichas = QStringLiteral("CREATE TABLE IF NOT EXISTS fichas ("
                                    "iddepartamento INTEGER NOT NULL REFERENCES departamentos (iddepartamento), "
                                    "numeroficha INTEGER NOT NULL, "
                                    "nome_busca TEXT NOT NULL, "
                                    "fio %1 NOT NULL").arg(tipoBinario());
    for (const CampoDaFicha& campo : clsAgenda::campos()) {
        const QString nome = QString::fromLatin1(campo.nome).toLower();
        switch (campo.tipo) {
        case Tipo::Inteiro:
            break;
        case Tipo::Data:
            fichas += QStringLiteral(", %1 TEXT NOT NULL").arg(nome);
            break;
        case Tipo::Valor:
            fichas += QStringLiteral(", %1 DOUBLE PRECISION NOT NULL").arg(nome);
            break;
        case Tipo::Texto:
            fichas += QStringLiteral(", %1 TEXT NOT NULL").arg(nome);
            break;
        }
    }
    fichas += QStringLiteral(", PRIMARY KEY (iddepartamento, numeroficha))");
    ddl << fichas << QStringLiteral("CREATE INDEX IF NOT EXISTS fichas_por_data ON fichas (iddepartamento, data)")
        << indiceDeNomes();

    QSqlDatabase db = QSqlDatabase::database(m_nomeConexao, false);
    if (!db.transaction())
        return falha(QStringLiteral("esquema"), db.lastError().text());
    for (const QString& sql : ddl)
        if (!executaDireto(sql)) {
            db.rollback();
            return false;
        }
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral("SELECT COUNT(*) FROM versao_esquema")) || !q.next()) {
        db.rollback();
        return falha(QStringLiteral("esquema"), q.lastError().text());
    }
    const bool vazio = q.value(0).toLongLong() == 0;
    q.finish();
    if (vazio && !executaDireto(QStringLiteral("INSERT INTO versao_esquema (versao) VALUES (%1)").arg(versaoDoEsquema))) {
        db.rollback();
        return false;
    }
    if (!db.commit())
        return falha(QStringLiteral("esquema"), db.lastError().text());
    // The tables may have been there already, made by an earlier version.
    return atualizaEsquema();
}

bool Armazem::versao(int& v)
{
    QSqlQuery q(QSqlDatabase::database(m_nomeConexao, false));
    if (!q.exec(QStringLiteral("SELECT MAX(versao) FROM versao_esquema")) || !q.next())
        return falha(QStringLiteral("esquema"), q.lastError().text());
    v = q.value(0).toInt();
    return true;
}

bool Armazem::atualizaEsquema()
{
    int v = 0;
    if (!versao(v))
        return false;
    // The name index came after version 2 without changing the tables: made when missing.
    if (v <= versaoDoEsquema && !executaDireto(indiceDeNomes()))
        return false;
    if (v == versaoDoEsquema)
        return true;
    if (v > versaoDoEsquema)
        return falha(QStringLiteral("esquema"), QStringLiteral("o banco é da versão %1 do registro e este servidor conhece até a %2: "
                                                                "atualize o zelto-server")
                                                     .arg(v)
                                                     .arg(versaoDoEsquema));
    QSqlDatabase db = QSqlDatabase::database(m_nomeConexao, false);
    if (!db.transaction())
        return falha(QStringLiteral("esquema"), db.lastError().text());
    const auto desiste = [&] {
        db.rollback();
        return false;
    };
    if (v < 2 && banco().record(QStringLiteral("fichas")).indexOf(QStringLiteral("fio")) < 0) {
        // Version 2 keeps each sheet's wire text: add the column and fill it from the others,
        // a slice of sheets at a time so that a large registry is never held in memory.
        if (!executaDireto(QStringLiteral("ALTER TABLE fichas ADD COLUMN fio %1").arg(tipoBinario())))
            return desiste();
        QSqlQuery le(db), grava(db);
        le.setForwardOnly(true);
        if (!le.prepare(QStringLiteral("SELECT iddepartamento, numeroficha, %1 FROM fichas "
                                       "WHERE iddepartamento > ? OR (iddepartamento = ? AND numeroficha > ?) "
                                       "ORDER BY iddepartamento, numeroficha LIMIT 1000")
                            .arg(colunas().lista))
            || !grava.prepare(QStringLiteral("UPDATE fichas SET fio = ? WHERE iddepartamento = ? AND numeroficha = ?"))) {
            falha(QStringLiteral("esquema"), le.lastError().text() + grava.lastError().text());
            return desiste();
        }
        qint64 dep = std::numeric_limits<qint32>::min(), numero = std::numeric_limits<qint32>::min();
        for (;;) {
            le.bindValue(0, dep);
            le.bindValue(1, dep);
            le.bindValue(2, numero);
            if (!le.exec()) {
                falha(QStringLiteral("esquema"), le.lastError().text());
                return desiste();
            }
            QList<std::pair<std::pair<qint32, qint32>, QByteArray>> lidas;
            while (le.next()) {
                clsAgenda f;
                leFicha(le, f, 1);
                lidas.append({{le.value(0).toInt(), f.numeroFicha}, fioDe(f)});
            }
            le.finish();
            if (lidas.isEmpty())
                break;
            for (const auto& [chave, fio] : lidas) {
                grava.bindValue(0, fio);
                grava.bindValue(1, chave.first);
                grava.bindValue(2, chave.second);
                if (!grava.exec()) {
                    falha(QStringLiteral("esquema"), grava.lastError().text());
                    return desiste();
                }
            }
            dep = lidas.last().first.first;
            numero = lidas.last().first.second;
        }
    }
    if (v < 3) {
        // Version 3: operators can be disabled, sessions live in the database.
        if (banco().record(QStringLiteral("operadores")).indexOf(QStringLiteral("ativo")) < 0
            && !executaDireto(QStringLiteral("ALTER TABLE operadores ADD COLUMN ativo INTEGER NOT NULL DEFAULT 1")))
            return desiste();
        if (!executaDireto(QStringLiteral("CREATE TABLE IF NOT EXISTS sessoes ("
                                          "segredo TEXT NOT NULL PRIMARY KEY, "
                                          "endereco TEXT NOT NULL, "
                                          "usuario TEXT NOT NULL REFERENCES operadores (usuario) ON DELETE CASCADE, "
                                          "aberta_em BIGINT NOT NULL, "
                                          "ultima_atividade BIGINT NOT NULL)"))
            || !executaDireto(QStringLiteral("CREATE INDEX IF NOT EXISTS sessoes_por_usuario ON sessoes (usuario)")))
            return desiste();
    }
    if (v < 4) {
        // Version 4: a session belongs to a connection's secret, not to an address. The
        // sessions opened under the old rule name no secret anyone holds: they end here
        // (each operator logs in once more).
        if (!executaDireto(QStringLiteral("DELETE FROM sessoes"))
            || !executaDireto(QStringLiteral("DROP INDEX IF EXISTS sessoes_por_endereco"))
            || (banco().record(QStringLiteral("sessoes")).indexOf(QStringLiteral("por_endereco")) < 0
                && !executaDireto(QStringLiteral("ALTER TABLE sessoes ADD COLUMN por_endereco INTEGER NOT NULL DEFAULT 0")))
            || !executaDireto(QStringLiteral("CREATE INDEX IF NOT EXISTS sessoes_do_endereco ON sessoes (endereco)")))
            return desiste();
    }
    if (!executaDireto(QStringLiteral("UPDATE versao_esquema SET versao = %1").arg(versaoDoEsquema)))
        return desiste();
    if (!db.commit())
        return falha(QStringLiteral("esquema"), db.lastError().text());
    return true;
}

bool Armazem::temEsquema()
{
    QSqlQuery q(QSqlDatabase::database(m_nomeConexao, false));
    const bool ok = q.exec(QStringLiteral("SELECT versao FROM versao_esquema")) && q.next();
    if (!ok) {
        const QSqlError e = q.lastError();
        // Only a missing table means a database still without the registry; anything else
        // (no rights, say) is told as it is.
        const bool semTabela = m_sqlite ? e.text().contains(QLatin1String("no such table"))
                                        : e.nativeErrorCode() == QLatin1String("42P01");
        if (semTabela || e.type() == QSqlError::NoError)
            falha(QStringLiteral("esquema"), QStringLiteral("o banco não tem as tabelas do registro (crie-as com \"zelto-server criar-banco\")"));
        else
            falhaDoBanco(QStringLiteral("esquema"), e);
    }
    q.finish();
    return ok;
}

bool Armazem::gravaDepartamento(const Departamento& d)
{
    QSqlQuery* q = consulta(QStringLiteral("SELECT 1 FROM departamentos WHERE iddepartamento = ?"), {d.id});
    if (!q)
        return false;
    const bool existe = q->next();
    q->finish();
    q = consulta(existe ? QStringLiteral("UPDATE departamentos SET dsdepartamento = ? WHERE iddepartamento = ?")
                        : QStringLiteral("INSERT INTO departamentos (dsdepartamento, iddepartamento) VALUES (?, ?)"),
                 {texto(d.descricao), d.id});
    if (!q)
        return false;
    q->finish();
    return true;
}

bool Armazem::gravaOperador(const QString& usuario, const QString& hash, qint32 idDepartamento, bool& novo)
{
    std::optional<Operador> atual;
    if (!operador(usuario, atual))
        return false;
    novo = !atual.has_value();
    QSqlQuery* q = consulta(novo ? QStringLiteral("INSERT INTO operadores (hash, iddepartamento, usuario) VALUES (?, ?, ?)")
                                 : QStringLiteral("UPDATE operadores SET hash = ?, iddepartamento = ? WHERE usuario = ?"),
                            {hash, idDepartamento, usuario});
    if (!q)
        return false;
    q->finish();
    return true;
}

bool Armazem::departamentos(QList<Departamento>& saida)
{
    saida.clear();
    return paraCadaLinha(QStringLiteral("SELECT iddepartamento, dsdepartamento FROM departamentos ORDER BY iddepartamento"), {},
                         [&](const QSqlQuery& q) {
        saida.append({q.value(0).toInt(), q.value(1).toString()});
    });
}

bool Armazem::operadores(QList<Operador>& saida)
{
    saida.clear();
    return paraCadaLinha(QStringLiteral("SELECT o.usuario, o.iddepartamento, d.dsdepartamento, o.ativo FROM operadores o "
                                        "JOIN departamentos d ON d.iddepartamento = o.iddepartamento ORDER BY o.usuario"),
                         {}, [&](const QSqlQuery& q) {
        saida.append({q.value(0).toString(), QString(), {q.value(1).toInt(), q.value(2).toString()}, q.value(3).toInt() != 0});
    });
}

bool Armazem::operador(const QString& usuario, std::optional<Operador>& saida)
{
    QSqlQuery* q = consulta(QStringLiteral("SELECT o.usuario, o.hash, o.iddepartamento, d.dsdepartamento, o.ativo FROM operadores o "
                                           "JOIN departamentos d ON d.iddepartamento = o.iddepartamento WHERE o.usuario = ?"),
                            {usuario});
    if (!q)
        return false;
    saida.reset();
    if (q->next())
        saida = Operador{q->value(0).toString(), q->value(1).toString(), {q->value(2).toInt(), q->value(3).toString()}, q->value(4).toInt() != 0};
    q->finish();
    return true;
}

bool Armazem::contaFichas(qint32 idDepartamento, qint64& quantas)
{
    QSqlQuery* q = consulta(QStringLiteral("SELECT COUNT(*) FROM fichas WHERE iddepartamento = ?"), {idDepartamento});
    if (!q)
        return false;
    quantas = q->next() ? q->value(0).toLongLong() : 0;
    q->finish();
    return true;
}

bool Armazem::fichasComSeparador(QList<QPair<qint32, qint32>>& saida)
{
    saida.clear();
    return paraCadaLinha(QStringLiteral("SELECT iddepartamento, numeroficha, fio FROM fichas "
                                        "ORDER BY iddepartamento, numeroficha"),
                         {}, [&](const QSqlQuery& q) {
        if (q.value(2).toByteArray().contains("@@@"))
            saida.append({q.value(0).toInt(), q.value(1).toInt()});
    });
}

bool Armazem::iniciaTransacao()
{
    if (!pronto())
        return false;
    QSqlDatabase db = banco();
    if (!db.transaction()) {
        falhaDoBanco(QStringLiteral("transação"), db.lastError());
        // A connection that died while quiet (the database restarted) is noticed here:
        // reopened at once, the request still goes through.
        if (!m_perdida || !reabre())
            return false;
        db = banco();
        if (!db.transaction())
            return falhaDoBanco(QStringLiteral("transação"), db.lastError());
    }
    m_emTransacao = true;
    return true;
}

bool Armazem::confirmaTransacao()
{
    QSqlDatabase db = banco();
    const bool ok = db.commit() || falhaDoBanco(QStringLiteral("confirmação"), db.lastError());
    if (ok || m_perdida)
        m_emTransacao = false;
    return ok;
}

void Armazem::desfazTransacao()
{
    banco().rollback();
    m_emTransacao = false;
}

bool Armazem::marcaPonto()
{
    return executaDireto(QStringLiteral("SAVEPOINT alteracao"));
}

bool Armazem::liberaPonto()
{
    // On PostgreSQL every statement is a round trip to another process: a savepoint that
    // went well is left in place (the commit ends them all, and a later rollback to
    // "alteracao" finds the newest one), which spares one per change.
    if (!m_sqlite)
        return !m_perdida || falha(QStringLiteral("banco"), QStringLiteral("a conexão com o banco caiu no meio da transação"));
    return executaDireto(QStringLiteral("RELEASE SAVEPOINT alteracao"));
}

void Armazem::voltaAoPonto()
{
    executaDireto(QStringLiteral("ROLLBACK TO SAVEPOINT alteracao"));
    executaDireto(QStringLiteral("RELEASE SAVEPOINT alteracao"));
}

void Armazem::leFicha(const QSqlQuery& q, clsAgenda& ficha, int primeira) const
{
    int i = primeira;
    for (const CampoDaFicha& campo : clsAgenda::campos()) {
        const QVariant v = q.value(i++);
        switch (campo.tipo) {
        case Tipo::Inteiro:
            ficha.numeroFicha = v.toInt();
            break;
        case Tipo::Data:
            ficha.Data = QDate::fromString(v.toString(), Qt::ISODate);
            if (!ficha.Data.isValid())
                ficha.Data = FormatoBR::dataZero();
            break;
        case Tipo::Valor:
            ficha.Valor = v.toDouble();
            break;
        case Tipo::Texto:
            ficha.*campo.texto = v.toString();
            break;
        }
    }
}

void Armazem::ligaCampos(QSqlQuery* q, const clsAgenda& ficha, const QByteArray& fio) const
{
    int i = 0;
    q->bindValue(i++, Armazem::dobraParaBusca(ficha.nome));
    q->bindValue(i++, fio.isEmpty() ? fioDe(ficha) : fio);
    for (const CampoDaFicha& campo : clsAgenda::campos()) {
        switch (campo.tipo) {
        case Tipo::Inteiro:
            break;
        case Tipo::Data:
            q->bindValue(i++, dataIso(ficha.Data));
            break;
        case Tipo::Valor:
            q->bindValue(i++, ficha.Valor);
            break;
        case Tipo::Texto:
            q->bindValue(i++, texto(ficha.*campo.texto));
            break;
        }
    }
}

bool Armazem::ficha(qint32 idDepartamento, qint32 numero, std::optional<clsAgenda>& saida)
{
    QSqlQuery* q = consulta(QStringLiteral("SELECT numeroficha, %1 FROM fichas WHERE iddepartamento = ? AND numeroficha = ?")
                                .arg(colunas().lista),
                            {idDepartamento, numero});
    if (!q)
        return false;
    saida.reset();
    if (q->next()) {
        clsAgenda f;
        leFicha(*q, f, 0);
        f.departamento.idDepartamento = idDepartamento;
        saida = std::move(f);
    }
    q->finish();
    return true;
}

bool Armazem::existe(qint32 idDepartamento, qint32 numero, bool& existe)
{
    QSqlQuery* q = consulta(QStringLiteral("SELECT 1 FROM fichas WHERE iddepartamento = ? AND numeroficha = ?"),
                            {idDepartamento, numero});
    if (!q)
        return false;
    existe = q->next();
    q->finish();
    return true;
}

bool Armazem::proximoNumero(qint32 idDepartamento, qint32& numero)
{
    // Written as "the first one from the top" rather than MAX(): PostgreSQL's plan for a
    // prepared MAX, made while the table looked empty, reads every sheet of the department.
    QSqlQuery* q = consulta(QStringLiteral("SELECT numeroficha FROM fichas WHERE iddepartamento = ? ORDER BY numeroficha DESC LIMIT 1"),
                            {idDepartamento});
    if (!q)
        return false;
    const qint64 maior = q->next() ? q->value(0).toLongLong() : 0;
    q->finish();
    if (maior >= std::numeric_limits<qint32>::max())
        return falha(QStringLiteral("numeração"), QStringLiteral("não há mais números de ficha livres no departamento"));
    numero = qint32(std::max<qint64>(maior, 0) + 1);
    return true;
}

bool Armazem::insere(qint32 idDepartamento, const clsAgenda& ficha, const QByteArray& fio)
{
    return gravaFicha(QStringLiteral("INSERT INTO fichas (nome_busca, fio, %1, iddepartamento, numeroficha) VALUES (?, ?, %2, ?, ?)")
                          .arg(colunas().lista, colunas().marcadores),
                      idDepartamento, ficha, fio);
}

bool Armazem::insereSeLivre(qint32 idDepartamento, const clsAgenda& ficha, const QByteArray& fio, bool& inseriu)
{
    // Waits, on PostgreSQL, for another transaction inserting the same number; if that one
    // commits, nothing is inserted here.
    int linhas = 0;
    const bool ok = gravaFicha(QStringLiteral("INSERT INTO fichas (nome_busca, fio, %1, iddepartamento, numeroficha) VALUES (?, ?, %2, ?, ?) "
                                              "ON CONFLICT (iddepartamento, numeroficha) DO NOTHING")
                                   .arg(colunas().lista, colunas().marcadores),
                               idDepartamento, ficha, fio, &linhas);
    inseriu = ok && linhas > 0;
    return ok;
}

bool Armazem::insereNova(qint32 idDepartamento, clsAgenda& ficha, QByteArray& fio)
{
    // "Highest number + 1", taken again when another server took that number meanwhile.
    for (int tentativa = 0; tentativa < 50; ++tentativa) {
        bool inseriu = false;
        if (!proximoNumero(idDepartamento, ficha.numeroFicha))
            return false;
        fio = fioDe(ficha);
        if (!insereSeLivre(idDepartamento, ficha, fio, inseriu))
            return false;
        if (inseriu)
            return true;
    }
    return falha(QStringLiteral("numeração"), QStringLiteral("outros servidores tomaram cada número tentado"));
}

bool Armazem::atualiza(qint32 idDepartamento, const clsAgenda& ficha, const QByteArray& fio)
{
    return gravaFicha(QStringLiteral("UPDATE fichas SET nome_busca = ?, fio = ?, %1 WHERE iddepartamento = ? AND numeroficha = ?")
                          .arg(colunas().atribuicoes),
                      idDepartamento, ficha, fio);
}

// `sql` takes the search name, the wire text, the field columns, then department and number;
// `linhas` (when given) gets the count of rows it changed.
bool Armazem::gravaFicha(const QString& sql, qint32 idDepartamento, const clsAgenda& ficha, const QByteArray& fio, int* linhas)
{
    QSqlQuery* q = prepara(sql);
    if (!q)
        return false;
    ligaCampos(q, ficha, fio);
    const int n = colunas().nomes.size() + 2;
    q->bindValue(n, idDepartamento);
    q->bindValue(n + 1, ficha.numeroFicha);
    const bool ok = executa(q);
    if (linhas)
        *linhas = ok ? q->numRowsAffected() : 0;
    q->finish();
    return ok;
}

bool Armazem::exclui(qint32 idDepartamento, qint32 numero, bool& excluiu)
{
    QSqlQuery* q = consulta(QStringLiteral("DELETE FROM fichas WHERE iddepartamento = ? AND numeroficha = ?"),
                            {idDepartamento, numero});
    if (!q)
        return false;
    excluiu = q->numRowsAffected() > 0;
    q->finish();
    return true;
}

bool Armazem::fioDaFicha(qint32 idDepartamento, qint32 numero, QByteArray& saida)
{
    QSqlQuery* q = consulta(QStringLiteral("SELECT fio FROM fichas WHERE iddepartamento = ? AND numeroficha = ?"),
                            {idDepartamento, numero});
    if (!q)
        return false;
    const bool achou = q->next();
    saida = achou ? q->value(0).toByteArray() : QByteArray();
    q->finish();
    if (achou && saida.isEmpty()) {
        // A row without its text (written by hand, say): made from the columns.
        std::optional<clsAgenda> f;
        if (!ficha(idDepartamento, numero, f))
            return false;
        if (f)
            saida = fioDe(*f);
    }
    return true;
}

bool Armazem::busca(qint32 idDepartamento, const clsFiltroBusca& filtro, QByteArrayView departamento, QByteArray& saida,
                    qsizetype& quantas)
{
    return buscaEmPartes(idDepartamento, filtro, departamento, saida, quantas, 0, {});
}

bool Armazem::buscaEmPartes(qint32 idDepartamento, const clsFiltroBusca& filtro, QByteArrayView departamento,
                            QByteArray& saida, qsizetype& quantas, qsizetype pedaco,
                            const std::function<bool(QByteArray&)>& entrega)
{
    QString sql = QStringLiteral("SELECT numeroficha, fio FROM fichas WHERE iddepartamento = ?");
    QVariantList valores{idDepartamento};
    if (filtro.numeroFicha != 0) {
        sql += QStringLiteral(" AND numeroficha = ?");
        valores << filtro.numeroFicha;
    }
    const QString nome = dobraParaBusca(filtro.nome);
    if (!nome.isEmpty()) {
        // The names are matched on the narrow name index (fichas_por_nome), not on the full
        // rows; only the rows that match are read.
        sql += QStringLiteral(" AND numeroficha IN (SELECT numeroficha FROM fichas WHERE iddepartamento = ? "
                              "AND nome_busca LIKE ? ESCAPE '\\')");
        valores << idDepartamento << padraoContem(nome);
    }
    if (filtro.dataInicial.isValid() && filtro.dataInicial != FormatoBR::dataZero()) {
        sql += QStringLiteral(" AND data >= ?");
        valores << dataIso(filtro.dataInicial);
    }
    if (filtro.dataFinal.isValid() && filtro.dataFinal != FormatoBR::dataZero()) {
        sql += QStringLiteral(" AND data <= ?");
        valores << dataIso(filtro.dataFinal);
    }
    sql += QStringLiteral(" ORDER BY numeroficha");
    QSqlQuery* q = prepara(sql);
    if (!q)
        return false;
    for (int i = 0; i < valores.size(); ++i)
        q->bindValue(i, valores[i]);
    if (!executa(q))
        return false;
    quantas = 0;
    // Each piece is about `pedaco` long: room for it at once spares it its regrowths.
    const qsizetype folga = pedaco + pedaco / 8;
    if (pedaco > 0)
        saida.reserve(saida.size() + folga);
    const qsizetype inicio = saida.size();
    // Rows without their text (written by hand, say) are made from their columns once the
    // search is read through: no other statement may run on the connection before that
    // (PostgreSQL streams a forward-only result row by row). Their places are kept in what
    // is still here, so once one is met nothing more is handed out before the end.
    QList<std::pair<qsizetype, qint32>> semTexto;
    while (q->next()) {
        const QByteArray fio = q->value(1).toByteArray();
        if (quantas++ > 0)
            saida += "@@@";
        if (fio.isEmpty()) {
            semTexto.append({saida.size(), q->value(0).toInt()});
            continue;
        }
        saida += fio;
        saida += departamento;
        if (pedaco > 0 && saida.size() >= pedaco && semTexto.isEmpty()) {
            if (!entrega(saida)) {
                q->finish();
                return falha(QStringLiteral("busca"), QStringLiteral("interrompida"));
            }
            saida.clear();
            saida.reserve(folga);
        }
    }
    q->finish();
    for (auto it = semTexto.crbegin(); it != semTexto.crend(); ++it) {
        QByteArray fio;
        if (!fioDaFicha(idDepartamento, it->second, fio)) {
            saida.truncate(inicio);
            return false;
        }
        saida.insert(it->first, fio + departamento.toByteArray());
    }
    return true;
}

QByteArray Armazem::fioDe(const clsAgenda& ficha)
{
    // The record's own text with an empty department at the end ("...|0|"), which is cut off.
    clsAgenda semDepartamento = ficha;
    semDepartamento.departamento = clsDepartamento();
    if (!semDepartamento.Data.isValid())
        semDepartamento.Data = FormatoBR::dataZero();
    QString texto = semDepartamento.toPipeString();
    texto.chop(2);
    return Wire::codifica(texto);
}

QString Armazem::dobraParaBusca(QStringView nome)
{
    const QString decomposto = nome.toString().normalized(QString::NormalizationForm_KD);
    QString sem;
    sem.reserve(decomposto.size());
    for (QChar c : decomposto) {
        const auto cat = c.category();
        if (cat == QChar::Mark_NonSpacing || cat == QChar::Mark_SpacingCombining || cat == QChar::Mark_Enclosing)
            continue;
        sem += c;
    }
    return sem.toCaseFolded().simplified();
}

bool Armazem::ativaOperador(const QString& usuario, bool ativo, bool& achou)
{
    QSqlQuery* q = consulta(QStringLiteral("UPDATE operadores SET ativo = ? WHERE usuario = ?"), {ativo ? 1 : 0, usuario});
    if (!q)
        return false;
    achou = q->numRowsAffected() > 0;
    q->finish();
    qint64 encerradas = 0;
    return ativo || !achou || encerraSessoes(usuario, encerradas);
}

bool Armazem::removeOperador(const QString& usuario, bool& achou)
{
    qint64 encerradas = 0;
    if (!encerraSessoes(usuario, encerradas))
        return false;
    QSqlQuery* q = consulta(QStringLiteral("DELETE FROM operadores WHERE usuario = ?"), {usuario});
    if (!q)
        return false;
    achou = q->numRowsAffected() > 0;
    q->finish();
    return true;
}

bool Armazem::trocaSenha(const QString& usuario, const QString& hash, bool& achou)
{
    QSqlQuery* q = consulta(QStringLiteral("UPDATE operadores SET hash = ? WHERE usuario = ?"), {hash, usuario});
    if (!q)
        return false;
    achou = q->numRowsAffected() > 0;
    q->finish();
    qint64 encerradas = 0;
    return !achou || encerraSessoes(usuario, encerradas);
}

bool Armazem::temDados(bool& tem)
{
    QSqlQuery* q = consulta(QStringLiteral("SELECT (SELECT COUNT(*) FROM departamentos) + (SELECT COUNT(*) FROM operadores) "
                                           "+ (SELECT COUNT(*) FROM fichas)"),
                            {});
    if (!q)
        return false;
    tem = q->next() && q->value(0).toLongLong() > 0;
    q->finish();
    return true;
}

bool Armazem::copiaPara(const QString& arquivo)
{
    if (!m_sqlite)
        return falha(QStringLiteral("cópia"), QStringLiteral("para PostgreSQL use pg_dump (veja o README do servidor)"));
    if (QFileInfo::exists(arquivo))
        return falha(QStringLiteral("cópia"), QStringLiteral("%1 já existe; a cópia só é gravada num arquivo novo").arg(arquivo));
    // One read transaction over the whole database, written out compact: writers carry on
    // meanwhile (WAL) and the copy is what was committed when it began.
    QSqlQuery* q = consulta(QStringLiteral("VACUUM INTO ?"), {arquivo});
    if (!q)
        return false;
    q->finish();
    return true;
}

bool Armazem::abreSessao(const QString& chave, const QString& endereco, const QString& usuario, bool compartilhada, qint64 agoraMs)
{
    // A key already in use (a second login on the same connection) now belongs to this operator.
    QSqlQuery* q = consulta(QStringLiteral("INSERT INTO sessoes (segredo, endereco, usuario, por_endereco, aberta_em, ultima_atividade) "
                                           "VALUES (?, ?, ?, ?, ?, ?) "
                                           "ON CONFLICT (segredo) DO UPDATE SET endereco = excluded.endereco, usuario = excluded.usuario, "
                                           "por_endereco = excluded.por_endereco, aberta_em = excluded.aberta_em, "
                                           "ultima_atividade = excluded.ultima_atividade"),
                            {chave, endereco, usuario, compartilhada ? 1 : 0, agoraMs, agoraMs});
    if (!q)
        return false;
    q->finish();
    return true;
}

bool Armazem::autorizaSessao(const QString& chave, const QString& endereco, qint32 idDepartamento, qint64 desdeMs, qint64 tocaAntesDeMs,
                             qint64 agoraMs, std::optional<QString>& descricao, bool& doEndereco)
{
    descricao.reset();
    doEndereco = false;
    const QString selecao = QStringLiteral("SELECT d.dsdepartamento, s.ultima_atividade FROM sessoes s "
                                           "JOIN operadores o ON o.usuario = s.usuario "
                                           "JOIN departamentos d ON d.iddepartamento = o.iddepartamento "
                                           "WHERE %1 AND o.iddepartamento = ? AND o.ativo = 1 AND s.ultima_atividade >= ?");
    qint64 maisAntiga = std::numeric_limits<qint64>::max();
    const auto le = [&](QSqlQuery* q) {
        while (q->next()) {
            if (!descricao)
                descricao = q->value(0).toString();
            maisAntiga = std::min(maisAntiga, q->value(1).toLongLong());
        }
        q->finish();
    };
    if (!chave.isEmpty()) {
        QSqlQuery* q = consulta(selecao.arg(QStringLiteral("s.segredo = ?")), {chave, idDepartamento, desdeMs});
        if (!q)
            return false;
        le(q);
    }
    if (!descricao && !endereco.isEmpty()) {
        QSqlQuery* q = consulta(selecao.arg(QStringLiteral("s.endereco = ? AND s.por_endereco = 1")), {endereco, idDepartamento, desdeMs});
        if (!q)
            return false;
        le(q);
        doEndereco = descricao.has_value();
    }
    if (descricao && maisAntiga < tocaAntesDeMs) {
        // The session starts its idle clock again (under the per-address rule, all of the
        // address's shared sessions, as one session of the address).
        // On PostgreSQL rows another server is touching right now are skipped, not waited
        // for: it is setting the same clock, and waiting could tie two servers' batches.
        const QString onde = doEndereco ? QStringLiteral("endereco = ? AND por_endereco = 1") : QStringLiteral("segredo = ?");
        QSqlQuery* q = consulta(m_sqlite ? QStringLiteral("UPDATE sessoes SET ultima_atividade = ? WHERE %1 AND ultima_atividade >= ? "
                                                          "AND ultima_atividade < ?").arg(onde)
                                         : QStringLiteral("UPDATE sessoes SET ultima_atividade = ? WHERE segredo IN (SELECT segredo FROM sessoes "
                                                          "WHERE %1 AND ultima_atividade >= ? AND ultima_atividade < ? "
                                                          "FOR UPDATE SKIP LOCKED)").arg(onde),
                                {agoraMs, doEndereco ? endereco : chave, desdeMs, tocaAntesDeMs});
        if (!q)
            return false;
        q->finish();
    }
    return true;
}

bool Armazem::sessaoViva(const QString& chave, qint64 desdeMs, bool& viva)
{
    QSqlQuery* q = consulta(QStringLiteral("SELECT 1 FROM sessoes s JOIN operadores o ON o.usuario = s.usuario "
                                           "WHERE s.segredo = ? AND o.ativo = 1 AND s.ultima_atividade >= ?"),
                            {chave, desdeMs});
    if (!q)
        return false;
    viva = q->next();
    q->finish();
    return true;
}

bool Armazem::encerraSessao(const QString& chave)
{
    QSqlQuery* q = consulta(QStringLiteral("DELETE FROM sessoes WHERE segredo = ?"), {chave});
    if (!q)
        return false;
    q->finish();
    return true;
}

bool Armazem::encerraSessoes(const QString& usuario, qint64& quantas)
{
    QSqlQuery* q = usuario.isEmpty() ? consulta(QStringLiteral("DELETE FROM sessoes"), {})
                                     : consulta(QStringLiteral("DELETE FROM sessoes WHERE usuario = ?"), {usuario});
    if (!q)
        return false;
    quantas = q->numRowsAffected();
    q->finish();
    return true;
}

bool Armazem::esqueceSessoesVencidas(qint64 antesDeMs)
{
    QSqlQuery* q = consulta(QStringLiteral("DELETE FROM sessoes WHERE ultima_atividade < ?"), {antesDeMs});
    if (!q)
        return false;
    q->finish();
    return true;
}

bool Armazem::sessoes(QList<SessaoGravada>& saida)
{
    saida.clear();
    return paraCadaLinha(QStringLiteral("SELECT s.endereco, s.usuario, o.iddepartamento, s.aberta_em, s.ultima_atividade, s.por_endereco "
                                        "FROM sessoes s "
                                        "JOIN operadores o ON o.usuario = s.usuario ORDER BY s.usuario, s.endereco"),
                         {}, [&](const QSqlQuery& q) {
        saida.append({q.value(0).toString(), q.value(1).toString(), q.value(2).toInt(), q.value(3).toLongLong(),
                      q.value(4).toLongLong(), q.value(5).toInt() != 0});
    });
}
