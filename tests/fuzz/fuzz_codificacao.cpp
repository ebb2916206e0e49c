// Windows-1252 at the wire boundary: every byte decodes to one character and encodes back to
// itself, and the sixteen-at-a-time paths agree with a character-by-character reference at
// every length and alignment.
#include "Comum.h"

#include <QStringView>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* dados, size_t tamanho)
{
    const QByteArrayView bytes(reinterpret_cast<const char*>(dados), qsizetype(tamanho));
    const QString texto = Wire::decodifica(bytes);
    EXIGE(texto.size() == bytes.size());
    EXIGE(Wire::codifica(texto) == bytes);
    for (qsizetype i = 0; i < bytes.size(); ++i)
        EXIGE(texto[i] == Wire::decodifica(bytes.sliced(i, 1)).at(0));

    // The same bytes read as UTF-16 text, as an operator's typing could be: one byte out per
    // character, a surrogate pair (never in the code page) as one "?".
    const QStringView utf16(reinterpret_cast<const char16_t*>(dados), qsizetype(tamanho / 2));
    const QByteArray escrito = Wire::codifica(utf16);
    qsizetype j = 0;
    for (qsizetype i = 0; i < utf16.size(); ++j) {
        EXIGE(j < escrito.size());
        const bool par = utf16[i].isHighSurrogate() && i + 1 < utf16.size() && utf16[i + 1].isLowSurrogate();
        const char esperado = par ? '?' : Wire::codifica(utf16.sliced(i, 1)).at(0);
        EXIGE(escrito[j] == esperado);
        i += par ? 2 : 1;
    }
    EXIGE(j == escrito.size());
    return 0;
}
