#include "protocol/FormatoBR.h"
#include "protocol/ErroDeExecucao.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace FormatoBR {

namespace {

ErroDeExecucao erroDeConversao(QStringView texto, const QString& origem, const char* tipo)
{
    return ErroDeExecucao(origem, QStringLiteral("Tipo incompatível: \"%1\" não é %2")
                                      .arg(texto.toString(), QString::fromUtf8(tipo)));
}

// Reads a pt-BR number ("1.234,50", "-3", "12,5", "1150,5"). "," is the decimal mark and
// "." only separates thousands: after the first one to three digits every group has exactly
// three, so "25.50", "1234.5" and "1.2.3" are refused instead of read as 2550, 12345 or 123.
// Works on a stack buffer: a member list converts one of these per record.
bool lePortugues(QStringView texto, double& valor)
{
    texto = texto.trimmed();
    if (texto.isEmpty() || texto.size() > 400)
        return false;
    char normalizado[401];
    qsizetype n = 0;
    qsizetype i = 0;
    if (texto[0] == u'-') {
        normalizado[n++] = '-';
        ++i;
    } else if (texto[0] == u'+') {
        ++i;   // from_chars takes no plus sign
    }
    auto digito = [&](qsizetype j) { return j < texto.size() && texto[j] >= u'0' && texto[j] <= u'9'; };

    // Whole part: plain digits, or a first group of one to three digits and then ".ddd" groups.
    const qsizetype inicio = i;
    while (digito(i))
        normalizado[n++] = char(texto[i++].unicode());
    bool temDigito = i > inicio;
    if (i < texto.size() && texto[i] == u'.') {
        if (i - inicio < 1 || i - inicio > 3)
            return false;
        while (i < texto.size() && texto[i] == u'.') {
            if (!(digito(i + 1) && digito(i + 2) && digito(i + 3)) || digito(i + 4))
                return false;
            for (qsizetype j = i + 1; j <= i + 3; ++j)
                normalizado[n++] = char(texto[j].unicode());
            i += 4;
        }
    }
    // Decimal part.
    if (i < texto.size() && texto[i] == u',') {
        normalizado[n++] = '.';
        ++i;
        while (digito(i)) {
            normalizado[n++] = char(texto[i++].unicode());
            temDigito = true;
        }
    }
    if (i != texto.size() || !temDigito)
        return false;
    const auto [fim, erro] = std::from_chars(normalizado, normalizado + n, valor);
    return erro == std::errc() && fim == normalizado + n && std::isfinite(valor);
}

// Two-digit and four-digit fields of a date, straight into the text.
void doisDigitos(char16_t* saida, int v)
{
    saida[0] = char16_t(u'0' + v / 10 % 10);
    saida[1] = char16_t(u'0' + v % 10);
}

} // namespace

void escreveData(QString& saida, const QDate& data)
{
    // Years outside 1..9999 cannot be written in four digits: they travel as the zero date.
    const QDate d = data.isValid() && data.year() >= 1 && data.year() <= 9999 ? data : dataZero();
    // Built by hand: QDate::toString would follow the locale for some patterns.
    int ano = 0, mes = 0, dia = 0;
    d.getDate(&ano, &mes, &dia);
    char16_t texto[10];
    doisDigitos(texto, dia);
    texto[2] = u'/';
    doisDigitos(texto + 3, mes);
    texto[5] = u'/';
    doisDigitos(texto + 6, ano / 100);
    doisDigitos(texto + 8, ano % 100);
    saida.append(QStringView(texto, 10));
}

QString formataData(const QDate& data)
{
    QString texto;
    escreveData(texto, data);
    return texto;
}

