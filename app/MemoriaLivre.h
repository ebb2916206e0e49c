#pragma once
// Memory given back to the system after a long list. The C library keeps what a program frees
// for its next allocations; after a list of 100,000 sheets that is tens of megabytes (the
// reply's growth, the socket's reads) the process would hold until it ends. Where the
// library can hand free pages back (glibc), they go back; elsewhere this does nothing.
#include <QtGlobal>

namespace MemoriaLivre {

// Set once, as the program starts: a search reply of thousands of sheets is several megabytes,
// built and indexed piece by piece. Keeping such blocks in the heap instead of mapping fresh
// pages for each one avoids page faults that otherwise double the time of a large search; the
// heap is then trimmed by devolve(), once a list is on screen, not after every free.
void preparaParaListasLongas();

// Gives back the free memory, when at least `bytesLiberados` were let go since the last time
// (a short list is not worth the walk through the heap).
void devolve(qint64 bytesLiberados);

// Whether it does (the default). Benchmarks compare both.
void defineAtiva(bool sim);

} // namespace MemoriaLivre
