#pragma once
#include <QString>
#include <QStringList>
#include <optional>

// Deployment values: what an office sets once for all its computers (the registry server's
// address, the organisation's texts, the support contacts, the lookup file). They come from
// the deployment file, a UTF-8 INI file with one section [Implantacao]; a value the file does
// not hold, or holds badly, keeps the default fixed when the program was configured.
namespace Implantacao {

QString servidor();
QString porta();          // always "9998"
QString bancoLocal();
QString organizacao();
QString endereco();
QString site();
QString versiculo();
QString suporteEmail();
QString suporteFone1();
QString suporteFone2();
QString suporteFone3();
// The registry server's certificate the office expects: its SHA-256 fingerprint as 64
// lower-case hex digits ("" when none is set).
QString certificado();
// Whether the connection to the server is encrypted: `exigir` refuses a server that does not
// offer TLS, `preferir` (the default) encrypts whenever the server offers it, `nunca` never asks.
enum class PoliticaTls { Exigir, Preferir, Nunca };
PoliticaTls tls();
// Work while disconnected (`trabalhoDesconectado=sim`; off, `nao`, by default, since it keeps
// the department's members on the desk, sealed): each operator's copy, queued changes sent when
// the link returns (desconectado/). Off, nothing of it is asked of the server or kept.
bool trabalhoDesconectado();
// How many days a desk's copy may go without seeing the server before it no longer opens
// (`diasSemServidor`, 1 to 365, 7 by default).
int diasSemServidor();

// The root under which the program was installed when `pastaDoPrograma` is its installed folder
// ("" for a program in /usr/bin; "/tmp/x" for one unpacked to /tmp/x/usr/bin), or nothing for a
// program run from anywhere else (a build folder, a portable copy).
std::optional<QString> raizDaInstalacao(const QString& pastaDoPrograma);

// The deployment file that belongs to a program in `pastaDoPrograma` (its own root's when installed).
QString arquivo(const QString& pastaDoPrograma);
// The packaged default config.ini for a program in `pastaDoPrograma`.
QString configuracaoPadrao(const QString& pastaDoPrograma);

// Reads `arquivo` over the defaults (an installed program's default lookup file follows its root).
// Returns one line per problem found; a missing file is no problem and leaves the defaults.
QStringList carrega(const QString& arquivo, const std::optional<QString>& raiz = std::nullopt);

// Back to the values fixed at configuration (tests).
void restauraPadroes();

} // namespace Implantacao
