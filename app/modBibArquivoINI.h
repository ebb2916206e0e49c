#pragma once
#include <QString>

// Private-profile INI files: "[secao]" headers and "chave=valor" lines, section and key
// names compared without regard to case, the file read and written as Windows-1252 bytes.

// The value of `chave` in `secao`, or the empty text when the file, the section or the key
// is missing. Like the platform call with its 255-character buffer, at most 254 characters
// come back. Blanks around the value and one pair of enclosing quotes are dropped.
QString LeINI(const QString& arquivo, const QString& secao, const QString& chave);

// Writes `valor` under `chave` in `secao`, creating the file, the section or the key as
// needed. Every other byte of the file stays as it was; a write that fails leaves the
// whole file untouched. Returns why it failed, or the empty text when it wrote.
QString GravaINI(const QString& arquivo, const QString& secao, const QString& chave, const QString& valor);
