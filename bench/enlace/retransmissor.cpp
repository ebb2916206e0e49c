/* A slow, lossy link between two TUN devices: what one side's kernel sends is handed to the
 * other's after a fixed delay, a share of the packets is dropped, and now and then the link
 * stalls (everything is held until the stall ends). The kernels' TCP does the recovering.
 *
 *   zelto_retransmissor TUN_A TUN_B ATRASO_MS PERDA_POR_MIL [PARADA_A_CADA_MS PARADA_MS] [SEMENTE]
 *
 * Creates both devices (IFF_TUN, no packet info), says "pronto" on standard output, then
 * relays until it is ended (SIGTERM). The caller moves the devices where it wants them. */
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <linux/if.h>
#include <linux/if_tun.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

enum { MAIOR_PACOTE = 65536, MAIOR_FILA = 1 << 16 };

struct Pacote {
    long long quando_ms; /* due time */
    int tamanho;
    unsigned char *dados;
};

/* One direction: packets read from `de`, waiting to be written to `para`, in order. */
struct Sentido {
    int de, para;
    struct Pacote fila[MAIOR_FILA];
    unsigned inicio, quantos;
    unsigned long long lidos, perdidos;
};

static volatile sig_atomic_t parar = 0;
static void ao_sinal(int s) { (void)s; parar = 1; }

static long long agora_ms(void)
{
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (long long)t.tv_sec * 1000 + t.tv_nsec / 1000000;
}

static int abre_tun(const char *nome)
{
    struct ifreq ifr;
    int fd = open("/dev/net/tun", O_RDWR | O_NONBLOCK);
    if (fd < 0)
        return -1;
    memset(&ifr, 0, sizeof ifr);
    ifr.ifr_flags = IFF_TUN | IFF_NO_PI;
    strncpy(ifr.ifr_name, nome, IFNAMSIZ - 1);
    if (ioctl(fd, TUNSETIFF, &ifr) < 0) {
        close(fd);
        return -1;
    }
    return fd;
}

static void recebe(struct Sentido *s, long long atraso, int perda_por_mil, unsigned *semente)
{
    unsigned char buf[MAIOR_PACOTE];
    for (;;) {
        ssize_t n = read(s->de, buf, sizeof buf);
        if (n <= 0)
            return;
        s->lidos++;
        if ((int)(rand_r(semente) % 1000) < perda_por_mil || s->quantos == MAIOR_FILA) {
            s->perdidos++;
            continue;
        }
        struct Pacote *p = &s->fila[(s->inicio + s->quantos) % MAIOR_FILA];
        p->dados = static_cast<unsigned char *>(malloc((size_t)n));
        if (!p->dados)
            continue;
        memcpy(p->dados, buf, (size_t)n);
        p->tamanho = (int)n;
        p->quando_ms = agora_ms() + atraso;
        s->quantos++;
    }
}

/* Writes what is due; returns the time until the next packet is (-1: none waiting). */
static long long entrega(struct Sentido *s, long long agora, long long parado_ate)
{
    while (s->quantos > 0) {
        struct Pacote *p = &s->fila[s->inicio];
        const long long quando = p->quando_ms > parado_ate ? p->quando_ms : parado_ate;
        if (quando > agora)
            return quando - agora;
        if (write(s->para, p->dados, (size_t)p->tamanho) < 0 && errno == EAGAIN)
            return 1;
        free(p->dados);
        s->inicio = (s->inicio + 1) % MAIOR_FILA;
        s->quantos--;
    }
    return -1;
}

int main(int argc, char **argv)
{
    if (argc < 5) {
        fprintf(stderr, "uso: %s TUN_A TUN_B ATRASO_MS PERDA_POR_MIL [PARADA_A_CADA_MS PARADA_MS] [SEMENTE]\n", argv[0]);
        return 2;
    }
    const long long atraso = atoll(argv[3]);
    const int perda = atoi(argv[4]);
    const long long parada_a_cada = argc > 6 ? atoll(argv[5]) : 0;
    const long long parada = argc > 6 ? atoll(argv[6]) : 0;
    unsigned semente = argc > 7 ? (unsigned)atoi(argv[7]) : 23u;

    static struct Sentido ab, ba;
    const int a = abre_tun(argv[1]), b = abre_tun(argv[2]);
    if (a < 0 || b < 0) {
        fprintf(stderr, "retransmissor: não foi possível criar %s e %s: %s\n", argv[1], argv[2], strerror(errno));
        return 1;
    }
    ab.de = a; ab.para = b;
    ba.de = b; ba.para = a;
    signal(SIGTERM, ao_sinal);
    signal(SIGINT, ao_sinal);
    printf("pronto\n");
    fflush(stdout);

    long long proxima_parada = parada_a_cada > 0 ? agora_ms() + parada_a_cada : -1, parado_ate = 0;
    while (!parar) {
        const long long agora = agora_ms();
        if (proxima_parada > 0 && agora >= proxima_parada) {
            parado_ate = agora + parada;
            /* Now and then, not on a beat: the next one between 0.5 and 1.5 periods away. */
            proxima_parada = parado_ate + parada_a_cada / 2 + (long long)(rand_r(&semente) % (unsigned)(parada_a_cada + 1));
        }
        const long long e1 = entrega(&ab, agora, parado_ate), e2 = entrega(&ba, agora, parado_ate);
        long long espera = 1000;
        if (e1 >= 0 && e1 < espera)
            espera = e1;
        if (e2 >= 0 && e2 < espera)
            espera = e2;
        if (proxima_parada > 0 && proxima_parada - agora < espera)
            espera = proxima_parada - agora > 0 ? proxima_parada - agora : 0;
        pollfd fds[2] = {{a, POLLIN, 0}, {b, POLLIN, 0}};
        if (poll(fds, 2, (int)espera) < 0 && errno != EINTR)
            break;
        if (fds[0].revents & POLLIN)
            recebe(&ab, atraso, perda, &semente);
        if (fds[1].revents & POLLIN)
            recebe(&ba, atraso, perda, &semente);
    }
    fprintf(stderr, "retransmissor: %s->%s %llu pacotes (%llu perdidos), %s->%s %llu (%llu perdidos)\n", argv[1], argv[2],
            ab.lidos, ab.perdidos, argv[2], argv[1], ba.lidos, ba.perdidos);
    return 0;
}
