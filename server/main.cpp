#include "server/admin/Comandos.h"

#include <cstdio>
#include <cstring>

int main(int argc, char** argv)
{
    // Answered before anything else starts, so it works wherever the program can run.
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("zelto-server %s\n", ZELTO_VERSAO);
        return 0;
    }
    return executaZeltoServer(argc, argv);
}
