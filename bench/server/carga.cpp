// zelto_carga_servidor [--conexoes N] [--pedidos M] [--db BANCO] [--instancias K] [--metricas]
//
// --db: sqlite (the default: a temporary SQLite file), postgresql (a private PostgreSQL
// cluster in a temporary folder, with fsync on, started and stopped by this tool), or any
// connection text zelto-server takes, naming an empty database of the tool's own.
// --instancias: how many servers share that database (connections spread over them).
//
// Starts zelto-server on 127.0.0.1 (300 demo sheets) and measures, with
// N concurrent connections making M requests each, one request at a time per connection:
//   - saves of new sheets (code 6),
//   - the same saves while another connection logs in over and over (each login writes its
//     session row),
//   - searches by sheet number (code 12, one sheet back),
//   - searches of the whole department (code 12, 300 sheets back; M/10 per connection);
// printing throughput, the failures, and the p50/p99 latency of the requests served (a
// percentile of too few of them is said to be unknown, "n/d"). With --metricas, the saves again
// with the metrics off and on, alternately (p50/p99 of each). Then the crash check: a save load,
// SIGKILL of the server in the middle of it, a restart, and the count of acknowledged sheets
// that are missing from the database, or whose history row is, and whether the history's
// chain still verifies.
#include "protocol/Wire.h"
#include "protocol/clsAgenda.h"
#include "protocol/clsFiltroBusca.h"
#include "protocol/clsUsuario.h"
#include "protocol/modCommands.h"
#include "server/store/FichasDemo.h"
#include "support/ClusterPostgres.h"
#include "support/CpuDoProcesso.h"
#include "support/ServidorReal.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTcpSocket>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <functional>
#include <thread>
#include <vector>
#include <unistd.h>

namespace {

constexpr int fichasDemo = 300;

// When the reply in `r` is whole: by the piece count its code implies.
bool respostaCompleta(const QByteArray& r, int fichasEsperadas)
{
    if (r == "0" || r == "5" || r == "11" || r == "14")
        return true;
    const qsizetype barras = r.count('|');
    if (r.startsWith("4|"))
        return barras >= 4;
    if (r.startsWith("7|") || r.startsWith("9|"))
        return barras >= 67;
    if (r.startsWith("13|"))
        return barras >= 1 + 66 * fichasEsperadas;
    return false;
}

struct Resultado {
    QList<qint64> latenciasNs;   // of the replies that were no failure
    qint64 duracaoNs = 0;
    int falhas = 0;
    int perdidas = 0;   // connections refused or dropped before their requests were done
    QList<QByteArray> respostas;   // kept only when asked
    bool concluido = false;
};

// N connections, each sending its requests one after the other, all in one event loop.
class Rodada : public QObject {
public:
    using Gerador = std::function<QByteArray(int conexao, int indice)>;

    Rodada(const ServidorReal& servidor, int conexoes, int pedidos, Gerador gerador, int fichasEsperadas, bool guardaRespostas,
           int pararAposMs = 0)
        : m_servidor(servidor), m_pedidos(pedidos), m_gerador(std::move(gerador)), m_fichasEsperadas(fichasEsperadas),
          m_guarda(guardaRespostas), m_pararAposMs(pararAposMs)
    {
        for (int i = 0; i < conexoes; ++i)
            m_conexoes.append(Conexao{});
    }

