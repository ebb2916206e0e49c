#include "protocol/clsAgenda.h"
#include "protocol/FormatoBR.h"
#include "protocol/Pecas.h"

#include <QVarLengthArray>

#include <array>
#include <bit>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

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
// The same pass notes where every "|" is, so the pieces are numbered as a split would number
// them without searching the text again.
class BlocoDePecas {
public:
    explicit BlocoDePecas(QStringView texto) : m_texto(texto), m_bloco(texto.size(), Qt::Uninitialized)
    {
        char16_t* destino = reinterpret_cast<char16_t*>(m_bloco.data());
        const char16_t* origem = texto.utf16();
        const qsizetype n = texto.size();
        qsizetype i = 0;
#ifdef __SSE2__
        const __m128i barra = _mm_set1_epi16(short(u'|'));
        for (; i + 8 <= n; i += 8) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(origem + i));
            const __m128i iguais = _mm_cmpeq_epi16(v, barra);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(destino + i), _mm_andnot_si128(iguais, v));
            // Two mask bits per character.
            for (unsigned m = unsigned(_mm_movemask_epi8(iguais)); m != 0; m &= m - 1, m &= m - 1)
                m_barras.append(i + std::countr_zero(m) / 2);
        }
#endif
        for (; i < n; ++i) {
            if (origem[i] == u'|') {
                destino[i] = u'\0';
                m_barras.append(i);
            } else {
                destino[i] = origem[i];
            }
        }
    }

    // How many pieces a split at every "|" gives: none at all for the empty text.
    qsizetype pecas() const { return m_texto.isEmpty() ? 0 : m_barras.size() + 1; }

    // Piece `k` (k < pecas()), as a view of the text.
    QStringView peca(qsizetype k) const
    {
        const qsizetype inicio = k == 0 ? 0 : m_barras[k - 1] + 1;
        const qsizetype fim = k < m_barras.size() ? m_barras[k] : m_texto.size();
        return m_texto.mid(inicio, fim - inicio);
    }

    // Everything after piece `k`, "|" and all; empty when `k` is the last piece.
    QStringView depoisDe(qsizetype k) const
    {
        return k < m_barras.size() ? m_texto.mid(m_barras[k] + 1) : QStringView();
    }

    // The block is ours alone until the parse ends, so the references the pieces own are
    // counted here and added to the block in one store, instead of one atomic step each.
    ~BlocoDePecas()
    {
        if (m_entregues == 0)
            return;
        auto* bloco = m_bloco.data_ptr().d_ptr();
        bloco->ref_.storeRelaxed(bloco->ref_.loadRelaxed() + m_entregues);
    }
    BlocoDePecas(const BlocoDePecas&) = delete;
    BlocoDePecas& operator=(const BlocoDePecas&) = delete;

    // `peca` must be a piece of the text the block was made from, and each piece is taken at
    // most once (see the destructor).
    QString texto(QStringView peca)
    {
        if (peca.isEmpty())
            return peca.toString();
        QString::DataPointer& d = m_bloco.data_ptr();
        ++m_entregues;   // the new string owns one reference to the block
        return QString(QString::DataPointer(d.d_ptr(), d.data() + (peca.utf16() - m_texto.utf16()), peca.size()));
    }

private:
    QStringView m_texto;
    QString m_bloco;
    QVarLengthArray<qsizetype, 80> m_barras;
    int m_entregues = 0;
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
    BlocoDePecas bloco(pipeString);
    qsizetype k = 0;
    for (const CampoDaFicha& campo : camposNoFio) {
        if (k >= bloco.pecas())
            throw Pecas::faltaParte(origem, int(k), campo.nome);
        const QStringView peca = bloco.peca(k++);
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
    departamento.fromPipeString(bloco.depoisDe(k - 1));
}
