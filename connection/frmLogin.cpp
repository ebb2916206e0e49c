// The login window: its controls, the poll of the server, the login and log-off.
#include "connection/frmLogin.h"
#include "app/Caixas.h"
#include "app/FiltroDeTeclas.h"
#include "app/Frminicial.h"
#include "app/Implantacao.h"
#include "app/modBibArquivoINI.h"
#include "app/modGlobais.h"
#include "connection/Conexao.h"
#include "connection/Confianca.h"
#include "connection/FRMAJUDA.h"
#include "connection/Figura.h"
#include "connection/Requisicao.h"
#include "desconectado/Diario.h"
#include "desconectado/TrabalhoDesconectado.h"
#include "members/JanelaDeFicha.h"
#include "members/frmPrincipal.h"
#include "protocol/FormatoBR.h"
#include "protocol/clsUsuario.h"
#include "protocol/modCommands.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QDesktopServices>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QTimer>
#include <QUrl>

namespace {

frmLogin* unica = nullptr;

// The request cycle reaches the program's connection through this, never through the window.
const bool donoDefinido = (defineDonoDoPrograma({[]() -> Conexao* { return unica ? unica->conexao() : nullptr; },
                                                 []() -> Conexao& { return *frmLogin::instancia()->conexao(); }}),
                           true);

QString hostDeTeste;
quint16 portaDeTeste = 0;

QString servidorPadrao()
{
    return hostDeTeste.isEmpty() ? Implantacao::servidor() : hostDeTeste;
}

QString portaPadrao()
{
    return hostDeTeste.isEmpty() ? Implantacao::porta() : QString::number(portaDeTeste);
}

const QColor vermelhoEscuro(128, 0, 0);
const QColor verdeEscuro(0, 128, 0);

// Twips of the window's design grid to pixels (15 twips a pixel at 96 dpi).
constexpr int px(int twips) { return twips / 15; }

QFont arial(int pontos, bool negrito = false)
{
    QFont f(QStringLiteral("Arial"), pontos);
    f.setStyleHint(QFont::SansSerif);
    f.setBold(negrito);
    return f;
}

void pintaTexto(QWidget* w, const QColor& cor)
{
    QPalette p = w->palette();
    p.setColor(QPalette::WindowText, cor);
    w->setPalette(p);
}

} // namespace

