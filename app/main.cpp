#include "app/modMain.h"

#if defined(__GLIBC__)
#include <malloc.h>
#endif

int main(int argc, char** argv)
{
#if defined(__GLIBC__)
    // A search reply of thousands of sheets is several megabytes of text, built and parsed
    // piece by piece. Keeping such blocks in the heap instead of mapping fresh pages for each
    // one avoids page faults that otherwise double the time of a large search.
    mallopt(M_MMAP_THRESHOLD, 64 << 20);
    mallopt(M_TRIM_THRESHOLD, 128 << 20);
#endif
    return Main(argc, argv);
}
