#include "renewal/frmprincipal2.h"
#include "app/Caixas.h"
#include "app/Seams.h"
#include "app/Visualizacao.h"
#include "app/modGlobais.h"
#include "connection/frmLogin.h"
#include "members/FormularioFicha.h"
#include "members/JanelaDeFicha.h"
#include "members/PedidosDaFicha.h"
#include "members/frmPrincipal.h"
#include "renewal/frmlocalizarcarteira.h"
#include "reports/BuscaDeMembros.h"
#include "search/frmLocalizar.h"
#include "search/frmlocalizarigreja.h"

#include <QCloseEvent>
#include <QDateTimeEdit>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QScrollArea>
#include <QTimer>
#include <QStyle>
#include <QToolBar>
#include <QVBoxLayout>

namespace {

using V = ControleDaFicha::Conversao;

const QString origem = QStringLiteral("frmprincipal2");

QPointer<frmprincipal2>& daExecucao()
{
    static QPointer<frmprincipal2> janela;
    return janela;
}

// The member sheet as this window has it. No status, congregation lookup, time picker or
// sheet check; the number box shows the system number and is never written to the record;
// dates are shown as stored (the birth date box shows `niver`); an include fills only the
// "." boxes and the post code; the operator's stamp is the picker's date and time as text.
QList<ControleDaFicha> camposDaJanela()
{
    QList<ControleDaFicha> t = CamposDaFicha::padrao();
    CamposDaFicha::remove(t, {"lblSelecioneCongregacao", "txtsetornome", "lblSelecioneStatus", "txtstatus",
                              "txtstatuscod", "txtdatausuariohora", "txtNFicha2"});
    CamposDaFicha::altera(t, QStringLiteral("txtNFicha"), [](ControleDaFicha& c) {
        c.conversao = V::Texto;
        c.mostraTexto(&clsAgenda::sistema).gravaEm(nullptr).semCopia().semMarcador();
    });
    CamposDaFicha::altera(t, QStringLiteral("txtIGREJA"), [](ControleDaFicha& c) {
        c.tipo = ControleDaFicha::Tipo::Texto;
        c.itens.clear();
    });
    CamposDaFicha::altera(t, QStringLiteral("txtnascido"), [](ControleDaFicha& c) { c.mostraTexto(&clsAgenda::niver); });
    for (ControleDaFicha& c : t)
        if (c.conversao == V::DataTexto)
            c.semMarcador();
    for (const char* n : {"txtcodcong", "txtufcong", "txtcidadecong"})
        CamposDaFicha::altera(t, QString::fromLatin1(n), [](ControleDaFicha& c) { c.semMarcador(); });
    CamposDaFicha::altera(t, QStringLiteral("txtdatausuario"),
                          [](ControleDaFicha& c) { c.conversao = V::DataUsuarioComoTexto; });
    return t;
}

// The toolbar, in order: caption, key.
const JanelaDeFicha::BotaoDaBarra botoesDaBarra[] = {
    {"limpar Cadastro", "btnlimpa"},
    {"Membros", "Membros"},
    {"Imprimir", "BtnImprimi"},
    {"Incluir Cadastro", "btnIncluir"},
    {"Alterar Cadastro", "btnSalvar"},
    {"Localizar Cadastro", "btnLocalizar"},
    {"Excluir Cadastro", "btnExcluir"},
    {"Localizar Igrejas", "btnLocalizarcong"},
    {"Renovar Carteira", "btnRelatorio"},
    {"Logoff", "btnLogoff"},
    {"Sair", "btnSair"},
};

QString loginDoOperador()
{
    const std::optional<clsUsuario>& usuario = globais().usuarioLogado;
    return usuario ? usuario->usuario : QString();
}

} // namespace

frmprincipal2::frmprincipal2(QWidget* parent)
    : QMainWindow(parent), timerTimeOut(JanelaDeFicha::criaTimerTimeOut(this))
{
    if (!daExecucao())
        daExecucao() = this;
    setObjectName(origem);
    setWindowTitle(QStringLiteral(" Renovação de Carteira de Membro"));
    JanelaDeFicha::guardaFichas(this);
    montaTela();
    carregaJanela();
}

frmprincipal2::~frmprincipal2() = default;

void frmprincipal2::abre()
{
    frmprincipal2* janela = instancia();
    janela->show();
    janela->raise();
    janela->activateWindow();
}

