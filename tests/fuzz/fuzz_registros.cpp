// Every record parser on arbitrary wire text: it either fills the record or raises the one
// error type; what it accepted writes back to a text that parses to the same record.
#include "Comum.h"
#include "protocol/ErroDeExecucao.h"
#include "protocol/clsAgenda.h"
#include "protocol/clsAgendaCongregacao.h"
#include "protocol/clsDepartamento.h"
#include "protocol/clsFiltroBusca.h"
#include "protocol/clsUsuario.h"

#include <concepts>

namespace {

template <class Registro>
void idaEVolta(QStringView texto)
{
    Registro r;
    try {
        r.fromPipeString(texto);
    } catch (const ErroDeExecucao&) {
        return;
    }
    const QString escrito = r.toPipeString();
    Registro de_novo;
    try {
        de_novo.fromPipeString(escrito);
    } catch (const ErroDeExecucao& e) {
        std::fprintf(stderr, "o texto escrito não foi relido: %s\n", qPrintable(e.descricao()));
        std::abort();
    }
    if constexpr (std::equality_comparable<Registro>)
        EXIGE(de_novo == r);
    EXIGE(de_novo.toPipeString() == escrito);
}

template <class Registro>
void comCodigo(QStringView texto)
{
    Registro r;
    try {
        r.fromPipeStringWithCommand(texto);
    } catch (const ErroDeExecucao&) {
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* dados, size_t tamanho)
{
    if (tamanho < 1)
        return 0;
    // The first byte picks the record, the rest is the text.
    const QString texto = textoDoFio(dados + 1, tamanho - 1);
    switch (dados[0] % 7) {
    case 0: idaEVolta<clsAgenda>(texto); break;
    case 1: idaEVolta<clsAgendaCongregacao>(texto); break;
    case 2: idaEVolta<clsDepartamento>(texto); break;
    case 3: idaEVolta<clsUsuario>(texto); break;
    case 4: idaEVolta<clsFiltroBusca>(texto); break;
    case 5: comCodigo<clsAgenda>(texto); break;
    default: comCodigo<clsUsuario>(texto); break;
    }
    return 0;
}
