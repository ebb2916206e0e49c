#pragma once
#include "cards/CamposDaCarteira.h"

#include <QList>
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

// Converts every setting cards 1..quantidade use, in printing order, and returns the first
// that is not a number (or, for a font size, not above zero). Nothing when all are usable.
std::optional<ConfiguracaoInvalida> verificaConfiguracao(int quantidade, const LeConfiguracao& configuracao);

// Prints cards 1..carteiras.size() (at most five) on one page: "Arial" at each card's
// `fonte` size, each text with its top-left corner at the card's column and row settings,
// in twips from the top-left corner of the printable area. Empty texts print nothing.
// All settings are checked first: on a bad one the operator is told which and nothing is
// printed (no job is started). Also tells the operator when there is no printer.
// Returns true when the page was sent to the printer.
// The machine's card-stock calibration (settings "deslocamentox", "deslocamentoy" and
// "escala", see cards/Calibracao.h) moves every text; with none set the page is the same.
bool imprime(QWidget* dono, const QList<TextosDaCarteira>& carteiras, const LeConfiguracao& configuracao);

// "Visualizar Impressão": the same checks, then the same page in a print preview.
void visualiza(QWidget* dono, const QList<TextosDaCarteira>& carteiras, const LeConfiguracao& configuracao);

// Paints the page of `imprime` onto `impressora` (settings already checked). Raises
// ErroDeExecucao when the printer cannot start; false when it rejected the page.
bool pinta(QPrinter& impressora, const QList<TextosDaCarteira>& carteiras, const LeConfiguracao& configuracao);

} // namespace ImpressaoCarteiras
