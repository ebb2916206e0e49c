#pragma once
#include "search/JanelaDeBusca.h"

// " Localizar Congregações": the congregation search window. It has the controls of the
// member search (filter, "Localizar", result list, "OK", "Cancelar") and no search of its
// own; the operator closes it ("Cancelar" or the close box).
class frmlocalizarigreja : public JanelaDeBusca {
    Q_OBJECT
public:
    explicit frmlocalizarigreja(QWidget* parent = nullptr);

    // Loads the window and shows it modally, owned by `dono`; destroyed when closed.
    static void mostra(QWidget* dono);
};
