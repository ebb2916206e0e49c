#include "members/frmPrincipal.h"
#include "app/BancoLocal.h"
#include "app/Caixas.h"
#include "app/modGlobais.h"
#include "cards/FrmConfig.h"
#include "cards/frmPrincipal3.h"
#include "connection/Conexao.h"
#include "connection/Requisicao.h"
#include "connection/frmLogin.h"
#include "members/CaixaDeLista.h"
#include "members/ConsultasLocais.h"
#include "members/JanelaDeFicha.h"
#include "members/PedidosDaFicha.h"
#include "members/UtilFicha.h"
#include "members/frmHistorico.h"
#include "protocol/modCommands.h"
#include "renewal/frmprincipal2.h"
#include "reports/frmRelatorio.h"
#include "search/frmLocalizar.h"
#include "search/frmlocalizarigreja.h"

#include <QCloseEvent>
#include <QDateTimeEdit>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>

namespace {

QPointer<frmPrincipal>& janelaAtual()
{
    static QPointer<frmPrincipal> janela;
    return janela;
}

const QString origem = QStringLiteral("frmPrincipal");

void informa(QWidget* dono, const QString& texto, const QString& titulo)
{
    Caixas::mostra(dono, texto, titulo, Caixas::Icone::Informacao);
}

// The toolbar, in order: caption, key (null = separator), tool tip.
const JanelaDeFicha::BotaoDaBarra botoesDaBarra[] = {
    {"limpar Cadastro", "btnlimpa"},
    {"Incluir Novo", "btnIncluir"},
    {"Incluir Cadastro", "btnIncluir2"},
    {"Alterar Cadastro", "btnSalvar"},
    {"Localizar Cadastro", "btnLocalizar"},
    {nullptr, nullptr},
    {"Excluir Cadastro", "btnExcluir"},
    {"Localizar Igrejas", "btnLocalizarcong"},
    {"Renovar Carteira", "btnRelatorio"},
    {"Imprimir Carteira", "btnRelatorio2"},
    {"Logoff", "btnLogoff"},
    {"Config", "Config", "Configurar Carteirinha de Membro"},
    {"Sair", "btnSair"},
};

} // namespace

frmPrincipal::frmPrincipal(QWidget* parent)
    : QMainWindow(parent), timerTimeOut(JanelaDeFicha::criaTimerTimeOut(this))
{
    janelaAtual() = this;
    JanelaDeFicha::guardaFichas(this);
    m_conexaoBanco = QStringLiteral("frmPrincipal-%1").arg(quintptr(this));
    montaTela();
    carregaJanela();
}

frmPrincipal::~frmPrincipal()
{
    // Destroying the controls moves the focus; no handler of this window may run by then.
    for (QObject* filho : ficha->findChildren<QObject*>())
        filho->disconnect(this);
    QSqlDatabase::removeDatabase(m_conexaoBanco);
}

frmPrincipal* frmPrincipal::instancia()
{
    if (!janelaAtual())
        new frmPrincipal;
    return janelaAtual();
}

frmPrincipal* frmPrincipal::existente()
{
    return janelaAtual();
}

