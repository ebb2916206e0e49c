// The server's record of changes to the sheets (see Mudancas.h).
#include "server/store/Mudancas.h"
#include "protocol/Sincronia.h"
#include "server/store/Banco.h"
#include "server/store/FichasGravadas.h"

#include <QList>
#include <QSqlQuery>
#include <QVariant>

QStringList Mudancas::tabelas(const Banco& banco)
{
    return {QStringLiteral("CREATE TABLE IF NOT EXISTS mudancas ("
                           "seq BIGINT NOT NULL PRIMARY KEY, "
                           "iddepartamento INTEGER NOT NULL, "
                           "numeroficha INTEGER NOT NULL, "
                           "excluida INTEGER NOT NULL DEFAULT 0, "
                           "UNIQUE (iddepartamento, numeroficha))"),
            QStringLiteral("CREATE INDEX IF NOT EXISTS mudancas_do_departamento ON mudancas (iddepartamento, seq)"),
            QStringLiteral("CREATE TABLE IF NOT EXISTS mudancas_aplicadas ("
                           "iddepartamento INTEGER NOT NULL, "
                           "id TEXT NOT NULL, "
                           "numeroficha INTEGER NOT NULL, "
                           "aplicada_em BIGINT NOT NULL, "
                           "cabecalho TEXT NOT NULL, "
                           "resposta %1 NOT NULL, "
                           "PRIMARY KEY (iddepartamento, id))")
                .arg(banco.tipoBinario()),
            QStringLiteral("CREATE INDEX IF NOT EXISTS mudancas_aplicadas_da_ficha ON mudancas_aplicadas (iddepartamento, numeroficha)")};
}

bool Mudancas::numeroAtual(qint64& numero)
{
    QSqlQuery* q = m_banco.consulta(QStringLiteral("SELECT MAX(seq) FROM mudancas"), {});
    if (!q)
        return false;
    numero = q->next() ? q->value(0).toLongLong() : 0;
    q->finish();
    return true;
}

bool Mudancas::marca(qint32 idDepartamento, qint32 numeroFicha, bool excluida, qint64* numero)
{
    qint64 n = 0;
    if (!numeroAtual(n))
        return false;
    ++n;
    if (!m_banco.altera(QStringLiteral("INSERT INTO mudancas (seq, iddepartamento, numeroficha, excluida) VALUES (?, ?, ?, ?) "
                                       "ON CONFLICT (iddepartamento, numeroficha) DO UPDATE SET seq = excluded.seq, excluida = excluded.excluida"),
                        {n, idDepartamento, numeroFicha, excluida ? 1 : 0}))
        return false;
    if (numero)
        *numero = n;
    return true;
}

bool Mudancas::versao(qint32 idDepartamento, qint32 numeroFicha, qint64& versao)
{
    QSqlQuery* q = m_banco.consulta(QStringLiteral("SELECT seq FROM mudancas WHERE iddepartamento = ? AND numeroficha = ?"),
                                    {idDepartamento, numeroFicha});
    if (!q)
        return false;
    versao = q->next() ? q->value(0).toLongLong() : 0;
    q->finish();
    return true;
}

bool Mudancas::respostaAplicada(qint32 idDepartamento, const QString& id, QByteArray& resposta)
{
    QSqlQuery* q = m_banco.consulta(QStringLiteral("SELECT cabecalho, resposta FROM mudancas_aplicadas WHERE iddepartamento = ? AND id = ?"),
                                    {idDepartamento, id});
    if (!q)
        return false;
    resposta = q->next() ? q->value(0).toString().toLatin1() + q->value(1).toByteArray() : QByteArray();
    q->finish();
    return true;
}

