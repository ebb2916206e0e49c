// The member sheets kept in the fichas table (see FichasGravadas.h).
#include "server/store/FichasGravadas.h"
#include "protocol/FormatoBR.h"
#include "server/store/Banco.h"
#include "server/store/LinhaDaFicha.h"
#include "server/store/Mudancas.h"

#include <QSqlError>
#include <QVariant>

#include <limits>

using LinhaDaFicha::colunas;

namespace {

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

} // namespace

bool FichasGravadas::ficha(qint32 idDepartamento, qint32 numero, std::optional<clsAgenda>& saida)
{
    QSqlQuery* q = m_banco.consulta(QStringLiteral("SELECT numeroficha, %1 FROM fichas WHERE iddepartamento = ? AND numeroficha = ?")
                                        .arg(colunas().lista),
                                    {idDepartamento, numero});
    if (!q)
        return false;
    saida.reset();
    if (q->next()) {
        clsAgenda f;
        LinhaDaFicha::le(*q, f, 0);
        f.departamento.idDepartamento = idDepartamento;
        saida = std::move(f);
    }
    q->finish();
    return true;
}

bool FichasGravadas::existe(qint32 idDepartamento, qint32 numero, bool& existe)
{
    return m_banco.temLinha(QStringLiteral("SELECT 1 FROM fichas WHERE iddepartamento = ? AND numeroficha = ?"), {idDepartamento, numero},
                            existe);
}

bool FichasGravadas::proximoNumero(qint32 idDepartamento, qint32& numero)
{
    // Written as "the first one from the top" rather than MAX(): PostgreSQL's plan for a
    // prepared MAX, made while the table looked empty, reads every sheet of the department.
    QSqlQuery* q = m_banco.consulta(QStringLiteral("SELECT numeroficha FROM fichas WHERE iddepartamento = ? ORDER BY numeroficha DESC LIMIT 1"),
                                    {idDepartamento});
    if (!q)
        return false;
    const qint64 maior = q->next() ? q->value(0).toLongLong() : 0;
    q->finish();
    if (maior >= std::numeric_limits<qint32>::max())
        return m_banco.falha(QStringLiteral("numeração"), QStringLiteral("não há mais números de ficha livres no departamento"));
    numero = qint32(std::max<qint64>(maior, 0) + 1);
    return true;
}

bool FichasGravadas::insere(qint32 idDepartamento, const clsAgenda& ficha, const QByteArray& fio)
{
    return gravaFicha(QStringLiteral("INSERT INTO fichas (nome_busca, fio, %1, iddepartamento, numeroficha) VALUES (?, ?, %2, ?, ?)")
                          .arg(colunas().lista, colunas().marcadores),
                      idDepartamento, ficha, fio)
        && Mudancas(m_banco).marca(idDepartamento, ficha.numeroFicha, false);
}

bool FichasGravadas::insereSeLivre(qint32 idDepartamento, const clsAgenda& ficha, const QByteArray& fio, bool& inseriu)
{
    // Waits, on PostgreSQL, for another transaction inserting the same number; if that one
    // commits, nothing is inserted here.
    int linhas = 0;
    const bool ok = gravaFicha(QStringLiteral("INSERT INTO fichas (nome_busca, fio, %1, iddepartamento, numeroficha) VALUES (?, ?, %2, ?, ?) "
                                              "ON CONFLICT (iddepartamento, numeroficha) DO NOTHING")
                                   .arg(colunas().lista, colunas().marcadores),
                               idDepartamento, ficha, fio, &linhas);
    inseriu = ok && linhas > 0;
    return ok && (!inseriu || Mudancas(m_banco).marca(idDepartamento, ficha.numeroFicha, false));
}

