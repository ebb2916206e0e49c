// bench_listas: the member search window as the operator sees it, at 1,000, 10,000 and
// 100,000 sheets, against the real server on loopback. For each size, and for each way a list
// can reach the window, it prints click -> first lines painted and click -> whole list painted
// (p50 / p95), and the client's resident memory after each of five successive 100,000-sheet
// lists. The ways, all in the same run ("before": as the client was before lists were shown
// as they arrive and memory was given back after them; "now": as it is):
//   - plain, before / now: the plain wire, the list shown when its reply has been taken whole;
//     now the free memory goes back to the system after a long list;
//   - framed, before: framed connection, the list shown once whole;
//   - framed, arriving, kept: the lines shown as the pieces come, memory not given back;
//   - framed, now: the lines shown as the reply's pieces come, memory given back.
// "Painted" is the list's viewport handling a paint with lines in the model.
//
//   bench_listas [--vezes 20] [--so-100k]
#include "ServidorReal.h"
#include "bench/EntradaDireta.h"
#include "bench/Percentil.h"
#include "app/BancoLocal.h"
#include "app/Caixas.h"
#include "app/MemoriaLivre.h"
#include "app/modGlobais.h"
#include "connection/Conexao.h"
#include "connection/frmLogin.h"
#include "members/frmPrincipal.h"
#include "search/ListaDeResultados.h"
#include "search/SlotDeBusca.h"
#include "search/frmLocalizar.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

double rssMiB()
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& linha : f.readAll().split('\n'))
        if (linha.startsWith("VmRSS:"))
            return linha.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0;
    return 0;
}

// Times, from the click, the first paint of the list with lines in it and the first paint
// with all of them.
struct Relogio : QObject {
    QListView* lista = nullptr;
    int esperadas = 0;
    QElapsedTimer desdeOClique;
    double primeiras = -1;
    double todas = -1;
    bool eventFilter(QObject*, QEvent* e) override
    {
        if (e->type() != QEvent::Paint || !desdeOClique.isValid())
            return false;
        const int n = lista->model()->rowCount();
        const double ms = double(desdeOClique.nsecsElapsed()) / 1e6;
        if (n > 0 && primeiras < 0)
            primeiras = ms;
        if (n == esperadas && todas < 0)
            todas = ms;
        return false;
    }
};

struct Modo {
    const char* nome;
    bool quadros;
    bool aoChegar;
    bool devolve;   // free memory given back after a long list
};
const Modo modos[] = {
    {"plain, before", false, false, false},
    {"plain, now", false, false, true},
    {"framed, before", true, false, false},
    {"framed, arriving, kept", true, true, false},
    {"framed, now", true, true, true},
};

struct Medida {
    std::vector<double> primeiras, todas, rss;
    qint64 bytesDaLista = 0;   // what the last list holds (its reply and index)
};

