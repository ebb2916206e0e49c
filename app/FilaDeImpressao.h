#pragma once
#include <QString>

#include <functional>
#include <optional>

// What the print system does with a job it accepted: whether it goes to paper, stays in its
// queue (a paused or stopped printer, a held job) or is given up. Accepting a job says
// nothing of that; a paused queue takes every job and prints none.
namespace FilaDeImpressao {

enum class Destino {
    Papel,     // printed, or printing on a working queue
    Espera,    // accepted and kept in the queue, not printing
    Perdido,   // canceled or aborted by the print system
};

struct Situacao {
    Destino destino = Destino::Papel;
    bool filaParada = false;   // Espera because the queue is paused or stopped (else the job is held)
    QString motivo;            // the print system's own words on the queue, when it gave any
};

// Follows job `numero` of the CUPS queue at `enderecoDaFila` (its IPP address) for a few seconds,
// until it is printed or the print system tells why not; a job still on its way when the time
// is up counts as going to paper. Window events keep being painted meanwhile. (On Windows the
// spooler's jobs are followed by FilaDoSpooler.)
Situacao acompanha(const QString& enderecoDaFila, int numero);

// The follow-up loop both print systems share: `olha` is asked a few times a second (windows
// are painted meanwhile, no clicks or keys taken, a wait cursor shown) until it gives where the
// job ends or five seconds have passed; then the job counts as going to paper.
Situacao acompanhaAteOPrazo(const std::function<std::optional<Situacao>()>& olha);

// The box that tells the operator a job of `titulo` waits in queue `fila`.
QString tituloDaEspera(const Situacao& s);
QString textoDaEspera(const Situacao& s, const QString& fila, const QString& titulo);

} // namespace FilaDeImpressao
