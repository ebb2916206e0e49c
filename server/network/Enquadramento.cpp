#include "server/network/Enquadramento.h"
#include "protocol/modCommands.h"

namespace Enquadramento {

bool ehCodigoDePedido(int codigo)
{
    switch (codigo) {
    case Codigo::Login:
    case Codigo::Salva:
    case Codigo::Inclui:
    case Codigo::Exclui:
    case Codigo::Busca:
        return true;
    default:
        return false;
    }
}

namespace {

bool soDigitos(QByteArrayView texto)
{
    for (char c : texto)
        if (c < '0' || c > '9')
            return false;
    return true;
}

// The value of a short run of digits written without leading zeros; -1 otherwise.
int valorDoCodigo(QByteArrayView digitos)
{
    if (digitos.isEmpty() || digitos.size() > 2 || (digitos.size() > 1 && digitos[0] == '0'))
        return -1;
    int v = 0;
    for (char c : digitos)
        v = v * 10 + (c - '0');
    return v;
}

} // namespace

Analise analisa(QByteArrayView dados)
{
    Analise a;
    const qsizetype barra = dados.indexOf('|');
    const QByteArrayView prefixo = barra < 0 ? dados : dados.first(barra);

    if (!soDigitos(prefixo)) {
        a.situacao = Situacao::Invalido;
        return a;
    }
    if (barra < 0) {
        // Digits and no "|" yet: keep-alives, or the code of a request still on its way.
        bool soUns = true;
        for (char c : prefixo)
            soUns = soUns && c == '1';
        a.situacao = soUns ? Situacao::SoKeepAlive : Situacao::Incompleto;
        return a;
    }
    for (qsizetype k = 0; k < prefixo.size(); ++k) {
        const int codigo = valorDoCodigo(prefixo.sliced(k));
        if (ehCodigoDePedido(codigo)) {
            a.codigo = codigo;
            a.inicio = k;
            const int barrasNecessarias = Codigo::pecasDaMensagem(codigo) - 1;
            int barras = 0;
            for (qsizetype i = barra; i < dados.size() && barras < barrasNecessarias; ++i)
                if (dados[i] == '|')
                    ++barras;
            a.situacao = barras >= barrasNecessarias ? Situacao::Completo : Situacao::Incompleto;
            return a;
        }
        if (prefixo[k] != '1')
            break;
    }
    a.situacao = Situacao::Invalido;
    return a;
}

} // namespace Enquadramento
