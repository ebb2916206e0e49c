// Fixed pt-BR dates and numbers, and the Windows-1252 bytes of the wire.
#include "protocol/ErroDeExecucao.h"
#include "protocol/FormatoBR.h"
#include "protocol/Wire.h"

#include <QLocale>
#include <QStringDecoder>
#include <QTest>
#include <limits>

using namespace FormatoBR;

class tst_Formatos : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        // The machine's locale must not matter.
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    }

    void datas_data()
    {
        QTest::addColumn<QDate>("data");
        QTest::addColumn<QString>("texto");
        QTest::newRow("zero") << dataZero() << "30/12/1899";
        QTest::newRow("invalida vira zero") << QDate() << "30/12/1899";
        QTest::newRow("comum") << QDate(2007, 3, 5) << "05/03/2007";
        QTest::newRow("bissexto") << QDate(2000, 2, 29) << "29/02/2000";
    }
    void datas()
    {
        QFETCH(QDate, data);
        QFETCH(QString, texto);
        QCOMPARE(formataData(data), texto);
        if (data.isValid())
            QCOMPARE(converteData(texto, QStringLiteral("t")), data);
    }

    void anoForaDaFaixa()
    {
        QCOMPARE(formataData(QDate(-5, 1, 1)), u"30/12/1899");
        QCOMPARE(formataData(QDate(12000, 1, 1)), u"30/12/1899");
    }

    void datasLidas_data()
    {
        QTest::addColumn<QString>("texto");
        QTest::addColumn<QDate>("data");   // invalid = conversion error
        QTest::newRow("exata") << "05/03/2007" << QDate(2007, 3, 5);
        QTest::newRow("um digito") << "5/3/2007" << QDate();
        QTest::newRow("espacos") << " 05/03/2007 " << QDate();
        QTest::newRow("ano negativo") << "01/01/-200" << QDate();
        QTest::newRow("ano com sinal") << "1/2/+200" << QDate();
        QTest::newRow("dia com sinal") << "+1/02/2000" << QDate();
        QTest::newRow("ano zero") << "01/01/0000" << QDate();
        QTest::newRow("outro separador") << "31x12x2005" << QDate();
        QTest::newRow("sobra") << "01/01/20055" << QDate();
        QTest::newRow("vazia") << "" << QDate();
        QTest::newRow("29/02/1900") << "29/02/1900" << QDate();
        QTest::newRow("mes 13") << "01/13/2005" << QDate();
        QTest::newRow("ano curto") << "01/01/05" << QDate();
        QTest::newRow("hifens") << "01-01-2005" << QDate();
        QTest::newRow("letras") << "aa/bb/cccc" << QDate();
    }
    void datasLidas()
    {
        QFETCH(QString, texto);
        QFETCH(QDate, data);
        if (data.isValid()) {
            QCOMPARE(converteData(texto, QStringLiteral("t")), data);
        } else {
            try {
                converteData(texto, QStringLiteral("origem"));
                QFAIL("no error raised");
            } catch (const ErroDeExecucao& e) {
                QCOMPARE(e.origem(), u"origem");
                QVERIFY(e.descricao().contains(u"Tipo incompatível"));
            }
        }
    }

    void valores_data()
    {
        QTest::addColumn<double>("valor");
        QTest::addColumn<QString>("texto");
        QTest::newRow("zero") << 0.0 << "0,00";
        QTest::newRow("milhar") << 1234.5 << "1.234,50";
        QTest::newRow("milhoes") << 1234567.891 << "1.234.567,89";
        QTest::newRow("centena") << 999.999 << "1.000,00";
        QTest::newRow("negativo") << -0.5 << "-0,50";
        QTest::newRow("menos zero") << -0.001 << "0,00";
        QTest::newRow("enorme") << 1e20 << "100.000.000.000.000.000.000,00";
        QTest::newRow("nao numero") << std::numeric_limits<double>::quiet_NaN() << "0,00";
    }
    void valores()
    {
        QFETCH(double, valor);
        QFETCH(QString, texto);
        QCOMPARE(formataValor(valor), texto);
    }

    void valoresLidos_data()
    {
        QTest::addColumn<QString>("texto");
        QTest::addColumn<double>("valor");
        QTest::addColumn<bool>("ok");
        QTest::newRow("milhar") << "1.234,50" << 1234.5 << true;
        QTest::newRow("sem grupo") << "1234,5" << 1234.5 << true;
        QTest::newRow("arredonda") << "0,125" << 0.13 << true;
        QTest::newRow("negativo") << "-12" << -12.0 << true;
        QTest::newRow("ponto apos virgula") << "1,234.5" << 0.0 << false;
        QTest::newRow("duas virgulas") << "1,2,3" << 0.0 << false;
        QTest::newRow("vazio") << "" << 0.0 << false;
        QTest::newRow("sinal so") << "-" << 0.0 << false;
        QTest::newRow("letras") << "12a" << 0.0 << false;
        // "." only groups thousands, three digits at a time.
        QTest::newRow("dois milhares") << "1.234.567,5" << 1234567.5 << true;
        QTest::newRow("milhar sem decimais") << "1.234" << 1234.0 << true;
        QTest::newRow("decimal curto") << "25,5" << 25.5 << true;
        QTest::newRow("posicao") << "1150,5" << 1150.5 << true;
        QTest::newRow("so decimais") << ",5" << 0.5 << true;
        QTest::newRow("espacos") << " 7,25 " << 7.25 << true;
        QTest::newRow("ponto decimal") << "25.50" << 0.0 << false;
        QTest::newRow("ponto decimal longo") << "1234.5" << 0.0 << false;
        QTest::newRow("grupos curtos") << "1.2.3" << 0.0 << false;
        QTest::newRow("grupo longo") << "1.2345" << 0.0 << false;
        QTest::newRow("primeiro grupo longo") << "1234.567" << 0.0 << false;
        QTest::newRow("ponto no fim") << "12." << 0.0 << false;
        QTest::newRow("ponto no inicio") << ".123" << 0.0 << false;
        QTest::newRow("ponto e virgula") << "1.,5" << 0.0 << false;
        QTest::newRow("sinal no meio") << "1-2" << 0.0 << false;
        QTest::newRow("virgula so") << "," << 0.0 << false;
        QTest::newRow("no limite") << "10.000.000.000.000,00" << 1e13 << true;
        QTest::newRow("negativo no limite") << "-10.000.000.000.000,00" << -1e13 << true;
        QTest::newRow("acima do limite") << "10.000.000.000.000,01" << 0.0 << false;
        QTest::newRow("enorme") << QString(300, u'9') << 0.0 << false;
    }
    void valoresLidos()
    {
        QFETCH(QString, texto);
        QFETCH(double, valor);
        QFETCH(bool, ok);
        if (ok)
            QCOMPARE(converteValor(texto, QStringLiteral("t")), valor);
        else
            QVERIFY_THROWS_EXCEPTION(ErroDeExecucao, converteValor(texto, QStringLiteral("t")));
    }

    void inteiros16_data()
    {
        QTest::addColumn<QString>("texto");
        QTest::addColumn<int>("valor");
        QTest::addColumn<bool>("ok");
        QTest::newRow("10") << "10" << 10 << true;
        QTest::newRow("fracao par") << "10,5" << 10 << true;
        QTest::newRow("fracao impar") << "11,5" << 12 << true;
        QTest::newRow("limite") << "32767" << 32767 << true;
        QTest::newRow("estouro") << "32768" << 0 << false;
        QTest::newRow("estouro negativo") << "-32769" << 0 << false;
        QTest::newRow("abc") << "abc" << 0 << false;
        QTest::newRow("vazio") << "" << 0 << false;
        QTest::newRow("ponto decimal") << "10.5" << 0 << false;
    }
    void inteiros16()
    {
        QFETCH(QString, texto);
        QFETCH(int, valor);
        QFETCH(bool, ok);
        if (ok)
            QCOMPARE(int(converteInteiro16(texto, QStringLiteral("t"))), valor);
        else
            QVERIFY_THROWS_EXCEPTION(ErroDeExecucao, converteInteiro16(texto, QStringLiteral("t")));
    }

    void inteiros32()
    {
        QCOMPARE(converteInteiro(u" 42 ", QStringLiteral("t")), 42);
        QCOMPARE(converteInteiro(u"-2147483648", QStringLiteral("t")), std::numeric_limits<qint32>::min());
        QVERIFY_THROWS_EXCEPTION(ErroDeExecucao, converteInteiro(u"2147483648", QStringLiteral("t")));
        QVERIFY_THROWS_EXCEPTION(ErroDeExecucao, converteInteiro(u"4,5", QStringLiteral("t")));
    }

    // --- Windows-1252 ---
    void bytes_data()
    {
        QTest::addColumn<QString>("texto");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("cedilha") << "ç" << QByteArray("\xE7");
        QTest::newRow("euro") << "€" << QByteArray("\x80");
        QTest::newRow("nome") << "Conceição" << QByteArray("Concei\xE7\xE3o");
        QTest::newRow("aspas") << "“ok”" << QByteArray("\x93ok\x94");
        QTest::newRow("fora da pagina") << "中文" << QByteArray("??");
        QTest::newRow("par substituto") << "a😀b" << QByteArray("a?b");
        QTest::newRow("vazio") << "" << QByteArray();
    }
    void bytes()
    {
        QFETCH(QString, texto);
        QFETCH(QByteArray, bytes);
        QCOMPARE(Wire::codifica(texto), bytes);
        if (!bytes.contains('?'))
            QCOMPARE(Wire::decodifica(bytes), texto);
    }

    void todosOsBytesVoltamIguais()
    {
        QByteArray todos;
        for (int i = 0; i < 256; ++i)
            todos.append(char(i));
        QCOMPARE(Wire::codifica(Wire::decodifica(todos)), todos);
    }

    // Long texts go by blocks of characters: every kind of character must come out the same
    // wherever it falls in a block, including a surrogate pair cut by a block's end.
    void qualquerPosicaoNoBloco()
    {
        const QList<QPair<QString, QByteArray>> especiais = {
            {QStringLiteral("ç"), QByteArray("\xE7")},      {QStringLiteral("€"), QByteArray("\x80")},
            {QString(QChar(0x81)), QByteArray("\x81")},     {QStringLiteral("中"), QByteArray("?")},
            {QStringLiteral("😀"), QByteArray("?")},         {QStringLiteral("|"), QByteArray("|")},
            {QString(QChar(0x9F)), QByteArray("?")},         {QStringLiteral("Ÿ"), QByteArray("\x9F")},
        };
        for (const auto& [car, byte] : especiais) {
            for (int tamanho : {15, 16, 17, 31, 32, 33, 40}) {
                for (int p = 0; p < tamanho; ++p) {
                    QString texto(tamanho, u'a');
                    QByteArray bytes(tamanho, 'a');
                    texto.replace(p, 1, car);
                    bytes.replace(p, 1, byte);
                    QCOMPARE(Wire::codifica(texto), bytes);
                    if (!byte.contains('?'))
                        QCOMPARE(Wire::decodifica(bytes), texto);
                }
            }
        }
        // Every byte at every place of a block decodes as it does alone.
        QByteArray todos;
        for (int i = 0; i < 256; ++i)
            todos.append(char(i));
        for (int desvio = 0; desvio < 17; ++desvio) {
            const QByteArray b = QByteArray(desvio, 'x') + todos;
            const QString t = Wire::decodifica(b);
            for (int i = 0; i < 256; ++i)
                QCOMPARE(t.at(desvio + i), Wire::decodifica(QByteArray(1, char(i))).at(0));
            QCOMPARE(Wire::codifica(t), b);
        }
    }

    // Our table agrees with the system's codec wherever the code page defines a character.
    void comoOCodecDoSistema()
    {
        QStringDecoder sistema("windows-1252");
        if (!sistema.isValid())
            QSKIP("no windows-1252 codec available");
        for (int i = 0; i < 256; ++i) {
            if (i == 0x81 || i == 0x8D || i == 0x8F || i == 0x90 || i == 0x9D)
                continue;
            const QByteArray b(1, char(i));
            QCOMPARE(Wire::decodifica(b), QString(sistema(b)));
        }
    }
};

QTEST_APPLESS_MAIN(tst_Formatos)
#include "tst_formatos.moc"
