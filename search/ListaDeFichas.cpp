#include "search/ListaDeFichas.h"
#include "protocol/ErroDeExecucao.h"
#include "protocol/FormatoBR.h"
#include "protocol/Wire.h"
#include "protocol/modCommands.h"

#include <array>
#include <bit>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace {

const QString& origem()
{
    static const QString o = QString::fromLatin1(clsAgenda::nomeDaClasse);
    return o;
}

const QString& origemDepartamento()
{
    static const QString o = QStringLiteral("clsDepartamento");
    return o;
}

// Piece k of a sheet (k counted from 0), or an empty view with ok=false when it has fewer.
QStringView peca(QStringView ficha, int k, bool& ok)
{
    qsizetype inicio = 0;
    for (int i = 0; i < k; ++i) {
        const qsizetype barra = ficha.indexOf(u'|', inicio);
        if (barra < 0) {
            ok = false;
            return {};
        }
        inicio = barra + 1;
    }
    const qsizetype fim = ficha.indexOf(u'|', inicio);
    ok = true;
    return fim < 0 ? ficha.mid(inicio) : ficha.mid(inicio, fim - inicio);
}

// A short piece decoded into a buffer of the caller's, or into `reserva` when longer.
QStringView decodificado(QByteArrayView bytes, std::array<char16_t, 32>& buffer, QString& reserva)
{
    if (bytes.size() <= qsizetype(buffer.size())) {
        Wire::decodificaEm(bytes, buffer.data());
        return QStringView(buffer.data(), bytes.size());
    }
    reserva = Wire::decodifica(bytes);
    return reserva;
}

constexpr int pecaNumero = 0;
constexpr int pecaNome = 1;
constexpr int pecaData = 9;
constexpr int pecaDepartamento = 65;   // its idDepartamento, first of the department's two

} // namespace

ListaDeFichas::ListaDeFichas(const QString& resposta) : ListaDeFichas(Wire::codifica(resposta)) {}

ListaDeFichas::ListaDeFichas(QByteArray resposta)
{
    conclui(std::move(resposta));
}

bool ListaDeFichas::acompanha(QByteArrayView ateAgora)
{
    if (m_quebrada)
        return false;
    // Not copied: the caller's bytes only grow at their end while the reply comes.
    m_bytes = QByteArray::fromRawData(ateAgora.data(), ateAgora.size());
    if (m_proximo < 0) {
        // The code was read by the request cycle; only a list (13) has sheets to show.
        const qsizetype barraDoCodigo = m_bytes.indexOf('|');
        if (barraDoCodigo < 0)
            return true;
        if (QByteArrayView(m_bytes).first(barraDoCodigo) != QByteArrayView("13")) {
            m_quebrada = true;
            return false;
        }
        m_proximo = barraDoCodigo + 1;
    }
    try {
        indexa(false);
    } catch (const ErroDeExecucao&) {
        m_quebrada = true;
        return false;
    }
    return true;
}

void ListaDeFichas::conclui(QByteArray resposta)
{
    m_bytes = std::move(resposta);
    if (m_quebrada || m_proximo < 0 || m_proximo > m_bytes.size()) {
        // Read from the start: a broken sheet gives the parser's own error.
        m_inicios.clear();
        m_fins.clear();
        m_quebrada = false;
        // The code was read by the request cycle; the sheets start after the first "|".
        const qsizetype barraDoCodigo = m_bytes.indexOf('|');
        m_proximo = barraDoCodigo < 0 ? 0 : barraDoCodigo + 1;
    }
    indexa(true);
}

