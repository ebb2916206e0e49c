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
    void tamanhoDoPedido_data();
    void tamanhoDoPedido();
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

// Before a login a request stays small; an address that logged in within a session's time keeps
// the full size under the per-address rule, and only that address, and only for that time.
void tst_Baldes::tamanhoDoPedido_data()
{
    QTest::addColumn<bool>("porEndereco");
    QTest::addColumn<qsizetype>("semLogin");
    QTest::addColumn<bool>("autenticada");
    QTest::addColumn<QString>("endereco");
    QTest::addColumn<qint64>("depoisMs");   // after the login from 10.0.0.1 at t=1000
    QTest::addColumn<qsizetype>("maximo");
    const QString daqui = QStringLiteral("10.0.0.1");
    const QString outro = QStringLiteral("10.0.0.2");
    QTest::newRow("com login") << false << qsizetype(4096) << true << outro << qint64(0) << qsizetype(65536);
    QTest::newRow("sem login") << false << qsizetype(4096) << false << daqui << qint64(1) << qsizetype(4096);
    QTest::newRow("endereco que entrou") << true << qsizetype(4096) << false << daqui << qint64(59'999) << qsizetype(65536);
    QTest::newRow("outro endereco") << true << qsizetype(4096) << false << outro << qint64(1) << qsizetype(4096);
    QTest::newRow("login antigo") << true << qsizetype(4096) << false << daqui << qint64(60'000) << qsizetype(4096);
    QTest::newRow("sem login nunca acima do maior") << false << qsizetype(1 << 20) << false << daqui << qint64(1) << qsizetype(65536);
}

void tst_Baldes::tamanhoDoPedido()
{
    QFETCH(bool, porEndereco);
    QFETCH(qsizetype, semLogin);
    QFETCH(bool, autenticada);
    QFETCH(QString, endereco);
    QFETCH(qint64, depoisMs);
    TamanhoDoPedido tamanhos(65536, semLogin, porEndereco, 60'000);
    QCOMPARE(tamanhos.maximo(false, QStringLiteral("10.0.0.1"), 0), std::min<qsizetype>(semLogin, 65536));
    tamanhos.entrou(QStringLiteral("10.0.0.1"), 1000);
    QTEST(tamanhos.maximo(autenticada, endereco, 1000 + depoisMs), "maximo");
}

QTEST_APPLESS_MAIN(tst_Baldes)
#include "tst_baldes.moc"
