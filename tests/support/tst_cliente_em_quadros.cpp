// The shared framed test client against a scripted server: the agreement's plain answer
// read whole however it is cut or whatever it refuses, then framed replies read whole.
#include "ClienteEmQuadros.h"
#include "ServidorRoteirizado.h"

#include <QTest>

class tst_ClienteEmQuadros : public QObject {
    Q_OBJECT
private slots:
    void combinaELeRespostasInteiras_data()
    {
        using R = ServidorRoteirizado;
        QTest::addColumn<int>("modo");
        QTest::addColumn<QStringList>("concedidas");
        QTest::addColumn<bool>("emPedacos");
        QTest::addColumn<QByteArray>("combinado");
        const QByteArray tudo("99|zelto|1|quadros,historico");
        QTest::newRow("tudo concedido") << int(R::Negociacao::Aceita) << QStringList{QStringLiteral("historico")} << false << tudo;
        // The answer trickles in: a prefix already reads as an agreement, but not the whole one.
        QTest::newRow("resposta em pedaços") << int(R::Negociacao::Ignora) << QStringList() << true << tudo;
        QTest::newRow("histórico recusado") << int(R::Negociacao::Aceita) << QStringList() << false << QByteArray("99|zelto|1|quadros");
        QTest::newRow("servidor sem quadros") << int(R::Negociacao::Recusa) << QStringList() << false << QByteArray("0");
    }
    void combinaELeRespostasInteiras()
    {
        QFETCH(int, modo);
        QFETCH(QStringList, concedidas);
        QFETCH(bool, emPedacos);
        QFETCH(QByteArray, combinado);
        ServidorRoteirizado servidor;
        servidor.defineNegociacao(ServidorRoteirizado::Negociacao(modo));
        servidor.defineCapacidades(concedidas);
        if (emPedacos)
            servidor.defineAcolhida(ServidorRoteirizado::responde(QStringLiteral("2"))
                                    + ServidorRoteirizado::emPedacos(QString::fromLatin1(combinado), 4, 5));
        const QString lista = QStringLiteral("13|1|Ana|12|Bia|");
        servidor.aoProximoPedido(ServidorRoteirizado::emQuadros(lista, 3, 2));

        ClienteEmQuadros c(servidor, {QStringLiteral("quadros"), QStringLiteral("historico")});
        QVERIFY(c.conectado());
        QCOMPARE(c.combinado(), combinado);
        const bool enquadrado = combinado != "0";
        QCOMPARE(c.enquadrado(), enquadrado);
        if (enquadrado)
            QCOMPARE(c.pede(QStringLiteral("12|0|")), lista.toLatin1());
    }
};

QTEST_GUILESS_MAIN(tst_ClienteEmQuadros)
#include "tst_cliente_em_quadros.moc"
