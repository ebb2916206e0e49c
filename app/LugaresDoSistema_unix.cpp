// The places of a Debian system: /etc/zelto, /var/lib/zelto, the operator's XDG folders.
#include "app/LugaresDoSistema.h"
#include "app/ImplantacaoPadrao.h"

#include <QDir>
#include <QStandardPaths>

namespace LugaresDoSistema {

std::optional<QString> raizDaInstalacao(const QString& pastaDoPrograma)
{
    const QString instalada = QDir::cleanPath(QString::fromUtf8(ImplantacaoPadrao::pastaDoPrograma));
    const QString pasta = QDir::cleanPath(QDir::fromNativeSeparators(pastaDoPrograma));
    if (instalada.isEmpty() || !pasta.endsWith(instalada))
        return std::nullopt;
    QString raiz = pasta.left(pasta.size() - instalada.size());
    // "/tmp/xusr/bin" does not end in the folder "/usr/bin".
    if (!raiz.isEmpty() && !instalada.startsWith(u'/') && !raiz.endsWith(u'/'))
        return std::nullopt;
    if (raiz.endsWith(u'/'))
        raiz.chop(1);
    return raiz;
}

QString arquivoDeImplantacao(const QString& pastaDoPrograma)
{
    return raizDaInstalacao(pastaDoPrograma).value_or(QString()) + QString::fromUtf8(ImplantacaoPadrao::arquivoImplantacao);
}

QString configuracaoPadrao(const QString& pastaDoPrograma)
{
    return raizDaInstalacao(pastaDoPrograma).value_or(QString()) + QString::fromUtf8(ImplantacaoPadrao::configuracaoPadrao);
}

QString bancoLocalPadrao(const std::optional<QString>& raiz)
{
    const QString padrao = QString::fromUtf8(ImplantacaoPadrao::bancoLocal);
    return raiz && QDir::isAbsolutePath(padrao) ? *raiz + padrao : padrao;
}

QString configuracaoDoUsuario()
{
    const QString pasta = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    return pasta.isEmpty() ? QString() : pasta + QStringLiteral("/zelto/config.ini");
}

QString certificadosConhecidos()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) + QStringLiteral("/certificados-conhecidos");
}

QString comoLiberarGravacao()
{
    return QStringLiteral("Peça ao administrador para incluí-lo no grupo \"zelto\" (adduser USUARIO zelto) e entre de "
                          "novo no computador.");
}

} // namespace LugaresDoSistema
