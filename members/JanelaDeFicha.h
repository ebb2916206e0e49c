#pragma once
// What the three sheet windows (members, renewal, cards) do alike around the sheet: the
// toolbar built from a key table, the reply timer, the status bar, the close-box rule,
// going back to the member window, and printing what a window shows.
//
//     toolMenu = JanelaDeFicha::montaBarra(this, botoesDaBarra,
//                                          [this](const QString& chave) { executaComando(chave); });
//     void closeEvent(QCloseEvent* e) override
//     {
//         if (JanelaDeFicha::fecha(this, e, e->spontaneous() && !encerrandoAplicacao()))
//             ...   // the window closes
//     }
#include <QPicture>
#include <QPixmap>
#include <QSizeF>
#include <QString>
#include <QStyle>

#include <functional>
#include <span>

class QCloseEvent;
class QLabel;
class QPrinter;
class QMainWindow;
class QTimer;
class QToolBar;
class QWidget;

namespace JanelaDeFicha {

// One toolbar entry: caption, key (null = a separator), tool tip, standard icon.
struct BotaoDaBarra {
    const char* legenda;
    const char* chave;
    const char* dica = nullptr;
    QStyle::StandardPixmap icone = QStyle::SP_CustomBase;   // SP_CustomBase: no icon
};

// The window's fixed toolbar "toolMenu" (text-only buttons), one action a row, each named
// and keyed (QAction::data) by its key; a triggered action calls `executa` with its key.
QToolBar* montaBarra(QMainWindow* janela, std::span<const BotaoDaBarra> botoes,
                     std::function<void(const QString&)> executa);

// The window's single-shot reply timer "timerTimeOut"; when it fires the wait in progress
// gives up (globais().tempoEsgotado).
QTimer* criaTimerTimeOut(QWidget* janela);

// The status bar "sbStatusBar" with its first panel "sbStatusBarPainel1", which it returns.
QLabel* montaBarraDeStatus(QMainWindow* janela);

// The close rule of a sheet window. With `pergunta` (the operator's close box) it asks
// "Deseja realmente encerrar o programa ?": No keeps the window open and returns false; Yes
// closes the connection and ends the program. Without it the connection is closed and the
// window goes. True when the window closes.
bool fecha(QWidget* janela, QCloseEvent* evento, bool pergunta);

// "Sair" of the renewal and card windows: the member window is shown first, so the program
// never finds itself without a window, then `fechaPeloPrograma` closes this one.
void voltaAosMembros(const std::function<void()>& fechaPeloPrograma);

// "Logoff" of the renewal and card windows: the window closes (`fechaPeloPrograma`) and is
// discarded, so the next opening starts empty; the login window then forgets the operator,
// shows itself and closes the connection. The caller first drops its own pointer to it.
void descartaNoLogoff(QWidget* janela, const std::function<void()>& fechaPeloPrograma);

// Marks a window that shows a member's data. At log off every such window is discarded
// (descartaJanelasDeFicha), so the next operator finds none of the last one's members.
void guardaFichas(QWidget* janela);
// Hides and discards (deleteLater) every marked window.
void descartaJanelasDeFicha();

// How a window's picture reaches the paper.
enum class Impressao {
    Desenho,   // recorded as drawing commands: the printer receives text and lines
    Imagem,    // a bitmap of the window
};

// Prints what `alvo` shows on screen on the default printer, as a job named after its window,
// from the top-left corner of the printable area: at its size on screen, or scaled to fit
// `noPapelTwips` when that is given, and reduced when it would still not fit the printable
// area. A blinking caret inside it is left out. No default printer, or a job the print
// system refuses: the operator is told and false is returned. A printer that cannot start
// raises ErroDeExecucao (`onde` names the handler).
bool imprimeComoNaTela(QWidget* alvo, Impressao como, const QString& onde, const QSizeF& noPapelTwips = QSizeF());

// The picture of `alvo` as printing takes it, kept so that a preview can paint it again.
struct Captura {
    Impressao como = Impressao::Desenho;
    QPicture desenho;
    QPixmap imagem;
    QSizeF tamanho;
    int pontosPorPolegada = 96;
};
Captura captura(QWidget* alvo, Impressao como);
// Paints a picture onto `impressora` as imprimeComoNaTela does; raises when it cannot start.
void pinta(const Captura& captura, QPrinter& impressora, const QString& onde, const QSizeF& noPapelTwips = QSizeF());
// "Visualizar Impressão": the page imprimeComoNaTela would print, in a preview titled after
// the window.
void visualizaComoNaTela(QWidget* alvo, Impressao como, const QString& onde, const QSizeF& noPapelTwips = QSizeF());

} // namespace JanelaDeFicha
