#pragma once
// Whether a plain-wire reply the server tests read is whole (the plain wire has no end mark).
#include <QByteArray>

// The bare codes, a login's four bars, one sheet's 67; a list is never whole by this test
// (its readers wait for the stream to go quiet).
inline bool respostaInteira(const QByteArray& r)
{
    const qsizetype barras = r.count('|');
    if (r == "0" || r == "2" || r == "5" || r == "11" || r == "14")
        return true;
    if (r.startsWith("4|"))
        return barras >= 4;
    if (r.startsWith("7|") || r.startsWith("9|"))
        return barras >= 67;
    return false;
}
