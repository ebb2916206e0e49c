// zelto_bench_historico [--db sqlite|postgresql] [--conexoes N] [--pedidos M] [--linhas L] [--voltas V]
//                       [--servidor-anterior PATH]
//
// What the history costs and how it reads, on one store, all in one run:
//   - saves of new sheets with N connections (M each): p50 and saves/s with the history, and
//     the same on a registry whose history table is a view that keeps nothing (a stand-in for
//     the server before the history: the statements still run, nothing is written); with
//     --servidor-anterior, also with that other build of zelto-server (the chain's rule before
//     the values' digest), the three alternated;
//   - one sheet's history of 1,000 changes, asked by our client's request, with L rows (default
//     1,000,000) in the table: p50 and p99 of 30 requests;
//   - `zelto-server historico --verificar` over those L rows: its time, and the table's size;
//     with --servidor-anterior the rows are written under the rule before, verified by that
//     build, migrated and verified by this one;
//   - the erasure of that sheet (`titular --eliminar --excluir-ficha`) with the server serving: its time.
#include "protocol/Historico.h"
#include "protocol/Wire.h"
#include "protocol/clsAgenda.h"
#include "protocol/clsUsuario.h"
#include "protocol/modCommands.h"
#include "server/store/Banco.h"
#include "server/history/CadeiaDoHistorico.h"
#include "server/store/FichasDemo.h"
#include "server/history/Historico.h"
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

// Rows appended as a server of schema 5 did: every column straight into the hash.
bool acrescentaNaRegraAnterior(Banco& banco, QList<RegistroDoHistorico>& lote)
{
    qint64 id = 0;
    QString anterior;
    if (!banco.iniciaTransacao() || !HistoricoGravado(banco).cabeca(id, anterior))
        return false;
    for (RegistroDoHistorico& r : lote) {
        r.id = ++id;
        r.hash = CadeiaDoHistorico::eloDaRegraAnterior(anterior, r);
        anterior = r.hash;
        if (!banco.altera(QStringLiteral("INSERT INTO historico (id, quando, operador, iddepartamento, endereco, acao, numeroficha, "
                                         "alteracoes, detalhe, hash) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"),
                          {r.id, r.quandoMs, r.operador, r.idDepartamento, r.endereco, r.acao, r.numeroFicha,
                           Banco::texto(HistoricoGravado::textoDasAlteracoes(r.alteracoes)), Banco::texto(r.detalhe), r.hash})) {
            banco.desfazTransacao();
            return false;
        }
    }
    return banco.confirmaTransacao();
}

// `linhas` history rows, `daFicha` of them for sheet 42 of department 1, the others spread
// over other sheets (a third searches by name, of no sheet), appended as the server does
// (chained; by the rule before the digest when `regraAnterior`), a slice per transaction.
bool enche(const QString& conexao, qint64 linhas, int daFicha, bool regraAnterior)
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
        r.acao = i % 3 && !daQuarentaEDois ? Acao::busca() : Acao::alteracao();
        r.numeroFicha = daQuarentaEDois ? 42 : r.acao == Acao::busca() ? 0 : qint32(1000 + i % 50'000);
        if (r.acao == Acao::alteracao())
            r.alteracoes = {{QStringLiteral("nome"), QStringLiteral("Nome Antigo %1").arg(i), QStringLiteral("Nome Novo %1").arg(i)},
                            {QStringLiteral("cidade"), QStringLiteral("Recife"), QStringLiteral("Olinda")}};
        else
            r.detalhe = QStringLiteral("nome contém \"silva\"; 12 ficha(s) devolvida(s)");
        lote << r;
        if (lote.size() == 20'000 || i + 1 == linhas) {
            if (!(regraAnterior ? acrescentaNaRegraAnterior(banco, lote) : HistoricoGravado(banco).acrescenta(lote))) {
                std::fprintf(stderr, "enchendo o histórico: %s\n", qPrintable(banco.ultimoErro()));
                return false;
            }
            lote.clear();
        }
    }
    return true;
}

// zelto-server with `argumentos`, by `binario`: the seconds it took, its exit code and first words.
double cronometra(const QString& binario, const QStringList& argumentos, int& saida, QString& texto)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    QElapsedTimer t;
    t.start();
    p.start(binario, argumentos);
    p.waitForFinished(3'600'000);
    saida = p.exitCode();
    texto = QString::fromUtf8(p.readAll()).trimmed().left(160);
    return double(t.nsecsElapsed()) / 1e9;
}

