// Start-up configuration, the orderly end of the program and the clearing of error labels.
#include "app/Caixas.h"
#include "app/LugaresDoSistema.h"
#include "app/Seams.h"
#include "app/modGlobais.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QTemporaryDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTest>
#include <QVBoxLayout>

namespace {

QStringList fechadas;

class Janela : public QWidget {
public:
    explicit Janela(const QString& nome) { setObjectName(nome); }
    QPointer<QWidget> fechaTambem;   // closes (and deletes) another window from its own close handling
    bool viuEncerrando = false;

protected:
    void closeEvent(QCloseEvent* e) override
    {
        fechadas << objectName();
        viuEncerrando = encerrandoAplicacao();
        if (fechaTambem)
            delete fechaTambem.data();
        e->accept();
    }
};

} // namespace

class tst_Configuracao : public QObject {
    Q_OBJECT
    QTemporaryDir m_pasta;

    void escreveConfig(const QByteArray& linhas)
    {
        QFile f(m_pasta.filePath(QStringLiteral("config.ini")));
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write("[Cliente]\r\n" + linhas);
    }

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void init()
    {
        globais() = EstadoGlobal{};
        QFile::remove(m_pasta.filePath(QStringLiteral("config.ini")));
        definePastaDoProgramaParaTeste(m_pasta.path());
    }
    void cleanupTestCase() { definePastaDoProgramaParaTeste(QString()); }

    void caminhos_data()
    {
        QTest::addColumn<QString>("pasta");
        QTest::addColumn<QString>("caminho");
        QTest::newRow("raiz") << "/" << "/";
        QTest::newRow("pasta") << "/opt/zelto" << "/opt/zelto/";
        QTest::newRow("pasta com barra") << "/opt/zelto/" << "/opt/zelto/";
    }
    void caminhos()
    {
        QFETCH(QString, pasta);
        QFETCH(QString, caminho);
        Caixas::Gravador caixas;
        definePastaDoProgramaParaTeste(pasta);
        CarregaConfiguracao();
        // In the system's own separators ("\opt\zelto\" on Windows).
        caminho = QDir::toNativeSeparators(caminho);
        QCOMPARE(globais().caminhoAplicacao, caminho);
        // A folder the program cannot write to keeps config.ini in the operator's own folder.
        if (QFileInfo(pasta).isWritable())
            QCOMPARE(globais().arquivoConfiguracao, caminho + QStringLiteral("config.ini"));
        else
            QCOMPARE(globais().arquivoConfiguracao, LugaresDoSistema::configuracaoDoUsuario());
    }

    void pastaDoPrograma()
    {
        Caixas::Gravador caixas;
        definePastaDoProgramaParaTeste(QString());
        CarregaConfiguracao();
        QCOMPARE(globais().caminhoAplicacao, QDir::toNativeSeparators(QCoreApplication::applicationDirPath() + u'/'));
    }

    void valoresValidos()
    {
        escreveConfig("hostRemoto=10.1.1.1\r\nportaRemota=9998\r\ntimeOutSegundos=10\r\nkeepAliveSegundos=30\r\n");
        Caixas::Gravador caixas;
        CarregaConfiguracao();
        QCOMPARE(caixas.caixas().size(), 0);
        QCOMPARE(globais().hostRemoto, u"10.1.1.1");
        QCOMPARE(globais().portaRemota, u"9998");
        QCOMPARE(globais().timeOutSegundos, qint16(10));
        QCOMPARE(globais().keepAliveSegundos, qint16(30));
        QVERIFY(globais().impressora);
        QCOMPARE(globais().arquivoConfiguracao, QDir::toNativeSeparators(m_pasta.filePath(QStringLiteral("config.ini"))));
    }

    void hostLongo()
    {
        escreveConfig("hostRemoto=" + QByteArray(300, 'h') + "\r\ntimeOutSegundos=10\r\nkeepAliveSegundos=30\r\n");
        Caixas::Gravador caixas;
        CarregaConfiguracao();
        QCOMPARE(globais().hostRemoto, QString(254, u'h'));
    }

