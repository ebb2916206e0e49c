// The registry's tables and their migrations (see Esquema.h).
#include "server/admin/Esquema.h"
#include "server/store/Banco.h"
#include "server/store/LinhaDaFicha.h"
#include "server/store/Mudancas.h"
#include "server/history/MigracaoDoHistorico.h"

#include <QSqlRecord>

#include <iterator>
#include <limits>

namespace {

using Tipo = CampoDaFicha::Tipo;

// Name searches scan this (department, folded name, number) index instead of the rows.
QString indiceDeNomes()
{
    return QStringLiteral("CREATE INDEX IF NOT EXISTS fichas_por_nome ON fichas (iddepartamento, nome_busca, numeroficha)");
}

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

QString tabelaDeFichas(const Banco& banco)
{
    QString fichas = QStringLiteral("CREATE TABLE IF NOT EXISTS fichas ("
                                    "iddepartamento INTEGER NOT NULL REFERENCES departamentos (iddepartamento), "
                                    "numeroficha INTEGER NOT NULL, "
                                    "nome_busca TEXT NOT NULL, "
                                    "fio %1 NOT NULL").arg(banco.tipoBinario());
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
    return fichas + QStringLiteral(", PRIMARY KEY (iddepartamento, numeroficha))");
}

// Version 2 keeps each sheet's wire text: the column is added and filled from the others, a
// slice of sheets at a time so that a large registry is never held in memory.
bool guardaOFioDasFichas(Banco& banco, QStringList&)
{
    if (banco.db().record(QStringLiteral("fichas")).indexOf(QStringLiteral("fio")) >= 0)
        return true;
    if (!banco.executaDireto(QStringLiteral("ALTER TABLE fichas ADD COLUMN fio %1").arg(banco.tipoBinario())))
        return false;
    QSqlDatabase db = banco.db();
    QSqlQuery le(db), grava(db);
    le.setForwardOnly(true);
    if (!le.prepare(QStringLiteral("SELECT iddepartamento, numeroficha, %1 FROM fichas "
                                   "WHERE iddepartamento > ? OR (iddepartamento = ? AND numeroficha > ?) "
                                   "ORDER BY iddepartamento, numeroficha LIMIT 1000")
                        .arg(LinhaDaFicha::colunas().lista))
        || !grava.prepare(QStringLiteral("UPDATE fichas SET fio = ? WHERE iddepartamento = ? AND numeroficha = ?")))
        return banco.falha(QStringLiteral("esquema"), le.lastError().text() + grava.lastError().text());
    qint64 dep = std::numeric_limits<qint32>::min(), numero = std::numeric_limits<qint32>::min();
    for (;;) {
        le.bindValue(0, dep);
        le.bindValue(1, dep);
        le.bindValue(2, numero);
        if (!le.exec())
            return banco.falha(QStringLiteral("esquema"), le.lastError().text());
        QList<std::pair<std::pair<qint32, qint32>, QByteArray>> lidas;
        while (le.next()) {
            clsAgenda f;
            LinhaDaFicha::le(le, f, 1);
            lidas.append({{le.value(0).toInt(), f.numeroFicha}, LinhaDaFicha::fioDe(f)});
        }
        le.finish();
        if (lidas.isEmpty())
            return true;
        for (const auto& [chave, fio] : lidas) {
            grava.bindValue(0, fio);
            grava.bindValue(1, chave.first);
            grava.bindValue(2, chave.second);
            if (!grava.exec())
                return banco.falha(QStringLiteral("esquema"), grava.lastError().text());
        }
        dep = lidas.last().first.first;
        numero = lidas.last().first.second;
    }
}

// Version 3: operators can be disabled, sessions live in the database.
bool sessoesNoBanco(Banco& banco, QStringList&)
{
    if (banco.db().record(QStringLiteral("operadores")).indexOf(QStringLiteral("ativo")) < 0
        && !banco.executaDireto(QStringLiteral("ALTER TABLE operadores ADD COLUMN ativo INTEGER NOT NULL DEFAULT 1")))
        return false;
    return banco.executaDireto(QStringLiteral("CREATE TABLE IF NOT EXISTS sessoes ("
                                              "segredo TEXT NOT NULL PRIMARY KEY, "
                                              "endereco TEXT NOT NULL, "
                                              "usuario TEXT NOT NULL REFERENCES operadores (usuario) ON DELETE CASCADE, "
                                              "aberta_em BIGINT NOT NULL, "
                                              "ultima_atividade BIGINT NOT NULL)"))
        && banco.executaDireto(QStringLiteral("CREATE INDEX IF NOT EXISTS sessoes_por_usuario ON sessoes (usuario)"));
}

// Version 4: a session belongs to a connection's secret, not to an address. The sessions
// opened under the old rule name no secret anyone holds: they end here (each operator logs
// in once more).
bool sessoesPorSegredo(Banco& banco, QStringList&)
{
    return banco.executaDireto(QStringLiteral("DELETE FROM sessoes"))
        && banco.executaDireto(QStringLiteral("DROP INDEX IF EXISTS sessoes_por_endereco"))
        && (banco.db().record(QStringLiteral("sessoes")).indexOf(QStringLiteral("por_endereco")) >= 0
            || banco.executaDireto(QStringLiteral("ALTER TABLE sessoes ADD COLUMN por_endereco INTEGER NOT NULL DEFAULT 0")))
        && banco.executaDireto(QStringLiteral("CREATE INDEX IF NOT EXISTS sessoes_do_endereco ON sessoes (endereco)"));
}

// Version 5: the history of who did what (see Historico). Its rows are only ever appended;
// one sheet's history is read through the (sheet, department, id) index. Made now with the
// columns of version 6 (the values' salt and digest, the hash under the rule before).
bool historicoDeAcessos(Banco& banco, QStringList&)
{
    const QString id = banco.ehPostgres() ? QStringLiteral("BIGINT") : QStringLiteral("INTEGER");
    return banco.executaDireto(QStringLiteral("CREATE TABLE IF NOT EXISTS historico ("
                                              "id %1 NOT NULL PRIMARY KEY, "
                                              "quando BIGINT NOT NULL, "
                                              "operador TEXT NOT NULL, "
                                              "iddepartamento INTEGER NOT NULL, "
                                              "endereco TEXT NOT NULL, "
                                              "acao TEXT NOT NULL, "
                                              "numeroficha INTEGER NOT NULL, "
                                              "alteracoes TEXT NOT NULL, "
                                              "detalhe TEXT NOT NULL, "
                                              "sal TEXT NOT NULL DEFAULT '', "
                                              "digesto TEXT NOT NULL DEFAULT '', "
                                              "hash_antigo TEXT NOT NULL DEFAULT '', "
                                              "hash TEXT NOT NULL)")
                                   .arg(id))
        && banco.executaDireto(QStringLiteral("CREATE INDEX IF NOT EXISTS historico_da_ficha ON historico (numeroficha, iddepartamento, id)"))
        && banco.executaDireto(QStringLiteral("CREATE INDEX IF NOT EXISTS historico_por_data ON historico (quando)"));
}

// Version 7: the record of changes the offices that work disconnected read, and the ids of
// the queued changes already applied (Mudancas). The sheets there before have version 0.
bool registroDeMudancas(Banco& banco, QStringList&)
{
    for (const QString& sql : Mudancas::tabelas(banco))
        if (!banco.executaDireto(sql))
            return false;
    return true;
}

// The migrations, oldest first: each brings a database of any earlier version to `versao`.
struct Passo {
    int versao;
    bool (*aplica)(Banco&, QStringList& avisos);
};
constexpr Passo passos[] = {
    {2, guardaOFioDasFichas},
    {3, sessoesNoBanco},
    {4, sessoesPorSegredo},
    {5, historicoDeAcessos},
    {6, MigracaoDoHistorico::paraODigesto},
    {7, registroDeMudancas},
};
static_assert(std::size(passos) > 0 && passos[std::size(passos) - 1].versao == Esquema::versaoDoEsquema,
              "the last migration step brings the tables to this version");

} // namespace