// The servers of the other build start with its binary, and only they.
struct OutroBinario {
    explicit OutroBinario(const QString& binario)
    {
        if (!binario.isEmpty())
            qputenv("ZELTO_SERVIDOR_BINARIO", binario.toLocal8Bit());
    }
    ~OutroBinario() { qunsetenv("ZELTO_SERVIDOR_BINARIO"); }
};

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);   // each figure as soon as it is known, also into a file
    const QStringList args = app.arguments();
    const auto valor = [&](const char* nome, const QString& padrao) {
        const qsizetype i = args.indexOf(QString::fromLatin1(nome));
        return i >= 0 && i + 1 < args.size() ? args[i + 1] : padrao;
    };
    const QString db = valor("--db", QStringLiteral("sqlite"));
    const int conexoes = valor("--conexoes", QStringLiteral("50")).toInt();
    const int pedidos = valor("--pedidos", QStringLiteral("100")).toInt();
    const qint64 linhas = valor("--linhas", QStringLiteral("1000000")).toLongLong();
    const QString anterior = valor("--servidor-anterior", QString());
    if (qEnvironmentVariableIsEmpty("ZELTO_BINARY_DIR"))
        qputenv("ZELTO_BINARY_DIR", QCoreApplication::applicationDirPath().toUtf8() + "/../..");
    qunsetenv("ZELTO_SERVIDOR_BINARIO");
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

    // 1. Saves without the history, with the build before (if given) and with this one, alternated.
    std::unique_ptr<ServidorReal> com = novoServidor(QStringLiteral("com")), sem = novoServidor(QStringLiteral("sem"));
    std::unique_ptr<ServidorReal> antes = anterior.isEmpty() ? nullptr : novoServidor(QStringLiteral("antes"));
    if (!com || !sem || (!anterior.isEmpty() && !antes))
        return 1;
    for (ServidorReal* s : {com.get(), sem.get(), antes.get()})
        if (s)
            s->defineArgumentos(porEndereco);
    bool iniciados = com->inicia() && sem->inicia();
    if (antes) {
        OutroBinario outro(anterior);
        iniciados = iniciados && antes->inicia();
    }
    if (!iniciados) {
        std::fprintf(stderr, "servidor: %s %s %s\n", qPrintable(com->erro()), qPrintable(sem->erro()), antes ? qPrintable(antes->erro()) : "");
        return 1;
    }
    const QStringList vista = db == QLatin1String("postgresql")
        ? QStringList{QStringLiteral("DROP TABLE historico"),
                      QStringLiteral("CREATE VIEW historico AS SELECT 0::bigint AS id, 0::bigint AS quando, ''::text AS operador, 0 AS iddepartamento, "
                                     "''::text AS endereco, ''::text AS acao, 0 AS numeroficha, ''::text AS alteracoes, ''::text AS detalhe, "
                                     "''::text AS sal, ''::text AS digesto, ''::text AS hash_antigo, ''::text AS hash WHERE false"),
                      QStringLiteral("CREATE FUNCTION nada() RETURNS trigger AS $$ BEGIN RETURN NULL; END $$ LANGUAGE plpgsql"),
                      QStringLiteral("CREATE TRIGGER nada INSTEAD OF INSERT ON historico FOR EACH ROW EXECUTE FUNCTION nada()")}
        : QStringList{QStringLiteral("DROP TABLE historico"),
                      QStringLiteral("CREATE VIEW historico AS SELECT 0 AS id, 0 AS quando, '' AS operador, 0 AS iddepartamento, '' AS endereco, "
                                     "'' AS acao, 0 AS numeroficha, '' AS alteracoes, '' AS detalhe, '' AS sal, '' AS digesto, "
                                     "'' AS hash_antigo, '' AS hash WHERE 0"),
                      QStringLiteral("CREATE TRIGGER nada INSTEAD OF INSERT ON historico BEGIN SELECT 1; END")};
    if (!sem->executaNoBanco(vista)) {
        std::fprintf(stderr, "vista: %s\n", qPrintable(sem->erro()));
        return 1;
    }
    std::printf("banco %s, %d conexões x %d gravações\n", qPrintable(db), conexoes, pedidos);
    // Alternated, several rounds, each starting with the next one (the first of a round does not
    // meet the previous one's checkpoint): the machine's other work shifts them alike; the medians compare.
    const char* const nomes[] = {"sem histórico", "com histórico", "build anterior"};
    ServidorReal* const lados[] = {sem.get(), com.get(), antes.get()};
    std::vector<double> p50s[3], taxas[3];
    const int voltas = valor("--voltas", QStringLiteral("5")).toInt();
    for (int volta = 0; volta < voltas; ++volta) {
        for (int vez = 0; vez < 3; ++vez) {
            const int lado = (volta + vez) % 3;
            if (!lados[lado])
                continue;
            const auto [p50, taxa] = gravacoes(*lados[lado], conexoes, pedidos);
            p50s[lado].push_back(p50);
            taxas[lado].push_back(taxa);
            std::printf("gravações, %s (volta %d): p50 %6.2f ms  %7.0f /s\n", nomes[lado], volta + 1, p50, taxa);
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
    if (antes) {
        const double p50Antes = mediana(p50s[2]), taxaAntes = mediana(taxas[2]);
        std::printf("MEDIANAS: build anterior p50 %.2f ms %.0f /s; esta %+.1f%% no p50, %+.1f%% em /s\n", p50Antes, taxaAntes,
                    100.0 * (p50Com / p50Antes - 1), 100.0 * (taxaCom / taxaAntes - 1));
    }
    sem.reset();

    // What the chain itself costs a save, apart from the store: a row's hash by each rule.
    {
        RegistroDoHistorico r;
        r.quandoMs = QDateTime::currentMSecsSinceEpoch();
        r.operador = QStringLiteral("operador");
        r.idDepartamento = 1;
        r.endereco = QStringLiteral("127.0.0.1");
        r.acao = Acao::alteracao();
        r.numeroFicha = 42;
        r.alteracoes = {{QStringLiteral("nome"), QStringLiteral("Nome Antigo"), QStringLiteral("Nome Novo")},
                        {QStringLiteral("cidade"), QStringLiteral("Recife"), QStringLiteral("Olinda")}};
        constexpr int vezes = 200'000;
        QString elo;
        QElapsedTimer u;
        u.start();
        for (int i = 0; i < vezes; ++i)
            elo = CadeiaDoHistorico::eloDaRegraAnterior(elo, r);
        const double antesUs = double(u.nsecsElapsed()) / 1e3 / vezes;
        u.restart();
        for (int i = 0; i < vezes; ++i) {
            CadeiaDoHistorico::sela(elo, r);
            elo = r.hash;
        }
        const double agoraUs = double(u.nsecsElapsed()) / 1e3 / vezes;
        std::printf("cadeia por linha (só CPU): regra anterior %.2f µs, sal + digesto + elo %.2f µs\n", antesUs, agoraUs);
    }

    // 2. One sheet's 1,000 changes among `linhas` rows: on the build before's registry, when
    // there is one (written by its rule, verified by it, then migrated and verified by this build).
    ServidorReal& base = antes ? *antes : *com;
    base.para();
    if (antes)
        com.reset();
    QElapsedTimer t;
    t.start();
    if (!enche(base.conexaoDoBanco(), linhas, 1000, antes != nullptr))
        return 1;
    std::printf("histórico enchido: %lld linhas em %.1f s\n", static_cast<long long>(linhas), double(t.nsecsElapsed()) / 1e9);
    const QStringList verificar{QStringLiteral("historico"), QStringLiteral("--verificar"), QStringLiteral("--db"), base.conexaoDoBanco()};
    int saida = 0;
    QString texto;
    if (antes) {
        const double s = cronometra(anterior, verificar, saida, texto);
        std::printf("--verificar, build anterior: %.1f s (saída %d: %s)\n", s, saida, qPrintable(texto));
        const double m = cronometra(ServidorReal::binario(), verificar, saida, texto);
        std::printf("migração + --verificar, esta build: %.1f s (saída %d: %s)\n", m, saida, qPrintable(texto));
    }
    const double segundos = cronometra(ServidorReal::binario(), verificar, saida, texto);
    std::printf("--verificar, esta build: %.1f s (saída %d: %s)\n", segundos, saida, qPrintable(texto));
    if (!base.inicia())
        return 1;
    ClienteEmQuadros cli(base, comHistorico);
    if (!cli.enquadrado() || !cli.pedeCodificado(login(base.conta()), prazoMs).startsWith("4|"))
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

    // 3. The erasure of that sheet's 1,000 rows, the server serving.
    const double eliminacao = cronometra(ServidorReal::binario(),
                                         {QStringLiteral("titular"), QStringLiteral("--ficha"), QStringLiteral("42"), QStringLiteral("--departamento"),
                                          QStringLiteral("1"), QStringLiteral("--eliminar"), QStringLiteral("--excluir-ficha"), QStringLiteral("--db"),
                                          base.conexaoDoBanco()},
                                         saida, texto);
    std::printf("eliminação da ficha 42 com o servidor atendendo: %.1f s (saída %d: %s)\n", eliminacao, saida, qPrintable(texto));
    base.para();
    const double depois = cronometra(ServidorReal::binario(), verificar, saida, texto);
    std::printf("--verificar depois da eliminação: %.1f s (saída %d: %s)\n", depois, saida, qPrintable(texto));

    QVariant tamanho;
    QString comoMedido;
    if (db == QLatin1String("postgresql")) {
        base.executaNoBanco({QStringLiteral("SELECT pg_total_relation_size('historico')")}, &tamanho);
        comoMedido = QStringLiteral("pg_total_relation_size, com índices");
    } else if (base.executaNoBanco({QStringLiteral("SELECT SUM(pgsize) FROM dbstat WHERE name LIKE 'historico%'")}, &tamanho)) {
        comoMedido = QStringLiteral("dbstat, com índices");
    } else {
        tamanho = QFileInfo(base.caminhoDoBanco()).size();
        comoMedido = QStringLiteral("o arquivo inteiro do banco");
    }
    std::printf("tamanho do histórico: %.1f MiB (%s)\n", tamanho.toDouble() / 1048576.0, qPrintable(comoMedido));
    return saida;
}
