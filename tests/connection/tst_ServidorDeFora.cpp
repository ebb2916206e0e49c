// The login window against a registry server this test did not start: our Debian server,
// serving TLS on loopback, started by the script that runs the Windows build's tests under
// wine (a Windows process cannot start the Debian program itself). It names the server in
//   ZELTO_SERVIDOR_DE_FORA             host:porta
//   ZELTO_SERVIDOR_DE_FORA_IMPRESSAO   the SHA-256 fingerprint of its certificate
// with the test server's operator "operador" / "senha123". Without them the test is skipped.
#include "support/AmbienteDeTeste.h"
#include "app/Caixas.h"
#include "app/Implantacao.h"
#include "connection/Confianca.h"
#include "protocol/ImpressaoDigital.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

class tst_ServidorDeFora : public QObject {
    Q_OBJECT
    QTemporaryDir m_perfil;
    QString m_host;
    quint16 m_porta = 0;
    QString m_impressao;

private slots:
    void initTestCase()
    {
        const QString servidor = qEnvironmentVariable("ZELTO_SERVIDOR_DE_FORA");
        m_impressao = ImpressaoDigital::normaliza(qEnvironmentVariable("ZELTO_SERVIDOR_DE_FORA_IMPRESSAO"));
        if (servidor.isEmpty() || m_impressao.isEmpty())
            QSKIP("sem ZELTO_SERVIDOR_DE_FORA e ZELTO_SERVIDOR_DE_FORA_IMPRESSAO (scripts/windows/testes.sh os define)");
        m_host = servidor.section(u':', 0, -2);
        m_porta = quint16(servidor.section(u':', -1).toUInt());
        QVERIFY(m_porta != 0);
        QVERIFY(m_perfil.isValid());
        // The operator's remembered certificates in a profile of the test's own.
        qputenv("APPDATA", QDir::toNativeSeparators(m_perfil.path()).toLocal8Bit());
        QStandardPaths::setTestModeEnabled(true);
    }
    void init() { QFile::remove(Confianca::arquivoDosConhecidos()); }
    void cleanupTestCase() { Implantacao::restauraPadroes(); }

    void entrada_data()
    {
        QTest::addColumn<QByteArray>("implantacao");   // "%i": the server's fingerprint
        QTest::addColumn<QString>("lembrada");         // remembered before the login ("" none)
        QTest::addColumn<bool>("entra");
        QTest::addColumn<QString>("caixa");            // part of the one box, when refused

        const QString outra = QStringLiteral("ab").repeated(32);
        QTest::newRow("impressão da secretaria") << QByteArray("tls=exigir\ncertificado=%i\n") << "" << true << "";
        QTest::newRow("impressão com dois-pontos") << QByteArray("certificado=%:\n") << "" << true << "";
        QTest::newRow("impressão de outro servidor") << QByteArray("tls=exigir\ncertificado=") + outra.toLatin1() + "\n" << ""
                                                     << false << "não é o que esta secretaria espera (implantacao.ini)";
        QTest::newRow("primeiro certificado visto") << QByteArray("tls=exigir\n") << "" << true << "";
        QTest::newRow("certificado lembrado") << QByteArray("tls=exigir\n") << "%i" << true << "";
        QTest::newRow("certificado mudou") << QByteArray("tls=preferir\n") << outra << false
                                           << "mudou desde a última conexão deste usuário";
    }
    void entrada()
    {
        QFETCH(QByteArray, implantacao);
        QFETCH(QString, lembrada);
        QFETCH(bool, entra);
        QFETCH(QString, caixa);

        const QByteArray hex = m_impressao.toLatin1();
        implantacao.replace("%i", hex).replace("%:", QByteArray::fromHex(hex).toHex(':'));
        const QString nome = m_host + u':' + QString::number(m_porta);
        if (!lembrada.isEmpty()) {
            const QString arquivo = Confianca::arquivoDosConhecidos();
            QDir().mkpath(QFileInfo(arquivo).absolutePath());
            QFile f(arquivo);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(ImpressaoDigital::escreveConhecidos({{nome, lembrada == u"%i" ? m_impressao : lembrada}}));
        }

        EntradaDeTeste entrada;
        QCOMPARE(carregaImplantacaoDeTeste(entrada.pasta, implantacao), QStringList());
        Caixas::Gravador caixas;
        frmPrincipal* janela = entrada.preparaEEntra(m_host, m_porta, QStringLiteral("operador"), QStringLiteral("senha123"));
        const QStringList vistas = titulosETextos(caixas);
        if (!entra) {
            QVERIFY(!janela);
            QVERIFY(!globais().usuarioLogado);
            QCOMPARE(vistas.size(), 1);
            QVERIFY2(vistas[0].startsWith(Confianca::titulo()) && vistas[0].contains(caixa), qPrintable(vistas[0]));
            return;
        }
        QVERIFY2(janela, qPrintable(entrada.erro + u'\n' + vistas.join(u'\n')));
        QVERIFY(entrada.login->menuPrincipal());
        QCOMPARE(vistas, QStringList());
        // A server without a pin is remembered in the operator's own profile.
        if (!implantacao.contains("certificado=")) {
            QFile f(Confianca::arquivoDosConhecidos());
            QVERIFY2(f.open(QIODevice::ReadOnly), qPrintable(f.fileName()));
            QCOMPARE(ImpressaoDigital::leConhecidos(f.readAll()).value(nome), m_impressao);
        }
    }
};

QTEST_MAIN(tst_ServidorDeFora)
#include "tst_ServidorDeFora.moc"
