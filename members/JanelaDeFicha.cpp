#include "members/JanelaDeFicha.h"
#include "app/Caixas.h"
#include "app/Seams.h"
#include "app/Visualizacao.h"
#include "app/TrabalhoDeImpressao.h"
#include "app/modGlobais.h"
#include "connection/frmLogin.h"
#include "members/frmPrincipal.h"
#include "protocol/ErroDeExecucao.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QMainWindow>
#include <QPainter>
#include <QPicture>
#include <QPixmap>
#include <QPointer>
#include <QPrinter>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>

namespace JanelaDeFicha {

namespace {

// Some styles have only a small picture for a few icons (the desktop, for one): the bar's
// buttons would then stand out of line. Such an icon is enlarged to the size of the others.
QIcon iconeDaBarra(QWidget* janela, QStyle::StandardPixmap qual)
{
    const QIcon icone = janela->style()->standardIcon(qual);
    const QSize tamanho(24, 24);
    const QSize tem = icone.actualSize(tamanho);
    if (tem.isEmpty() || (tem.width() >= tamanho.width() && tem.height() >= tamanho.height()))
        return icone;
    return QIcon(icone.pixmap(tem).scaled(tamanho, Qt::KeepAspectRatio, Qt::SmoothTransformation));
}

} // namespace

QToolBar* montaBarra(QMainWindow* janela, std::span<const BotaoDaBarra> botoes,
                     std::function<void(const QString&)> executa)
{
    auto* barra = new QToolBar(janela);
    barra->setObjectName(QStringLiteral("toolMenu"));
    barra->setMovable(false);
    barra->setToolButtonStyle(Qt::ToolButtonTextOnly);
    for (const BotaoDaBarra& b : botoes) {
        if (!b.chave) {
            barra->addSeparator();
            continue;
        }
        QAction* a = b.icone == QStyle::SP_CustomBase
                         ? barra->addAction(QString::fromUtf8(b.legenda))
                         : barra->addAction(iconeDaBarra(janela, b.icone), QString::fromUtf8(b.legenda));
        a->setObjectName(QString::fromLatin1(b.chave));
        a->setData(QString::fromLatin1(b.chave));
        if (b.dica)
            a->setToolTip(QString::fromUtf8(b.dica));
    }
    QObject::connect(barra, &QToolBar::actionTriggered, janela,
                     [executa = std::move(executa)](QAction* a) { executa(a->data().toString()); });
    janela->addToolBar(Qt::TopToolBarArea, barra);
    return barra;
}

QTimer* criaTimerTimeOut(QWidget* janela)
{
    auto* timer = new QTimer(janela);
    timer->setObjectName(QStringLiteral("timerTimeOut"));
    timer->setSingleShot(true);
    // Its Timer event: the wait gave up.
    QObject::connect(timer, &QTimer::timeout, janela, [timer] {
        globais().tempoEsgotado = true;
        timer->stop();
    });
    return timer;
}

QLabel* montaBarraDeStatus(QMainWindow* janela)
{
    auto* barra = new QStatusBar(janela);
    barra->setObjectName(QStringLiteral("sbStatusBar"));
    auto* painel = new QLabel(barra);
    painel->setObjectName(QStringLiteral("sbStatusBarPainel1"));
    barra->addWidget(painel, 1);
    janela->setStatusBar(barra);
    return painel;
}

bool fecha(QWidget* janela, QCloseEvent* evento, bool pergunta)
{
    if (pergunta) {
        const Caixas::Resposta r = Caixas::mostra(janela, QStringLiteral("Deseja realmente encerrar o programa ?"),
                                                  QStringLiteral("Sair..."), Caixas::Icone::Pergunta, true);
        if (r != Caixas::Resposta::Sim) {
            evento->ignore();
            return false;
        }
    }
    if (frmLogin* login = frmLogin::existente())
        login->EncerraConexaoNoServidor();
    evento->accept();
    if (pergunta)
        EncerraAplicacao();
    return true;
}

void voltaAosMembros(const std::function<void()>& fechaPeloPrograma)
{
    frmPrincipal::instancia()->show();
    fechaPeloPrograma();
}

namespace {
const char* const propriedadeDeFichas = "zeltoGuardaFichas";
}

void guardaFichas(QWidget* janela)
{
    janela->setProperty(propriedadeDeFichas, true);
}

void descartaJanelasDeFicha()
{
    for (QWidget* janela : QApplication::topLevelWidgets()) {
        if (!janela->property(propriedadeDeFichas).toBool())
            continue;
        // Deleted, not closed: a close would ask or end the program. Later, because the
        // window asking for the log off may be one of them.
        janela->setProperty(propriedadeDeFichas, false);
        janela->hide();
        janela->deleteLater();
    }
}

void descartaNoLogoff(QWidget* janela, const std::function<void()>& fechaPeloPrograma)
{
    fechaPeloPrograma();
    janela->deleteLater();
    frmLogin::instancia()->Logoff();
}

Captura captura(QWidget* alvo, Impressao como)
{
    Captura c;
    c.como = como;
    c.tamanho = alvo->size();
    c.pontosPorPolegada = alvo->logicalDpiX();
    // The caret is not part of what is printed: the focus leaves while the picture is taken.
    QPointer<QWidget> foco = QApplication::focusWidget();
    if (foco && (foco == alvo || alvo->isAncestorOf(foco)))
        foco->clearFocus();
    else
        foco = nullptr;
    if (como == Impressao::Desenho) {
        QPainter gravacao(&c.desenho);
        alvo->render(&gravacao);
    } else {
        c.imagem = alvo->grab();
    }
    if (foco)
        foco->setFocus();
    return c;
}

void pinta(const Captura& c, QPrinter& destino, const QString& onde, const QSizeF& noPapelTwips)
{
    QPrinter* const impressora = &destino;
    // Inside the printable area (a printer cannot reach the paper's edges), at the screen's
    // resolution so the sizes on screen (fonts in points included) print as shown; reduced to
    // the page when the picture is wider or taller.
    impressora->setFullPage(false);
    impressora->setResolution(c.pontosPorPolegada);
    QPainter pintor;
    if (!pintor.begin(impressora))
        throw ErroDeExecucao(onde, QStringLiteral("Não foi possível iniciar a impressão na impressora padrão"));
    const QSizeF pagina = impressora->pageLayout().paintRectPixels(impressora->resolution()).size();
    const QSizeF tamanho = c.tamanho;
    QSizeF noPapel = tamanho;
    if (noPapelTwips.isValid())
        noPapel = tamanho.scaled(noPapelTwips * (impressora->resolution() / 1440.0), Qt::KeepAspectRatio);
    if (noPapel.width() > pagina.width() || noPapel.height() > pagina.height())
        noPapel = noPapel.scaled(pagina, Qt::KeepAspectRatio);
    if (noPapel != tamanho)
        pintor.scale(noPapel.width() / tamanho.width(), noPapel.height() / tamanho.height());
    if (c.como == Impressao::Desenho)
        pintor.drawPicture(0, 0, c.desenho);
    else
        pintor.drawPixmap(QRectF(QPointF(0, 0), tamanho), c.imagem, QRectF(c.imagem.rect()));
    pintor.end();
}

bool imprimeComoNaTela(QWidget* alvo, Impressao como, const QString& onde, const QSizeF& noPapelTwips)
{
    TrabalhoDeImpressao trabalho(alvo->window()->windowTitle().trimmed());
    QPrinter* const impressora = trabalho.impressoraOuAvisa(alvo->window());
    if (!impressora)
        return false;
    pinta(captura(alvo, como), *impressora, onde, noPapelTwips);
    if (const QString recusa = trabalho.envia(); !recusa.isEmpty()) {
        ExibeErro(onde, QStringLiteral("A impressora padrão não aceitou a página (%1)").arg(recusa), alvo->window());
        return false;
    }
    return true;
}

void visualizaComoNaTela(QWidget* alvo, Impressao como, const QString& onde, const QSizeF& noPapelTwips)
{
    const Captura c = captura(alvo, como);
    Visualizacao::mostra(alvo->window(), alvo->window()->windowTitle().trimmed(), [&](QPrinter& p) {
        pinta(c, p, onde, noPapelTwips);
        return true;
    });
}

} // namespace JanelaDeFicha
