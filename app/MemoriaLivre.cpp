#include "app/MemoriaLivre.h"

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace MemoriaLivre {

namespace {
bool ativa = true;
// Below this, what a list leaves behind is noise beside the program's own memory.
constexpr qint64 minimoQueVale = qint64(4) << 20;
} // namespace

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
