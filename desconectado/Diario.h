#pragma once
// The journal of a desk that works disconnected, in its sealed copy's file: each change made
// while the server could not be reached (a save, an inclusion, a deletion), in order, with its
// id (unique; the server applies an id once), the version of the sheet it started from and
// when it was made. An entry is written, and the copy shows the change, in one transaction
// on the disk (synchronous=FULL) before the window says it was saved. Entries leave only once
// the server answered them (Sincronizador.h); a conflict is kept for the operator. Reads of the
// copy while disconnected are journalled too.
#include "protocol/clsAgenda.h"

#include <QList>
#include <QString>

class CopiaSelada;

struct EntradaDoDiario {
    qint64 ordem = 0;
    QString id;
    qint32 numero = 0;     // negative: a sheet made while disconnected, still provisional
    qint64 base = 0;       // the version it started from (0 for a new sheet)
    qint64 feitaEmMs = 0;
    int codigo = 0;        // Codigo::Salva, Inclui or Exclui
    clsAgenda ficha;

    // The request as the server takes it queued (its sheet under its number now; a
    // provisional sheet goes as new, under 0).
    QString pedido() const;
};

struct Conflito {
    QString id;
    EntradaDoDiario mudanca;   // what the office typed
    bool excluidaNoRegistro = false;
    clsAgenda doRegistro;      // what the registry holds now
};

class Diario {
public:
    explicit Diario(CopiaSelada& copia) : m_copia(copia) {}

    static QString novoId();

    // Journals a change made while disconnected and shows it in the copy. A new sheet
    // (Salva with number 0) gets a provisional number, left in `ficha`. Deleting a
    // provisional sheet drops it and its entries: the server never knew it. False when
    // nothing was written.
    bool registra(int codigo, clsAgenda& ficha, qint64 feitaEmMs);
    bool registraLeitura(qint32 numero, qint64 feitaEmMs);

    QList<EntradaDoDiario> pendentes(qsizetype maximo = -1) const;
    qsizetype quantas() const;
    qsizetype leituras() const;

    // The server applied `entrada` (version `versao`, its reply `resposta`): the copy takes
    // the sheet as stored, later entries of the same sheet start from the new version, and
    // the entry leaves, in one transaction.
    bool aplicada(const EntradaDoDiario& entrada, qint64 versao, const QString& resposta);
    // The server kept the registry's sheet (`registro`: "13|..." or empty when deleted): the
    // entry becomes a conflict, the copy shows the registry's sheet.
    bool emConflito(const EntradaDoDiario& entrada, qint64 versao, const QString& registro);

    QList<Conflito> conflitos() const;
    bool resolveConflito(const QString& id);

private:
    bool leEntrada(qint64 ordem, const QString& id, qint32 numero, qint64 base, const QByteArray& selado,
                   EntradaDoDiario& e) const;

    CopiaSelada& m_copia;
};
