// The server's log: one line per event on standard error, which the journal (or a test) keeps.
#pragma once
#include <QString>

// One line on standard error: an ISO 8601 UTC timestamp, the program's name, the text with
// every control character escaped (so one event is always one line).
void registraNoDiario(const QString& linha);
