// Member and congregation lists: "@@@" between records, a lone "@" inside a field. A list
// either parses whole or raises the one error type; the count of records is the count of
// separators plus one, and a parsed list writes back to a text that parses to the same records.
// The search list's one-pass index over the reply's bytes (ListaDeFichas) agrees with the full
// parse: it refuses what the full parse refuses among the pieces it checks, and a list the full
// parse takes gives the same members and lines, also when it is read as its reply arrives.
#include "Comum.h"
#include "protocol/ErroDeExecucao.h"
#include "protocol/clsAgenda.h"
#include "protocol/FormatoBR.h"
#include "protocol/Wire.h"
#include "protocol/clsAgendaCongregacao.h"
#include "search/ListaDeFichas.h"

#include <optional>

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

void indice(QStringView texto)
{
    QList<clsAgenda> lidos;
    bool lidosOk = true;
    try {
        lidos = clsAgenda::collectionFromPipeString(texto);
    } catch (const ErroDeExecucao&) {
        lidosOk = false;
    }
    const QByteArray resposta = "13|" + Wire::codifica(texto);
    std::optional<ListaDeFichas> lista;
    try {
        lista.emplace(resposta);
    } catch (const ErroDeExecucao&) {
        EXIGE(!lidosOk);   // what the index refuses, the full parse refuses too
        return;
    }
    if (!lidosOk)
        return;
    EXIGE(lista->size() == lidos.size());
    // Read as it arrives, cut where the input's first byte says, the list ends the same.
    const qsizetype corte = 1 + qsizetype(static_cast<unsigned char>(resposta.at(resposta.size() / 2))) % 97;
    ListaDeFichas chegando;
    QByteArray chegou;
    for (qsizetype i = 0; i < resposta.size(); i += corte) {
        chegou += resposta.mid(i, corte);
        EXIGE(chegando.acompanha(chegou));
        EXIGE(chegando.size() <= lista->size());
    }
    chegando.conclui(chegou);
    EXIGE(chegando.size() == lista->size());
    for (qsizetype i = 0; i < lidos.size(); ++i) {
        EXIGE(lista->at(i) == lidos[i]);
        EXIGE(lista->linha(i) == QString::number(lidos[i].numeroFicha) + u'\t' + FormatoBR::formataData(lidos[i].Data)
                                     + u'\t' + lidos[i].nome);
    }
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
    indice(texto);
    try {
        clsAgenda::collectionFromPipeStringWithCommand(texto);
    } catch (const ErroDeExecucao&) {
    }
    return 0;
}
