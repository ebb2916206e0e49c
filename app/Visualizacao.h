#pragma once
#include <QKeySequence>
#include <QString>
#include <functional>

class QAction;
class QPrinter;
class QWidget;

// "Visualizar Impressão": the pages a print button would send, shown before they go. From
// the preview the operator prints to any installed printer or saves a PDF; with no printer
// installed the preview still opens and offers the PDF. The preview's print button sends the
// pages through the window's own print path (TrabalhoDeImpressao and its checks and messages),
// never past it.
namespace Visualizacao {

// Paints the whole job onto `impressora`, exactly as the print button does onto the default
// printer. May raise ErroDeExecucao; returns false when the job could not be painted.
using Pintura = std::function<bool(QPrinter& impressora)>;

// What the preview's print button does once the operator picked a printer (null: the default
// one, as under the test hook): print as the window's print button would, messages included.
// True when the print system took the job; the preview then closes, otherwise it stays.
using Impressao = std::function<bool(const QPrinter* escolhida)>;

// Shows the preview modally; returns when the operator closes it. `titulo` names the job
// (window title, suggested PDF name, job name). Without `imprime`, printing is imprime() below.
void mostra(QWidget* dono, const QString& titulo, const Pintura& pinta, const Impressao& imprime = {});

// The pages of `pinta` as one job on `escolhida` (null: the default printer): a refused job
// is told through ExibeErro, one left waiting in its queue by TrabalhoDeImpressao.
bool imprime(QWidget* dono, const QString& titulo, const Pintura& pinta, const QPrinter* escolhida);

// The same job straight into a PDF file (what the preview's "Salvar PDF" does). False when
// the file could not be written.
bool salvaPdf(const QString& arquivo, const Pintura& pinta, const QPrinter* modelo = nullptr);

inline QString rotulo() { return QStringLiteral("Visualizar Impressão"); }
inline QKeySequence atalho() { return QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_V); }
// Tooltip of the action, naming what it previews and the shortcut.
QString dica(const QString& oQue);

// An action "Visualizar Impressão" with its shortcut and tooltip, owned by `dono`, that runs
// `aoDisparar` when triggered.
QAction* criaAcao(QWidget* dono, const QString& oQue, const std::function<void()>& aoDisparar);

} // namespace Visualizacao
