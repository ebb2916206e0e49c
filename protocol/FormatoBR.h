#pragma once
#include <QDate>
#include <QString>
#include <QStringView>

// Fixed Brazilian formats for everything that crosses the wire or is printed:
// dates "dd/MM/yyyy", numbers with "," as decimal and "." as thousands separator.
// The machine's locale is never consulted, so client and server always agree.
namespace FormatoBR {

// The date a record holds before anyone sets it; it travels as 30/12/1899.
inline QDate dataZero() { return QDate(1899, 12, 30); }

QString formataData(const QDate& data);            // an invalid date is written as the zero date
QString formataValor(double valor);                 // 1234.5 -> "1.234,50"
// The same, appended to `saida` without a text of their own (records write many of them).
void escreveData(QString& saida, const QDate& data);
void escreveValor(QString& saida, double valor);
void escreveInteiro(QString& saida, qint64 valor);

// These raise ErroDeExecucao with `origem` as the error's source.
// Exactly "dd/MM/yyyy" (two, two and four digits), as dates travel.
QDate converteData(QStringView texto, const QString& origem);
// Rounded to two decimals; beyond `maiorValor` either way is an overflow, so every amount read
// is written back in whole cents and reads again as the same value.
double converteValor(QStringView texto, const QString& origem);
constexpr double maiorValor = 1e13;
qint32 converteInteiro(QStringView texto, const QString& origem);
qint16 converteInteiro16(QStringView texto, const QString& origem); // fractions rounded

} // namespace FormatoBR
