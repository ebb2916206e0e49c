// bench_enlace: our server and our client over a slow, lossy link this program makes itself:
// two network namespaces joined by a user-space relay between two TUN devices
// (zelto_retransmissor) that delays every packet (100 ms each way: 200 ms round trips), drops
// 1 % of them and, with --paradas, stalls for 2.5 s now and then. The kernels' TCP recovers.
// The real server (10,000 sheets in department 1, or --fichas N) runs in one namespace; this program's client
// side, the client's own request cycle and connection, in the other. It prints:
//   - the round trip (a TCP connect), the yardstick;
//   - login (connect, greeting, agreement, login) p50; save and search by number p50;
//   - the whole department's list p50/p95, with and without packed replies, and the
//     packing ratio of that list (zstd level 1 by 256 KiB pieces, zlib levels for comparison);
//   - in N requests (default 1,000; every tenth a whole list), framed and on the plain wire:
//     replies handed over cut or wrong without a word, apart from failures the operator is told of.
// Needs root (namespaces, /dev/net/tun); without them it says so and stops.
//
//   - with --diario N: a desk's first copy of the department and N changes queued while
//     disconnected, sent in groups (DiarioNoEnlace.h).
//
//   bench_enlace [--atraso-ms 100] [--perda-por-mil 10] [--paradas] [--bbr|--cubic] [--vezes 20] [--pedidos 1000] [--tls] [--todas] [--fichas 10000] [--diario 0]
// (--todas: every list's time, in order, under its line.)
#include <QCryptographicHash>
#include <QSslCertificate>
#include "app/Implantacao.h"
#include "DiarioNoEnlace.h"
#include "ServidorReal.h"
#include "app/Caixas.h"
#include "app/modGlobais.h"
#include "connection/Conexao.h"
#include "connection/Requisicao.h"
#include "connection/frmLogin.h"
#include "protocol/Compressao.h"
#include "protocol/ErroDeExecucao.h"
#include "protocol/clsAgenda.h"
#include "protocol/clsFiltroBusca.h"
#include "protocol/clsUsuario.h"
#include "protocol/modCommands.h"
#include "search/ListaDeFichas.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLocale>
#include <QMap>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <sched.h>
#include <unistd.h>
#include <vector>

namespace {

const QString enderecoDoServidor = QStringLiteral("10.77.0.1");
constexpr quint16 portaDoServidor = 9998;

double p(std::vector<double> v, double q)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, size_t(q * double(v.size() - 1) + 0.5))];
}

bool roda(const QStringList& argumentos)
{
    QProcess ip;
    ip.start(QStringLiteral("ip"), argumentos);
    return ip.waitForFinished(10000) && ip.exitStatus() == QProcess::NormalExit && ip.exitCode() == 0;
}

