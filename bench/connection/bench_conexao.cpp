// Round trip of one request through the client's request cycle (Requisita: send, wait for
// the whole reply, classify) and the parse of the reply, against the real server on
// loopback: a save of one sheet (code 6 -> 7) and a search that returns 10,000 sheets
// (code 12 -> 13). Each iteration is timed by hand; p50 and p99 are reported as counters.
#include "ServidorReal.h"
#include "app/Caixas.h"
#include "app/modGlobais.h"
#include "connection/Requisicao.h"
#include "connection/frmLogin.h"
#include "protocol/clsAgenda.h"
#include "protocol/clsFiltroBusca.h"
#include "protocol/clsUsuario.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

constexpr int fichasNaBusca = 10000;

struct Ambiente {
    std::unique_ptr<ServidorReal> servidor;
    Caixas::Gravador caixas;   // any box would be a failure: recorded, never blocking
    QTimer timerTimeOut;
    clsUsuario operador;
    bool pronto = false;
};

Ambiente* ambiente = nullptr;

bool prepara()
{
    ambiente = new Ambiente;
    ambiente->servidor = std::make_unique<ServidorReal>(fichasNaBusca);
    if (!ambiente->servidor->inicia()) {
        std::fprintf(stderr, "server: %s\n", qPrintable(ambiente->servidor->erro()));
        return false;
    }
    globais().timeOutSegundos = 30;
    globais().keepAliveSegundos = 0;
    frmLogin::defineServidorParaTeste(ambiente->servidor->host(), ambiente->servidor->porta());
    frmLogin::instancia()->Timer1->stop();
    clsUsuario u;
    u.usuario = ambiente->servidor->conta().usuario;
    u.senha = ambiente->servidor->conta().senha;
    const auto r = Requisita(nullptr, &ambiente->timerTimeOut, u.toPipeStringWithCommand(3), {4});
    if (!r) {
        std::fprintf(stderr, "login failed\n");
        return false;
    }
    ambiente->operador.fromPipeStringWithCommand(r->texto);
    ambiente->pronto = true;
    return true;
}

void percentis(benchmark::State& state, std::vector<double>& amostrasMs)
{
    if (amostrasMs.empty())
        return;
    std::sort(amostrasMs.begin(), amostrasMs.end());
    const auto em = [&](double q) { return amostrasMs[std::min(amostrasMs.size() - 1, size_t(q * amostrasMs.size()))]; };
    state.counters["p50_ms"] = em(0.50);
    state.counters["p99_ms"] = em(0.99);
    state.counters["max_ms"] = amostrasMs.back();
}

void BM_Salva(benchmark::State& state)
{
    if (!ambiente->pronto) {
        state.SkipWithError("no server");
        return;
    }
    clsAgenda ficha;
    ficha.numeroFicha = 1;
    ficha.nome = QStringLiteral("José da Conceição");
    ficha.cidade = QStringLiteral("São Paulo");
    ficha.departamento = ambiente->operador.departamento;
    std::vector<double> amostras;
    int n = 0;
    for (auto _ : state) {
        ficha.obs = QStringLiteral("alteração %1").arg(++n);
        QElapsedTimer t;
        t.start();
        const auto r = Requisita(nullptr, &ambiente->timerTimeOut, ficha.toPipeStringWithCommand(6), {7});
        if (!r) {
            state.SkipWithError("save failed");
            break;
        }
        clsAgenda salva;
        salva.fromPipeStringWithCommand(r->texto);
        amostras.push_back(t.nsecsElapsed() / 1e6);
        benchmark::DoNotOptimize(salva.numeroFicha);
    }
    percentis(state, amostras);
}

void BM_Busca10000(benchmark::State& state)
{
    if (!ambiente->pronto) {
        state.SkipWithError("no server");
        return;
    }
    clsFiltroBusca filtro;
    filtro.departamento = ambiente->operador.departamento;
    std::vector<double> amostras;
    for (auto _ : state) {
        QElapsedTimer t;
        t.start();
        const auto r = Requisita(nullptr, &ambiente->timerTimeOut, filtro.toPipeStringWithCommand(12), {13});
        if (!r) {
            state.SkipWithError("search failed");
            break;
        }
        const auto lista = clsAgenda::collectionFromPipeStringWithCommand(r->texto);
        amostras.push_back(t.nsecsElapsed() / 1e6);
        if (lista.size() != fichasNaBusca) {
            state.SkipWithError("wrong number of sheets");
            break;
        }
    }
    percentis(state, amostras);
}

BENCHMARK(BM_Salva)->Iterations(500)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Busca10000)->Iterations(40)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    prepara();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    delete frmLogin::existente();
    delete ambiente;
    return 0;
}
