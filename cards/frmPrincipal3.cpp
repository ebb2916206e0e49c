#include "cards/frmPrincipal3.h"
#include "app/Caixas.h"
#include "app/Seams.h"
#include "app/modGlobais.h"
#include "cards/FrmConfig.h"
#include "app/Visualizacao.h"
#include "cards/frmlocalizarcarteira2.h"
#include "connection/frmLogin.h"
#include "members/FormularioFicha.h"
#include "members/JanelaDeFicha.h"
#include "members/PedidosDaFicha.h"
#include "members/frmPrincipal.h"
#include "renewal/frmlocalizarcarteira.h"
#include "search/frmLocalizar.h"
#include "search/frmlocalizarigreja.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDateTimeEdit>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QScrollArea>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

using V = ControleDaFicha::Conversao;

const QString origem = QStringLiteral("frmPrincipal3");

QPointer<frmPrincipal3>& daExecucao()
{
    static QPointer<frmPrincipal3> janela;
    return janela;
}

QFont arial()
{
    QFont f(QStringLiteral("Arial"));
    f.setStyleHint(QFont::SansSerif);
    return f;
}

// The member sheet as this window has it: the sheet-number boxes show `sistema` (front and
// back of card 1), the congregation box is a plain text box, `txtcidadecong` carries the
// sector name, dates are shown as stored and only the member window's placeholders of an
// include remain.
QList<ControleDaFicha> camposDaJanela()
{
    QList<ControleDaFicha> t = CamposDaFicha::padrao();
    CamposDaFicha::remove(t, {"lblSelecioneCongregacao", "lblSelecioneStatus", "txtsetornome", "txtstatus",
                              "txtstatuscod", "txtdatausuariohora", "txtNFicha2"});
    CamposDaFicha::altera(t, QStringLiteral("txtNFicha"), [](ControleDaFicha& c) {
        c.conversao = V::Texto;
        c.mostraTexto(&clsAgenda::sistema).gravaEm(nullptr).semCopia().semMarcador();
    });
    ControleDaFicha verso;
    verso.nome = QStringLiteral("txtNFichaverso");
    verso.rotulo = QStringLiteral("Verso:");
    verso.conversao = V::Texto;
    verso.mostraTexto(&clsAgenda::sistema).semCopia().na(0, 9);
    CamposDaFicha::insere(t, QStringLiteral("txtNFicha"), verso);
    CamposDaFicha::altera(t, QStringLiteral("txtIGREJA"), [](ControleDaFicha& c) {
        c.tipo = ControleDaFicha::Tipo::Texto;
        c.itens.clear();
        c.max(100);
    });
    CamposDaFicha::altera(t, QStringLiteral("txtcidadecong"), [](ControleDaFicha& c) {
        c.mostraTexto(&clsAgenda::setornome).gravaEm(nullptr).semCopia().semMarcador();
    });
    for (const char* n : {"txtcodcong", "txtufcong"})
        CamposDaFicha::altera(t, QString::fromLatin1(n), [](ControleDaFicha& c) { c.semMarcador(); });
    CamposDaFicha::altera(t, QStringLiteral("txtuf"), [](ControleDaFicha& c) { c.max(0); });
    for (ControleDaFicha& c : t) {
        if (c.conversao == V::DataTexto) {
            c.conversao = V::Texto;
            c.semMarcador();
        }
        c.limpaNaFalha = false;
    }
    // The birth date box shows `niver`, which the original refresh writes last.
    CamposDaFicha::altera(t, QStringLiteral("txtnascido"), [](ControleDaFicha& c) { c.mostraTexto(&clsAgenda::niver); });
    return t;
}

} // namespace

frmPrincipal3::frmPrincipal3(QWidget* parent) : QMainWindow(parent)
{
    setObjectName(QStringLiteral("frmPrincipal3"));
    setWindowTitle(QStringLiteral("Carteirinha de Membros"));
    JanelaDeFicha::guardaFichas(this);
    timerTimeOut = new QTimer(this);
    timerTimeOut->setObjectName(QStringLiteral("timerTimeOut"));
    timerTimeOut->setSingleShot(true);
    montaTela();
    if (!daExecucao())
        daExecucao() = this;
}

frmPrincipal3::~frmPrincipal3() = default;

frmPrincipal3* frmPrincipal3::existente()
{
    return daExecucao();
}

frmPrincipal3* frmPrincipal3::instancia()
{
    if (!daExecucao())
        new frmPrincipal3;   // registers itself
    return daExecucao();
}

