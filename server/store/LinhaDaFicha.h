#pragma once
// How a member sheet lies in a row of the fichas table: one column per field of the member
// record, in wire order and named after the field in lower case (the sheet number apart: with
// the department it is the key), plus nome_busca, the name folded for searching, and fio, the
// sheet's own pieces as they travel: Windows-1252 bytes, each piece followed by "|", ready to
// be followed by the department's two pieces. Every write sets fio together with the columns,
// so a search reads one column per row. Dates are kept as "yyyy-MM-dd" text.
#include "protocol/clsAgenda.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QStringView>

class QDate;
class QSqlQuery;

namespace LinhaDaFicha {

// The field columns (the sheet number excepted), as the statements spell them.
struct Colunas {
    QStringList nomes;
    QString lista;           // "nome, endereco, ..."
    QString marcadores;      // "?, ?, ..."
    QString atribuicoes;     // "nome = ?, endereco = ?, ..."
};
const Colunas& colunas();

// Reads the sheet from columns "numeroficha, <the field columns>" starting at `primeira`.
void le(const QSqlQuery& q, clsAgenda& ficha, int primeira);
// Binds, from the first placeholder on: the folded name, the wire text (`fio`, or made from
// the sheet when empty), then the field columns in order.
void liga(QSqlQuery& q, const clsAgenda& ficha, const QByteArray& fio);

// The sheet's own pieces (all but the department's) in Windows-1252, each one followed
// by "|": what the fio column keeps.
QByteArray fioDe(const clsAgenda& ficha);
// The name as searches compare it: accents and case dropped, blanks simplified.
QString dobraParaBusca(QStringView nome);
// A date as the columns keep it; an invalid one as the zero date.
QString dataIso(const QDate& d);

} // namespace LinhaDaFicha