bool FichasGravadas::insereNova(qint32 idDepartamento, clsAgenda& ficha, QByteArray& fio)
{
    // "Highest number + 1", taken again when another server took that number meanwhile.
    for (int tentativa = 0; tentativa < 50; ++tentativa) {
        bool inseriu = false;
        if (!proximoNumero(idDepartamento, ficha.numeroFicha))
            return false;
        fio = LinhaDaFicha::fioDe(ficha);
        if (!insereSeLivre(idDepartamento, ficha, fio, inseriu))
            return false;
        if (inseriu)
            return true;
    }
    return m_banco.falha(QStringLiteral("numeração"), QStringLiteral("outros servidores tomaram cada número tentado"));
}

bool FichasGravadas::atualiza(qint32 idDepartamento, const clsAgenda& ficha, const QByteArray& fio)
{
    int linhas = 0;
    return gravaFicha(QStringLiteral("UPDATE fichas SET nome_busca = ?, fio = ?, %1 WHERE iddepartamento = ? AND numeroficha = ?")
                          .arg(colunas().atribuicoes),
                      idDepartamento, ficha, fio, &linhas)
        && (linhas == 0 || Mudancas(m_banco).marca(idDepartamento, ficha.numeroFicha, false));
}

bool FichasGravadas::gravaFicha(const QString& sql, qint32 idDepartamento, const clsAgenda& ficha, const QByteArray& fio, int* linhas)
{
    QSqlQuery* q = m_banco.prepara(sql);
    if (!q)
        return false;
    LinhaDaFicha::liga(*q, ficha, fio);
    const int n = colunas().nomes.size() + 2;
    q->bindValue(n, idDepartamento);
    q->bindValue(n + 1, ficha.numeroFicha);
    const bool ok = m_banco.executa(q);
    if (linhas)
        *linhas = ok ? q->numRowsAffected() : 0;
    q->finish();
    return ok;
}

bool FichasGravadas::exclui(qint32 idDepartamento, qint32 numero, bool& excluiu)
{
    qint64 linhas = 0;
    const bool ok = m_banco.altera(QStringLiteral("DELETE FROM fichas WHERE iddepartamento = ? AND numeroficha = ?"),
                                   {idDepartamento, numero}, &linhas);
    excluiu = linhas > 0;
    return ok && (!excluiu || Mudancas(m_banco).marca(idDepartamento, numero, true));
}

bool FichasGravadas::contaFichas(qint32 idDepartamento, qint64& quantas)
{
    QSqlQuery* q = m_banco.consulta(QStringLiteral("SELECT COUNT(*) FROM fichas WHERE iddepartamento = ?"), {idDepartamento});
    if (!q)
        return false;
    quantas = q->next() ? q->value(0).toLongLong() : 0;
    q->finish();
    return true;
}

bool FichasGravadas::fioDaFicha(qint32 idDepartamento, qint32 numero, QByteArray& saida)
{
    QSqlQuery* q = m_banco.consulta(QStringLiteral("SELECT fio FROM fichas WHERE iddepartamento = ? AND numeroficha = ?"),
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
            saida = LinhaDaFicha::fioDe(*f);
    }
    return true;
}

bool FichasGravadas::busca(qint32 idDepartamento, const clsFiltroBusca& filtro, QByteArrayView departamento, QByteArray& saida,
                           qsizetype& quantas)
{
    return buscaEmPartes(idDepartamento, filtro, departamento, saida, quantas, 0, {});
}

