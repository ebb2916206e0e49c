#pragma once
// What the history's tests share: our client's side of the wire with the history agreed, a
// sheet to save, zelto-server's commands run on a test server's database, and its rows read.
#include "protocol/clsAgenda.h"
#include "support/ServidorReal.h"

#include <QDeadlineTimer>
#include <QProcess>
#include <QTest>
#include <QVariant>

namespace HistoricoNoTeste {

// Our client's side of the wire: framed, with the history agreed.
inline const QStringList comHistorico{QStringLiteral("quadros"), QStringLiteral("historico")};

inline clsAgenda ficha(qint32 numero, const QString& nome, qint32 dep = 1, const QString& cidade = QStringLiteral("Recife"))
{
    clsAgenda f;
    f.numeroFicha = numero;
    f.nome = nome;
    f.Data = QDate(2021, 5, 10);
    f.cidade = cidade;
    f.departamento.idDepartamento = dep;
    f.departamento.dsDepartamento = QStringLiteral("x");
    return f;
}

struct Saida {
    int codigo = -1;
    QString texto;
};

// zelto-server with `argumentos` on the server's database: exit code and what it wrote.
inline Saida roda(const ServidorReal& s, QStringList argumentos)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(ServidorReal::binario(), argumentos << QStringLiteral("--db") << s.conexaoDoBanco());
    if (!p.waitForFinished(120'000) || p.exitStatus() != QProcess::NormalExit)
        return {};
    return {p.exitCode(), QString::fromUtf8(p.readAll())};
}

inline QVariant valor(ServidorReal& s, const QString& sql)
{
    QVariant v;
    return s.executaNoBanco({sql}, &v) ? v : QVariant();
}

// The history rows are written by the writer after the reads' replies: wait until they are.
inline bool esperaLinhas(ServidorReal& s, const QString& onde, int quantas)
{
    QDeadlineTimer prazo(10000);
    while (!prazo.hasExpired()) {
        if (valor(s, QStringLiteral("SELECT COUNT(*) FROM historico WHERE ") + onde).toInt() >= quantas)
            return true;
        QTest::qWait(50);
    }
    return false;
}

} // namespace HistoricoNoTeste
