#include "search/frmLocalizar.h"
#include "app/modGlobais.h"
#include "members/frmPrincipal.h"
#include "search/PainelFiltroBusca.h"
#include "search/SlotDeBusca.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

frmLocalizar::frmLocalizar(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmLocalizar"));
    setWindowTitle(QStringLiteral("Localizar"));

    frameFiltroPesquisa = new PainelFiltroBusca(false, this);
    btnLocalizar = new QPushButton(QStringLiteral("Localizar"), this);
    btnLocalizar->setObjectName(QStringLiteral("btnLocalizar"));
    btnLocalizar->setAutoDefault(false);
    frameResultados = new QGroupBox(QStringLiteral("Resultados"), this);
    frameResultados->setObjectName(QStringLiteral("frameResultados"));
    lstResultados = new QListWidget(frameResultados);
    lstResultados->setObjectName(QStringLiteral("lstResultados"));
    (new QVBoxLayout(frameResultados))->addWidget(lstResultados);
    btnOk = new QPushButton(QStringLiteral("OK"), this);
    btnOk->setObjectName(QStringLiteral("btnOk"));
    btnOk->setAutoDefault(false);
    btnCancelar = new QPushButton(QStringLiteral("Cancelar"), this);
    btnCancelar->setObjectName(QStringLiteral("btnCancelar"));
    btnCancelar->setAutoDefault(false);

    auto* vertical = new QVBoxLayout(this);
    vertical->addWidget(frameFiltroPesquisa);
    auto* linhaBusca = new QHBoxLayout;
    linhaBusca->addStretch(1);
    linhaBusca->addWidget(btnLocalizar);
    vertical->addLayout(linhaBusca);
    vertical->addWidget(frameResultados, 1);
    auto* linhaBotoes = new QHBoxLayout;
    linhaBotoes->addStretch(1);
    linhaBotoes->addWidget(btnOk);
    linhaBotoes->addWidget(btnCancelar);
    vertical->addLayout(linhaBotoes);
    resize(620, 480);

    slot = new SlotDeBusca(this, frameFiltroPesquisa, btnLocalizar, lstResultados,
                           [] { return frmPrincipal::instancia()->timerTimeOut; },
                           [] { return frmPrincipal::instancia()->membros.departamento.idDepartamento; });

    connect(btnOk, &QPushButton::clicked, this, &frmLocalizar::btnOk_Click);
    connect(lstResultados, &QListWidget::itemDoubleClicked, this, &frmLocalizar::btnOk_Click);
    connect(btnCancelar, &QPushButton::clicked, this, &QDialog::reject);
}

void frmLocalizar::mostra(QWidget* dono)
{
    auto* dialogo = new frmLocalizar(dono);
    dialogo->setAttribute(Qt::WA_DeleteOnClose);
    dialogo->exec();
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
