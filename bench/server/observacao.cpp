// zelto_bench_observacao [--sessoes N] [--vezes M]
//
// What watching the server costs: one scrape of the metrics (servir --metricas) with N
// sessions open (100 by default), M times (p50 and the worst), and the health command's whole
// run (`zelto-server saude`, process start included) against a healthy server and against one
// whose PostgreSQL database is stopped (a private cluster made and removed by this tool).
// And whether a flood of scrapes (four clients scraping without pause) slows the registry:
// searches by number on one connection, p50/p99, without and with the flood.
#include "support/ClienteEmQuadros.h"
#include "support/ClusterPostgres.h"
#include "support/Pedidos.h"
#include "support/ServidorReal.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <thread>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

int valorDe(const QStringList& args, const char* nome, int padrao)
{
    const qsizetype i = args.indexOf(QLatin1String(nome));
    return i >= 0 && i + 1 < args.size() ? args[i + 1].toInt() : padrao;
}

void relata(const char* nome, QList<double> ms)
{
    std::sort(ms.begin(), ms.end());
    if (ms.isEmpty())
        return;
    std::printf("%-44s p50 %7.2f ms   pior %7.2f ms   (%lld vezes)\n", nome, ms[ms.size() / 2], ms.last(), static_cast<long long>(ms.size()));
    std::fflush(stdout);
}

