#include "server/store/LinhaDaFicha.h"
#include "server/Sessoes.h"

#include <QTest>

class tst_Sessoes : public QObject {
    Q_OBJECT
private slots:
    void sessaoDaChaveNaoDoEndereco();
    void outroLoginNaMesmaChaveTrocaOOperador();
    void sessaoExpiraSemUso();
    void encerradaNaoVale();
    void regraPorEnderecoSoQuandoPedida();
    void segredos();
    void ipv4MapeadoEOMesmoEndereco();
    void bloqueioCresceELibera();
    void bloqueioEPorUsuarioEEndereco();
    void dobraParaBusca_data();
    void dobraParaBusca();
};

namespace {

Portador portador(const QString& chave, const QString& endereco = QStringLiteral("10.0.0.1"), bool porEndereco = false)
{
    return {chave, endereco, porEndereco};
}

} // namespace

void tst_Sessoes::sessaoDaChaveNaoDoEndereco()
{
    Sessoes s(1000);
    const Portador a = portador(QStringLiteral("k1"));
    QVERIFY(!s.autoriza(a, 1, 0));
    QVERIFY(s.abre(a, QStringLiteral("ana"), 1, QStringLiteral("Secretaria"), 0, nullptr));
    QCOMPARE(s.autoriza(a, 1, 10).value_or(QString()), QStringLiteral("Secretaria"));
    QVERIFY(!s.autoriza(a, 2, 10));
    // The same address with another key, or with none, has nothing.
    QVERIFY(!s.autoriza(portador(QStringLiteral("k2")), 1, 10));
    QVERIFY(!s.autoriza(portador(QString()), 1, 10));
    QVERIFY(!s.consulta(portador(QString()), 1, 10));
    // Nor does the per-address rule reach a session that is not shared.
    QVERIFY(!s.autoriza(portador(QString(), QStringLiteral("10.0.0.1"), true), 1, 10));
    // A session needs a key.
    QVERIFY(!s.abre(portador(QString()), QStringLiteral("ana"), 1, QString(), 0, nullptr));
}

void tst_Sessoes::outroLoginNaMesmaChaveTrocaOOperador()
{
    Sessoes s(1000);
    const Portador a = portador(QStringLiteral("k1"));
    QVERIFY(s.abre(a, QStringLiteral("ana"), 1, QStringLiteral("Secretaria"), 0, nullptr));
    QVERIFY(s.abre(a, QStringLiteral("bia"), 2, QStringLiteral("Tesouraria"), 5, nullptr));
    QVERIFY(!s.autoriza(a, 1, 10));
    QCOMPARE(s.autoriza(a, 2, 10).value_or(QString()), QStringLiteral("Tesouraria"));
}

void tst_Sessoes::sessaoExpiraSemUso()
{
    Sessoes s(1000);
    const Portador a = portador(QStringLiteral("k1"));
    bool erro = false;
    QVERIFY(s.abre(a, QStringLiteral("ana"), 1, QString(), 0, nullptr));
    QVERIFY(s.autoriza(a, 1, 900));    // use restarts the idle clock
    QVERIFY(s.autoriza(a, 1, 1800));
    QVERIFY(s.viva(QStringLiteral("k1"), 2800, nullptr, erro));
    QVERIFY(!s.autoriza(a, 1, 2801));
    QVERIFY(!s.autoriza(a, 1, 2802));   // gone for good, not revived by the attempt
    QVERIFY(!s.viva(QStringLiteral("k1"), 2802, nullptr, erro));
    QVERIFY(!erro);
}

void tst_Sessoes::encerradaNaoVale()
{
    Sessoes s(1000);
    const Portador a = portador(QStringLiteral("k1"));
    bool erro = false;
    QVERIFY(s.abre(a, QStringLiteral("ana"), 1, QStringLiteral("Secretaria"), 0, nullptr));
    QVERIFY(s.encerra(QStringLiteral("k1"), nullptr));
    QVERIFY(!s.autoriza(a, 1, 1));
    QVERIFY(!s.consulta(a, 1, 1));
    QVERIFY(!s.viva(QStringLiteral("k1"), 1, nullptr, erro));
}

