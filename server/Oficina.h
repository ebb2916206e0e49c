#pragma once
#include "server/Atendente.h"
#include "server/history/Historico.h"

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QMutex>
#include <QString>
#include <QThread>
#include <QWaitCondition>

#include <functional>
#include <memory>

class Banco;
class Sessoes;

// The threads that do the store's work, so that the server's loop only reads, frames and
// writes. Each thread has its own Banco (a database connection belongs to the thread that
// opened it), all on the same store:
//  - one writer takes the changes (saves, inclusions, deletions) queued so far as one batch,
//    in one transaction with a savepoint per change: one disk sync serves the whole batch,
//    and an acknowledged change is on disk before its reply leaves;
//  - `leitores` readers take the searches and the login look-ups one at a time (SQLite in
//    WAL mode lets them read while the writer writes).
// The history rows of reads, logins and log-offs (`registra`) never hold up their replies: the
// writer stores them with its next batch, in a savepoint of their own, so they cannot spoil a
// change either. Rows it could not store wait for the next batch (up to a bound), said once.
// Work handed in runs in the order given per queue; the callbacks run on the worker's thread.
class Oficina {
public:
    using Leitura = std::function<void(Banco&, Atendente&)>;
    struct Alteracao {
        int codigo;
        QByteArray bytes;   // the request as received
        Portador portador;
        qint64 agoraMs;
        std::function<void(Atendente::Resposta)> pronta;
    };

    Oficina(QString conexao, Sessoes& sessoes, int leitores);
    ~Oficina();   // finishes the work already taken, drops what is queued, stops the threads
    Oficina(const Oficina&) = delete;
    Oficina& operator=(const Oficina&) = delete;

    // Starts the threads and opens their connections; false (with `erro`) when one fails.
    bool inicia(QString& erro);

    // `naFrente`: before the readings already queued (a long reply's next part: its client is
    // mid-stream, and a plain-wire client takes a long quiet for the end).
    void le(Leitura tarefa, bool naFrente = false);
    void altera(Alteracao alteracao);
    // A history row for the writer's next batch (from any thread).
    void registra(RegistroDoHistorico registro);
    static constexpr qsizetype maisRegistrosEsperando = 100'000;

private:
    struct Fila;
    void trabalhaLendo();
    void vigiaSemAFila(QMutexLocker<QMutex>& trava, Banco& banco);
    void trabalhaGravando();
    bool gravaRegistros(Banco& banco, QList<RegistroDoHistorico>& registros);
    void devolveRegistros(QList<RegistroDoHistorico>&& registros, const QString& porque);
    bool abreBanco(Banco& banco);

    QString m_conexao;
    Sessoes& m_sessoes;
    int m_leitores;
    std::unique_ptr<Fila> m_fila;
    QList<QThread*> m_threads;
    bool m_registrosFalhando = false;   // the writer's: the last rows could not be stored
};
