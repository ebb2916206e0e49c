// The history chain's head in the server's log (see EloNoDiario.h).
#include "server/admin/EloNoDiario.h"
#include "server/store/Banco.h"
#include "server/Diario.h"
#include "server/history/Historico.h"

namespace EloNoDiario {

void registra(const QString& conexao)
{
    Banco banco(conexao);
    qint64 id = 0;
    QString hash;
    if (!banco.abre(false) || !HistoricoGravado(banco).cabeca(id, hash)) {
        registraNoDiario(QStringLiteral("histórico: o último elo não pôde ser lido (%1)").arg(banco.ultimoErro()));
        return;
    }
    if (id == 0)
        registraNoDiario(QStringLiteral("histórico: a cadeia está vazia"));
    else
        registraNoDiario(QStringLiteral("histórico: último elo %1 (linha %2)").arg(hash).arg(id));
}

} // namespace EloNoDiario
