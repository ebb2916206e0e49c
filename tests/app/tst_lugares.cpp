// Where the program keeps its files on the system it was built for: the office's deployment
// file and lookup file, the operator's config.ini and remembered certificates. The same cases
// run on Debian and, cross-built, on Windows (under wine); only the expected places differ.
#include "app/BancoLocal.h"
#include "app/Caixas.h"
#include "app/Implantacao.h"
#include "app/ImplantacaoPadrao.h"
#include "app/LugaresDoSistema.h"
#include "app/modBibArquivoINI.h"
#include "app/modGlobais.h"
#include "connection/Confianca.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// The places this system should use, for a program installed under `raiz` (a temporary
// folder standing for the computer's disk).
struct Lugares {
    QString programa;      // an installed program's folder
    QString padrao;        // the default config.ini an operator's copy starts from
    QString implantacao;   // the office's deployment file
    QString bancoLocal;    // the lookup file when the deployment file names none
    QString doOperador;    // the operator's config.ini
    QString conhecidos;    // the operator's remembered certificates
};

Lugares lugaresEsperados(const QString& raiz)
{
    Lugares l;
#ifdef Q_OS_WIN
    // The folders Windows names in every process's environment, moved into the test's folder.
    qputenv("ProgramData", QDir::toNativeSeparators(raiz + QStringLiteral("/ProgramData")).toLocal8Bit());
    qputenv("APPDATA", QDir::toNativeSeparators(raiz + QStringLiteral("/Usuario/AppData/Roaming")).toLocal8Bit());
    qputenv("ProgramFiles", QDir::toNativeSeparators(raiz + QStringLiteral("/Arquivos de Programas")).toLocal8Bit());
    l.programa = raiz + QStringLiteral("/Arquivos de Programas/Zelto");
    l.padrao = l.programa + QStringLiteral("/config.ini");
    l.implantacao = raiz + QStringLiteral("/ProgramData/Zelto/implantacao.ini");
    l.bancoLocal = raiz + QStringLiteral("/ProgramData/Zelto/ruduza.db");
    l.doOperador = raiz + QStringLiteral("/Usuario/AppData/Roaming/Zelto/config.ini");
    l.conhecidos = raiz + QStringLiteral("/Usuario/AppData/Roaming/Zelto/certificados-conhecidos");
#else
    l.programa = raiz + QString::fromUtf8(ImplantacaoPadrao::pastaDoPrograma);
    l.padrao = raiz + QString::fromUtf8(ImplantacaoPadrao::configuracaoPadrao);
    l.implantacao = raiz + QString::fromUtf8(ImplantacaoPadrao::arquivoImplantacao);
    l.bancoLocal = raiz + QString::fromUtf8(ImplantacaoPadrao::bancoLocal);
    l.doOperador = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QStringLiteral("/zelto/config.ini");
    l.conhecidos = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) + QStringLiteral("/certificados-conhecidos");
#endif
    return l;
}

bool escreve(const QString& caminho, const QByteArray& conteudo)
{
    QDir().mkpath(QFileInfo(caminho).absolutePath());
    QFile f(caminho);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(conteudo) == conteudo.size();
}

} // namespace

