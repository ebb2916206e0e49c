#pragma once
#include "app/FilaDeImpressao.h"

#include <QString>
#include <optional>

// Following a print job through the Windows print spooler, as FilaDeImpressao follows one
// through CUPS: the printer's status (PRINTER_INFO_2) and the job's (JOB_INFO_1), read a few
// times a second for a few seconds, give the same outcomes and the same boxes.
namespace FilaDoSpooler {

// One look at the spooler: the printer's Status and Attributes, and the job's Status and the
// driver's own words on it (pStatus); `trabalhoNaFila` false once the job left the queue.
struct Leitura {
    bool trabalhoNaFila = false;
    unsigned long statusDoTrabalho = 0;
    QString textoDoTrabalho;
    unsigned long statusDaImpressora = 0;
    unsigned long atributosDaImpressora = 0;
};

// What one look says: nothing yet (the job is on its way), or where the job ends.
std::optional<FilaDeImpressao::Situacao> interpreta(const Leitura& l);

// The newest job of `impressora` whose document is `documento` (0 when there is none: it
// already left the queue, or never reached it).
unsigned long trabalhoPeloNome(const QString& impressora, const QString& documento);

// Follows job `numero` of `impressora` until interpreta() gives an outcome or the time is up
// (then it counts as going to paper). Window events keep being painted meanwhile.
FilaDeImpressao::Situacao acompanha(const QString& impressora, unsigned long numero);

} // namespace FilaDoSpooler
