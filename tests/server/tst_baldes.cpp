// The bookkeeping behind the server's limits, without sockets.
#include "server/network/Limites.h"

#include <QTest>

class tst_Baldes : public QObject {
    Q_OBJECT
private slots:
    void rajadaDepoisTaxa();
    void acertoDevolve();
    void enderecosSeparados();
    void filaNoTodoEPorEndereco();
    void vagaLiberaAoAcabar();
    void tetoDeixaReserva_data();
    void tetoDeixaReserva();
    void avisoUmPorSegundo();
};

void tst_Baldes::rajadaDepoisTaxa()
{
    BaldeDeLogins b(3, 60);   // 3 at once, then one a second
    for (int i = 0; i < 3; ++i)
        QVERIFY(b.tira(QStringLiteral("a"), 0));
    QVERIFY(!b.tira(QStringLiteral("a"), 0));
    QVERIFY(!b.tira(QStringLiteral("a"), 999));
    QVERIFY(b.tira(QStringLiteral("a"), 1000));
    QVERIFY(!b.tira(QStringLiteral("a"), 1001));
    // Never more than the burst, however long the quiet.
    for (int i = 0; i < 3; ++i)
        QVERIFY(b.tira(QStringLiteral("a"), 10'000'000));
    QVERIFY(!b.tira(QStringLiteral("a"), 10'000'000));
}

void tst_Baldes::acertoDevolve()
{
    BaldeDeLogins b(2, 1);
    QVERIFY(b.tira(QStringLiteral("a"), 0));
    QVERIFY(b.tira(QStringLiteral("a"), 0));
    b.devolve(QStringLiteral("a"), 0);
    QVERIFY(b.tira(QStringLiteral("a"), 0));
    QVERIFY(!b.tira(QStringLiteral("a"), 0));
}

void tst_Baldes::enderecosSeparados()
{
    BaldeDeLogins b(1, 1);
    QVERIFY(b.tira(QStringLiteral("a"), 0));
    QVERIFY(!b.tira(QStringLiteral("a"), 0));
    QVERIFY(b.tira(QStringLiteral("b"), 0));
    // Full buckets are forgotten at the next sweep: the table does not keep every address.
    QVERIFY(b.tira(QStringLiteral("c"), 10 * 60'000));
    QCOMPARE(b.enderecos(), qsizetype(1));
}

void tst_Baldes::filaNoTodoEPorEndereco()
{
    FilaDeSenhas f(3, 2);
    QVERIFY(f.entra(QStringLiteral("a")));
    QVERIFY(f.entra(QStringLiteral("a")));
    QVERIFY(!f.entra(QStringLiteral("a")));   // this address's share is taken
    QVERIFY(f.entra(QStringLiteral("b")));
    QVERIFY(!f.entra(QStringLiteral("c")));   // the whole queue is
    QCOMPARE(f.total(), 3);
    f.sai(QStringLiteral("a"));
    QVERIFY(f.entra(QStringLiteral("c")));
    f.sai(QStringLiteral("zz"));   // never entered: nothing changes
    QCOMPARE(f.total(), 3);
}

void tst_Baldes::vagaLiberaAoAcabar()
{
    auto f = std::make_shared<FilaDeSenhas>(1, 1);
    QVERIFY(f->entra(QStringLiteral("a")));
    {
        auto vaga = std::make_shared<FilaDeSenhas::Vaga>(f, QStringLiteral("a"));
        auto copia = vaga;   // held by the look-up and then by the check
        vaga.reset();
        QVERIFY(!f->entra(QStringLiteral("b")));
    }
    QCOMPARE(f->total(), 0);
    QVERIFY(f->entra(QStringLiteral("b")));
}

void tst_Baldes::tetoDeixaReserva_data()
{
    QTest::addColumn<qint64>("arquivos");
    QTest::addColumn<int>("banco");
    QTest::addColumn<int>("teto");
    QTest::newRow("ulimit 1024") << qint64(1024) << 4 << 944;
    QTest::newRow("systemd") << qint64(65536) << 4 << 65456;
    QTest::newRow("quase nada") << qint64(50) << 4 << 16;
}

void tst_Baldes::tetoDeixaReserva()
{
    QFETCH(qint64, arquivos);
    QFETCH(int, banco);
    QTEST(Limites::tetoDeConexoes(arquivos, banco), "teto");
}

void tst_Baldes::avisoUmPorSegundo()
{
    AvisosDeLimite a;
    qint64 omitidos = -1;
    QVERIFY(a.pode(QStringLiteral("x"), 0, omitidos));
    QCOMPARE(omitidos, 0);
    QVERIFY(!a.pode(QStringLiteral("x"), 10, omitidos));
    QVERIFY(!a.pode(QStringLiteral("x"), 999, omitidos));
    QVERIFY(a.pode(QStringLiteral("y"), 999, omitidos));   // another kind has its own second
    QVERIFY(a.pode(QStringLiteral("x"), 1000, omitidos));
    QCOMPARE(omitidos, 2);
}

QTEST_APPLESS_MAIN(tst_Baldes)
#include "tst_baldes.moc"