void frmPrincipal::montaTela()
{
    setWindowTitle(QStringLiteral("Cadastro de Membros"));
    setObjectName(QStringLiteral("frmPrincipal"));

    toolMenu = JanelaDeFicha::montaBarra(this, botoesDaBarra, [this](const QString& chave) { executaComando(chave); });
    // Thirteen captions on one line: keep the buttons tight so "Sair" stays in view.
    toolMenu->setStyleSheet(QStringLiteral("QToolButton { padding: 2px 3px; margin: 0px; }"));

    auto* central = new QWidget(this);
    auto* vertical = new QVBoxLayout(central);
    vertical->setContentsMargins(4, 4, 4, 4);
    ficha = new FormularioFicha(CamposDaFicha::padrao(), OpcoesDaFicha{}, central);
    ficha->setObjectName(QStringLiteral("frameFicha"));
    ficha->setFrameShape(QFrame::StyledPanel);
    vertical->addWidget(ficha, 1);

    Command1 = new QPushButton(QStringLiteral("Command1"), ficha);
    Command1->setObjectName(QStringLiteral("Command1"));
    ficha->adicionaApos(QStringLiteral("txtNFicha2"), Command1);

    auto* botoes = new QHBoxLayout;
    btnLimparFormulario = new QPushButton(QStringLiteral("Limpar Formulario"), central);
    btnLimparFormulario->setObjectName(QStringLiteral("btnLimparFormulario"));
    Command2 = new QPushButton(QStringLiteral("Command2"), central);
    Command2->setObjectName(QStringLiteral("Command2"));
    botoes->addWidget(btnLimparFormulario);
    botoes->addStretch(1);
    // Left of Command2, so that Command2 keeps its place at the right edge.
    btnHistorico = new QPushButton(QStringLiteral("Histórico"), central);
    btnHistorico->setObjectName(QStringLiteral("btnHistorico"));
    btnHistorico->setToolTip(QStringLiteral("Quem consultou e alterou esta ficha, e quando"));
    btnHistorico->setVisible(false);
    botoes->addWidget(btnHistorico);
    botoes->addWidget(Command2);
    vertical->addLayout(botoes);
    setCentralWidget(central);

    sbStatusBar = JanelaDeFicha::montaBarraDeStatus(this);

    connect(btnLimparFormulario, &QPushButton::clicked, this, [this] {
        protegido(this, origem + QStringLiteral(".btnLimparFormulario_Click"), [this] { limpaFormulario(); });
    });
    connect(Command1, &QPushButton::clicked, this, [this] {
        protegido(this, origem + QStringLiteral(".Command1_Click"), [this] { VerificaFicha(); });
    });
    connect(Command2, &QPushButton::clicked, this, [this] {
        protegido(this, origem + QStringLiteral(".Command2_Click"), [this] { abreRelatorio(); });
    });
    connect(btnHistorico, &QPushButton::clicked, this, [this] {
        protegido(this, origem + QStringLiteral(".btnHistorico_Click"), [this] { abreHistorico(); });
    });

    // Lookups of the two lists.
    if (auto* igreja = ficha->controle<CaixaDeLista>(QStringLiteral("txtIGREJA"))) {
        connect(igreja, &CaixaDeLista::abrindoLista, this, [this] { listaCongregacoes(); });
        connect(igreja, &CaixaDeLista::itemEscolhido, this, [this, igreja](int i) { escolheCongregacao(igreja->itemText(i)); });
        connect(igreja, &CaixaDeLista::recebeuFoco, this, [igreja] { igreja->defineTravado(false); });
    }
    if (auto* status = ficha->controle<CaixaDeLista>(QStringLiteral("txtstatus"))) {
        connect(status, &CaixaDeLista::abrindoLista, this, [this] { listaStatus(); });
        connect(status, &CaixaDeLista::itemEscolhido, this, [this, status](int i) { escolheStatus(status->itemText(i)); });
        connect(status, &CaixaDeLista::recebeuFoco, this, [status] { status->defineTravado(false); });
    }

    resize(1240, 800);
}

// Load steps: refresh from the record, the operator's stamp, the pickers, the lookup file.
void frmPrincipal::carregaJanela()
{
    ficha->defineTexto(QStringLiteral("txtNFicha2"), QString());
    AtualizaGUI();
    const std::optional<clsUsuario>& usuario = globais().usuarioLogado;
    ficha->defineTexto(QStringLiteral("txtusuario"),
                       QStringLiteral("Usuario OnLine: ") + (usuario ? usuario->usuario : QString()));
    const QDateTime agora = QDateTime::currentDateTime();
    for (const char* nome : {"txtdatausuario", "txtdatausuariohora"})
        if (auto* e = ficha->controle<QDateTimeEdit>(QString::fromLatin1(nome)))
            e->setDateTime(agora);
    AbreDB();
}

void frmPrincipal::AbreDB()
{
    if (ConsultasLocais::disponivel(m_conexaoBanco) || m_avisouBanco)
        return;
    m_avisouBanco = true;
    Caixas::mostra(this,
                   QStringLiteral("Não foi possível abrir o banco de dados local:\r\n%1\r\n"
                                  "As listas de congregações e de status ficarão vazias; o restante do cadastro "
                                  "funciona normalmente.")
                       .arg(BancoLocal::caminho()),
                   QStringLiteral("Banco de Dados Local"), Caixas::Icone::Aviso);
}