frmLogin::frmLogin(QWidget* parent) : QWidget(parent)
{
    if (!unica)
        unica = this;
    setObjectName(QStringLiteral("frmLogin"));
    setWindowTitle(QStringLiteral(" ZeltoSystem On-Line 2.8"));
    setFixedSize(px(6090), px(7845));
    setAutoFillBackground(true);
    QPalette fundo = palette();
    fundo.setColor(QPalette::Window, Qt::white);
    setPalette(fundo);
    setFont(arial(9));

    auto nomeia = [](QObject* o, const char* nome) { o->setObjectName(QString::fromLatin1(nome)); };

    // What the operator sees.
    Image4 = new QLabel(this);
    nomeia(Image4, "Image4");
    Image4->setGeometry(0, 0, width(), 64);
    Image4->setPixmap(Desenhos::faixaDoTitulo(width(), 64));

    Image1 = new QLabel(this);
    nomeia(Image1, "Image1");
    Image1->setGeometry((width() - 96) / 2, 84, 96, 96);
    Image1->setPixmap(Desenhos::logotipo(96));

    lblUsuario = new QLabel(QStringLiteral("Usuario:"), this);
    nomeia(lblUsuario, "lblUsuario");
    lblUsuario->setGeometry(50, 206, 80, 24);
    lblUsuario->setFont(arial(10, true));
    txtUsuario = new QLineEdit(this);
    nomeia(txtUsuario, "txtUsuario");
    txtUsuario->setGeometry(132, 204, 220, 26);
    txtUsuario->setMaxLength(20);
    txtUsuario->setEnabled(false);

    lblSenha = new QLabel(QStringLiteral("Senha:"), this);
    nomeia(lblSenha, "lblSenha");
    lblSenha->setGeometry(50, 244, 80, 24);
    lblSenha->setFont(arial(10, true));
    txtSenha = new QLineEdit(this);
    nomeia(txtSenha, "txtSenha");
    txtSenha->setGeometry(132, 242, 220, 26);
    txtSenha->setMaxLength(20);
    txtSenha->setEchoMode(QLineEdit::Password);
    txtSenha->setStyleSheet(QStringLiteral("QLineEdit { lineedit-password-character: 42; }"));
    txtSenha->setEnabled(false);

    Image2 = new Figura(this);
    nomeia(Image2, "Image2");
    Image2->setGeometry((width() - 160) / 2, 292, 160, 46);
    Image2->setPixmap(Desenhos::botaoConectar(160, 46));
    Image2->setCursor(Qt::PointingHandCursor);
    Image2->setToolTip(QStringLiteral("Conectar"));
    Image2->setEnabled(false);

    Label2 = new QLabel(QStringLiteral("SERVIDOR  OFF-LINE"), this);
    nomeia(Label2, "Label2");
    Label2->setGeometry(0, 356, width(), 26);
    Label2->setAlignment(Qt::AlignCenter);
    Label2->setFont(arial(12, true));
    pintaTexto(Label2, vermelhoEscuro);

    Image3 = new Figura(this);
    nomeia(Image3, "Image3");
    Image3->setGeometry(width() / 2 - 90, 412, 56, 56);
    Image3->setPixmap(Desenhos::suporte(56));
    Image3->setCursor(Qt::PointingHandCursor);
    Image3->setToolTip(QStringLiteral("Suporte"));

    Image5 = new Figura(this);
    nomeia(Image5, "Image5");
    Image5->setGeometry(width() / 2 + 34, 412, 56, 56);
    Image5->setPixmap(Desenhos::site(56));
    Image5->setCursor(Qt::PointingHandCursor);
    Image5->setToolTip(Implantacao::site());

    // Placed right of the client area (from 7080 twips on): never seen, still there.
    const int fora = px(7080) + 8;
    frameLogin = new QGroupBox(QStringLiteral("Login"), this);
    nomeia(frameLogin, "frameLogin");
    frameLogin->setGeometry(fora, 8, 240, 60);

    btnEfetuarLogin = new QPushButton(style()->standardIcon(QStyle::SP_DialogOkButton), QStringLiteral("Conectar"), this);
    nomeia(btnEfetuarLogin, "btnEfetuarLogin");
    btnEfetuarLogin->setGeometry(fora, 76, 120, 30);

    frameConexao = new QGroupBox(QStringLiteral("Conexão"), this);
    nomeia(frameConexao, "frameConexao");
    frameConexao->setGeometry(fora, 116, 260, 130);
    Label1 = new QLabel(QStringLiteral("IP do Servidor: "), frameConexao);
    nomeia(Label1, "Label1");
    Label1->setGeometry(10, 24, 100, 22);
    txtIpServidor = new QLineEdit(frameConexao);
    nomeia(txtIpServidor, "txtIpServidor");
    txtIpServidor->setGeometry(112, 22, 136, 24);
    txtIpServidor->setMaxLength(15);
    lblPortaServidor = new QLabel(QStringLiteral("Porta Servidor:"), frameConexao);
    nomeia(lblPortaServidor, "lblPortaServidor");
    lblPortaServidor->setGeometry(10, 56, 100, 22);
    txtPortaServidor = new QLineEdit(frameConexao);
    nomeia(txtPortaServidor, "txtPortaServidor");
    txtPortaServidor->setGeometry(112, 54, 70, 24);
    txtPortaServidor->setMaxLength(5);
    btnTestarConexao = new QPushButton(QStringLiteral("Testar Conexão"), frameConexao);
    nomeia(btnTestarConexao, "btnTestarConexao");
    btnTestarConexao->setGeometry(10, 90, 140, 28);

    Command1 = new QPushButton(QStringLiteral("SUPORTE"), this);
    nomeia(Command1, "Command1");
    Command1->setGeometry(fora, 256, 120, 30);

    lblSite = new QLabel(Implantacao::site(), this);
    nomeia(lblSite, "lblSite");
    lblSite->setGeometry(fora, 296, 240, 22);

    FiltroDeTeclas::instalaNumerico(txtIpServidor, {.ponto = true, .ctrlC = true});
    FiltroDeTeclas::instalaNumerico(txtPortaServidor, {.ctrlC = true});

    Timer1 = new QTimer(this);
    nomeia(Timer1, "Timer1");
    Timer1->setInterval(1000);
    timerTimeOut = new QTimer(this);
    nomeia(timerTimeOut, "timerTimeOut");
    timerTimeOut->setInterval(10000);
    // The connection keeps the socket and the keep-alive; the window names them as its own.
    m_conexao = new Conexao(this);
    timerKeepAlive = m_conexao->keepAlive();
    wskClient = m_conexao->socket();

    connect(btnEfetuarLogin, &QPushButton::clicked, this, &frmLogin::EfetuaLogin);
    connect(Image2, &Figura::clicked, this, &frmLogin::EfetuaLogin);
    connect(txtSenha, &QLineEdit::returnPressed, this, &frmLogin::EfetuaLogin);
    connect(btnTestarConexao, &QPushButton::clicked, this, [this] {
        if (!m_verificando && !RequisicaoEmCurso())
            VerificaServidor();
    });
    connect(Command1, &QPushButton::clicked, this, &frmLogin::MostraSuporte);
    connect(Image3, &Figura::clicked, this, &frmLogin::MostraSuporte);
    connect(Image5, &Figura::clicked, this, &frmLogin::AbreSite);
    connect(Timer1, &QTimer::timeout, this, &frmLogin::Timer1_Timer);
    connect(m_conexao, &Conexao::pedeConexao, this, &frmLogin::ConectaNoServidor);
    connect(m_conexao, &Conexao::caiu, this, &frmLogin::wskClient_Error);

    // Load steps.
    protegido(this, QStringLiteral("frmLogin.Form_Load"), [this] {
        MostraServidorPadrao();
        const int keepAlive = globais().keepAliveSegundos;
        timerKeepAlive->setInterval(qMax(0, keepAlive) * 1000);
        ExibeServidorDaConfiguracao();
        MostraServidorPadrao();
    });
    Timer1->start();
}