void ListaDeFichas::indexa(bool inteira)
{
    const char* const dados = m_bytes.constData();
    const qsizetype total = m_bytes.size();
    const qsizetype base = m_proximo;
    // Nothing after the code is an empty list; nothing after a "@@@" is an empty sheet, which
    // the loop below refuses once the reply is whole.
    if (base >= total && (!inteira || m_inicios.isEmpty()))
        return;
    // A first guess of how many sheets there are, from the size of a typical one, saves the
    // index lists most of their regrowths without a counting pass.
    if (inteira) {
        const qsizetype estimativa = m_inicios.size() + (total - base) / 400 + 1;
        m_inicios.reserve(estimativa);
        m_fins.reserve(estimativa);
    }

    // Each sheet ends at the first "@@@" after its start (the rare "@" found by memchr); the
    // bars of its 67 pieces are then found sixteen bytes at a time where the processor allows.
    std::array<char16_t, 32> buffer;
    QString reserva;
    constexpr int barrasPorFicha = clsAgenda::pecasNoFio - 1;
    std::array<qsizetype, barrasPorFicha + 16> barras;   // room for a block's overshoot
    qsizetype inicio = base;
    for (;;) {
        qsizetype separador = -1;
        for (qsizetype de = inicio; de + 3 <= total;) {
            const void* achado = std::memchr(dados + de, '@', size_t(total - de));
            if (!achado)
                break;
            const qsizetype p = static_cast<const char*>(achado) - dados;
            if (p + 3 > total)
                break;
            if (dados[p + 1] == '@' && dados[p + 2] == '@') {
                separador = p;
                break;
            }
            de = p + 1;
        }
        // While the reply arrives, the last sheet may still be growing.
        if (separador < 0 && !inteira)
            break;
        const qsizetype fim = separador < 0 ? total : separador;

        int nBarras = 0;
        qsizetype i = inicio;
#ifdef __SSE2__
        const __m128i barra = _mm_set1_epi8('|');
        for (; i + 16 <= fim && nBarras < barrasPorFicha; i += 16) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(dados + i));
            unsigned mascara = unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(v, barra)));
            while (mascara != 0) {
                barras[size_t(nBarras++)] = i + std::countr_zero(mascara);
                mascara &= mascara - 1;
            }
        }
#endif
        for (; i < fim && nBarras < barrasPorFicha; ++i)
            if (dados[i] == '|')
                barras[size_t(nBarras++)] = i;

        if (fim == inicio || nBarras < barrasPorFicha) {
            // Too few pieces: the parser says which one is missing, as a full read would.
            clsAgenda().fromPipeString(Wire::decodifica(QByteArrayView(dados + inicio, fim - inicio)));
        } else {
            const auto pecaK = [&](int k) {
                const qsizetype de = k == 0 ? inicio : barras[size_t(k - 1)] + 1;
                return decodificado(QByteArrayView(dados + de, barras[size_t(k)] - de), buffer, reserva);
            };
            FormatoBR::converteInteiro(pecaK(pecaNumero), origem());
            FormatoBR::converteData(pecaK(pecaData), origem());
            FormatoBR::converteInteiro(pecaK(pecaDepartamento), origemDepartamento());
        }
        m_inicios.append(inicio);
        m_fins.append(fim);
        if (separador < 0) {
            m_proximo = total;
            break;
        }
        inicio = separador + 3;
        m_proximo = inicio;
    }
}

qsizetype ListaDeFichas::bytesGuardados() const
{
    return m_bytes.capacity() + (m_inicios.capacity() + m_fins.capacity()) * qsizetype(sizeof(qsizetype));
}

QString ListaDeFichas::ficha(qsizetype i) const
{
    return Wire::decodifica(QByteArrayView(m_bytes).sliced(m_inicios.at(i), m_fins.at(i) - m_inicios.at(i)));
}

clsAgenda ListaDeFichas::at(qsizetype i) const
{
    clsAgenda membro;
    membro.fromPipeString(ficha(i));
    return membro;
}

QString ListaDeFichas::linha(qsizetype i) const
{
    const QString texto = ficha(i);
    const QStringView f = texto;
    bool ok = false;
    const QStringView numero = peca(f, pecaNumero, ok);
    const QStringView nome = peca(f, pecaNome, ok);
    const QStringView data = peca(f, pecaData, ok);
    QString linha;
    linha.reserve(numero.size() + nome.size() + 12);
    linha += QString::number(FormatoBR::converteInteiro(numero, origem()));
    linha += u'\t';
    linha += FormatoBR::formataData(FormatoBR::converteData(data, origem()));
    linha += u'\t';
    linha += nome;
    return linha;
}
