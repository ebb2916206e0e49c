#include "reports/frmRelatorio.h"

#include "app/Caixas.h"
#include "app/FiltroDeTeclas.h"
#include "app/modGlobais.h"
#include "app/modUtil.h"
#include "members/frmPrincipal.h"
#include "protocol/FormatoBR.h"
#include "reports/BuscaDeMembros.h"
#include "reports/clsImpressora.h"
#include "reports/clsRelatorios.h"
#include "reports/JanelaDeRelatorio.h"
#include "reports/frmAniversariantes.h"
#include "app/Visualizacao.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

const QString origem = QStringLiteral("frmRelatorio");

QLabel* rotuloDeErro(QWidget* dono, const char* nome)
{
    auto* l = new QLabel(dono);
    l->setObjectName(QString::fromLatin1(nome));
    l->setStyleSheet(QStringLiteral("color: #c00000;"));
    l->setMinimumWidth(150);
    marcaComoLabelDeErro(l);
    return l;
}

// A date the box holds, or an invalid date when the text is not one.
QDate dataDe(const QLineEdit* caixa)
{
    return DataDe(caixa->text());
}

} // namespace

frmRelatorio::frmRelatorio(frmPrincipal* principal)
    : QWidget(principal, Qt::Window), m_principal(principal)
{
    JanelaDeRelatorio::prepara(this, "frmRelatorio", QStringLiteral("Relatório"));

    frameFiltroPesquisa = new QGroupBox(QStringLiteral("Intervalo de Data"), this);
    frameFiltroPesquisa->setObjectName(QStringLiteral("frameFiltroPesquisa"));
    lblDataInicial = new QLabel(QStringLiteral("Dt. Inicial:"), frameFiltroPesquisa);
    lblDataInicial->setObjectName(QStringLiteral("lblDataInicial"));
    txtDataInicial = new QLineEdit(frameFiltroPesquisa);
    txtDataInicial->setObjectName(QStringLiteral("txtDataInicial"));
    lblDataInicialErro = rotuloDeErro(frameFiltroPesquisa, "lblDataInicialErro");
    lblDataFinal = new QLabel(QStringLiteral("Dt. Final:"), frameFiltroPesquisa);
    lblDataFinal->setObjectName(QStringLiteral("lblDataFinal"));
    txtDataFinal = new QLineEdit(frameFiltroPesquisa);
    txtDataFinal->setObjectName(QStringLiteral("txtDataFinal"));
    lblDataFinalErro = rotuloDeErro(frameFiltroPesquisa, "lblDataFinalErro");
    lblDataInicial->setBuddy(txtDataInicial);
    lblDataFinal->setBuddy(txtDataFinal);

    for (QLineEdit* caixa : {txtDataInicial, txtDataFinal}) {
        caixa->setPlaceholderText(QStringLiteral("dd/mm/aaaa"));
        caixa->setFixedWidth(90);
        FiltroDeTeclas::Numerico teclas;
        teclas.barra = true;
        teclas.ctrlC = true;
        FiltroDeTeclas::instalaNumerico(caixa, teclas);
    }

    auto* grade = new QGridLayout(frameFiltroPesquisa);
    grade->addWidget(lblDataInicial, 0, 0);
    grade->addWidget(txtDataInicial, 0, 1);
    grade->addWidget(lblDataInicialErro, 0, 2);
    grade->addWidget(lblDataFinal, 1, 0);
    grade->addWidget(txtDataFinal, 1, 1);
    grade->addWidget(lblDataFinalErro, 1, 2);
    grade->setColumnStretch(2, 1);

    btnOk = JanelaDeRelatorio::botao(this, QStringLiteral("OK"), "btnOk");
    btnOk->setDefault(true);
    const auto comuns = JanelaDeRelatorio::botoesComuns(this, QStringLiteral("as páginas do relatório"));
    btnVisualizar = comuns.visualizar;
    btnExportarCSV = comuns.exportarCSV;
    btnFechar = comuns.fechar;
    btnAniversariantes = JanelaDeRelatorio::botao(this, QStringLiteral("&Aniversariantes do Mês ..."), "btnAniversariantes");
    btnAniversariantes->setToolTip(QStringLiteral("Os membros do departamento que fazem aniversário num mês"));

    auto* botoes = new QHBoxLayout;
    botoes->addWidget(btnExportarCSV);
    botoes->addWidget(btnAniversariantes);
    botoes->addStretch(1);
    botoes->addWidget(btnVisualizar);
    botoes->addWidget(btnOk);
    botoes->addWidget(btnFechar);

    auto* principalLayout = new QVBoxLayout(this);
    principalLayout->addWidget(frameFiltroPesquisa);
    principalLayout->addLayout(botoes);

    connect(btnOk, &QPushButton::clicked, this, &frmRelatorio::btnOk_Click);
    connect(btnExportarCSV, &QPushButton::clicked, this, &frmRelatorio::btnExportarCSV_Click);
    connect(btnFechar, &QPushButton::clicked, this, &frmRelatorio::btnFechar_Click);
    connect(btnVisualizar, &QPushButton::clicked, this, &frmRelatorio::btnVisualizar_Click);
    connect(btnAniversariantes, &QPushButton::clicked, this, &frmRelatorio::btnAniversariantes_Click);

    setMinimumWidth(420);
}

