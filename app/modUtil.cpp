#include "app/modUtil.h"

QString ExtraiDDD(const QString& telefone)
{
    return telefone.left(2);
}

QString ExtraiTelefone(const QString& telefone)
{
    return telefone.mid(2);
}

namespace {

// A whole number in a fixed slice of the text, every character of it a digit.
bool numeroEm(const QString& texto, qsizetype inicio, qsizetype tamanho, int& numero)
{
    const QStringView pedaco = QStringView(texto).mid(inicio, tamanho);
    if (pedaco.size() != tamanho)
        return false;
    for (QChar c : pedaco)
        if (c < u'0' || c > u'9')
            return false;
    numero = pedaco.toInt();
    return true;
}

bool bissexto(int ano)
{
    return (ano % 4 == 0 && ano % 100 != 0) || ano % 400 == 0;
}

} // namespace

bool ValidaData(const QString& texto)
{
    return DataDe(texto).isValid();
}

QDate DataDe(const QString& texto)
{
    // Ten characters: two digits of day, two of month, four of year; the separators between
    // them are not examined ("31x12x2005" is a date).
    int dia = 0, mes = 0, ano = 0;
    if (texto.size() != 10 || !numeroEm(texto, 0, 2, dia) || !numeroEm(texto, 3, 2, mes) || !numeroEm(texto, 6, 4, ano))
        return QDate();
    if (ano < 1)   // there is no year 0 in the calendar the dates are converted with
        return QDate();
    int ultimo = 0;
    switch (mes) {
    case 1: case 3: case 5: case 7: case 8: case 10: case 12:
        ultimo = 31;
        break;
    case 4: case 6: case 9: case 11:
        ultimo = 30;
        break;
    case 2:
        // The full Gregorian rule: 1900 is not a leap year, 2000 is.
        ultimo = bissexto(ano) ? 29 : 28;
        break;
    default:
        return QDate();
    }
    return dia >= 1 && dia <= ultimo ? QDate(ano, mes, dia) : QDate();
}

namespace {

bool digito(char16_t c) { return c >= u'0' && c <= u'9'; }
bool letra(char16_t c) { return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z'); }

} // namespace

char16_t FiltraNumerico(char16_t tecla, bool barra, bool hifen, bool virgula, bool ponto, bool espaco,
                        bool doisPontos, bool ctrlC, bool ctrlV)
{
    if (digito(tecla) || tecla == CodigoDeTecla::Backspace)
        return tecla;
    const bool aceita = (tecla == u'/' && barra) || (tecla == u'-' && hifen) || (tecla == u',' && virgula)
                        || (tecla == u'.' && ponto) || (tecla == u' ' && espaco) || (tecla == u':' && doisPontos)
                        || (tecla == CodigoDeTecla::CtrlC && ctrlC) || (tecla == CodigoDeTecla::CtrlV && ctrlV);
    return aceita ? tecla : 0;
}

char16_t FiltraAlfabetico(char16_t tecla, bool digitos, bool barra, bool hifen, bool virgula, bool ponto,
                          bool espaco, bool ctrlC, bool ctrlV, bool maiusculas)
{
    const bool aceita = letra(tecla) || tecla == CodigoDeTecla::Backspace || (digito(tecla) && digitos)
                        || (tecla == u'/' && barra) || (tecla == u'-' && hifen) || (tecla == u',' && virgula)
                        || (tecla == u'.' && ponto) || (tecla == u' ' && espaco)
                        || (tecla == CodigoDeTecla::CtrlC && ctrlC) || (tecla == CodigoDeTecla::CtrlV && ctrlV);
    if (!aceita)
        return 0;
    if (maiusculas && tecla >= u'a' && tecla <= u'z')
        return char16_t(tecla - u'a' + u'A');
    return tecla;
}
