#pragma once
#include "cards/CamposDaCarteira.h"

#include <QList>
#include <QSizeF>
#include <QString>
#include <array>
#include <functional>
#include <optional>

class QPrinter;
class QWidget;

// Printing membership cards: the ten texts of each card, each at the position the card
// layout gives it, on one page of the default printer. No window is involved: the caller
// hands over the texts and a way to read the layout settings.
namespace ImpressaoCarteiras {

// The texts of one card, in the order of camposDaCarteira(), exactly as they stand.
using TextosDaCarteira = std::array<QString, camposPorCarteira>;

// Reads a layout setting by name ("nomex2", "fonte1") as the operator typed it.
using LeConfiguracao = std::function<QString(const QString& nome)>;

// A layout setting that cannot be used, and why.
struct ConfiguracaoInvalida {
    int carteira;
    QString nome;
    QString valor;
    QString mensagem;   // what the operator is told
};

// The font sizes a card may be printed in, in points.
inline constexpr double menorFonte = 4.0;
inline constexpr double maiorFonte = 72.0;

// Converts every setting cards 1..quantidade use, in printing order, and returns the first
// that cannot be used: not a number in the operator's format, a font size outside
// menorFonte..maiorFonte, or (when `areaEmTwips` is given: the printable area, its top-left
// corner at 0,0) a position outside the printable area. Nothing when all are usable.
std::optional<ConfiguracaoInvalida> verificaConfiguracao(int quantidade, const LeConfiguracao& configuracao,
                                                         const QSizeF& areaEmTwips = QSizeF());

// Draws cards 1..carteiras.size() (at most five) on the printer's current page: "Arial" at
// each card's `fonte` size, each text with its top-left corner at the card's column and row
// settings, in twips from the top-left corner of the printable area. Empty texts print
// nothing. The settings must have passed verificaConfiguracao. False when the painter could
// not start on the printer.
bool desenha(QPrinter& impressora, const QList<TextosDaCarteira>& carteiras, const LeConfiguracao& configuracao);

// The print job "Carteirinhas" on the default printer: checks every setting (positions
// against that printer's printable area), draws the cards and submits the page. Each problem
// is told to the operator (a bad setting by name, no printer, a refused job) and then nothing
// is printed; so is a page the queue took but holds (a paused printer). Returns true when the
// print system accepted the page. `escolhida`: a printer the operator picked in a preview
// instead of the default one.
// The machine's card-stock calibration (settings "deslocamentox", "deslocamentoy" and
// "escala", see cards/Calibracao.h) moves every text drawn by desenha; a bad one is told like
// a bad layout setting. With none set, or a neutral one, the page is exactly as without it.
bool imprime(QWidget* dono, const QList<TextosDaCarteira>& carteiras, const LeConfiguracao& configuracao,
             const QPrinter* escolhida = nullptr);

// "Visualizar Impressão": the same checks, then the page desenha draws, in a print preview
// whose print button goes through imprime.
void visualiza(QWidget* dono, const QList<TextosDaCarteira>& carteiras, const LeConfiguracao& configuracao);

} // namespace ImpressaoCarteiras
