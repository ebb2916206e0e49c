// A sheet's history crosses from our server to our client whole, whatever the values hold.
#include "protocol/Historico.h"

#include <QTest>

class tst_Historico : public QObject {
    Q_OBJECT
private slots:
    void idaEVolta()
    {
        const QDateTime quando(QDate(2026, 3, 1), QTime(13, 4, 5), Qt::UTC);
        QList<Historico::Entrada> entradas{
            {quando, QStringLiteral("joão|maria"), QStringLiteral("Alteração"),
             {{QStringLiteral("Nome"), QStringLiteral("A,B;C"), QStringLiteral("50% é €")},
              {QStringLiteral("Fone"), QString(), QStringLiteral("1")}}},
            {quando.addDays(-1), QStringLiteral("ana"), QStringLiteral("Inclusão"), {}},
        };
        QList<Historico::Entrada> lidas;
        QVERIFY(Historico::leResposta(Historico::resposta(entradas), lidas));
        QCOMPARE(lidas, entradas);
        QVERIFY(Historico::leResposta(QStringLiteral("16"), lidas));
        QVERIFY(lidas.isEmpty());

        int n = 0;
        QVERIFY(Historico::lePedido(Historico::pedido(42), n));
        QCOMPARE(n, 42);
    }

    void recusaOQueNaoEResposta_data()
    {
        QTest::addColumn<QString>("texto");
        QTest::newRow("outro código") << QStringLiteral("13|x");
        QTest::newRow("peças a menos") << QStringLiteral("16|2026-03-01T13:04:05Z|ana|Inclusão");
        QTest::newRow("hora sem fuso") << QStringLiteral("16|2026-03-01T13:04:05|ana|x|");
        QTest::newRow("trinca incompleta") << QStringLiteral("16|2026-03-01T13:04:05Z|ana|x|a,b");
        QTest::newRow("texto sem codificar") << QStringLiteral("16|2026-03-01T13:04:05Z|joão|x|");
        QTest::newRow("bytes que não são UTF-8") << QStringLiteral("16|2026-03-01T13:04:05Z|%FF|x|");
    }
    void recusaOQueNaoEResposta()
    {
        QFETCH(QString, texto);
        QList<Historico::Entrada> lidas;
        QVERIFY(!Historico::leResposta(texto, lidas));
    }

    void recusaPedidoMalFormado()
    {
        int n = 0;
        for (const char* t : {"15|", "15|0", "15|-3", "15|07", "15|1|2", "16|1", "15|x"})
            QVERIFY2(!Historico::lePedido(QString::fromLatin1(t), n), t);
    }
};

QTEST_GUILESS_MAIN(tst_Historico)
#include "tst_historico.moc"
