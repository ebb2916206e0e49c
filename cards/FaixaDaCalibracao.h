#pragma once
#include "cards/Calibracao.h"

#include <QList>
#include <QPointF>
#include <QSizeF>
#include <QString>
#include <optional>

// How far the card-stock calibration may go on the paper: the values of each calibration
// setting that keep every card text of the layout on the printable area of the page, and how
// the operator is told when one does not.
//
// A text at layout position p (twips) prints at escala * p + deslocamento; like a layout
// position it must start inside the printable area.
namespace FaixaDaCalibracao {

// A closed range of a setting's values (millimetres for the offsets); empty when none fits.
struct Faixa {
    double minimo = 0;
    double maximo = 0;
    bool vazia() const { return minimo > maximo; }
    bool contem(double v) const { return v >= minimo && v <= maximo; }
};

// The positions (twips) of the texts of cards 1..quantidade the layout gives as numbers.
QList<QPointF> posicoes(const ImpressaoCarteiras::LeConfiguracao& configuracao, int quantidade);
// The printable area (twips) of the printer a print starts with: the default one, or the
// paper a PDF gets on a machine without printers.
QSizeF areaDaImpressoraPadrao();

// The values of setting `nome` (Calibracao::nomeX() ...) that keep every text of `posicoes`
// inside `area`, the other two settings as in `c`.
Faixa faixa(const QString& nome, const Calibracao& c, const QList<QPointF>& posicoes, const QSizeF& area);
// The first setting of `c` whose value puts a text outside `area`, or nothing.
std::optional<QString> primeiraFora(const Calibracao& c, const QList<QPointF>& posicoes, const QSizeF& area);

// "deslocamento horizontal", "deslocamento vertical", "escala".
QString legenda(const QString& nome);
// "entre -5,2 e 120,3 mm" (rounded inwards), or a sentence saying no value fits.
QString emTexto(const QString& nome, const Faixa& f);
// The value written back when a stored one cannot be used: "0", or "1" for the scale.
QString padrao(const QString& nome);

// At print time: the calibration read from `configuracao`, against cards 1..quantidade of
// its layout on `area`; the first setting that puts a text off the page, as the operator is
// told (the message names the setting and the range that fits this paper).
std::optional<ImpressaoCarteiras::ConfiguracaoInvalida> confere(const ImpressaoCarteiras::LeConfiguracao& configuracao,
                                                                int quantidade, const QSizeF& area);

} // namespace FaixaDaCalibracao
