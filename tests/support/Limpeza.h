#pragma once
// Nothing a test starts outlives it. A test program can end in ways its destructors never see:
// an unhandled exception, an abort, or CTest killing it at its time-out. So:
// - the programs it starts itself (our server, cupsd) get the parent-death signal, and the
//   kernel kills them when the test program goes, however it goes;
// - what lives on by design (a PostgreSQL cluster started through pg_ctl) and the temporary
//   folders are watched by a small detached shell that waits for the test program to be gone
//   and then stops what is left and removes the folder. When the folder goes the normal way
//   first, the watcher just ends.
#include <QString>

#include <functional>

class QProcess;

namespace Limpeza {

// From the next start on, `processo`'s program is killed (SIGKILL) when this test program
// ends. `antes` also runs in the child between fork and exec (async-signal-safe calls only).
void morreComOTeste(QProcess& processo, std::function<void()> antes = {});

// When this test program has ended, runs `parada` (a shell command; may be empty) and removes
// `pasta`, unless `pasta` was already removed.
void vigiaPasta(const QString& pasta, const QString& parada = QString());

} // namespace Limpeza
