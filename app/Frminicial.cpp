#include "app/Frminicial.h"
#include "desconectado/Diario.h"
#include "desconectado/TrabalhoDesconectado.h"
#include "desconectado/frmConflitos.h"
#include "app/Caixas.h"
#include "app/Implantacao.h"
#include "app/Seams.h"
#include "app/modGlobais.h"
#include "connection/Figura.h"
#include "connection/frmLogin.h"
#include "members/frmPrincipal.h"

#include <QCloseEvent>
#include <QFrame>
#include <QLabel>
#include <QMenuBar>
#include <QStatusBar>
#include <QTimer>
#include <QVBoxLayout>

namespace {
QFont arial(int pontos, bool negrito = false)
{
    QFont f(QStringLiteral("Arial"), pontos);
    f.setStyleHint(QFont::SansSerif);
    f.setBold(negrito);
    return f;
}
} // namespace

QString Frminicial::textoDoLetreiro()
{
    constexpr int brancos = 137;
    const QString org = Implantacao::organizacao();
    const QString endereco = Implantacao::endereco();
    const QString verso = Implantacao::versiculo();
    QString texto = QStringLiteral("*  %1  -  %2  *  %3  *").arg(org, endereco, verso);
    const int espaco = tamanhoDoLetreiro - brancos;
    if (texto.size() > espaco) {
        // Too long for the banner: the verse gives way, the closing asterisk stays.
        const QString inicio = QStringLiteral("*  %1  -  %2  *  ").arg(org, endereco);
        texto = (inicio + verso).left(espaco - 3) + QStringLiteral("  *");
        texto = texto.left(espaco - 1) + u'*';
    }
    return texto.leftJustified(tamanhoDoLetreiro, u' ', true);
}

Frminicial::Frminicial(QWidget* parent) : QMainWindow(parent)
{
    setObjectName(QStringLiteral("Frminicial"));
    setWindowTitle(QStringLiteral(" ZeltoSystem On-Line 2.8"));
    setAttribute(Qt::WA_DeleteOnClose, false);
    resize(800, 560);
    setFont(arial(9));

    mnuSecretaria = menuBar()->addMenu(QStringLiteral("&Secretaria"));
    mnuSecretaria->setObjectName(QStringLiteral("mnuSecretaria"));
    mnumembros = mnuSecretaria->addAction(QStringLiteral("&Membros"));
    mnumembros->setObjectName(QStringLiteral("mnumembros"));
    mnuconflitos = mnuSecretaria->addAction(QStringLiteral("&Conflitos"));
    mnuconflitos->setObjectName(QStringLiteral("mnuconflitos"));
    mnusair = mnuSecretaria->addAction(QStringLiteral("&Sair"));
    mnusair->setObjectName(QStringLiteral("mnusair"));

    auto* centro = new QWidget(this);
    centro->setAutoFillBackground(true);
    QPalette fundo = centro->palette();
    fundo.setColor(QPalette::Window, QColor(236, 240, 248));
    centro->setPalette(fundo);
    auto* layout = new QVBoxLayout(centro);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    Label3 = new QLabel(centro);
    Label3->setObjectName(QStringLiteral("Label3"));
    Label3->setAutoFillBackground(true);
    QPalette cores = Label3->palette();
    cores.setColor(QPalette::Window, Qt::white);
    cores.setColor(QPalette::WindowText, QColor(0, 0, 192));
    Label3->setPalette(cores);
    Label3->setFont(arial(12, true));
    Label3->setFixedHeight(30);
    Label3->setTextFormat(Qt::PlainText);
    Label3->setWordWrap(false);
    Label3->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    layout->addWidget(Label3);

    Frame1 = new QFrame(centro);
    Frame1->setObjectName(QStringLiteral("Frame1"));
    Frame1->setFrameShape(QFrame::NoFrame);
    auto* decoracao = new QVBoxLayout(Frame1);
    decoracao->addStretch(1);
    Image1 = new QLabel(Frame1);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setPixmap(Desenhos::logotipo(180));
    Image1->setAlignment(Qt::AlignCenter);
    decoracao->addWidget(Image1);
    Label1 = new QLabel(Implantacao::organizacao(), Frame1);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setFont(arial(16, true));
    Label1->setAlignment(Qt::AlignCenter);
    QPalette azul = Label1->palette();
    azul.setColor(QPalette::WindowText, QColor(0, 0, 128));
    Label1->setPalette(azul);
    decoracao->addWidget(Label1);
    decoracao->addStretch(1);
    layout->addWidget(Frame1, 1);
    setCentralWidget(centro);

    sbStatusBarPainel1 = new QLabel(this);
    sbStatusBarPainel1->setObjectName(QStringLiteral("sbStatusBarPainel1"));
    statusBar()->setObjectName(QStringLiteral("sbStatusBar"));
    statusBar()->addWidget(sbStatusBarPainel1, 1);
    // Working on the desk's copy, never unnoticed.
    lblDesconectado = new QLabel(this);
    lblDesconectado->setObjectName(QStringLiteral("lblDesconectado"));
    QPalette vermelho = lblDesconectado->palette();
    vermelho.setColor(QPalette::WindowText, QColor(160, 0, 0));
    lblDesconectado->setPalette(vermelho);
    QFont negrito = lblDesconectado->font();
    negrito.setBold(true);
    lblDesconectado->setFont(negrito);
    statusBar()->addPermanentWidget(lblDesconectado);

    Timer3 = new QTimer(this);
    Timer3->setObjectName(QStringLiteral("Timer3"));

    connect(mnumembros, &QAction::triggered, this, &Frminicial::mnumembros_Click);
    connect(mnusair, &QAction::triggered, this, &Frminicial::mnusair_Click);
    connect(mnuconflitos, &QAction::triggered, this, &Frminicial::mnuconflitos_Click);
    connect(Timer3, &QTimer::timeout, this, &Frminicial::Timer3_Timer);

    // Load steps.
    mostraFaixa();
    CopiaSelada* copia = TrabalhoDesconectado::copia();
    mnuconflitos->setVisible(copia && !TrabalhoDesconectado::semConexao() && !Diario(*copia).conflitos().isEmpty());
    Label3->setText(textoDoLetreiro());
    Timer3->start(150);
}

