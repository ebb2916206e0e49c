#pragma once
// "Histórico da Ficha": who did what to one sheet and when, as the server recorded it.
#include "protocol/Historico.h"

#include <QWidget>

class QLabel;
class QPushButton;
class QTimer;
class QTreeWidget;

// A window of its own above the member window, one at a time: asking again (for this sheet or
// another) closes the one open. Newest first, as the server sends it; times in the operator's
// local time, written the Brazilian way whatever the machine's language.
class frmHistorico : public QWidget {
    Q_OBJECT
public:
    // Closes `dono`'s history window, asks the server for sheet `nficha`'s history (waiting on
    // `timerTimeOut`) and shows it in a new one. Null when there is nothing to show: the
    // operator has been told why (the shared messages, or ErroDeExecucao raised for a reply
    // that cannot be read).
    static frmHistorico* consulta(QWidget* dono, QTimer* timerTimeOut, qint32 nficha, const QString& nome);

    // "dd/MM/yyyy HH:mm:ss" in local time.
    static QString formataQuando(const QDateTime& quando);
    // One line per field: "campo: antes → depois", each field under the member window's caption
    // for it, told apart from any other field that shares that caption.
    static QString formataAlteracoes(const QList<Historico::Alteracao>& alteracoes);

    QLabel* lblFicha;
    QTreeWidget* lstHistorico;
    QLabel* lblVazio;      // shown instead of nothing when the history is empty
    QPushButton* btnFechar;

private:
    explicit frmHistorico(QWidget* dono);
    void mostra(qint32 nficha, const QString& nome, const QList<Historico::Entrada>& entradas);
};
