#include "server/Armazem.h"
#include "protocol/FormatoBR.h"
#include "protocol/Wire.h"

#include <QAtomicInt>
#include <QFileInfo>
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

QString Armazem::descricao() const
{
    if (m_conexao.startsWith(QLatin1String("sqlite:")))
        return m_conexao;
    QUrl url(m_conexao);
    url.setPassword(QString());
    return url.toString();
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
        const QUrl url(m_conexao);
        if (!url.isValid() || url.path().size() < 2)
            return falha(QStringLiteral("banco"), QStringLiteral("endereço PostgreSQL inválido: %1").arg(descricao()));
        db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), m_nomeConexao);
        db.setHostName(url.host());
        if (url.port() > 0)
            db.setPort(url.port());
        db.setUserName(url.userName());
        db.setPassword(url.password());
        db.setDatabaseName(url.path().mid(1));
    } else {
        return falha(QStringLiteral("banco"),
                     QStringLiteral("conexão desconhecida \"%1\": use sqlite:CAMINHO ou postgresql://...").arg(m_conexao));
    }
    if (!db.isValid())
        return falha(QStringLiteral("banco"), QStringLiteral("o driver do banco não está instalado"));
    if (!db.open())
        return falha(QStringLiteral("banco"), db.lastError().text());
    if (m_sqlite) {
        // WAL with a full sync at every commit: an acknowledged change survives a crash of
        // the process and of the machine.
        if (!executaDireto(QStringLiteral("PRAGMA journal_mode=WAL")) || !executaDireto(QStringLiteral("PRAGMA synchronous=FULL"))
            || !executaDireto(QStringLiteral("PRAGMA foreign_keys=ON"))
            // Room for a whole registry of some tens of thousands of sheets in the page cache
            // (the default holds 2 MiB), so that searches do not read the file over and over.
            || !executaDireto(QStringLiteral("PRAGMA cache_size=-65536")))
            return false;
    }
    return true;
}

bool Armazem::executaDireto(const QString& sql)
{
    QSqlQuery q(QSqlDatabase::database(m_nomeConexao, false));
    if (!q.exec(sql))
        return falha(sql.section(u' ', 0, 2), q.lastError().text());
    q.finish();
    return true;
}

QSqlQuery* Armazem::prepara(const QString& sql)
{
    if (QSqlQuery* q = m_preparadas.value(sql))
        return q;
    auto* q = new QSqlQuery(QSqlDatabase::database(m_nomeConexao, false));
    q->setForwardOnly(true);
    if (!q->prepare(sql)) {
        falha(QStringLiteral("preparo"), q->lastError().text());
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
        falha(QStringLiteral("consulta"), q->lastError().text());
        q->finish();
        return false;
    }
    return true;
}

QSqlQuery* Armazem::consulta(const QString& sql, std::initializer_list<QVariant> valores)
{
    QSqlQuery* q = prepara(sql);
    if (!q)
        return nullptr;
    int i = 0;
    for (const QVariant& v : valores)
        q->bindValue(i++, v);
    return executa(q) ? q : nullptr;
}

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
                          "iddepartamento INTEGER NOT NULL REFERENCES departamentos (iddepartamento))");
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
    if (v < 2) {
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
    if (!ok)
        falha(QStringLiteral("esquema"), QStringLiteral("o banco não tem as tabelas do registro (crie-as com \"zelto-server criar-banco\")"));
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
    QSqlQuery* q = consulta(QStringLiteral("SELECT iddepartamento, dsdepartamento FROM departamentos ORDER BY iddepartamento"), {});
    if (!q)
        return false;
    saida.clear();
    while (q->next())
        saida.append({q->value(0).toInt(), q->value(1).toString()});
    q->finish();
    return true;
}

