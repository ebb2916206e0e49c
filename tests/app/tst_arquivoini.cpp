// The private-profile rules of config.ini: lookup, the 254-character cut, creation on
// write, and writes that leave every other byte of the file alone.
#include "app/modBibArquivoINI.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {
QByteArray conteudo(const QString& caminho)
{
    QFile f(caminho);
    if (!f.open(QIODevice::ReadOnly))
        return QByteArray("<ausente>");
    return f.readAll();
}

void grava(const QString& caminho, const QByteArray& bytes)
{
    QFile f(caminho);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}
} // namespace

class tst_ArquivoINI : public QObject {
    Q_OBJECT
    QTemporaryDir m_pasta;
    QString m_arquivo;

    static QByteArray exemplo()
    {
        return "; configura\xE7\xE3o do cliente\r\n"
               "[Geral]\r\n"
               "hostRemoto=outro\r\n"
               "\r\n"
               "[Cliente]\r\n"
               "  HostRemoto = 10.0.0.5  \r\n"
               "portaRemota=\"9998\"\r\n"
               "; fim do cliente\r\n"
               "\r\n"
               "[Impress\xE3o]\r\n"
               "fonte=Lucida Console\r\n"
               "cidade=S\xE3o Paulo";
    }

private slots:
    void init()
    {
        QVERIFY(m_pasta.isValid());
        m_arquivo = m_pasta.filePath(QStringLiteral("config.ini"));
        QFile::remove(m_arquivo);
    }

    void leitura_data()
    {
        QTest::addColumn<QString>("secao");
        QTest::addColumn<QString>("chave");
        QTest::addColumn<QString>("valor");
        QTest::newRow("outra secao") << "Geral" << "hostRemoto" << "outro";
        QTest::newRow("maiusculas e brancos") << "cliente" << "HOSTREMOTO" << "10.0.0.5";
        QTest::newRow("aspas") << "Cliente" << "portaRemota" << "9998";
        QTest::newRow("chave ausente") << "Cliente" << "timeOutSegundos" << "";
        QTest::newRow("secao ausente") << "Servidor" << "hostRemoto" << "";
        QTest::newRow("comentario nao e chave") << "Cliente" << "; fim do cliente" << "";
        QTest::newRow("acentos") << "impressão" << "cidade" << "São Paulo";
    }
    void leitura()
    {
        QFETCH(QString, secao);
        QFETCH(QString, chave);
        QFETCH(QString, valor);
        grava(m_arquivo, exemplo());
        QCOMPARE(LeINI(m_arquivo, secao, chave), valor);
    }

    void arquivoAusente()
    {
        QCOMPARE(LeINI(m_arquivo, QStringLiteral("Cliente"), QStringLiteral("hostRemoto")), QString());
        QVERIFY(LeINI(m_arquivo, QStringLiteral("Cliente"), QStringLiteral("hostRemoto")).isEmpty());
    }

    void corteEm254()
    {
        const QString longo = QString(300, u'x').replace(0, 3, QStringLiteral("abc"));
        grava(m_arquivo, "[Cliente]\nhostRemoto=" + longo.toLatin1() + "\n");
        const QString lido = LeINI(m_arquivo, QStringLiteral("Cliente"), QStringLiteral("hostRemoto"));
        QCOMPARE(lido.size(), 254);
        QCOMPARE(lido, longo.left(254));
    }

    void criaArquivo()
    {
        GravaINI(m_arquivo, QStringLiteral("Cliente"), QStringLiteral("hostRemoto"), QStringLiteral("1.2.3.4"));
        QCOMPARE(conteudo(m_arquivo), QByteArray("[Cliente]\r\nhostRemoto=1.2.3.4\r\n"));
        QCOMPARE(LeINI(m_arquivo, QStringLiteral("Cliente"), QStringLiteral("hostRemoto")), u"1.2.3.4");
    }

    void alteraSoOValor()
    {
        grava(m_arquivo, exemplo());
        GravaINI(m_arquivo, QStringLiteral("CLIENTE"), QStringLiteral("hostremoto"), QStringLiteral("192.168.0.9"));
        QByteArray esperado = exemplo();
        esperado.replace("  HostRemoto = 10.0.0.5  \r\n", "  HostRemoto =192.168.0.9\r\n");
        QCOMPARE(conteudo(m_arquivo), esperado);
        QCOMPARE(LeINI(m_arquivo, QStringLiteral("Geral"), QStringLiteral("hostRemoto")), u"outro");
    }

    void criaChaveNaSecao()
    {
        grava(m_arquivo, exemplo());
        GravaINI(m_arquivo, QStringLiteral("Cliente"), QStringLiteral("timeOutSegundos"), QStringLiteral("10"));
        QByteArray esperado = exemplo();
        esperado.replace("; fim do cliente\r\n", "; fim do cliente\r\ntimeOutSegundos=10\r\n");
        QCOMPARE(conteudo(m_arquivo), esperado);
    }

    void criaChaveNaUltimaSecaoSemFimDeLinha()
    {
        grava(m_arquivo, exemplo());
        GravaINI(m_arquivo, QStringLiteral("Impressão"), QStringLiteral("tamanho"), QStringLiteral("10"));
        QCOMPARE(conteudo(m_arquivo), exemplo() + "\r\ntamanho=10\r\n");
    }

    void criaSecao()
    {
        grava(m_arquivo, "[Geral]\nx=1\n");
        GravaINI(m_arquivo, QStringLiteral("Cliente"), QStringLiteral("portaRemota"), QStringLiteral("9998"));
        QCOMPARE(conteudo(m_arquivo), QByteArray("[Geral]\nx=1\n[Cliente]\nportaRemota=9998\n"));
    }

    void valorEmWindows1252()
    {
        GravaINI(m_arquivo, QStringLiteral("Cliente"), QStringLiteral("nome"), QStringLiteral("Conceição €"));
        QVERIFY(conteudo(m_arquivo).contains("nome=Concei\xE7\xE3o \x80\r\n"));
        QCOMPARE(LeINI(m_arquivo, QStringLiteral("Cliente"), QStringLiteral("nome")), u"Conceição €");
    }

    void quebraDeLinhaNaoCriaOutraChave()
    {
        GravaINI(m_arquivo, QStringLiteral("Cliente"), QStringLiteral("hostRemoto"),
                 QStringLiteral("a\r\nportaRemota=1"));
        QCOMPARE(LeINI(m_arquivo, QStringLiteral("Cliente"), QStringLiteral("portaRemota")), QString());
    }

    void pastaInexistenteNaoFalha()
    {
        const QString caminho = m_pasta.filePath(QStringLiteral("nao/existe/config.ini"));
        GravaINI(caminho, QStringLiteral("Cliente"), QStringLiteral("hostRemoto"), QStringLiteral("x"));
        QVERIFY(!QFile::exists(caminho));
    }
};

QTEST_GUILESS_MAIN(tst_ArquivoINI)
#include "tst_arquivoini.moc"
