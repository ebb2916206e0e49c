#pragma once
// A certificate's SHA-256 fingerprint as people write it, and the client's list of the
// certificates it has seen per server (trust on first use).
#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringView>

namespace ImpressaoDigital {

// 64 lower-case hex digits from a fingerprint written in hex, with or without colons (or
// spaces) between the pairs, in either case; empty when it is not one.
QString normaliza(QStringView texto);
// "AB:CD:..." (upper case, colons) from the 32 raw bytes of a SHA-256.
QString comDoisPontos(const QByteArray& sha256);

// The remembered certificates: one "host:port fingerprint" a line. Lines that are not one
// are skipped (the file is the user's; a damaged line forgets only that server).
QHash<QString, QString> leConhecidos(const QByteArray& texto);
QByteArray escreveConhecidos(const QHash<QString, QString>& conhecidos);

} // namespace ImpressaoDigital
