// Watching a running server: the metrics a monitoring system scrapes, the health command,
// the slow-request line, and systemd's notify protocol with its watchdog.
#include "ClienteDoServidor.h"
#include "protocol/Wire.h"
#include "support/ClienteEmQuadros.h"
#include "support/ClusterPostgres.h"
#include "support/Pedidos.h"
#include "support/ServidorReal.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

// An account whose every name would stand out in a scrape.
ServidorReal::Conta contaMarcada()
{
    ServidorReal::Conta c;
    c.usuario = QStringLiteral("marcadaoperadora");
    c.dsDepartamento = QStringLiteral("Departamento Marcado");
    return c;
}

struct Http {
    int status = 0;
    QByteArray corpo;
};

// One HTTP/1.1 request; the body read to its Content-Length.
Http http(quint16 porta, const QByteArray& metodo, const QByteArray& caminho)
{
    QTcpSocket s;
    s.connectToHost(QStringLiteral("127.0.0.1"), porta);
    if (!s.waitForConnected(5000))
        return {};
    s.write(metodo + ' ' + caminho + " HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: 0\r\n\r\n");
    QByteArray r;
    QDeadlineTimer prazo(10'000);
    while (!prazo.hasExpired()) {
        const qsizetype fim = r.indexOf("\r\n\r\n");
        if (fim >= 0) {
            static const QRegularExpression tamanho(QStringLiteral("(?i)content-length:\\s*(\\d+)"));
            const auto m = tamanho.match(QString::fromLatin1(r.left(fim)));
            if (m.hasMatch() && r.size() - fim - 4 >= m.captured(1).toLongLong())
                return {r.mid(9, 3).toInt(), r.mid(fim + 4)};
        }
        if (!s.waitForReadyRead(int(std::max<qint64>(1, prazo.remainingTime()))) && s.state() != QAbstractSocket::ConnectedState)
            break;
        r += s.readAll();
    }
    return {};
}

// The value of one series ("name" or "name{labels}") in an exposition; -1 when absent.
double valor(const QByteArray& exposicao, const QByteArray& serie)
{
    for (const QByteArray& linha : exposicao.split('\n'))
        if (linha.startsWith(serie + ' '))
            return linha.mid(serie.size() + 1).toDouble();
    return -1;
}

// The port "métricas em http://127.0.0.1:N/metrics" names in the log.
quint16 portaDasMetricas(const ServidorReal& s)
{
    static const QRegularExpression linha(QStringLiteral("métricas em http://127\\.0\\.0\\.1:(\\d+)/metrics"));
    for (QDeadlineTimer prazo(5000); !prazo.hasExpired(); QTest::qWait(20))
        if (const auto m = linha.match(s.diario()); m.hasMatch())
            return quint16(m.captured(1).toUInt());
    return 0;
}

struct Saida {
    int codigo = -1;
    QString linha;
};

Saida perguntaSaude(const QStringList& argumentos)
{
    QProcess p;
    p.start(ServidorReal::binario(), QStringList{QStringLiteral("saude")} + argumentos);
    if (!p.waitForFinished(30'000) || p.exitStatus() != QProcess::NormalExit)
        return {};
    return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput())};
}

QStringList em(const ServidorReal& s)
{
    return {QStringLiteral("--listen"), QStringLiteral("127.0.0.1:%1").arg(s.porta())};
}

// A port nobody listens on.
quint16 portaLivre()
{
    QTcpServer t;
    t.listen(QHostAddress::LocalHost, 0);
    return t.serverPort();
}

// The datagrams a notify socket of the test's own receives, each with when it came.
class SoqueteDeAvisos {
public:
    explicit SoqueteDeAvisos(const QString& caminho) : m_caminho(caminho)
    {
        m_fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_un a{};
        a.sun_family = AF_UNIX;
        const QByteArray c = QFile::encodeName(caminho);
        qstrncpy(a.sun_path, c.constData(), sizeof a.sun_path);
        m_ok = m_fd >= 0 && ::bind(m_fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
        m_relogio.start();
    }
    ~SoqueteDeAvisos()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    bool ok() const { return m_ok; }
    // Reads for `ms`; each datagram's text with its arrival in ms since this object was made.
    QList<std::pair<qint64, QByteArray>> ouve(int ms)
    {
        QList<std::pair<qint64, QByteArray>> vistos;
        for (QDeadlineTimer prazo(ms); !prazo.hasExpired();) {
            pollfd p{m_fd, POLLIN, 0};
            if (::poll(&p, 1, int(std::max<qint64>(1, prazo.remainingTime()))) <= 0)
                continue;
            char b[256];
            const ssize_t n = ::recv(m_fd, b, sizeof b, 0);
            if (n > 0)
                vistos.append({m_relogio.elapsed(), QByteArray(b, int(n)).trimmed()});
        }
        return vistos;
    }
    qint64 agora() const { return m_relogio.elapsed(); }

private:
    QString m_caminho;
    int m_fd = -1;
    bool m_ok = false;
    QElapsedTimer m_relogio;
};

} // namespace

class TestObservacao : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void metricasPassamNoPromtoolEAndamComOsPedidos();
    void nenhumRotuloTemValorPessoal();
    void cabecaAdulteradaNaoEVerificada();
    void outrosCaminhosDao404_data();
    void outrosCaminhosDao404();
    void enderecoDasMetricasOcupadoParaOInicio();
    void pedidoLentoNumaLinha();
    void saude_data();
    void saude();
    void saudeNaoDizMaisNada();
    void saudeComOBancoParado();
    void avisosAoSystemd();

private:
    QByteArray raspa() { return http(m_portaDasMetricas, "GET", "/metrics").corpo; }

    std::unique_ptr<ServidorReal> m_servidor;
    quint16 m_portaDasMetricas = 0;
    QTcpServer m_muda;
    QTemporaryDir m_pasta;
};

