#pragma once
#include <QProcess>
#include <QString>
#include <QList>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

// A private CUPS print server for tests: cupsd with its own configuration, spool and socket
// in a temporary folder, never the machine's print service. Queues print to /dev/null, or
// to a device of its own that stops the queue or fails the job as a jammed printer would.
//
//     ServidorCups cups;
//     if (!cups.inicia()) QSKIP(qPrintable(cups.erro()));
//     cups.criaFila("Recusa", ServidorCups::Recusa, true);   // the default printer
//     qputenv("CUPS_SERVER", cups.soquete().toUtf8());      // before the first print
//
// Every queue keeps its jobs listed with their titles and states (trabalhosDaFila), printed
// ones included.
class ServidorCups {
public:
    enum Estado {
        Retem,       // accepts jobs and keeps them (the queue is paused: cupsdisable)
        Recusa,      // does not accept jobs (cupsreject)
        Imprime,     // accepts jobs and prints them
        Para,        // accepts a job, then its device stops the queue with the job in it
        Abandona,    // accepts a job, then its device fails and the job is aborted
        Segura,      // accepts jobs and holds each one (job-hold-until indefinite)
    };
    struct Trabalho {
        QString titulo;
        int estado;   // IPP job-state: 3 pending, 4 held, 7 canceled, 8 aborted, 9 completed
    };
    // The message the stopping device leaves on its queue.
    static QString motivoDaParada() { return QStringLiteral("Papel atolado na bandeja 2"); }

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
    QList<Trabalho> trabalhosDaFila(const QString& nome);

    QString soquete() const { return m_pasta.filePath(QStringLiteral("cups.sock")); }
    QString erro() const { return m_erro; }
    QString diario() const;

private:
    bool administra(const QString& programa, const QStringList& argumentos);
    bool montaProgramas(const QString& base);

    QTemporaryDir m_pasta;
    std::unique_ptr<QProcess> m_processo;
    QString m_erro;
};
