// What the server tells systemd under a Type=notify unit: ready, alive, stopping.
#pragma once

class QObject;

// systemd's notify protocol, three words: READY=1 once the server listens, WATCHDOG=1 sent by
// the event loop itself at half the unit's WatchdogSec= (a loop that hangs stops the
// heartbeat, and systemd kills and restarts the service), STOPPING=1 on the way out. Sent
// through libsystemd's sd_notify; in a build without libsystemd, or outside systemd (no
// NOTIFY_SOCKET), every call does nothing.
namespace AvisosAoSystemd {

// READY=1, and the heartbeat on `laco`'s thread when the unit asks for one (WATCHDOG_USEC).
void pronto(QObject* laco);
void parando();

} // namespace AvisosAoSystemd
