#include "app/MemoriaLivre.h"
#include "app/modMain.h"

int main(int argc, char** argv)
{
    MemoriaLivre::preparaParaListasLongas();
    return Main(argc, argv);
}
