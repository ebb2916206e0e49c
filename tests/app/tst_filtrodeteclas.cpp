// The key filters on a real text box, typed as an operator would.
#include "app/FiltroDeTeclas.h"

#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QTest>

using namespace FiltroDeTeclas;

namespace {
// keyClicks knows only ASCII keys; accented letters arrive as a key event with their text,
// as a Brazilian keyboard sends them.
void digita(QWidget* w, const QString& texto)
{
    for (QChar c : texto) {
        if (c.unicode() < 128)
            QTest::keyClick(w, c.toLatin1());
        else
            QTest::sendKeyEvent(QTest::Click, w, Qt::Key_unknown, QString(c), Qt::NoModifier);
    }
}
} // namespace

class tst_FiltroDeTeclas : public QObject {
    Q_OBJECT
private slots:
    void numerico_data()
    {
        QTest::addColumn<QString>("digitado");
        QTest::addColumn<QString>("resultado");
        QTest::addColumn<bool>("barra");
        QTest::newRow("so digitos") << "12a3b" << "123" << false;
        QTest::newRow("data") << "01/02/2005" << "01/02/2005" << true;
        QTest::newRow("data sem barra") << "01/02/2005" << "01022005" << false;
        QTest::newRow("acentos") << "1ç2ã" << "12" << true;
        QTest::newRow("sinais") << "-1.5,3 :" << "153" << true;
    }
    void numerico()
    {
        QFETCH(QString, digitado);
        QFETCH(QString, resultado);
        QFETCH(bool, barra);
        QLineEdit caixa;
        instalaNumerico(&caixa, {.barra = barra});
        digita(&caixa, digitado);
        QCOMPARE(caixa.text(), resultado);
    }

    void alfabeticoMaiusculas()
    {
        QLineEdit caixa;
        instalaAlfabetico(&caixa, {.espaco = true, .maiusculas = true});
        digita(&caixa, QStringLiteral("joão da silva 2"));
        QCOMPARE(caixa.text(), u"JOO DA SILVA ");
    }

    void alfabeticoComDigitos()
    {
        QLineEdit caixa;
        instalaAlfabetico(&caixa, {.digitos = true, .hifen = true});
        QTest::keyClicks(&caixa, QStringLiteral("ab-12 c"));
        QCOMPARE(caixa.text(), u"ab-12c");
    }

    void teclasDeEdicaoPassam()
    {
        QLineEdit caixa;
        instalaNumerico(&caixa);
        QTest::keyClicks(&caixa, QStringLiteral("12345"));
        QTest::keyClick(&caixa, Qt::Key_Backspace);
        QCOMPARE(caixa.text(), u"1234");
        QTest::keyClick(&caixa, Qt::Key_Home);
        QTest::keyClick(&caixa, Qt::Key_Delete);
        QCOMPARE(caixa.text(), u"234");
        QTest::keyClick(&caixa, Qt::Key_Right);
        QTest::keyClicks(&caixa, QStringLiteral("9"));
        QCOMPARE(caixa.text(), u"2934");
        QTest::keyClick(&caixa, Qt::Key_End);
        QTest::keyClick(&caixa, Qt::Key_Left);
        QTest::keyClicks(&caixa, QStringLiteral("x0"));
        QCOMPARE(caixa.text(), u"29304");
    }

    void substituicaoRespeitaOTamanhoMaximo()
    {
        QLineEdit caixa;
        caixa.setMaxLength(3);
        instalaAlfabetico(&caixa, {.maiusculas = true});
        QTest::keyClicks(&caixa, QStringLiteral("abcd"));
        QCOMPARE(caixa.text(), u"ABC");
    }

    void enterChegaAJanela()
    {
        QLineEdit caixa;
        instalaNumerico(&caixa);
        int enters = 0;
        connect(&caixa, &QLineEdit::returnPressed, this, [&] { ++enters; });
        QTest::keyClick(&caixa, Qt::Key_Return);
        QCOMPARE(enters, 1);
    }

    void colar_data()
    {
        QTest::addColumn<bool>("permiteColar");
        QTest::addColumn<QString>("resultado");
        QTest::newRow("bloqueado") << false << "1";
        QTest::newRow("filtrado") << true << "112345";
    }
    void colar()
    {
        QFETCH(bool, permiteColar);
        QFETCH(QString, resultado);
        QApplication::clipboard()->setText(QStringLiteral("12a3\n4-5ç"));
        QLineEdit caixa;
        instalaNumerico(&caixa, {.ctrlV = permiteColar});
        QTest::keyClicks(&caixa, QStringLiteral("1"));
        QTest::keyClick(&caixa, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(caixa.text(), resultado);
    }

    void colarEmMaiusculas()
    {
        QApplication::clipboard()->setText(QStringLiteral("maria josé"));
        QLineEdit caixa;
        instalaAlfabetico(&caixa, {.espaco = true, .ctrlV = true, .maiusculas = true});
        QTest::keyClick(&caixa, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(caixa.text(), u"MARIA JOS");
    }

    void copiar_data()
    {
        QTest::addColumn<bool>("permiteCopiar");
        QTest::addColumn<QString>("clipboard");
        QTest::newRow("bloqueado") << false << "antes";
        QTest::newRow("permitido") << true << "123";
    }
    void copiar()
    {
        QFETCH(bool, permiteCopiar);
        QFETCH(QString, clipboard);
        QApplication::clipboard()->setText(QStringLiteral("antes"));
        QLineEdit caixa;
        instalaNumerico(&caixa, {.ctrlC = permiteCopiar});
        QTest::keyClicks(&caixa, QStringLiteral("123"));
        caixa.selectAll();
        QTest::keyClick(&caixa, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QApplication::clipboard()->text(), clipboard);
        QCOMPARE(caixa.text(), u"123");
    }

    void reinstalarSubstitui()
    {
        QLineEdit caixa;
        instalaNumerico(&caixa);
        instalaAlfabetico(&caixa);
        QTest::keyClicks(&caixa, QStringLiteral("a1b"));
        QCOMPARE(caixa.text(), u"ab");
    }
};

QTEST_MAIN(tst_FiltroDeTeclas)
#include "tst_filtrodeteclas.moc"
