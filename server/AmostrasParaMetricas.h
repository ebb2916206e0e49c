// What the metrics show that no request counts: sampled by the loop, the database asked on a worker.
#pragma once
#include <QObject>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>

class Banco;
class QTimer;

// Made only when the metrics are served. Every second the loop sets the open connections;
// every few seconds a worker asks the database whether it answers (the same question as the
// health command), how many sessions it holds (those of every server on it), and verifies the
// history's rows appended since the last pass (each linked to the one before, from the row
// before the head found at the start): while they hold, that sets the time of the last
// verified head. Every minute it counts the history's rows. A question still under way is
// never asked again on top of itself.
class AmostrasParaMetricas : public QObject {
public:
    struct Fontes {
        std::function<qint64()> conexoes;
        // Runs a task on a worker with its database connection.
        std::function<void(std::function<void(Banco&)>)> noBanco;
    };
    AmostrasParaMetricas(Fontes fontes, QObject* pai);
    // How far the chain has been verified: the last row (-1: not found yet) and its hash.
    struct Cabeca {
        qint64 id = -1;
        QString hash;
        bool quebrada = false;
    };
    ~AmostrasParaMetricas() override;

private:
    void amostra();
    void pergunta(std::shared_ptr<std::atomic<bool>> emCurso, std::function<void(Banco&)> tarefa);

    Fontes m_fontes;
    QTimer* m_relogio;
    qint64 m_segundos = 0;
    std::shared_ptr<std::atomic<bool>> m_sondando, m_contando, m_verificando;
    std::shared_ptr<Cabeca> m_cabeca;
};
