// The rows of the sessoes table (see SessoesGravadas.h).
#include "server/store/SessoesGravadas.h"
#include "server/store/Banco.h"

#include <algorithm>
#include <limits>

bool SessoesGravadas::abreSessao(const QString& chave, const QString& endereco, const QString& usuario, bool compartilhada, qint64 agoraMs)
{
    // A key already in use (a second login on the same connection) now belongs to this operator.
    return m_banco.altera(QStringLiteral("INSERT INTO sessoes (segredo, endereco, usuario, por_endereco, aberta_em, ultima_atividade) "
                                         "VALUES (?, ?, ?, ?, ?, ?) "
                                         "ON CONFLICT (segredo) DO UPDATE SET endereco = excluded.endereco, usuario = excluded.usuario, "
                                         "por_endereco = excluded.por_endereco, aberta_em = excluded.aberta_em, "
                                         "ultima_atividade = excluded.ultima_atividade"),
                          {chave, endereco, usuario, compartilhada ? 1 : 0, agoraMs, agoraMs});
}

bool SessoesGravadas::autorizaSessao(const QString& chave, const QString& endereco, qint32 idDepartamento, qint64 desdeMs,
                                     qint64 enderecoDesdeMs, std::optional<QString>& descricao, bool& doEndereco, qint64& ultimaMs,
                                     QString* usuario)
{
    descricao.reset();
    doEndereco = false;
    const QString selecao = QStringLiteral("SELECT d.dsdepartamento, s.ultima_atividade, s.usuario FROM sessoes s "
                                           "JOIN operadores o ON o.usuario = s.usuario "
                                           "JOIN departamentos d ON d.iddepartamento = o.iddepartamento "
                                           "WHERE %1 AND o.iddepartamento = ? AND o.ativo = 1 AND s.ultima_atividade >= ?");
    ultimaMs = std::numeric_limits<qint64>::max();
    const auto le = [&](QSqlQuery* q) {
        while (q->next()) {
            if (!descricao) {
                descricao = q->value(0).toString();
                if (usuario)
                    *usuario = q->value(2).toString();
            }
            ultimaMs = std::min(ultimaMs, q->value(1).toLongLong());
        }
        q->finish();
    };
    if (!chave.isEmpty()) {
        QSqlQuery* q = m_banco.consulta(selecao.arg(QStringLiteral("s.segredo = ?")), {chave, idDepartamento, desdeMs});
        if (!q)
            return false;
        le(q);
    }
    if (!descricao && !endereco.isEmpty()) {
        QSqlQuery* q = m_banco.consulta(selecao.arg(QStringLiteral("s.endereco = ? AND s.por_endereco = 1")),
                                        {endereco, idDepartamento, enderecoDesdeMs});
        if (!q)
            return false;
        le(q);
        doEndereco = descricao.has_value();
    }
    return true;
}

bool SessoesGravadas::tocaSessao(const QString& alvo, bool doEndereco, qint64 quandoMs)
{
    // Under the per-address rule, all of the address's shared sessions, as one session of the
    // address. On PostgreSQL rows another server is touching right now are skipped, not
    // waited for: it is setting the same clock, and waiting could tie two servers' batches.
    const QString onde = doEndereco ? QStringLiteral("endereco = ? AND por_endereco = 1") : QStringLiteral("segredo = ?");
    return m_banco.altera(m_banco.ehPostgres() ? QStringLiteral("UPDATE sessoes SET ultima_atividade = ? WHERE segredo IN (SELECT segredo FROM sessoes "
                                                                "WHERE %1 AND ultima_atividade < ? FOR UPDATE SKIP LOCKED)")
                                                     .arg(onde)
                                               : QStringLiteral("UPDATE sessoes SET ultima_atividade = ? WHERE %1 AND ultima_atividade < ?").arg(onde),
                          {quandoMs, alvo, quandoMs});
}

bool SessoesGravadas::operadorNoDepartamento(const QString& usuario, qint32 idDepartamento, std::optional<QString>& descricao)
{
    descricao.reset();
    QSqlQuery* q = m_banco.consulta(QStringLiteral("SELECT d.dsdepartamento FROM operadores o "
                                                   "JOIN departamentos d ON d.iddepartamento = o.iddepartamento "
                                                   "WHERE o.usuario = ? AND o.iddepartamento = ? AND o.ativo = 1"),
                                    {usuario, idDepartamento});
    if (!q)
        return false;
    if (q->next())
        descricao = q->value(0).toString();
    q->finish();
    return true;
}

bool SessoesGravadas::sessaoViva(const QString& chave, qint64 desdeMs, bool& viva)
{
    return m_banco.temLinha(QStringLiteral("SELECT 1 FROM sessoes s JOIN operadores o ON o.usuario = s.usuario "
                                           "WHERE s.segredo = ? AND o.ativo = 1 AND s.ultima_atividade >= ?"),
                            {chave, desdeMs}, viva);
}

bool SessoesGravadas::departamentoDaSessao(const QString& chave, std::optional<qint32>& dep)
{
    dep.reset();
    QSqlQuery* q = m_banco.consulta(QStringLiteral("SELECT o.iddepartamento FROM sessoes s JOIN operadores o ON o.usuario = s.usuario "
                                                   "WHERE s.segredo = ?"),
                                    {chave});
    if (!q)
        return false;
    if (q->next())
        dep = q->value(0).toInt();
    q->finish();
    return true;
}

bool SessoesGravadas::encerraSessao(const QString& chave, QString* usuario, QString* endereco)
{
    if (usuario || endereco) {
        QSqlQuery* q = m_banco.consulta(QStringLiteral("SELECT usuario, endereco FROM sessoes WHERE segredo = ?"), {chave});
        if (!q)
            return false;
        if (q->next()) {
            if (usuario)
                *usuario = q->value(0).toString();
            if (endereco)
                *endereco = q->value(1).toString();
        }
        q->finish();
    }
    return m_banco.altera(QStringLiteral("DELETE FROM sessoes WHERE segredo = ?"), {chave});
}

bool SessoesGravadas::encerraSessoes(const QString& usuario, qint64& quantas)
{
    return usuario.isEmpty() ? m_banco.altera(QStringLiteral("DELETE FROM sessoes"), {}, &quantas)
                             : m_banco.altera(QStringLiteral("DELETE FROM sessoes WHERE usuario = ?"), {usuario}, &quantas);
}

bool SessoesGravadas::esqueceSessoesVencidas(qint64 antesDeMs)
{
    return m_banco.altera(QStringLiteral("DELETE FROM sessoes WHERE ultima_atividade < ?"), {antesDeMs});
}

bool SessoesGravadas::sessoes(QList<SessaoGravada>& saida)
{
    saida.clear();
    return m_banco.paraCadaLinha(QStringLiteral("SELECT s.endereco, s.usuario, o.iddepartamento, s.aberta_em, s.ultima_atividade, s.por_endereco "
                                                "FROM sessoes s "
                                                "JOIN operadores o ON o.usuario = s.usuario ORDER BY s.usuario, s.endereco"),
                                 {}, [&](const QSqlQuery& q) {
        saida.append({q.value(0).toString(), q.value(1).toString(), q.value(2).toInt(), q.value(3).toLongLong(),
                      q.value(4).toLongLong(), q.value(5).toInt() != 0});
    });
}
