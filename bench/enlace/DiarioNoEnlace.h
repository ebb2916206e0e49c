#pragma once
// The part of bench_enlace for an office that works disconnected (--diario N): over the same
// link, a desk's first copy of the department, then N changes queued while disconnected and
// sent in groups, as the login after the link returns sends them.
#include "protocol/clsUsuario.h"

class QTimer;

// Needs a connection that agreed "sincronia" (the deployment loaded with the mode on) and
// `logado` logged in on it. Prints its lines; false when something failed (said on stderr).
bool medeODiario(const clsUsuario& logado, const QString& senha, QTimer& timer, int mudancas, double rttMs);
