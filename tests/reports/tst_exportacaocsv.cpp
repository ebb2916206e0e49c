// The department's CSV file of names, byte by byte.
#include "reports/clsRelatorios.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {

QList<clsAgenda> comNomes(const QStringList& nomes)
{
    QList<clsAgenda> lista;
    for (const QString& nome : nomes) {
        clsAgenda m;
        m.nome = nome;
        lista.append(m);
    }
    return lista;
}

QByteArray conteudo(const QString& caminho)
{
    QFile f(caminho);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

} // namespace

class tst_ExportacaoCSV : public QObject {
    Q_OBJECT
private slots:
    void bytes_data();
    void bytes();
    void substituiArquivoExistente();
    void pastaSemEscrita_data();
    void pastaSemEscrita();

private:
    QTemporaryDir m_pasta;
};

void tst_ExportacaoCSV::bytes_data()
{
    QTest::addColumn<QStringList>("nomes");
    QTest::addColumn<QByteArray>("esperado");

    QTest::newRow("tres membros") << QStringList{QStringLiteral("Ana"), QStringLiteral("Bruno"), QStringLiteral("Carla")}
                                  << QByteArray("Nome;\r\nAna\r\nBruno\r\nCarla\r\n");
    // One byte per accented letter (Windows-1252): ç = E7, ã = E3, é = E9.
    QTest::newRow("acentos") << QStringList{QStringLiteral("Conceição"), QStringLiteral("José")}
                             << QByteArray("Nome;\r\nConcei\xE7\xE3o\r\nJos\xE9\r\n");
    // Names go out as received: no quoting or escaping.
    QTest::newRow("sem escapes") << QStringList{QStringLiteral("Silva; \"Zé\"")}
                                 << QByteArray("Nome;\r\nSilva; \"Z\xE9\"\r\n");
    QTest::newRow("lista vazia") << QStringList{} << QByteArray("Nome;\r\n");
}

void tst_ExportacaoCSV::bytes()
{
    QFETCH(QStringList, nomes);
    QFETCH(QByteArray, esperado);
    const QString caminho = m_pasta.filePath(QStringLiteral("%1.csv").arg(QTest::currentDataTag()));
    QVERIFY(clsRelatorios().exportDepartamentoCSV(comNomes(nomes), caminho));
    QCOMPARE(conteudo(caminho), esperado);
}

void tst_ExportacaoCSV::substituiArquivoExistente()
{
    const QString caminho = m_pasta.filePath(QStringLiteral("existente.csv"));
    {
        QFile f(caminho);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(500, 'x'));
    }
    QVERIFY(clsRelatorios().exportDepartamentoCSV(comNomes({QStringLiteral("Ana")}), caminho));
    QCOMPARE(conteudo(caminho), QByteArray("Nome;\r\nAna\r\n"));
}

void tst_ExportacaoCSV::pastaSemEscrita_data()
{
    QTest::addColumn<QString>("caminho");
    // Tests run as root, for whom permissions do not stop a write: a "folder" that is a
    // regular file is refused to everyone.
    QTest::newRow("pasta que é um arquivo") << QStringLiteral("arquivo-comum/nomes.csv");
    QTest::newRow("pasta inexistente") << QStringLiteral("nao/existe/nomes.csv");
    QTest::newRow("o caminho é uma pasta") << QStringLiteral("uma-pasta");
    QTest::newRow("nome vazio") << QString();
}

void tst_ExportacaoCSV::pastaSemEscrita()
{
    QFETCH(QString, caminho);
    {
        QFile f(m_pasta.filePath(QStringLiteral("arquivo-comum")));
        QVERIFY(f.open(QIODevice::WriteOnly));
    }
    QVERIFY(QDir(m_pasta.path()).mkpath(QStringLiteral("uma-pasta")));
    const QString completo = caminho.isEmpty() ? QString() : m_pasta.filePath(caminho);
    QVERIFY(!clsRelatorios().exportDepartamentoCSV(comNomes({QStringLiteral("Ana")}), completo));
}

QTEST_GUILESS_MAIN(tst_ExportacaoCSV)
#include "tst_exportacaocsv.moc"
