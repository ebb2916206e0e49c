#include "search/frmLocalizar.h"
#include "app/modGlobais.h"
#include "members/frmPrincipal.h"
#include "search/SlotDeBusca.h"

#include "search/ListaDeResultados.h"
#include <QPushButton>

frmLocalizar::frmLocalizar(QWidget* parent)
    : JanelaDeBusca(parent, QStringLiteral("frmLocalizar"), QStringLiteral("Localizar"))
{
    slot = new SlotDeBusca(this, frameFiltroPesquisa, btnLocalizar, lstResultados,
                           [] { return frmPrincipal::instancia()->timerTimeOut; },
                           [] { return frmPrincipal::instancia()->membros.departamento.idDepartamento; });
    slot->defineLinhaDeStatus(lblStatus);

    connect(btnOk, &QPushButton::clicked, this, &frmLocalizar::btnOk_Click);
    connect(lstResultados, &QListView::doubleClicked, this, &frmLocalizar::btnOk_Click);
}

void frmLocalizar::mostra(QWidget* dono)
{
    mostraNova<frmLocalizar>(dono);
}

void frmLocalizar::btnOk_Click()
{
    protegido(this, QStringLiteral("frmLocalizar.btnOk_Click"), [this] {
        const clsAgenda* escolhido = slot->escolhido();
        if (!escolhido)
            return;
        frmPrincipal* principal = frmPrincipal::instancia();
        principal->membros = *escolhido;
        principal->AtualizaGUI();
        accept();
    });
}
