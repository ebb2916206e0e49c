#pragma once
#include "search/JanelaDeBusca.h"

class SlotDeBusca;

// "Localizar": the member search. One filter, one slot; "OK" (or a double click on a line)
// makes the chosen member the member window's sheet and closes. Whatever window opened it,
// the member goes to the member window (frmPrincipal).
class frmLocalizar : public JanelaDeBusca {
    Q_OBJECT
public:
    explicit frmLocalizar(QWidget* parent = nullptr);

    // Loads the dialog and shows it modally, owned by `dono`; it is destroyed when closed,
    // so every opening starts empty.
    static void mostra(QWidget* dono);

    SlotDeBusca* slot;   // holds membrosEncontrados

private:
    void btnOk_Click();
};
