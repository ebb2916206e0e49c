// Phone splitting, date checking and the two key filters.
#include "app/modUtil.h"

#include <QTest>

class tst_Util : public QObject {
    Q_OBJECT
private slots:
    void telefone_data()
    {
        QTest::addColumn<QString>("telefone");
        QTest::addColumn<QString>("ddd");
        QTest::addColumn<QString>("numero");
        QTest::newRow("dez digitos") << "1134567890" << "11" << "34567890";
        QTest::newRow("vazio") << "" << "" << "";
        QTest::newRow("um") << "1" << "1" << "";
        QTest::newRow("dois") << "11" << "11" << "";
        QTest::newRow("tres") << "113" << "11" << "3";
    }
    void telefone()
    {
        QFETCH(QString, telefone);
        QFETCH(QString, ddd);
        QFETCH(QString, numero);
        QCOMPARE(ExtraiDDD(telefone), ddd);
        QCOMPARE(ExtraiTelefone(telefone), numero);
    }

    void validaData_data()
    {
        QTest::addColumn<QString>("texto");
        QTest::addColumn<bool>("valida");
        QTest::newRow("29/02/2000") << "29/02/2000" << true;
        QTest::newRow("29/02/2001") << "29/02/2001" << false;
        QTest::newRow("29/02/1900") << "29/02/1900" << false;
        QTest::newRow("29/02/2004") << "29/02/2004" << true;
        QTest::newRow("29/02/2100") << "29/02/2100" << false;
        QTest::newRow("28/02/1900") << "28/02/1900" << true;
        QTest::newRow("31/04/2005") << "31/04/2005" << false;
        QTest::newRow("30/04/2005") << "30/04/2005" << true;
        QTest::newRow("31/12/2005") << "31/12/2005" << true;
        QTest::newRow("00/01/2005") << "00/01/2005" << false;
        QTest::newRow("15/13/2005") << "15/13/2005" << false;
        QTest::newRow("15/00/2005") << "15/00/2005" << false;
        QTest::newRow("separadores") << "31x12x2005" << true;
        QTest::newRow("vazio") << "" << false;
        QTest::newRow("letras") << "aa/bb/cccc" << false;
        QTest::newRow("ano curto") << "01/01/" << false;
        QTest::newRow("dia de um digito") << "1/01/2005" << false;
        QTest::newRow("ano zero") << "01/01/0000" << false;
        QTest::newRow("sinal") << "-1/01/2005" << false;
        QTest::newRow("ano com sinal") << "01/01/+200" << false;
        QTest::newRow("branco no dia") << " 1/01/2005" << false;
        QTest::newRow("sobra") << "01/01/20051" << false;
    }
    void validaData()
    {
        QFETCH(QString, texto);
        QFETCH(bool, valida);
        QCOMPARE(ValidaData(texto), valida);
    }

    // Flags in order: / - , . blank : Ctrl+C Ctrl+V
    void numerico_data()
    {
        QTest::addColumn<int>("tecla");
        QTest::addColumn<int>("flag");       // index of the flag set, -1 = none
        QTest::addColumn<int>("resultado");
        QTest::newRow("digito") << int('7') << -1 << int('7');
        QTest::newRow("zero") << int('0') << -1 << int('0');
        QTest::newRow("backspace") << 8 << -1 << 8;
        QTest::newRow("letra") << int('a') << -1 << 0;
        QTest::newRow("ponto sem flag") << int('.') << -1 << 0;
        QTest::newRow("ponto com flag") << int('.') << 3 << int('.');
        QTest::newRow("hifen com ponto") << int('-') << 3 << 0;
        QTest::newRow("letra com ponto") << int('x') << 3 << 0;
        QTest::newRow("barra") << int('/') << 0 << int('/');
        QTest::newRow("hifen") << int('-') << 1 << int('-');
        QTest::newRow("virgula") << int(',') << 2 << int(',');
        QTest::newRow("espaco") << int(' ') << 4 << int(' ');
        QTest::newRow("dois pontos") << int(':') << 5 << int(':');
        QTest::newRow("ctrl c") << 3 << 6 << 3;
        QTest::newRow("ctrl v") << 22 << 7 << 22;
        QTest::newRow("ctrl v sem flag") << 22 << 6 << 0;
        QTest::newRow("cedilha") << int(u'ç') << -1 << 0;
        QTest::newRow("digito arabe") << 0x0663 << -1 << 0;
    }
    void numerico()
    {
        QFETCH(int, tecla);
        QFETCH(int, flag);
        QFETCH(int, resultado);
        bool f[8] = {};
        if (flag >= 0)
            f[flag] = true;
        QCOMPARE(int(FiltraNumerico(char16_t(tecla), f[0], f[1], f[2], f[3], f[4], f[5], f[6], f[7])), resultado);
    }

    // Flags in order: digits / - , . blank Ctrl+C Ctrl+V upper-case
    void alfabetico_data()
    {
        QTest::addColumn<int>("tecla");
        QTest::addColumn<int>("flag");
        QTest::addColumn<int>("resultado");
        QTest::newRow("letra") << int('a') << -1 << int('a');
        QTest::newRow("maiuscula") << int('Z') << -1 << int('Z');
        QTest::newRow("para maiuscula") << int('a') << 8 << int('A');
        QTest::newRow("z para maiuscula") << int('z') << 8 << int('Z');
        QTest::newRow("digito sem flag") << int('5') << -1 << 0;
        QTest::newRow("digito com flag") << int('5') << 0 << int('5');
        QTest::newRow("backspace") << 8 << -1 << 8;
        QTest::newRow("backspace maiusculas") << 8 << 8 << 8;
        QTest::newRow("barra") << int('/') << 1 << int('/');
        QTest::newRow("hifen") << int('-') << 2 << int('-');
        QTest::newRow("virgula") << int(',') << 3 << int(',');
        QTest::newRow("ponto") << int('.') << 4 << int('.');
        QTest::newRow("espaco") << int(' ') << 5 << int(' ');
        QTest::newRow("espaco sem flag") << int(' ') << -1 << 0;
        QTest::newRow("ctrl c") << 3 << 6 << 3;
        QTest::newRow("ctrl v") << 22 << 7 << 22;
        QTest::newRow("cedilha") << int(u'ç') << -1 << 0;
        QTest::newRow("a til maiusculas") << int(u'ã') << 8 << 0;
        QTest::newRow("arroba") << int('@') << 8 << 0;
        QTest::newRow("colchete") << int('[') << 8 << 0;
    }
    void alfabetico()
    {
        QFETCH(int, tecla);
        QFETCH(int, flag);
        QFETCH(int, resultado);
        bool f[9] = {};
        if (flag >= 0)
            f[flag] = true;
        QCOMPARE(int(FiltraAlfabetico(char16_t(tecla), f[0], f[1], f[2], f[3], f[4], f[5], f[6], f[7], f[8])),
                 resultado);
    }
};

QTEST_APPLESS_MAIN(tst_Util)
#include "tst_util.moc"
