#pragma once
// What every fuzz target needs: the input as wire text, and a check that stops the run with
// a message when a property fails (the sanitizers catch the rest).
#include "protocol/Wire.h"

#include <QByteArrayView>
#include <QString>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

inline QString textoDoFio(const uint8_t* dados, size_t tamanho)
{
    return Wire::decodifica(QByteArrayView(reinterpret_cast<const char*>(dados), qsizetype(tamanho)));
}

#define EXIGE(condicao)                                                                           \
    do {                                                                                          \
        if (!(condicao)) {                                                                        \
            std::fprintf(stderr, "propriedade violada: %s (%s:%d)\n", #condicao, __FILE__, __LINE__); \
            std::abort();                                                                         \
        }                                                                                         \
    } while (0)