void frmPrincipal3::abre()
{
    frmPrincipal3* janela = instancia();
    janela->show();
    janela->raise();
    janela->activateWindow();
}

// ---------------------------------------------------------------------------------------------
// Building the window

void frmPrincipal3::montaTela()
{
    OpcoesDaFicha opcoes;
    opcoes.filtrosDeTecla = true;
    opcoes.reformataDatas = false;
    opcoes.limpaNaFalha = false;
    opcoes.origem = origem;
    ficha = new FormularioFicha(camposDaJanela(), opcoes);
    ficha->setObjectName(QStringLiteral("frameFicha"));
    ficha->setFrameShape(QFrame::StyledPanel);

    for (int i = 0; i < camposPorCarteira; ++i) {
        auto* caixa = ficha->controle<QLineEdit>(QString::fromLatin1(camposDaCarteira()[size_t(i)].caixaCarteira1));
        m_caixas[0][size_t(i)] = caixa;
        if (caixa)
            caixa->setFont(arial());
    }

    btnLimparFormulario = new QPushButton(QStringLiteral("Limpar Formulario"));
    btnLimparFormulario->setObjectName(QStringLiteral("btnLimparFormulario"));
    connect(btnLimparFormulario, &QPushButton::clicked, this,
            [this] { protegido(this, origem + QStringLiteral(".btnLimparFormulario_Click"), [this] { limpaFormulario(); }); });
    ficha->adicionaApos(QStringLiteral("txtusuario"), btnLimparFormulario);

    auto* central = new QWidget;
    auto* vertical = new QVBoxLayout(central);
    vertical->setContentsMargins(6, 6, 6, 6);
    vertical->addWidget(ficha);
    vertical->addWidget(montaCarteiras());
    vertical->addStretch(1);
    auto* rolagem = new QScrollArea;
    rolagem->setWidgetResizable(true);
    rolagem->setFrameShape(QFrame::NoFrame);
    rolagem->setWidget(central);
    setCentralWidget(rolagem);

    // Toolbar: the commands are told apart by their key.
    using B = JanelaDeFicha::BotaoDaBarra;
    static const B botoes[] = {
        {"limpar Cadastro", "btnlimpa", nullptr, QStyle::SP_FileIcon},
        {"Membros", "Membros", nullptr, QStyle::SP_FileDialogContentsView},
        {"Imprimir", "BtnImprimi", nullptr, QStyle::SP_DesktopIcon},
        {"Incluir Cadastro", "btnIncluir", nullptr, QStyle::SP_FileDialogNewFolder},
        {"Alterar Cadastro", "btnSalvar", nullptr, QStyle::SP_DialogSaveButton},
        {"Localizar Cadastro", "btnLocalizar", nullptr, QStyle::SP_FileDialogDetailedView},
        {"Excluir Cadastro", "btnExcluir", nullptr, QStyle::SP_TrashIcon},
        {"Localizar Igrejas", "btnLocalizarcong", nullptr, QStyle::SP_DirHomeIcon},
        {"Renovar Carteira", "btnRelatorio", nullptr, QStyle::SP_BrowserReload},
        {"Logoff", "btnLogoff", nullptr, QStyle::SP_DialogResetButton},
        {"Sair", "btnSair", nullptr, QStyle::SP_DialogCloseButton},
    };
    toolMenu = JanelaDeFicha::montaBarra(this, botoes, [this](const QString& chave) { executaComando(chave); });
    toolMenu->setWindowTitle(QStringLiteral("toolMenu"));
    toolMenu->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    toolMenu->setIconSize(QSize(24, 24));

    // Print preview of the card page; its menu picks which of the five print buttons.
    acaoVisualizar = Visualizacao::criaAcao(this, QStringLiteral("a folha de carteirinhas"),
                                            [this] { VisualizaCarteiras(0); });
    acaoVisualizar->setIcon(style()->standardIcon(QStyle::SP_FileDialogContentsView));
    auto* menuVisualizar = new QMenu(this);
    menuVisualizar->setObjectName(QStringLiteral("menuVisualizar"));
    for (int k = 1; k <= carteirasPorFolha; ++k) {
        QAction* a = menuVisualizar->addAction(Command[size_t(k - 1)]->text());
        connect(a, &QAction::triggered, this, [this, k] { VisualizaCarteiras(k); });
    }
    acaoVisualizar->setMenu(menuVisualizar);
    toolMenu->insertAction(toolMenu->actions().value(3), acaoVisualizar);
    if (auto* botao = qobject_cast<QToolButton*>(toolMenu->widgetForAction(acaoVisualizar)))
        botao->setPopupMode(QToolButton::MenuButtonPopup);

    sbStatusBar = new QLabel;
    sbStatusBar->setObjectName(QStringLiteral("sbStatusBar"));
    sbStatusBar->setMinimumWidth(260);
    statusBar()->addWidget(sbStatusBar);

    resize(1240, 960);
}

