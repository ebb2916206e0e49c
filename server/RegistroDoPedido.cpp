// A request served, as the log and the metrics take it.
#include "server/RegistroDoPedido.h"
#include "protocol/modCommands.h"
#include "server/Diario.h"
#include "server/monitoring/Metricas.h"

namespace {

QString milissegundos(qint64 ns)
{
    return QString::number(double(ns) / 1e6, 'f', 1) + QStringLiteral(" ms");
}

// A reply that is no list says by its code how many rows it carried.
QString linhas(const RegistroDoPedido::Pedido& p)
{
    if (p.linhas >= 0)
        return QString::number(p.linhas);
    const int codigo = p.codigoDaResposta.toByteArray().toInt();
    switch (codigo) {
    case Codigo::LoginAceito:
    case Codigo::Salvo:
    case Codigo::Incluido:
    case Codigo::Excluido:
        return QStringLiteral("1");
    case Codigo::Falha:
    case Codigo::LoginNegado:
    case Codigo::NadaEncontrado:
        return QStringLiteral("0");
    default:
        return QStringLiteral("?");
    }
}

} // namespace

QString RegistroDoPedido::linhaDoLento(const Pedido& p)
{
    return QStringLiteral("pedido lento: %1, departamento %2, %3, %4 linha(s), conexão %5")
        .arg(QLatin1String(Metricas::tipoDoPedido(p.codigo)), p.departamento > 0 ? QString::number(p.departamento) : QStringLiteral("?"),
             milissegundos(p.duracaoNs), linhas(p), p.conexao);
}

void RegistroDoPedido::registra(const Pedido& p, int lentoMs)
{
    Metricas::pedido(p.codigo, p.codigoDaResposta, p.duracaoNs);
    if (p.codigo == Codigo::Login && p.codigoDaResposta == QByteArrayView("5"))   // Codigo::LoginNegado
        Metricas::loginRecusado();
    registraNoDiario(QStringLiteral("%1 pedido %2 -> %3 %4 (%5)")
                         .arg(p.conexao, p.codigo >= 0 ? QString::number(p.codigo) : QStringLiteral("?"),
                              QString::fromLatin1(p.codigoDaResposta), p.desfecho, milissegundos(p.duracaoNs)));
    if (lentoMs > 0 && p.duracaoNs >= qint64(lentoMs) * 1'000'000)
        registraNoDiario(linhaDoLento(p));
}