// The two namespaces and the relay between them; all of it goes with the object.
class Enlace {
public:
    Enlace(const QString& retransmissor, const QStringList& argumentosDoRelay)
    {
        const QString sufixo = QString::number(getpid() % 100000);
        m_servidor = QStringLiteral("zelto-srv-") + sufixo;
        m_cliente = QStringLiteral("zelto-cli-") + sufixo;
        const QString tunS = QStringLiteral("zts") + sufixo, tunC = QStringLiteral("ztc") + sufixo;
        if (!roda({QStringLiteral("netns"), QStringLiteral("add"), m_servidor}) || !roda({QStringLiteral("netns"), QStringLiteral("add"), m_cliente})) {
            m_erro = QStringLiteral("não foi possível criar namespaces de rede (ip netns add)");
            return;
        }
        m_relay.setProgram(retransmissor);
        m_relay.setArguments(QStringList{tunS, tunC} + argumentosDoRelay);
        m_relay.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_relay.start();
        if (!m_relay.waitForReadyRead(5000) || !m_relay.readAll().startsWith("pronto")) {
            m_erro = QStringLiteral("o retransmissor não criou os dispositivos TUN (/dev/net/tun)");
            return;
        }
        const auto lado = [&](const QString& ns, const QString& tun, const QString& endereco) {
            return roda({QStringLiteral("link"), QStringLiteral("set"), tun, QStringLiteral("netns"), ns})
                && roda({QStringLiteral("-n"), ns, QStringLiteral("addr"), QStringLiteral("add"), endereco + QStringLiteral("/24"), QStringLiteral("dev"), tun})
                && roda({QStringLiteral("-n"), ns, QStringLiteral("link"), QStringLiteral("set"), tun, QStringLiteral("txqueuelen"), QStringLiteral("10000"), QStringLiteral("up")})
                && roda({QStringLiteral("-n"), ns, QStringLiteral("link"), QStringLiteral("set"), QStringLiteral("lo"), QStringLiteral("up")});
        };
        if (!lado(m_servidor, tunS, enderecoDoServidor) || !lado(m_cliente, tunC, QStringLiteral("10.77.0.2")))
            m_erro = QStringLiteral("não foi possível configurar os dispositivos nos namespaces");
    }
    ~Enlace()
    {
        m_relay.terminate();
        m_relay.waitForFinished(3000);
        roda({QStringLiteral("netns"), QStringLiteral("del"), m_servidor});
        roda({QStringLiteral("netns"), QStringLiteral("del"), m_cliente});
    }
    const QString& erro() const { return m_erro; }
    const QString& servidor() const { return m_servidor; }
    // This thread (the client's: its sockets, its event loop) moves to the client's side.
    bool entraNoCliente() const
    {
        const int fd = open(qPrintable(QStringLiteral("/run/netns/") + m_cliente), O_RDONLY | O_CLOEXEC);
        const bool ok = fd >= 0 && setns(fd, CLONE_NEWNET) == 0;
        if (fd >= 0)
            close(fd);
        return ok;
    }

private:
    QString m_servidor, m_cliente, m_erro;
    QProcess m_relay;
};

QString buscaPorNumero(qint32 numero, qint32 dep)
{
    clsFiltroBusca f;
    f.numeroFicha = numero;
    f.departamento.idDepartamento = dep;
    return f.toPipeStringWithCommand(Codigo::Busca);
}

double msDesde(const QElapsedTimer& t)
{
    return double(t.nsecsElapsed()) / 1e6;
}

