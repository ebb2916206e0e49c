// zelto_bench_historico [--db sqlite|postgresql] [--conexoes N] [--pedidos M] [--linhas L] [--voltas V]
//
// What the history costs and how it reads, on one store, all in one run:
//   - saves of new sheets with N connections (M each): p50 and saves/s with the history, and
//     the same on a registry whose history table is a view that keeps nothing (a stand-in for
//     the server before the history: the statements still run, nothing is written);
//   - one sheet's history of 1,000 changes, asked by our client's request, with L rows (default
//     1,000,000) in the table: p50 and p99 of 30 requests;
//   - `zelto-server historico --verificar` over those L rows: its time, and the table's size.
#include "protocol/Historico.h"
#include "protocol/Wire.h"
#include "protocol/clsAgenda.h"
#include "protocol/clsUsuario.h"
#include "protocol/modCommands.h"
#include "server/Banco.h"
#include "server/FichasDemo.h"
#include "server/Historico.h"
#include "server/Senhas.h"
#include "support/ClienteEmQuadros.h"
#include "support/ClusterPostgres.h"
#include "support/ServidorReal.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <mutex>
#include <thread>
#include <vector>

namespace {

// Our client's connections: framed, with the history agreed; a reply may take this long.
const QStringList comHistorico{QStringLiteral("quadros"), QStringLiteral("historico")};
constexpr int prazoMs = 30000;

double percentil(std::vector<qint64> v, double p)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return double(v[std::min(v.size() - 1, size_t(p * double(v.size() - 1) + 0.5))]) / 1e6;
}

QByteArray login(const ServidorReal::Conta& c)
{
    clsUsuario u;
    u.usuario = c.usuario;
    u.senha = c.senha;
    return Wire::codifica(u.toPipeStringWithCommand(Codigo::Login));
}

// N threads, each a connection of its own saving new sheets: p50 (ms) and saves per second.
std::pair<double, double> gravacoes(const ServidorReal& s, int conexoes, int pedidos)
{
    QList<QByteArray> fichas;
    for (clsAgenda f : FichasDemo::gera(500, 7)) {
        f.departamento.idDepartamento = s.conta().idDepartamento;
        f.departamento.dsDepartamento = s.conta().dsDepartamento;
        f.numeroFicha = 0;
        fichas << Wire::codifica(f.toPipeStringWithCommand(Codigo::Salva));
    }
    std::vector<std::vector<qint64>> latencias(static_cast<size_t>(conexoes));
    std::atomic<int> falhas = 0;
    std::mutex logins;
    QElapsedTimer total;
    total.start();
    std::vector<std::thread> threads;
    for (int c = 0; c < conexoes; ++c)
        threads.emplace_back([&, c] {
            ClienteEmQuadros cli(s, comHistorico);
            // One login at a time: parallel attempts of one operator from one address count as guesses.
            QByteArray entrou;
            {
                const std::lock_guard trava(logins);
                entrou = cli.enquadrado() ? cli.pedeCodificado(login(s.conta()), prazoMs) : QByteArray("sem conexão");
            }
            if (!entrou.startsWith("4|")) {
                if (falhas++ == 0)
                    std::fprintf(stderr, "login: %s\n", entrou.left(60).constData());
                return;
            }
            for (int i = 0; i < pedidos; ++i) {
                QElapsedTimer t;
                t.start();
                if (!cli.pedeCodificado(fichas[(c * 31 + i) % fichas.size()], prazoMs).startsWith("7|"))
                    ++falhas;
                latencias[size_t(c)].push_back(t.nsecsElapsed());
            }
        });
    for (std::thread& t : threads)
        t.join();
    const double segundos = double(total.nsecsElapsed()) / 1e9;
    std::vector<qint64> todas;
    for (const auto& l : latencias)
        todas.insert(todas.end(), l.begin(), l.end());
    if (falhas > 0)
        std::printf("  (%d falhas)\n", falhas.load());
    return {percentil(todas, 0.5), double(todas.size()) / segundos};
}

