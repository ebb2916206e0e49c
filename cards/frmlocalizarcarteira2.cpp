#include "cards/frmlocalizarcarteira2.h"
#include "cards/frmPrincipal3.h"
#include "app/modGlobais.h"
#include "members/frmPrincipal.h"
#include "search/JanelaDeBusca.h"
#include "search/PainelFiltroBusca.h"
#include "search/SlotDeBusca.h"

#include <QGridLayout>
#include "search/ListaDeResultados.h"
#include <QMouseEvent>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

QString sufixo(int k)
{
    return k == 1 ? QString() : QString::number(k);
}

} // namespace

int frmlocalizarcarteira2::larguraParaUmaLinha(const QFontMetrics& medidas)
{
    // "99999999<tab>31/12/2024<tab>" reaches the second tab stop; then a long full name, the
    // list's frame, the item margins and a vertical scroll bar.
    constexpr int paradaDeTabulacao = 80;
    const int nome = medidas.horizontalAdvance(QStringLiteral("MARIA APARECIDA DOS SANTOS OLIVEIRA"));
    return 2 * paradaDeTabulacao + nome + 2 * 6 + 24;
}

frmlocalizarcarteira2::frmlocalizarcarteira2(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmlocalizarcarteira2"));
    setWindowTitle(QStringLiteral("Localizar Membros para Carteirinha"));
    setModal(true);

    auto* vertical = new QVBoxLayout(this);
    frameFiltroPesquisa = new PainelFiltroBusca(true, this);
    vertical->addWidget(frameFiltroPesquisa);

    // Two slots a row, so each list is wide enough for a whole line: number, date and a full
    // name (a line's tabs stop every 80 pixels) — five side by side would cut the names.
    auto* grade = new QGridLayout;
    grade->setHorizontalSpacing(12);
    grade->setVerticalSpacing(4);
    const int larguraDaLista = larguraParaUmaLinha(fontMetrics());
    for (int k = 1; k <= 5; ++k) {
        auto* botao = PecasDeBusca::botao(this, QStringLiteral("btnLocalizar") + sufixo(k),
                                          QStringLiteral("Localizar_%1").arg(k, 2, 10, QLatin1Char('0')));
        auto* lista = new ListaDeResultados(this);
        lista->setObjectName(QStringLiteral("lstResultados") + sufixo(k));
        lista->setMinimumWidth(larguraDaLista);
        lista->setMinimumHeight(150);
        btnLocalizar[size_t(k - 1)] = botao;
        lstResultados[size_t(k - 1)] = lista;
        // The card window lends its time-out and its operator's department.
        busca[size_t(k - 1)] = new SlotDeBusca(
            this, frameFiltroPesquisa, botao, lista, [] { return frmPrincipal3::instancia()->timerTimeOut; },
            [] { return frmPrincipal3::instancia()->membros.departamento.idDepartamento; });
        const int linha = (k - 1) / 2 * 2, coluna = (k - 1) % 2;
        grade->addWidget(botao, linha, coluna, Qt::AlignLeft);
        grade->addWidget(lista, linha + 1, coluna);
    }
    vertical->addLayout(grade, 1);

    // A search for card 1 loads the sheet, so the member window goes first.
    busca[0]->antesDeBuscar = [] {
        if (frmPrincipal* membros = frmPrincipal::existente())
            membros->close();
    };

    vertical->addLayout(PecasDeBusca::linhaOkCancelar(this, btnOk, btnCancelar));

    connect(btnOk, &QPushButton::clicked, this, [this] { escolhe(1); });
    // Clicks anywhere in a list (an empty one included) reach its handler, so an empty slot
    // says so instead of ignoring the click.
    for (ListaDeResultados* lista : lstResultados)
        lista->viewport()->installEventFilter(this);
}

bool frmlocalizarcarteira2::eventFilter(QObject* objeto, QEvent* evento)
{
    const bool soltou = evento->type() == QEvent::MouseButtonRelease;
    const bool duplo = evento->type() == QEvent::MouseButtonDblClick;
    if ((soltou || duplo) && static_cast<QMouseEvent*>(evento)->button() == Qt::LeftButton) {
        if (duplo && objeto == lstResultados[0]->viewport()) {
            escolhe(1);
            reject();
            return true;
        }
        for (int k = 2; k <= 5; ++k) {
            if (soltou && objeto == lstResultados[size_t(k - 1)]->viewport()) {
                escolhe(k);
                reject();
                return true;
            }
        }
    }
    return QDialog::eventFilter(objeto, evento);
}

bool frmlocalizarcarteira2::escolhe(int k)
{
    const clsAgenda* membro = busca[size_t(k - 1)]->escolhido();
    if (!membro)
        return false;
    frmPrincipal3* janela = frmPrincipal3::instancia();
    if (k == 1) {
        janela->membros = *membro;
        janela->AtualizaGUI();
    } else {
        janela->AtualizaCarteira(k, *membro);
    }
    return true;
}