void Frminicial::mostraFaixa()
{
    const auto& usuario = globais().usuarioLogado;
    const QString faixa = TrabalhoDesconectado::faixa();
    sbStatusBarPainel1->setText((faixa.isEmpty() ? QStringLiteral("Usuario OnLine: ") : QStringLiteral("Usuario Desconectado: "))
                                + (usuario ? usuario->usuario : QString()));
    lblDesconectado->setText(faixa);
    lblDesconectado->setVisible(!faixa.isEmpty());
}

void Frminicial::mnuconflitos_Click()
{
    if (CopiaSelada* copia = TrabalhoDesconectado::copia()) {
        frmConflitos janela(*copia, this);
        janela.exec();
        mnuconflitos->setVisible(!Diario(*copia).conflitos().isEmpty());
    }
}

void Frminicial::Timer3_Timer()
{
    const QString texto = Label3->text();
    if (texto.size() > 1)
        Label3->setText(texto.mid(1) + texto.front());
    // Every 3 s: working disconnected (a session may start so when its link drops), the changes
    // waiting, and whether the server is back.
    if (++m_tiques % 20 == 0 && TrabalhoDesconectado::semConexao())
        mostraFaixa();
}

void Frminicial::mnumembros_Click()
{
    protegido(this, QStringLiteral("Frminicial.mnumembros_Click"), [] {
        frmLogin* login = frmLogin::existente();
        frmPrincipal* membros = login ? login->janelaMembros() : nullptr;
        if (!membros)
            throw ErroDeExecucao(QStringLiteral("Frminicial.mnumembros_Click"),
                                 QStringLiteral("A janela de membros não está carregada"));
        membros->show();
        membros->raise();
        membros->activateWindow();
    });
}

void Frminicial::mnusair_Click()
{
    if (Caixas::mostra(this, QStringLiteral("Quer sair do sistema ?"), QStringLiteral("ZeltoSystem On-Line"),
                       Caixas::Icone::Nenhum, true) == Caixas::Resposta::Sim)
        Encerramento::encerraAgora();
}

void Frminicial::closeEvent(QCloseEvent* evento)
{
    evento->accept();
    Encerramento::encerraAgora();
}
