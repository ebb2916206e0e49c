#include "members/UtilFicha.h"
#include "app/FiltroDeTeclas.h"
#include "app/modGlobais.h"
#include "app/modUtil.h"
#include "app/FiltroDeTeclas.h"
#include "app/modGlobais.h"
#include "app/modUtil.h"
#include "protocol/ErroDeExecucao.h"
#include "protocol/FormatoBR.h"

#include <QLabel>
#include <QLineEdit>
#include <limits>

namespace UtilFicha {

std::optional<qint32> numeroInteiro(const QString& texto)
{
    const QString t = texto.trimmed();
    if (t.isEmpty() || t.size() > 10)
        return std::nullopt;
    for (const QChar c : t)
        if (c < u'0' || c > u'9')
            return std::nullopt;
    const qint64 v = t.toLongLong();
    if (v > std::numeric_limits<qint32>::max())
        return std::nullopt;
    return qint32(v);
}

std::optional<QDate> leData(const QString& texto)
{
    // Stored texts were typed over the years: one or two digits of day and month are read too.
    const QStringView t = QStringView(texto).trimmed();
    const qsizetype b1 = t.indexOf(u'/');
    const qsizetype b2 = b1 < 0 ? -1 : t.indexOf(u'/', b1 + 1);
    if (b1 < 1 || b1 > 2 || b2 - b1 < 2 || b2 - b1 > 3 || t.size() - b2 != 5)
        return std::nullopt;
    for (qsizetype i = 0; i < t.size(); ++i)
        if (i != b1 && i != b2 && (t[i] < u'0' || t[i] > u'9'))
            return std::nullopt;
    const QDate d(t.mid(b2 + 1).toInt(), t.mid(b1 + 1, b2 - b1 - 1).toInt(), t.left(b1).toInt());
    if (!d.isValid() || d.year() < 1)
        return std::nullopt;
    return d;
}

QDate leDataValidada(const QString& texto, const QString& origem)
{
    const QDate d = ::DataDe(texto);
    if (d.isValid())
        return d;
    return FormatoBR::converteData(texto, origem);
}

bool ehNumerico(const QString& texto)
{
    try {
        FormatoBR::converteValor(texto, QString());
        return true;
    } catch (const ErroDeExecucao&) {
        return false;
    }
}

bool ValidaData(const QString& texto)
{
    return ::ValidaData(texto);
}

QString ExtraiDDD(const QString& telefone)
{
    return ::ExtraiDDD(telefone);
}

QString ExtraiTelefone(const QString& telefone)
{
    return ::ExtraiTelefone(telefone);
}

void LimpaLabelsDeErro(QWidget* janela)
{
    ::LimpaLabelsDeErro(janela);
}

void marcaComoLabelDeErro(QLabel* rotulo)
{
    ::marcaComoLabelDeErro(rotulo);
}

void instalaFiltro(QLineEdit* caixa, ControleDaFicha::Filtro filtro)
{
    using F = ControleDaFicha::Filtro;
    FiltroDeTeclas::Alfabetico letras;
    FiltroDeTeclas::Numerico numeros;
    letras.ctrlC = numeros.ctrlC = true;
    switch (filtro) {
    case F::Nenhum:
        return;
    case F::Nome:           // letters as typed, ".", blank, copy, paste
    case F::LetrasDigitos:  // the same and digits
        letras.digitos = filtro == F::LetrasDigitos;
        letras.ponto = letras.espaco = letras.ctrlV = true;
        FiltroDeTeclas::instalaAlfabetico(caixa, letras);
        return;
    case F::UF:             // letters turned to upper case, copy
        letras.maiusculas = true;
        FiltroDeTeclas::instalaAlfabetico(caixa, letras);
        return;
    case F::Digitos:
        FiltroDeTeclas::instalaNumerico(caixa, numeros);
        return;
    case F::Data:
        numeros.barra = true;
        FiltroDeTeclas::instalaNumerico(caixa, numeros);
        return;
    case F::Valor:
        numeros.virgula = true;
        FiltroDeTeclas::instalaNumerico(caixa, numeros);
        return;
    }
}

} // namespace UtilFicha
