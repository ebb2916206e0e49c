#pragma once
#include <QKeySequence>
#include <QString>
#include <functional>

class QAction;
class QPrinter;
class QWidget;

// "Visualizar Impressão": the pages a print button would send, shown before they go. From
// the preview the operator prints to any installed printer or saves a PDF; with no printer
// installed the preview still opens and offers the PDF.
namespace Visualizacao {

// Paints the whole job onto `impressora`, exactly as the print button does onto the default
// printer. May raise ErroDeExecucao; returns false when the job could not be painted.
using Pintura = std::function<bool(QPrinter& impressora)>;

// Shows the preview modally; returns when the operator closes it. `titulo` names the job
// (window title, suggested PDF name).
void mostra(QWidget* dono, const QString& titulo, const Pintura& pinta);

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
