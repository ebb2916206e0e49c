#pragma once
// The only piece that talks to the server about a desk's copy and journal, over the
// program's connection and its request cycle (one request at a time), once a connected login
// agreed "sincronia" (protocol/Sincronia.h):
//   - atualizaCopia: 17|N, N the copy's number (0 the first time); the reply is read as it
//     comes, item by item, into one transaction that takes the new number at its end: a cut
//     leaves the copy as it was, for the next time;
//   - reenviaDiario: the journal in order, in groups (21, up to 50 changes, one round trip); an
//     entry leaves only once its 20 came back (applied or conflict); a cut leaves the rest, and
//     the server's ids make sending an entry again harmless;
//   - the reads journalled while disconnected go as searches of those sheets, so the history
//     still shows who looked at which.
#include <QString>

class CopiaSelada;
class QTimer;

class Sincronizador {
public:
    enum class Resultado { Completo, Interrompido, Falhou };

    Sincronizador(CopiaSelada& copia, QTimer* timerTimeOut) : m_copia(copia), m_timer(timerTimeOut) {}

    Resultado atualizaCopia();
    Resultado reenviaDiario();
    Resultado enviaLeituras();
    // The three, in that order, stopping at the first that does not complete.
    Resultado sincroniza();

    // What the last run did.
    qsizetype itensLidos() const { return m_itens; }
    qsizetype aplicadas() const { return m_aplicadas; }
    qsizetype conflitos() const { return m_conflitos; }
    qint64 bytesLidos() const { return m_bytes; }

private:
    CopiaSelada& m_copia;
    QTimer* m_timer;
    qsizetype m_itens = 0;
    qsizetype m_aplicadas = 0;
    qsizetype m_conflitos = 0;
    qint64 m_bytes = 0;
};
