#pragma once
#include <QSqlDatabase>
#include <QString>
#include <QStringList>

// The local lookup file (congregations, member statuses, card layout): an SQLite file at the
// path the deployment values give (Implantacao::bancoLocal).
namespace BancoLocal {

QString caminho();
// The group whose members may write it when installed.
QString grupoDeGravacao();
// Tests point the program at their own copy.
void defineCaminhoParaTeste(const QString& caminho);

// Opens the file under the connection name `nomeConexao` (one per window that uses it).
// Returns an invalid/closed database when the file is missing or unreadable; the caller
// shows the message. Never creates the file.
QSqlDatabase abre(const QString& nomeConexao);
// Closes and forgets the connection `nomeConexao` (nothing when there is none). Whatever
// used it (models, queries) must be gone by then.
void fecha(const QString& nomeConexao);

// After a failed write (`erroDoBanco`, the driver's text): a line telling the operator why when
// the file or its folder cannot be written by them, or empty. Installed, the file belongs to the
// group "zelto"; an operator outside it can read the lookups but not save the card layout.
QString motivoDaGravacaoNegada(const QString& erroDoBanco);

// Builds a lookup file at `destino` from the seed SQL files (statements separated by ";"
// at line ends), replacing any file there. Returns an error text, or empty on success.
QString criaDeSementes(const QString& destino, const QStringList& arquivosSql);

// The seed files shipped in the source tree's data/ folder, in the order to run them.
QStringList sementesPadrao(const QString& pastaData);

} // namespace BancoLocal
