#pragma once
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

// A private CUPS print server for tests: cupsd with its own configuration, spool and socket
// in a temporary folder, never the machine's print service. Queues print to /dev/null.
//
//     ServidorCups cups;
//     if (!cups.inicia()) QSKIP(qPrintable(cups.erro()));
//     cups.criaFila("Recusa", ServidorCups::Recusa, true);   // the default printer
//     qputenv("CUPS_SERVER", cups.soquete().toUtf8());      // before the first print
//
// A queue that holds its jobs (`Retem`) keeps them listed with their titles (titulosDaFila).
class ServidorCups {
public:
    enum Estado {
        Retem,    // accepts jobs and keeps them (the queue is stopped)
        Recusa,   // does not accept jobs (cupsreject)
    };

    ServidorCups();
    ~ServidorCups();   // stops cupsd
    ServidorCups(const ServidorCups&) = delete;
    ServidorCups& operator=(const ServidorCups&) = delete;

    // Starts cupsd and waits for its socket. False (with erro()) when cupsd is missing or
    // cannot start here.
    bool inicia();
    void para();

    bool criaFila(const QString& nome, Estado estado, bool padrao);
    // The titles of the jobs a queue holds, oldest first.
    QStringList titulosDaFila(const QString& nome);

    QString soquete() const { return m_pasta.filePath(QStringLiteral("cups.sock")); }
    QString erro() const { return m_erro; }
    QString diario() const;

private:
    bool administra(const QString& programa, const QStringList& argumentos);

    QTemporaryDir m_pasta;
    std::unique_ptr<QProcess> m_processo;
    QString m_erro;
};
