#include "reports/frmAniversariantes.h"

#include "app/Caixas.h"
#include "app/Seams.h"
#include "app/Visualizacao.h"
#include "app/modGlobais.h"
#include "members/frmPrincipal.h"
#include "reports/BuscaDeMembros.h"
#include "reports/JanelaDeRelatorio.h"
#include "reports/clsImpressora.h"
#include "reports/clsRelatorios.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

const QString origem = QStringLiteral("frmAniversariantes");

QTreeWidget* novaLista(QWidget* dono, const char* nome, const QStringList& colunas)
{
    auto* l = new QTreeWidget(dono);
    l->setObjectName(QString::fromLatin1(nome));
    l->setRootIsDecorated(false);
    l->setUniformRowHeights(true);
    l->setHeaderLabels(colunas);
    l->setSelectionMode(QAbstractItemView::SingleSelection);
    return l;
}

} // namespace

frmAniversariantes* frmAniversariantes::abre(QWidget* dono, frmPrincipal* principal)
{
    frmAniversariantes* janela = dono ? dono->findChild<frmAniversariantes*>(QString(), Qt::FindDirectChildrenOnly)
                                      : nullptr;
    if (!janela)
        janela = new frmAniversariantes(dono, principal);
    janela->show();
    janela->raise();
    janela->activateWindow();
    return janela;
}

frmAniversariantes::frmAniversariantes(QWidget* dono, frmPrincipal* principal)
    : QWidget(dono, Qt::Window), m_principal(principal)
{
    JanelaDeRelatorio::prepara(this, "frmAniversariantes", QStringLiteral("Aniversariantes do Mês"));

    auto* rotuloMes = new QLabel(QStringLiteral("&Mês:"), this);
    cboMes = new QComboBox(this);
    cboMes->setObjectName(QStringLiteral("cboMes"));
    for (int m = 1; m <= 12; ++m)
        cboMes->addItem(Aniversariantes::nomeDoMes(m), m);
    cboMes->setCurrentIndex(QDate::currentDate().month() - 1);
    rotuloMes->setBuddy(cboMes);
    // In December the secretary prints January's list: the ages are those turned in the year
    // chosen here.
    auto* rotuloAno = new QLabel(QStringLiteral("A&no:"), this);
    spnAno = new QSpinBox(this);
    spnAno->setObjectName(QStringLiteral("spnAno"));
    spnAno->setRange(1900, 2200);
    spnAno->setValue(QDate::currentDate().year());
    spnAno->setToolTip(QStringLiteral("O ano em que as idades são completadas"));
    rotuloAno->setBuddy(spnAno);

    btnBuscar = JanelaDeRelatorio::botao(this, QStringLiteral("&Buscar"), "btnBuscar");
    btnBuscar->setDefault(true);
    btnImprimir = JanelaDeRelatorio::botao(this, QStringLiteral("&Imprimir"), "btnImprimir");
    btnImprimir->setToolTip(QStringLiteral("Imprime os aniversariantes do mês na impressora padrão"));
    const auto comuns = JanelaDeRelatorio::botoesComuns(this, QStringLiteral("as páginas dos aniversariantes do mês"));
    btnVisualizar = comuns.visualizar;
    btnExportarCSV = comuns.exportarCSV;
    btnFechar = comuns.fechar;

    lstAniversariantes = novaLista(this, "lstAniversariantes",
                               {QStringLiteral("Dia"), QStringLiteral("Nome"), QStringLiteral("Idade"),
                                QStringLiteral("Congregação"), QStringLiteral("Telefone")});
    lstSemData = novaLista(this, "lstSemData",
                       {QStringLiteral("N.Ficha"), QStringLiteral("Nome"), QStringLiteral("Nascido em"),
                        QStringLiteral("Congregação"), QStringLiteral("Telefone")});
    lstSemData->setMaximumHeight(130);
    lblResumo = new QLabel(this);
    lblResumo->setObjectName(QStringLiteral("lblResumo"));
    auto* rotuloSemData = new QLabel(QStringLiteral("Fichas sem data de nascimento válida:"), this);

    auto* topo = new QHBoxLayout;
    topo->addWidget(rotuloMes);
    topo->addWidget(cboMes);
    topo->addWidget(rotuloAno);
    topo->addWidget(spnAno);
    topo->addWidget(btnBuscar);
    topo->addStretch(1);
    auto* botoes = new QHBoxLayout;
    botoes->addWidget(btnExportarCSV);
    botoes->addStretch(1);
    botoes->addWidget(btnVisualizar);
    botoes->addWidget(btnImprimir);
    botoes->addWidget(btnFechar);
    auto* principalLayout = new QVBoxLayout(this);
    principalLayout->addLayout(topo);
    principalLayout->addWidget(lstAniversariantes, 1);
    principalLayout->addWidget(lblResumo);
    principalLayout->addWidget(rotuloSemData);
    principalLayout->addWidget(lstSemData);
    principalLayout->addLayout(botoes);

    connect(btnBuscar, &QPushButton::clicked, this, [this] { busca(); });
    connect(btnImprimir, &QPushButton::clicked, this, &frmAniversariantes::btnImprimir_Click);
    connect(btnVisualizar, &QPushButton::clicked, this, &frmAniversariantes::btnVisualizar_Click);
    connect(btnExportarCSV, &QPushButton::clicked, this, &frmAniversariantes::btnExportarCSV_Click);
    connect(btnFechar, &QPushButton::clicked, this, &QWidget::close);
    resize(640, 520);
}

