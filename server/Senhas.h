#pragma once
#include <QByteArray>
#include <QString>

// Operator passwords are kept only as Argon2id hashes (libsodium's crypto_pwhash_str,
// interactive cost), so a copy of the database does not give the passwords away.
namespace Senhas {

bool inicializa();                                  // false when libsodium cannot start

// Empty on failure (out of memory). `custoMinimo` gives libsodium's lowest cost: only for
// test databases, where dozens of operators are created and checked per run.
QString gera(const QString& senha, bool custoMinimo = false);
bool confere(const QString& hash, const QString& senha);

// Spends the same time as a real check, for user names that do not exist: the reply's
// delay must not tell which names are valid.
void confereFicticio(const QString& senha);

} // namespace Senhas
