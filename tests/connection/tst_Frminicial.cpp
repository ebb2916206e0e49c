#include "app/Caixas.h"
#include "app/Frminicial.h"
#include "app/Implantacao.h"
#include "app/Seams.h"
#include "app/modGlobais.h"

#include <QLabel>
#include <QMenu>
#include <QStatusBar>
#include <QtTest>

class tst_Frminicial : public QObject {
    Q_OBJECT
private slots:
    void init()
    {
        clsUsuario u;
        u.usuario = QStringLiteral("abcdefghijklmnopqrst");   // 20 characters
        globais().usuarioLogado = u;
    }
    void cleanup() { globais().usuarioLogado.reset(); }

    void janela()
    {
        Frminicial f;
        QCOMPARE(f.windowTitle(), QStringLiteral(" ZeltoSystem On-Line 2.8"));
        QCOMPARE(f.mnuSecretaria->title(), QStringLiteral("&Secretaria"));
        QCOMPARE(f.mnumembros->text(), QStringLiteral("&Membros"));
        QCOMPARE(f.mnusair->text(), QStringLiteral("&Sair"));
        QCOMPARE(f.sbStatusBarPainel1->text(), QStringLiteral("Usuario OnLine: abcdefghijklmnopqrst"));
        QCOMPARE(f.Label3->palette().color(QPalette::WindowText), QColor(0, 0, 192));
        QCOMPARE(f.Label3->palette().color(QPalette::Window), QColor(Qt::white));
        QVERIFY(f.Timer3->isActive());
        QCOMPARE(f.Timer3->interval(), 150);
    }

    // Asterisk, organisation, address, asterisk, verse, asterisk, then the gap of blanks.
    void letreiro()
    {
        const QString texto = Frminicial::textoDoLetreiro();
        QCOMPARE(texto.size(), 355);
        QVERIFY(texto.startsWith(u'*'));
        QVERIFY(texto.contains(Implantacao::organizacao()));
        QVERIFY(texto.contains(Implantacao::endereco()));
        QCOMPARE(texto.count(u'*'), 3);
        QVERIFY(texto.endsWith(QString(137, u' ')));
        QCOMPARE(texto.trimmed().back(), u'*');
    }

    // One character to the left per tick; back where it started after 355 ticks.
    void rolagem()
    {
        Frminicial f;
        f.Timer3->stop();
        const QString inicio = f.Label3->text();
        QMetaObject::invokeMethod(f.Timer3, "timeout");
        QCOMPARE(f.Label3->text(), inicio.mid(1) + inicio.front());
        for (int i = 1; i < 355; ++i)
            QMetaObject::invokeMethod(f.Timer3, "timeout");
        QCOMPARE(f.Label3->text(), inicio);
        // and it runs by itself
        f.Timer3->start();
        QTRY_VERIFY(f.Label3->text() != inicio);
    }

    void sair_data()
    {
        QTest::addColumn<bool>("sim");
        QTest::newRow("nao") << false;
        QTest::newRow("sim") << true;
    }
    void sair()
    {
        QFETCH(bool, sim);
        Caixas::Gravador caixas;
        Encerramento::Gravador fim;
        Frminicial f;
        f.show();
        caixas.proximaResposta(sim ? Caixas::Resposta::Sim : Caixas::Resposta::Nao);
        f.mnusair->trigger();
        QCOMPARE(caixas.caixas().size(), 1);
        QCOMPARE(caixas.caixas().first().texto, QStringLiteral("Quer sair do sistema ?"));
        QCOMPARE(caixas.caixas().first().titulo, QStringLiteral("ZeltoSystem On-Line"));
        QCOMPARE(caixas.caixas().first().icone, Caixas::Icone::Nenhum);
        QVERIFY(caixas.caixas().first().simNao);
        QCOMPARE(fim.pedidos, sim ? 1 : 0);
        QVERIFY(f.isVisible());
    }

    // Closing the menu ends the program, without a question.
    void fechar()
    {
        Caixas::Gravador caixas;
        Encerramento::Gravador fim;
        Frminicial f;
        f.show();
        f.close();
        QCOMPARE(fim.pedidos, 1);
        QVERIFY(caixas.caixas().isEmpty());
    }

    // Without a login there is no member window: reported, not a crash.
    void membrosSemLogin()
    {
        Caixas::Gravador caixas;
        Frminicial f;
        f.mnumembros->trigger();
        QCOMPARE(caixas.caixas().size(), 1);
        QCOMPARE(caixas.caixas().first().titulo, QStringLiteral("Erro no Aplicativo"));
    }
};

QTEST_MAIN(tst_Frminicial)
#include "tst_Frminicial.moc"
