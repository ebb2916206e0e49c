#include "protocol/FormatoBR.h"
#include "protocol/ErroDeExecucao.h"

#include <cmath>
#include <limits>

namespace FormatoBR {

namespace {

ErroDeExecucao erroDeConversao(QStringView texto, const QString& origem, const char* tipo)
{
    return ErroDeExecucao(origem, QStringLiteral("Tipo incompatível: \"%1\" não é %2")
                                      .arg(texto.toString(), QString::fromUtf8(tipo)));
}

// Reads a pt-BR number ("1.234,50", "-3", "12,5"); "." groups and "," is the decimal mark.
bool lePortugues(QStringView texto, double& valor)
{
    texto = texto.trimmed();
    if (texto.isEmpty())
        return false;
    QString normalizado;
    normalizado.reserve(texto.size());
    bool temDigito = false;
    bool temVirgula = false;
    for (qsizetype i = 0; i < texto.size(); ++i) {
        const QChar c = texto[i];
        if (c.isDigit() && c.unicode() < 128) {
            normalizado += c;
            temDigito = true;
        } else if (c == u'.') {
            if (temVirgula)
                return false;   // grouping after the decimal mark
        } else if (c == u',') {
            if (temVirgula)
                return false;
            temVirgula = true;
            normalizado += u'.';
        } else if ((c == u'-' || c == u'+') && i == 0) {
            normalizado += c;
        } else {
            return false;
        }
    }
    if (!temDigito)
        return false;
    bool ok = false;
    valor = normalizado.toDouble(&ok);
    return ok && std::isfinite(valor);
}

} // namespace

QString formataData(const QDate& data)
{
    // Years outside 1..9999 cannot be written in four digits: they travel as the zero date.
    const QDate d = data.isValid() && data.year() >= 1 && data.year() <= 9999 ? data : dataZero();
    // Built by hand: QDate::toString would follow the locale for some patterns.
    return QStringLiteral("%1/%2/%3")
        .arg(d.day(), 2, 10, QLatin1Char('0'))
        .arg(d.month(), 2, 10, QLatin1Char('0'))
        .arg(d.year(), 4, 10, QLatin1Char('0'));
}

QString formataValor(double valor)
{
    if (!std::isfinite(valor))
        valor = 0;
    const bool negativo = valor < 0;
    QString inteiros;
    int resto = 0;
    if (std::fabs(valor) < 1e15) {
        const qint64 centavos = qRound64(std::fabs(valor) * 100.0);
        inteiros = QString::number(centavos / 100);
        resto = int(centavos % 100);
    } else {
        // Beyond what whole cents in 64 bits can hold: let the text conversion round.
        const QString fixo = QString::number(std::fabs(valor), 'f', 2);
        inteiros = fixo.left(fixo.size() - 3);
        resto = fixo.right(2).toInt();
    }
    QString agrupado;
    agrupado.reserve(inteiros.size() + inteiros.size() / 3 + 4);
    const qsizetype n = inteiros.size();
    for (qsizetype i = 0; i < n; ++i) {
        if (i > 0 && (n - i) % 3 == 0)
            agrupado += u'.';
        agrupado += inteiros[i];
    }
    QString resultado = negativo && (resto != 0 || inteiros != u"0") ? QStringLiteral("-") : QString();
    resultado += agrupado;
    resultado += u',';
    resultado += QChar(u'0' + resto / 10);
    resultado += QChar(u'0' + resto % 10);
    return resultado;
}

QDate converteData(QStringView texto, const QString& origem)
{
    const QStringView t = texto.trimmed();
    // d/M/yyyy with one or two digits for day and month, "/" between them.
    const qsizetype b1 = t.indexOf(u'/');
    const qsizetype b2 = b1 < 0 ? -1 : t.indexOf(u'/', b1 + 1);
    if (b1 > 0 && b2 > b1 + 1 && b2 < t.size() - 1) {
        bool okD = false, okM = false, okA = false;
        const QStringView dia = t.left(b1), mes = t.mid(b1 + 1, b2 - b1 - 1), ano = t.mid(b2 + 1);
        const int d = dia.size() <= 2 ? dia.toInt(&okD) : 0;
        const int m = mes.size() <= 2 ? mes.toInt(&okM) : 0;
        const int a = ano.size() == 4 ? ano.toInt(&okA) : 0;
        if (okD && okM && okA) {
            const QDate data(a, m, d);
            if (data.isValid())
                return data;
        }
    }
    throw erroDeConversao(texto, origem, "uma data válida (dd/mm/aaaa)");
}

double converteValor(QStringView texto, const QString& origem)
{
    double valor = 0;
    if (!lePortugues(texto, valor))
        throw erroDeConversao(texto, origem, "um número");
    return std::round(valor * 100.0) / 100.0;
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
