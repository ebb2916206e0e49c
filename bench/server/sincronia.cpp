// zelto_bench_sincronia [--fichas N] [--mudancas M]
//
// The server's half of working disconnected, on loopback: the first copy of a department of
// N sheets (20,000 by default) read as the changes since 0 (time, bytes of the reply), the
// changes since then after 100 sheets were altered, and M queued changes (1,000 by default,
// half alterations, half new sheets) applied, then the same journal replayed (every id
// answered again, nothing applied). The store is ZELTO_TESTE_BANCO's (SQLite by default).
#include "protocol/Sincronia.h"
#include "protocol/Wire.h"
#include "protocol/clsAgenda.h"
#include "protocol/modCommands.h"
#include "support/ClienteEmQuadros.h"
#include "support/ServidorReal.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QHash>

#include <cstdio>

namespace {

int valorDe(const QStringList& args, const char* nome, int padrao)
{
    const qsizetype i = args.indexOf(QLatin1String(nome));
    return i >= 0 && i + 1 < args.size() ? args[i + 1].toInt() : padrao;
}

clsAgenda ficha(qint32 numero, const QString& nome)
{
    clsAgenda f;
    f.numeroFicha = numero;
    f.nome = nome;
    f.Data = QDate(2021, 5, 10);
    f.cidade = QStringLiteral("Recife");
    f.departamento.idDepartamento = 1;
    return f;
}

struct Copia {
    qint64 agora = 0;
    qsizetype itens = 0;
    qsizetype bytes = 0;
    double ms = 0;
    QHash<qint32, qint64> versoes;
};

Copia mudancasDesde(ClienteEmQuadros& c, qint64 desde)
{
    QElapsedTimer t;
    t.start();
    const QByteArray r = c.pede(Sincronia::pedidoDasMudancas(desde), 300'000);
    Copia copia;
    copia.ms = double(t.nsecsElapsed()) / 1e6;
    copia.bytes = r.size();
    QList<Sincronia::Item> itens;
    if (!Sincronia::leListaDeMudancas(Wire::decodifica(r), copia.agora, itens))
        std::printf("resposta inesperada: %s\n", r.left(60).constData());
    copia.itens = itens.size();
    for (const Sincronia::Item& i : std::as_const(itens))
        copia.versoes.insert(i.numero, i.versao);
    return copia;
}

// The journal sent in runs of 100 without waiting; ms for all of it, and how many were applied.
double aplica(ClienteEmQuadros& c, const QStringList& pedidos, int& aplicadas)
{
    QElapsedTimer t;
    t.start();
    aplicadas = 0;
    for (qsizetype k = 0; k < pedidos.size(); k += 100) {
        const qsizetype fim = std::min<qsizetype>(k + 100, pedidos.size());
        for (qsizetype j = k; j < fim; ++j)
            c.enviaEmQuadro(pedidos[j]);
        for (qsizetype j = k; j < fim; ++j) {
            Sincronia::Desfecho d;
            if (Sincronia::leDesfecho(Wire::decodifica(c.mensagem(60'000)), d) && !d.conflito)
                ++aplicadas;
        }
    }
    return double(t.nsecsElapsed()) / 1e6;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const int fichas = valorDe(args, "--fichas", 20'000);
    const int mudancas = valorDe(args, "--mudancas", 1000);
    ServidorReal s(fichas);
    if (!s.inicia()) {
        std::printf("servidor: %s\n", qPrintable(s.erro()));
        return 1;
    }
    std::printf("banco %s, %d fichas\n", s.ehPostgres() ? "PostgreSQL" : "SQLite", fichas);
    ClienteEmQuadros c(s, {QStringLiteral("quadros"), QStringLiteral("sincronia")});
    if (!c.entra(s.conta()))
        return 1;
    const Copia primeira = mudancasDesde(c, 0);
    std::printf("primeira cópia: %lld fichas em %.0f ms, %.1f MB na resposta (%.0f bytes por ficha)\n",
                static_cast<long long>(primeira.itens), primeira.ms, double(primeira.bytes) / 1e6,
                double(primeira.bytes) / double(std::max<qsizetype>(primeira.itens, 1)));

    ClienteEmQuadros outro(s, {QStringLiteral("quadros")});
    outro.entra(s.conta());
    for (int n = 1; n <= 100; ++n)
        outro.pede(ficha(n, QStringLiteral("Alterada %1").arg(n)).toPipeStringWithCommand(Codigo::Salva));
    const Copia cem = mudancasDesde(c, primeira.agora);
    std::printf("atualização de 100 mudanças: %lld itens em %.1f ms, %lld bytes\n", static_cast<long long>(cem.itens), cem.ms,
                static_cast<long long>(cem.bytes));

    const Copia agora = mudancasDesde(c, 0);
    QStringList pedidos;
    for (int k = 0; k < mudancas; ++k) {
        const QString id = QStringLiteral("b-%1").arg(k);
        const qint32 numero = k % 2 == 0 ? k / 2 + 101 : 0;
        pedidos << Sincronia::pedidoDaMudanca({id, numero > 0 ? agora.versoes.value(numero) : 0, 1'765'000'000'000,
                                               ficha(numero, QStringLiteral("Fila %1").arg(k)).toPipeStringWithCommand(Codigo::Salva)});
    }
    int aplicadas = 0;
    const double ms = aplica(c, pedidos, aplicadas);
    std::printf("%d mudanças da fila aplicadas: %.0f ms (%.2f ms cada), %d aplicadas\n", mudancas, ms, ms / mudancas, aplicadas);
    const qsizetype antes = mudancasDesde(c, agora.agora).itens;
    const double msDeNovo = aplica(c, pedidos, aplicadas);
    const qsizetype depois = mudancasDesde(c, agora.agora).itens;
    std::printf("a mesma fila de novo: %.0f ms (%.2f ms cada), %d respondidas como antes, %lld mudança(s) a mais no registro\n", msDeNovo,
                msDeNovo / mudancas, aplicadas, static_cast<long long>(depois - antes));
    return 0;
}
