// The server's log line: timestamp, program name, and the text made safe to be one line.
#include "server/Diario.h"

#include <QByteArray>
#include <QDateTime>

#include <cstdio>

void registraNoDiario(const QString& linha)
{
    QString limpa;
    limpa.reserve(linha.size());
    for (QChar c : linha) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f || (c.unicode() >= 0x80 && c.unicode() < 0xa0))
            limpa += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
        else
            limpa += c;
    }
    const QByteArray texto = QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs).toLatin1() + QByteArrayLiteral(" zelto-server: ")
        + limpa.toUtf8() + '\n';
    std::fwrite(texto.constData(), 1, size_t(texto.size()), stderr);
    std::fflush(stderr);
}
