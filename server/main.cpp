#include "server/Comandos.h"

int main(int argc, char** argv)
{
    return executaZeltoServer(argc, argv);
}
