// A test program that dies halfway leaves nothing running and no folder behind: its server,
// its PostgreSQL cluster and their temporary folders go with it.
#include "ClusterPostgres.h"
#include "ServidorReal.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTest>

#include <cstdio>
#include <cstdlib>

namespace {

// The program run with "--abandona": starts a server and a cluster, says where they are,
// and aborts without any destructor running.
[[noreturn]] void abandona()
{
    auto* servidor = new ServidorReal();
    auto* cluster = new ClusterPostgres();
    if (!servidor->inicia() || !cluster->inicia())
        std::exit(3);
    QFile pid(cluster->pasta() + QStringLiteral("/dados/postmaster.pid"));
    pid.open(QIODevice::ReadOnly);
    const QByteArray postmaster = pid.readLine().trimmed();
    std::printf("%s\n%s\n%lld\n%s\n", qPrintable(servidor->pasta()), qPrintable(cluster->pasta()),
                static_cast<long long>(servidor->pid()), postmaster.constData());
    std::fflush(stdout);
    std::abort();
}

// Alive and not a zombie waiting for a parent that does not reap.
bool vivo(qint64 pid)
{
    QFile estado(QStringLiteral("/proc/%1/stat").arg(pid));
    if (pid <= 0 || !estado.open(QIODevice::ReadOnly))
        return false;
    const QByteArray linha = estado.readAll();
    const qsizetype fim = linha.lastIndexOf(')');
    return fim > 0 && linha.mid(fim + 2, 1) != "Z";
}

} // namespace

class tst_Limpeza : public QObject {
    Q_OBJECT
private slots:
    void programaAbortadoNaoDeixaNada()
    {
        QProcess p;
        p.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--abandona")});
        QVERIFY(p.waitForFinished(120'000));
        const QStringList linhas = QString::fromLocal8Bit(p.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
        QCOMPARE(linhas.size(), 4);
        QVERIFY(QDir(linhas[0]).exists() || QDir(linhas[1]).exists() || vivo(linhas[2].toLongLong()));
        const QDeadlineTimer prazo(30'000);
        const auto restos = [&] {
            QStringList r;
            for (const QString& pasta : linhas.mid(0, 2))
                if (QDir(pasta).exists())
                    r << pasta;
            for (const QString& pid : linhas.mid(2))
                if (vivo(pid.toLongLong()))
                    r << QStringLiteral("pid ") + pid;
            return r;
        };
        while (!restos().isEmpty() && !prazo.hasExpired())
            QTest::qWait(200);
        QVERIFY2(restos().isEmpty(), qPrintable(restos().join(u", ")));
    }
};

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (app.arguments().contains(QStringLiteral("--abandona")))
        abandona();
    tst_Limpeza t;
    return QTest::qExec(&t, argc, argv);
}

#include "tst_limpeza.moc"