frmprincipal2* frmprincipal2::instancia()
{
    if (!daExecucao())
        new frmprincipal2;   // registers itself
    return daExecucao();
}

frmprincipal2* frmprincipal2::existente()
{
    return daExecucao();
}

int frmprincipal2::twipsParaPixels(int twips) const
{
    return qRound(double(twips) * logicalDpiY() / 1440.0);
}

// ---------------------------------------------------------------------------------------------
// Building the window

QGroupBox* frmprincipal2::montaFaixa()
{
    auto* faixa = new QGroupBox;
    faixa->setObjectName(QStringLiteral("frameFicha"));
    auto caixa = [faixa](const char* nome, int largura) {
        auto* e = new QLineEdit(faixa);
        e->setObjectName(QString::fromLatin1(nome));
        if (largura > 0)
            e->setFixedWidth(e->fontMetrics().horizontalAdvance(QLatin1Char('0')) * largura + 14);
        return e;
    };
    txtNFicha2 = caixa("txtNFicha2", 10);
    txtIGREJA2 = caixa("txtIGREJA2", 0);
    txtvalidade2 = caixa("txtvalidade2", 11);
    txtcidadecong2 = caixa("txtcidadecong2", 0);
    txtufcong2 = caixa("txtufcong2", 3);
    txtufcong2->setAlignment(Qt::AlignCenter);

    auto* grade = new QGridLayout(faixa);
    grade->setContentsMargins(8, 6, 8, 6);
    grade->setVerticalSpacing(4);
    auto rotulo = [faixa](const QString& texto, QWidget* caixa) {
        auto* l = new QLabel(texto, faixa);
        l->setObjectName(QStringLiteral("lbl_") + caixa->objectName());
        l->setBuddy(caixa);
        return l;
    };
    grade->addWidget(rotulo(QStringLiteral("Sistema:"), txtNFicha2), 0, 0);
    grade->addWidget(txtNFicha2, 0, 1);
    grade->addWidget(rotulo(QStringLiteral("Igreja:"), txtIGREJA2), 0, 2);
    grade->addWidget(txtIGREJA2, 0, 3, 1, 3);
    grade->addWidget(rotulo(QStringLiteral("Validade:"), txtvalidade2), 1, 0);
    grade->addWidget(txtvalidade2, 1, 1);
    grade->addWidget(rotulo(QStringLiteral("Cidade:"), txtcidadecong2), 1, 2);
    grade->addWidget(txtcidadecong2, 1, 3);
    grade->addWidget(rotulo(QStringLiteral("UF:"), txtufcong2), 1, 4);
    grade->addWidget(txtufcong2, 1, 5);
    grade->setColumnStretch(3, 1);
    faixa->setFixedSize(twipsParaPixels(larguraDaFaixaTwips), twipsParaPixels(alturaDaFaixaTwips));
    return faixa;
}

