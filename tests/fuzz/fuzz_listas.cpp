// Member and congregation lists: "@@@" between records, a lone "@" inside a field. A list
// either parses whole or raises the one error type; the count of records is the count of
// separators plus one, and a parsed list writes back to a text that parses to the same records.
#include "Comum.h"
#include "protocol/ErroDeExecucao.h"
#include "protocol/clsAgenda.h"
#include "protocol/clsAgendaCongregacao.h"

namespace {

template <class Registro>
void lista(QStringView texto)
{
    QList<Registro> lidos;
    try {
        lidos = Registro::collectionFromPipeString(texto);
    } catch (const ErroDeExecucao&) {
        return;
    }
    qsizetype separadores = 0;
    for (qsizetype p = Registro::proximoSeparador(texto, 0); p >= 0; p = Registro::proximoSeparador(texto, p + 3))
        ++separadores;
    EXIGE(lidos.size() == (texto.isEmpty() ? 0 : separadores + 1));
    // A record whose text ends in "@" cannot be told from the separator after it (the server
    // refuses such texts); what remains must read back exactly.
    for (const Registro& r : lidos)
        if (r.toPipeString().endsWith(u'@'))
            return;
    const QString escrito = Registro::collectionToPipeString(lidos);
    QList<Registro> de_novo;
    try {
        de_novo = Registro::collectionFromPipeString(escrito);
    } catch (const ErroDeExecucao& e) {
        std::fprintf(stderr, "a lista escrita não foi relida: %s\n", qPrintable(e.descricao()));
        std::abort();
    }
    EXIGE(de_novo.size() == lidos.size());
    EXIGE(Registro::collectionToPipeString(de_novo) == escrito);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* dados, size_t tamanho)
{
    if (tamanho < 1)
        return 0;
    const QString texto = textoDoFio(dados + 1, tamanho - 1);
    if (dados[0] & 1)
        lista<clsAgendaCongregacao>(texto);
    else
        lista<clsAgenda>(texto);
    try {
        clsAgenda::collectionFromPipeStringWithCommand(texto);
    } catch (const ErroDeExecucao&) {
    }
    return 0;
}
