#pragma once
#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

// Text on the wire is Windows-1252: one byte per character, so "ç" is the single byte 0xE7.
// Characters that code page cannot hold are sent as "?".
namespace Wire {

QByteArray codifica(QStringView texto);
QString decodifica(QByteArrayView bytes);
// The same into `saida`, which has room for bytes.size() characters (one per byte).
void decodificaEm(QByteArrayView bytes, char16_t* saida);

} // namespace Wire
