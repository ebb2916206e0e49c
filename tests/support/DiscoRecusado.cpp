// A disk that takes no writes, for tests: preloaded (LD_PRELOAD) into the real server, it fails
// every write to a SQLite file (*.db, *.db-wal, *.db-journal) with ENOSPC, as a full disk does,
// while the file named by $ZELTO_TESTE_DISCO_CHEIO exists. Reads and every other file (the
// log) are left alone, so the test turns the "full disk" on and off under a running server.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <initializer_list>
#include <sys/types.h>
#include <unistd.h>

namespace {

bool recusa(int fd)
{
    const char* marca = std::getenv("ZELTO_TESTE_DISCO_CHEIO");
    if (!marca || ::access(marca, F_OK) != 0)
        return false;
    char elo[64];
    char caminho[4096];
    std::snprintf(elo, sizeof elo, "/proc/self/fd/%d", fd);
    const ssize_t n = ::readlink(elo, caminho, sizeof caminho - 1);
    if (n <= 0)
        return false;
    caminho[n] = '\0';
    for (const char* fim : {".db", ".db-wal", ".db-journal"}) {
        const size_t t = std::strlen(fim);
        if (size_t(n) >= t && std::strcmp(caminho + n - t, fim) == 0) {
            errno = ENOSPC;
            return true;
        }
    }
    return false;
}

template <class F>
F real(const char* nome)
{
    return reinterpret_cast<F>(::dlsym(RTLD_NEXT, nome));
}

} // namespace

extern "C" {

ssize_t write(int fd, const void* dados, size_t n)
{
    static const auto original = real<ssize_t (*)(int, const void*, size_t)>("write");
    return recusa(fd) ? -1 : original(fd, dados, n);
}

ssize_t pwrite(int fd, const void* dados, size_t n, off_t onde)
{
    static const auto original = real<ssize_t (*)(int, const void*, size_t, off_t)>("pwrite");
    return recusa(fd) ? -1 : original(fd, dados, n, onde);
}

ssize_t pwrite64(int fd, const void* dados, size_t n, off64_t onde)
{
    static const auto original = real<ssize_t (*)(int, const void*, size_t, off64_t)>("pwrite64");
    return recusa(fd) ? -1 : original(fd, dados, n, onde);
}

} // extern "C"
