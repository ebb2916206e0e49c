#pragma once
#include <QString>
#include <optional>

// Where the program's files live on the system it was built for: the office's deployment file,
// the default lookup file, the operator's own config.ini and remembered certificates, and what
// to tell an operator who may not write the lookup file. One implementation per system, chosen
// when the program is configured (LugaresDoSistema_unix.cpp, LugaresDoSistema_windows.cpp); the
// rest of the program asks here and never tests for the system itself.
namespace LugaresDoSistema {

// The root of an installed program in `pastaDoPrograma` ("" when installed in the system's own
// place), or nothing for a program run from anywhere else (a build folder, a portable copy).
std::optional<QString> raizDaInstalacao(const QString& pastaDoPrograma);

// The office's deployment file for a program in `pastaDoPrograma`.
QString arquivoDeImplantacao(const QString& pastaDoPrograma);

// The default config.ini an operator's own copy is made from, for a program in `pastaDoPrograma`.
QString configuracaoPadrao(const QString& pastaDoPrograma);

// The lookup file when the deployment file names none (`raiz`: the installation's root).
QString bancoLocalPadrao(const std::optional<QString>& raiz);

// The operator's own config.ini ("" when the system gives no place for it).
QString configuracaoDoUsuario();

// The operator's file of remembered server certificates.
QString certificadosConhecidos();

// The sentence that tells an operator refused the lookup file how to be allowed to write it.
QString comoLiberarGravacao();

} // namespace LugaresDoSistema
