// What the server tells systemd under a Type=notify unit.
#include "server/monitoring/AvisosAoSystemd.h"

#include <QObject>
#include <QString>
#include <QThread>
#include <QTimer>

#include <algorithm>

#ifdef ZELTO_COM_SYSTEMD
#include <systemd/sd-daemon.h>
#endif

namespace {

void avisa([[maybe_unused]] const char* texto)
{
#ifdef ZELTO_COM_SYSTEMD
    sd_notify(0, texto);
#endif
}

// How often the heartbeat beats: half the unit's watchdog time, in ms; 0 when it asked for none.
int batidaMs()
{
#ifdef ZELTO_COM_SYSTEMD
    uint64_t usec = 0;
    if (sd_watchdog_enabled(0, &usec) > 0 && usec > 0)
        return int(std::max<uint64_t>(1, std::min<uint64_t>(usec / 2000, 3'600'000)));
#endif
    return 0;
}

// For the watchdog's own test: ZELTO_TESTE_TRAVA_LACO="APOS_MS:DURACAO_MS" blocks the loop
// once, as a hung library call would.
void travaParaTeste(QObject* laco)
{
    const QString pedido = qEnvironmentVariable("ZELTO_TESTE_TRAVA_LACO");
    bool okApos = false, okDuracao = false;
    const int apos = pedido.section(u':', 0, 0).toInt(&okApos);
    const int duracao = pedido.section(u':', 1, 1).toInt(&okDuracao);
    if (okApos && okDuracao && apos >= 0 && duracao > 0)
        QTimer::singleShot(apos, laco, [duracao] { QThread::msleep(ulong(duracao)); });
}

} // namespace

void AvisosAoSystemd::pronto(QObject* laco)
{
    avisa("READY=1");
    if (const int ms = batidaMs(); ms > 0) {
        auto* batida = new QTimer(laco);
        QObject::connect(batida, &QTimer::timeout, laco, [] { avisa("WATCHDOG=1"); });
        batida->start(ms);
    }
    travaParaTeste(laco);
}

void AvisosAoSystemd::parando()
{
    avisa("STOPPING=1");
}