void frmPrincipal::showEvent(QShowEvent* evento)
{
    if (m_precisaCarregar) {
        m_precisaCarregar = false;
        carregaJanela();
    }
    atualizaHistorico();
    QMainWindow::showEvent(evento);
}

void frmPrincipal::closeEvent(QCloseEvent* evento)
{
    // The operator's close box (a close from the window system) asks first; a close by the
    // program (Sair, the switches, log-off, the end of the program) does not.
    if (JanelaDeFicha::fecha(this, evento, evento->spontaneous() && !encerrandoAplicacao()))
        m_precisaCarregar = true;
}

void frmPrincipal::fechaPorCodigo()
{
    close();
}

void frmPrincipal::mostraStatus()
{
    const std::optional<clsUsuario>& usuario = globais().usuarioLogado;
    sbStatusBar->setText(QStringLiteral("Usuario: ") + (usuario ? usuario->usuario : QString()));
    atualizaHistorico();
}

void frmPrincipal::atualizaHistorico()
{
    const Conexao* conexao = conexaoExistente();
    const bool oferece = conexao && conexao->ofereceHistorico();
    btnHistorico->setVisible(oferece);
    btnHistorico->setEnabled(oferece && membros.numeroFicha > 0);
}

void frmPrincipal::abreHistorico()
{
    // The server may have changed since the window was refreshed (a reconnect).
    atualizaHistorico();
    if (!btnHistorico->isEnabled())
        return;
    frmHistorico::consulta(this, timerTimeOut, membros.numeroFicha, membros.nome);
}

void frmPrincipal::AtualizaGUI()
{
    if (ficha->atualiza(membros, FormularioFicha::Atualizacao::Completa))
        mostraStatus();
}

void frmPrincipal::AtualizaGUI2()
{
    if (ficha->atualiza(membros, FormularioFicha::Atualizacao::MantemNumero))
        mostraStatus();
}

void frmPrincipal::AtualizaGUISalVar()
{
    if (ficha->atualiza(membros, FormularioFicha::Atualizacao::SalVar))
        mostraStatus();
}

void frmPrincipal::executaComando(const QString& chave)
{
    protegido(this, origem + QStringLiteral(".toolMenu_ButtonClick"), [&] {
        if (chave == QLatin1String("btnlimpa"))
            limpaComStatus();
        else if (chave == QLatin1String("btnIncluir"))
            IncluiNovo();
        else if (chave == QLatin1String("btnIncluir2"))
            IncluiCadastro();
        else if (chave == QLatin1String("btnSalvar"))
            AlteraCadastro();
        else if (chave == QLatin1String("btnLocalizar"))
            abreLocalizar();
        else if (chave == QLatin1String("btnExcluir"))
            ExcluiCadastro();
        else if (chave == QLatin1String("btnLocalizarcong"))
            abreLocalizarIgreja();
        else if (chave == QLatin1String("btnRelatorio"))
            trocaDeJanela(true);
        else if (chave == QLatin1String("btnRelatorio2"))
            trocaDeJanela(false);
        else if (chave == QLatin1String("btnLogoff"))
            Logoff();
        else if (chave == QLatin1String("Config"))
            abreConfig();
        else if (chave == QLatin1String("btnSair"))
            fechaPorCodigo();
    });
}

void frmPrincipal::limpaFormulario()
{
    membros = clsAgenda();
    AtualizaGUI();
}

void frmPrincipal::limpaComStatus()
{
    limpaFormulario();
    ficha->defineTexto(QStringLiteral("txtstatus"), QStringLiteral("ATIVO"));
    ficha->defineTexto(QStringLiteral("txtstatuscod"), QStringLiteral("1"));
    ficha->defineTexto(QStringLiteral("txtsetornome"), QString());
}

void frmPrincipal::avisaNumeroInvalido()
{
    PedidosDaFicha::opcaoInvalida(this, QStringLiteral("Número de ficha inválido: digite somente algarismos (no máximo 2147483647)."));
}

