// Round trip of one request through the client's request cycle (Requisita: send, wait for
// the whole reply, classify) and the parse of the reply, against the real server on
// loopback: a save of one sheet (code 6 -> 7) and a search that returns 10,000 sheets
// (code 12 -> 13). Each iteration is timed by hand; p50 and p99 are reported as counters.
#include "ServidorReal.h"
#include "bench/EntradaDireta.h"
#include "app/Caixas.h"
#include "app/modGlobais.h"
#include "connection/Requisicao.h"
#include "connection/frmLogin.h"
#include "protocol/clsAgenda.h"
#include "protocol/clsFiltroBusca.h"
#include "protocol/clsUsuario.h"

#include <QApplication>
#include <QTcpSocket>
#include <QElapsedTimer>
#include <QTimer>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <malloc.h>
#include <cstdio>
#include <cstring>
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
    const std::optional<clsUsuario> logado = entraDireto(*ambiente->servidor, &ambiente->timerTimeOut);
    if (!logado)
        return false;
    ambiente->operador = *logado;
    ambiente->pronto = true;
    return true;
}

// p50/p99 of the whole round trip, and the p50 of its two parts: until the whole reply is
// in (send, server, transfer, the quiet interval that closes the reply) and the parse.
void percentis(benchmark::State& state, std::vector<double>& totalMs, std::vector<double>& respostaMs,
               std::vector<double>& parseMs)
{
    if (totalMs.empty())
        return;
    const auto em = [](std::vector<double>& v, double q) {
        std::sort(v.begin(), v.end());
        return v[std::min(v.size() - 1, size_t(q * v.size()))];
    };
    state.counters["p50_ms"] = em(totalMs, 0.50);
    state.counters["p99_ms"] = em(totalMs, 0.99);
    state.counters["reply_p50_ms"] = em(respostaMs, 0.50);
    state.counters["parse_p50_ms"] = em(parseMs, 0.50);
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
    std::vector<double> amostras, respostas, parses;
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
        const double resposta = t.nsecsElapsed() / 1e6;
        clsAgenda salva;
        salva.fromPipeStringWithCommand(r->texto);
        amostras.push_back(t.nsecsElapsed() / 1e6);
        respostas.push_back(resposta);
        parses.push_back(amostras.back() - resposta);
        benchmark::DoNotOptimize(salva.numeroFicha);
    }
    percentis(state, amostras, respostas, parses);
}

void BM_Busca10000(benchmark::State& state)
{
    if (!ambiente->pronto) {
        state.SkipWithError("no server");
        return;
    }
    clsFiltroBusca filtro;
    filtro.departamento = ambiente->operador.departamento;
    std::vector<double> amostras, respostas, parses, primeiros, ultimos;
    QElapsedTimer t;
    double primeiro = -1, ultimo = 0;
    const auto chegada = QObject::connect(frmLogin::instancia()->wskClient, &QIODevice::readyRead, [&] {
        ultimo = t.nsecsElapsed() / 1e6;
        if (primeiro < 0)
            primeiro = ultimo;
    });
    for (auto _ : state) {
        primeiro = -1;
        t.start();
        const auto r = Requisita(nullptr, &ambiente->timerTimeOut, filtro.toPipeStringWithCommand(12), {13});
        if (!r) {
            state.SkipWithError("search failed");
            break;
        }
        const double resposta = t.nsecsElapsed() / 1e6;
        const auto lista = clsAgenda::collectionFromPipeStringWithCommand(r->texto);
        amostras.push_back(t.nsecsElapsed() / 1e6);
        respostas.push_back(resposta);
        parses.push_back(amostras.back() - resposta);
        primeiros.push_back(primeiro);
        ultimos.push_back(ultimo);
        if (lista.size() != fichasNaBusca) {
            state.SkipWithError("wrong number of sheets");
            break;
        }
    }
    QObject::disconnect(chegada);
    percentis(state, amostras, respostas, parses);
    // When the server's bytes came: the first and the last arrival.
    std::sort(primeiros.begin(), primeiros.end());
    std::sort(ultimos.begin(), ultimos.end());
    if (!primeiros.empty()) {
        state.counters["first_byte_p50_ms"] = primeiros[primeiros.size() / 2];
        state.counters["last_byte_p50_ms"] = ultimos[ultimos.size() / 2];
    }
}

BENCHMARK(BM_Salva)->Iterations(500)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Busca10000)->Iterations(40)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // A 10,000-sheet reply is some 11 MB of text on the client, grown while it arrives and
    // parsed after. With glibc's default thresholds such blocks are fresh mappings that the
    // kernel faults in page by page on every search, and whether a run gets them depends on
    // the heap's history: the same search then takes 55 or 145 ms. The client program needs
    // these two settings as well; "--malloc-padrao" measures without them.
    bool mallocPadrao = false;
    for (int i = 1; i < argc; ++i)
        mallocPadrao = mallocPadrao || std::strcmp(argv[i], "--malloc-padrao") == 0;
    if (!mallocPadrao) {
        mallopt(M_MMAP_THRESHOLD, 64 << 20);
        mallopt(M_TRIM_THRESHOLD, 128 << 20);
    }
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    prepara();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    delete frmLogin::existente();
    delete ambiente;
    return 0;
}
