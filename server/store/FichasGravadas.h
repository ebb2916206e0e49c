#pragma once
// The member sheets a department keeps in the fichas table: reading one, writing one (under
// its own number or the department's next free one), deleting one, and searching them into
// the wire text of a list. How a sheet lies in its row is LinhaDaFicha's business. Every write that
// changes a sheet is marked in the record of changes (Mudancas) in the same transaction.
//
// The sheets read come without the department's description; the caller knows it. Every
// operation returns false on a database failure; the Banco's `ultimoErro()` tells which.
#include "protocol/clsAgenda.h"
#include "protocol/clsFiltroBusca.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QPair>

#include <functional>
#include <optional>

class Banco;

class FichasGravadas {
public:
    explicit FichasGravadas(Banco& banco) : m_banco(banco) {}

    bool ficha(qint32 idDepartamento, qint32 numero, std::optional<clsAgenda>& saida);
    // The stored wire text of one sheet (LinhaDaFicha's fio); empty when there is no such sheet.
    bool fioDaFicha(qint32 idDepartamento, qint32 numero, QByteArray& saida);
    bool existe(qint32 idDepartamento, qint32 numero, bool& existe);
    bool proximoNumero(qint32 idDepartamento, qint32& numero);   // false also when the numbers ran out
    // `fio` is `LinhaDaFicha::fioDe(ficha)`, when the caller has it already.
    bool insere(qint32 idDepartamento, const clsAgenda& ficha, const QByteArray& fio = QByteArray());
    // Inserts unless the number is taken (by a sheet committed meanwhile, maybe by another
    // server on the same database): `inseriu` tells which.
    bool insereSeLivre(qint32 idDepartamento, const clsAgenda& ficha, const QByteArray& fio, bool& inseriu);
    // A new sheet under the department's next free number, set in `ficha`; `fio` gets its text.
    bool insereNova(qint32 idDepartamento, clsAgenda& ficha, QByteArray& fio);
    bool atualiza(qint32 idDepartamento, const clsAgenda& ficha, const QByteArray& fio = QByteArray());
    bool exclui(qint32 idDepartamento, qint32 numero, bool& excluiu);
    bool contaFichas(qint32 idDepartamento, qint64& quantas);

    // Criteria: sheet number (0 = any), name (empty = any, else contained in the name,
    // ignoring case and accents), the sheet's date between dataInicial and dataFinal
    // inclusive (a zero date leaves that end open). Ordered by sheet number.
    // The sheets found are appended to `saida` as the wire text of a list: each sheet's
    // stored text followed by `departamento` (its two pieces, already encoded), sheets joined
    // by "@@@". `quantas` tells how many sheets were written.
    bool busca(qint32 idDepartamento, const clsFiltroBusca& filtro, QByteArrayView departamento, QByteArray& saida,
               qsizetype& quantas);
    // A search read in parts: where a part starts, and whether it stopped early. Sheets are
    // read in number order, so the next part starts after the last sheet handed out.
    struct Trecho {
        bool retomada = false;   // in: a later part (`quantas` then holds the sheets already written)
        qint32 depoisDe = 0;     // in: with `retomada`, only the sheets numbered above this
        bool pausar = false;     // set by `entrega`: stop after the piece it took (no failure)
        bool pausou = false;     // out: stopped so; `depoisDe` is then where the next part starts
        bool separadorEnviado = false;   // out, then in: the paused part ended with the separator
    };
    // The same search, handing `saida` to `entrega` each time it reaches `pedaco` bytes
    // (`entrega` takes the bytes and leaves `saida` empty), so that a large result never sits
    // whole in memory. What is left at the end stays in `saida`. A false from `entrega`
    // stops the search (the result is then false too).
    bool buscaEmPartes(qint32 idDepartamento, const clsFiltroBusca& filtro, QByteArrayView departamento,
                       QByteArray& saida, qsizetype& quantas, qsizetype pedaco,
                       const std::function<bool(QByteArray&)>& entrega, Trecho* trecho = nullptr);

    // (department, sheet number) of every stored sheet with "@@@" in a field: such a sheet
    // would split in two in every list of its department.
    bool fichasComSeparador(QList<QPair<qint32, qint32>>& saida);

private:
    // `sql` takes the search name, the wire text, the field columns, then department and number;
    // `linhas` (when given) gets the count of rows it changed.
    bool gravaFicha(const QString& sql, qint32 idDepartamento, const clsAgenda& ficha, const QByteArray& fio, int* linhas = nullptr);

    Banco& m_banco;
};