void frmPrincipal::IncluiNovo()
{
    ficha->defineTexto(QStringLiteral("txtsetor"), QString::number(membros.departamento.idDepartamento));
    if (PedidosDaFicha::salvaDoFormulario(this, *ficha, timerTimeOut, membros, AcaoDaFicha::IncluiNovo))
        AtualizaGUI();
}

void frmPrincipal::AlteraCadastro()
{
    if (PedidosDaFicha::salvaDoFormulario(this, *ficha, timerTimeOut, membros, AcaoDaFicha::Altera))
        AtualizaGUI();
}

void frmPrincipal::IncluiCadastro()
{
    ficha->escreveMarcadores(AcaoDaFicha::IncluiCadastro);
    ficha->defineTexto(QStringLiteral("txtsetor"), QString::number(membros.departamento.idDepartamento));
    if (!ficha->ValidaFormulario()) {
        PedidosDaFicha::opcaoInvalida(this, QStringLiteral("Para que seja gerado um novo cadastro, limpe o formulario"));
        return;
    }
    const std::optional<qint32> numero = ficha->numeroDe(QStringLiteral("txtNFicha"));
    if (!numero) {
        avisaNumeroInvalido();
        if (QWidget* w = ficha->controle(QStringLiteral("txtNFicha")))
            w->setFocus();
        return;
    }
    if (!ficha->verificaSeparadores(AcaoDaFicha::IncluiCadastro, this))
        return;
    membros.numeroFicha = *numero;
    ficha->copiaPara(membros, AcaoDaFicha::IncluiCadastro);
    EnviaIncluir();
    AtualizaGUI2();
}

void frmPrincipal::EnviaIncluir()
{
    const std::optional<RespostaDoServidor> resposta =
        Requisita(this, timerTimeOut, membros.toPipeStringWithCommand(Codigo::Inclui), {Codigo::Incluido});
    if (!resposta)
        return;
    clsAgenda gravado;
    gravado.fromPipeStringWithCommand(resposta->texto);
    if (gravado.numeroFicha == membros.numeroFicha) {
        informa(this, QStringLiteral("Ficha já Exixtente. Não foi Salvo"), QStringLiteral("Duplicidade de Ficha"));
        membros = clsAgenda();
        AtualizaGUI();
    } else {
        informa(this, QStringLiteral("Registro de MEMBRO SALVO com sucesso"), QStringLiteral("SALVOU"));
        membros.numeroFicha = gravado.numeroFicha;
    }
    membros = clsAgenda();
    AtualizaGUI();
    if (QWidget* w = ficha->controle(QStringLiteral("txtNFicha")))
        w->setFocus();
}

void frmPrincipal::ExcluiCadastro()
{
    if (!PedidosDaFicha::confirmaExclusao(this, membros))
        return;
    if (PedidosDaFicha::EnviaExcluir(this, timerTimeOut, membros))
        limpaFormulario();
    AtualizaGUI();
}

// Command1: is the number typed in txtNFicha2 free for a new sheet?
void frmPrincipal::VerificaFicha()
{
    if (!ficha->ValidaFormulario())
        return;
    clsFiltroBusca filtro;
    const QString numero = ficha->texto(QStringLiteral("txtNFicha2"));
    if (!numero.isEmpty()) {
        const std::optional<qint32> n = UtilFicha::numeroInteiro(numero);
        if (!n) {
            avisaNumeroInvalido();
            return;
        }
        filtro.numeroFicha = *n;
    }
    filtro.departamento.idDepartamento = membros.departamento.idDepartamento;

    fichasEncontradas = EnviaBuscaFicha(filtro);
    if (!fichasEncontradas)
        return;
    // The walk uses its own variable: `membros` stays the sheet on screen unless a match
    // empties it.
    for (const clsAgenda& encontrado : *fichasEncontradas) {
        ficha->defineTexto(QStringLiteral("txtNFicha2"), QString::number(encontrado.numeroFicha));
        ficha->defineTexto(QStringLiteral("txtNome"), encontrado.nome);
        const QString nomeNaTela = ficha->texto(QStringLiteral("txtNome"));
        if (nomeNaTela == encontrado.nome || nomeNaTela.isEmpty()) {
            informa(this, QStringLiteral("Membro já cadastrado."), QStringLiteral("ZevorUzEdar"));
            ficha->defineTexto(QStringLiteral("txtNFicha2"), QString());
            membros = clsAgenda();
            AtualizaGUI();
            return;
        }
    }
    UtilFicha::LimpaLabelsDeErro(this);
}