void frmprincipal2::montaTela()
{
    // The card strip spans the top of the window, above the toolbar, so that a window cut
    // down to the strip's height shows the strip alone.
    auto* topo = new QWidget(this);
    topo->setObjectName(QStringLiteral("topoDaJanela"));
    auto* linhaDoTopo = new QHBoxLayout(topo);
    linhaDoTopo->setContentsMargins(0, 0, 0, 0);
    frameFicha = montaFaixa();
    linhaDoTopo->addWidget(frameFicha);
    linhaDoTopo->addStretch(1);
    setMenuWidget(topo);

    toolMenu = JanelaDeFicha::montaBarra(this, botoesDaBarra, [this](const QString& chave) { executaComando(chave); });
    // Print preview of the strip, beside "Imprimir".
    acaoVisualizar = Visualizacao::criaAcao(this, QStringLiteral("a faixa da carteira"), [this] { VisualizaFaixa(); });
    acaoVisualizar->setIcon(style()->standardIcon(QStyle::SP_FileDialogContentsView));
    toolMenu->insertAction(toolMenu->actions().value(3), acaoVisualizar);

    OpcoesDaFicha opcoes;
    opcoes.filtrosDeTecla = true;
    opcoes.reformataDatas = false;
    opcoes.limpaNaFalha = false;   // a failed refresh leaves what it had not reached
    opcoes.origem = origem;
    ficha = new FormularioFicha(camposDaJanela(), opcoes);
    ficha->setObjectName(QStringLiteral("frameCadastro"));
    ficha->setFrameShape(QFrame::StyledPanel);

    btnLimparFormulario = new QPushButton(QStringLiteral("Limpar Formulario"));
    btnLimparFormulario->setObjectName(QStringLiteral("btnLimparFormulario"));
    btnExportarCSV = new QPushButton(QStringLiteral("Exportar para Arquivo ..."));
    btnExportarCSV->setObjectName(QStringLiteral("btnExportarCSV"));
    auto* botoes = new QHBoxLayout;
    botoes->addWidget(btnLimparFormulario);
    botoes->addStretch(1);
    botoes->addWidget(btnExportarCSV);

    auto* conteudo = new QWidget;
    auto* vertical = new QVBoxLayout(conteudo);
    vertical->setContentsMargins(4, 4, 4, 4);
    vertical->addWidget(ficha);
    vertical->addLayout(botoes);
    vertical->addStretch(1);
    // The sheet scrolls, so the window may be as short as the strip.
    auto* rolagem = new QScrollArea;
    rolagem->setObjectName(QStringLiteral("rolagemCadastro"));
    rolagem->setWidgetResizable(true);
    rolagem->setFrameShape(QFrame::NoFrame);
    rolagem->setWidget(conteudo);
    setCentralWidget(rolagem);
    layout()->setSizeConstraint(QLayout::SetNoConstraint);
    setMinimumSize(480, twipsParaPixels(alturaDaFaixaTwips));

    sbStatusBar = JanelaDeFicha::montaBarraDeStatus(this);

    connect(btnLimparFormulario, &QPushButton::clicked, this, [this] {
        protegido(this, origem + QStringLiteral(".btnLimparFormulario_Click"), [this] { limpaFormulario(); });
    });
    connect(btnExportarCSV, &QPushButton::clicked, this, &frmprincipal2::ExportaCSV);

    resize(1180, 860);
}

// ---------------------------------------------------------------------------------------------
// Loading and refreshing

// Load steps: refresh from the record, the operator's stamp, the date picker.
void frmprincipal2::carregaJanela()
{
    m_precisaCarregar = false;
    AtualizaGUI();
    ficha->defineTexto(QStringLiteral("txtusuario"), QStringLiteral("Usuario OnLine: ") + loginDoOperador());
    if (auto* data = ficha->controle<QDateTimeEdit>(QStringLiteral("txtdatausuario")))
        data->setDateTime(QDateTime::currentDateTime());
}

void frmprincipal2::showEvent(QShowEvent* evento)
{
    if (m_precisaCarregar)
        carregaJanela();
    QMainWindow::showEvent(evento);
}

void frmprincipal2::mostraStatus()
{
    sbStatusBar->setText(QStringLiteral("Usuario: ") + loginDoOperador());
}

void frmprincipal2::AtualizaGUI()
{
    if (ficha->atualiza(membros))
        mostraStatus();
}

void frmprincipal2::AtualizaGUI2(const clsAgenda& carteira)
{
    const QString onde = origem + QStringLiteral(".AtualizaGUI2");
    protegido(this, onde, [&] {
        const std::optional<clsUsuario>& usuario = globais().usuarioLogado;
        if (!usuario)
            throw ErroDeExecucao(onde, QStringLiteral("Nenhum operador conectado (usuarioLogado vazio)"));
        membros.departamento = usuario->departamento;
        txtNFicha2->setText(carteira.sistema);
        txtIGREJA2->setText(carteira.IGREJA);
        txtvalidade2->setText(carteira.validade);
        txtcidadecong2->setText(carteira.cidadecong);
        txtufcong2->setText(carteira.ufcong);
        LimpaLabelsDeErro(this);
        mostraStatus();
    });
}

void frmprincipal2::limpaFormulario()
{
    membros = clsAgenda();
    AtualizaGUI();
}

// ---------------------------------------------------------------------------------------------
// Commands

void frmprincipal2::executaComando(const QString& chave)
{
    protegido(this, origem + QStringLiteral(".toolMenu_ButtonClick"), [&] {
        if (chave == QLatin1String("btnlimpa"))
            limpaFormulario();
        else if (chave == QLatin1String("Membros"))
            abreBuscaDeRenovacao(nullptr);
        else if (chave == QLatin1String("BtnImprimi"))
            ImprimeFaixa();
        else if (chave == QLatin1String("btnIncluir"))
            IncluiNovo();
        else if (chave == QLatin1String("btnSalvar"))
            AlteraCadastro();
        else if (chave == QLatin1String("btnLocalizar"))
            frmLocalizar::mostra(this);
        else if (chave == QLatin1String("btnExcluir"))
            ExcluiCadastro();
        else if (chave == QLatin1String("btnLocalizarcong"))
            frmlocalizarigreja::mostra(this);
        else if (chave == QLatin1String("btnRelatorio"))
            abreBuscaDeRenovacao(this);
        else if (chave == QLatin1String("btnLogoff"))
            Logoff();
        else if (chave == QLatin1String("btnSair"))
            Sair();
    });
}

