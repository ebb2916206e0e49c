#include "protocol/clsAgenda.h"
#include "protocol/FormatoBR.h"
#include "protocol/Pecas.h"

#include <array>

namespace {

using T = CampoDaFicha::Tipo;

#define TEXTO(campo) CampoDaFicha{#campo, T::Texto, &clsAgenda::campo}

constexpr std::array<CampoDaFicha, 65> camposNoFio = {{
    {"numeroFicha", T::Inteiro, nullptr},
    TEXTO(nome), TEXTO(endereco), TEXTO(bairro), TEXTO(cidade), TEXTO(cep), TEXTO(uf),
    TEXTO(telResidencial), TEXTO(telComercial),
    {"Data", T::Data, nullptr},
    {"Valor", T::Valor, nullptr},
    TEXTO(ocorrencia), TEXTO(sistema), TEXTO(registro), TEXTO(Ficha), TEXTO(IGREJA),
    TEXTO(civil), TEXTO(n), TEXTO(fone), TEXTO(uf2), TEXTO(nascido), TEXTO(niver),
    TEXTO(nascidade), {"filiacao", T::Texto, &clsAgenda::filiacao}, TEXTO(filiacaomae),
    TEXTO(conjugue), TEXTO(datacas), TEXTO(filhos), TEXTO(maiores), TEXTO(menores), TEXTO(grau),
    TEXTO(profissao), TEXTO(firma), TEXTO(endfirma), TEXTO(rg), TEXTO(cic), TEXTO(titulo),
    TEXTO(zona), TEXTO(secao), TEXTO(consagrado), TEXTO(ondefoi), TEXTO(datacons), TEXTO(qual),
    TEXTO(dia), TEXTO(mes), TEXTO(ano), TEXTO(batismo2), TEXTO(local1), TEXTO(local2),
    TEXTO(admitidopor), TEXTO(em), TEXTO(jafoimembro), TEXTO(obs), TEXTO(dataadmissao),
    TEXTO(validade), TEXTO(codcong), TEXTO(setor), TEXTO(setornome), TEXTO(cidadecong),
    TEXTO(ufcong), TEXTO(usuario), TEXTO(datausuario), TEXTO(datausuariohora),
    TEXTO(statuscod), TEXTO(status),
}};

#undef TEXTO

// A short initializer list would leave empty rows at the end: refuse to build instead.
constexpr bool tabelaCompleta()
{
    for (const CampoDaFicha& c : camposNoFio)
        if (c.nome == nullptr || (c.tipo == T::Texto) != (c.texto != nullptr))
            return false;
    return true;
}
static_assert(tabelaCompleta());
static_assert(camposNoFio.size() + 2 == clsAgenda::pecasNoFio);

// The text pieces of one parsed sheet share a single block instead of one allocation each:
// a search reply brings thousands of sheets of some fifty texts. The block is a copy of the
// record text with every "|" turned into a terminator, so each piece is an ordinary,
// terminated QString whose data sits inside the block. Qt's copy-on-write takes care of the
// rest: while several pieces share the block, changing one copies it out first; once a
// piece is the block's only user, it may grow in place over the dead pieces around it.
class BlocoDePecas {
public:
    explicit BlocoDePecas(QStringView texto) : m_bloco(texto.size(), Qt::Uninitialized), m_inicio(texto.utf16())
    {
        char16_t* destino = reinterpret_cast<char16_t*>(m_bloco.data());
        const char16_t* origem = texto.utf16();
        for (qsizetype i = 0, n = texto.size(); i < n; ++i)
            destino[i] = origem[i] == u'|' ? u'\0' : origem[i];
    }

    // `peca` must be a piece of the text the block was made from.
    QString texto(QStringView peca)
    {
        if (peca.isEmpty())
            return peca.toString();
        QString::DataPointer& d = m_bloco.data_ptr();
        d.d_ptr()->ref();   // the new string owns one reference to the block
        return QString(QString::DataPointer(d.d_ptr(), d.data() + (peca.utf16() - m_inicio), peca.size()));
    }

private:
    QString m_bloco;
    const char16_t* m_inicio;
};

} // namespace

std::span<const CampoDaFicha> clsAgenda::campos()
{
    return camposNoFio;
}

qsizetype clsAgenda::tamanhoNoFio() const
{
    // Number, date and amount at their longest, one separator per piece.
    qsizetype n = 11 + 10 + 32 + pecasNoFio + 11 + departamento.dsDepartamento.size();
    for (const CampoDaFicha& campo : camposNoFio)
        if (campo.tipo == T::Texto)
            n += (this->*campo.texto).size();
    return n;
}

QString clsAgenda::toPipeString() const
{
    QString texto;
    texto.reserve(tamanhoNoFio());
    escreveEm(texto);
    return texto;
}

void clsAgenda::escreveEm(QString& texto) const
{
    for (const CampoDaFicha& campo : camposNoFio) {
        switch (campo.tipo) {
        case T::Inteiro:
            FormatoBR::escreveInteiro(texto, numeroFicha);
            break;
        case T::Data:
            FormatoBR::escreveData(texto, Data);
            break;
        case T::Valor:
            FormatoBR::escreveValor(texto, Valor);
            break;
        case T::Texto:
            texto += this->*campo.texto;
            break;
        }
        texto += u'|';
    }
    departamento.escreveEm(texto);
}

void clsAgenda::fromPipeString(QStringView pipeString)
{
    static const QString origem = QString::fromLatin1(nomeDaClasse);
    Pecas pecas(pipeString, origem);
    BlocoDePecas bloco(pipeString);
    for (const CampoDaFicha& campo : camposNoFio) {
        const QStringView peca = pecas.proxima(campo.nome);
        switch (campo.tipo) {
        case T::Inteiro:
            numeroFicha = FormatoBR::converteInteiro(peca, origem);
            break;
        case T::Data:
            Data = FormatoBR::converteData(peca, origem);
            break;
        case T::Valor:
            Valor = FormatoBR::converteValor(peca, origem);
            break;
        case T::Texto:
            this->*campo.texto = bloco.texto(peca);
            break;
        }
    }
    departamento.fromPipeString(pecas.resto());
}
