// The session's secret, which lets a dropped connection back into its session without a new
// login, goes to the server that gave it and to no one else: not to another server the
// office now points at, not to someone in between at log-off showing another certificate.
#include "ServidorReal.h"
#include "support/AmbienteDeTeste.h"
#include "support/Certificados.h"
#include "support/Retransmissor.h"
#include "app/Caixas.h"
#include "app/Implantacao.h"
#include "connection/Confianca.h"
#include "connection/frmLogin.h"
#include "protocol/Quadros.h"

#include <QtTest>

class tst_SegredoDaSessao : public QObject {
    Q_OBJECT
    QTemporaryDir m_pasta;

    void implantacao(const QByteArray& linhas) { QCOMPARE(carregaImplantacaoDeTeste(m_pasta, linhas), QStringList()); }

private slots:
    void initTestCase()
    {
        QVERIFY(m_pasta.isValid());
        QVERIFY(!Certificados::autoassinado(m_pasta.path(), QStringLiteral("a")).isEmpty());
        QVERIFY(!Certificados::autoassinado(m_pasta.path(), QStringLiteral("b")).isEmpty());
    }

    void init()
    {
        Confianca::defineArquivoParaTeste(m_pasta.filePath(QStringLiteral("conhecidos-") + QLatin1String(QTest::currentTestFunction())));
        Implantacao::restauraPadroes();
    }

    // Logged in at one server, the office's server changes (a new address in the deployment
    // file, a wrong name lookup): the next connection goes to the other one, and what crosses
    // to it holds no trace of the first server's secret.
    void segredoSoAoServidorQueODeu()
    {
        ServidorReal primeiro, segundo;
        QVERIFY2(primeiro.inicia(), qPrintable(primeiro.erro()));
        QVERIFY2(segundo.inicia(), qPrintable(segundo.erro()));
        Retransmissor relay(segundo.porta());
        implantacao("tls=nunca\n");   // the plain wire: the relay reads every byte of the offer
        Caixas::Gravador caixas;
        EntradaDeTeste entrada;
        QVERIFY2(entrada.preparaEEntra(primeiro.host(), primeiro.porta(), primeiro.conta().usuario, primeiro.conta().senha),
                 qPrintable(entrada.erro + titulosETextos(caixas).join(u'\n')));
        const QString segredo = entrada.login->segredoDaSessao();
        QVERIFY(Quadros::pareceSegredo(segredo));

        entrada.login->EncerraConexaoNoServidor();
        frmLogin::defineServidorParaTeste(QStringLiteral("127.0.0.1"), relay.porta());
        entrada.login->ConectaNoServidor();
        QVERIFY(entrada.login->conectado());
        QTRY_VERIFY(relay.captura().contains("99|zelto|"));   // the offer reached it
        QVERIFY2(!relay.captura().contains(segredo.toLatin1()), relay.captura().constData());
        QVERIFY(entrada.login->segredoDaSessao() != segredo);
    }

    // At log-off the secret goes inside TLS to the certificate the session was made with. A
    // relay that now leads elsewhere (here another instance of the office's server, on the
    // same database, with another certificate: it would end the session whose secret it got,
    // and say so in its log) gets a connection and nothing more.
    void encerramentoSoParaOMesmoCertificado()
    {
        ServidorReal servidor(1);
        servidor.defineArgumentos(Certificados::argumentosTls(m_pasta.path(), QStringLiteral("a")));
        QVERIFY2(servidor.inicia(), qPrintable(servidor.erro()));
        const std::unique_ptr<ServidorReal> outro = servidor.outraInstancia();
        outro->defineArgumentos(Certificados::argumentosTls(m_pasta.path(), QStringLiteral("b")));
        QVERIFY2(outro->inicia(), qPrintable(outro->erro()));
        Retransmissor relay(servidor.porta());
        Caixas::Gravador caixas;
        EntradaDeTeste entrada;
        QVERIFY2(entrada.preparaEEntra(QStringLiteral("127.0.0.1"), relay.porta(), servidor.conta().usuario, servidor.conta().senha),
                 qPrintable(entrada.erro + titulosETextos(caixas).join(u'\n')));
        QVERIFY(Quadros::pareceSegredo(entrada.login->segredoDaSessao()));

        relay.mudaDestino(outro->porta());
        entrada.login->Logoff();
        QTRY_VERIFY2(outro->diario().contains(QStringLiteral("conectou")), qPrintable(outro->diario()));   // the log-off reached it
        QTest::qWait(500);
        QVERIFY2(!outro->diario().contains(QStringLiteral("sessão encerrada")), qPrintable(outro->diario()));
        QVERIFY(entrada.login->segredoDaSessao().isEmpty());
    }
};

QTEST_MAIN(tst_SegredoDaSessao)
#include "tst_SegredoDaSessao.moc"