void linha(const QString& oque, double valor, const char* unidade, const QString& nota = QString())
{
    std::printf("%-62s %10.1f %-3s %s\n", qPrintable(oque), valor, unidade, qPrintable(nota));
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    const auto valor = [&](const char* nome, int padrao) {
        const qsizetype i = args.indexOf(QLatin1String(nome));
        return i >= 0 && i + 1 < args.size() ? args[i + 1].toInt() : padrao;
    };
    const int atrasoMs = valor("--atraso-ms", 100);
    const int perdaPorMil = valor("--perda-por-mil", 10);
    const int vezes = valor("--vezes", 20);
    const int pedidos = valor("--pedidos", 1000);
    const int fichas = std::max(100, valor("--fichas", 10000));
    // "10.000": the figures are read beside the program's own, in its format.
    const QString nFichas = QLocale(QLocale::Portuguese, QLocale::Brazil).toString(fichas);
    const bool paradas = args.contains(QLatin1String("--paradas"));
    const bool tls = args.contains(QLatin1String("--tls"));
    const int diario = valor("--diario", 0);
    if (geteuid() != 0) {
        std::printf("bench_enlace: pulado: precisa de root (namespaces de rede e /dev/net/tun)\n");
        return 0;
    }
    if (qEnvironmentVariableIsEmpty("ZELTO_BINARY_DIR"))
        qputenv("ZELTO_BINARY_DIR", QCoreApplication::applicationDirPath().toUtf8() + "/../..");

    std::printf("preparando: departamento 1 com %s fichas...\n", qPrintable(nFichas));
    std::fflush(stdout);
    ServidorReal banco(fichas);
    if (!banco.inicia()) {
        std::fprintf(stderr, "servidor: %s\n", qPrintable(banco.erro()));
        return 1;
    }
    banco.para();

    QStringList relay{QString::number(atrasoMs), QString::number(perdaPorMil)};
    if (paradas)
        relay << QStringLiteral("20000") << QStringLiteral("2500");
    Enlace enlace(QCoreApplication::applicationDirPath() + QStringLiteral("/zelto_retransmissor"), relay);
    if (!enlace.erro().isEmpty()) {
        std::printf("bench_enlace: pulado: %s\n", qPrintable(enlace.erro()));
        return 0;
    }
    // --bbr: the server's side sends with BBR, which does not take random loss for congestion;
    // --cubic: with CUBIC, the usual default. Otherwise the namespace keeps the host's choice.
    for (const char* controle : {"bbr", "cubic"})
        if (args.contains(QLatin1String("--") + QLatin1String(controle))
            && !roda({QStringLiteral("netns"), QStringLiteral("exec"), enlace.servidor(), QStringLiteral("sysctl"), QStringLiteral("-qw"),
                      QStringLiteral("net.ipv4.tcp_congestion_control=") + QLatin1String(controle)}))
            std::printf("bench_enlace: --%s: o núcleo não aceitou; segue com o padrão\n", controle);
    {
        QProcess p;
        p.start(QStringLiteral("ip"), {QStringLiteral("netns"), QStringLiteral("exec"), enlace.servidor(), QStringLiteral("sysctl"),
                                      QStringLiteral("-n"), QStringLiteral("net.ipv4.tcp_congestion_control")});
        p.waitForFinished(5000);
        std::printf("controle de congestionamento do servidor: %s\n", p.readAllStandardOutput().trimmed().constData());
    }
    // --tls: the server gets a certificate made here, and the client insists on it (pinned).
    // --diario: the deployment works disconnected (the connection asks for "sincronia").
    QByteArray implantacao;
    if (diario > 0)
        implantacao += "trabalhoDesconectado=sim\n";
    QStringList argumentosTls;
    if (tls) {
        const QString chave = banco.pasta() + QStringLiteral("/enlace.key"), cert = banco.pasta() + QStringLiteral("/enlace.crt");
        const int rc = QProcess::execute(QStringLiteral("openssl"),
                                         {QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"), QStringLiteral("ec"),
                                          QStringLiteral("-pkeyopt"), QStringLiteral("ec_paramgen_curve:prime256v1"), QStringLiteral("-nodes"),
                                          QStringLiteral("-days"), QStringLiteral("2"), QStringLiteral("-subj"), QStringLiteral("/CN=zelto-enlace"),
                                          QStringLiteral("-keyout"), chave, QStringLiteral("-out"), cert});
        const QList<QSslCertificate> c = QSslCertificate::fromPath(cert);
        if (rc != 0 || c.isEmpty()) {
            std::fprintf(stderr, "bench_enlace: --tls: openssl não fez o certificado\n");
            return 1;
        }
        implantacao += "tls=exigir\ncertificado=" + c.first().digest(QCryptographicHash::Sha256).toHex() + "\n";
        argumentosTls = {QStringLiteral("--tls-certificado"), cert, QStringLiteral("--tls-chave"), chave};
        std::printf("TLS exigido pelo cliente, certificado fixado\n");
    }
    if (!implantacao.isEmpty()) {
        QFile ini(banco.pasta() + QStringLiteral("/implantacao.ini"));
        if (!ini.open(QIODevice::WriteOnly))
            return 1;
        ini.write("[Implantacao]\n" + implantacao);
        ini.close();
        const QStringList problemas = Implantacao::carrega(ini.fileName());
        if (!problemas.isEmpty()) {
            std::fprintf(stderr, "bench_enlace: implantação: %s\n", qPrintable(problemas.join(u' ')));
            return 1;
        }
    }
    QProcess servidor;
    servidor.setStandardErrorFile(banco.pasta() + QStringLiteral("/enlace.log"));
    servidor.start(QStringLiteral("ip"), QStringList{QStringLiteral("netns"), QStringLiteral("exec"), enlace.servidor(), ServidorReal::binario(),
                                          QStringLiteral("servir"), QStringLiteral("--db"), banco.conexaoDoBanco(), QStringLiteral("--listen"),
                                          enderecoDoServidor + QLatin1Char(':') + QString::number(portaDoServidor),
                                          QStringLiteral("--rajada-logins"), QStringLiteral("100000"),
                                          QStringLiteral("--logins-por-minuto"), QStringLiteral("100000"),
                                          // The plain wire's rule, as the original server has it: a connection made
                                          // again after a fault is still logged in.
                                          QStringLiteral("--sessao-por-endereco")}
                                             + argumentosTls);
    for (int i = 0; i < 150; ++i) {
        QFile log(banco.pasta() + QStringLiteral("/enlace.log"));
        if (log.open(QIODevice::ReadOnly) && log.readAll().contains("ouvindo em"))
            break;
        QThread::msleep(100);
    }
    if (!enlace.entraNoCliente()) {
        std::fprintf(stderr, "bench_enlace: não entrou no namespace do cliente\n");
        return 1;
    }

    // The round trip: a TCP connect is one.
    std::vector<double> ms;
    for (int i = 0; i < 5; ++i) {
        QTcpSocket s;
        QElapsedTimer t;
        t.start();
        s.connectToHost(enderecoDoServidor, portaDoServidor);
        if (!s.waitForConnected(10000)) {
            std::fprintf(stderr, "bench_enlace: o servidor não atende no enlace\n");
            return 1;
        }
        ms.push_back(msDesde(t));
    }
    const double rtt = p(ms, 0.5);
    std::printf("enlace: %d ms de atraso por sentido, %.1f %% de perda%s%s\n\n", atrasoMs, perdaPorMil / 10.0,
                paradas ? ", paradas de 2,5 s a cada ~20 s" : "", args.contains(QLatin1String("--bbr")) ? ", servidor com BBR" : "");
    linha("ida e volta (conexão TCP), p50", rtt, "ms", QStringLiteral("(referência)"));

    Caixas::Gravador caixas;
    QTimer timer;
    globais().timeOutSegundos = 10;
    globais().keepAliveSegundos = 0;
    frmLogin::defineServidorParaTeste(enderecoDoServidor, portaDoServidor);
    frmLogin::instancia()->Timer1->stop();
    clsUsuario u;
    u.usuario = banco.conta().usuario;
    u.senha = banco.conta().senha;
    const QString login = u.toPipeStringWithCommand(Codigo::Login);
    const auto entra = [&]() -> std::optional<clsUsuario> {
        const auto r = Requisita(nullptr, &timer, login, {Codigo::LoginAceito});
        if (!r)
            return std::nullopt;
        clsUsuario logado;
        logado.fromPipeStringWithCommand(r->texto);
        globais().usuarioLogado = logado;
        return logado;
    };
    const auto reconecta = [&] { conexaoDoPrograma().encerra(); };

    // Login: connect, the server's "2", the agreement, the login.
    ms.clear();
    std::optional<clsUsuario> logado;
    for (int i = 0; i < 10; ++i) {
        reconecta();
        QElapsedTimer t;
        t.start();
        logado = entra();
        if (!logado) {
            for (const auto& c : caixas.caixas())
                std::fprintf(stderr, "bench_enlace: login recusado: %s: %s\n", qPrintable(c.titulo), qPrintable(c.texto));
            return 2;
        }
        ms.push_back(msDesde(t));
    }
    linha("login (conectar, \"2\", combinar, login), p50", p(ms, 0.5), "ms", QStringLiteral("= %1 idas e voltas").arg(p(ms, 0.5) / rtt, 0, 'f', 1));
    const qint32 dep = logado->departamento.idDepartamento;

    clsAgenda ficha;
    ficha.numeroFicha = 5;
    ficha.nome = QStringLiteral("Maria da Conceição");
    ficha.departamento = logado->departamento;
    const QString salvar = ficha.toPipeStringWithCommand(Codigo::Salva);
    ms.clear();
    for (int i = 0; i < 30; ++i) {
        QElapsedTimer t;
        t.start();
        if (!Requisita(nullptr, &timer, salvar, {Codigo::Salvo}))
            return 2;
        ms.push_back(msDesde(t));
    }
    linha("gravação (6 -> 7), p50", p(ms, 0.5), "ms", QStringLiteral("= %1 idas e voltas").arg(p(ms, 0.5) / rtt, 0, 'f', 2));
    ms.clear();
    for (int i = 0; i < 30; ++i) {
        QElapsedTimer t;
        t.start();
        if (!Requisita(nullptr, &timer, buscaPorNumero(1 + (i * 37) % fichas, dep), {Codigo::Encontrados}))
            return 2;
        ms.push_back(msDesde(t));
    }
    linha("busca por número, p50", p(ms, 0.5), "ms", QStringLiteral("= %1 idas e voltas").arg(p(ms, 0.5) / rtt, 0, 'f', 2));

    // The whole department, packed and not.
    const QString lista = buscaPorNumero(0, dep);
    QByteArray referencia;
    for (const bool empacotar : {true, false}) {
        Conexao::definePedidos(true, empacotar);
        reconecta();
        ms.clear();
        // The first screen: the search window lists a sheet once its end has come; a screen
        // holds about thirty.
        std::vector<double> primeiraTela;
        for (int i = 0; i < vezes; ++i) {
            QElapsedTimer t;
            t.start();
            ListaDeFichas chegando;
            double tela = -1;
            const auto r = RequisitaEmBytes(nullptr, &timer, lista, {Codigo::Encontrados}, [&](QByteArrayView ateAgora) {
                if (tela < 0 && !ateAgora.isEmpty() && chegando.acompanha(ateAgora) && chegando.size() >= 30)
                    tela = msDesde(t);
            });
            if (!r || r->bytes.count("@@@") != fichas - 1)
                return 3;
            ms.push_back(msDesde(t));
            primeiraTela.push_back(tela < 0 ? ms.back() : tela);
            referencia = r->bytes;
        }
        linha(QStringLiteral("lista de %1 fichas, %2: primeira tela (30 fichas), p50")
                  .arg(nFichas, empacotar ? QStringLiteral("empacotada") : QStringLiteral("sem empacotar")),
              p(primeiraTela, 0.5), "ms", QStringLiteral("p95 %1 ms").arg(p(primeiraTela, 0.95), 0, 'f', 0));
        // The server's own time for those lists (its log: request in -> last byte handed to the socket).
        std::vector<double> doServidor;
        QFile log(banco.pasta() + QStringLiteral("/enlace.log"));
        static const QRegularExpression tempo(QStringLiteral(" pedido 12 -> 13 .*\\(([0-9.]+) ms\\)"));
        if (log.open(QIODevice::ReadOnly))
            for (const QByteArray& l : log.readAll().split('\n'))
                if (const auto m = tempo.match(QString::fromUtf8(l)); m.hasMatch())
                    doServidor.push_back(m.captured(1).toDouble());
        if (doServidor.size() > size_t(vezes))
            doServidor.erase(doServidor.begin(), doServidor.end() - vezes);
        const QString nota = QStringLiteral("p95 %1 ms; %2 idas e voltas; servidor p50 %3 ms")
                                 .arg(p(ms, 0.95), 0, 'f', 0).arg(p(ms, 0.5) / rtt, 0, 'f', 1).arg(p(doServidor, 0.5), 0, 'f', 0);
        linha(QStringLiteral("lista de %1 fichas, %2, p50")
                  .arg(nFichas, empacotar ? QStringLiteral("empacotada (zstd)") : QStringLiteral("sem empacotar")),
              p(ms, 0.5), "ms", nota);
        if (args.contains(QLatin1String("--todas"))) {
            std::sort(ms.begin(), ms.end());
            for (double v : ms)
                std::printf(" %.0f", v);
            std::printf("\n");
        }
    }
    Conexao::definePedidos(true, true);

    // What packing that list gives, as the server packs it (by pieces), and zlib beside it.
    {
        const qsizetype pedaco = 256 << 10;
        qsizetype zstd = 0;
        QElapsedTimer t;
        t.start();
        for (qsizetype i = 0; i < referencia.size(); i += pedaco)
            zstd += Compressao::quadro(QByteArrayView(referencia).sliced(i, std::min(pedaco, referencia.size() - i))).size();
        const double msZstd = msDesde(t);
        std::printf("\nlista de %s fichas: %.2f MB\n", qPrintable(nFichas), double(referencia.size()) / 1e6);
        linha("  zstd nível 1 por pedaços de 256 KiB: razão", double(referencia.size()) / double(zstd), "x",
              QStringLiteral("%1 MB, %2 ms para empacotar").arg(double(zstd) / 1e6, 0, 'f', 2).arg(msZstd, 0, 'f', 0));
        for (const int nivel : {1, 6}) {
            qsizetype zlib = 0;
            t.start();
            for (qsizetype i = 0; i < referencia.size(); i += pedaco)
                zlib += qCompress(QByteArrayView(referencia).sliced(i, std::min(pedaco, referencia.size() - i)).toByteArray(), nivel).size();
            const double msZlib = msDesde(t);
            linha(nivel == 1 ? "  zlib (qCompress) nível 1, mesmos pedaços: razão" : "  zlib (qCompress) nível 6, mesmos pedaços: razão",
                  double(referencia.size()) / double(zlib), "x", QStringLiteral("%1 MB, %2 ms para empacotar").arg(double(zlib) / 1e6, 0, 'f', 2).arg(msZlib, 0, 'f', 0));
        }
        std::printf("\n");
    }

    if (diario > 0) {
        Conexao::definePedidos(true, true);
        reconecta();
        logado = entra();
        if (!logado || !medeODiario(*logado, u.senha, timer, diario, rtt))
            return 2;
    }

    // Many requests, every tenth a whole list: each reply must be whole and the right one.
    for (const bool enquadrado : {true, false}) {
        if (tls && !enquadrado)
            continue;   // the client insists on TLS: no plain wire
        Conexao::definePedidos(enquadrado, enquadrado);
        reconecta();
        if (!enquadrado && !entra())
            return 2;
        caixas.limpa();
        // Silent: a reply handed over that is not the one asked for (a list cut short, another
        // request's reply). Reported: the operator saw a box (a code that could not be read is
        // "Erro no Aplicativo" in the windows), and the next request must be in step again.
        int cortadas = 0, trocadas = 0, ilegiveis = 0, ilegiveisAbertas = 0, semResposta = 0;
        QStringList fichasDasCortadas;
        QElapsedTimer t;
        t.start();
        for (int i = 0; i < pedidos; ++i) {
            const qint32 numero = 1 + (i * 37) % fichas;
            const bool inteira = i % 10 == 0;
            std::optional<RespostaDoServidor> r;
            try {
                r = RequisitaEmBytes(nullptr, &timer, inteira ? lista : buscaPorNumero(numero, dep), {Codigo::Encontrados});
            } catch (const ErroDeExecucao&) {
                ++ilegiveis;
                if (conexaoDoPrograma().conectada())
                    ++ilegiveisAbertas;   // reading on out of step
                continue;
            }
            if (!r) {
                ++semResposta;
            } else if (inteira ? r->bytes != referencia
                               : !r->bytes.startsWith("13|" + QByteArray::number(numero) + '|') || r->bytes.contains("@@@")) {
                if (inteira && referencia.startsWith(r->bytes)) {
                    ++cortadas;
                    fichasDasCortadas << QString::number(r->bytes.count("@@@") + 1);
                } else {
                    ++trocadas;
                }
            }
        }
        QMap<QString, int> titulos;
        for (const auto& c : caixas.caixas())
            ++titulos[c.titulo];
        QStringList quais;
        for (auto it = titulos.cbegin(); it != titulos.cend(); ++it)
            quais << QStringLiteral("%1 \"%2\"").arg(it.value()).arg(it.key());
        linha(enquadrado ? "pedidos enquadrados (1 em 10 a lista inteira)" : "pedidos no fio simples (1 em 10 a lista inteira)", pedidos, "",
              QStringLiteral("-> %1 cortadas e %2 trocadas em silêncio; relatadas: %3 sem resposta, %4 código ilegível "
                             "(%5 com a conexão ainda aberta) (caixas: %6); %7 s")
                  .arg(cortadas).arg(trocadas).arg(semResposta).arg(ilegiveis).arg(ilegiveisAbertas)
                  .arg(quais.isEmpty() ? QStringLiteral("nenhuma") : quais.join(QStringLiteral(", ")))
                  .arg(msDesde(t) / 1000, 0, 'f', 0));
        if (!fichasDasCortadas.isEmpty())
            std::printf("  fichas nas listas cortadas: %s\n", qPrintable(fichasDasCortadas.join(QStringLiteral(", "))));
    }
    Conexao::definePedidos(true, true);
    reconecta();
    servidor.terminate();
    servidor.waitForFinished(5000);
    return 0;
}
