// The connection inside TLS, against the registry server itself: real handshakes on loopback,
// certificates made here with openssl, and a relay in between that records what crosses (and,
// when asked, strips the client's offer of TLS, as someone in the way could).
#include "ServidorReal.h"
#include "support/Certificados.h"
#include "support/RedePrivada.h"
#include "support/Retransmissor.h"
#include "support/AmbienteDeTeste.h"
#include "app/Caixas.h"
#include "app/Implantacao.h"
#include "app/modGlobais.h"
#include "connection/Conexao.h"
#include "connection/Confianca.h"
#include "connection/Requisicao.h"
#include "connection/frmLogin.h"
#include "protocol/clsAgenda.h"
#include "protocol/clsFiltroBusca.h"
#include "protocol/clsUsuario.h"
#include "protocol/Quadros.h"
#include "protocol/Wire.h"

#include <QCryptographicHash>
#include <QNetworkInterface>
#include <QProcess>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QTcpSocket>
#include <QtTest>

namespace {

int busca(QList<clsAgenda>* fichas = nullptr)
{
    clsFiltroBusca filtro;
    filtro.departamento = globais().usuarioLogado->departamento;
    QTimer timer;
    const auto r = Requisita(nullptr, &timer, filtro.toPipeStringWithCommand(12), {13, 14});
    if (r && fichas)
        *fichas = clsAgenda::collectionFromPipeStringWithCommand(r->texto);
    return r ? r->codigo : -1;
}

// A login on the original plain wire from `origem` (null: any): the reply's code.
QByteArray loginSimples(const ServidorReal& servidor, const QHostAddress& origem)
{
    QTcpSocket s;
    if (!origem.isNull() && !s.bind(origem))
        return "bind";
    s.connectToHost(servidor.host(), servidor.porta());
    if (!s.waitForConnected(5000) || !s.waitForReadyRead(5000) || s.readAll() != "2")
        return "sem 2";
    clsUsuario u;
    u.usuario = servidor.conta().usuario;
    u.senha = servidor.conta().senha;
    s.write(Wire::codifica(u.toPipeStringWithCommand(3)));
    QByteArray r;
    while (!r.contains('|') && r != "5" && s.waitForReadyRead(5000))
        r += s.readAll();
    return r.left(r.indexOf('|') < 0 ? r.size() : r.indexOf('|'));
}

} // namespace

class tst_Tls : public QObject {
    Q_OBJECT
    QTemporaryDir m_pasta;
    QString m_impressaoA, m_impressaoB;

    void implantacao(const QByteArray& linhas) { QCOMPARE(carregaImplantacaoDeTeste(m_pasta, linhas), QStringList()); }

