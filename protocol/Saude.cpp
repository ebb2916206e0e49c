#include "protocol/Saude.h"

namespace Saude {
namespace {

struct Nome {
    Estado estado;
    const char* palavra;
};
constexpr Nome nomes[] = {
    {Estado::Serve, "serve"},
    {Estado::BancoFora, "banco-fora"},
    {Estado::SomenteLeitura, "somente-leitura"},
    {Estado::Encerrando, "encerrando"},
};

} // namespace

QString palavra(Estado e)
{
    for (const Nome& n : nomes)
        if (n.estado == e)
            return QLatin1String(n.palavra);
    return QStringLiteral("desconhecido");
}

Estado dePalavra(QStringView texto)
{
    for (const Nome& n : nomes)
        if (texto == QLatin1String(n.palavra))
            return n.estado;
    return Estado::Desconhecido;
}

Estado daResposta(const QStringList& capacidades)
{
    const QString prefixo = QLatin1String(capacidade) + QLatin1Char('=');
    for (const QString& c : capacidades)
        if (c.startsWith(prefixo))
            return dePalavra(QStringView(c).sliced(prefixo.size()));
    return Estado::Desconhecido;
}

QString capacidadeDoEstado(Estado e)
{
    return QLatin1String(capacidade) + QLatin1Char('=') + palavra(e);
}

} // namespace Saude