QWidget* frmPrincipal3::montaCarteiras()
{
    auto* painel = new QWidget;
    auto* cartoes = new QHBoxLayout(painel);
    cartoes->setContentsMargins(0, 0, 0, 0);

    // The print buttons in a column, then cards 2 to 5 side by side.
    static const char* legendas[] = {"IMPRIMIR 01", "IMPRIMIR 01 E 02", "IMPRIMIR 01 A 03", "IMPRIMIR 01 A 04",
                                     "IMPRIMIR 01 A 05"};
    auto* botoes = new QVBoxLayout;
    botoes->addSpacing(12);
    for (int k = 1; k <= carteirasPorFolha; ++k) {
        auto* b = new QPushButton(QString::fromLatin1(legendas[k - 1]));
        b->setObjectName(QStringLiteral("Command%1").arg(k));
        b->setAutoDefault(false);
        b->setMinimumHeight(34);
        connect(b, &QPushButton::clicked, this, [this, k] { ImprimeCarteiras(k); });
        Command[size_t(k - 1)] = b;
        botoes->addWidget(b);
    }
    botoes->addStretch(1);
    cartoes->addLayout(botoes);

    for (int k = 2; k <= carteirasPorFolha; ++k) {
        auto* grupo = new QGroupBox(QStringLiteral("Carteirinha %1").arg(k, 2, 10, QLatin1Char('0')));
        grupo->setObjectName(QStringLiteral("frameCarteira%1").arg(k));
        auto* grade = new QGridLayout(grupo);
        grade->setHorizontalSpacing(4);
        grade->setVerticalSpacing(2);
        for (int i = 0; i < camposPorCarteira; ++i) {
            const CampoDaCarteira& campo = camposDaCarteira()[size_t(i)];
            auto* caixa = new QLineEdit;
            caixa->setObjectName(::caixaDaCarteira(campo, k));
            caixa->setFont(arial());
            if (QLatin1String(campo.campo) == QLatin1String("nome") || QLatin1String(campo.campo) == QLatin1String("igreja"))
                caixa->setMaxLength(100);
            m_caixas[size_t(k - 1)][size_t(i)] = caixa;
            auto* rotulo = new QLabel(QString::fromUtf8(campo.legenda).trimmed() + u':');
            rotulo->setBuddy(caixa);
            grade->addWidget(rotulo, i, 0);
            grade->addWidget(caixa, i, 1);
        }
        grade->setColumnStretch(1, 1);
        cartoes->addWidget(grupo, 1);
    }
    return painel;
}

// ---------------------------------------------------------------------------------------------
// Loading and refreshing

void frmPrincipal3::showEvent(QShowEvent* evento)
{
    QMainWindow::showEvent(evento);
    if (!evento->spontaneous())
        carregaJanela();
}

void frmPrincipal3::carregaJanela()
{
    AtualizaGUI();
    const QString usuario = globais().usuarioLogado ? globais().usuarioLogado->usuario : QString();
    ficha->defineTexto(QStringLiteral("txtusuario"), QStringLiteral("Usuario OnLine: ") + usuario);
    if (auto* data = ficha->controle<QDateTimeEdit>(QStringLiteral("txtdatausuario")))
        data->setDate(QDate::currentDate());
}

void frmPrincipal3::mostraUsuarioNaBarra()
{
    const QString usuario = globais().usuarioLogado ? globais().usuarioLogado->usuario : QString();
    sbStatusBar->setText(QStringLiteral("Usuario: ") + usuario);
}

void frmPrincipal3::AtualizaGUI()
{
    if (ficha->atualiza(membros))
        mostraUsuarioNaBarra();
}

void frmPrincipal3::AtualizaCarteira(int carteira, clsAgenda registro)
{
    if (carteira < 2 || carteira > carteirasPorFolha)
        return;
    protegido(this, origem + QStringLiteral(".AtualizaGUI%1").arg(carteira), [&] {
        if (!globais().usuarioLogado)
            throw ErroDeExecucao(origem + QStringLiteral(".AtualizaGUI%1").arg(carteira),
                                 QStringLiteral("Nenhum operador conectado (usuarioLogado vazio)"));
        registro.departamento = globais().usuarioLogado->departamento;
        m_numeros[size_t(carteira - 1)] = registro.numeroFicha;
        for (int i = 0; i < camposPorCarteira; ++i)
            caixaDaCarteira(carteira, i)->setText(registro.*(camposDaCarteira()[size_t(i)].propriedade));
        LimpaLabelsDeErro(this);
        mostraUsuarioNaBarra();
    });
}

