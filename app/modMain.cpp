#include "app/modMain.h"
#include "app/modGlobais.h"
#include "app/Frminicial.h"
#include "app/Traducao.h"
#include "members/frmPrincipal.h"
#include "connection/frmLogin.h"

#include <QApplication>
#include <QIcon>
#include <QLocale>

int Main(int& argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Zelto"));
    // The desktop entry and icon installed by the package (zelto.desktop, zelto.svg).
    QGuiApplication::setDesktopFileName(QStringLiteral("zelto"));
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("zelto")));
    // Windows are hidden and shown in turn (the login window stays loaded, hidden, all the
    // run): the program ends only through EncerraAplicacao, never because none is visible.
    QApplication::setQuitOnLastWindowClosed(false);
    QLocale::setDefault(QLocale(QLocale::Portuguese, QLocale::Brazil));
    carregaTraducaoDoQt();

    CarregaConfiguracao();
    frmLogin::abre();
    return app.exec();
}
