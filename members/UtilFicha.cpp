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
    try {
        return FormatoBR::converteData(texto, QString());
    } catch (const ErroDeExecucao&) {
        return std::nullopt;
    }
}

QDate leDataValidada(const QString& texto, const QString& origem)
{
    if (::ValidaData(texto)) {
        const QDate d(texto.mid(6, 4).toInt(), texto.mid(3, 2).toInt(), texto.mid(0, 2).toInt());
        if (d.isValid())
            return d;
    }
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