bool FichasGravadas::buscaEmPartes(qint32 idDepartamento, const clsFiltroBusca& filtro, QByteArrayView departamento,
                                   QByteArray& saida, qsizetype& quantas, qsizetype pedaco,
                                   const std::function<bool(QByteArray&)>& entrega, Trecho* trecho)
{
    const bool retomada = trecho && trecho->retomada;
    if (trecho)
        trecho->pausou = trecho->pausar = false;
    QString sql = QStringLiteral("SELECT numeroficha, fio FROM fichas WHERE iddepartamento = ?");
    QVariantList valores{idDepartamento};
    if (filtro.numeroFicha != 0) {
        sql += QStringLiteral(" AND numeroficha = ?");
        valores << filtro.numeroFicha;
    }
    const QString nome = LinhaDaFicha::dobraParaBusca(filtro.nome);
    if (!nome.isEmpty()) {
        // The names are matched on the narrow name index (fichas_por_nome), not on the full
        // rows; only the rows that match are read.
        sql += QStringLiteral(" AND numeroficha IN (SELECT numeroficha FROM fichas WHERE iddepartamento = ? "
                              "AND nome_busca LIKE ? ESCAPE '\\')");
        valores << idDepartamento << padraoContem(nome);
    }
    if (filtro.dataInicial.isValid() && filtro.dataInicial != FormatoBR::dataZero()) {
        sql += QStringLiteral(" AND data >= ?");
        valores << LinhaDaFicha::dataIso(filtro.dataInicial);
    }
    if (filtro.dataFinal.isValid() && filtro.dataFinal != FormatoBR::dataZero()) {
        sql += QStringLiteral(" AND data <= ?");
        valores << LinhaDaFicha::dataIso(filtro.dataFinal);
    }
    if (retomada) {
        sql += QStringLiteral(" AND numeroficha > ?");
        valores << trecho->depoisDe;
    }
    sql += QStringLiteral(" ORDER BY numeroficha");
    QSqlQuery* q = m_banco.prepara(sql);
    if (!q)
        return false;
    for (int i = 0; i < valores.size(); ++i)
        q->bindValue(i, valores[i]);
    if (!m_banco.executa(q))
        return false;
    if (!retomada)
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
    // A part that paused ended with the separator before the sheet this one starts with.
    bool separadorJaEnviado = retomada && trecho->separadorEnviado;
    if (trecho)
        trecho->separadorEnviado = false;
    qint32 anterior = retomada ? trecho->depoisDe : 0;
    while (q->next()) {
        const QByteArray fio = q->value(1).toByteArray();
        const qint32 numero = q->value(0).toInt();
        if (quantas > 0 && !std::exchange(separadorJaEnviado, false)) {
            saida += "@@@";
            // A piece ends after the separator, never where a sheet ends: on the plain wire a
            // pause between pieces then shows as a list cut short, not as a whole one.
            if (pedaco > 0 && saida.size() >= pedaco && semTexto.isEmpty()) {
                if (!entrega(saida)) {
                    q->finish();
                    return m_banco.falha(QStringLiteral("busca"), QStringLiteral("interrompida"));
                }
                saida.clear();
                if (trecho && trecho->pausar) {
                    // This sheet opens the next part.
                    trecho->pausou = true;
                    trecho->depoisDe = anterior;
                    trecho->separadorEnviado = true;
                    q->finish();
                    return true;
                }
                saida.reserve(folga);
            }
        }
        ++quantas;
        anterior = numero;
        if (fio.isEmpty()) {
            semTexto.append({saida.size(), q->value(0).toInt()});
            continue;
        }
        saida += fio;
        saida += departamento;
    }
    // A connection lost midway ends the rows early: that is no whole list.
    if (q->lastError().isValid()) {
        const QSqlError e = q->lastError();
        q->finish();
        saida.truncate(inicio);
        return m_banco.falhaDoBanco(QStringLiteral("busca"), e);
    }
    q->finish();
    // The separator already sent promised another sheet, and none is left (deleted meanwhile):
    // the list cannot end well, and the reply must not pass for whole.
    if (separadorJaEnviado)
        return m_banco.falha(QStringLiteral("busca"), QStringLiteral("a ficha seguinte saiu da lista durante a pausa"));
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

bool FichasGravadas::fichasComSeparador(QList<QPair<qint32, qint32>>& saida)
{
    saida.clear();
    return m_banco.paraCadaLinha(QStringLiteral("SELECT iddepartamento, numeroficha, fio FROM fichas "
                                                "ORDER BY iddepartamento, numeroficha"),
                                 {}, [&](const QSqlQuery& q) {
        if (q.value(2).toByteArray().contains("@@@"))
            saida.append({q.value(0).toInt(), q.value(1).toInt()});
    });
}
