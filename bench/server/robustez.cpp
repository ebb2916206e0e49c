// zelto_robustez_servidor [--db sqlite|postgresql] [--segundos S]
//
// What other clients and a hung database cost the operators, measured on the real server:
//   1. four clients ask for a 10,000-sheet list and never read it, while 50 connections
//      save sheets; meanwhile, every 200 ms, a real login on a new connection and a search by
//      number on a logged-in one: their p50/p99;
//   2. (PostgreSQL: a private cluster) the database host hangs (SIGSTOP) for 20 s under the
//      same save load: how long a new connection waits for its greeting and a search for its
//      0, and how long after SIGCONT until a search is served again;
// and, for both, how many acknowledged saves are missing from the database at the end.
// The kill -9 check is zelto_carga_servidor's.
#include "protocol/Wire.h"
#include "protocol/clsAgenda.h"
#include "protocol/clsFiltroBusca.h"
#include "protocol/clsUsuario.h"
#include "protocol/modCommands.h"
#include "server/store/FichasDemo.h"
#include "support/ClusterPostgres.h"
#include "support/ServidorReal.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QMutex>
#include <QSet>
#include <QTcpSocket>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <cstdio>

namespace {

bool completa(const QByteArray& r)
{
    if (r == "0" || r == "5" || r == "11" || r == "14")
        return true;
    const qsizetype barras = r.count('|');
    if (r.startsWith("4|"))
        return barras >= 4;
    if (r.startsWith("7|") || r.startsWith("13|"))
        return barras >= 67;
    return false;
}

// One blocking client connection (each used on one thread).
class Conexao {
public:
    // Milliseconds to the greeting, or -1.
    double abre(const ServidorReal& s, int prazoMs = 30'000)
    {
        QElapsedTimer t;
        t.start();
        m_socket.connectToHost(s.host(), s.porta());
        if (!m_socket.waitForConnected(prazoMs))
            return -1;
        while (m_socket.bytesAvailable() < 1)
            if (!m_socket.waitForReadyRead(std::max<int>(1, prazoMs - int(t.elapsed()))))
                return -1;
        return m_socket.read(1) == "2" ? double(t.nsecsElapsed()) / 1e6 : -1;
    }
    QByteArray pede(const QByteArray& mensagem, int prazoMs = 30'000)
    {
        m_socket.write(mensagem);
        QByteArray r;
        const QDeadlineTimer prazo(prazoMs);
        while (!completa(r) && !prazo.hasExpired() && m_socket.waitForReadyRead(int(std::max<qint64>(1, prazo.remainingTime()))))
            r += m_socket.readAll();
        return r;
    }
    QTcpSocket& socket() { return m_socket; }

private:
    QTcpSocket m_socket;
};

QByteArray login(const ServidorReal::Conta& c)
{
    clsUsuario u;
    u.usuario = c.usuario;
    u.senha = c.senha;
    return Wire::codifica(u.toPipeStringWithCommand(Codigo::Login));
}

QByteArray busca(qint32 numero, const ServidorReal::Conta& c)
{
    clsFiltroBusca f;
    f.numeroFicha = numero;
    f.departamento.idDepartamento = c.idDepartamento;
    f.departamento.dsDepartamento = c.dsDepartamento;
    return Wire::codifica(f.toPipeStringWithCommand(Codigo::Busca));
}

double percentil(QList<double> v, double p)
{
    if (v.isEmpty())
        return -1;
    std::sort(v.begin(), v.end());
    return v[std::min<qsizetype>(v.size() - 1, qsizetype(p * double(v.size() - 1) + 0.5))];
}

// `conexoes` threads saving new sheets until stopped; the numbers acknowledged are kept.
class Gravacoes {
public:
    Gravacoes(const ServidorReal& s, const ServidorReal::Conta& conta, int conexoes)
    {
        for (clsAgenda f : FichasDemo::gera(300, 7)) {
            f.departamento.idDepartamento = conta.idDepartamento;
            f.departamento.dsDepartamento = conta.dsDepartamento;
            m_pedidos << Wire::codifica(f.toPipeStringWithCommand(Codigo::Salva));
        }
        for (int i = 0; i < conexoes; ++i)
            m_threads << QThread::create([this, &s, i] { grava(s, i); });
        for (QThread* t : m_threads)
            t->start();
    }
    ~Gravacoes() { para(); }
    void para()
    {
        m_parar = true;
        for (QThread* t : std::as_const(m_threads)) {
            t->wait();
            delete t;
        }
        m_threads.clear();
    }
    QSet<qint32> confirmadas() const
    {
        QMutexLocker trava(&m_mutex);
        return m_confirmadas;
    }
    int falhas() const { return m_falhas; }

private:
    void grava(const ServidorReal& s, int i)
    {
        for (int k = 0; !m_parar; ++k) {
            Conexao c;
            if (c.abre(s, 5000) < 0)
                continue;
            for (; !m_parar && c.socket().state() == QAbstractSocket::ConnectedState; ++k) {
                const QByteArray r = c.pede(m_pedidos[(i * 31 + k) % m_pedidos.size()], 10'000);
                if (!r.startsWith("7|")) {
                    ++m_falhas;
                    if (r.isEmpty())
                        break;
                    continue;
                }
                clsAgenda f;
                f.fromPipeStringWithCommand(Wire::decodifica(r));
                QMutexLocker trava(&m_mutex);
                m_confirmadas.insert(f.numeroFicha);
            }
        }
    }

    QList<QByteArray> m_pedidos;
    QList<QThread*> m_threads;
    std::atomic<bool> m_parar{false};
    std::atomic<int> m_falhas{0};
    mutable QMutex m_mutex;
    QSet<qint32> m_confirmadas;
};

// Acknowledged saves of `conta`'s department missing from the database.
qint64 faltando(ServidorReal& s, const ServidorReal::Conta& conta, const QSet<qint32>& confirmadas)
{
    QStringList lista;
    for (qint32 n : confirmadas)
        lista << QString::number(n);
    QVariant achadas;
    if (!s.executaNoBanco({QStringLiteral("SELECT COUNT(*) FROM fichas WHERE iddepartamento = %1 AND numeroficha IN (%2)")
                               .arg(conta.idDepartamento)
                               .arg(lista.isEmpty() ? QStringLiteral("-1") : lista.join(u','))},
                          &achadas))
        return -1;
    return confirmadas.size() - achadas.toLongLong();
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const qsizetype i = args.indexOf(QStringLiteral("--db"));
    const bool postgres = i >= 0 && i + 1 < args.size() && args[i + 1] == QLatin1String("postgresql");
    const qsizetype j = args.indexOf(QStringLiteral("--segundos"));
    const int segundos = j >= 0 && j + 1 < args.size() ? args[j + 1].toInt() : 20;
    if (qEnvironmentVariableIsEmpty("ZELTO_BINARY_DIR"))
        qputenv("ZELTO_BINARY_DIR", QCoreApplication::applicationDirPath().toUtf8() + "/../..");

    const ServidorReal::Conta secretaria;   // department 1: the 10,000-sheet list
    const ServidorReal::Conta cadastro{2, QStringLiteral("Cadastro"), QStringLiteral("cadastro"), QStringLiteral("cadastro1")};
    std::unique_ptr<ClusterPostgres> cluster;
    std::unique_ptr<ServidorReal> servidor;
    if (postgres) {
        cluster = std::make_unique<ClusterPostgres>(true);
        if (!cluster->inicia() || !cluster->criaBanco(QStringLiteral("robustez"))) {
            std::fprintf(stderr, "cluster PostgreSQL: %s\n", qPrintable(cluster->erro()));
            return 1;
        }
        servidor = ServidorReal::novoNaConexao(cluster->conexao(QStringLiteral("robustez")), secretaria, 10'000);
    } else {
        servidor = std::make_unique<ServidorReal>(secretaria, 10'000, ServidorReal::Banco::SQLite);
    }
    servidor->defineArgumentos({QStringLiteral("--sessao-por-endereco"), QStringLiteral("--conexoes-por-endereco"), QStringLiteral("200")});
    if (!servidor->inicia() || !servidor->adicionaConta(cadastro)) {
        std::fprintf(stderr, "não foi possível iniciar o servidor: %s\n", qPrintable(servidor->erro()));
        return 1;
    }
    {
        Conexao a, b;
        if (a.abre(*servidor) < 0 || !a.pede(login(secretaria)).startsWith("4|") || b.abre(*servidor) < 0
            || !b.pede(login(cadastro)).startsWith("4|")) {
            std::fprintf(stderr, "login recusado\n");
            return 1;
        }
    }
    std::printf("zelto-server, banco %s, 10000 fichas no departamento 1\n", postgres ? "PostgreSQL privado (durável)" : "SQLite");

    // 1. Four clients that never read a 10,000-sheet list, under a 50-connection save load.
    QList<Conexao*> parados;
    for (int k = 0; k < 4; ++k) {
        auto* c = new Conexao;
        c->abre(*servidor);
        c->socket().setReadBufferSize(1);   // what arrives stays with the system
        c->socket().write(busca(0, secretaria));
        c->socket().waitForBytesWritten(5000);
        parados << c;
    }
    Gravacoes gravacoes(*servidor, cadastro, 50);
    QList<double> logins, buscas;
    int erros = 0;
    Conexao logada;
    logada.abre(*servidor);
    QElapsedTimer relogio;
    relogio.start();
    while (relogio.elapsed() < segundos * 1000LL) {
        QElapsedTimer t;
        t.start();
        Conexao nova;
        const bool entrou = nova.abre(*servidor, 10'000) >= 0 && nova.pede(login(secretaria), 10'000).startsWith("4|");
        logins << double(t.nsecsElapsed()) / 1e6;
        t.restart();
        const bool achou = logada.pede(busca(qint32(1 + logins.size() % 10'000), secretaria), 10'000).startsWith("13|");
        buscas << double(t.nsecsElapsed()) / 1e6;
        erros += int(!entrou) + int(!achou);
        QThread::msleep(200);
    }
    gravacoes.para();
    qDeleteAll(parados);
    std::printf("4 clientes sem ler + 50 gravando (%d s): login p50 %.1f ms p99 %.1f ms; busca por número p50 %.1f ms p99 %.1f ms; "
                "%lld amostras, %d sem resposta certa\n",
                segundos, percentil(logins, 0.5), percentil(logins, 0.99), percentil(buscas, 0.5), percentil(buscas, 0.99),
                static_cast<long long>(logins.size()), erros);
    std::printf("  gravações confirmadas %lld, faltando no banco %lld\n", static_cast<long long>(gravacoes.confirmadas().size()),
                faltando(*servidor, cadastro, gravacoes.confirmadas()));
    std::fflush(stdout);
    if (!postgres)
        return 0;

    // 2. The database host hangs for 20 s under the save load.
    Gravacoes sobTravamento(*servidor, cadastro, 50);
    QThread::msleep(1000);
    if (!cluster->suspende()) {
        std::fprintf(stderr, "SIGSTOP: %s\n", qPrintable(cluster->erro()));
        return 1;
    }
    QElapsedTimer travado;
    travado.start();
    QList<double> saudacoes, zeros;
    int respostasErradas = 0;
    while (travado.elapsed() < 20'000) {
        Conexao c;
        const double saudacao = c.abre(*servidor, 10'000);
        saudacoes << (saudacao < 0 ? 10'000 : saudacao);
        QElapsedTimer t;
        t.start();
        const QByteArray r = c.pede(busca(5, secretaria), 10'000);
        // From the first request on: the first ones wait until the server finds the database silent.
        zeros << double(t.nsecsElapsed()) / 1e6;
        respostasErradas += int(r != "0");
        QThread::msleep(250);
    }
    cluster->retoma();
    QElapsedTimer volta;
    volta.start();
    double servidoDeNovo = -1;
    while (volta.elapsed() < 30'000) {
        Conexao c;
        if (c.abre(*servidor, 10'000) >= 0 && c.pede(busca(5, secretaria), 10'000).startsWith("13|")) {
            servidoDeNovo = double(volta.nsecsElapsed()) / 1e6;
            break;
        }
        QThread::msleep(20);
    }
    QThread::msleep(1000);
    sobTravamento.para();
    std::printf("PostgreSQL travado 20 s (SIGSTOP), 50 gravando: saudação p50 %.1f ms p99 %.1f ms máx %.1f ms; 0 da busca p50 %.1f ms "
                "p99 %.1f ms máx %.1f ms (%d respostas que não foram 0)\n",
                percentil(saudacoes, 0.5), percentil(saudacoes, 0.99), percentil(saudacoes, 1), percentil(zeros, 0.5), percentil(zeros, 0.99),
                percentil(zeros, 1), respostasErradas);
    std::printf("  servido de novo %.0f ms depois do SIGCONT; gravações confirmadas %lld, faltando no banco %lld\n", servidoDeNovo,
                static_cast<long long>(sobTravamento.confirmadas().size()), faltando(*servidor, cadastro, sobTravamento.confirmadas()));
    return 0;
}
