#pragma once
#include <QPointer>
#include <QWidget>
#include <optional>

#include "protocol/clsAgenda.h"

class QGroupBox;
class QLabel;
class QLineEdit;
class QPrinter;
class QPushButton;
class frmPrincipal;

// "Relatório": prints the department report for a date range and exports the department's
// names to a CSV file. The member window opens it beside itself, not modally:
//     (new frmRelatorio(this))->show();
// It reads the operator's department from `principal->membros` and waits on
// `principal->timerTimeOut`. It is a top-level window owned by `principal` and deletes itself
// when closed ("Fechar" or the close box); keep it in a QPointer to know whether it is open.
class frmRelatorio : public QWidget {
    Q_OBJECT
public:
    explicit frmRelatorio(frmPrincipal* principal);

    QGroupBox* frameFiltroPesquisa;
    QLabel* lblDataInicial;
    QLineEdit* txtDataInicial;
    QLabel* lblDataInicialErro;
    QLabel* lblDataFinal;
    QLineEdit* txtDataFinal;
    QLabel* lblDataFinalErro;
    QPushButton* btnOk;
    QPushButton* btnExportarCSV;
    QPushButton* btnFechar;
    // Additions: the report's print preview, and the month's birthdays window.
    QPushButton* btnVisualizar;
    QPushButton* btnAniversariantes;

private:
    void btnOk_Click();
    void btnExportarCSV_Click();
    void btnFechar_Click();
    void btnVisualizar_Click();
    void btnAniversariantes_Click();
    // The search for the typed (already validated) dates: the members found, or nothing
    // (already said why).
    std::optional<QList<clsAgenda>> buscaDoRelatorio();
    // Prints the report of `membros` (on `escolhida`, or the default printer) and says how it
    // went; the print button and the preview's both come here. True when the queue took it.
    bool imprimeRelatorio(const QList<clsAgenda>& membros, const QPrinter* escolhida);
    bool ValidaFiltro();
    // The member window, which may have been closed meanwhile (then it raises).
    frmPrincipal* principal() const;

    QPointer<frmPrincipal> m_principal;
};