    // A login window on host:porta; true once it found the server on line.
    frmLogin* abreLogin(quint16 porta)
    {
        globais().timeOutSegundos = 10;
        globais().keepAliveSegundos = 0;
        globais().usuarioLogado.reset();
        globais().arquivoConfiguracao = m_pasta.filePath(QStringLiteral("config.ini"));
        frmLogin::defineServidorParaTeste(QStringLiteral("127.0.0.1"), porta);
        return frmLogin::abre();
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_pasta.isValid());
        m_impressaoA = Certificados::autoassinado(m_pasta.path(), QStringLiteral("a"));
        m_impressaoB = Certificados::autoassinado(m_pasta.path(), QStringLiteral("b"));
        QVERIFY(!m_impressaoA.isEmpty() && !m_impressaoB.isEmpty());
        // An authority this computer trusts (beside the system's own), and what it signed: one
        // certificate for this server's address, one for somebody else's name.
        QVERIFY(!Certificados::autoridade(m_pasta.path(), QStringLiteral("ac")).isEmpty());
        QVERIFY(!Certificados::assinado(m_pasta.path(), QStringLiteral("ac"), QStringLiteral("ac-este"), QStringLiteral("IP:127.0.0.1")).isEmpty());
        QVERIFY(!Certificados::assinado(m_pasta.path(), QStringLiteral("ac"), QStringLiteral("ac-outro"),
                                        QStringLiteral("DNS:outro.exemplo.org")).isEmpty());
        QSslConfiguration padrao = QSslConfiguration::defaultConfiguration();
        padrao.addCaCertificates(QSslCertificate::fromPath(m_pasta.filePath(QStringLiteral("ac.crt"))));
        QSslConfiguration::setDefaultConfiguration(padrao);
    }

    void init()
    {
        Confianca::defineArquivoParaTeste(m_pasta.filePath(QStringLiteral("conhecidos-%1").arg(QTest::currentDataTag())
                                                               + QLatin1String(QTest::currentTestFunction())));
        Implantacao::restauraPadroes();
    }

    // `zelto-server certificado` prints the line the deployment file takes, as openssl sees it.
    void certificadoParaAImplantacao()
    {
        QProcess p;
        p.start(ServidorReal::binario(), {QStringLiteral("certificado"), QStringLiteral("--tls-certificado"), m_pasta.filePath(QStringLiteral("a.crt"))});
        QVERIFY(p.waitForFinished(30'000));
        const QByteArray linha = p.readAllStandardOutput();
        QCOMPARE(p.exitCode(), 0);
        QVERIFY2(linha.startsWith("certificado=") && linha.count(':') == 31, linha.constData());
        implantacao(linha);
        QCOMPARE(Implantacao::certificado(), m_impressaoA);
    }

    // Login, secret and sheets cross only encrypted; a dropped connection comes back into its
    // session inside TLS, without a new login.
    void cifradaDePontaAPonta()
    {
        ServidorReal servidor(3);
        servidor.defineArgumentos(Certificados::argumentosTls(m_pasta.path(), QStringLiteral("a")));
        QVERIFY2(servidor.inicia(), qPrintable(servidor.erro()));
        Retransmissor relay(servidor.porta(), false);
        implantacao("tls=exigir\ncertificado=" + m_impressaoA.toLatin1() + "\n");
        Caixas::Gravador caixas;
        EntradaDeTeste entrada;
        QVERIFY2(entrada.preparaEEntra(QStringLiteral("127.0.0.1"), relay.porta(), servidor.conta().usuario, servidor.conta().senha),
                 qPrintable(entrada.erro + titulosETextos(caixas).join(u'\n')));
        const QString segredo = entrada.login->segredoDaSessao();
        QVERIFY(Quadros::pareceSegredo(segredo));
        QList<clsAgenda> fichas;
        QCOMPARE(busca(&fichas), 13);
        QCOMPARE(fichas.size(), 3);

        entrada.login->EncerraConexaoNoServidor();
        QCOMPARE(busca(), 13);
        QCOMPARE(entrada.login->segredoDaSessao(), segredo);
        QVERIFY2(caixas.caixas().isEmpty(), qPrintable(titulosETextos(caixas).join(u'\n')));
        const QString diario = servidor.diario();
        QCOMPARE(diario.count(QStringLiteral("combinou: tls (TLS 1.3")), 2);
        QCOMPARE(diario.count(QStringLiteral("pedido 3 -> 4")), 1);
        QVERIFY2(diario.contains(QStringLiteral("sessão retomada")), qPrintable(diario));

        const QByteArray captura = relay.captura();
        // The offer in clear names the capabilities, never a secret.
        QVERIFY(captura.contains("99|zelto|1|tls,quadros,"));
        QVERIFY(!captura.contains("sessao="));
        QVERIFY(!captura.contains(servidor.conta().senha.toLatin1()));
        QVERIFY(!captura.contains(segredo.toLatin1()));
        QVERIFY(!captura.contains(Wire::codifica(fichas.first().nome)));
        QVERIFY(!captura.contains(Wire::codifica(servidor.conta().dsDepartamento)));
        entrada.login->Logoff();
        QVariant sessoes;
        QVERIFY(servidor.executaNoBanco({QStringLiteral("SELECT COUNT(*) FROM sessoes")}, &sessoes));
        QCOMPARE(sessoes.toInt(), 0);
        QVERIFY(!relay.captura().contains(segredo.toLatin1()));
    }

    // The server comes back showing another certificate. One other than the expected one (the
    // pin, or the one this user saw first) is refused with the box, and no password is sent;
    // one the system's authorities vouch for is that only for the name it was issued to.
    void outroCertificado_data()
    {
        QTest::addColumn<bool>("comPin");
        QTest::addColumn<QString>("segundo");
        QTest::addColumn<QString>("recusa");   // what the box says; empty: accepted
        const QString mudou = QStringLiteral("mudou"), naoEsperado = QStringLiteral("não é o que esta secretaria espera");
        QTest::newRow("primeiro visto") << false << QStringLiteral("b") << mudou;
        QTest::newRow("pin") << true << QStringLiteral("b") << naoEsperado;
        QTest::newRow("primeiro visto, autoridade, outro nome") << false << QStringLiteral("ac-outro") << mudou;
        QTest::newRow("pin, autoridade, outro nome") << true << QStringLiteral("ac-outro") << naoEsperado;
        QTest::newRow("primeiro visto, autoridade, este endereço") << false << QStringLiteral("ac-este") << QString();
        QTest::newRow("pin, autoridade, este endereço") << true << QStringLiteral("ac-este") << QString();
    }
    void outroCertificado()
    {
        QFETCH(bool, comPin);
        QFETCH(QString, segundo);
        QFETCH(QString, recusa);
        ServidorReal servidor(1);
        servidor.defineArgumentos(Certificados::argumentosTls(m_pasta.path(), QStringLiteral("a")));
        QVERIFY2(servidor.inicia(), qPrintable(servidor.erro()));
        implantacao(comPin ? "certificado=" + m_impressaoA.toLatin1() + "\n" : QByteArray());
        Caixas::Gravador caixas;
        frmLogin* login = abreLogin(servidor.porta());
        QTRY_VERIFY_WITH_TIMEOUT(login->txtUsuario->isEnabled(), 10000);
        delete login;
        // Without a pin the first certificate is remembered: the second is judged against it.
        QVERIFY(comPin || Confianca::conhece(QStringLiteral("127.0.0.1"), servidor.porta()));

        servidor.defineArgumentos(Certificados::argumentosTls(m_pasta.path(), segundo));
        QVERIFY2(servidor.reiniciaNaMesmaPorta(), qPrintable(servidor.erro()));
        login = abreLogin(servidor.porta());
        if (recusa.isEmpty()) {
            const bool entrou = QTest::qWaitFor([&] { return login->txtUsuario->isEnabled(); }, 10000);
            delete login;
            QVERIFY(entrou);
            QVERIFY2(caixas.caixas().isEmpty(), qPrintable(titulosETextos(caixas).join(u'\n')));
            return;
        }
        QTRY_VERIFY_WITH_TIMEOUT(!caixas.caixas().isEmpty(), 10000);
        const Caixas::Registro caixa = caixas.caixas().first();
        QCOMPARE(caixa.titulo, QStringLiteral("Servidor Não Confiável"));
        QVERIFY2(caixa.texto.contains(recusa), qPrintable(caixa.texto));
        QVERIFY(caixa.texto.contains(QStringLiteral("chame o administrador")));
        QVERIFY(!login->txtUsuario->isEnabled());
        QTest::qWait(1500);   // the poll goes on: the box is not shown again
        QCOMPARE(caixas.caixas().size(), 1);
        delete login;
    }

    // Someone in between takes "tls" out of the offer: refused under a pin, under exigir and
    // once the server's certificate is known; followed (plain) only under preferir with nothing known.
    void ofertaRetirada_data()
    {
        QTest::addColumn<QByteArray>("linhas");
        QTest::addColumn<bool>("conhecido");
        QTest::addColumn<bool>("recusa");
        QTest::newRow("pin") << QByteArray("certificado=") + "PIN" << false << true;
        QTest::newRow("exigir") << QByteArray("tls=exigir") << false << true;
        QTest::newRow("preferir, já visto") << QByteArray() << true << true;
        QTest::newRow("preferir") << QByteArray() << false << false;
    }
    void ofertaRetirada()
    {
        QFETCH(QByteArray, linhas);
        QFETCH(bool, conhecido);
        QFETCH(bool, recusa);
        ServidorReal servidor(1);
        servidor.defineArgumentos(Certificados::argumentosTls(m_pasta.path(), QStringLiteral("a")));
        QVERIFY2(servidor.inicia(), qPrintable(servidor.erro()));
        Retransmissor relay(servidor.porta(), true);
        implantacao(linhas.replace("PIN", m_impressaoA.toLatin1()) + "\n");
        if (conhecido) {
            QFile f(Confianca::arquivoDosConhecidos());
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("127.0.0.1:" + QByteArray::number(relay.porta()) + ' ' + m_impressaoA.toLatin1() + '\n');
        }
        Caixas::Gravador caixas;
        frmLogin* login = abreLogin(relay.porta());
        if (recusa) {
            QTRY_VERIFY_WITH_TIMEOUT(!caixas.caixas().isEmpty(), 10000);
            QCOMPARE(caixas.caixas().first().titulo, QStringLiteral("Servidor Não Confiável"));
            QVERIFY2(caixas.caixas().first().texto.contains(QStringLiteral("não ofereceu conexão cifrada")),
                     qPrintable(caixas.caixas().first().texto));
            QVERIFY(!login->txtUsuario->isEnabled());
        } else {
            QTRY_VERIFY_WITH_TIMEOUT(login->txtUsuario->isEnabled(), 10000);
            QVERIFY2(caixas.caixas().isEmpty(), qPrintable(titulosETextos(caixas).join(u'\n')));
        }
        delete login;
    }

    // The original client on the plain wire: still served by a server with a certificate;
    // under --exigir-tls only from this machine.
    void clienteSimples_data()
    {
        QTest::addColumn<bool>("exigir");
        QTest::addColumn<bool>("deFora");
        QTest::addColumn<QByteArray>("codigo");
        QTest::newRow("servido") << false << false << QByteArray("4");
        QTest::newRow("servido de fora") << false << true << QByteArray("4");
        QTest::newRow("exigir-tls, deste computador") << true << false << QByteArray("4");
        QTest::newRow("exigir-tls, de fora") << true << true << QByteArray("5");
    }
    void clienteSimples()
    {
        QFETCH(bool, exigir);
        QFETCH(bool, deFora);
        QFETCH(QByteArray, codigo);
        QHostAddress origem;
        if (deFora) {
            for (const QHostAddress& a : QNetworkInterface::allAddresses())
                if (a.protocol() == QAbstractSocket::IPv4Protocol && !a.isLoopback() && !a.isLinkLocal())
                    origem = a;
            if (origem.isNull())
                QSKIP("no address other than loopback on this machine");
        }
        ServidorReal servidor(1);
        QStringList argumentos = Certificados::argumentosTls(m_pasta.path(), QStringLiteral("a"));
        if (exigir)
            argumentos << QStringLiteral("--exigir-tls");
        servidor.defineArgumentos(argumentos);
        QVERIFY2(servidor.inicia(), qPrintable(servidor.erro()));
        QCOMPARE(loginSimples(servidor, origem), codigo);
    }

    // Under --exigir-tls, our client at another computer of the office logs in encrypted; on
    // the plain wire it is refused. The other computer is the far side of a veth pair in a
    // network of this test's own: the server sees an address that is not loopback.
    void exigirTlsDeOutroComputador_data()
    {
        QTest::addColumn<QByteArray>("linhas");
        QTest::addColumn<bool>("entra");
        QTest::newRow("cifrado") << QByteArray("tls=exigir") << true;
        QTest::newRow("sem cifra") << QByteArray("tls=nunca") << false;
    }
    void exigirTlsDeOutroComputador()
    {
        QFETCH(QByteArray, linhas);
        QFETCH(bool, entra);
        RedePrivada rede;
        if (!rede.pronta())
            QSKIP(qPrintable(QStringLiteral("sem outro computador para o teste: ") + rede.erro()));
        ServidorReal servidor(1);
        servidor.defineEndereco(RedePrivada::enderecoDoServidor());
        servidor.defineArgumentos(Certificados::argumentosTls(m_pasta.path(), QStringLiteral("a")) << QStringLiteral("--exigir-tls"));
        QVERIFY2(servidor.inicia(), qPrintable(servidor.erro()));
        implantacao(linhas + "\n");
        Caixas::Gravador caixas;
        EntradaDeTeste entrada;
        const bool entrou = entrada.preparaEEntra(servidor.host(), servidor.porta(), servidor.conta().usuario, servidor.conta().senha);
        const QString diario = servidor.diario();
        QVERIFY2(diario.contains(QStringLiteral("10.199.0.")) && !diario.contains(QStringLiteral("127.0.0.1")), qPrintable(diario));
        QVERIFY2(diario.contains(QStringLiteral("pedido 3 -> ") + (entra ? QStringLiteral("4") : QStringLiteral("5"))), qPrintable(diario));
        QCOMPARE(entrou, entra);
        QCOMPARE(entrada.login->conexao()->cifrada(), entra);
        if (entra) {
            QVERIFY2(caixas.caixas().isEmpty(), qPrintable(titulosETextos(caixas).join(u'\n')));
        } else {
            QCOMPARE(titulosETextos(caixas), QStringList(QStringLiteral("Login Negado: Dados de login inválidos")));
            QVERIFY2(diario.contains(QStringLiteral("sem TLS (--exigir-tls)")), qPrintable(diario));
        }
    }
};

QTEST_MAIN(tst_Tls)
#include "tst_Tls.moc"