void tst_Sessoes::regraPorEnderecoSoQuandoPedida()
{
    Sessoes s(1000);
    QVERIFY(s.abre(portador(QStringLiteral("k1")), QStringLiteral("ana"), 1, QStringLiteral("Secretaria"), 0, nullptr, true));
    QVERIFY(s.abre(portador(QStringLiteral("k2")), QStringLiteral("bia"), 2, QStringLiteral("Tesouraria"), 0, nullptr, true));
    // A plain-wire connection of the same address under the rule: both departments.
    const Portador mesmo = portador(QString(), QStringLiteral("10.0.0.1"), true);
    QCOMPARE(s.autoriza(mesmo, 1, 10).value_or(QString()), QStringLiteral("Secretaria"));
    QCOMPARE(s.autoriza(mesmo, 2, 10).value_or(QString()), QStringLiteral("Tesouraria"));
    QVERIFY(!s.autoriza(portador(QString(), QStringLiteral("10.0.0.2"), true), 1, 10));
    QVERIFY(!s.autoriza(portador(QString(), QStringLiteral("10.0.0.1"), false), 1, 10));
}

void tst_Sessoes::segredos()
{
    const QString a = Sessoes::novoSegredo(), b = Sessoes::novoSegredo();
    QVERIFY(Sessoes::pareceSegredo(a));
    QVERIFY(a != b);
    const QString ka = Sessoes::chaveDoSegredo(a);
    QCOMPARE(ka, Sessoes::chaveDoSegredo(a));
    QVERIFY(ka != Sessoes::chaveDoSegredo(b));
    QVERIFY(ka != a);
    QCOMPARE(ka.size(), 64);
    for (const QString& errado : {QString(), a.left(63), a + QLatin1Char('0'), a.toUpper(), a.left(63) + QLatin1Char('|'),
                                  a.left(63) + QLatin1Char('g')})
        QVERIFY2(!Sessoes::pareceSegredo(errado), qPrintable(errado));
}

void tst_Sessoes::ipv4MapeadoEOMesmoEndereco()
{
    QCOMPARE(Sessoes::chave(QHostAddress(QStringLiteral("::ffff:10.0.0.1"))), QStringLiteral("10.0.0.1"));
}

void tst_Sessoes::bloqueioCresceELibera()
{
    TentativasDeLogin t(3, 1000, 4000);
    const QHostAddress a(QStringLiteral("10.0.0.1"));
    t.cobra(QStringLiteral("ana"), a, 0);
    t.cobra(QStringLiteral("ana"), a, 0);
    QVERIFY(!t.bloqueado(QStringLiteral("ana"), a, 1));
    t.cobra(QStringLiteral("ana"), a, 0);   // third failure: locked for 1 s
    QVERIFY(t.bloqueado(QStringLiteral("ana"), a, 999));
    QVERIFY(!t.bloqueado(QStringLiteral("ana"), a, 1000));
    t.cobra(QStringLiteral("ana"), a, 1000);   // doubles
    QVERIFY(t.bloqueado(QStringLiteral("ana"), a, 2999));
    QVERIFY(!t.bloqueado(QStringLiteral("ana"), a, 3000));
    for (int i = 0; i < 10; ++i)
        t.cobra(QStringLiteral("ana"), a, 3000);   // capped at the ceiling
    QVERIFY(t.bloqueado(QStringLiteral("ana"), a, 6999));
    QVERIFY(!t.bloqueado(QStringLiteral("ana"), a, 7000));
    t.acertou(QStringLiteral("ana"), a);
    t.cobra(QStringLiteral("ana"), a, 7000);
    QVERIFY(!t.bloqueado(QStringLiteral("ana"), a, 7000));
}

void tst_Sessoes::bloqueioEPorUsuarioEEndereco()
{
    TentativasDeLogin t(1, 1000, 1000);
    const QHostAddress a(QStringLiteral("10.0.0.1")), b(QStringLiteral("10.0.0.2"));
    t.cobra(QStringLiteral("ana"), a, 0);
    QVERIFY(t.bloqueado(QStringLiteral("ana"), a, 1));
    QVERIFY(!t.bloqueado(QStringLiteral("ana"), b, 1));
    QVERIFY(!t.bloqueado(QStringLiteral("bia"), a, 1));
}

void tst_Sessoes::dobraParaBusca_data()
{
    QTest::addColumn<QString>("nome");
    QTest::addColumn<QString>("dobrado");
    QTest::newRow("acentos e caixa") << QStringLiteral("JOSÉ da Conceição") << QStringLiteral("jose da conceicao");
    QTest::newRow("brancos") << QStringLiteral("  Ana   Lúcia ") << QStringLiteral("ana lucia");
    QTest::newRow("til e trema") << QStringLiteral("Müller Simões") << QStringLiteral("muller simoes");
    QTest::newRow("aspas ficam") << QStringLiteral("O'Neil") << QStringLiteral("o'neil");
}

void tst_Sessoes::dobraParaBusca()
{
    QFETCH(QString, nome);
    QTEST(LinhaDaFicha::dobraParaBusca(nome), "dobrado");
}

QTEST_APPLESS_MAIN(tst_Sessoes)
#include "tst_sessoes.moc"