void TestObservacao::initTestCase()
{
    m_servidor = std::make_unique<ServidorReal>(contaMarcada(), 30);
    m_servidor->defineArgumentos({QStringLiteral("--metricas"), QStringLiteral("127.0.0.1:0")});
    QVERIFY2(m_servidor->inicia(), qPrintable(m_servidor->erro()));
    m_portaDasMetricas = portaDasMetricas(*m_servidor);
    QVERIFY2(m_portaDasMetricas != 0, qPrintable(m_servidor->diario()));
    QVERIFY(m_muda.listen(QHostAddress::LocalHost, 0));
}

void TestObservacao::metricasPassamNoPromtoolEAndamComOsPedidos()
{
    const QByteArray antes = raspa();
    QVERIFY(antes.contains("# TYPE zelto_pedido_duracao_seconds histogram"));
    const QByteArray buscas = "zelto_pedido_duracao_seconds_count{tipo=\"busca\"}";
    const QByteArray aceitos = "zelto_pedidos_total{tipo=\"login\",resposta=\"4\"}";
    const QByteArray negados = "zelto_pedidos_total{tipo=\"login\",resposta=\"5\"}";
    {
        ClienteEmQuadros c(*m_servidor, {QStringLiteral("quadros")});
        QVERIFY(c.enquadrado());
        QVERIFY(c.pede(pedidoDeLogin(QStringLiteral("marcadaoperadora"), QStringLiteral("errada123"))).startsWith("5"));
        QVERIFY(c.entra(m_servidor->conta()));
        for (int i = 0; i < 3; ++i)
            QVERIFY(c.pede(busca(0)).startsWith("13|"));
        // Counted as the loop samples (every second), while the connection is open.
        QTRY_VERIFY_WITH_TIMEOUT(valor(raspa(), "zelto_conexoes_abertas") >= 1, 5000);
        QTRY_VERIFY_WITH_TIMEOUT(valor(raspa(), "zelto_sessoes_vivas") >= 1, 10'000);
    }
    const QByteArray depois = raspa();
    QCOMPARE(valor(depois, buscas) - std::max(0.0, valor(antes, buscas)), 3.0);
    QCOMPARE(valor(depois, aceitos) - std::max(0.0, valor(antes, aceitos)), 1.0);
    QCOMPARE(valor(depois, negados) - std::max(0.0, valor(antes, negados)), 1.0);
    QVERIFY(valor(depois, "zelto_logins_recusados_total") >= 1);
    // A list of 30 sheets went out, and three searches came in.
    QVERIFY(valor(depois, "zelto_enviados_bytes_total") - valor(antes, "zelto_enviados_bytes_total") > 3 * 30 * 20);
    QVERIFY(valor(depois, "zelto_recebidos_bytes_total") > valor(antes, "zelto_recebidos_bytes_total"));
    QVERIFY(valor(depois, "zelto_pedido_duracao_seconds_sum{tipo=\"busca\"}") > 0);
    QTRY_COMPARE_WITH_TIMEOUT(valor(raspa(), "zelto_banco_no_ar"), 1.0, 10'000);
    QTRY_VERIFY_WITH_TIMEOUT(valor(raspa(), "zelto_historico_linhas") >= 2, 10'000);   // the two logins at least
    QTRY_VERIFY_WITH_TIMEOUT(valor(raspa(), "zelto_historico_verificado_timestamp_seconds") > 1.7e9, 10'000);

    const QString promtool = QStandardPaths::findExecutable(QStringLiteral("promtool"));
    if (promtool.isEmpty())
        QSKIP("promtool não instalado (pacote prometheus; scripts/setup.sh o instala)");
    QProcess p;
    p.start(promtool, {QStringLiteral("check"), QStringLiteral("metrics")});
    p.write(depois);
    p.closeWriteChannel();
    QVERIFY(p.waitForFinished(30'000));
    QVERIFY2(p.exitCode() == 0, qPrintable(QString::fromUtf8(p.readAllStandardOutput() + p.readAllStandardError())));
    // The sample alert file and scrape configuration shipped in packaging/ are valid too.
    const QString pasta = qEnvironmentVariable("ZELTO_SOURCE_DIR") + QStringLiteral("/packaging/servidor/");
    QCOMPARE(QProcess::execute(promtool, {QStringLiteral("check"), QStringLiteral("rules"), pasta + QStringLiteral("alertas-zelto.yml")}), 0);
    QFile modelo(pasta + QStringLiteral("prometheus-zelto.yml"));
    QVERIFY(modelo.open(QIODevice::ReadOnly));
    QFile copia(m_pasta.filePath(QStringLiteral("prometheus.yml")));
    QVERIFY(copia.open(QIODevice::WriteOnly));
    copia.write(modelo.readAll().replace("/usr/share/doc/zelto-server/", pasta.toUtf8()));
    copia.close();
    QCOMPARE(QProcess::execute(promtool, {QStringLiteral("check"), QStringLiteral("config"), copia.fileName()}), 0);
}

void TestObservacao::nenhumRotuloTemValorPessoal()
{
    {
        ClienteEmQuadros c(*m_servidor, {QStringLiteral("quadros")});
        QVERIFY(c.entra(m_servidor->conta()));
        QVERIFY(c.pede(busca(7)).startsWith("13|"));
    }
    const QByteArray exposicao = raspa();
    // Every label is a kind, a reply code, a bucket's bound or the version: nothing else.
    const QSet<QString> tipos{"login", "salva", "inclui", "exclui", "busca", "historico", "mudancas", "mudanca_na_fila", "grupo_de_mudancas", "invalido", "outro"};
    const QSet<QString> respostas{"0", "4", "5", "7", "9", "11", "13", "14", "16", "18", "20", "22", "cortada", "outra"};
    static const QRegularExpression rotulo(QStringLiteral("(\\w+)=\"([^\"]*)\""));
    int vistos = 0;
    for (const QByteArray& linha : exposicao.split('\n')) {
        if (linha.startsWith('#') || !linha.contains('{'))
            continue;
        const QString rotulos = QString::fromUtf8(linha.mid(linha.indexOf('{'), linha.indexOf('}') - linha.indexOf('{')));
        for (auto it = rotulo.globalMatch(rotulos); it.hasNext();) {
            const auto m = it.next();
            const QString nome = m.captured(1), v = m.captured(2);
            ++vistos;
            bool numero = false;
            v.toDouble(&numero);
            const bool permitido = (nome == "tipo" && tipos.contains(v)) || (nome == "resposta" && respostas.contains(v))
                || (nome == "le" && (numero || v == "+Inf")) || (nome == "versao" && QRegularExpression("^[0-9.]+$").match(v).hasMatch());
            QVERIFY2(permitido, linha.constData());
        }
    }
    QVERIFY(vistos > 20);
    for (const char* pessoal : {"marcadaoperadora", "Departamento Marcado", "127.0.0.1"})
        QVERIFY2(!exposicao.contains(pessoal), pessoal);
}

void TestObservacao::cabecaAdulteradaNaoEVerificada()
{
    // The head edited by hand while the server was down: the link no longer holds.
    ServidorReal s;
    QVERIFY2(s.inicia(), qPrintable(s.erro()));
    {
        ClienteEmQuadros c(s, {QStringLiteral("quadros")});
        QVERIFY(c.entra(s.conta()));
    }
    QTRY_VERIFY(s.diario().contains(QStringLiteral("login de 'operador' aceito")));
    s.para();
    QVariant cabeca;
    QVERIFY(s.executaNoBanco({QStringLiteral("SELECT MAX(id) FROM historico")}, &cabeca));
    QVERIFY(s.executaNoBanco({QStringLiteral("UPDATE historico SET detalhe = 'adulterada' WHERE id = %1").arg(cabeca.toLongLong())}));
    s.defineArgumentos({QStringLiteral("--metricas"), QStringLiteral("127.0.0.1:0")});
    QVERIFY2(s.inicia(), qPrintable(s.erro()));
    const QString quebra = QStringLiteral("histórico: a linha %1 não segue a cadeia").arg(cabeca.toLongLong());
    QTRY_VERIFY_WITH_TIMEOUT(s.diario().contains(quebra), 10'000);
    const quint16 porta = portaDasMetricas(s);
    QVERIFY(valor(http(porta, "GET", "/metrics").corpo, "zelto_historico_linhas") >= 1);
    QCOMPARE(valor(http(porta, "GET", "/metrics").corpo, "zelto_historico_verificado_timestamp_seconds"), -1.0);
    QTest::qWait(5500);   // the next pass finds it again, and says nothing more
    QCOMPARE(s.diario().count(quebra), 1);
}

void TestObservacao::outrosCaminhosDao404_data()
{
    QTest::addColumn<QByteArray>("metodo");
    QTest::addColumn<QByteArray>("caminho");
    QTest::addColumn<int>("status");
    QTest::newRow("as métricas") << QByteArray("GET") << QByteArray("/metrics") << 200;
    QTest::newRow("a raiz") << QByteArray("GET") << QByteArray("/") << 404;
    QTest::newRow("outro caminho") << QByteArray("GET") << QByteArray("/metrics/x") << 404;
    QTest::newRow("um arquivo") << QByteArray("GET") << QByteArray("/../etc/passwd") << 404;
    QTest::newRow("POST") << QByteArray("POST") << QByteArray("/metrics") << 404;
}

void TestObservacao::outrosCaminhosDao404()
{
    QFETCH(QByteArray, metodo);
    QFETCH(QByteArray, caminho);
    QFETCH(int, status);
    const Http r = http(m_portaDasMetricas, metodo, caminho);
    QCOMPARE(r.status, status);
    QCOMPARE(r.corpo.contains("zelto_pedidos_total"), status == 200);
}

void TestObservacao::enderecoDasMetricasOcupadoParaOInicio()
{
    QTcpServer ocupante;
    QVERIFY(ocupante.listen(QHostAddress::LocalHost, 0));
    ServidorReal s;
    s.defineArgumentos({QStringLiteral("--metricas"), QStringLiteral("127.0.0.1:%1").arg(ocupante.serverPort())});
    QVERIFY(!s.inicia());
    QVERIFY2(s.diario().contains(QStringLiteral("não foi possível servir as métricas em 127.0.0.1:%1").arg(ocupante.serverPort())),
             qPrintable(s.diario()));
    QVERIFY(!s.diario().contains(QStringLiteral("ouvindo em")));   // the registry was never offered
    s.defineArgumentos({QStringLiteral("--metricas"), QStringLiteral("nao-e-endereco:1")});
    QVERIFY(!s.inicia());
    QVERIFY(s.diario().contains(QStringLiteral("endereço inválido em --metricas")));
}

void TestObservacao::pedidoLentoNumaLinha()
{
    ServidorReal s(contaMarcada(), 3000);
    s.defineArgumentos({QStringLiteral("--lento-ms"), QStringLiteral("1")});
    QVERIFY2(s.inicia(), qPrintable(s.erro()));
    ClienteEmQuadros c(s, {QStringLiteral("quadros")});
    QVERIFY(c.entra(s.conta()));
    const QByteArray lista = c.pede(busca(0), 30'000);
    QVERIFY(lista.startsWith("13|"));
    const QString porta = QString::number(c.socket().localPort());
    static const QRegularExpression lento(QStringLiteral("pedido lento: busca, departamento 1, [0-9.]+ ms, 3000 linha\\(s\\), conexão 127\\.0\\.0\\.1:(\\d+)\\n"));
    QTRY_VERIFY2_WITH_TIMEOUT(lento.match(s.diario()).hasMatch(), qPrintable(s.diario().right(600)), 5000);
    QCOMPARE(lento.match(s.diario()).captured(1), porta);
    // No value of the request: not the operator, not the department's name, not a sheet's name.
    const QString nome = QString::fromUtf8(lista.split('|').value(2));
    QVERIFY(!nome.isEmpty());
    for (const QString& linha : s.diario().split(u'\n'))
        if (linha.contains(QStringLiteral("pedido lento")))
            for (const QString& pessoal : {QStringLiteral("marcadaoperadora"), QStringLiteral("Departamento Marcado"), nome})
                QVERIFY2(!linha.contains(pessoal), qPrintable(linha));
    // The shared server keeps the default (500 ms): its fast requests leave no such line.
    QVERIFY(!m_servidor->diario().contains(QStringLiteral("pedido lento")));
}

void TestObservacao::saude_data()
{
    QTest::addColumn<QStringList>("argumentos");
    QTest::addColumn<int>("codigo");
    QTest::addColumn<QString>("linha");
    QTest::newRow("atende") << QStringList{} << 0 << QStringLiteral("127.0.0.1:%1 - atendendo\n");
    QTest::newRow("atende, dentro do TLS") << QStringList{"--tls"} << 0 << QStringLiteral("127.0.0.1:%1 - atendendo\n");
    QTest::newRow("TLS com o certificado dele") << QStringList{"--tls", "--tls-certificado", "A"} << 0
                                                << QStringLiteral("127.0.0.1:%1 - atendendo\n");
    QTest::newRow("TLS com outro certificado") << QStringList{"--tls", "--tls-certificado", "B"} << 1
                                               << QStringLiteral("127.0.0.1:%1 - responde com outro certificado, não o de --tls-certificado\n");
    QTest::newRow("TLS pedido a quem não oferece") << QStringList{"--listen", "semtls", "--tls"} << 1
                                                   << QStringLiteral("127.0.0.1:%1 - responde, mas não oferece TLS\n");
    QTest::newRow("ninguém na porta") << QStringList{"--listen", "livre"} << 2 << QStringLiteral("127.0.0.1:%1 - sem resposta: conexão recusada\n");
    QTest::newRow("porta que não responde") << QStringList{"--listen", "muda", "--prazo-s", "0.5"} << 2
                                            << QStringLiteral("127.0.0.1:%1 - sem resposta em 0.5 s\n");
    QTest::newRow("sem porta") << QStringList{"--listen", "127.0.0.1"} << 3
                               << QStringLiteral("argumentos inválidos: --listen espera ENDEREÇO:PORTA, recebeu \"127.0.0.1\"\n");
    QTest::newRow("prazo fora da faixa") << QStringList{"--prazo-s", "0"} << 3
                                         << QStringLiteral("argumentos inválidos: --prazo-s espera um número de 0,1 a 60 (use ponto para frações)\n");
    QTest::newRow("opção desconhecida") << QStringList{"--qualquer", "1"} << 3
                                        << QStringLiteral("argumentos inválidos: opção desconhecida --qualquer\n");
    QTest::newRow("certificado sem --tls") << QStringList{"--tls-certificado", "A"} << 3
                                           << QStringLiteral("argumentos inválidos: --tls-certificado só vale com --tls\n");
}

void TestObservacao::saude()
{
    QFETCH(QStringList, argumentos);
    QFETCH(int, codigo);
    QFETCH(QString, linha);
    // A server offering TLS with certificate A (B is another one).
    static std::unique_ptr<ServidorReal> comTls;
    if (!comTls) {
        for (const char* nome : {"A", "B"})
            QCOMPARE(QProcess::execute(QStringLiteral("openssl"),
                                       {"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes", "-days", "2",
                                        "-subj", QStringLiteral("/CN=") + nome, "-keyout", m_pasta.filePath(nome + QStringLiteral(".key")),
                                        "-out", m_pasta.filePath(nome + QStringLiteral(".crt"))}),
                     0);
        comTls = std::make_unique<ServidorReal>();
        comTls->defineArgumentos({"--tls-certificado", m_pasta.filePath("A.crt"), "--tls-chave", m_pasta.filePath("A.key")});
        QVERIFY2(comTls->inicia(), qPrintable(comTls->erro()));
    }
    quint16 porta = comTls->porta();
    QStringList linhaDeComando = em(*comTls);
    for (qsizetype i = 0; i < argumentos.size(); ++i) {
        if (argumentos[i] == "--listen" && argumentos[i + 1] != "127.0.0.1") {
            // Nobody on the port, or a listener that accepts and never says a word.
            porta = argumentos[i + 1] == "livre" ? portaLivre() : argumentos[i + 1] == "semtls" ? m_servidor->porta() : m_muda.serverPort();
            linhaDeComando = QStringList{"--listen", QStringLiteral("127.0.0.1:%1").arg(porta)};
            ++i;
        } else if (argumentos[i] == "--tls-certificado") {
            linhaDeComando << argumentos[i] << m_pasta.filePath(argumentos[i + 1] + QStringLiteral(".crt"));
            ++i;
        } else {
            linhaDeComando << argumentos[i];
        }
    }
    const Saida s = perguntaSaude(linhaDeComando);
    QCOMPARE(s.linha, linha.contains(QStringLiteral("%1")) ? linha.arg(porta) : linha);
    QCOMPARE(s.codigo, codigo);
}

void TestObservacao::saudeNaoDizMaisNada()
{
    // The answer on the wire is the state and nothing else, and the connection stays without a login.
    Cliente c(*m_servidor);
    QVERIFY(c.conectado());
    QCOMPARE(c.combina(QStringLiteral("saude")), QByteArray("99|zelto|1|saude=serve"));
    QCOMPARE(c.pede(busca(1)), QByteArray("0"));
    QVERIFY(m_servidor->diario().contains(QStringLiteral(" saúde: serve")));
}

void TestObservacao::saudeComOBancoParado()
{
    ClusterPostgres* pg = ClusterPostgres::compartilhado();
    QVERIFY2(pg, qPrintable(ClusterPostgres::erroGlobal()));
    ServidorReal s(ServidorReal::Conta(), 0, ServidorReal::Banco::PostgreSQL);
    QVERIFY2(s.inicia(), qPrintable(s.erro()));
    QCOMPARE(perguntaSaude(em(s)).codigo, 0);
    // A host that takes no writes (a standby, or one set read-only) answers but does not serve.
    QVERIFY2(pg->executa("postgres", {"ALTER SYSTEM SET default_transaction_read_only = on", "SELECT pg_reload_conf()"}), qPrintable(pg->erro()));
    QTRY_COMPARE_WITH_TIMEOUT(perguntaSaude(em(s)).linha,
                              QStringLiteral("127.0.0.1:%1 - responde, mas não atende: o banco só aceita leitura\n").arg(s.porta()), 10'000);
    QCOMPARE(perguntaSaude(em(s)).codigo, 1);
    QVERIFY2(pg->executa("postgres", {"SET default_transaction_read_only = off", "ALTER SYSTEM RESET default_transaction_read_only",
                                      "SELECT pg_reload_conf()"}),
             qPrintable(pg->erro()));
    QTRY_COMPARE_WITH_TIMEOUT(perguntaSaude(em(s)).codigo, 0, 10'000);
    QVERIFY(pg->para());
    QElapsedTimer relogio;
    relogio.start();
    const Saida parado = perguntaSaude(em(s));
    QCOMPARE(parado.linha, QStringLiteral("127.0.0.1:%1 - responde, mas não atende: o banco não responde\n").arg(s.porta()));
    QCOMPARE(parado.codigo, 1);
    QVERIFY(relogio.elapsed() < 3000);   // a database down is told, not waited out
    QVERIFY(pg->inicia());
    QTRY_COMPARE_WITH_TIMEOUT(perguntaSaude(em(s)).codigo, 0, 15'000);
    // And a server that is gone is no answer at all.
    const QStringList onde = em(s);
    s.para();
    QCOMPARE(perguntaSaude(onde).codigo, 2);
}

void TestObservacao::avisosAoSystemd()
{
    SoqueteDeAvisos avisos(m_pasta.filePath(QStringLiteral("notify")));
    QVERIFY(avisos.ok());
    ServidorReal s;
    s.defineAmbiente(QStringLiteral("NOTIFY_SOCKET"), m_pasta.filePath(QStringLiteral("notify")));
    s.defineAmbiente(QStringLiteral("WATCHDOG_USEC"), QStringLiteral("200000"));   // a heartbeat every 100 ms
    // The loop blocked on purpose from 1.5 s after it is ready, for 1.5 s.
    s.defineAmbiente(QStringLiteral("ZELTO_TESTE_TRAVA_LACO"), QStringLiteral("1500:1500"));
    QVERIFY2(s.inicia(), qPrintable(s.erro()));
    const QList<std::pair<qint64, QByteArray>> vistos = avisos.ouve(4000);
    QVERIFY(!vistos.isEmpty());
    QCOMPARE(vistos.first().second, QByteArray("READY=1"));
    // READY came once the server listened: the log's "ouvindo em" is written before it.
    QVERIFY(s.diario().contains(QStringLiteral("ouvindo em")));
    QList<qint64> batidas;
    for (const auto& [quando, texto] : vistos)
        if (texto == "WATCHDOG=1")
            batidas << quando - vistos.first().first;
    // Before the blockade the heartbeat keeps coming; during it, none; after it, again.
    const auto entre = [&](qint64 de, qint64 ate) {
        return std::count_if(batidas.cbegin(), batidas.cend(), [&](qint64 t) { return t >= de && t < ate; });
    };
    // (Generous counts: a loaded machine delays timers, never adds beats.)
    QVERIFY2(entre(0, 1400) >= 5, qPrintable(QString::number(entre(0, 1400))));
    QCOMPARE(entre(1700, 2900), 0);
    QVERIFY(entre(3100, 4000) >= 3);
    s.para();
    const auto fim = avisos.ouve(500);
    QVERIFY(std::any_of(fim.cbegin(), fim.cend(), [](const auto& v) { return v.second == "STOPPING=1"; }));
}

QTEST_GUILESS_MAIN(TestObservacao)
#include "tst_observacao.moc"
