#include "search/JanelaDeBusca.h"
#include "search/PainelFiltroBusca.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QStatusBar>
#include "search/ListaDeResultados.h"
#include <QPushButton>
#include <QVBoxLayout>

namespace PecasDeBusca {

QPushButton* botao(QWidget* dono, const QString& nome, const QString& legenda)
{
    auto* b = new QPushButton(legenda, dono);
    b->setObjectName(nome);
    b->setAutoDefault(false);
    return b;
}

QHBoxLayout* linhaOkCancelar(QDialog* dialogo, QPushButton*& btnOk, QPushButton*& btnCancelar)
{
    btnOk = botao(dialogo, QStringLiteral("btnOk"), QStringLiteral("OK"));
    btnCancelar = botao(dialogo, QStringLiteral("btnCancelar"), QStringLiteral("Cancelar"));
    QObject::connect(btnCancelar, &QPushButton::clicked, dialogo, &QDialog::reject);
    auto* linha = new QHBoxLayout;
    linha->addStretch(1);
    linha->addWidget(btnOk);
    linha->addWidget(btnCancelar);
    return linha;
}

} // namespace PecasDeBusca

JanelaDeBusca::JanelaDeBusca(QWidget* parent, const QString& nome, const QString& titulo) : QDialog(parent)
{
    setObjectName(nome);
    setWindowTitle(titulo);

    frameFiltroPesquisa = new PainelFiltroBusca(false, this);
    btnLocalizar = PecasDeBusca::botao(this, QStringLiteral("btnLocalizar"), QStringLiteral("Localizar"));
    frameResultados = new QGroupBox(QStringLiteral("Resultados"), this);
    frameResultados->setObjectName(QStringLiteral("frameResultados"));
    lstResultados = new ListaDeResultados(frameResultados);
    lstResultados->setObjectName(QStringLiteral("lstResultados"));
    (new QVBoxLayout(frameResultados))->addWidget(lstResultados);

    auto* vertical = new QVBoxLayout(this);
    vertical->addWidget(frameFiltroPesquisa);
    auto* linhaBusca = new QHBoxLayout;
    linhaBusca->addStretch(1);
    linhaBusca->addWidget(btnLocalizar);
    vertical->addLayout(linhaBusca);
    vertical->addWidget(frameResultados, 1);
    vertical->addLayout(PecasDeBusca::linhaOkCancelar(this, btnOk, btnCancelar));
    auto* barra = new QStatusBar(this);
    barra->setObjectName(QStringLiteral("sbStatusBar"));
    barra->setSizeGripEnabled(false);
    lblStatus = new QLabel(barra);
    lblStatus->setObjectName(QStringLiteral("lblStatus"));
    barra->addWidget(lblStatus, 1);
    vertical->addWidget(barra);
    resize(620, 480);
}