QDate frmAniversariantes::hoje() const
{
    return m_hoje.isValid() ? m_hoje : QDate::currentDate();
}

bool frmAniversariantes::busca()
{
    const QPointer<frmAniversariantes> eu(this);
    bool achou = false;
    protegido(this, origem, [&] {
        if (!m_principal)
            throw ErroDeExecucao(origem, QStringLiteral("A janela de cadastro de membros não está aberta"));
        clsFiltroBusca filtro;
        filtro.departamento.idDepartamento = m_principal->membros.departamento.idDepartamento;
        const std::optional<QList<clsAgenda>> membros = BuscaMembros(this, m_principal->timerTimeOut, filtro);
        if (!eu || !membros)
            return;
        m_lista = Aniversariantes::monta(*membros, cboMes->currentData().toInt(), spnAno->value(), hoje());
        mostraLista();
        achou = !membros->isEmpty();
    });
    return eu && achou;
}

void frmAniversariantes::mostraLista()
{
    lstAniversariantes->clear();
    lstSemData->clear();
    QList<QTreeWidgetItem*> itens;
    for (const Aniversariantes::Aniversariante& a : m_lista.aniversariantes) {
        itens.append(new QTreeWidgetItem({QStringLiteral("%1").arg(a.dia, 2, 10, QLatin1Char('0')), a.nome,
                                          QString::number(a.idade), a.congregacao, a.telefone}));
    }
    lstAniversariantes->addTopLevelItems(itens);
    itens.clear();
    for (const Aniversariantes::SemData& s : m_lista.semData)
        itens.append(new QTreeWidgetItem({QString::number(s.numeroFicha), s.nome, s.nascido, s.congregacao, s.telefone}));
    lstSemData->addTopLevelItems(itens);
    for (QTreeWidget* l : {lstAniversariantes, lstSemData})
        for (int c = 0; c < l->columnCount(); ++c)
            l->resizeColumnToContents(c);
    lblResumo->setText(QStringLiteral("%1: %2 aniversariante(s) em %3")
                           .arg(Aniversariantes::nomeDoMes(m_lista.mes))
                           .arg(m_lista.aniversariantes.size())
                           .arg(m_lista.ano));
}

void frmAniversariantes::btnImprimir_Click()
{
    const QPointer<frmAniversariantes> eu(this);
    if (!busca() || !eu)
        return;
    bool impresso = false;
    try {
        if (globais().impressora) {
            globais().impressora->Imprime(Aniversariantes::texto(m_lista), QStringLiteral("Aniversariantes do Mês"));
            impresso = true;
        }
    } catch (const std::exception&) {
        impresso = false;
    }
    if (impresso)
        Caixas::mostra(this,
                       QStringLiteral("O relatório foi gerado com sucesso e enviado para a impressora padrão do "
                                      "sistema operacional"),
                       QStringLiteral("Relatório Gerado com Sucesso"), Caixas::Icone::Informacao);
    else
        Caixas::mostra(this,
                       QStringLiteral("O sistema não conseguiu gerar o relatório, verifique se você possui uma "
                                      "impressora padrão instalada e ativa"),
                       QStringLiteral("Erro ao Imprimir Relatório"), Caixas::Icone::Erro);
}

void frmAniversariantes::btnVisualizar_Click()
{
    const QPointer<frmAniversariantes> eu(this);
    if (!busca() || !eu)
        return;
    const QString texto = Aniversariantes::texto(m_lista);
    const std::shared_ptr<clsImpressora> impressora =
        globais().impressora ? globais().impressora : std::make_shared<clsImpressora>();
    Visualizacao::mostra(this, QStringLiteral("Aniversariantes de %1").arg(Aniversariantes::nomeDoMes(m_lista.mes)),
                         [&](QPrinter& p) {
                             impressora->ImprimeEm(p, texto);
                             return true;
                         });
}

void frmAniversariantes::btnExportarCSV_Click()
{
    const QPointer<frmAniversariantes> eu(this);
    const QString arquivo = DialogoArquivo::salvar(this, QStringLiteral("Salvar Aniversariantes do Mês ..."),
                                                   QStringLiteral("Arquivo CSV (*.csv) | *.csv"));
    if (arquivo.isEmpty() || !busca() || !eu)
        return;
    if (clsRelatorios::gravaArquivo(arquivo, Aniversariantes::csv(m_lista)))
        Caixas::mostra(this, QStringLiteral("Arquivo gerado em: ") + arquivo, QStringLiteral("Exportado com Sucesso"),
                       Caixas::Icone::Informacao);
    else
        Caixas::mostra(this,
                       QStringLiteral("O sistema não conseguiu exportar o relatório, verifique se você possui "
                                      "permissão de escrita na pasta selecionada."),
                       QStringLiteral("Erro ao Exportar Relatório"), Caixas::Icone::Erro);
}
