// zelto_bench_lista_e_gravacoes [--servidor PROGRAMA]... [--fichas N] [--listas K] [--rodadas R]
//                               [--formas simples,quadros,zstd,tls] [--gravador FORMA] [--lento] [--diario PASTA]
//
// What one big list costs the other operators: one connection lists a department of N sheets
// (100,000 by default) K times over while another connection (of the same form, or the one
// --gravador names) saves sheets of its own 1,000-sheet department one after the other,
// each save a change to one of them; printed, for each server program and each form of connection,
// the saves' p50/p99/max before the list (alone) and during it, how long each list took and
// the server's CPU time per list (the saves' small share included).
// The forms: the plain wire, frames ("quadros"), frames with packed pieces ("zstd", as our
// client asks) and all of that inside TLS ("tls").
//
// Each --servidor names a zelto-server program (default: the one built beside this tool), each
// on a SQLite database it made; they serve in turn, round after round, so drift falls on every one.
// Give main's program and this build's to see before and after side by side.
// --lento: the plain-wire lister reads 64 KiB every half millisecond, so the list pauses and
// goes on in parts. --diario PASTA keeps each server's log there (its per-request lines).
#include "protocol/Quadros.h"
#include "protocol/Wire.h"
#include "protocol/clsAgenda.h"
#include "protocol/clsFiltroBusca.h"
#include "protocol/clsUsuario.h"
#include "protocol/modCommands.h"
#include "server/store/FichasDemo.h"
#include "support/CpuDoProcesso.h"
#include "support/ServidorReal.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSslConfiguration>
#include <QSslSocket>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <map>
#include <optional>
#include <thread>
#include <vector>
#include <unistd.h>

namespace {

enum class Forma { Simples, Quadros, Zstd, Tls };

const char* nomeDa(Forma f)
{
    switch (f) {
    case Forma::Simples:
        return "simples";
    case Forma::Quadros:
        return "quadros";
    case Forma::Zstd:
        return "zstd";
    case Forma::Tls:
        return "tls";
    }
    return "?";
}

double percentil(std::vector<double> v, double p)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, size_t(p * double(v.size() - 1) + 0.5))];
}