frmLogin::~frmLogin()
{
    if (unica == this)
        unica = nullptr;
    // The connection is destroyed after this window's own part: nothing of this window may
    // hear it go.
    m_conexao->disconnect(this);
}

frmLogin* frmLogin::abre()
{
    frmLogin* janela = instancia();
    janela->show();
    return janela;
}

frmLogin* frmLogin::instancia()
{
    if (!unica)
        new frmLogin;
    return unica;
}

frmPrincipal* frmLogin::janelaMembros() const
{
    return m_janelaMembros.data();
}

Frminicial* frmLogin::menuPrincipal() const
{
    return m_menu.data();
}

frmLogin* frmLogin::existente()
{
    return unica;
}

void frmLogin::defineServidorParaTeste(const QString& host, quint16 porta)
{
    hostDeTeste = host;
    portaDeTeste = porta;
    if (unica)
        unica->MostraServidorPadrao();
}

void frmLogin::MostraServidorPadrao()
{
    txtIpServidor->setText(servidorPadrao());
    txtPortaServidor->setText(portaPadrao());
}

void frmLogin::ExibeServidorDaConfiguracao()
{
    txtIpServidor->setText(globais().hostRemoto);
    txtPortaServidor->setText(globais().portaRemota);
}

Conexao* frmLogin::conexao() const
{
    return m_conexao;
}

bool frmLogin::conectado() const
{
    return m_conexao->conectada();
}

bool frmLogin::enquadrada() const
{
    return m_conexao->enquadrada();
}

const QString& frmLogin::segredoDaSessao() const
{
    return m_conexao->segredoDaSessao();
}

void frmLogin::esqueceServidoresSimples()
{
    Conexao::esqueceServidoresSimples();
}

void frmLogin::ConectaNoServidor()
{
    if (conectado() || RequisicaoEmCurso())
        return;
    const QString origem = QStringLiteral("frmLogin.ConectaNoServidor");
    QWidget* dono = isVisible() ? this : QApplication::activeWindow();
    try {
        EncerraConexaoNoServidor();
        const qint32 porta = FormatoBR::converteInteiro(txtPortaServidor->text(), origem);
        if (porta < 1 || porta > 65535)
            throw ErroDeExecucao(origem, QStringLiteral("Argumento inválido: porta %1").arg(porta));
        switch (m_conexao->conecta(txtIpServidor->text(), quint16(porta), timerTimeOut)) {
        case Conexao::Resultado::Conectada:
            m_recusaMostrada.clear();
            return;
        case Conexao::Resultado::Interrompida:
            return;
        case Conexao::Resultado::NaoConfiavel:
            // Never quietly, not even while polling; but once, not at every poll.
            if (m_conexao->motivoDaRecusa() != m_recusaMostrada) {
                m_recusaMostrada = m_conexao->motivoDaRecusa();
                Caixas::mostra(dono, m_recusaMostrada, Confianca::titulo(), Caixas::Icone::Erro);
            }
            break;
        case Conexao::Resultado::SemResposta:
            MensagensDoServidor::semResposta(dono);
            break;
        case Conexao::Resultado::Recusada:
            MensagensDoServidor::comandoDesconhecido(dono);
            break;
        }
        EncerraConexaoNoServidor();
    } catch (const ErroDeExecucao& erro) {
        ExibeErro(erro, dono);
        EncerraConexaoNoServidor();
    }
}

void frmLogin::EncerraConexaoNoServidor()
{
    m_conexao->encerra();
}