QLineEdit* frmPrincipal3::caixaDaCarteira(int carteira, int campo) const
{
    if (carteira < 1 || carteira > carteirasPorFolha || campo < 0 || campo >= camposPorCarteira)
        return nullptr;
    return m_caixas[size_t(carteira - 1)][size_t(campo)];
}

ImpressaoCarteiras::TextosDaCarteira frmPrincipal3::textosDaCarteira(int carteira) const
{
    ImpressaoCarteiras::TextosDaCarteira textos;
    for (int i = 0; i < camposPorCarteira; ++i)
        if (const QLineEdit* c = caixaDaCarteira(carteira, i))
            textos[size_t(i)] = c->text();
    return textos;
}

void frmPrincipal3::limpaFormulario()
{
    membros = clsAgenda();
    AtualizaGUI();
}

// ---------------------------------------------------------------------------------------------
// Commands

void frmPrincipal3::executaComando(const QString& chave)
{
    const QString nome = origem + QStringLiteral(".toolMenu_ButtonClick");
    protegido(this, nome, [&] {
        if (chave == QLatin1String("btnlimpa")) {
            limpaFormulario();
        } else if (chave == QLatin1String("Membros")) {
            frmlocalizarcarteira2 dialogo(this);
            dialogo.exec();
        } else if (chave == QLatin1String("BtnImprimi")) {
            ImprimeJanela();
        } else if (chave == QLatin1String("btnIncluir")) {
            IncluirCadastro();
        } else if (chave == QLatin1String("btnSalvar")) {
            AlterarCadastro();
        } else if (chave == QLatin1String("btnLocalizar")) {
            frmLocalizar::mostra(this);   // the member chosen goes to the member window
        } else if (chave == QLatin1String("btnExcluir")) {
            ExcluirCadastro();
        } else if (chave == QLatin1String("btnLocalizarcong")) {
            frmlocalizarigreja::mostra(this);
        } else if (chave == QLatin1String("btnRelatorio")) {
            frmlocalizarcarteira::mostra(this);
        } else if (chave == QLatin1String("btnLogoff")) {
            Logoff();
        } else if (chave == QLatin1String("btnSair")) {
            Sair();
        }
    });
}

void frmPrincipal3::IncluirCadastro()
{
    if (PedidosDaFicha::salvaDoFormulario(this, *ficha, timerTimeOut, membros, AcaoDaFicha::IncluiNovo))
        AtualizaGUI();
}

void frmPrincipal3::AlterarCadastro()
{
    if (PedidosDaFicha::salvaDoFormulario(this, *ficha, timerTimeOut, membros, AcaoDaFicha::Altera))
        AtualizaGUI();
}

void frmPrincipal3::ExcluirCadastro()
{
    if (!PedidosDaFicha::confirmaExclusao(this, membros))
        return;
    if (PedidosDaFicha::EnviaExcluir(this, timerTimeOut, membros))
        limpaFormulario();
    AtualizaGUI();
}

void frmPrincipal3::ImprimeCarteiras(int k)
{
    protegido(this, origem + QStringLiteral(".Command%1_Click").arg(k), [&] {
        FrmConfig* configuracao = FrmConfig::instancia(this);
        if (!configuracao->carregado()) {
            Caixas::mostra(this, configuracao->erro() + QStringLiteral("\nNada foi impresso."),
                           QStringLiteral("Configurações da Carteirinha"), Caixas::Icone::Erro);
            return;
        }
        for (int c = 1; c <= k; ++c) {
            const qint32 numero = c == 1 ? membros.numeroFicha : m_numeros[size_t(c - 1)];
            if (numero < 0) {
                Caixas::mostra(this,
                               QStringLiteral("A ficha %1 foi feita sem conexão e ainda tem número provisório: a carteirinha "
                                              "só pode ser impressa depois que o servidor der o número definitivo.\nNada foi impresso.")
                                   .arg(numero),
                               QStringLiteral("Ficha Provisória"), Caixas::Icone::Aviso);
                return;
            }
        }
        QList<ImpressaoCarteiras::TextosDaCarteira> carteiras;
        for (int c = 1; c <= k; ++c)
            carteiras.append(textosDaCarteira(c));
        ImpressaoCarteiras::imprime(this, carteiras,
                                    [configuracao](const QString& nome) { return configuracao->valor(nome); });
    });
}

