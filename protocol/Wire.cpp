#include "protocol/Wire.h"

#include <array>

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

} // namespace

QByteArray codifica(QStringView texto)
{
    // Never longer than the input: a surrogate pair becomes one "?".
    QByteArray bytes(texto.size(), Qt::Uninitialized);
    char* saida = bytes.data();
    const char16_t* entrada = texto.utf16();
    const qsizetype n = texto.size();
    qsizetype j = 0;
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = entrada[i];
        if (c < 0x80 || (c >= 0xA0 && c <= 0xFF) || (c < 0xA0 && decodificacao[c] == c)) {
            saida[j++] = char(c);
        } else {
            if (QChar::isHighSurrogate(c) && i + 1 < n && QChar::isLowSurrogate(entrada[i + 1]))
                ++i;
            saida[j++] = codificaEspecial(c);
        }
    }
    bytes.truncate(j);
    return bytes;
}

QString decodifica(QByteArrayView bytes)
{
    QString texto(bytes.size(), Qt::Uninitialized);
    char16_t* saida = reinterpret_cast<char16_t*>(texto.data());
    const auto* entrada = reinterpret_cast<const unsigned char*>(bytes.data());
    const qsizetype n = bytes.size();
    for (qsizetype i = 0; i < n; ++i)
        saida[i] = decodificacao[entrada[i]];
    return texto;
}

} // namespace Wire
