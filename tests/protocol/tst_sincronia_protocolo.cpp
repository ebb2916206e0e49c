// The requests and replies of an office that works disconnected: written and read back, and
// texts out of shape refused rather than half read.
#include "protocol/Sincronia.h"

#include <QTest>

class tst_SincroniaProtocolo : public QObject {
    Q_OBJECT
private slots:
    void idaEVolta()
    {
        const Sincronia::Mudanca m{QStringLiteral("a1-B_2"), 42, 1'765'000'000'123, QStringLiteral("6|3|Ana|x|y")};
        Sincronia::Mudanca lida;
        QVERIFY(Sincronia::lePedidoDaMudanca(Sincronia::pedidoDaMudanca(m), lida));
        QCOMPARE(lida.id, m.id);
        QCOMPARE(lida.base, m.base);
        QCOMPARE(lida.feitaEmMs, m.feitaEmMs);
        QCOMPARE(lida.pedido, m.pedido);

        for (bool conflito : {false, true}) {
            const Sincronia::Desfecho d{QStringLiteral("z"), conflito, 7, conflito ? QString() : QStringLiteral("7|3|Ana|1|Sec")};
            Sincronia::Desfecho de;
            QVERIFY(Sincronia::leDesfecho(Sincronia::desfecho(d), de));
            QCOMPARE(de.conflito, conflito);
            QCOMPARE(de.versao, 7);
            QCOMPARE(de.resposta, d.resposta);
        }

        const QByteArray lista = Sincronia::inicioDaLista(9) + Sincronia::itemDaFicha(4, "12|Ana|x|1|Sec") + Sincronia::itemExcluido(9, 13);
        qint64 agora = 0;
        QList<Sincronia::Item> itens;
        QVERIFY(Sincronia::leListaDeMudancas(QString::fromLatin1(lista), agora, itens));
        QCOMPARE(agora, 9);
        QCOMPARE(itens.size(), 2);
        QCOMPARE(itens[0].numero, 12);
        QCOMPARE(itens[0].ficha, QStringLiteral("12|Ana|x|1|Sec"));
        QVERIFY(itens[1].excluida && itens[1].numero == 13 && itens[1].versao == 9);
        QVERIFY(Sincronia::leListaDeMudancas(u"18|0", agora, itens) && itens.isEmpty());

        // A group: pieces that hold "|", "@@@" and accents come back whole.
        const QList<Sincronia::Mudanca> grupo{m, {QStringLiteral("b"), 0, 1, QStringLiteral("8|4|Zé@@@|")}};
        QList<QStringView> pedidos;
        const QString texto = Sincronia::pedidoDoGrupo(grupo);
        QVERIFY(Sincronia::lePedidoDoGrupo(texto, pedidos));
        QCOMPARE(pedidos.size(), 2);
        QVERIFY(Sincronia::lePedidoDaMudanca(pedidos[1], lida));
        QCOMPARE(lida.pedido, grupo[1].pedido);
        QList<Sincronia::Desfecho> desfechos;
        QVERIFY(Sincronia::leDesfechos(Sincronia::desfechos({Sincronia::desfecho({QStringLiteral("a"), false, 3, QStringLiteral("7|1|é|")}),
                                                             Sincronia::desfecho({QStringLiteral("b"), true, 4, QString()})}),
                                       desfechos));
        QCOMPARE(desfechos.size(), 2);
        QCOMPARE(desfechos[0].resposta, QStringLiteral("7|1|é|"));
        QVERIFY(desfechos[1].conflito && desfechos[1].versao == 4);
    }

    void foraDeForma_data()
    {
        QTest::addColumn<QString>("texto");
        QTest::newRow("mudança: id vazio") << QStringLiteral("19||0|0|6|1|a");
        QTest::newRow("mudança: id com espaço") << QStringLiteral("19|a b|0|0|6|1|a");
        QTest::newRow("mudança: id longo") << QStringLiteral("19|%1|0|0|6|1|a").arg(QString(65, u'a'));
        QTest::newRow("mudança: base negativa") << QStringLiteral("19|a|-1|0|6|1|a");
        QTest::newRow("mudança: base com zero à frente") << QStringLiteral("19|a|01|0|6|1|a");
        QTest::newRow("mudança: busca dentro") << QStringLiteral("19|a|0|0|12|1|a");
        QTest::newRow("mudança: login dentro") << QStringLiteral("19|a|0|0|3|u|s");
        QTest::newRow("mudança: sem pedido") << QStringLiteral("19|a|0|0");
        QTest::newRow("mudança: outro código") << QStringLiteral("17|a|0|0|6|1|a");
        QTest::newRow("desde: negativo") << QStringLiteral("17|-3");
        QTest::newRow("desde: peça a mais") << QStringLiteral("17|3|4");
        QTest::newRow("lista: item sem tipo") << QStringLiteral("18|3@@@Q|1|2");
        QTest::newRow("lista: versão não numérica") << QStringLiteral("18|3@@@F|x|2|Ana");
        QTest::newRow("lista: ficha sem número") << QStringLiteral("18|3@@@F|1|Ana");
        QTest::newRow("lista: exclusão de ficha 0") << QStringLiteral("18|3@@@X|1|0");
        QTest::newRow("desfecho: nem A nem C") << QStringLiteral("20|a|B|1|");
        QTest::newRow("grupo: vazio") << QStringLiteral("21|0|");
        QTest::newRow("grupo: menos peças que a contagem") << QStringLiteral("21|2|9|19|a|0|0|");
        QTest::newRow("grupo: tamanho além do fim") << QStringLiteral("21|1|99|19|a|0|0|6|1");
        QTest::newRow("grupo: sobra depois") << QStringLiteral("21|1|8|19|a|0|0x");
        QTest::newRow("grupo: peça de outro código") << QStringLiteral("21|1|8|20|a|0|0");
        QTest::newRow("grupo: tamanho negativo") << QStringLiteral("21|1|-8|19|a|0|0");
        QTest::newRow("desfechos: peça que não é desfecho") << QStringLiteral("22|1|8|19|a|A|1");
        QTest::newRow("desfechos: desfecho malformado") << QStringLiteral("22|1|8|20|a|B|1");
    }
    void foraDeForma()
    {
        QFETCH(QString, texto);
        Sincronia::Mudanca m;
        Sincronia::Desfecho d;
        qint64 n = 0;
        QList<Sincronia::Item> itens;
        QVERIFY(!Sincronia::lePedidoDaMudanca(texto, m));
        QVERIFY(!Sincronia::lePedidoDasMudancas(texto, n));
        QVERIFY(!Sincronia::leListaDeMudancas(texto, n, itens));
        QVERIFY(!Sincronia::leDesfecho(texto, d));
        QList<QStringView> pedidos;
        QList<Sincronia::Desfecho> desfechos;
        QVERIFY(!Sincronia::lePedidoDoGrupo(texto, pedidos));
        QVERIFY(!Sincronia::leDesfechos(texto, desfechos));
    }
};

QTEST_GUILESS_MAIN(tst_SincroniaProtocolo)
#include "tst_sincronia_protocolo.moc"
