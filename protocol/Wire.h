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

} // namespace Wire