    // Unreadable time values: one box (the first failure), defaults, and the printer output.
    void falhas_data()
    {
        QTest::addColumn<QByteArray>("linhas");
        QTest::addColumn<bool>("semArquivo");
        QTest::addColumn<int>("timeOut");
        QTest::addColumn<int>("keepAlive");
        QTest::newRow("sem config.ini") << QByteArray() << true << 10 << 30;
        QTest::newRow("abc") << QByteArray("timeOutSegundos=abc\r\nkeepAliveSegundos=45\r\n") << false << 10 << 45;
        QTest::newRow("sem keepAlive") << QByteArray("timeOutSegundos=20\r\n") << false << 20 << 30;
        QTest::newRow("estouro") << QByteArray("timeOutSegundos=40000\r\nkeepAliveSegundos=5\r\n") << false << 10 << 5;
        QTest::newRow("ambos invalidos") << QByteArray("timeOutSegundos=\r\nkeepAliveSegundos=x\r\n") << false << 10 << 30;
    }
    void falhas()
    {
        QFETCH(QByteArray, linhas);
        QFETCH(bool, semArquivo);
        QFETCH(int, timeOut);
        QFETCH(int, keepAlive);
        if (!semArquivo)
            escreveConfig(linhas);
        Caixas::Gravador caixas;
        CarregaConfiguracao();
        QCOMPARE(caixas.caixas().size(), 1);
        const Caixas::Registro& caixa = caixas.caixas().first();
        QCOMPARE(caixa.titulo, u"Erro no Aplicativo");
        QCOMPARE(caixa.icone, Caixas::Icone::Erro);
        QVERIFY(!caixa.simNao);
        const QStringList partes = caixa.texto.split(QStringLiteral("\r\n"));
        QCOMPARE(partes.size(), 2);
        QVERIFY(!partes[0].isEmpty() && !partes[1].isEmpty());
        QCOMPARE(int(globais().timeOutSegundos), timeOut);
        QCOMPARE(int(globais().keepAliveSegundos), keepAlive);
        QVERIFY(globais().impressora);
        if (semArquivo) {
            QVERIFY(globais().hostRemoto.isEmpty());
            QVERIFY(globais().portaRemota.isEmpty());
        }
    }

    void limites_data()
    {
        QTest::addColumn<QByteArray>("timeOutTexto");
        QTest::addColumn<QByteArray>("keepAliveTexto");
        QTest::addColumn<int>("timeOut");
        QTest::addColumn<int>("keepAlive");
        QTest::newRow("zeros") << QByteArray("0") << QByteArray("0") << 1 << 0;
        QTest::newRow("negativos") << QByteArray("-5") << QByteArray("-1") << 1 << 30;
        QTest::newRow("acima") << QByteArray("65") << QByteArray("100") << 64 << 64;
        QTest::newRow("no limite") << QByteArray("64") << QByteArray("64") << 64 << 64;
        QTest::newRow("fracao") << QByteArray("10,6") << QByteArray("2,5") << 11 << 2;
    }
    void limites()
    {
        QFETCH(QByteArray, timeOutTexto);
        QFETCH(QByteArray, keepAliveTexto);
        QFETCH(int, timeOut);
        QFETCH(int, keepAlive);
        escreveConfig("timeOutSegundos=" + timeOutTexto + "\r\nkeepAliveSegundos=" + keepAliveTexto + "\r\n");
        Caixas::Gravador caixas;
        CarregaConfiguracao();
        QCOMPARE(caixas.caixas().size(), 0);
        QCOMPARE(int(globais().timeOutSegundos), timeOut);
        QCOMPARE(int(globais().keepAliveSegundos), keepAlive);
    }