void frmprincipal2::abreBuscaDeRenovacao(QWidget* dono)
{
    frmlocalizarcarteira::mostra(dono);
}

void frmprincipal2::IncluiNovo()
{
    if (PedidosDaFicha::salvaDoFormulario(this, *ficha, timerTimeOut, membros, AcaoDaFicha::IncluiNovo))
        AtualizaGUI();
}

void frmprincipal2::AlteraCadastro()
{
    if (PedidosDaFicha::salvaDoFormulario(this, *ficha, timerTimeOut, membros, AcaoDaFicha::Altera))
        AtualizaGUI();
}

void frmprincipal2::ExcluiCadastro()
{
    if (!PedidosDaFicha::confirmaExclusao(this, membros))
        return;
    const QPointer<frmprincipal2> eu(this);
    const bool excluiu = PedidosDaFicha::EnviaExcluir(this, timerTimeOut, membros);
    if (!eu)
        return;
    if (excluiu)
        membros = clsAgenda();
    AtualizaGUI();
}

// "Imprimir": the window cut down to the card strip is printed on the default printer, then
// left at its after-print height.
void frmprincipal2::ImprimeFaixa()
{
    resize(width(), twipsParaPixels(alturaDaFaixaTwips));

    struct Restaura {
        frmprincipal2* janela;
        ~Restaura() { janela->resize(janela->width(), janela->twipsParaPixels(alturaAposImprimirTwips)); }
    } restaura{this};

    // What the cut-down window shows is the strip: it is drawn by itself, so that the status
    // bar squeezed over it does not get onto the paper.
    JanelaDeFicha::imprimeComoNaTela(frameFicha, JanelaDeFicha::Impressao::Desenho,
                                     origem + QStringLiteral(".BtnImprimi"));
}

void frmprincipal2::VisualizaFaixa()
{
    protegido(this, origem + QStringLiteral(".VisualizarImpressao"), [&] {
        // The strip is taken exactly as "Imprimir" takes it; the window then gets its height back.
        const int antes = height();
        resize(width(), twipsParaPixels(alturaDaFaixaTwips));
        JanelaDeFicha::Captura c = JanelaDeFicha::captura(frameFicha, JanelaDeFicha::Impressao::Desenho);
        resize(width(), antes);
        Visualizacao::mostra(this, windowTitle().trimmed(), [&](QPrinter& p) {
            JanelaDeFicha::pinta(c, p, origem + QStringLiteral(".VisualizarImpressao"));
            return true;
        });
    });
}

void frmprincipal2::ExportaCSV()
{
    const QPointer<frmprincipal2> eu(this);
    ExportaDepartamentoCSV(this, timerTimeOut, membros.departamento.idDepartamento);
    if (eu)
        AtualizaGUI();
}

// ---------------------------------------------------------------------------------------------
// Leaving

void frmprincipal2::fechaPorCodigo()
{
    m_fechandoPorCodigo = true;
    close();
    m_fechandoPorCodigo = false;
}

void frmprincipal2::Sair()
{
    JanelaDeFicha::voltaAosMembros([this] { fechaPorCodigo(); });
    for (QLineEdit* e : {txtNFicha2, txtIGREJA2, txtvalidade2, txtcidadecong2, txtufcong2})
        e->clear();
}

void frmprincipal2::Logoff()
{
    if (daExecucao() == this)
        daExecucao() = nullptr;
    JanelaDeFicha::descartaNoLogoff(this, [this] { fechaPorCodigo(); });
}

void frmprincipal2::closeEvent(QCloseEvent* evento)
{
    // The operator's close box asks first; a close by the program (Sair, log-off, the end of
    // the program) does not.
    if (JanelaDeFicha::fecha(this, evento, !m_fechandoPorCodigo && evento->spontaneous() && !encerrandoAplicacao()))
        m_precisaCarregar = true;
}