    Resultado executa(int prazoMs = 180'000)
    {
        QEventLoop laco;
        m_laco = &laco;
        m_ativas = int(m_conexoes.size());
        for (int i = 0; i < m_conexoes.size(); ++i) {
            Conexao& c = m_conexoes[i];
            c.socket = new QTcpSocket(this);
            c.socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
            connect(c.socket, &QTcpSocket::readyRead, this, [this, i] { chegou(i); });
            connect(c.socket, &QTcpSocket::disconnected, this, [this, i] { termina(i); });
            connect(c.socket, &QTcpSocket::errorOccurred, this, [this, i] { termina(i); });
            const ServidorReal& s = m_instancias.isEmpty() ? m_servidor : *m_instancias[i % m_instancias.size()];
            c.socket->connectToHost(s.host(), s.porta());
        }
        QTimer::singleShot(prazoMs, &laco, &QEventLoop::quit);
        m_relogio.start();
        if (m_pararAposMs > 0)
            QTimer::singleShot(m_pararAposMs, this, [this] { m_aoPrazo(); });
        if (m_ativas > 0)
            laco.exec();
        m_r.duracaoNs = m_relogio.nsecsElapsed();
        m_r.concluido = m_ativas == 0;
        for (Conexao& c : m_conexoes)
            if (c.socket)
                c.socket->abort();
        return m_r;
    }

    std::function<void()> m_aoPrazo = [] {};
    // Several servers on one database: connection i goes to instance i % K.
    QList<const ServidorReal*> m_instancias;

private:
    struct Conexao {
        QTcpSocket* socket = nullptr;
        QByteArray recebido;
        bool saudado = false;
        bool encerrada = false;
        int feitos = 0;
        qint64 enviadoNs = 0;
    };

    void envia(int i)
    {
        Conexao& c = m_conexoes[i];
        if (c.feitos >= m_pedidos) {
            termina(i);
            return;
        }
        c.enviadoNs = m_relogio.nsecsElapsed();
        c.socket->write(m_gerador(i, c.feitos));
    }

    void chegou(int i)
    {
        Conexao& c = m_conexoes[i];
        c.recebido += c.socket->readAll();
        if (!c.saudado) {
            if (!c.recebido.startsWith('2'))
                return;
            c.recebido.remove(0, 1);
            c.saudado = true;
            envia(i);
            return;
        }
        if (!respostaCompleta(c.recebido, m_fichasEsperadas))
            return;
        if (c.recebido == "0" || c.recebido == "5")
            ++m_r.falhas;
        else
            m_r.latenciasNs.append(m_relogio.nsecsElapsed() - c.enviadoNs);
        if (m_guarda)
            m_r.respostas.append(c.recebido);
        c.recebido.clear();
        ++c.feitos;
        envia(i);
    }

    void termina(int i)
    {
        Conexao& c = m_conexoes[i];
        if (c.encerrada)
            return;
        c.encerrada = true;
        if (c.feitos < m_pedidos)
            ++m_r.perdidas;
        if (--m_ativas == 0 && m_laco)
            m_laco->quit();
    }

    const ServidorReal& m_servidor;
    int m_pedidos;
    Gerador m_gerador;
    int m_fichasEsperadas;
    bool m_guarda;
    int m_pararAposMs;
    QList<Conexao> m_conexoes;
    QEventLoop* m_laco = nullptr;
    int m_ativas = 0;
    QElapsedTimer m_relogio;
    Resultado m_r;
};

// "12.34 ms", or "n/d" when there are too few samples for that percentile to mean anything
// (fewer than two beyond it: a p99 takes 200).
QByteArray percentil(QList<qint64> v, double p)
{
    if (double(v.size()) * (1.0 - p) < 2.0)
        return "    n/d   ";
    std::sort(v.begin(), v.end());
    const qsizetype i = std::min<qsizetype>(v.size() - 1, qsizetype(p * double(v.size() - 1) + 0.5));
    return QByteArray::number(double(v[i]) / 1e6, 'f', 2).rightJustified(7) + " ms";
}

// Every round must finish with no failure and no lost connection; the exit code says so.
bool tudoCerto = true;

void relata(const char* nome, int conexoes, const Resultado& r, double cpuServidor)
{
    tudoCerto = tudoCerto && r.concluido && r.falhas == 0 && r.perdidas == 0;
    const double segundos = double(r.duracaoNs) / 1e9;
    const qsizetype respondidos = r.latenciasNs.size() + r.falhas;
    std::printf("%-28s %3d conexões %7lld pedidos  %9.0f /s   p50 %s   p99 %s   falhas %d   conexões perdidas %d%s\n",
                nome, conexoes, static_cast<long long>(respondidos), double(respondidos) / segundos,
                percentil(r.latenciasNs, 0.50).constData(), percentil(r.latenciasNs, 0.99).constData(), r.falhas, r.perdidas,
                r.concluido ? "" : "  (NÃO CONCLUÍDO)");
    if (respondidos > 0)
        std::printf("%-28s CPU do servidor: %.0f µs por pedido (%.0f pedidos/s por núcleo livre)\n", "", cpuServidor * 1e6 / double(respondidos),
                    double(respondidos) / std::max(cpuServidor, 1e-9));
    std::fflush(stdout);
}

QByteArray login(const ServidorReal::Conta& conta)
{
    clsUsuario u;
    u.usuario = conta.usuario;
    u.senha = conta.senha;
    return Wire::codifica(u.toPipeStringWithCommand(Codigo::Login));
}

bool entra(const ServidorReal& servidor, const ServidorReal::Conta& conta)
{
    Rodada r(servidor, 1, 1, [&](int, int) { return login(conta); }, 0, true);
    const Resultado res = r.executa(30'000);
    return res.respostas.size() == 1 && res.respostas[0].startsWith("4|");
}

// As the client does, every request carries the department the login returned.
QByteArray buscaPorNumero(qint32 numero, const ServidorReal::Conta& conta)
{
    clsFiltroBusca f;
    f.numeroFicha = numero;
    f.departamento.idDepartamento = conta.idDepartamento;
    f.departamento.dsDepartamento = conta.dsDepartamento;
    return Wire::codifica(f.toPipeStringWithCommand(Codigo::Busca));
}

int valorDe(const QStringList& args, const char* nome, int padrao)
{
    const qsizetype i = args.indexOf(QString::fromLatin1(nome));
    return i >= 0 && i + 1 < args.size() ? args[i + 1].toInt() : padrao;
}

QString textoDe(const QStringList& args, const char* nome, const QString& padrao)
{
    const qsizetype i = args.indexOf(QString::fromLatin1(nome));
    return i >= 0 && i + 1 < args.size() ? args[i + 1] : padrao;
}

double cpuDe(const std::vector<std::unique_ptr<ServidorReal>>& instancias)
{
    double soma = 0;
    for (const auto& s : instancias)
        soma += cpuDoProcesso(s->pid());
    return soma;
}

} // namespace

// --metricas: the same saves with the metrics off and on, in one run: the server restarted
// between rounds (off, on, off, on) and, while they are on, scraped every second.
void comMetricasESem(ServidorReal& servidor, const QStringList& argumentos, int conexoes, int pedidos, const Rodada::Gerador& salvar,
                     const std::function<bool()>& entrar)
{
    static const QRegularExpression endereco(QStringLiteral("métricas em http://127\\.0\\.0\\.1:(\\d+)/metrics"));
    for (int volta = 0; volta < 4; ++volta) {
        const bool ligadas = volta % 2 == 1;
        servidor.defineArgumentos(ligadas ? argumentos + QStringList{QStringLiteral("--metricas"), QStringLiteral("127.0.0.1:0")} : argumentos);
        if (!servidor.reinicia() || !entrar()) {
            std::fprintf(stderr, "não foi possível reiniciar o servidor: %s\n", qPrintable(servidor.erro()));
            tudoCerto = false;
            return;
        }
        std::atomic<bool> parar = false;
        std::thread raspador([&] {
            QTcpSocket s;
            for (int espera = 0; ligadas && !parar; espera = 1000) {
                std::this_thread::sleep_for(std::chrono::milliseconds(espera));
                const auto m = endereco.match(servidor.diario());
                if (!m.hasMatch())
                    continue;
                s.connectToHost(QStringLiteral("127.0.0.1"), quint16(m.captured(1).toUInt()));
                if (s.waitForConnected(1000)) {
                    s.write("GET /metrics HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
                    while (s.waitForReadyRead(100))
                        s.readAll();
                }
                s.abort();
            }
        });
        Rodada gravacoes(servidor, conexoes, pedidos, salvar, 0, false);
        const qint64 pid = servidor.pid();
        const double antes = cpuDoProcesso(pid);
        const Resultado r = gravacoes.executa();
        parar = true;
        raspador.join();
        relata(ligadas ? "gravações, métricas ligadas" : "gravações, sem métricas", conexoes, r, cpuDoProcesso(pid) - antes);
    }
    servidor.defineArgumentos(argumentos);
}

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const int conexoes = std::max(1, valorDe(args, "--conexoes", 50));
    const int pedidos = std::max(10, valorDe(args, "--pedidos", 200));
    const int nInstancias = std::max(1, valorDe(args, "--instancias", 1));
    const QString db = textoDe(args, "--db", QStringLiteral("sqlite"));
    if (qEnvironmentVariableIsEmpty("ZELTO_BINARY_DIR"))
        qputenv("ZELTO_BINARY_DIR", QCoreApplication::applicationDirPath().toUtf8() + "/../..");

    const ServidorReal::Conta secretaria;   // department 1, with the demo sheets
    const ServidorReal::Conta cadastro{2, QStringLiteral("Cadastro"), QStringLiteral("cadastro"), QStringLiteral("cadastro1")};
    const ServidorReal::Conta queda{3, QStringLiteral("Queda"), QStringLiteral("queda"), QStringLiteral("queda-123")};
    std::unique_ptr<ClusterPostgres> cluster;
    std::vector<std::unique_ptr<ServidorReal>> instancias;
    QString descricao;
    if (db == QLatin1String("sqlite")) {
        instancias.push_back(std::make_unique<ServidorReal>(secretaria, fichasDemo, ServidorReal::Banco::SQLite));
        descricao = QStringLiteral("SQLite (WAL, sincronia total)");
    } else if (db == QLatin1String("postgresql")) {
        // Durable, as in production: what a SIGKILL must not lose is on disk.
        cluster = std::make_unique<ClusterPostgres>(true);
        if (!cluster->inicia() || !cluster->criaBanco(QStringLiteral("carga"))) {
            std::fprintf(stderr, "cluster PostgreSQL: %s\n", qPrintable(cluster->erro()));
            return 1;
        }
        instancias.push_back(ServidorReal::novoNaConexao(cluster->conexao(QStringLiteral("carga")), secretaria, fichasDemo));
        descricao = QStringLiteral("PostgreSQL privado (fsync e synchronous_commit ligados)");
    } else {
        instancias.push_back(ServidorReal::novoNaConexao(db, secretaria, fichasDemo));
        descricao = db.startsWith(QLatin1String("sqlite:")) ? db : QStringLiteral("PostgreSQL informado em --db");
    }
    ServidorReal& servidor = *instancias.front();
    // Each load connection is a client of the office that does not log in itself: they share
    // the three logins below through the per-address rule; all come from this one address,
    // so the per-address cap is lifted.
    const QStringList porEndereco{QStringLiteral("--sessao-por-endereco"), QStringLiteral("--conexoes-por-endereco"),
                                  QString::number(std::max(64, conexoes * 2))};
    servidor.defineArgumentos(porEndereco);
    if (!servidor.inicia() || !servidor.adicionaConta(cadastro) || !servidor.adicionaConta(queda)) {
        std::fprintf(stderr, "não foi possível iniciar o servidor: %s\n", qPrintable(servidor.erro()));
        return 1;
    }
    for (int k = 1; k < nInstancias; ++k) {
        instancias.push_back(servidor.outraInstancia());
        instancias.back()->defineArgumentos(porEndereco);
        if (!instancias.back()->inicia()) {
            std::fprintf(stderr, "não foi possível iniciar a instância %d: %s\n", k + 1, qPrintable(instancias.back()->erro()));
            return 1;
        }
    }
    QList<const ServidorReal*> todas;
    for (const auto& s : instancias)
        todas << s.get();
    if (!entra(servidor, secretaria) || !entra(servidor, cadastro) || !entra(servidor, queda)) {
        std::fprintf(stderr, "login recusado\n");
        return 1;
    }
    std::printf("zelto-server em %s:%u (%d instância(s) no mesmo banco), banco %s, %d fichas de demonstração\n", qPrintable(servidor.host()),
                servidor.porta(), nInstancias, qPrintable(descricao), fichasDemo);

    // Save payloads: realistic sheets, new each time (number 0), in department 2.
    QList<QByteArray> salvamentos;
    for (clsAgenda f : FichasDemo::gera(500, 7)) {
        f.departamento.idDepartamento = cadastro.idDepartamento;
        f.departamento.dsDepartamento = cadastro.dsDepartamento;
        salvamentos << Wire::codifica(f.toPipeStringWithCommand(Codigo::Salva));
    }
    const auto salvar = [&](int c, int i) { return salvamentos[(c * 31 + i) % salvamentos.size()]; };

    Rodada gravacoes(servidor, conexoes, pedidos, salvar, 0, false);
    gravacoes.m_instancias = todas;
    {
        const double antes = cpuDe(instancias);
        const Resultado r = gravacoes.executa();
        relata("gravações (6)", conexoes, r, cpuDe(instancias) - antes);
    }

    // Another operator logs in over and over meanwhile: every login writes a session row.
    Rodada comLogins(servidor, conexoes, pedidos, salvar, 0, false);
    comLogins.m_instancias = todas;
    {
        std::atomic<bool> parar = false;
        std::atomic<int> logins = 0;
        std::thread outro([&] {
            QTcpSocket s;
            s.connectToHost(servidor.host(), servidor.porta());
            if (!s.waitForConnected(5000) || !s.waitForReadyRead(5000))
                return;
            s.readAll();
            while (!parar) {
                s.write(login(secretaria));
                QByteArray r;
                while (r != "0" && r.count('|') < 4 && s.waitForReadyRead(10'000))
                    r += s.readAll();
                ++logins;
            }
        });
        const double antes = cpuDe(instancias);
        const Resultado r = comLogins.executa();
        parar = true;
        outro.join();
        relata("gravações e logins ao lado", conexoes, r, cpuDe(instancias) - antes);
        std::printf("%-28s %d logins de outra conexão ao mesmo tempo\n", "", logins.load());
    }

    QRandomGenerator sorteio(11);
    Rodada porNumero(servidor, conexoes, pedidos * 2,
                     [&](int, int) { return buscaPorNumero(qint32(sorteio.bounded(1, fichasDemo + 1)), secretaria); }, 1, false);
    porNumero.m_instancias = todas;
    {
        const double antes = cpuDe(instancias);
        const Resultado r = porNumero.executa();
        relata("buscas por número (12)", conexoes, r, cpuDe(instancias) - antes);
    }

    Rodada departamento(servidor, conexoes, std::max(2, pedidos / 10), [&](int, int) { return buscaPorNumero(0, secretaria); },
                        fichasDemo, false);
    departamento.m_instancias = todas;
    {
        const double antes = cpuDe(instancias);
        const Resultado r = departamento.executa();
        relata("buscas do departamento (12)", conexoes, r, cpuDe(instancias) - antes);
    }

    if (args.contains(QLatin1String("--metricas")) && nInstancias == 1)
        comMetricasESem(servidor, porEndereco, conexoes, pedidos, salvar,
                        [&] { return entra(servidor, secretaria) && entra(servidor, cadastro) && entra(servidor, queda); });

    // Crash check: saves in department 3 until the server is killed 1.5 s in.
    QList<QByteArray> quedas;
    for (clsAgenda f : FichasDemo::gera(200, 13)) {
        f.departamento.idDepartamento = queda.idDepartamento;
        f.departamento.dsDepartamento = queda.dsDepartamento;
        quedas << Wire::codifica(f.toPipeStringWithCommand(Codigo::Salva));
    }
    Rodada sobQueda(servidor, conexoes, 1'000'000, [&](int c, int i) { return quedas[(c * 7 + i) % quedas.size()]; }, 0, true, 1500);
    sobQueda.m_instancias = todas;
    sobQueda.m_aoPrazo = [&] {
        for (const auto& s : instancias)
            s->mata();
    };
    const Resultado r = sobQueda.executa(60'000);
    QSet<qint32> confirmadas;
    for (const QByteArray& resposta : r.respostas) {
        if (!resposta.startsWith("7|"))
            continue;
        clsAgenda f;
        f.fromPipeStringWithCommand(Wire::decodifica(resposta));
        confirmadas.insert(f.numeroFicha);
    }
    if (!servidor.inicia()) {
        std::fprintf(stderr, "o servidor não voltou depois do SIGKILL: %s\n", qPrintable(servidor.erro()));
        return 1;
    }
    QVariant quantasNoBanco, achadas;
    QStringList lista;
    for (qint32 n : confirmadas)
        lista << QString::number(n);
    if (!servidor.executaNoBanco({QStringLiteral("SELECT COUNT(*) FROM fichas WHERE iddepartamento = %1").arg(queda.idDepartamento)}, &quantasNoBanco)
        || !servidor.executaNoBanco({QStringLiteral("SELECT COUNT(*) FROM fichas WHERE iddepartamento = %1 AND numeroficha IN (%2)")
                                         .arg(queda.idDepartamento)
                                         .arg(lista.isEmpty() ? QStringLiteral("-1") : lista.join(u','))},
                                    &achadas)) {
        std::fprintf(stderr, "conferência no banco: %s\n", qPrintable(servidor.erro()));
        return 1;
    }
    const QList<qint32> noBanco(qsizetype(quantasNoBanco.toLongLong()), 0);
    const int faltando = int(confirmadas.size() - achadas.toLongLong());
    // Each acknowledged change has its history row, and the chain still verifies.
    QVariant comLinha;
    servidor.executaNoBanco({QStringLiteral("SELECT COUNT(DISTINCT numeroficha) FROM historico WHERE iddepartamento = %1 AND numeroficha IN (%2)")
                                 .arg(queda.idDepartamento)
                                 .arg(lista.isEmpty() ? QStringLiteral("-1") : lista.join(u','))},
                            &comLinha);
    const int semLinha = int(confirmadas.size() - comLinha.toLongLong());
    QProcess verifica;
    verifica.start(ServidorReal::binario(), {QStringLiteral("historico"), QStringLiteral("--verificar"), QStringLiteral("--db"), servidor.conexaoDoBanco()});
    const bool cadeiaIntegra = verifica.waitForFinished(600'000) && verifica.exitStatus() == QProcess::NormalExit && verifica.exitCode() == 0;
    std::printf("queda: %d confirmadas sem linha no histórico; cadeia do histórico %s\n", semLinha, cadeiaIntegra ? "íntegra" : "ADULTERADA");
    // And the restarted server serves them (the session is gone with the process: log in).
    const bool serve = entra(servidor, queda) && !confirmadas.isEmpty() && [&] {
        Rodada uma(servidor, 1, 1, [&](int, int) { return buscaPorNumero(*confirmadas.cbegin(), queda); }, 1, true);
        const Resultado u = uma.executa(10'000);
        return u.respostas.size() == 1 && u.respostas[0].startsWith("13|");
    }();
    std::printf("queda (SIGKILL após 1,5 s de gravações): %lld confirmadas, %lld no banco, %d confirmadas faltando; servidor reiniciado %s\n",
                static_cast<long long>(confirmadas.size()), static_cast<long long>(noBanco.size()), faltando,
                serve ? "atende" : "NÃO atende");
    if (!tudoCerto)
        std::printf("FALHAS: alguma rodada não concluiu, teve falhas ou perdeu conexões\n");
    return faltando == 0 && semLinha == 0 && cadeiaIntegra && serve ? (tudoCerto ? 0 : 3) : 2;
}