// One size: log in to `servidor` the way `modo` asks, then `vezes` clicks.
bool mede(ServidorReal& servidor, int fichas, const Modo& modo, int vezes, QTimer& timer, Medida& m)
{
    Conexao::definePedidos(modo.quadros, false);
    SlotDeBusca::defineMostraAoChegar(modo.aoChegar);
    MemoriaLivre::defineAtiva(modo.devolve);
    if (Conexao* c = conexaoExistente()) {
        c->encerraSessaoNoServidor();
        c->encerra();
    }
    const std::optional<clsUsuario> logado = entraDireto(servidor, &timer);
    if (!logado)
        return false;
    globais().usuarioLogado = *logado;
    frmPrincipal::instancia()->membros.departamento = logado->departamento;

    auto* dialogo = new frmLocalizar(frmPrincipal::instancia());
    dialogo->show();
    QApplication::processEvents();
    if (fichas >= 100000)
        std::printf("         rss before the first list: %.1f MiB\n", rssMiB());
    Relogio relogio;
    relogio.lista = dialogo->lstResultados;
    relogio.esperadas = fichas;
    dialogo->lstResultados->viewport()->installEventFilter(&relogio);
    for (int i = 0; i < vezes; ++i) {
        relogio.primeiras = relogio.todas = -1;
        relogio.desdeOClique.start();
        dialogo->btnLocalizar->click();
        QElapsedTimer espera;
        espera.start();
        while (relogio.todas < 0 && espera.elapsed() < 5000)
            QApplication::processEvents(QEventLoop::AllEvents, 5);
        if (relogio.todas < 0 || dialogo->lstResultados->count() != fichas) {
            std::fprintf(stderr, "list not filled (%d of %d)\n", dialogo->lstResultados->count(), fichas);
            delete dialogo;
            return false;
        }
        m.primeiras.push_back(relogio.primeiras);
        m.todas.push_back(relogio.todas);
        // The operator reads the list: the window's idle moments come before the next click.
        espera.start();
        while (espera.elapsed() < 400)
            QApplication::processEvents(QEventLoop::AllEvents, 20);
        m.rss.push_back(rssMiB());
    }
    relogio.desdeOClique.invalidate();
    m.bytesDaLista = dialogo->slot->membrosEncontrados ? dialogo->slot->membrosEncontrados->bytesGuardados() : 0;
    delete dialogo;
    QApplication::processEvents();
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    // The heap as the program sets it up.
    MemoriaLivre::preparaParaListasLongas();
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    int vezes = 20;
    bool so100k = false;
    for (int i = 1; i < argc; ++i) {
        if (qstrcmp(argv[i], "--vezes") == 0 && i + 1 < argc)
            vezes = std::max(1, atoi(argv[++i]));
        else if (qstrcmp(argv[i], "--so-100k") == 0)
            so100k = true;
    }

    QTemporaryDir pasta;
    BancoLocal::defineCaminhoParaTeste(pasta.filePath(QStringLiteral("ruduza.db")));
    BancoLocal::criaDeSementes(BancoLocal::caminho(),
                               BancoLocal::sementesPadrao(QStringLiteral(ZELTO_FONTES) + QStringLiteral("/data")));
    Caixas::Gravador caixas;
    QTimer timer;
    std::printf("rss at start: %.1f MiB\n", rssMiB());
    std::printf("%-8s %-24s %6s %22s %22s\n", "sheets", "how", "lists", "first lines p50/p95", "whole list p50/p95");
    std::vector<int> tamanhos{1000, 10000, 100000};
    if (so100k)
        tamanhos = {100000};
    std::vector<double> rssDoUltimo;
    for (const int fichas : tamanhos) {
        ServidorReal servidor(fichas);
        for (const Modo& modo : modos) {
            // Five 100,000-sheet lists: the memory after each is the figure.
            const int n = fichas >= 100000 ? 5 : vezes;
            Medida m;
            if (!mede(servidor, fichas, modo, n, timer, m))
                return 1;
            std::printf("%-8d %-24s %6d %10.1f / %7.1f ms %10.1f / %7.1f ms\n", fichas, modo.nome, n, percentil(m.primeiras, 0.5),
                        percentil(m.primeiras, 0.95), percentil(m.todas, 0.5), percentil(m.todas, 0.95));
            if (fichas >= 100000) {
                std::printf("         rss after each list (MiB):");
                for (double r : m.rss)
                    std::printf(" %.1f", r);
                std::printf("  (the list holds %.1f MiB)\n", double(m.bytesDaLista) / double(1 << 20));
            }
            std::fflush(stdout);
        }
        if (Conexao* c = conexaoExistente())
            c->encerra();
        servidor.para();
    }
    if (!caixas.caixas().isEmpty())
        std::printf("boxes shown: %d (first: %s)\n", int(caixas.caixas().size()),
                    qPrintable(caixas.caixas().first().titulo));
    return 0;
}