bool Esquema::criaEsquema()
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
        << QStringLiteral("CREATE INDEX IF NOT EXISTS sessoes_por_usuario ON sessoes (usuario)")
        << tabelaDeFichas(m_banco) << QStringLiteral("CREATE INDEX IF NOT EXISTS fichas_por_data ON fichas (iddepartamento, data)")
        << indiceDeNomes();

    QSqlDatabase db = m_banco.db();
    if (!db.transaction())
        return m_banco.falha(QStringLiteral("esquema"), db.lastError().text());
    for (const QString& sql : ddl)
        if (!m_banco.executaDireto(sql)) {
            db.rollback();
            return false;
        }
    QStringList nenhum;
    if (!historicoDeAcessos(m_banco, nenhum) || !registroDeMudancas(m_banco, nenhum)) {
        db.rollback();
        return false;
    }
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral("SELECT COUNT(*) FROM versao_esquema")) || !q.next()) {
        db.rollback();
        return m_banco.falha(QStringLiteral("esquema"), q.lastError().text());
    }
    const bool vazio = q.value(0).toLongLong() == 0;
    q.finish();
    if (vazio && !m_banco.executaDireto(QStringLiteral("INSERT INTO versao_esquema (versao) VALUES (%1)").arg(versaoDoEsquema))) {
        db.rollback();
        return false;
    }
    if (!db.commit())
        return m_banco.falha(QStringLiteral("esquema"), db.lastError().text());
    // The tables may have been there already, made by an earlier version.
    return atualizaEsquema();
}

