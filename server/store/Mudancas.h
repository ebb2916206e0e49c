#pragma once
// The server's own record of changes to the sheets, for the offices that work disconnected
// (protocol/Sincronia.h): one sequence for the whole registry, and for each sheet ever changed
// since it began the number of its last change (its version) and whether that change deleted
// it (mudancas); and the queued changes already answered, by the id their client gave them,
// with the answer they got (mudancas_aplicadas): its opening, and apart from it the sheet it
// carried, which a member's erasure empties (`esqueceFicha`).
//
// Every change to a sheet goes through FichasGravadas, which marks it here in the same
// transaction. The next number is the highest so far plus one, taken by a transaction that
// holds the store's write lock (SQLite) or the history's chain lock (PostgreSQL, which every
// batch of changes takes first): numbers are handed out in the order their changes commit,
// so a reader that has seen number N has seen every change up to N.
//
// Every operation returns false on a database failure; the Banco's `ultimoErro()` tells which.
#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>

#include <functional>
#include <limits>

class Banco;

class Mudancas {
public:
    explicit Mudancas(Banco& banco) : m_banco(banco) {}

    // The tables and their index, for the schema (created and migrated there).
    static QStringList tabelas(const Banco& banco);

    // The sheet changed (or was deleted): it gets the next number; `numero` (when given) gets it.
    bool marca(qint32 idDepartamento, qint32 numeroFicha, bool excluida, qint64* numero = nullptr);
    // The sheet's version: the number of its last change, 0 when none was recorded.
    bool versao(qint32 idDepartamento, qint32 numeroFicha, qint64& versao);
    // The highest number handed out so far (0: none).
    bool numeroAtual(qint64& numero);

    // The answer a queued change with this id got in this department; empty when it never came.
    bool respostaAplicada(qint32 idDepartamento, const QString& id, QByteArray& resposta);
    // The answer is `cabecalho` + `corpo`, the part that holds the member's values.
    bool registraAplicada(qint32 idDepartamento, const QString& id, qint32 numeroFicha, qint64 quandoMs, const QByteArray& cabecalho,
                          const QByteArray& corpo);
    // A member's values erased: the answers about that sheet keep their opening alone.
    bool esqueceFicha(qint32 idDepartamento, qint32 numeroFicha);

    // The changes since a number read in parts, as the reply of protocol/Sincronia.h.
    struct Leitura {
        qint64 desde = 0;          // in: the client's N (0 when it is beyond the number now)
        bool comecou = false;      // the reply's opening (with the number now) was written
        qint64 numeroAgora = 0;    // out: the number the reply opens with
        qint64 cursor = std::numeric_limits<qint64>::min();   // where the next slice starts
        qint64 itens = 0;          // written so far
        bool pausar = false;       // set by `entrega`: stop after the piece it took
        bool pausou = false;       // out: stopped so; the next call goes on from `cursor`
    };
    // Appends the reply (the opening the first time, then the items) to `saida`, handing it to
    // `entrega` each time it reaches `pedaco` bytes (0: never); `departamento` is the two pieces
    // that follow each sheet. A false from `entrega` stops the reading (the result is false).
    bool leDesde(qint32 idDepartamento, QByteArrayView departamento, Leitura& leitura, QByteArray& saida, qsizetype pedaco,
                 const std::function<bool(QByteArray&)>& entrega);
    static constexpr int linhasPorFatia = 500;

private:
    Banco& m_banco;
};