std::optional<QList<clsAgenda>> frmPrincipal::EnviaBuscaFicha(const clsFiltroBusca& filtro)
{
    const std::optional<RespostaDoServidor> resposta =
        Requisita(this, timerTimeOut, filtro.toPipeStringWithCommand(Codigo::Busca),
                  {Codigo::Encontrados, Codigo::NadaEncontrado});
    if (!resposta)
        return std::nullopt;
    if (resposta->codigo == Codigo::Encontrados)
        return clsAgenda::collectionFromPipeStringWithCommand(resposta->texto);
    informa(this, QStringLiteral("Ficha Autorizada para Cadastro."), QStringLiteral("ZevorUzEdar"));
    ficha->defineTexto(QStringLiteral("txtNFicha2"), QString());
    membros = clsAgenda();
    AtualizaGUI();
    return QList<clsAgenda>();
}

void frmPrincipal::abreLocalizar()
{
    frmLocalizar::mostra(this);
}

void frmPrincipal::abreLocalizarIgreja()
{
    frmlocalizarigreja::mostra(this);
}

void frmPrincipal::abreConfig()
{
    FrmConfig::mostra(this);
}

void frmPrincipal::abreRelatorio()
{
    (new frmRelatorio(this))->show();
}

void frmPrincipal::trocaDeJanela(bool renovacao)
{
    fechaPorCodigo();
    if (renovacao)
        mostraJanelaDeRenovacao();
    else
        mostraJanelaDeCarteiras();
}

// Hooks of the switches: one line each to create (or reuse) and show the other window.
void frmPrincipal::mostraJanelaDeRenovacao()
{
    frmprincipal2::abre();
}

void frmPrincipal::mostraJanelaDeCarteiras()
{
    frmPrincipal3::abre();
}

void frmPrincipal::Logoff()
{
    // The login window forgets the operator, shows itself, closes the connection and
    // discards this window (deleted later, without the close question).
    frmLogin::instancia()->Logoff();
}

void frmPrincipal::listaCongregacoes()
{
    auto* igreja = ficha->controle<CaixaDeLista>(QStringLiteral("txtIGREJA"));
    igreja->defineTravado(false);
    igreja->substituiItens(ConsultasLocais::congregacoes(m_conexaoBanco));
}

void frmPrincipal::escolheCongregacao(const QString& nome)
{
    auto* igreja = ficha->controle<CaixaDeLista>(QStringLiteral("txtIGREJA"));
    if (const std::optional<ConsultasLocais::Congregacao> c = ConsultasLocais::congregacao(m_conexaoBanco, nome)) {
        ficha->defineTexto(QStringLiteral("txtcodcong"), c->COD);
        ficha->defineTexto(QStringLiteral("txtIGREJA"), c->congregacao);
        ficha->defineTexto(QStringLiteral("txtsetor"), c->setor);
        ficha->defineTexto(QStringLiteral("txtsetornome"), c->setornome);
        ficha->defineTexto(QStringLiteral("txtcidadecong"), c->cidade);
        ficha->defineTexto(QStringLiteral("txtufcong"), c->uf);
    }
    igreja->defineTravado(false);
}

void frmPrincipal::listaStatus()
{
    auto* status = ficha->controle<CaixaDeLista>(QStringLiteral("txtstatus"));
    status->defineTravado(false);
    status->substituiItens(ConsultasLocais::status(m_conexaoBanco));
    status->defineTravado(false);
}

void frmPrincipal::escolheStatus(const QString& descricao)
{
    auto* status = ficha->controle<CaixaDeLista>(QStringLiteral("txtstatus"));
    if (const std::optional<QString> codigo = ConsultasLocais::codigoDoStatus(m_conexaoBanco, descricao)) {
        ficha->defineTexto(QStringLiteral("txtstatus"), descricao);
        ficha->defineTexto(QStringLiteral("txtstatuscod"), *codigo);
    }
    status->defineTravado(true);
}
