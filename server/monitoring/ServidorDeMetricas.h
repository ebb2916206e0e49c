// The metrics' own HTTP listener (servir --metricas): GET /metrics answers the exposition.
#pragma once
#include <QHostAddress>
#include <QString>

#include <memory>

class QThread;

// Qt's HTTP server on a thread of its own: a flood of scrapes never waits on, nor holds up,
// the loop that serves the registry; each scrape only reads the counters (Metricas). Any
// other path or method gets 404. Stopped and joined on destruction.
class ServidorDeMetricas {
public:
    ServidorDeMetricas();
    ~ServidorDeMetricas();
    ServidorDeMetricas(const ServidorDeMetricas&) = delete;
    ServidorDeMetricas& operator=(const ServidorDeMetricas&) = delete;

    // Listening when it returns true; false, with the system's reason in `erro`, otherwise
    // (and nothing is left running).
    bool escuta(const QHostAddress& endereco, quint16 porta, QString& erro);
    quint16 porta() const { return m_porta; }

private:
    void para();

    std::unique_ptr<QThread> m_fio;
    quint16 m_porta = 0;
};
