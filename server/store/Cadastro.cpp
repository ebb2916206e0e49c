// The registry's departments and operators (see Cadastro.h).
#include "server/store/Cadastro.h"
#include "server/store/Banco.h"
#include "server/store/SessoesGravadas.h"

bool Cadastro::gravaDepartamento(const Departamento& d)
{
    bool existe = false;
    return m_banco.temLinha(QStringLiteral("SELECT 1 FROM departamentos WHERE iddepartamento = ?"), {d.id}, existe)
        && m_banco.altera(existe ? QStringLiteral("UPDATE departamentos SET dsdepartamento = ? WHERE iddepartamento = ?")
                                 : QStringLiteral("INSERT INTO departamentos (dsdepartamento, iddepartamento) VALUES (?, ?)"),
                          {Banco::texto(d.descricao), d.id});
}

bool Cadastro::gravaOperador(const QString& usuario, const QString& hash, qint32 idDepartamento, bool& novo)
{
    std::optional<Operador> atual;
    if (!operador(usuario, atual))
        return false;
    novo = !atual.has_value();
    return m_banco.altera(novo ? QStringLiteral("INSERT INTO operadores (hash, iddepartamento, usuario) VALUES (?, ?, ?)")
                               : QStringLiteral("UPDATE operadores SET hash = ?, iddepartamento = ? WHERE usuario = ?"),
                          {hash, idDepartamento, usuario});
}

bool Cadastro::departamentos(QList<Departamento>& saida)
{
    saida.clear();
    return m_banco.paraCadaLinha(QStringLiteral("SELECT iddepartamento, dsdepartamento FROM departamentos ORDER BY iddepartamento"), {},
                                 [&](const QSqlQuery& q) {
        saida.append({q.value(0).toInt(), q.value(1).toString()});
    });
}

bool Cadastro::operadores(QList<Operador>& saida)
{
    saida.clear();
    return m_banco.paraCadaLinha(QStringLiteral("SELECT o.usuario, o.iddepartamento, d.dsdepartamento, o.ativo FROM operadores o "
                                                "JOIN departamentos d ON d.iddepartamento = o.iddepartamento ORDER BY o.usuario"),
                                 {}, [&](const QSqlQuery& q) {
        saida.append({q.value(0).toString(), QString(), {q.value(1).toInt(), q.value(2).toString()}, q.value(3).toInt() != 0});
    });
}

bool Cadastro::operador(const QString& usuario, std::optional<Operador>& saida)
{
    QSqlQuery* q = m_banco.consulta(QStringLiteral("SELECT o.usuario, o.hash, o.iddepartamento, d.dsdepartamento, o.ativo FROM operadores o "
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

bool Cadastro::ativaOperador(const QString& usuario, bool ativo, bool& achou)
{
    qint64 linhas = 0;
    if (!m_banco.altera(QStringLiteral("UPDATE operadores SET ativo = ? WHERE usuario = ?"), {ativo ? 1 : 0, usuario}, &linhas))
        return false;
    achou = linhas > 0;
    qint64 encerradas = 0;
    return ativo || !achou || SessoesGravadas(m_banco).encerraSessoes(usuario, encerradas);
}

bool Cadastro::removeOperador(const QString& usuario, bool& achou)
{
    qint64 encerradas = 0;
    if (!SessoesGravadas(m_banco).encerraSessoes(usuario, encerradas))
        return false;
    qint64 linhas = 0;
    if (!m_banco.altera(QStringLiteral("DELETE FROM operadores WHERE usuario = ?"), {usuario}, &linhas))
        return false;
    achou = linhas > 0;
    return true;
}

bool Cadastro::trocaSenha(const QString& usuario, const QString& hash, bool& achou)
{
    qint64 linhas = 0;
    if (!m_banco.altera(QStringLiteral("UPDATE operadores SET hash = ? WHERE usuario = ?"), {hash, usuario}, &linhas))
        return false;
    achou = linhas > 0;
    qint64 encerradas = 0;
    return !achou || SessoesGravadas(m_banco).encerraSessoes(usuario, encerradas);
}

bool Cadastro::temDados(bool& tem)
{
    QSqlQuery* q = m_banco.consulta(QStringLiteral("SELECT (SELECT COUNT(*) FROM departamentos) + (SELECT COUNT(*) FROM operadores) "
                                                   "+ (SELECT COUNT(*) FROM fichas)"),
                                    {});
    if (!q)
        return false;
    tem = q->next() && q->value(0).toLongLong() > 0;
    q->finish();
    return true;
}
