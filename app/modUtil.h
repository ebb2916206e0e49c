#pragma once
#include <QDate>
#include <QString>

// Small text procedures shared by the windows.

// A stored phone is the two-digit area code followed by the number.
QString ExtraiDDD(const QString& telefone);        // the first two characters
QString ExtraiTelefone(const QString& telefone);   // from the third character on

// Whether a dd/mm/yyyy text is a real calendar date: ten characters, digits at positions
// 1-2, 4-5 and 7-10; the separators are not examined.
bool ValidaData(const QString& texto);
// The date such a text holds; an invalid QDate when ValidaData refuses it.
QDate DataDe(const QString& texto);

// Key codes of the keys the filters know besides the printable ones.
namespace CodigoDeTecla {
constexpr char16_t Backspace = 8;
constexpr char16_t CtrlC = 3;
constexpr char16_t CtrlV = 22;
} // namespace CodigoDeTecla

// Key filters: the result replaces the typed key; 0 swallows it.
// Digits and backspace always pass; each flag lets one more key through.
char16_t FiltraNumerico(char16_t tecla, bool barra, bool hifen, bool virgula, bool ponto, bool espaco,
                        bool doisPontos, bool ctrlC, bool ctrlV);

// Letters A-Z/a-z and backspace always pass (accented letters never do); each flag lets one
// more key through; `maiusculas` turns the accepted key into its upper-case form.
char16_t FiltraAlfabetico(char16_t tecla, bool digitos, bool barra, bool hifen, bool virgula, bool ponto,
                          bool espaco, bool ctrlC, bool ctrlV, bool maiusculas);