frmPrincipal* frmRelatorio::principal() const
{
    if (!m_principal)
        throw ErroDeExecucao(origem, QStringLiteral("A janela de cadastro de membros não está aberta"));
    return m_principal;
}

bool frmRelatorio::ValidaFiltro()
{
    bool valido = true;

    // Each box's own check; the end date's never clears a mark the start date set.
    const auto confere = [&](QLineEdit* caixa, QLabel* rotulo, bool marca) {
        if (caixa->text().isEmpty()) {
            rotulo->setText(QStringLiteral("Campo obrigatório"));
            valido = false;
        } else if (!dataDe(caixa).isValid()) {
            rotulo->setText(QStringLiteral("Valor de data inválido"));
            valido = false;
        } else {
            rotulo->clear();
            if (marca)
                valido = true;
        }
    };
    confere(txtDataInicial, lblDataInicialErro, true);
    confere(txtDataFinal, lblDataFinalErro, false);

    if (valido) {
        if (dataDe(txtDataInicial) > dataDe(txtDataFinal)) {
            lblDataInicialErro->setText(QStringLiteral("Intervalo Inválido"));
            lblDataFinalErro->setText(QStringLiteral("Intervalo Inválido"));
            valido = false;
        } else {
            lblDataInicialErro->clear();
            lblDataFinalErro->clear();
        }
    }
    return valido;
}

void frmRelatorio::btnOk_Click()
{
    const QPointer<frmRelatorio> eu(this);
    protegido(this, origem, [&] {
        if (!ValidaFiltro())
            return;
        const std::optional<QList<clsAgenda>> membros = buscaDoRelatorio();
        if (!eu)
            return;   // closed during the wait
        if (membros && !membros->isEmpty()) {
            if (clsRelatorios().totalPorIntervaloDeData(*membros)) {
                Caixas::mostra(this,
                               QStringLiteral("O relatório foi gerado com sucesso e enviado para a impressora padrão "
                                              "do sistema operacional"),
                               QStringLiteral("Relatório Gerado com Sucesso"), Caixas::Icone::Informacao);
            } else {
                Caixas::mostra(this,
                               QStringLiteral("O sistema não conseguiu gerar o relatório, verifique se você possui "
                                              "uma impressora padrão instalada e ativa"),
                               QStringLiteral("Erro ao Imprimir Relatório"), Caixas::Icone::Erro);
            }
        }
        if (eu)
            LimpaLabelsDeErro(this);
    });
}

std::optional<QList<clsAgenda>> frmRelatorio::buscaDoRelatorio()
{
    clsFiltroBusca filtro;
    filtro.departamento.idDepartamento = principal()->membros.departamento.idDepartamento;
    filtro.dataInicial = dataDe(txtDataInicial);
    filtro.dataFinal = dataDe(txtDataFinal);
    return BuscaMembros(this, principal()->timerTimeOut, filtro);
}

// The pages "OK" would print, on screen: same dates check, same search, same text and font.
void frmRelatorio::btnVisualizar_Click()
{
    const QPointer<frmRelatorio> eu(this);
    protegido(this, origem, [&] {
        if (!ValidaFiltro())
            return;
        const std::optional<QList<clsAgenda>> membros = buscaDoRelatorio();
        if (!eu)
            return;
        if (membros && !membros->isEmpty()) {
            const QString texto = clsRelatorios::montaRelatorio(*membros, QStringLiteral("Total: "));
            const std::shared_ptr<clsImpressora> impressora =
                globais().impressora ? globais().impressora : std::make_shared<clsImpressora>();
            Visualizacao::mostra(this, QStringLiteral("Relatório"), [&](QPrinter& p) {
                impressora->ImprimeEm(p, texto);
                return true;
            });
        }
        if (eu)
            LimpaLabelsDeErro(this);
    });
}

void frmRelatorio::btnAniversariantes_Click()
{
    protegido(this, origem, [&] { frmAniversariantes::abre(this, principal()); });
}

void frmRelatorio::btnExportarCSV_Click()
{
    const QPointer<frmRelatorio> eu(this);
    qint32 departamento = 0;
    QTimer* timer = nullptr;
    if (!protegido(this, origem, [&] {
            departamento = principal()->membros.departamento.idDepartamento;
            timer = principal()->timerTimeOut;
        }))
        return;
    ExportaDepartamentoCSV(this, timer, departamento);
    if (eu)
        LimpaLabelsDeErro(this);
}

void frmRelatorio::btnFechar_Click()
{
    close();
}
