// Whether the registry's store takes writes (see EstadoDeGravacao.h).
#include "server/store/EstadoDeGravacao.h"

#include <atomic>

namespace {

std::atomic<bool> recusando = false;

} // namespace

void EstadoDeGravacao::recusou(const Diario& diario, const QString& porque)
{
    if (!recusando.exchange(true) && diario)
        diario(QStringLiteral("O BANCO NÃO ACEITA GRAVAÇÕES (disco cheio ou somente leitura?): %1; consultas e logins continuam "
                              "(as sessões novas só na memória deste servidor), alterações recebem 0 até o banco aceitar de novo")
                   .arg(porque));
}

void EstadoDeGravacao::aceitou(const Diario& diario)
{
    if (recusando.exchange(false) && diario)
        diario(QStringLiteral("o banco voltou a aceitar gravações"));
}

bool EstadoDeGravacao::aceitando()
{
    return !recusando.load();
}