    // The longest reply taken: absent keeps the default (0), a good value is read in MiB, a
    // bad one is reported once naming the key and the default is kept.
    void maximoDaResposta_data()
    {
        QTest::addColumn<QByteArray>("valor");
        QTest::addColumn<qint64>("bytes");
        QTest::addColumn<bool>("erro");
        QTest::newRow("ausente") << QByteArray() << qint64(0) << false;
        QTest::newRow("512") << QByteArray("512") << (qint64(512) << 20) << false;
        QTest::newRow("1") << QByteArray("1") << (qint64(1) << 20) << false;
        QTest::newRow("16384") << QByteArray("16384") << (qint64(16384) << 20) << false;
        QTest::newRow("zero") << QByteArray("0") << qint64(0) << true;
        QTest::newRow("negativo") << QByteArray("-3") << qint64(0) << true;
        QTest::newRow("acima") << QByteArray("16385") << qint64(0) << true;
        QTest::newRow("texto") << QByteArray("muito") << qint64(0) << true;
    }
    void maximoDaResposta()
    {
        QFETCH(QByteArray, valor);
        QFETCH(qint64, bytes);
        QFETCH(bool, erro);
        escreveConfig("timeOutSegundos=10\r\nkeepAliveSegundos=30\r\n"
                      + (valor.isEmpty() ? QByteArray() : "maximoRespostaMiB=" + valor + "\r\n"));
        globais().maximoRespostaBytes = 12345;
        Caixas::Gravador caixas;
        CarregaConfiguracao();
        QCOMPARE(globais().maximoRespostaBytes, bytes);
        QCOMPARE(caixas.caixas().size(), erro ? 1 : 0);
        if (erro) {
            QCOMPARE(caixas.caixas().first().titulo, u"Erro no Aplicativo");
            QVERIFY2(caixas.caixas().first().texto.contains(QLatin1String("maximoRespostaMiB=") + QLatin1String(valor)),
                     qPrintable(caixas.caixas().first().texto));
        }
        QCOMPARE(int(globais().timeOutSegundos), 10);
    }

    // --- EncerraAplicacao ---
    void encerraFechaTodasNaOrdem()
    {
        fechadas.clear();
        auto* a = new Janela(QStringLiteral("a"));
        auto* b = new Janela(QStringLiteral("b"));
        auto* c = new Janela(QStringLiteral("c"));
        a->show();
        c->show();   // b stays hidden, as the login window after a login
        b->setAttribute(Qt::WA_DeleteOnClose);
        QStringList ordem;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (dynamic_cast<Janela*>(w))
                ordem << w->objectName();
        QCOMPARE(ordem.size(), 3);

        Encerramento::Gravador fim;
        EncerraAplicacao();
        QCOMPARE(fechadas, ordem);
        QCOMPARE(fim.pedidos, 1);
        QVERIFY(a->viuEncerrando);
        QVERIFY(!encerrandoAplicacao());
        QVERIFY(!a->isVisible() && !c->isVisible());
        delete a;
        delete c;
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    void janelaQueFechaOutra()
    {
        fechadas.clear();
        auto* a = new Janela(QStringLiteral("a"));
        auto* b = new Janela(QStringLiteral("b"));
        a->fechaTambem = b;
        b->fechaTambem = a;
        Encerramento::Gravador fim;
        EncerraAplicacao();   // whichever goes first takes the other with it: no crash
        QCOMPARE(fechadas.size(), 1);
        QCOMPARE(fim.pedidos, 1);
        qDeleteAll(QApplication::topLevelWidgets());
    }

    // --- LimpaLabelsDeErro ---
    void limpaSoAsMarcadas()
    {
        QWidget janela;
        auto* grupo = new QGroupBox(&janela);
        auto* erro1 = new QLabel(QStringLiteral("Data inválida"), &janela);
        auto* erro2 = new QLabel(QStringLiteral("Valor inválido"), grupo);
        auto* outraCaixa = new QLabel(QStringLiteral("LabelDeErro maiúsculo"), &janela);
        auto* outraTag = new QLabel(QStringLiteral("outra"), &janela);
        auto* semTag = new QLabel(QStringLiteral("Nome"), &janela);
        auto* texto = new QLineEdit(QStringLiteral("digitado"), &janela);
        marcaComoLabelDeErro(erro1);
        marcaComoLabelDeErro(erro2);
        outraCaixa->setProperty("tag", QStringLiteral("LabelDeErro"));
        outraTag->setProperty("tag", QStringLiteral("labelDeErro "));
        texto->setProperty("tag", QStringLiteral("labelDeErro"));

        LimpaLabelsDeErro(&janela);
        QCOMPARE(erro1->text(), QString());
        QCOMPARE(erro2->text(), QString());
        QCOMPARE(outraCaixa->text(), u"LabelDeErro maiúsculo");
        QCOMPARE(outraTag->text(), u"outra");
        QCOMPARE(semTag->text(), u"Nome");
        QCOMPARE(texto->text(), u"digitado");
        LimpaLabelsDeErro(nullptr);
    }
};

QTEST_MAIN(tst_Configuracao)
#include "tst_configuracao.moc"