// One scrape, from the request to the last byte; -1 on failure.
double raspa(quint16 porta, qsizetype& bytes)
{
    QElapsedTimer t;
    t.start();
    QTcpSocket s;
    s.connectToHost(QStringLiteral("127.0.0.1"), porta);
    if (!s.waitForConnected(5000))
        return -1;
    s.write("GET /metrics HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
    QByteArray r;
    while (s.waitForReadyRead(5000)) {
        r += s.readAll();
        const qsizetype fim = r.indexOf("\r\n\r\n");
        static const QRegularExpression tamanho(QStringLiteral("(?i)content-length:\\s*(\\d+)"));
        const auto m = tamanho.match(QString::fromLatin1(r.left(fim)));
        if (fim >= 0 && m.hasMatch() && r.size() - fim - 4 >= m.captured(1).toLongLong()) {
            bytes = r.size() - fim - 4;
            return double(t.nsecsElapsed()) / 1e6;
        }
    }
    return -1;
}

// The health command's whole run; its exit code in `codigo`.
double saude(const ServidorReal& s, int& codigo)
{
    QElapsedTimer t;
    t.start();
    QProcess p;
    p.start(ServidorReal::binario(), {QStringLiteral("saude"), QStringLiteral("--listen"), QStringLiteral("127.0.0.1:%1").arg(s.porta())});
    p.waitForFinished(30'000);
    codigo = p.exitCode();
    return double(t.nsecsElapsed()) / 1e6;
}

// `vezes` searches by number, one after the other, on a logged-in connection: each one's time.
QList<double> buscas(ClienteEmQuadros& c, int vezes)
{
    QList<double> ms;
    for (int i = 0; i < vezes; ++i) {
        QElapsedTimer t;
        t.start();
        if (!c.pede(busca(1 + i % 300)).startsWith("13|"))
            return {};
        ms << double(t.nsecsElapsed()) / 1e6;
    }
    return ms;
}

void relataPercentis(const char* nome, QList<double> ms)
{
    std::sort(ms.begin(), ms.end());
    if (ms.size() < 100)
        return;
    std::printf("%-44s p50 %7.3f ms   p99 %7.3f ms   (%lld buscas)\n", nome, ms[ms.size() / 2], ms[ms.size() * 99 / 100],
                static_cast<long long>(ms.size()));
    std::fflush(stdout);
}

QList<double> saudes(const ServidorReal& s, int vezes, int esperado)
{
    QList<double> ms;
    for (int i = 0; i < vezes; ++i) {
        int codigo = -1;
        const double m = saude(s, codigo);
        if (codigo != esperado) {
            std::fprintf(stderr, "saude terminou com %d, esperado %d\n", codigo, esperado);
            return {};
        }
        ms << m;
    }
    return ms;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const int sessoes = std::max(1, valorDe(args, "--sessoes", 100));
    const int vezes = std::max(1, valorDe(args, "--vezes", 50));
    if (qEnvironmentVariableIsEmpty("ZELTO_BINARY_DIR"))
        qputenv("ZELTO_BINARY_DIR", QCoreApplication::applicationDirPath().toUtf8() + "/../..");

    ServidorReal servidor(ServidorReal::Conta(), 300);
    servidor.defineArgumentos({QStringLiteral("--metricas"), QStringLiteral("127.0.0.1:0"), QStringLiteral("--conexoes-por-endereco"),
                               QString::number(sessoes + 16), QStringLiteral("--rajada-logins"), QString::number(sessoes + 16)});
    if (!servidor.inicia()) {
        std::fprintf(stderr, "não foi possível iniciar o servidor: %s\n", qPrintable(servidor.erro()));
        return 1;
    }
    static const QRegularExpression endereco(QStringLiteral("métricas em http://127\\.0\\.0\\.1:(\\d+)/metrics"));
    QRegularExpressionMatch m;
    for (int i = 0; i < 100 && !(m = endereco.match(servidor.diario())).hasMatch(); ++i)
        QThread::msleep(20);
    const quint16 porta = quint16(m.captured(1).toUInt());
    std::vector<std::unique_ptr<ClienteEmQuadros>> abertas;
    for (int i = 0; i < sessoes; ++i) {
        abertas.push_back(std::make_unique<ClienteEmQuadros>(servidor, QStringList{QStringLiteral("quadros"), QStringLiteral("sessao")}));
        if (!abertas.back()->entra(servidor.conta()) || abertas.back()->pede(busca(1)).isNull()) {
            std::fprintf(stderr, "a sessão %d não entrou\n", i + 1);
            return 1;
        }
    }
    QThread::msleep(1500);   // the loop's sampler has seen them
    QList<double> ms;
    qsizetype bytes = 0;
    for (int i = 0; i < vezes; ++i)
        if (const double t = raspa(porta, bytes); t >= 0)
            ms << t;
    std::printf("%d sessões abertas, exposição de %lld bytes\n", sessoes, static_cast<long long>(bytes));
    relata("uma raspagem de /metrics", ms);
    relata("saude, servidor atendendo (SQLite)", saudes(servidor, std::min(vezes, 20), 0));

    ClienteEmQuadros medido(servidor, {QStringLiteral("quadros")});
    if (!medido.entra(servidor.conta()))
        return 1;
    relataPercentis("buscas por número, sem raspagens", buscas(medido, 2000));
    std::atomic<bool> parar = false;
    std::atomic<int> raspagens = 0;
    std::vector<std::thread> enxurrada;
    for (int i = 0; i < 4; ++i)
        enxurrada.emplace_back([&] {
            qsizetype b = 0;
            while (!parar)
                if (raspa(porta, b) >= 0)
                    ++raspagens;
        });
    QElapsedTimer durante;
    durante.start();
    relataPercentis("buscas por número, com 4 raspando sem parar", buscas(medido, 2000));
    parar = true;
    for (std::thread& t : enxurrada)
        t.join();
    std::printf("%-44s %.0f raspagens/s ao mesmo tempo\n", "", raspagens.load() * 1000.0 / double(std::max<qint64>(1, durante.elapsed())));
    abertas.clear();

    ClusterPostgres cluster;
    if (!cluster.inicia() || !cluster.criaBanco(QStringLiteral("saude"))) {
        std::fprintf(stderr, "cluster PostgreSQL: %s\n", qPrintable(cluster.erro()));
        return 1;
    }
    const auto pg = ServidorReal::novoNaConexao(cluster.conexao(QStringLiteral("saude")), ServidorReal::Conta(), 0);
    if (!pg->inicia()) {
        std::fprintf(stderr, "não foi possível iniciar o servidor no PostgreSQL: %s\n", qPrintable(pg->erro()));
        return 1;
    }
    relata("saude, servidor atendendo (PostgreSQL)", saudes(*pg, std::min(vezes, 20), 0));
    cluster.para();
    relata("saude, banco PostgreSQL parado", saudes(*pg, std::min(vezes, 20), 1));
    return 0;
}
