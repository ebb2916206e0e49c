#pragma once
// The member list of a search reply (code 13), kept as the reply's bytes as they came
// (Windows-1252, one byte per character) plus where each sheet starts. Reading it is one pass
// over the bytes: each sheet's pieces are counted and its number and date checked, so a broken
// list is still refused as a whole, but nothing is decoded or built until it is asked for. A
// list line ("number\tdd/MM/yyyy\tname") is made from three pieces of its sheet; the whole
// sheet (clsAgenda) is parsed only by at().
//
// Order is the server's: entry n is member n+1 of the reply.
//
// A list may also be read while its reply arrives (framed connections): acompanha() is given
// the bytes so far and indexes each sheet whose "@@@" has come; conclui() takes the whole
// reply, the same bytes, and reads the rest. The result is the list the whole reply makes,
// with the same error when a sheet is broken.
#include "protocol/clsAgenda.h"

#include <QByteArray>
#include <QByteArrayView>
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

    // The reply so far, held as a view (the caller keeps the bytes, unchanged up to this
    // size, until the next call or conclui()). Sheets whose end is here are indexed; a reply
    // of another code indexes nothing. Returns false once a sheet has been found broken: no
    // more are indexed then, and conclui() throws the parser's error.
    bool acompanha(QByteArrayView ateAgora);
    // The whole reply (what acompanha() saw, and the rest): the list is now the same as
    // ListaDeFichas(resposta). Throws as the constructor.
    void conclui(QByteArray resposta);

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
    // Indexes the sheets from m_proximo on: up to the last "@@@" in the bytes, or, when
    // `inteira`, to their end. Throws the parser's error on a broken sheet.
    void indexa(bool inteira);

    QByteArray m_bytes;            // the reply
    QList<qsizetype> m_inicios;    // start of each sheet in m_bytes
    QList<qsizetype> m_fins;       // one past its end
    qsizetype m_proximo = -1;      // where the next sheet starts (-1: the code not read yet)
    bool m_quebrada = false;       // a sheet was broken while the reply arrived
};
