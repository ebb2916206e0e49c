#include "renewal/frmlocalizarcarteira.h"
#include "app/modGlobais.h"
#include "members/frmPrincipal.h"
#include "renewal/frmprincipal2.h"
#include "search/JanelaDeBusca.h"
#include "search/PainelFiltroBusca.h"
#include "search/SlotDeBusca.h"

#include <QEvent>
#include <QGridLayout>
#include "search/ListaDeResultados.h"
#include <QMouseEvent>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

const QString origem = QStringLiteral("frmlocalizarcarteira");

QTimer* timerDaRenovacao()
{
    return frmprincipal2::instancia()->timerTimeOut;
}

qint32 departamentoDaRenovacao()
{
    return frmprincipal2::instancia()->membros.departamento.idDepartamento;
}

} // namespace

frmlocalizarcarteira::frmlocalizarcarteira(QWidget* parent) : QDialog(parent)
{
    setObjectName(origem);
    setWindowTitle(QStringLiteral(" Localiza Membros"));
    setModal(true);

    frameFiltroPesquisa = new PainelFiltroBusca(true, this);
    auto lista = [this](const char* nome) {
        auto* l = new ListaDeResultados(this);
        l->setObjectName(QString::fromLatin1(nome));
        l->setMinimumSize(300, 220);
        l->viewport()->installEventFilter(this);
        return l;
    };
    btnLocalizar = PecasDeBusca::botao(this, QStringLiteral("btnLocalizar"), QStringLiteral("Localizar_01"));
    lstResultados = lista("lstResultados");
    btnLocalizar2 = PecasDeBusca::botao(this, QStringLiteral("btnLocalizar2"), QStringLiteral("Localizar_02"));
    lstResultados2 = lista("lstResultados2");

    auto* vertical = new QVBoxLayout(this);
    vertical->addWidget(frameFiltroPesquisa);
    auto* grade = new QGridLayout;
    grade->addWidget(btnLocalizar, 0, 0, Qt::AlignLeft);
    grade->addWidget(btnLocalizar2, 0, 1, Qt::AlignLeft);
    grade->addWidget(lstResultados, 1, 0);
    grade->addWidget(lstResultados2, 1, 1);
    vertical->addLayout(grade, 1);
    vertical->addLayout(PecasDeBusca::linhaOkCancelar(this, btnOk, btnCancelar));

    busca = new SlotDeBusca(this, frameFiltroPesquisa, btnLocalizar, lstResultados, timerDaRenovacao,
                            departamentoDaRenovacao);
    busca2 = new SlotDeBusca(this, frameFiltroPesquisa, btnLocalizar2, lstResultados2, timerDaRenovacao,
                             departamentoDaRenovacao);
    // The first slot loads the sheet of the renewal window: the member window goes first.
    busca->antesDeBuscar = [] {
        if (frmPrincipal* membros = frmPrincipal::existente(); membros && membros->isVisible())
            membros->close();
    };

    connect(btnOk, &QPushButton::clicked, this, &frmlocalizarcarteira::btnOk_Click);
}

void frmlocalizarcarteira::mostra(QWidget* dono)
{
    frmlocalizarcarteira dialogo(dono);
    dialogo.exec();
}

bool frmlocalizarcarteira::eventFilter(QObject* objeto, QEvent* evento)
{
    const bool botaoEsquerdo = (evento->type() == QEvent::MouseButtonRelease ||
                                evento->type() == QEvent::MouseButtonDblClick) &&
                               static_cast<QMouseEvent*>(evento)->button() == Qt::LeftButton;
    if (botaoEsquerdo && objeto == lstResultados2->viewport() && evento->type() == QEvent::MouseButtonRelease) {
        lstResultados2_Click();
        return true;
    }
    if (botaoEsquerdo && objeto == lstResultados->viewport() && evento->type() == QEvent::MouseButtonDblClick) {
        lstResultados_DblClick();
        return true;
    }
    return QDialog::eventFilter(objeto, evento);
}

void frmlocalizarcarteira::btnOk_Click()
{
    protegido(this, origem + QStringLiteral(".btnOk_Click"), [this] {
        if (const clsAgenda* escolhido = busca->escolhido()) {
            frmprincipal2* janela = frmprincipal2::instancia();
            janela->membros = *escolhido;
            janela->AtualizaGUI();
        }
    });
}

void frmlocalizarcarteira::lstResultados_DblClick()
{
    btnOk_Click();
    reject();
}

void frmlocalizarcarteira::lstResultados2_Click()
{
    protegido(this, origem + QStringLiteral(".lstResultados2_Click"), [this] {
        if (const clsAgenda* escolhido = busca2->escolhido())
            frmprincipal2::instancia()->AtualizaGUI2(*escolhido);
    });
    reject();
}
