// What the metrics show that no request counts: sampled by the loop, the database asked on a worker.
#pragma once
#include <QObject>

#include <atomic>
#include <functional>
#include <memory>

class Banco;
class QTimer;

// Made only when the metrics are served. Every second the loop sets the open connections;
// every few seconds a worker asks the database whether it answers (the same question as the
// health command) and how many sessions it holds (those of every server on it); every minute it counts the history's rows; at the
// start and then once a day it walks the history's chain, and a whole chain sets the time of
// the last verified head. A question still under way is never asked again on top of itself.
class AmostrasParaMetricas : public QObject {
public:
    struct Fontes {
        std::function<qint64()> conexoes;
        // Runs a task on a worker with its database connection.
        std::function<void(std::function<void(Banco&)>)> noBanco;
    };
    AmostrasParaMetricas(Fontes fontes, QObject* pai);
    ~AmostrasParaMetricas() override;

private:
    void amostra();
    void pergunta(std::shared_ptr<std::atomic<bool>> emCurso, std::function<void(Banco&)> tarefa);

    Fontes m_fontes;
    QTimer* m_relogio;
    qint64 m_segundos = 0;
    std::shared_ptr<std::atomic<bool>> m_sondando, m_contando, m_verificando;
};