// `linhas` history rows, `daFicha` of them for sheet 42 of department 1, the others spread
// over other sheets, appended as the server does (chained), a slice per transaction.
bool enche(const QString& conexao, qint64 linhas, int daFicha)
{
    Banco banco(conexao);
    if (!banco.abre(false))
        return false;
    const qint64 cada = linhas / daFicha;
    QList<RegistroDoHistorico> lote;
    for (qint64 i = 0; i < linhas; ++i) {
        RegistroDoHistorico r;
        r.quandoMs = QDateTime::currentMSecsSinceEpoch() - (linhas - i) * 1000;
        r.operador = QStringLiteral("operador");
        r.idDepartamento = 1;
        r.endereco = QStringLiteral("127.0.0.1");
        const bool daQuarentaEDois = i % cada == 0 && i / cada < daFicha;
        r.numeroFicha = daQuarentaEDois ? 42 : qint32(1000 + i % 50'000);
        r.acao = i % 3 ? Acao::busca() : Acao::alteracao();
        if (r.acao == Acao::alteracao())
            r.alteracoes = {{QStringLiteral("nome"), QStringLiteral("Nome Antigo %1").arg(i), QStringLiteral("Nome Novo %1").arg(i)},
                            {QStringLiteral("cidade"), QStringLiteral("Recife"), QStringLiteral("Olinda")}};
        else
            r.detalhe = QStringLiteral("nome contém \"silva\"; 12 ficha(s) devolvida(s)");
        lote << r;
        if (lote.size() == 20'000 || i + 1 == linhas) {
            if (!HistoricoGravado(banco).acrescenta(lote)) {
                std::fprintf(stderr, "enchendo o histórico: %s\n", qPrintable(banco.ultimoErro()));
                return false;
            }
            lote.clear();
        }
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const auto valor = [&](const char* nome, const QString& padrao) {
        const qsizetype i = args.indexOf(QString::fromLatin1(nome));
        return i >= 0 && i + 1 < args.size() ? args[i + 1] : padrao;
    };
    const QString db = valor("--db", QStringLiteral("sqlite"));
    const int conexoes = valor("--conexoes", QStringLiteral("50")).toInt();
    const int pedidos = valor("--pedidos", QStringLiteral("100")).toInt();
    const qint64 linhas = valor("--linhas", QStringLiteral("1000000")).toLongLong();
    if (qEnvironmentVariableIsEmpty("ZELTO_BINARY_DIR"))
        qputenv("ZELTO_BINARY_DIR", QCoreApplication::applicationDirPath().toUtf8() + "/../..");
    Senhas::inicializa();

    std::unique_ptr<ClusterPostgres> cluster;
    const auto novoServidor = [&](const QString& nome) -> std::unique_ptr<ServidorReal> {
        if (db != QLatin1String("postgresql"))
            return std::make_unique<ServidorReal>(ServidorReal::Conta{}, 0, ServidorReal::Banco::SQLite);
        if (!cluster) {
            cluster = std::make_unique<ClusterPostgres>(true);
            if (!cluster->inicia())
                return nullptr;
        }
        if (!cluster->criaBanco(nome))
            return nullptr;
        return ServidorReal::novoNaConexao(cluster->conexao(nome), ServidorReal::Conta{}, 0);
    };
    const QString muitos = QString::number(std::max(64, conexoes * 2));
    const QStringList porEndereco{QStringLiteral("--conexoes-por-endereco"), muitos, QStringLiteral("--rajada-logins"), muitos,
                                  QStringLiteral("--logins-por-minuto"), muitos, QStringLiteral("--fila-senhas"), muitos,
                                  QStringLiteral("--senhas-por-endereco"), muitos};

    // 1. Saves with and without the history, one after the other.
    std::unique_ptr<ServidorReal> com = novoServidor(QStringLiteral("com")), sem = novoServidor(QStringLiteral("sem"));
    if (!com || !sem)
        return 1;
    com->defineArgumentos(porEndereco);
    sem->defineArgumentos(porEndereco);
    if (!com->inicia() || !sem->inicia()) {
        std::fprintf(stderr, "servidor: %s %s\n", qPrintable(com->erro()), qPrintable(sem->erro()));
        return 1;
    }
    const QStringList vista = db == QLatin1String("postgresql")
        ? QStringList{QStringLiteral("DROP TABLE historico"),
                      QStringLiteral("CREATE VIEW historico AS SELECT 0::bigint AS id, 0::bigint AS quando, ''::text AS operador, 0 AS iddepartamento, "
                                     "''::text AS endereco, ''::text AS acao, 0 AS numeroficha, ''::text AS alteracoes, ''::text AS detalhe, "
                                     "''::text AS hash WHERE false"),
                      QStringLiteral("CREATE FUNCTION nada() RETURNS trigger AS $$ BEGIN RETURN NULL; END $$ LANGUAGE plpgsql"),
                      QStringLiteral("CREATE TRIGGER nada INSTEAD OF INSERT ON historico FOR EACH ROW EXECUTE FUNCTION nada()")}
        : QStringList{QStringLiteral("DROP TABLE historico"),
                      QStringLiteral("CREATE VIEW historico AS SELECT 0 AS id, 0 AS quando, '' AS operador, 0 AS iddepartamento, '' AS endereco, "
                                     "'' AS acao, 0 AS numeroficha, '' AS alteracoes, '' AS detalhe, '' AS hash WHERE 0"),
                      QStringLiteral("CREATE TRIGGER nada INSTEAD OF INSERT ON historico BEGIN SELECT 1; END")};
    if (!sem->executaNoBanco(vista)) {
        std::fprintf(stderr, "vista: %s\n", qPrintable(sem->erro()));
        return 1;
    }
    std::printf("banco %s, %d conexões x %d gravações\n", qPrintable(db), conexoes, pedidos);
    // Alternated, several rounds: the machine's other work shifts both alike; the medians compare.
    std::vector<double> p50s[2], taxas[2];
    const int voltas = valor("--voltas", QStringLiteral("5")).toInt();
    for (int volta = 0; volta < voltas; ++volta) {
        for (int lado = 0; lado < 2; ++lado) {
            const auto [p50, taxa] = gravacoes(lado == 0 ? *sem : *com, conexoes, pedidos);
            p50s[lado].push_back(p50);
            taxas[lado].push_back(taxa);
            std::printf("gravações %s histórico (volta %d): p50 %6.2f ms  %7.0f /s\n", lado == 0 ? "sem" : "com", volta + 1, p50, taxa);
            std::fflush(stdout);
        }
    }
    const auto mediana = [](std::vector<double> v) {
        std::sort(v.begin(), v.end());
        return v[v.size() / 2];
    };
    const double p50Sem = mediana(p50s[0]), p50Com = mediana(p50s[1]), taxaSem = mediana(taxas[0]), taxaCom = mediana(taxas[1]);
    std::printf("MEDIANAS: sem histórico p50 %.2f ms %.0f /s; com histórico p50 %.2f ms %.0f /s (%+.1f%% no p50, %+.1f%% em /s)\n", p50Sem,
                taxaSem, p50Com, taxaCom, 100.0 * (p50Com / p50Sem - 1), 100.0 * (taxaCom / taxaSem - 1));
    sem.reset();

    // 2. One sheet's 1,000 changes among `linhas` rows.
    com->para();
    QElapsedTimer t;
    t.start();
    if (!enche(com->conexaoDoBanco(), linhas, 1000))
        return 1;
    std::printf("histórico enchido: %lld linhas em %.1f s\n", static_cast<long long>(linhas), double(t.nsecsElapsed()) / 1e9);
    if (!com->inicia())
        return 1;
    ClienteEmQuadros cli(*com, comHistorico);
    if (!cli.enquadrado() || !cli.pedeCodificado(login(com->conta()), prazoMs).startsWith("4|"))
        return 1;
    std::vector<qint64> tempos;
    qsizetype entradas = 0;
    for (int i = 0; i < 30; ++i) {
        QElapsedTimer u;
        u.start();
        const QByteArray r = cli.pede(Historico::pedido(42), prazoMs);
        tempos.push_back(u.nsecsElapsed());
        QList<Historico::Entrada> e;
        Historico::leResposta(Wire::decodifica(r), e);
        entradas = e.size();
    }
    std::printf("histórico de uma ficha (%lld linhas devolvidas, %lld no histórico): p50 %.2f ms  p99 %.2f ms\n",
                static_cast<long long>(entradas), static_cast<long long>(linhas), percentil(tempos, 0.5), percentil(tempos, 0.99));
    com->para();

    // 3. --verificar over the whole table, and the table's size.
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    t.restart();
    p.start(ServidorReal::binario(), {QStringLiteral("historico"), QStringLiteral("--verificar"), QStringLiteral("--db"), com->conexaoDoBanco()});
    p.waitForFinished(1'800'000);
    const double segundos = double(t.nsecsElapsed()) / 1e9;
    QVariant tamanho;
    QString comoMedido;
    if (db == QLatin1String("postgresql")) {
        com->executaNoBanco({QStringLiteral("SELECT pg_total_relation_size('historico')")}, &tamanho);
        comoMedido = QStringLiteral("pg_total_relation_size, com índices");
    } else if (com->executaNoBanco({QStringLiteral("SELECT SUM(pgsize) FROM dbstat WHERE name LIKE 'historico%'")}, &tamanho)) {
        comoMedido = QStringLiteral("dbstat, com índices");
    } else {
        tamanho = QFileInfo(com->caminhoDoBanco()).size();
        comoMedido = QStringLiteral("o arquivo inteiro do banco");
    }
    std::printf("--verificar: %.1f s (saída %d: %s)\n", segundos, p.exitCode(), qPrintable(QString::fromUtf8(p.readAll()).trimmed().left(100)));
    std::printf("tamanho do histórico: %.1f MiB (%s)\n", tamanho.toDouble() / 1048576.0, qPrintable(comoMedido));
    return p.exitCode();
}
