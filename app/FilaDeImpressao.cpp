// What the operator is told of a print job left waiting in its queue, whatever the print system.
#include "app/FilaDeImpressao.h"

#include <QCoreApplication>
#include <QCursor>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QGuiApplication>
#include <QThread>
#include <QTimer>

namespace FilaDeImpressao {

namespace {

// Long enough for the print system to start the job's device and hear it stop the queue;
// short enough that a busy printer does not hold the window long.
constexpr int prazoEmMs = 5000;
constexpr int intervaloEmMs = 150;

// Waits a little, painting windows but taking no clicks or keys meanwhile.
void aguarda()
{
    if (!QCoreApplication::instance()) {
        QThread::msleep(intervaloEmMs);
        return;
    }
    QEventLoop laco;
    QTimer::singleShot(intervaloEmMs, &laco, &QEventLoop::quit);
    laco.exec(QEventLoop::ExcludeUserInputEvents);
}

} // namespace

Situacao acompanhaAteOPrazo(const std::function<std::optional<Situacao>()>& olha)
{
    const bool cursor = qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr;
    if (cursor)
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    Situacao s;
    for (const QDeadlineTimer prazo(prazoEmMs);; aguarda()) {
        if (const std::optional<Situacao> fim = olha()) {
            s = *fim;
            break;
        }
        if (prazo.hasExpired())
            break;
    }
    if (cursor)
        QGuiApplication::restoreOverrideCursor();
    return s;
}

QString tituloDaEspera(const Situacao& s)
{
    return s.filaParada ? QStringLiteral("Impressora Pausada") : QStringLiteral("Impressão Retida na Fila");
}

QString textoDaEspera(const Situacao& s, const QString& fila, const QString& titulo)
{
    QString texto = s.filaParada
                        ? QStringLiteral("A impressora \"%1\" está pausada. O trabalho \"%2\" foi aceito, mas ficou "
                                         "esperando na fila dela e ainda não foi impresso.")
                              .arg(fila, titulo)
                        : QStringLiteral("O trabalho \"%2\" foi aceito pela impressora \"%1\", mas ficou retido na "
                                         "fila dela e ainda não foi impresso.")
                              .arg(fila, titulo);
    if (!s.motivo.isEmpty())
        texto += QStringLiteral("\nO sistema de impressão informa: %1").arg(s.motivo);
    texto += s.filaParada ? QStringLiteral("\nEle será impresso quando a impressora for retomada nas configurações de "
                                           "impressão do sistema; não o envie de novo, para não sair em dobro.")
                          : QStringLiteral("\nEle será impresso quando for liberado nas configurações de impressão do "
                                           "sistema; não o envie de novo, para não sair em dobro.");
    return texto;
}

} // namespace FilaDeImpressao
