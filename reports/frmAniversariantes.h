#pragma once
#include "reports/Aniversariantes.h"

#include <QPointer>
#include <QWidget>
#include <optional>

class QComboBox;
class QLabel;
class QPrinter;
class QPushButton;
class QSpinBox;
class QTreeWidget;
class frmPrincipal;

// "Aniversariantes do Mês", opened from the report window: the department's members born in
// the chosen month, listed on screen, printed (or previewed) like the department report and
// exported to CSV. Every button searches the whole department anew (code 12), so what it
// prints is what the server holds at that moment. Sheets without a usable birth date are
// shown, printed and exported apart.
class frmAniversariantes : public QWidget {
    Q_OBJECT
public:
    // Shows the window of `dono` (creating it the first time); it reads the operator's
    // department from `principal->membros` and waits on `principal->timerTimeOut`.
    static frmAniversariantes* abre(QWidget* dono, frmPrincipal* principal);

    QComboBox* cboMes;
    QSpinBox* spnAno;   // the year the ages are turned in (this year at first)
    QPushButton* btnBuscar;
    QPushButton* btnImprimir;
    QPushButton* btnVisualizar;
    QPushButton* btnExportarCSV;
    QPushButton* btnFechar;
    QTreeWidget* lstAniversariantes;
    QTreeWidget* lstSemData;
    QLabel* lblResumo;

    // The list the last search gave (empty before the first).
    const Aniversariantes::Lista& lista() const { return m_lista; }
    // Today's date (birth dates after it are not usable); tests fix it.
    void defineHoje(const QDate& hoje) { m_hoje = hoje; }

private:
    frmAniversariantes(QWidget* dono, frmPrincipal* principal);
    // Searches the department and fills the lists; false when nothing came back (already said why).
    bool busca();
    void mostraLista();
    void btnImprimir_Click();
    // Prints the list of the last search (on `escolhida`, or the default printer) and says how
    // it went; the print button and the preview's both come here. True when the queue took it.
    bool imprimeLista(const QPrinter* escolhida);
    void btnVisualizar_Click();
    void btnExportarCSV_Click();
    QDate hoje() const;

    QPointer<frmPrincipal> m_principal;
    Aniversariantes::Lista m_lista;
    QDate m_hoje;
};
