#pragma once
// Small readings shared by the sheet form and the search slots: whole numbers and dates
// typed by the operator, the pt-BR numeric check, and the error-label and key-filter hooks.
#include "members/CamposDaFicha.h"

#include <QDate>
#include <QString>
#include <optional>

class QLabel;
class QLineEdit;
class QWidget;

namespace UtilFicha {

// A whole number typed by the operator (digits, optional blanks around); nothing when it is
// not one or does not fit a sheet number.
std::optional<qint32> numeroInteiro(const QString& texto);

// d/M/yyyy read as a date; nothing otherwise.
std::optional<QDate> leData(const QString& texto);

// A date that passed ValidaData (day, month, year at fixed places). Raises ErroDeExecucao
// for anything else.
QDate leDataValidada(const QString& texto, const QString& origem);

// pt-BR number ("1.234,50", "12", "-3,5").
bool ehNumerico(const QString& texto);

// The shared procedures of the application modules, reached through here.
bool ValidaData(const QString& texto);
QString ExtraiDDD(const QString& telefone);
QString ExtraiTelefone(const QString& telefone);
void LimpaLabelsDeErro(QWidget* janela);
void marcaComoLabelDeErro(QLabel* rotulo);
void instalaFiltro(QLineEdit* caixa, ControleDaFicha::Filtro filtro);

} // namespace UtilFicha
