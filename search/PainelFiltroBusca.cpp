#include "search/PainelFiltroBusca.h"
#include "members/UtilFicha.h"
#include "protocol/ErroDeExecucao.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>

namespace {

QLabel* rotuloDeErro(const char* nome, QWidget* pai)
{
    auto* l = new QLabel(pai);
    l->setObjectName(QString::fromLatin1(nome));
    l->setStyleSheet(QStringLiteral("color: #c00000;"));
    l->setMinimumWidth(l->fontMetrics().horizontalAdvance(QStringLiteral("Valor numérico inválido")) + 4);
    UtilFicha::marcaComoLabelDeErro(l);
    return l;
}

QLineEdit* caixa(const char* nome, QWidget* pai)
{
    auto* e = new QLineEdit(pai);
    e->setObjectName(QString::fromLatin1(nome));
    return e;
}

} // namespace

PainelFiltroBusca::PainelFiltroBusca(bool filtrosDeTecla, QWidget* parent)
    : QGroupBox(QStringLiteral("Filtro Pesquisa"), parent),
      txtNFicha(caixa("txtNFicha", this)),
      txtNome(caixa("txtNome", this)),
      txtDataInicial(caixa("txtDataInicial", this)),
      txtDataFinal(caixa("txtDataFinal", this)),
      lblNFichaErro(rotuloDeErro("lblNFichaErro", this)),
      lblNomeErro(rotuloDeErro("lblNomeErro", this)),
      lblDataInicialErro(rotuloDeErro("lblDataInicialErro", this)),
      lblDataFinalErro(rotuloDeErro("lblDataFinalErro", this))
{
    setObjectName(QStringLiteral("frameFiltroPesquisa"));
    txtNome->setMaxLength(100);
    const int largura = txtDataInicial->fontMetrics().horizontalAdvance(QStringLiteral("00/00/00000")) + 14;
    txtNFicha->setFixedWidth(largura);
    txtDataInicial->setFixedWidth(largura);
    txtDataFinal->setFixedWidth(largura);
    if (filtrosDeTecla) {
        UtilFicha::instalaFiltro(txtNFicha, ControleDaFicha::Filtro::Digitos);
        UtilFicha::instalaFiltro(txtNome, ControleDaFicha::Filtro::Nome);
        UtilFicha::instalaFiltro(txtDataInicial, ControleDaFicha::Filtro::Data);
        UtilFicha::instalaFiltro(txtDataFinal, ControleDaFicha::Filtro::Data);
    }

    auto rotulo = [this](const char* nome, const QString& texto, QWidget* buddy) {
        auto* l = new QLabel(texto, this);
        l->setObjectName(QString::fromLatin1(nome));
        l->setBuddy(buddy);
        return l;
    };
    auto* g = new QGridLayout(this);
    g->addWidget(rotulo("lblNFicha", QStringLiteral("N. Ficha:"), txtNFicha), 0, 0);
    g->addWidget(txtNFicha, 0, 1);
    g->addWidget(lblNFichaErro, 0, 2);
    g->addWidget(rotulo("lblNome", QStringLiteral("Nome:"), txtNome), 1, 0);
    g->addWidget(txtNome, 1, 1, 1, 4);
    g->addWidget(lblNomeErro, 1, 5);
    g->addWidget(rotulo("lblDataInicial", QStringLiteral("Dt. Inicial:"), txtDataInicial), 2, 0);
    g->addWidget(txtDataInicial, 2, 1);
    g->addWidget(lblDataInicialErro, 2, 2);
    g->addWidget(rotulo("lblDataFinal", QStringLiteral("Dt. Final:"), txtDataFinal), 2, 3);
    g->addWidget(txtDataFinal, 2, 4);
    g->addWidget(lblDataFinalErro, 2, 5);
    g->setColumnStretch(2, 1);
    g->setColumnStretch(5, 1);
}

bool PainelFiltroBusca::ValidaFiltro()
{
    bool outrosValidos = true;
    const QString numero = txtNFicha->text();
    if (!numero.isEmpty() && !UtilFicha::numeroInteiro(numero)) {
        lblNFichaErro->setText(QStringLiteral("Valor numérico inválido"));
        outrosValidos = false;
    } else {
        lblNFichaErro->clear();
    }
    const QString nome = txtNome->text();
    if (nome.contains(u'|') || nome.contains(QStringLiteral("@@@"))) {
        lblNomeErro->setText(nome.contains(u'|') ? QStringLiteral("Caractere inválido: |")
                                                 : QStringLiteral("Caractere inválido: @@@"));
        outrosValidos = false;
    } else {
        lblNomeErro->clear();
    }

    const QString inicial = txtDataInicial->text();
    const QString final_ = txtDataFinal->text();
    bool valido = true;
    if (!inicial.isEmpty() && !UtilFicha::ValidaData(inicial)) {
        lblDataInicialErro->setText(QStringLiteral("Valor de data inválido"));
        valido = false;
    } else {
        lblDataInicialErro->clear();
    }
    if (!final_.isEmpty() && !UtilFicha::ValidaData(final_)) {
        lblDataFinalErro->setText(QStringLiteral("Valor de data inválido"));
        valido = false;
    } else {
        lblDataFinalErro->clear();
    }
    if (valido) {
        const QString intervalo = QStringLiteral("Intervalo Inválido");
        if (inicial.isEmpty() != final_.isEmpty()) {
            lblDataInicialErro->setText(intervalo);
            lblDataFinalErro->setText(intervalo);
            valido = false;
        } else if (inicial.isEmpty()) {
            lblDataInicialErro->clear();
            lblDataFinalErro->clear();
        } else if (UtilFicha::leDataValidada(inicial, QString()) > UtilFicha::leDataValidada(final_, QString())) {
            lblDataInicialErro->setText(intervalo);
            lblDataFinalErro->setText(intervalo);
            valido = false;
        }
    }
    return valido && outrosValidos;
}

clsFiltroBusca PainelFiltroBusca::montaFiltro(qint32 idDepartamento) const
{
    const QString origem = QStringLiteral("clsFiltroBusca");
    clsFiltroBusca filtro;
    if (!txtNFicha->text().isEmpty()) {
        const std::optional<qint32> n = UtilFicha::numeroInteiro(txtNFicha->text());
        if (!n)
            throw ErroDeExecucao(origem, QStringLiteral("N. Ficha inválido: %1").arg(txtNFicha->text()));
        filtro.numeroFicha = *n;
    }
    filtro.nome = txtNome->text();
    filtro.departamento.idDepartamento = idDepartamento;
    if (!txtDataInicial->text().isEmpty())
        filtro.dataInicial = UtilFicha::leDataValidada(txtDataInicial->text(), origem);
    if (!txtDataFinal->text().isEmpty())
        filtro.dataFinal = UtilFicha::leDataValidada(txtDataFinal->text(), origem);
    return filtro;
}
