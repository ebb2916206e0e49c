// The member search as the operator sees it: a click on "Localizar" with an empty filter in a
// department of 10,000 sheets, until the result list holds every line. Real server on loopback,
// the whole client path: filter, request cycle, parse of the list, list fill. p50/p99 reported.
#include "ServidorReal.h"
#include "bench/EntradaDireta.h"
#include "app/BancoLocal.h"
#include "app/Caixas.h"
#include "app/modGlobais.h"
#include "connection/Requisicao.h"
#include "connection/frmLogin.h"
#include "members/frmPrincipal.h"
#include "protocol/clsUsuario.h"
#include "search/frmLocalizar.h"

#include <QApplication>
#include <QElapsedTimer>
#include "search/ListaDeResultados.h"
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

constexpr int fichas = 10000;

struct Ambiente {
    std::unique_ptr<ServidorReal> servidor;
    Caixas::Gravador caixas;
    QTemporaryDir pasta;
    QTimer timer;
    frmPrincipal* principal = nullptr;
    frmLocalizar* dialogo = nullptr;
};
Ambiente* ambiente = nullptr;

bool prepara()
{
    ambiente = new Ambiente;
    ambiente->servidor = std::make_unique<ServidorReal>(fichas);
    BancoLocal::defineCaminhoParaTeste(ambiente->pasta.filePath(QStringLiteral("ruduza.db")));
    BancoLocal::criaDeSementes(BancoLocal::caminho(),
                               BancoLocal::sementesPadrao(QStringLiteral(ZELTO_FONTES) + QStringLiteral("/data")));
    const std::optional<clsUsuario> logado = entraDireto(*ambiente->servidor, &ambiente->timer);
    if (!logado)
        return false;
    globais().usuarioLogado = *logado;
    ambiente->principal = frmPrincipal::instancia();
    ambiente->dialogo = new frmLocalizar(ambiente->principal);
    ambiente->dialogo->show();
    return true;
}

void BM_LocalizarDezMil(benchmark::State& state)
{
    if (!ambiente || !ambiente->dialogo) {
        state.SkipWithError("no server");
        return;
    }
    std::vector<double> ms;
    for (auto _ : state) {
        QElapsedTimer t;
        t.start();
        ambiente->dialogo->btnLocalizar->click();
        QApplication::processEvents();   // the list paints its first lines
        ms.push_back(t.nsecsElapsed() / 1e6);
        if (ambiente->dialogo->lstResultados->count() != fichas) {
            state.SkipWithError("list not filled");
            return;
        }
    }
    std::sort(ms.begin(), ms.end());
    state.counters["p50_ms"] = ms[ms.size() / 2];
    state.counters["p99_ms"] = ms[std::min(ms.size() - 1, size_t(ms.size() * 0.99))];
    state.counters["linhas"] = fichas;
}
BENCHMARK(BM_LocalizarDezMil)->Unit(benchmark::kMillisecond)->Iterations(30);

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (!prepara())
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    ambiente->servidor->para();
    // The dialog, then the server's and the lookup file's temporary folders.
    delete ambiente->dialogo;
    delete ambiente;
    return 0;
}
