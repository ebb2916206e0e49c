#include "search/frmlocalizarigreja.h"
#include "search/PainelFiltroBusca.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

frmlocalizarigreja::frmlocalizarigreja(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmlocalizarigreja"));
    setWindowTitle(QStringLiteral(" Localizar Congregações"));

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

    connect(btnCancelar, &QPushButton::clicked, this, &QDialog::reject);
}

void frmlocalizarigreja::mostra(QWidget* dono)
{
    auto* janela = new frmlocalizarigreja(dono);
    janela->setAttribute(Qt::WA_DeleteOnClose);
    janela->exec();
}
