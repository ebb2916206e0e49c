#include "Limpeza.h"

#include <QCoreApplication>
#include <QProcess>

#include <csignal>
#include <sys/prctl.h>

namespace Limpeza {

void morreComOTeste(QProcess& processo, std::function<void()> antes)
{
    processo.setChildProcessModifier([antes = std::move(antes)] {
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (antes)
            antes();
    });
}

void vigiaPasta(const QString& pasta, const QString& parada)
{
    // $1 the test program's pid, $2 the folder, $3 the stop command.
    static const QString roteiro = QStringLiteral(
        "exec </dev/null >/dev/null 2>&1\n"
        "while kill -0 \"$1\" && [ -e \"$2\" ]; do sleep 1; done\n"
        "[ -e \"$2\" ] || exit 0\n"
        "[ -z \"$3\" ] || sh -c \"$3\"\n"
        "rm -rf \"$2\"\n");
    QProcess::startDetached(QStringLiteral("/bin/sh"),
                            {QStringLiteral("-c"), roteiro, QStringLiteral("zelto-limpeza"),
                             QString::number(QCoreApplication::applicationPid()), pasta, parada});
}

} // namespace Limpeza
