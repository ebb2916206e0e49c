#pragma once
// The member window's lookups in the local file: congregations and member statuses. Every
// call opens the file again (BancoLocal) under the caller's connection name, reads with bound
// parameters and gives the rows in the table's own order. A missing file gives no rows.
#include <QString>
#include <QStringList>
#include <optional>

namespace ConsultasLocais {

struct Congregacao {
    QString COD, congregacao, setor, setornome, cidade, uf;
};

// Whether the file can be opened as a database.
bool disponivel(const QString& conexao);

QStringList congregacoes(const QString& conexao);
// The first row whose name is exactly `nome`.
std::optional<Congregacao> congregacao(const QString& conexao, const QString& nome);

QStringList status(const QString& conexao);
// CODTEXTO of the first row whose DESCRICAO is exactly `descricao`.
std::optional<QString> codigoDoStatus(const QString& conexao, const QString& descricao);

} // namespace ConsultasLocais
