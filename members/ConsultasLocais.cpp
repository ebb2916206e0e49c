#include "members/ConsultasLocais.h"
#include "app/BancoLocal.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QVariant>

namespace ConsultasLocais {

namespace {

// A column read as text; an absent value (NULL) is the empty text.
QString coluna(const QSqlQuery& q, const char* nome)
{
    const QVariant v = q.value(QString::fromLatin1(nome));
    return v.isNull() ? QString() : v.toString();
}

QStringList primeiraColuna(const QString& conexao, const QString& sql)
{
    QStringList r;
    QSqlDatabase db = BancoLocal::abre(conexao);
    if (!db.isOpen())
        return r;
    QSqlQuery q(db);
    q.setForwardOnly(true);
    if (q.exec(sql))
        while (q.next())
            r.append(q.value(0).isNull() ? QString() : q.value(0).toString());
    return r;
}

} // namespace

bool disponivel(const QString& conexao)
{
    return BancoLocal::abre(conexao).isOpen();
}

QStringList congregacoes(const QString& conexao)
{
    return primeiraColuna(conexao, QStringLiteral("SELECT congregacao FROM congregacao ORDER BY rowid"));
}

std::optional<Congregacao> congregacao(const QString& conexao, const QString& nome)
{
    QSqlDatabase db = BancoLocal::abre(conexao);
    if (!db.isOpen())
        return std::nullopt;
    QSqlQuery q(db);
    q.setForwardOnly(true);
    q.prepare(QStringLiteral("SELECT * FROM congregacao WHERE congregacao = ? ORDER BY rowid LIMIT 1"));
    q.addBindValue(nome);
    if (!q.exec() || !q.next())
        return std::nullopt;
    return Congregacao{coluna(q, "COD"), coluna(q, "congregacao"), coluna(q, "setor"),
                       coluna(q, "setornome"), coluna(q, "cidade"), coluna(q, "uf")};
}

QStringList status(const QString& conexao)
{
    return primeiraColuna(conexao, QStringLiteral("SELECT DESCRICAO FROM STATUSMEMBRO ORDER BY rowid"));
}

std::optional<QString> codigoDoStatus(const QString& conexao, const QString& descricao)
{
    QSqlDatabase db = BancoLocal::abre(conexao);
    if (!db.isOpen())
        return std::nullopt;
    QSqlQuery q(db);
    q.setForwardOnly(true);
    q.prepare(QStringLiteral("SELECT * FROM STATUSMEMBRO WHERE DESCRICAO = ? ORDER BY rowid LIMIT 1"));
    q.addBindValue(descricao);
    if (!q.exec() || !q.next())
        return std::nullopt;
    return coluna(q, "CODTEXTO");
}

} // namespace ConsultasLocais
