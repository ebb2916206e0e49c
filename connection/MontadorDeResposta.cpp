#include "connection/MontadorDeResposta.h"
#include "protocol/modCommands.h"

namespace {

// The text before the first "|" (or the whole text) as a code; false when it is not a number.
bool codigoDe(QStringView texto, int& codigo)
{
    if (texto.isEmpty() || texto.size() > 9)
        return false;
    qsizetype i = 0;
    if (texto[0] == u'-')
        i = 1;
    if (i == texto.size())
        return false;
    int valor = 0;
    for (; i < texto.size(); ++i) {
        if (texto[i] < u'0' || texto[i] > u'9')
            return false;
        valor = valor * 10 + (texto[i].unicode() - u'0');
    }
    codigo = texto[0] == u'-' ? -valor : valor;
    return true;
}

} // namespace

void MontadorDeResposta::reinicia()
{
    m_texto.clear();
    m_barras = 0;
    m_ultimaBarra = -1;
    m_codigoLido = false;
    m_codigoValido = false;
    m_codigo = 0;
}

void MontadorDeResposta::acrescenta(QStringView pedaco)
{
    const qsizetype inicio = m_texto.size();
    m_texto += pedaco;
    for (qsizetype i = 0; i < pedaco.size(); ++i) {
        if (pedaco[i] == u'|') {
            ++m_barras;
            m_ultimaBarra = inicio + i;
        }
    }
    if (!m_codigoLido && m_barras > 0)
        leCodigo();
}

void MontadorDeResposta::leCodigo()
{
    m_codigoLido = true;
    m_codigoValido = codigoDe(QStringView(m_texto).left(m_texto.indexOf(u'|')), m_codigo);
}

bool MontadorDeResposta::formaCompleta() const
{
    if (m_texto.isEmpty())
        return false;
    if (m_barras == 0) {
        // A code alone: whole when the code carries nothing (the text may yet grow, e.g. "1"
        // on its way to "13|..."; the quiet interval settles that). A text that is no number
        // at all is as whole as it will get: reading it reports the error.
        int codigo = 0;
        if (!codigoDe(m_texto, codigo))
            return true;
        if (Codigo::pecasDaMensagem(codigo) == 1)
            return true;
        return inesperado(codigo) && !podeSerInicioDeEsperado(m_texto);
    }
    if (!m_codigoValido || inesperado(m_codigo))
        return true;
    const int pecas = Codigo::pecasDaMensagem(m_codigo);
    if (pecas >= 1)
        return m_barras + 1 >= pecas;
    // A list of sheets: "code|" and then sheets of a fixed number of pieces joined by "@@@".
    // The text is on a sheet boundary when the pieces after the code fill whole sheets
    // (the last piece of one sheet and the first of the next share one "|" piece) and no
    // further sheet has been started after the last "|".
    const qsizetype porFicha = Codigo::pecasDaMensagem(Codigo::Salvo) - 1;
    const qsizetype barrasDaLista = m_barras - 1;
    if (barrasDaLista == 0)
        return m_texto.size() == m_ultimaBarra + 1;   // "13|": the empty list
    if (barrasDaLista % (porFicha - 1) != 0)
        return false;
    return QStringView(m_texto).mid(m_ultimaBarra + 1).indexOf(u"@@@") < 0;
}

bool MontadorDeResposta::podeSerInicioDeEsperado(QStringView texto) const
{
    for (const int esperado : m_esperados)
        if (QString::number(esperado).startsWith(texto))
            return true;
    return false;
}

int MontadorDeResposta::silencioMs(const Silencios& s) const
{
    if (m_texto.isEmpty())
        return -1;
    if (!formaCompleta())
        return s.incompleta;
    if (m_barras > 0 && m_codigoValido && !inesperado(m_codigo) && Codigo::pecasDaMensagem(m_codigo) < 0)
        return s.lista;
    return s.registro;
}
