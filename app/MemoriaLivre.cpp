#include "app/MemoriaLivre.h"

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace MemoriaLivre {

namespace {
bool ativa = true;
// Below this, what a list leaves behind is little beside the program's own memory, and the
// next list would pay for the pages given back with page faults (a 10,000-sheet list is
// 5.5 MB, a 100,000-sheet one 55 MB).
constexpr qint64 minimoQueVale = qint64(32) << 20;
} // namespace

void preparaParaListasLongas()
{
#if defined(__GLIBC__)
    mallopt(M_MMAP_THRESHOLD, 64 << 20);
    mallopt(M_TRIM_THRESHOLD, 128 << 20);
#endif
}

void devolve(qint64 bytesLiberados)
{
    if (!ativa || bytesLiberados < minimoQueVale)
        return;
#if defined(__GLIBC__)
    malloc_trim(0);
#endif
}

void defineAtiva(bool sim)
{
    ativa = sim;
}

} // namespace MemoriaLivre
