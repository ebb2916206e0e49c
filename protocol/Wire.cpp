#include "protocol/Wire.h"

#include <array>
#include <bit>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace Wire {

namespace {

// 0x80..0x9F of Windows-1252; 0 marks the five bytes the code page leaves undefined,
// which are decoded as the C1 control of the same value (as the usual decoders do).
constexpr char16_t faixa80[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
    0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};

constexpr std::array<char16_t, 256> tabelaDecodifica()
{
    std::array<char16_t, 256> t{};
    for (int i = 0; i < 256; ++i)
        t[i] = char16_t(i);
    for (int i = 0; i < 32; ++i)
        if (faixa80[i] != 0)
            t[0x80 + i] = faixa80[i];
    return t;
}

constexpr auto decodificacao = tabelaDecodifica();

char codificaEspecial(char16_t c)
{
    for (int i = 0; i < 32; ++i)
        if (faixa80[i] == c)
            return char(0x80 + i);
    return '?';
}

// One character (or surrogate pair) from entrada[i]; returns the index after it.
qsizetype codificaUm(const char16_t* entrada, qsizetype i, qsizetype n, char* saida)
{
    const char16_t c = entrada[i];
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF) || (c < 0xA0 && decodificacao[c] == c)) {
        *saida = char(c);
    } else {
        if (QChar::isHighSurrogate(c) && i + 1 < n && QChar::isLowSurrogate(entrada[i + 1]))
            ++i;
        *saida = codificaEspecial(c);
    }
    return i + 1;
}

} // namespace

// Member lists run to megabytes, so both directions go sixteen characters at a time where
// the processor allows: a run of plain Latin-1 outside 0x80..0x9F is the same number on
// both sides, and only the rest needs the table.
QByteArray codifica(QStringView texto)
{
    // Never longer than the input: a surrogate pair becomes one "?".
    QByteArray bytes(texto.size(), Qt::Uninitialized);
    char* saida = bytes.data();
    const char16_t* entrada = texto.utf16();
    const qsizetype n = texto.size();
    qsizetype i = 0, j = 0;
#ifdef __SSE2__
    const __m128i foraDoLatin1 = _mm_set1_epi16(short(0xFF00));
    const __m128i mascaraC1 = _mm_set1_epi16(short(0xFFE0));
    const __m128i c1 = _mm_set1_epi16(0x0080);
    while (i + 16 <= n) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(entrada + i));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(entrada + i + 8));
        const __m128i fora = _mm_or_si128(_mm_and_si128(_mm_or_si128(a, b), foraDoLatin1),
                                          _mm_or_si128(_mm_cmpeq_epi16(_mm_and_si128(a, mascaraC1), c1),
                                                       _mm_cmpeq_epi16(_mm_and_si128(b, mascaraC1), c1)));
        if (_mm_movemask_epi8(_mm_cmpeq_epi8(fora, _mm_setzero_si128())) == 0xFFFF) {
            _mm_storeu_si128(reinterpret_cast<__m128i*>(saida + j), _mm_packus_epi16(a, b));
            i += 16;
            j += 16;
        } else {
            const qsizetype ate = i + 16;
            while (i < ate)
                i = codificaUm(entrada, i, n, saida + j++);
        }
    }
#endif
    while (i < n)
        i = codificaUm(entrada, i, n, saida + j++);
    bytes.truncate(j);
    return bytes;
}

QString decodifica(QByteArrayView bytes)
{
    QString texto(bytes.size(), Qt::Uninitialized);
    decodificaEm(bytes, reinterpret_cast<char16_t*>(texto.data()));
    return texto;
}

void decodificaEm(QByteArrayView bytes, char16_t* saida)
{
    const auto* entrada = reinterpret_cast<const unsigned char*>(bytes.data());
    const qsizetype n = bytes.size();
    qsizetype i = 0;
#ifdef __SSE2__
    const __m128i zero = _mm_setzero_si128();
    const __m128i mascaraC1 = _mm_set1_epi8(char(0xE0));
    const __m128i c1 = _mm_set1_epi8(char(0x80));
    for (; i + 16 <= n; i += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(entrada + i));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(saida + i), _mm_unpacklo_epi8(v, zero));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(saida + i + 8), _mm_unpackhi_epi8(v, zero));
        // 0x80..0x9F are the bytes whose character differs from their number.
        int especiais = _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_and_si128(v, mascaraC1), c1));
        while (especiais != 0) {
            const int k = std::countr_zero(unsigned(especiais));
            saida[i + k] = decodificacao[entrada[i + k]];
            especiais &= especiais - 1;
        }
    }
#endif
    for (; i < n; ++i)
        saida[i] = decodificacao[entrada[i]];
}

} // namespace Wire
