#pragma once
// The filter frame shared by the member search dialogs ("Filtro Pesquisa"): sheet number,
// name and a date range, with the error labels beside them. It validates itself and builds
// the search filter; the slots (SlotDeBusca.h) send it.
#include "protocol/clsFiltroBusca.h"

#include <QGroupBox>

class QLabel;
class QLineEdit;

class PainelFiltroBusca : public QGroupBox {
    Q_OBJECT
public:
    // `filtrosDeTecla`: digits only in the number and date boxes, unaccented letters in the name
    // (the renewal and card searches); the member search filters nothing.
    explicit PainelFiltroBusca(bool filtrosDeTecla = false, QWidget* parent = nullptr);

    // Dates optional but only as a pair, start not after end; a sheet number, when typed,
    // must be a whole number; the name may not hold the wire's separators ("|", "@@@").
    // Writes the error labels; true when the filter can be sent.
    bool ValidaFiltro();

    // The filter of the current fields (call after ValidaFiltro): number, name, department,
    // start date, end date.
    clsFiltroBusca montaFiltro(qint32 idDepartamento) const;

    QLineEdit* txtNFicha;
    QLineEdit* txtNome;
    QLineEdit* txtDataInicial;
    QLineEdit* txtDataFinal;
    QLabel* lblNFichaErro;
    QLabel* lblNomeErro;
    QLabel* lblDataInicialErro;
    QLabel* lblDataFinalErro;
};
