// zelto_bench_troca [--execucoes N] [--conexoes C] [--sem-automatica | --so-automatica]
//
// The registry's PostgreSQL losing its primary under save load (C connections, 50 by default,
// through one server): the primary's processes killed (SIGKILL), then its synchronous standby
// promoted, N times each way:
//   - by hand: `pg_ctl promote` one second after the crash (ParPostgres);
//   - by pg_auto_failover: the monitor's own decision (FormacaoPgAutoFailover, health checks
//     tightened as in the tests).
// Per run: seconds from the crash to the first save answered after it, and saves
// acknowledged / missing from the new primary / without their history row. Then p50 and max.
// Last, saves/s and save p50 with the synchronous standby against a lone primary (same
// settings, fsync off on both: the figure is the standby's round trip).
#include "support/CargaDeGravacoes.h"
#include "support/ClusterPostgres.h"
#include "support/FormacaoPgAutoFailover.h"
#include "support/ParPostgres.h"
#include "support/ServidorReal.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QStringList>

#include <algorithm>
#include <cstdio>
#include <functional>

namespace {

struct Execucao {
    double segundos = -1;   // crash to the first save answered after it
    int reconhecidas = 0, perdidas = 0, semHistorico = 0;
};

// Load for a moment, `derruba` (returns when the primary is gone), `promove` (returns once a
// host takes writes), the first save after it, a moment more; then what the new primary holds.
Execucao mede(ServidorReal& s, int conexoes, const std::function<bool()>& derruba, const std::function<bool(CargaDeGravacoes&)>& promove)
{
    Execucao e;
    CargaDeGravacoes carga({&s}, conexoes);
    if (!carga.prepara()) {
        std::fprintf(stderr, "carga: %s\n", qPrintable(carga.erro()));
        return e;
    }
    carga.comeca();
    carga.espera(2000);
    const qint64 queda = carga.agoraMs();
    if (!derruba() || !promove(carga))
        return e;
    qint64 primeira = -1;
    QElapsedTimer t;
    t.start();
    for (; primeira < 0 && t.elapsed() < 30'000; carga.espera(10))
        for (const auto& r : carga.respostas())
            if (r.enviadoMs > queda && r.gravou()) {
                primeira = r.respondidoMs;
                break;
            }
    carga.espera(1000);
    carga.termina();
    e.segundos = primeira < 0 ? -1 : double(primeira - queda) / 1000.0;
    const QSet<qint32> reconhecidas = carga.reconhecidas();
    e.reconhecidas = int(reconhecidas.size());
    e.perdidas = int(CargaDeGravacoes::faltamEm(s, QStringLiteral("fichas"), reconhecidas).size());
    e.semHistorico = int(CargaDeGravacoes::faltamEm(s, QStringLiteral("historico"), reconhecidas).size());
    return e;
}

void resume(const char* como, const QList<Execucao>& execucoes)
{
    QList<double> tempos;
    int reconhecidas = 0, perdidas = 0, semHistorico = 0, falhas = 0;
    for (const Execucao& e : execucoes) {
        if (e.segundos < 0)
            ++falhas;
        else
            tempos << e.segundos;
        reconhecidas += e.reconhecidas;
        perdidas += e.perdidas;
        semHistorico += e.semHistorico;
    }
    std::sort(tempos.begin(), tempos.end());
    std::printf("%-18s execuções %lld (sem volta: %d)  queda→primeira gravação p50 %.2f s  máx %.2f s  reconhecidas %d  perdidas %d  "
                "sem histórico %d\n",
                como, qlonglong(execucoes.size()), falhas, tempos.isEmpty() ? -1.0 : tempos[tempos.size() / 2],
                tempos.isEmpty() ? -1.0 : tempos.last(), reconhecidas, perdidas, semHistorico);
}

// Saves/s and save p50 (ms) over `ms` of load on `s`.
void vazao(const char* como, ServidorReal& s, int conexoes, int ms)
{
    CargaDeGravacoes carga({&s}, conexoes);
    if (!carga.prepara()) {
        std::fprintf(stderr, "carga: %s\n", qPrintable(carga.erro()));
        return;
    }
    carga.comeca();
    carga.espera(ms);
    carga.termina();
    QList<qint64> latencias;
    for (const auto& r : carga.respostas())
        if (r.gravou())
            latencias << r.respondidoMs - r.enviadoMs;
    std::sort(latencias.begin(), latencias.end());
    std::printf("%-28s %8.0f gravações/s  p50 %lld ms\n", como, double(latencias.size()) * 1000.0 / ms,
                latencias.isEmpty() ? -1LL : qlonglong(latencias[latencias.size() / 2]));
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList a = app.arguments();
    const auto valor = [&](const char* nome, int padrao) {
        const qsizetype i = a.indexOf(QString::fromLatin1(nome));
        return i >= 0 && i + 1 < a.size() ? a[i + 1].toInt() : padrao;
    };
    const int execucoes = std::max(1, valor("--execucoes", 5));
    const int conexoes = std::max(1, valor("--conexoes", 50));

    QList<Execucao> aMao;
    for (int i = 0; i < execucoes && !a.contains(QStringLiteral("--so-automatica")); ++i) {
        ParPostgres par;
        const QString nome = ClusterPostgres::nomeNovo();
        if (!par.inicia() || !par.primario().criaBanco(nome)) {
            std::fprintf(stderr, "par: %s\n", qPrintable(par.erro() + par.primario().erro()));
            return 1;
        }
        auto s = ServidorReal::novoNaConexao(par.conexao(nome), ServidorReal::Conta(), 0);
        if (!s->inicia()) {
            std::fprintf(stderr, "servidor: %s\n", qPrintable(s->erro()));
            return 1;
        }
        if (i == 0) {
            vazao("com reserva síncrona", *s, conexoes, 5000);
            ClusterPostgres so;
            so.defineOpcoes(QStringLiteral("-c synchronous_commit=on"));
            const QString outro = ClusterPostgres::nomeNovo();
            if (so.inicia() && so.criaBanco(outro)) {
                auto sozinho = ServidorReal::novoNaConexao(so.conexao(outro), ServidorReal::Conta(), 0);
                if (sozinho->inicia())
                    vazao("primário sozinho", *sozinho, conexoes, 5000);
            }
        }
        aMao << mede(
            *s, conexoes, [&] { return par.primario().derruba(); },
            [&](CargaDeGravacoes& carga) {
                carga.espera(1000);   // the administrator's second
                return par.reserva().promove();
            });
        std::printf("  à mão %d: %.2f s, reconhecidas %d, perdidas %d, sem histórico %d\n", i + 1, aMao.last().segundos, aMao.last().reconhecidas,
                    aMao.last().perdidas, aMao.last().semHistorico);
        std::fflush(stdout);
    }
    if (!aMao.isEmpty())
        resume("à mão", aMao);

    if (a.contains(QStringLiteral("--sem-automatica")) || !FormacaoPgAutoFailover::instalado())
        return 0;
    QList<Execucao> automaticas;
    for (int i = 0; i < execucoes; ++i) {
        FormacaoPgAutoFailover formacao;
        if (!formacao.inicia()) {
            std::fprintf(stderr, "pg_auto_failover: %s\n", qPrintable(formacao.erro()));
            return 1;
        }
        auto s = ServidorReal::novoNaConexao(formacao.conexao(), ServidorReal::Conta(), 0);
        if (!s->inicia()) {
            std::fprintf(stderr, "servidor: %s\n", qPrintable(s->erro()));
            return 1;
        }
        automaticas << mede(
            *s, conexoes, [&] { return formacao.derrubaPrimario(); },
            [&](CargaDeGravacoes& carga) {
                QElapsedTimer t;
                t.start();
                for (; t.elapsed() < 60'000; carga.espera(100))
                    if (formacao.esperaPrimario(1))
                        return true;
                return false;
            });
        std::printf("  pg_auto_failover %d: %.2f s, reconhecidas %d, perdidas %d, sem histórico %d\n", i + 1, automaticas.last().segundos,
                    automaticas.last().reconhecidas, automaticas.last().perdidas, automaticas.last().semHistorico);
        std::fflush(stdout);
    }
    resume("pg_auto_failover", automaticas);
    return 0;
}