void frmPrincipal3::VisualizaCarteiras(int k)
{
    protegido(this, origem + QStringLiteral(".VisualizarImpressao"), [&] {
        FrmConfig* configuracao = FrmConfig::instancia(this);
        if (!configuracao->carregado()) {
            Caixas::mostra(this, configuracao->erro() + QStringLiteral("\nNada foi impresso."),
                           QStringLiteral("Configurações da Carteirinha"), Caixas::Icone::Erro);
            return;
        }
        int ate = k;
        for (int c = carteirasPorFolha; ate < 1 && c >= 1; --c) {
            const auto textos = textosDaCarteira(c);
            if (c == 1 || std::any_of(textos.begin(), textos.end(), [](const QString& t) { return !t.isEmpty(); }))
                ate = c;
        }
        QList<ImpressaoCarteiras::TextosDaCarteira> carteiras;
        for (int c = 1; c <= ate; ++c)
            carteiras.append(textosDaCarteira(c));
        ImpressaoCarteiras::visualiza(this, carteiras,
                                      [configuracao](const QString& nome) { return configuracao->valor(nome); });
    });
}

void frmPrincipal3::ImprimeJanela()
{
    // On paper the window takes 11820 x 12480 twips. At that size on screen its sheet and
    // cards would scroll out of view, so for the picture it is laid out as large as it needs
    // to show everything (toolbar, sheet, the five cards and their print buttons) and the
    // picture is scaled into that box. Afterwards the window is given back the size and state
    // the operator left it in: a smaller one would fold the toolbar and bring scroll bars.
    auto* rolagem = qobject_cast<QScrollArea*>(centralWidget());
    const QSize naImpressao(twipsParaPixelsX(11820), twipsParaPixelsY(12480));
    QSize inteira = naImpressao;
    if (rolagem && rolagem->widget()) {
        const QSize emVolta = size() - rolagem->viewport()->size();
        inteira = inteira.expandedTo(rolagem->widget()->sizeHint() + emVolta);
    }
    // The toolbar whole too, not folded behind its extension button.
    inteira = inteira.expandedTo(QSize(toolMenu->sizeHint().width() + 2 * style()->pixelMetric(QStyle::PM_ToolBarHandleExtent), 0));
    struct Restaura {
        frmPrincipal3* janela;
        QSize tamanho;
        Qt::WindowStates estado;
        ~Restaura()
        {
            janela->resize(tamanho);
            janela->setWindowState(estado);
        }
    } restaura{this, size(), windowState()};
    resize(inteira);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    JanelaDeFicha::imprimeComoNaTela(this, JanelaDeFicha::Impressao::Desenho, origem + QStringLiteral(".BtnImprimi"),
                                     QSizeF(11820, 12480));
}

int frmPrincipal3::twipsParaPixelsX(int twips) const
{
    return qRound(twips * logicalDpiX() / 1440.0);
}

int frmPrincipal3::twipsParaPixelsY(int twips) const
{
    return qRound(twips * logicalDpiY() / 1440.0);
}

// ---------------------------------------------------------------------------------------------
// Leaving

void frmPrincipal3::fechaPeloPrograma()
{
    m_fechandoPeloPrograma = true;
    close();
    m_fechandoPeloPrograma = false;
}

void frmPrincipal3::Logoff()
{
    // The window is discarded: the next opening starts with an empty sheet and empty cards.
    if (daExecucao() == this)
        daExecucao() = nullptr;
    JanelaDeFicha::descartaNoLogoff(this, [this] { fechaPeloPrograma(); });
}

void frmPrincipal3::Sair()
{
    JanelaDeFicha::voltaAosMembros([this] { fechaPeloPrograma(); });
    // Cards 2 to 5 start empty at the next opening; the sheet's member is kept.
    for (int k = 2; k <= carteirasPorFolha; ++k)
        for (int i = 0; i < camposPorCarteira; ++i)
            caixaDaCarteira(k, i)->clear();
}

void frmPrincipal3::closeEvent(QCloseEvent* evento)
{
    // The operator's close box asks first; a close by the program (Sair, log-off, the end of
    // the program) does not.
    JanelaDeFicha::fecha(this, evento, !m_fechandoPeloPrograma && !encerrandoAplicacao());
}
