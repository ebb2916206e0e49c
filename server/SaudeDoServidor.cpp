// The server's side of the health question.
#include "server/SaudeDoServidor.h"
#include "protocol/Quadros.h"
#include "protocol/Wire.h"
#include "server/store/Banco.h"
#include "server/Diario.h"

#include <QSqlQuery>
#include <QVariant>

#include <atomic>

namespace {
std::atomic<bool> parando{false};
}

Saude::Estado SaudeDoServidor::doBanco(Banco& banco)
{
    // The one question whose words differ between the engines: SQLite has no standby.
    const QString sql = banco.ehPostgres() ? QStringLiteral("SELECT current_setting('transaction_read_only')") : QStringLiteral("SELECT 1");
    QString valor;
    if (!banco.paraCadaLinha(sql, {}, [&](QSqlQuery& q) { valor = q.value(0).toString(); }) || valor.isEmpty())
        return Saude::Estado::BancoFora;
    return valor == QLatin1String("on") ? Saude::Estado::SomenteLeitura : Saude::Estado::Serve;
}

QByteArray SaudeDoServidor::resposta(Saude::Estado doBanco, bool cifrada, const QString& conexao)
{
    const Saude::Estado e = estaEncerrando() ? Saude::Estado::Encerrando : doBanco;
    registraNoDiario(conexao + QStringLiteral(" saúde: ") + Saude::palavra(e));
    const QByteArray bytes = Wire::codifica(Quadros::pedidoDeNegociacao({Saude::capacidadeDoEstado(e)}));
    return cifrada ? Quadros::mensagem(bytes) : bytes;
}

void SaudeDoServidor::encerrando()
{
    parando.store(true, std::memory_order_relaxed);
}

bool SaudeDoServidor::estaEncerrando()
{
    return parando.load(std::memory_order_relaxed);
}