bool Mudancas::registraAplicada(qint32 idDepartamento, const QString& id, qint32 numeroFicha, qint64 quandoMs, const QByteArray& cabecalho,
                                const QByteArray& corpo)
{
    return m_banco.altera(QStringLiteral("INSERT INTO mudancas_aplicadas (iddepartamento, id, numeroficha, aplicada_em, cabecalho, resposta) "
                                         "VALUES (?, ?, ?, ?, ?, ?)"),
                          {idDepartamento, id, numeroFicha, quandoMs, QString::fromLatin1(cabecalho),
                           corpo.isNull() ? QByteArray("", 0) : corpo});   // empty, never NULL
}

bool Mudancas::esqueceFicha(qint32 idDepartamento, qint32 numeroFicha)
{
    return m_banco.altera(QStringLiteral("UPDATE mudancas_aplicadas SET resposta = '' WHERE iddepartamento = ? AND numeroficha = ?"),
                          {idDepartamento, numeroFicha});
}

bool Mudancas::leDesde(qint32 idDepartamento, QByteArrayView departamento, Leitura& l, QByteArray& saida, qsizetype pedaco,
                       const std::function<bool(QByteArray&)>& entrega)
{
    l.pausar = l.pausou = false;
    if (!l.comecou) {
        // The number now is read before any sheet: a change after it comes again next time.
        if (!numeroAtual(l.numeroAgora))
            return false;
        // A client ahead of the sequence saw a registry since restored from a copy: it gets the
        // whole department, and tells it by the number now being below its own.
        if (l.desde > l.numeroAgora)
            l.desde = 0;
        saida += Sincronia::inicioDaLista(l.numeroAgora);
        l.comecou = true;
        l.cursor = l.desde > 0 ? l.desde : std::numeric_limits<qint32>::min();
    }
    // From 0: every sheet, by number. Later: each sheet changed since, by its last change. The
    // other table is looked up row by row through its key (a join would make PostgreSQL's plan
    // for the prepared slice read all of it, each slice).
    const QString sql = l.desde == 0
        ? QStringLiteral("SELECT f.numeroficha, f.numeroficha, COALESCE((SELECT m.seq FROM mudancas m WHERE m.iddepartamento = "
                         "f.iddepartamento AND m.numeroficha = f.numeroficha), 0), f.fio FROM fichas f "
                         "WHERE f.iddepartamento = ? AND f.numeroficha > ? ORDER BY f.numeroficha LIMIT %1")
        : QStringLiteral("SELECT m.seq, m.numeroficha, m.seq, (SELECT f.fio FROM fichas f WHERE f.iddepartamento = m.iddepartamento "
                         "AND f.numeroficha = m.numeroficha) FROM mudancas m "
                         "WHERE m.iddepartamento = ? AND m.seq > ? ORDER BY m.seq LIMIT %1");
    struct Linha {
        qint64 chave;
        qint32 numero;
        qint64 versao;
        bool existe;
        QByteArray fio;
    };
    for (;;) {
        QList<Linha> linhas;
        if (!m_banco.paraCadaLinha(sql.arg(linhasPorFatia), {idDepartamento, l.cursor}, [&](const QSqlQuery& q) {
                linhas.append({q.value(0).toLongLong(), q.value(1).toInt(), q.value(2).toLongLong(), !q.value(3).isNull(),
                               q.value(3).toByteArray()});
            }))
            return false;
        for (Linha& linha : linhas) {
            // A row without its text (written by hand, say): made from the columns.
            if (linha.existe && linha.fio.isEmpty() && !FichasGravadas(m_banco).fioDaFicha(idDepartamento, linha.numero, linha.fio))
                return false;
            saida += linha.existe ? Sincronia::itemDaFicha(linha.versao, linha.fio + departamento.toByteArray())
                                  : Sincronia::itemExcluido(linha.versao, linha.numero);
            l.cursor = linha.chave;
            ++l.itens;
            if (pedaco > 0 && saida.size() >= pedaco) {
                if (!entrega(saida))
                    return m_banco.falha(QStringLiteral("mudanças"), QStringLiteral("interrompida"));
                saida.clear();
                if (l.pausar) {
                    l.pausou = true;
                    return true;
                }
            }
        }
        if (linhas.size() < linhasPorFatia)
            return true;
    }
}
