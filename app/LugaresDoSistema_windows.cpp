// The places of a Windows computer: what the office shares under %ProgramData%\Zelto (the
// installer lets the Users group write there), what is each operator's under %APPDATA%\Zelto
// (the roaming profile, so it follows an operator who signs in on another desk).
#include "app/LugaresDoSistema.h"

#include <QDir>
#include <QStandardPaths>

namespace LugaresDoSistema {

namespace {

// Named folders are read from the environment Windows gives every process: Qt's own
// GenericConfigLocation is the local (not roaming) profile, and there is no Qt name for
// %ProgramData% at all.
QString pastaDoAmbiente(const char* variavel)
{
    const QString valor = qEnvironmentVariable(variavel);
    return valor.isEmpty() ? QString() : QDir::cleanPath(QDir::fromNativeSeparators(valor));
}

QString pastaDoEscritorio()
{
    QString pasta = pastaDoAmbiente("ProgramData");
    if (pasta.isEmpty())
        pasta = pastaDoAmbiente("ALLUSERSPROFILE");
    if (pasta.isEmpty())
        pasta = QStringLiteral("C:/ProgramData");
    return pasta + QStringLiteral("/Zelto");
}

QString pastaDoOperador()
{
    const QString pasta = pastaDoAmbiente("APPDATA");
    if (!pasta.isEmpty())
        return pasta + QStringLiteral("/Zelto");
    // Without the variable, Qt's roaming folder for this program ("…/Roaming/Zelto").
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
}

bool dentroDe(const QString& pasta, const QString& raiz)
{
    return !raiz.isEmpty()
           && (pasta.compare(raiz, Qt::CaseInsensitive) == 0
               || pasta.startsWith(raiz + u'/', Qt::CaseInsensitive));
}

} // namespace

// Installed is under Program Files: the folder only administrators write, so config.ini cannot
// live beside the program there (Windows would quietly keep a per-user copy elsewhere).
std::optional<QString> raizDaInstalacao(const QString& pastaDoPrograma)
{
    const QString pasta = QDir::cleanPath(QDir::fromNativeSeparators(pastaDoPrograma));
    for (const char* variavel : {"ProgramW6432", "ProgramFiles", "ProgramFiles(x86)"})
        if (dentroDe(pasta, pastaDoAmbiente(variavel)))
            return QString();
    return std::nullopt;
}

QString arquivoDeImplantacao(const QString&)
{
    return pastaDoEscritorio() + QStringLiteral("/implantacao.ini");
}

// The installer leaves the default beside the program.
QString configuracaoPadrao(const QString& pastaDoPrograma)
{
    QString pasta = QDir::fromNativeSeparators(pastaDoPrograma);
    if (!pasta.endsWith(u'/'))
        pasta += u'/';
    return pasta + QStringLiteral("config.ini");
}

QString bancoLocalPadrao(const std::optional<QString>&)
{
    return pastaDoEscritorio() + QStringLiteral("/ruduza.db");
}

QString configuracaoDoUsuario()
{
    const QString pasta = pastaDoOperador();
    return pasta.isEmpty() ? QString() : pasta + QStringLiteral("/config.ini");
}

QString certificadosConhecidos()
{
    return pastaDoOperador() + QStringLiteral("/certificados-conhecidos");
}

QString comoLiberarGravacao()
{
    return QStringLiteral("Peça ao administrador para dar ao grupo Usuários permissão de modificar a pasta %1 "
                          "(o instalador do Zelto faz isso; instalá-lo de novo a devolve).")
        .arg(QDir::toNativeSeparators(pastaDoEscritorio()));
}

} // namespace LugaresDoSistema