void frmLogin::VerificaServidor()
{
    m_verificando = true;
    protegido(this, QStringLiteral("frmLogin.VerificaServidor"), [this] {
        ConectaNoServidor();
        if (conectado()) {
            Label2->setText(QStringLiteral("SERVIDOR ON-LINE"));
            pintaTexto(Label2, verdeEscuro);
            txtUsuario->setEnabled(true);
            txtSenha->setEnabled(true);
            Image2->setEnabled(true);
            Timer1->stop();
            txtUsuario->setFocus();
        } else if (Implantacao::trabalhoDesconectado()) {
            // With the server away, an operator with a copy on this desk may still come in.
            txtUsuario->setEnabled(true);
            txtSenha->setEnabled(true);
            Image2->setEnabled(true);
        }
        MostraServidorPadrao();
    });
    m_verificando = false;
}

void frmLogin::Timer1_Timer()
{
    // One attempt at a time, and none inside another request's wait.
    if (m_verificando || RequisicaoEmCurso())
        return;
    // While the server is down every attempt fails: the status line says so, no box.
    m_conexao->defineSondagem(true);
    VerificaServidor();
    m_conexao->defineSondagem(false);
}

void frmLogin::wskClient_Error(const QString& origem, const QString& descricao, bool avisar)
{
    if (avisar)
        Caixas::mostra(isVisible() ? this : QApplication::activeWindow(), origem + QStringLiteral("\r\n") + descricao,
                       QStringLiteral("Erro no Socket"), Caixas::Icone::Erro);
    timerTimeOut->stop();
}

void frmLogin::EfetuaLogin()
{
    if (RequisicaoEmCurso())
        return;
    bool sucesso = false;
    const bool semErro = protegido(this, QStringLiteral("frmLogin.btnEfetuarLogin_Click"), [&] {
        if (txtUsuario->text().isEmpty() || txtSenha->text().isEmpty()) {
            Caixas::mostra(this, QStringLiteral("Usuario e Senha são obrigatórios"),
                           QStringLiteral("Formulário Inválido"), Caixas::Icone::Aviso);
            txtUsuario->setFocus();
            return;
        }
        clsUsuario usuario;
        usuario.usuario = txtUsuario->text();
        usuario.senha = txtSenha->text();
        if (Implantacao::trabalhoDesconectado() && !conectado()) {
            m_conexao->defineSondagem(true);
            ConectaNoServidor();
            m_conexao->defineSondagem(false);
            if (!conectado()) {
                sucesso = EntraSemConexao(usuario.usuario, usuario.senha);
                return;
            }
        }
        const auto resposta = Requisita(this, timerTimeOut, usuario.toPipeStringWithCommand(Codigo::Login),
                                        {Codigo::LoginAceito, Codigo::LoginNegado});
        if (!resposta) {
            globais().usuarioLogado.reset();
            // The link dropped under the login itself: the copy is still there.
            if (Implantacao::trabalhoDesconectado() && !conectado())
                sucesso = EntraSemConexao(usuario.usuario, usuario.senha);
            return;
        }
        if (resposta->codigo == Codigo::LoginNegado) {
            globais().usuarioLogado.reset();
            Caixas::mostra(this, QStringLiteral("Dados de login inválidos"), QStringLiteral("Login Negado"),
                           Caixas::Icone::Aviso);
            if (TrabalhoDesconectado::aposRecusa(usuario.usuario, usuario.senha))
                Caixas::mostra(this, QStringLiteral("O servidor não aceita mais este usuário: a cópia das fichas dele neste computador foi apagada."),
                               QStringLiteral("Trabalho Desconectado"), Caixas::Icone::Informacao);
            return;
        }
        clsUsuario logado;
        logado.fromPipeStringWithCommand(resposta->texto);
        globais().usuarioLogado = logado;
        GravaServidorNaConfiguracao();
        sucesso = true;
        AtualizaCopiaDesconectada(logado, usuario.senha);
    });
    if (!semErro)
        globais().usuarioLogado.reset();
    if (sucesso)
        protegido(this, QStringLiteral("frmLogin.btnEfetuarLogin_Click"), [this] { abreJanelasDoLogin(); });
}