// One blocking connection of the given form. Requests go whole; `pede` returns when the reply
// is whole (by its shape on the plain wire, by its end frame otherwise), keeping only its
// first bytes (a list is not kept: it is counted).
class Cliente {
public:
    Cliente(quint16 porta, Forma forma) : m_forma(forma)
    {
        QSslConfiguration c = m_socket.sslConfiguration();
        c.setPeerVerifyMode(QSslSocket::VerifyNone);
        m_socket.setSslConfiguration(c);
        m_socket.connectToHost(QStringLiteral("127.0.0.1"), porta);
        m_ok = m_socket.waitForConnected(10'000) && lePlano("2") == "2";
        m_socket.setSocketOption(QAbstractSocket::LowDelayOption, 1);
        if (!m_ok || forma == Forma::Simples)
            return;
        const QByteArray pedidas = forma == Forma::Quadros ? "quadros" : "quadros,zstd";
        if (forma == Forma::Tls) {
            m_socket.write("99|zelto|1|tls,quadros,zstd");
            m_ok = lePlano("tls").contains("tls");
            if (!m_ok)
                return;
            m_socket.startClientEncryption();
            m_ok = m_socket.waitForEncrypted(10'000);
            if (!m_ok)
                return;
            m_socket.write(Quadros::mensagem("99|zelto|1|" + pedidas));
            m_ok = mensagem(0, nullptr).contains("quadros");
            return;
        }
        m_socket.write("99|zelto|1|" + pedidas);
        m_ok = lePlano(pedidas.right(4)).endsWith(pedidas.right(4));
    }

    bool ok() const { return m_ok; }
    void lento() { m_lento = true; }

    // The reply's first bytes (none when it came packed); `bytes` gets its length (as it came); null on failure. `fichas`: the sheets
    // a list reply is known to hold on the plain wire (0 for any other request).
    QByteArray pede(const QByteArray& pedido, int fichas, qint64* bytes = nullptr)
    {
        if (m_forma == Forma::Simples) {
            m_socket.write(pedido);
            return plano(fichas, bytes);
        }
        m_socket.write(Quadros::mensagem(pedido));
        return mensagem(fichas, bytes);
    }

private:
    QByteArray lePlano(const QByteArray& ate)
    {
        QByteArray r;
        while (!r.contains(ate) && m_socket.waitForReadyRead(10'000))
            r += m_socket.readAll();
        return r;
    }

    // Whole on the plain wire: a failure; a login (5 pieces), a save (67) or a list of
    // `fichas` sheets (66 pieces each after the code) once the last piece is there too.
    QByteArray plano(int fichas, qint64* bytes)
    {
        QByteArray inicio;
        qint64 barras = 0, total = 0;
        QByteArray fimDoTexto;
        for (;;) {
            if (m_socket.bytesAvailable() == 0 && !m_socket.waitForReadyRead(30'000))
                return {};
            // A slow reader takes 64 KiB every half millisecond: the list then pauses and goes on in parts.
            const QByteArray b = m_lento ? m_socket.read(64 << 10) : m_socket.readAll();
            if (m_lento)
                QThread::usleep(500);
            total += b.size();
            barras += b.count('|');
            if (inicio.size() < 64)
                inicio += b.left(64 - inicio.size());
            fimDoTexto = (fimDoTexto + b).right(16);
            const bool inteira = inicio == "0" || (inicio.startsWith("4|") && barras >= 4)
                                 || (inicio.startsWith("7|") && barras >= 67)
                                 || (inicio.startsWith("13|") && barras >= 1 + 66LL * fichas && !fimDoTexto.endsWith('|'));
            if (inteira) {
                // A list's last piece may still be arriving: a short quiet closes it.
                while (inicio.startsWith("13|") && m_socket.waitForReadyRead(20)) {
                    const QByteArray resto = m_socket.readAll();
                    total += resto.size();
                }
                if (bytes)
                    *bytes = total;
                return inicio;
            }
        }
    }

    QByteArray mensagem(int, qint64* bytes)
    {
        QByteArray inicio;
        qint64 total = 0;
        bool fim = false;
        const auto dados = [&](QByteArrayView d) {
            total += d.size();
            if (inicio.size() < 64)
                inicio += d.first(std::min<qsizetype>(d.size(), 64 - inicio.size()));
        };
        const auto empacotados = [&](QByteArrayView d, bool) {
            total += d.size();
            return true;
        };
        while (!fim) {
            if (m_socket.bytesAvailable() == 0 && !m_socket.waitForReadyRead(30'000))
                return {};
            // Nothing is asked before the reply is whole: all that comes belongs to it.
            if (!m_leitor.le(m_socket.readAll(), dados, [&] { fim = true; }, empacotados))
                return {};
        }
        if (bytes)
            *bytes = total;
        return inicio.isNull() ? QByteArray("") : inicio;
    }

    QSslSocket m_socket;
    Forma m_forma;
    bool m_ok = false;
    bool m_lento = false;   // plain wire only
    Quadros::Leitor m_leitor;
};

QByteArray login(const ServidorReal::Conta& conta)
{
    clsUsuario u;
    u.usuario = conta.usuario;
    u.senha = conta.senha;
    return Wire::codifica(u.toPipeStringWithCommand(Codigo::Login));
}

QByteArray lista(const ServidorReal::Conta& conta)
{
    clsFiltroBusca f;
    f.departamento.idDepartamento = conta.idDepartamento;
    f.departamento.dsDepartamento = conta.dsDepartamento;
    return Wire::codifica(f.toPipeStringWithCommand(Codigo::Busca));
}

struct Medida {
    std::vector<double> sozinhas, durante, listas;
    double cpuDoServidor = 0;   // seconds, while it listed (the saves' share included)
    int falhas = 0;
};

// One server program, one form: saves alone, then saves while the other connection lists.
void mede(qint64 pid, quint16 porta, Forma forma, Forma formaDoGravador, const ServidorReal::Conta& quemGrava, const ServidorReal::Conta& quemLista, int fichas,
          int listas, bool lento, const QList<QByteArray>& salvamentos, Medida& m)
{
    Cliente gravador(porta, formaDoGravador);
    if (!gravador.ok() || !gravador.pede(login(quemGrava), 0).startsWith("4|")) {
        ++m.falhas;
        return;
    }
    int proxima = 0;
    const auto grava = [&](std::vector<double>& onde) {
        QElapsedTimer t;
        t.start();
        if (gravador.pede(salvamentos[proxima++ % salvamentos.size()], 0).startsWith("7|"))
            onde.push_back(double(t.nsecsElapsed()) / 1e6);
        else
            ++m.falhas;
    };
    for (int i = 0; i < 100; ++i)
        grava(m.sozinhas);
    std::atomic<bool> listando{true};
    const double cpuAntes = cpuDoProcesso(pid);
    std::thread outro([&] {
        // A socket belongs to the thread that made it: the lister's is made here.
        Cliente listador(porta, forma);
        if (lento)
            listador.lento();
        if (!listador.ok() || !listador.pede(login(quemLista), 0).startsWith("4|"))
            ++m.falhas;
        else
            for (int vez = 0; vez < listas; ++vez) {
                QElapsedTimer t;
                t.start();
                qint64 bytes = 0;
                // A packed reply starts packed: its length says it is there.
                const QByteArray inicio = listador.pede(lista(quemLista), fichas, &bytes);
                if ((inicio.startsWith("13|") || (!inicio.isNull() && inicio.isEmpty() && forma != Forma::Simples)) && bytes > fichas * 10LL)
                    m.listas.push_back(double(t.nsecsElapsed()) / 1e6);
                else
                    ++m.falhas;
            }
        listando = false;
    });
    while (listando)
        grava(m.durante);
    outro.join();
    m.cpuDoServidor += cpuDoProcesso(pid) - cpuAntes;
}

QString textoDe(const QStringList& args, const char* nome, const QString& padrao)
{
    const qsizetype i = args.indexOf(QString::fromLatin1(nome));
    return i >= 0 && i + 1 < args.size() ? args[i + 1] : padrao;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (qEnvironmentVariableIsEmpty("ZELTO_BINARY_DIR"))
        qputenv("ZELTO_BINARY_DIR", QCoreApplication::applicationDirPath().toUtf8() + "/../..");
    QStringList programas;
    for (qsizetype i = 1; i + 1 < args.size(); ++i)
        if (args[i] == QLatin1String("--servidor"))
            programas << QFileInfo(args[i + 1]).absoluteFilePath();
    if (programas.isEmpty())
        programas << ServidorReal::binario();
    const int fichas = std::max(1, textoDe(args, "--fichas", QStringLiteral("100000")).toInt());
    const int listas = std::max(1, textoDe(args, "--listas", QStringLiteral("3")).toInt());
    const int rodadas = std::max(1, textoDe(args, "--rodadas", QStringLiteral("2")).toInt());
    const QString diario = textoDe(args, "--diario", QString());
    const bool lento = args.contains(QLatin1String("--lento"));
    std::vector<Forma> formas;
    for (const QString& f : textoDe(args, "--formas", QStringLiteral("simples,quadros,zstd,tls")).split(u','))
        for (Forma x : {Forma::Simples, Forma::Quadros, Forma::Zstd, Forma::Tls})
            if (f == QLatin1String(nomeDa(x)))
                formas.push_back(x);
    const QString gravador = textoDe(args, "--gravador", QString());
    std::optional<Forma> formaDoGravador;
    for (Forma x : {Forma::Simples, Forma::Quadros, Forma::Zstd, Forma::Tls})
        if (gravador == QLatin1String(nomeDa(x)))
            formaDoGravador = x;
    if (formas.empty() || (!gravador.isEmpty() && !formaDoGravador)) {
        std::fprintf(stderr, "formas: simples, quadros, zstd, tls\n");
        return 1;
    }

    QTemporaryDir pasta;
    const QString chave = pasta.filePath(QStringLiteral("s.key")), cert = pasta.filePath(QStringLiteral("s.crt"));
    if (QProcess::execute(QStringLiteral("openssl"),
                          {QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"), QStringLiteral("ec"), QStringLiteral("-pkeyopt"),
                           QStringLiteral("ec_paramgen_curve:prime256v1"), QStringLiteral("-nodes"), QStringLiteral("-days"), QStringLiteral("2"),
                           QStringLiteral("-subj"), QStringLiteral("/CN=bench"), QStringLiteral("-keyout"), chave, QStringLiteral("-out"), cert})
        != 0) {
        std::fprintf(stderr, "openssl falhou\n");
        return 1;
    }
    std::printf("preparando: departamento 2 com %d fichas, um banco para cada servidor...\n", fichas);
    std::fflush(stdout);
    const ServidorReal::Conta secretaria;
    const ServidorReal::Conta grande{2, QStringLiteral("Grande"), QStringLiteral("grande"), QStringLiteral("grande-12")};
    constexpr int fichasDoGravador = 1000;
    // Each program on a database it made itself (an older one may not serve a newer schema).
    std::vector<std::unique_ptr<ServidorReal>> bases;
    for (const QString& programa : std::as_const(programas)) {
        bases.push_back(std::make_unique<ServidorReal>(secretaria, fichasDoGravador, ServidorReal::Banco::SQLite));
        ServidorReal& base = *bases.back();
        base.definePrograma(programa);
        if (!base.inicia() || !base.adicionaConta(grande)
            || !base.administra({QStringLiteral("gerar-fichas"), QStringLiteral("--departamento"), QStringLiteral("2"), QStringLiteral("--quantidade"),
                                 QString::number(fichas)})) {
            std::fprintf(stderr, "%s: %s\n", qPrintable(programa), qPrintable(base.erro()));
            return 1;
        }
        base.para();
    }

    QList<QByteArray> salvamentos;
    int numero = 0;
    for (clsAgenda f : FichasDemo::gera(200, 7)) {
        f.numeroFicha = (numero++ * 37) % fichasDoGravador + 1;
        f.departamento.idDepartamento = secretaria.idDepartamento;
        f.departamento.dsDepartamento = secretaria.dsDepartamento;
        salvamentos << Wire::codifica(f.toPipeStringWithCommand(Codigo::Salva));
    }

    std::map<std::pair<int, int>, Medida> medidas;   // (program, form)
    for (int r = 0; r < rodadas; ++r)
        for (int p = 0; p < programas.size(); ++p) {
            std::unique_ptr<ServidorReal> s = bases[p]->outraInstancia();
            s->definePrograma(programas[p]);
            // (A server from before TLS takes no certificate: leave "tls" out of --formas for it.)
            if (std::find(formas.cbegin(), formas.cend(), Forma::Tls) != formas.cend())
                s->defineArgumentos({QStringLiteral("--tls-certificado"), cert, QStringLiteral("--tls-chave"), chave});
            if (!s->inicia()) {
                std::fprintf(stderr, "%s: %s\n", qPrintable(programas[p]), qPrintable(s->erro()));
                return 1;
            }
            for (Forma f : formas) {
                Medida& m = medidas[{p, int(f)}];
                mede(s->pid(), s->porta(), f, formaDoGravador.value_or(f), secretaria, grande, fichas, listas, lento, salvamentos, m);
                std::printf("  rodada %d, servidor %d, %-7s: %zu gravações durante %zu listas, p99 %.2f ms\n", r + 1, p + 1, nomeDa(f),
                            m.durante.size(), m.listas.size(), percentil(m.durante, 0.99));
                std::fflush(stdout);
            }
            if (!diario.isEmpty()) {
                QFile log(QDir(diario).filePath(QStringLiteral("servidor%1-rodada%2.log").arg(p + 1).arg(r + 1)));
                if (log.open(QIODevice::WriteOnly | QIODevice::Truncate))
                    log.write(s->diario().toUtf8());
            }
            s->para();
        }

    std::printf("\nGravações de outra conexão (%s) enquanto uma lista %d fichas (%d listas por medida, %d rodadas)\n",
                formaDoGravador ? nomeDa(*formaDoGravador) : "da mesma forma", fichas, listas, rodadas);
    for (int p = 0; p < programas.size(); ++p)
        std::printf("  servidor %d: %s\n", p + 1, qPrintable(programas[p]));
    std::printf("%-9s %-7s | %-22s | %-34s | %s\n", "servidor", "forma", "sozinhas p50 / p99 ms", "durante a lista p50 / p99 / máx ms",
                "lista p50 ms  CPU do servidor por lista ms  falhas");
    bool falhou = false;
    for (Forma f : formas)
        for (int p = 0; p < programas.size(); ++p) {
            const Medida& m = medidas[{p, int(f)}];
            falhou = falhou || m.falhas > 0;
            std::printf("%-9d %-7s | %8.2f / %8.2f     | %8.2f / %8.2f / %8.2f (n %4zu) | %9.1f  %9.0f                  %d\n", p + 1,
                        nomeDa(f), percentil(m.sozinhas, 0.5), percentil(m.sozinhas, 0.99), percentil(m.durante, 0.5), percentil(m.durante, 0.99),
                        percentil(m.durante, 1.0), m.durante.size(), percentil(m.listas, 0.5),
                        m.listas.empty() ? 0.0 : m.cpuDoServidor * 1000 / double(m.listas.size()), m.falhas);
        }
    return falhou ? 2 : 0;
}
