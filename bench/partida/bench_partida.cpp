// bench_partida: how long the program takes from exec to its first window on screen (the login
// window), beside the smallest Qt Widgets program on the same machine, and beside that small
// program loading the libraries the program loads, runs alternating. The
// X server says when a window is mapped (MapNotify on the root's children), so nothing in
// either program is changed or asked. Each program is ended once its window is mapped.
//
//   xvfb-run -a bench_partida [--vezes 10]
// The program runs in a temporary folder of its own (its config.ini is written there), so it
// opens the login window as on a first start and connects nowhere.
#include "bench/Percentil.h"

#include <xcb/xcb.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

// Milliseconds from exec to the first top-level window mapped; -1 when none within 20 s.
double mede(xcb_connection_t* x, const char* programa, const char* pasta)
{
    const auto inicio = std::chrono::steady_clock::now();
    const pid_t filho = fork();
    if (filho == 0) {
        if (chdir(pasta) != 0)
            _exit(127);
        setenv("QT_QPA_PLATFORM", "xcb", 1);
        execl(programa, programa, static_cast<char*>(nullptr));
        _exit(127);
    }
    double ms = -1;
    const int fd = xcb_get_file_descriptor(x);
    while (ms < 0) {
        const double passados = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - inicio).count();
        if (passados > 20000)
            break;
        fd_set leitura;
        FD_ZERO(&leitura);
        FD_SET(fd, &leitura);
        timeval limite{0, 100000};
        select(fd + 1, &leitura, nullptr, nullptr, &limite);
        while (xcb_generic_event_t* e = xcb_poll_for_event(x)) {
            if ((e->response_type & 0x7f) == XCB_MAP_NOTIFY) {
                const auto* m = reinterpret_cast<xcb_map_notify_event_t*>(e);
                if (!m->override_redirect && ms < 0)
                    ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - inicio).count();
            }
            free(e);
        }
    }
    kill(filho, SIGKILL);
    waitpid(filho, nullptr, 0);
    // Let the server forget the window before the next run.
    usleep(100000);
    while (xcb_generic_event_t* e = xcb_poll_for_event(x))
        free(e);
    return ms;
}

} // namespace

int main(int argc, char** argv)
{
    int vezes = 10;
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], "--vezes") == 0)
            vezes = std::max(1, std::atoi(argv[i + 1]));
    xcb_connection_t* x = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(x)) {
        std::fprintf(stderr, "bench_partida: no X server (run it under xvfb-run -a)\n");
        return 1;
    }
    xcb_screen_t* tela = xcb_setup_roots_iterator(xcb_get_setup(x)).data;
    const uint32_t mascara = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(x, tela->root, XCB_CW_EVENT_MASK, &mascara);
    xcb_flush(x);

    char modelo[] = "/tmp/zelto-partida-XXXXXX";
    const char* pasta = mkdtemp(modelo);
    if (!pasta)
        return 1;
    std::vector<double> programa, nua, ligada;
    // One run of each first, not counted: the files are in the page cache for all.
    for (const char* p : {ZELTO_PROGRAMA, ZELTO_JANELA_NUA, ZELTO_JANELA_LIGADA})
        mede(x, p, pasta);
    for (int i = 0; i < vezes; ++i) {
        const double a = mede(x, ZELTO_PROGRAMA, pasta);
        const double b = mede(x, ZELTO_JANELA_NUA, pasta);
        const double c = mede(x, ZELTO_JANELA_LIGADA, pasta);
        if (a < 0 || b < 0 || c < 0) {
            std::fprintf(stderr, "bench_partida: a window did not show\n");
            return 1;
        }
        programa.push_back(a);
        nua.push_back(b);
        ligada.push_back(c);
    }
    std::printf("exec -> first window mapped, %d alternating runs\n", vezes);
    std::printf("  zelto (login window)                   p50 %6.1f ms  (%.1f - %.1f)\n", percentil(programa, 0.5), percentil(programa, 0), percentil(programa, 1));
    std::printf("  bare Qt Widgets program                p50 %6.1f ms  (%.1f - %.1f)\n", percentil(nua, 0.5), percentil(nua, 0), percentil(nua, 1));
    std::printf("  the same, with zelto's libraries       p50 %6.1f ms  (%.1f - %.1f)\n", percentil(ligada, 0.5), percentil(ligada, 0), percentil(ligada, 1));
    std::printf("  ratio zelto / bare                     %.2f x\n", percentil(programa, 0.5) / percentil(nua, 0.5));
    std::printf("  ratio bare with zelto's libraries / bare %.2f x\n", percentil(ligada, 0.5) / percentil(nua, 0.5));
    std::system((std::string("rm -rf ") + pasta).c_str());
    xcb_disconnect(x);
    return 0;
}
