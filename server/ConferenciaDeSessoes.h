// What a connection's negotiation needs the database for: the session it resumes, the sessions it ends.
#pragma once
#include <QList>
#include <QString>
#include <QStringList>

class Banco;
class Sessoes;

// Taken from the capabilities a client asks for, in their order; `confere` asks the sessions
// (on a worker, with its Banco, when they are in the database) and keeps the answers for
// the loop to build its reply with.
struct ConferenciaDeSessoes {
    struct Passo {
        bool retomar = false;   // a session to resume; else one to end
        QString chave;
        bool ok = false;        // live / ended
        bool erro = false;      // the database could not tell
    };
    QList<Passo> passos;
    QString erroDoBanco;

    // `combinou`: the connection agreed on a session already (a later one is not resumed).
    static ConferenciaDeSessoes doPedido(const QStringList& pedidas, bool combinou);
    void confere(Sessoes& sessoes, Banco* banco, qint64 agoraMs);
    // The answer for the session `chave` to resume / to end.
    const Passo* retomada(const QString& chave) const { return acha(true, chave); }
    const Passo* encerramento(const QString& chave) const { return acha(false, chave); }

private:
    const Passo* acha(bool retomar, const QString& chave) const;
};
