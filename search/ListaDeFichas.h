#pragma once
// The member list of a search reply (code 13), kept as the reply's bytes as they came
// (Windows-1252, one byte per character) plus where each sheet starts. Reading it is one pass
// over the bytes: each sheet's pieces are counted and its number and date checked, so a broken
// list is still refused as a whole, but nothing is decoded or built until it is asked for. A
// list line ("number\tdd/MM/yyyy\tname") is made from three pieces of its sheet; the whole
// sheet (clsAgenda) is parsed only by at().
//
// Order is the server's: entry n is member n+1 of the reply.
#include "protocol/clsAgenda.h"

#include <QByteArray>
#include <QList>
#include <QString>

class ListaDeFichas {
public:
    ListaDeFichas() = default;

    // `resposta` is the whole reply, "13|" included, as bytes from the wire. Throws the
    // parser's own error (wrong piece count, number or date) when a sheet is broken.
    explicit ListaDeFichas(QByteArray resposta);
    // The same from text already decoded.
    explicit ListaDeFichas(const QString& resposta);

    qsizetype size() const { return m_inicios.size(); }
    bool isEmpty() const { return m_inicios.isEmpty(); }

    // Member i, parsed now; throws the parser's error when its sheet is malformed.
    clsAgenda at(qsizetype i) const;

    // Line i of the result list: sheet number, tab, dd/MM/yyyy, tab, name.
    QString linha(qsizetype i) const;

    // The bytes held (the reply) and the index, for memory accounting.
    qsizetype bytesGuardados() const;

private:
    QString ficha(qsizetype i) const;

    QByteArray m_bytes;            // the reply
    QList<qsizetype> m_inicios;    // start of each sheet in m_bytes
    QList<qsizetype> m_fins;       // one past its end
};
