// The framing our client and server agree on: pieces "<length>:<bytes>", "0:" at the end of
// each message, read back whatever way the network cuts them.
#include "protocol/Quadros.h"

#include <QTest>

class tst_Quadros : public QObject {
    Q_OBJECT

    struct Lido {
        QList<QByteArray> mensagens;
        QByteArray corrente;
        bool ok = true;
    };
    static Lido leEmCortes(const QByteArray& fluxo, int corte)
    {
        Quadros::Leitor leitor;
        Lido l;
        for (qsizetype i = 0; i < fluxo.size(); i += corte) {
            l.ok = leitor.le(
                QByteArrayView(fluxo).sliced(i, qMin<qsizetype>(corte, fluxo.size() - i)),
                [&](QByteArrayView d) { l.corrente += d; },
                [&] { l.mensagens.append(std::exchange(l.corrente, {})); });
            if (!l.ok)
                break;
        }
        return l;
    }

private slots:
    void idaEVolta_data()
    {
        QTest::addColumn<int>("corte");
        for (int corte : {1, 2, 3, 7, 100, 100000})
            QTest::newRow(qPrintable(QString::number(corte))) << corte;
    }
    void idaEVolta()
    {
        QFETCH(int, corte);
        // A reply written in several pieces, an empty message, and one with bytes that look
        // like framing ("0:", digits, "|") inside its text.
        const QByteArray grande(5000, 'x');
        const QByteArray fluxo = Quadros::quadro("13|1|a") + Quadros::quadro("@@@2|b") + Quadros::fim()
                                 + Quadros::fim() + Quadros::mensagem("7|0:12:|\xe7") + Quadros::mensagem(grande);
        const Lido l = leEmCortes(fluxo, corte);
        QVERIFY(l.ok);
        QCOMPARE(l.mensagens.size(), 4);
        QCOMPARE(l.mensagens[0], QByteArray("13|1|a@@@2|b"));
        QCOMPARE(l.mensagens[1], QByteArray());
        QCOMPARE(l.mensagens[2], QByteArray("7|0:12:|\xe7"));
        QCOMPARE(l.mensagens[3], grande);
        QVERIFY(l.corrente.isEmpty());
    }

    void fluxoQuebrado_data()
    {
        QTest::addColumn<QByteArray>("fluxo");
        QTest::newRow("texto solto") << QByteArray("13|1|a");
        QTest::newRow("dois pontos sem numero") << QByteArray(":abc");
        QTest::newRow("zero a esquerda") << QByteArray("05:abcde");
        QTest::newRow("negativo") << QByteArray("-5:abcde");
        QTest::newRow("grande demais") << QByteArray("99999999999:x");
    }
    void fluxoQuebrado()
    {
        QFETCH(QByteArray, fluxo);
        QVERIFY(!leEmCortes(fluxo, 1).ok);
        QVERIFY(!leEmCortes(fluxo, 1000).ok);
    }

    void negociacao_data()
    {
        QTest::addColumn<QString>("texto");
        QTest::addColumn<bool>("valida");
        QTest::addColumn<QStringList>("capacidades");
        QTest::newRow("pedido") << Quadros::pedidoDeNegociacao({"quadros"}) << true << QStringList{"quadros"};
        QTest::newRow("duas") << "99|zelto|1|quadros,segredo" << true << QStringList{"quadros", "segredo"};
        QTest::newRow("nenhuma") << "99|zelto|1|" << true << QStringList{};
        QTest::newRow("outra versao") << "99|zelto|2|quadros" << false << QStringList{};
        QTest::newRow("outro nome") << "99|outro|1|quadros" << false << QStringList{};
        QTest::newRow("falha do servidor") << "0" << false << QStringList{};
        QTest::newRow("peca a mais") << "99|zelto|1|quadros|x" << false << QStringList{};
    }
    void negociacao()
    {
        QFETCH(QString, texto);
        QFETCH(bool, valida);
        QFETCH(QStringList, capacidades);
        QStringList lidas;
        QCOMPARE(Quadros::leNegociacao(texto, lidas), valida);
        QCOMPARE(lidas, capacidades);
        QCOMPARE(Quadros::pedidoDeNegociacao({"quadros"}), u"99|zelto|1|quadros");
    }
};

QTEST_GUILESS_MAIN(tst_Quadros)
#include "tst_quadros.moc"
