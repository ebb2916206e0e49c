#pragma once
#include <QByteArrayView>

// Finds a request in the bytes one connection has sent so far. The wire has no terminator:
// a request is told by its code and the fixed number of pieces that code carries, and the
// client's keep-alive "1" may arrive glued in front of the next request ("16|..." is "1"
// and then "6|..."). A leading "1" is therefore only taken as a keep-alive when what is
// left still begins with a request code ("12|" is a search, "112|" a keep-alive and a search).
namespace Enquadramento {

enum class Situacao {
    SoKeepAlive,   // nothing, or only keep-alives: nothing to answer
    Incompleto,    // a request has begun but not all of its pieces have arrived
    Completo,      // a request with all its pieces; the last one may still be growing
    Invalido,      // cannot be a request (garbage, a reply code, a code without pieces)
};

struct Analise {
    Situacao situacao = Situacao::SoKeepAlive;
    int codigo = -1;          // the request code when Incompleto or Completo (-1 if unknown yet)
    qsizetype inicio = 0;     // where the request begins, after the keep-alives in front of it
};

bool ehCodigoDePedido(int codigo);

Analise analisa(QByteArrayView dados);

} // namespace Enquadramento