bool Esquema::versao(int& v)
{
    QSqlQuery q(m_banco.db());
    if (!q.exec(QStringLiteral("SELECT MAX(versao) FROM versao_esquema")) || !q.next())
        return m_banco.falha(QStringLiteral("esquema"), q.lastError().text());
    v = q.value(0).toInt();
    return true;
}

bool Esquema::atualizaEsquema()
{
    int v = 0;
    if (!versao(v))
        return false;
    // The name index came after version 2 without changing the tables: made when missing.
    if (v <= versaoDoEsquema && !m_banco.executaDireto(indiceDeNomes()))
        return false;
    if (v == versaoDoEsquema)
        return true;
    if (v > versaoDoEsquema)
        return m_banco.falha(QStringLiteral("esquema"), QStringLiteral("o banco é da versão %1 do registro e este servidor conhece até a %2: "
                                                                        "atualize o zelto-server")
                                                             .arg(v)
                                                             .arg(versaoDoEsquema));
    QSqlDatabase db = m_banco.db();
    if (!db.transaction())
        return m_banco.falha(QStringLiteral("esquema"), db.lastError().text());
    for (const Passo& passo : passos)
        if (v < passo.versao && !passo.aplica(m_banco, m_avisos)) {
            db.rollback();
            return false;
        }
    if (!m_banco.executaDireto(QStringLiteral("UPDATE versao_esquema SET versao = %1").arg(versaoDoEsquema))) {
        db.rollback();
        return false;
    }
    if (!db.commit())
        return m_banco.falha(QStringLiteral("esquema"), db.lastError().text());
    return true;
}

bool Esquema::temEsquema()
{
    QSqlQuery q(m_banco.db());
    const bool ok = q.exec(QStringLiteral("SELECT versao FROM versao_esquema")) && q.next();
    if (!ok) {
        const QSqlError e = q.lastError();
        // Only a missing table means a database still without the registry; anything else
        // (no rights, say) is told as it is.
        const bool semTabela = m_banco.ehPostgres() ? e.nativeErrorCode() == QLatin1String("42P01")
                                                    : e.text().contains(QLatin1String("no such table"));
        if (semTabela || e.type() == QSqlError::NoError)
            m_banco.falha(QStringLiteral("esquema"), QStringLiteral("o banco não tem as tabelas do registro (crie-as com \"zelto-server criar-banco\")"));
        else
            m_banco.falhaDoBanco(QStringLiteral("esquema"), e);
    }
    q.finish();
    return ok;
}