void escreveValor(QString& saida, double valor)
{
    if (!std::isfinite(valor))
        valor = 0;
    const double absoluto = std::fabs(valor);
    if (absoluto >= 1e15) {
        // Beyond what whole cents in 64 bits can hold: let the text conversion round.
        const QString fixo = QString::number(absoluto, 'f', 2);
        const QStringView inteiros = QStringView(fixo).left(fixo.size() - 3);
        if (valor < 0)
            saida += u'-';
        const qsizetype n = inteiros.size();
        for (qsizetype i = 0; i < n; ++i) {
            if (i > 0 && (n - i) % 3 == 0)
                saida += u'.';
            saida += inteiros[i];
        }
        saida += u',';
        saida += QStringView(fixo).right(2);
        return;
    }
    const qint64 centavos = qRound64(absoluto * 100.0);
    // Written backwards into a buffer: two decimals, ",", then groups of three digits.
    char16_t texto[32];
    int p = 32;
    qint64 resto = centavos;
    texto[--p] = char16_t(u'0' + resto % 10);
    resto /= 10;
    texto[--p] = char16_t(u'0' + resto % 10);
    resto /= 10;
    texto[--p] = u',';
    int digitos = 0;
    do {
        if (digitos > 0 && digitos % 3 == 0)
            texto[--p] = u'.';
        texto[--p] = char16_t(u'0' + resto % 10);
        resto /= 10;
        ++digitos;
    } while (resto > 0);
    if (valor < 0 && centavos != 0)
        texto[--p] = u'-';
    saida.append(QStringView(texto + p, 32 - p));
}

void escreveInteiro(QString& saida, qint64 valor)
{
    char16_t texto[24];
    int p = 24;
    // Negated digit by digit, so the lowest value has no positive counterpart to overflow.
    const bool negativo = valor < 0;
    do {
        const int digito = int(valor % 10);
        texto[--p] = char16_t(u'0' + (negativo ? -digito : digito));
        valor /= 10;
    } while (valor != 0);
    if (negativo)
        texto[--p] = u'-';
    saida.append(QStringView(texto + p, 24 - p));
}

QString formataValor(double valor)
{
    QString texto;
    escreveValor(texto, valor);
    return texto;
}

QDate converteData(QStringView texto, const QString& origem)
{
    // Exactly "dd/MM/yyyy": two digits, "/", two digits, "/", four digits, nothing else.
    const auto digitos = [&](qsizetype inicio, qsizetype n, int& v) {
        v = 0;
        for (qsizetype i = inicio; i < inicio + n; ++i) {
            const char16_t c = texto[i].unicode();
            if (c < u'0' || c > u'9')
                return false;
            v = v * 10 + (c - u'0');
        }
        return true;
    };
    int d = 0, m = 0, a = 0;
    if (texto.size() == 10 && texto[2] == u'/' && texto[5] == u'/' && digitos(0, 2, d) && digitos(3, 2, m)
        && digitos(6, 4, a) && a >= 1) {
        const QDate data(a, m, d);
        if (data.isValid())
            return data;
    }
    throw erroDeConversao(texto, origem, "uma data válida (dd/mm/aaaa)");
}

double converteValor(QStringView texto, const QString& origem)
{
    double valor = 0;
    if (!lePortugues(texto, valor))
        throw erroDeConversao(texto, origem, "um número");
    valor = std::round(valor * 100.0) / 100.0;
    if (std::fabs(valor) > maiorValor)
        throw ErroDeExecucao(origem, QStringLiteral("Estouro de capacidade: %1").arg(texto.toString()));
    return valor;
}

qint32 converteInteiro(QStringView texto, const QString& origem)
{
    bool ok = false;
    const qint64 v = texto.trimmed().toLongLong(&ok);
    if (!ok)
        throw erroDeConversao(texto, origem, "um número inteiro");
    if (v < std::numeric_limits<qint32>::min() || v > std::numeric_limits<qint32>::max())
        throw ErroDeExecucao(origem, QStringLiteral("Estouro de capacidade: %1").arg(texto.toString()));
    return qint32(v);
}

qint16 converteInteiro16(QStringView texto, const QString& origem)
{
    double valor = 0;
    if (!lePortugues(texto, valor))
        throw erroDeConversao(texto, origem, "um número");
    const double arredondado = std::nearbyint(valor);   // banker's rounding, as the old runtime did
    if (arredondado < -32768 || arredondado > 32767)
        throw ErroDeExecucao(origem, QStringLiteral("Estouro de capacidade: %1").arg(texto.toString()));
    return qint16(arredondado);
}

} // namespace FormatoBR
