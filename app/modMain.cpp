#include "app/modMain.h"
#include "app/modGlobais.h"
#include "app/Frminicial.h"
#include "members/frmPrincipal.h"
#include "connection/frmLogin.h"

#include <QApplication>
#include <QLocale>

int Main(int& argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Zelto"));
    // Windows are hidden and shown in turn (the login window stays loaded, hidden, all the
    // run): the program ends only through EncerraAplicacao, never because none is visible.
    QApplication::setQuitOnLastWindowClosed(false);
    QLocale::setDefault(QLocale(QLocale::Portuguese, QLocale::Brazil));

    CarregaConfiguracao();
    frmLogin::abre();
    return app.exec();
}