bool Armazem::operadores(QList<Operador>& saida)
{
    QSqlQuery* q = consulta(QStringLiteral("SELECT o.usuario, o.iddepartamento, d.dsdepartamento FROM operadores o "
                                           "JOIN departamentos d ON d.iddepartamento = o.iddepartamento ORDER BY o.usuario"),
                            {});
    if (!q)
        return false;
    saida.clear();
    while (q->next())
        saida.append({q->value(0).toString(), QString(), {q->value(1).toInt(), q->value(2).toString()}});
    q->finish();
    return true;
}

bool Armazem::operador(const QString& usuario, std::optional<Operador>& saida)
{
    QSqlQuery* q = consulta(QStringLiteral("SELECT o.usuario, o.hash, o.iddepartamento, d.dsdepartamento FROM operadores o "
                                           "JOIN departamentos d ON d.iddepartamento = o.iddepartamento WHERE o.usuario = ?"),
                            {usuario});
    if (!q)
        return false;
    saida.reset();
    if (q->next())
        saida = Operador{q->value(0).toString(), q->value(1).toString(), {q->value(2).toInt(), q->value(3).toString()}};
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
    QSqlQuery* q = consulta(QStringLiteral("SELECT iddepartamento, numeroficha, fio FROM fichas "
                                           "ORDER BY iddepartamento, numeroficha"),
                            {});
    if (!q)
        return false;
    saida.clear();
    while (q->next())
        if (q->value(2).toByteArray().contains("@@@"))
            saida.append({q->value(0).toInt(), q->value(1).toInt()});
    q->finish();
    return true;
}

bool Armazem::iniciaTransacao()
{
    QSqlDatabase db = QSqlDatabase::database(m_nomeConexao, false);
    return db.transaction() || falha(QStringLiteral("transação"), db.lastError().text());
}

bool Armazem::confirmaTransacao()
{
    QSqlDatabase db = QSqlDatabase::database(m_nomeConexao, false);
    return db.commit() || falha(QStringLiteral("confirmação"), db.lastError().text());
}

void Armazem::desfazTransacao()
{
    QSqlDatabase::database(m_nomeConexao, false).rollback();
}

bool Armazem::marcaPonto()
{
    return executaDireto(QStringLiteral("SAVEPOINT alteracao"));
}

bool Armazem::liberaPonto()
{
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
    QSqlQuery* q = consulta(QStringLiteral("SELECT MAX(numeroficha) FROM fichas WHERE iddepartamento = ?"), {idDepartamento});
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

bool Armazem::atualiza(qint32 idDepartamento, const clsAgenda& ficha, const QByteArray& fio)
{
    return gravaFicha(QStringLiteral("UPDATE fichas SET nome_busca = ?, fio = ?, %1 WHERE iddepartamento = ? AND numeroficha = ?")
                          .arg(colunas().atribuicoes),
                      idDepartamento, ficha, fio);
}

// `sql` takes the search name, the wire text, the field columns, then department and number.
bool Armazem::gravaFicha(const QString& sql, qint32 idDepartamento, const clsAgenda& ficha, const QByteArray& fio)
{
    QSqlQuery* q = prepara(sql);
    if (!q)
        return false;
    ligaCampos(q, ficha, fio);
    const int n = colunas().nomes.size() + 2;
    q->bindValue(n, idDepartamento);
    q->bindValue(n + 1, ficha.numeroFicha);
    const bool ok = executa(q);
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
    const qsizetype inicio = saida.size();
    while (q->next()) {
        QByteArray fio = q->value(1).toByteArray();
        if (fio.isEmpty() && !fioDaFicha(idDepartamento, q->value(0).toInt(), fio)) {
            // A row without its text (written by hand, say) is made from its columns.
            saida.truncate(inicio);
            q->finish();
            return false;
        }
        if (quantas++ > 0)
            saida += "@@@";
        saida += fio;
        saida += departamento;
        if (pedaco > 0 && saida.size() >= pedaco) {
            if (!entrega(saida)) {
                q->finish();
                return falha(QStringLiteral("busca"), QStringLiteral("interrompida"));
            }
            saida.clear();
        }
    }
    q->finish();
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
