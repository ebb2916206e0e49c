#include "connection/MontadorDeResposta.h"
#include "protocol/Wire.h"
#include "protocol/modCommands.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace {

// The text before the first "|" (or the whole text) as a code; false when it is not a number.
bool codigoDe(QByteArrayView texto, int& codigo)
{
    if (texto.isEmpty() || texto.size() > 9)
        return false;
    qsizetype i = 0;
    if (texto[0] == '-')
        i = 1;
    if (i == texto.size())
        return false;
    int valor = 0;
    for (; i < texto.size(); ++i) {
        if (texto[i] < '0' || texto[i] > '9')
            return false;
        valor = valor * 10 + (texto[i] - '0');
    }
    codigo = texto[0] == '-' ? -valor : valor;
    return true;
}

} // namespace

void MontadorDeResposta::reinicia()
{
    m_bytes.clear();
    m_barras = 0;
    m_ultimaBarra = -1;
    m_codigoLido = false;
    m_codigoValido = false;
    m_codigo = 0;
}

void MontadorDeResposta::defineDepartamento(qint32 id, const QString& descricao)
{
    // A description with "|" in it is not the last piece of a sheet: nothing to compare.
    m_conheceDepartamento = !descricao.contains(u'|');
    m_idDoDepartamento = QByteArray::number(id);
    m_fimDaFicha = Wire::codifica(descricao) + "@@@";
}

void MontadorDeResposta::acrescenta(QByteArrayView pedaco)
{
    if (pedaco.isEmpty())
        return;
    const qsizetype inicio = m_bytes.size();
    m_bytes.append(pedaco);
    // "|" is one byte on the wire: counted sixteen bytes at a time where the processor allows.
    const auto* dados = reinterpret_cast<const unsigned char*>(m_bytes.constData());
    const qsizetype n = m_bytes.size();
    qsizetype i = inicio;
    qsizetype achadas = 0;
#ifdef __SSE2__
    const __m128i barra = _mm_set1_epi8('|');
    const __m128i um = _mm_set1_epi8(1);
    const __m128i zero = _mm_setzero_si128();
    __m128i soma = zero;   // two 64-bit counts
    for (; i + 16 <= n; i += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(dados + i));
        soma = _mm_add_epi64(soma, _mm_sad_epu8(_mm_and_si128(_mm_cmpeq_epi8(v, barra), um), zero));
    }
    achadas += _mm_cvtsi128_si64(soma) + _mm_cvtsi128_si64(_mm_unpackhi_epi64(soma, soma));
#endif
    for (; i < n; ++i)
        achadas += dados[i] == '|';
    if (achadas > 0) {
        m_barras += achadas;
#if defined(__GLIBC__)
        const void* ultima = memrchr(dados + inicio, '|', size_t(n - inicio));
        m_ultimaBarra = static_cast<const unsigned char*>(ultima) - dados;
#else
        // memrchr is glibc's own (MinGW has none).
        const std::string_view trecho(reinterpret_cast<const char*>(dados + inicio), size_t(n - inicio));
        m_ultimaBarra = inicio + qsizetype(trecho.rfind('|'));
#endif
    }
    if (!m_codigoLido && m_barras > 0)
        leCodigo();
}

void MontadorDeResposta::acrescenta(QStringView pedaco)
{
    acrescenta(QByteArrayView(Wire::codifica(pedaco)));
}

QString MontadorDeResposta::texto() const
{
    return Wire::decodifica(m_bytes);
}

QByteArray MontadorDeResposta::tomaBytes()
{
    QByteArray bytes = std::move(m_bytes);
    reinicia();
    // A long reply is kept while it is shown: the room its growth left over goes back.
    if (bytes.capacity() - bytes.size() > (1 << 20))
        bytes.squeeze();
    return bytes;
}

void MontadorDeResposta::leCodigo()
{
    m_codigoLido = true;
    m_codigoValido = codigoDe(QByteArrayView(m_bytes).first(m_bytes.indexOf('|')), m_codigo);
}

bool MontadorDeResposta::formaCompleta() const
{
    if (m_bytes.isEmpty())
        return false;
    if (m_barras == 0) {
        // A code alone: whole when the code carries nothing (the text may yet grow, e.g. "1"
        // on its way to "13|..."; the quiet interval settles that). A text that is no number
        // at all is as whole as it will get: reading it reports the error.
        int codigo = 0;
        if (!codigoDe(m_bytes, codigo))
            return true;
        if (Codigo::pecasDaMensagem(codigo) == 1)
            return true;
        return inesperado(codigo) && !podeSerInicioDeEsperado(m_bytes);
    }
    if (!m_codigoValido || inesperado(m_codigo))
        return true;
    const int pecas = Codigo::pecasDaMensagem(m_codigo);
    if (pecas >= 1)
        return m_barras + 1 >= pecas;
    // A list of sheets: "code|" and then sheets of a fixed number of pieces joined by "@@@".
    // The text is on a sheet boundary when the pieces after the code fill whole sheets
    // (the last piece of one sheet and the first of the next share one "|" piece) and no
    // further sheet has been started after the last "|".
    const qsizetype porFicha = Codigo::pecasDaMensagem(Codigo::Salvo) - 1;
    const qsizetype barrasDaLista = m_barras - 1;
    if (barrasDaLista == 0)
        return m_bytes.size() == m_ultimaBarra + 1;   // "13|": the empty list
    if (barrasDaLista % (porFicha - 1) != 0)
        return false;
    const QByteArrayView ultimaPeca = QByteArrayView(m_bytes).sliced(m_ultimaBarra + 1);
    return ultimaPeca.indexOf("@@@") < 0 && !paraAntesDoDepartamento(ultimaPeca);
}

bool MontadorDeResposta::listaDeFichas() const
{
    return m_barras > 0 && m_codigoValido && !inesperado(m_codigo) && Codigo::pecasDaMensagem(m_codigo) < 0;
}

bool MontadorDeResposta::paraAntesDoDepartamento(QByteArrayView ultimaPeca) const
{
    if (!m_conheceDepartamento)
        return false;
    // Only a sheet of the operator's department is known to end with that description (a
    // server may write another department, or none, as "0|"). An empty last piece is no
    // proof either: a server may write the number and no description.
    const qsizetype anterior = m_bytes.lastIndexOf('|', m_ultimaBarra - 1);
    if (ultimaPeca.isEmpty()
        || QByteArrayView(m_bytes).sliced(anterior + 1, m_ultimaBarra - anterior - 1) != m_idDoDepartamento)
        return false;
    const QByteArrayView fim(m_fimDaFicha);
    return ultimaPeca != fim.chopped(3) && fim.startsWith(ultimaPeca);
}

bool MontadorDeResposta::podeSerInicioDeEsperado(QByteArrayView texto) const
{
    for (const int esperado : m_esperados)
        if (QByteArray::number(esperado).startsWith(texto))
            return true;
    return false;
}

int MontadorDeResposta::silencioMs(const Silencios& s) const
{
    if (m_bytes.isEmpty())
        return -1;
    if (!formaCompleta())
        return listaDeFichas() ? -1 : s.incompleta;
    if (listaDeFichas()) {
        // A reply's first sheet comes in its first packets with whatever follows it: only a
        // longer list can be held back right at a sheet's end.
        const qsizetype barrasPorFicha = Codigo::pecasDaMensagem(Codigo::Salvo) - 2;
        return m_barras - 1 > barrasPorFicha ? std::max(s.lista, s.entreFichas) : s.lista;
    }
    return s.registro;
}