class tst_Lugares : public QObject {
    Q_OBJECT
    QTemporaryDir m_disco;
    Lugares m_l;

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY(m_disco.isValid());
        m_l = lugaresEsperados(m_disco.path());
    }
    void init()
    {
        Implantacao::restauraPadroes();
        globais() = EstadoGlobal{};
        defineArquivoDeImplantacaoParaTeste(QString());
        QFile::remove(m_l.doOperador);
        QFile::remove(m_l.implantacao);
    }
    void cleanupTestCase()
    {
        Implantacao::restauraPadroes();
        definePastaDoProgramaParaTeste(QString());
    }

    void lugares_data()
    {
        QTest::addColumn<QString>("qual");
        QTest::newRow("arquivo de implantação") << "implantacao";
        QTest::newRow("banco local padrão") << "bancoLocal";
        QTest::newRow("config.ini do operador") << "doOperador";
        QTest::newRow("certificados conhecidos") << "conhecidos";
    }
    void lugares()
    {
        QFETCH(QString, qual);
        const QString programa = m_l.programa;
        Implantacao::carrega(m_disco.filePath(QStringLiteral("nao-existe.ini")), Implantacao::raizDaInstalacao(programa));
        const QHash<QString, std::pair<QString, QString>> visto = {
            {"implantacao", {Implantacao::arquivo(programa), m_l.implantacao}},
            {"bancoLocal", {Implantacao::bancoLocal(), m_l.bancoLocal}},
            {"doOperador", {LugaresDoSistema::configuracaoDoUsuario(), m_l.doOperador}},
            {"conhecidos", {Confianca::arquivoDosConhecidos(), m_l.conhecidos}},
        };
        QCOMPARE(QDir::cleanPath(visto[qual].first), QDir::cleanPath(visto[qual].second));
    }

    // Installed, config.ini is the operator's own, first copied from the default beside the
    // program (which stays as it was); a portable copy keeps it beside itself.
    void configuracao_data()
    {
        QTest::addColumn<bool>("instalado");
        QTest::newRow("instalado") << true;
        QTest::newRow("cópia portátil") << false;
    }
    void configuracao()
    {
        QFETCH(bool, instalado);
        const QString programa = instalado ? m_l.programa : m_disco.filePath(QStringLiteral("Zelto portatil"));
        const QString padrao = instalado ? m_l.padrao : programa + QStringLiteral("/config.ini");
        const QByteArray semente = "[Cliente]\r\nhostRemoto=10.9.9.9\r\nportaRemota=9998\r\ntimeOutSegundos=12\r\nkeepAliveSegundos=30\r\n";
        QVERIFY(escreve(padrao, semente));
        QVERIFY(QDir().mkpath(programa));
        definePastaDoProgramaParaTeste(programa);

        Caixas::Gravador caixas;
        CarregaConfiguracao();
        QCOMPARE(caixas.caixas().size(), 0);
        const QString esperado = instalado ? m_l.doOperador : programa + QStringLiteral("/config.ini");
        QCOMPARE(QDir::cleanPath(QDir::fromNativeSeparators(globais().arquivoConfiguracao)), QDir::cleanPath(esperado));
        QCOMPARE(globais().timeOutSegundos, qint16(12));
        QCOMPARE(globais().hostRemoto, u"10.9.9.9");

        // The login writes the server back; the next start reads what was written.
        QVERIFY(GravaINI(globais().arquivoConfiguracao, QStringLiteral("Cliente"), QStringLiteral("timeOutSegundos"),
                         QStringLiteral("7")).isEmpty());
        CarregaConfiguracao();
        QCOMPARE(globais().timeOutSegundos, qint16(7));
        QCOMPARE(caixas.caixas().size(), 0);
        QFile f(padrao);
        QVERIFY(f.open(QIODevice::ReadOnly));
        if (instalado)
            QCOMPARE(f.readAll(), semente);
        f.close();
        QFile::remove(padrao);
    }

    // The office's deployment file in its place: its values at start, or one box naming the file
    // and the bad value, in the same words on every system.
    void implantacao_data()
    {
        QTest::addColumn<QByteArray>("conteudo");   // empty: no file
        QTest::addColumn<QString>("servidor");
        QTest::addColumn<QString>("problema");      // part of the one box, or empty for none
        const QByteArray hex = "0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef";
        QTest::newRow("sem arquivo") << QByteArray() << QString::fromUtf8(ImplantacaoPadrao::servidor) << "";
        QTest::newRow("servidor e certificado") << "[Implantacao]\r\nservidor=10.0.0.5\r\ncertificado=" + hex + "\r\n"
                                                << "10.0.0.5" << "";
        QTest::newRow("site inválido") << QByteArray("[Implantacao]\nservidor=10.0.0.6\nsite=zelto\n") << "10.0.0.6"
                                       << "site \"zelto\" não é um endereço http:// ou https://";
        QTest::newRow("servidor inválido") << QByteArray("[Implantacao]\nservidor=10.0.0.7 10.0.0.8\n")
                                           << QString::fromUtf8(ImplantacaoPadrao::servidor)
                                           << "não é um endereço IP nem um nome de máquina";
    }
    void implantacao()
    {
        QFETCH(QByteArray, conteudo);
        QFETCH(QString, servidor);
        QFETCH(QString, problema);
        QVERIFY(escreve(m_l.padrao, "[Cliente]\r\ntimeOutSegundos=10\r\nkeepAliveSegundos=30\r\n"));
        definePastaDoProgramaParaTeste(m_l.programa);
        if (!conteudo.isEmpty())
            QVERIFY(escreve(m_l.implantacao, conteudo));

        Caixas::Gravador caixas;
        CarregaConfiguracao();
        QCOMPARE(Implantacao::servidor(), servidor);
        if (problema.isEmpty()) {
            QCOMPARE(caixas.caixas().size(), 0);
            return;
        }
        QCOMPARE(caixas.caixas().size(), 1);
        const QString texto = caixas.caixas()[0].texto;
        QCOMPARE(caixas.caixas()[0].titulo, u"Erro no Aplicativo");
        QVERIFY2(texto.contains(QStringLiteral("O arquivo de implantação %1 tem valores que não puderam ser usados")
                                    .arg(QDir::toNativeSeparators(m_l.implantacao))),
                 qPrintable(texto));
        QVERIFY2(texto.contains(problema), qPrintable(texto));
    }

    // An operator who may not write the lookup file is told which file and how to be allowed.
    void gravacaoNegada()
    {
        BancoLocal::defineCaminhoParaTeste(m_l.bancoLocal);
        const QString motivo = BancoLocal::motivoDaGravacaoNegada(QStringLiteral("attempt to write a readonly database"));
        BancoLocal::defineCaminhoParaTeste(QString());
        QVERIFY2(motivo.contains(QDir::toNativeSeparators(m_l.bancoLocal)), qPrintable(motivo));
        QVERIFY2(motivo.endsWith(LugaresDoSistema::comoLiberarGravacao()), qPrintable(motivo));
#ifdef Q_OS_WIN
        QVERIFY2(motivo.contains(u"grupo Usuários"), qPrintable(motivo));
#else
        QVERIFY2(motivo.contains(u"grupo \"zelto\""), qPrintable(motivo));
#endif
    }
};

QTEST_MAIN(tst_Lugares)
#include "tst_lugares.moc"