void frmLogin::AtualizaCopiaDesconectada(const clsUsuario& logado, const QString& senha)
{
    using R = Sincronizador::Resultado;
    const R r = TrabalhoDesconectado::aposLogin(logado, senha, timerTimeOut);
    if (r != R::Completo)
        Caixas::mostra(this,
                       QStringLiteral("A cópia das fichas para trabalho desconectado não pôde ser atualizada agora; "
                                      "as mudanças ainda não enviadas seguem guardadas e vão na próxima entrada."),
                       QStringLiteral("Trabalho Desconectado"), Caixas::Icone::Aviso);
    if (CopiaSelada* copia = TrabalhoDesconectado::copia()) {
        const qsizetype conflitos = Diario(*copia).conflitos().size();
        if (conflitos > 0)
            Caixas::mostra(this,
                           QStringLiteral("%1 mudança(s) feita(s) sem conexão não foram aplicadas: a ficha mudou no servidor "
                                          "desde então. Veja-as em Conflitos, na janela principal.")
                               .arg(conflitos),
                           QStringLiteral("Trabalho Desconectado"), Caixas::Icone::Aviso);
    }
}

bool frmLogin::EntraSemConexao(const QString& usuario, const QString& senha)
{
    const CopiaSelada::Estado estado = TrabalhoDesconectado::entraSemConexao(usuario, senha);
    if (estado != CopiaSelada::Estado::Aberta) {
        globais().usuarioLogado.reset();
        Caixas::mostra(this, CopiaSelada::mensagem(estado), QStringLiteral("Trabalho Desconectado"), Caixas::Icone::Aviso);
        return false;
    }
    globais().usuarioLogado = TrabalhoDesconectado::copia()->operador();
    return true;
}

void frmLogin::abreJanelasDoLogin()
{
    if (m_janelaMembros)
        m_janelaMembros->deleteLater();
    m_janelaMembros = new frmPrincipal;   // loaded, not shown: the menu's "Membros" shows it
    if (m_menu) {
        m_menu->hide();
        m_menu->deleteLater();
    }
    m_menu = new Frminicial;
    m_menu->show();
    hide();
}

void frmLogin::GravaServidorNaConfiguracao()
{
    protegido(this, QStringLiteral("frmLogin.GravaServidorNaConfiguracao"), [this] {
        EstadoGlobal& g = globais();
        g.hostRemoto = txtIpServidor->text();
        g.portaRemota = txtPortaServidor->text();
        QString erro = GravaINI(g.arquivoConfiguracao, QStringLiteral("Cliente"), QStringLiteral("hostRemoto"), g.hostRemoto);
        if (erro.isEmpty())
            erro = GravaINI(g.arquivoConfiguracao, QStringLiteral("Cliente"), QStringLiteral("portaRemota"), g.portaRemota);
        // The login has succeeded all the same; the operator only learns the file was not updated.
        if (!erro.isEmpty())
            throw ErroDeExecucao(QStringLiteral("frmLogin.GravaServidorNaConfiguracao"),
                                 QStringLiteral("Não foi possível gravar o servidor em %1: %2")
                                     .arg(QDir::toNativeSeparators(g.arquivoConfiguracao), erro));
    });
}

void frmLogin::Logoff()
{
    m_conexao->encerraSessaoNoServidor();
    globais().usuarioLogado.reset();
    TrabalhoDesconectado::encerra();
    show();
    EncerraConexaoNoServidor();
    // The menu and the member window belong to the login that ended. Deleted, not closed:
    // closing either would run its close handling (the menu's ends the program).
    if (m_menu) {
        m_menu->hide();
        m_menu->deleteLater();
        m_menu = nullptr;
    }
    if (m_janelaMembros) {
        m_janelaMembros->hide();
        m_janelaMembros->deleteLater();
        m_janelaMembros = nullptr;
    }
    // Whichever window the log off came from, no sheet window keeps a member of this login.
    JanelaDeFicha::descartaJanelasDeFicha();
    // Poll again: a fresh connection is ready (or the status shows why not) for the next login.
    Timer1->start();
}

void frmLogin::MostraSuporte()
{
    FRMAJUDA ajuda(this);
    ajuda.exec();
}

void frmLogin::AbreSite()
{
    QDesktopServices::openUrl(QUrl(lblSite->text()));
}

void frmLogin::closeEvent(QCloseEvent* evento)
{
    // The program closing its windows on the way out: just let go of the connection.
    if (encerrandoAplicacao()) {
        m_conexao->encerraSessaoNoServidor();
        EncerraConexaoNoServidor();
        evento->accept();
        return;
    }
    const auto resposta = Caixas::mostra(this, QStringLiteral("Deseja realmente encerrar o programa ?"),
                                         QStringLiteral("Sair..."), Caixas::Icone::Pergunta, true);
    if (resposta != Caixas::Resposta::Sim) {
        evento->ignore();
        return;
    }
    // The program ends: so does the operator's session.
    m_conexao->encerraSessaoNoServidor();
    EncerraConexaoNoServidor();
    EncerraAplicacao();
    evento->accept();
}
