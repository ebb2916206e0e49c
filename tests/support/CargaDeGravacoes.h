#pragma once
// Saving under load, as offices do: connections to one or more registry servers, each with a
// session of its own (the "sessao" agreement, then a login), saving a new sheet at a time,
// the next on the previous one's reply, until told to stop. Every reply is kept with when its
// request went and when it came back, so a test or a benchmark can say what was acknowledged
// (a "7|" reply and its sheet number) and how long anything waited.
#include "ServidorReal.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

#include <memory>

class QTcpSocket;

class CargaDeGravacoes {
public:
    struct Resposta {
        int conexao = 0;
        qint64 enviadoMs = 0, respondidoMs = 0;   // since the load was made
        QByteArray texto;
        bool gravou() const { return texto.startsWith("7|"); }
        qint32 numero() const;                    // the sheet number of a "7|" reply
    };

    // `conexoes` connections, spread over `servidores` in turn.
    CargaDeGravacoes(const QList<const ServidorReal*>& servidores, int conexoes);
    ~CargaDeGravacoes();
    CargaDeGravacoes(const CargaDeGravacoes&) = delete;
    CargaDeGravacoes& operator=(const CargaDeGravacoes&) = delete;

    // Connects each, agrees a session and logs in (the servers' account); false with `erro()`.
    bool prepara();
    // From now on each connection saves, one sheet after another.
    void comeca();
    // No new saves; waits (running the event loop) for the replies under way.
    bool termina(int prazoMs = 15'000);
    // Runs the event loop for `ms` while the load goes on.
    void espera(int ms);

    qint64 agoraMs() const { return m_relogio.elapsed(); }
    const QList<Resposta>& respostas() const { return m_respostas; }
    // The sheet numbers acknowledged ("7|"); `repetidas` gets how many came more than once.
    QSet<qint32> reconhecidas(int* repetidas = nullptr) const;
    // Of `numeros`, those missing from `tabela` ("fichas", "historico") of `servidor`'s database
    // (all of them when it cannot be read).
    static QSet<qint32> faltamEm(ServidorReal& servidor, const QString& tabela, const QSet<qint32>& numeros);
    // The sessions' secrets, one per connection.
    const QStringList& segredos() const { return m_segredos; }
    const QString& erro() const { return m_erro; }

private:
    struct Linha;
    void envia(Linha& l);

    QList<const ServidorReal*> m_servidores;
    std::vector<std::unique_ptr<Linha>> m_linhas;
    QList<Resposta> m_respostas;
    QStringList m_segredos;
    QElapsedTimer m_relogio;
    bool m_parando = false;
    int m_seguinte = 0;
    QString m_erro;
};
