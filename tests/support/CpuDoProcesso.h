#pragma once
// CPU seconds (user + system) a process has used so far, read from /proc; 0 when it cannot be read.
#include <QByteArray>
#include <QFile>
#include <QList>
#include <QString>

#include <unistd.h>

inline double cpuDoProcesso(qint64 pid)
{
    QFile f(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray linha = f.readAll();
    // Fields after the command name (which may hold spaces, inside parentheses).
    const QList<QByteArray> campos = linha.mid(linha.lastIndexOf(')') + 2).split(' ');
    return campos.size() > 13 ? double(campos[11].toLongLong() + campos[12].toLongLong()) / double(sysconf(_SC_CLK_TCK)) : 0;
}
