#include "server/Armazem.h"
#include "server/Sessoes.h"

#include <QTest>

class tst_Sessoes : public QObject {
    Q_OBJECT
private slots:
    void sessaoPorEnderecoEDepartamento();
    void sessaoExpiraSemUso();
    void ipv4MapeadoEOMesmoEndereco();
    void bloqueioCresceELibera();
    void bloqueioEPorUsuarioEEndereco();
    void dobraParaBusca_data();
    void dobraParaBusca();
};

void tst_Sessoes::sessaoPorEnderecoEDepartamento()
{
    Sessoes s(1000);
    const QHostAddress a(QStringLiteral("10.0.0.1")), b(QStringLiteral("10.0.0.2"));
    QVERIFY(!s.autoriza(a, 1, 0));
    s.abre(a, 1, QStringLiteral("Secretaria"), 0);
    QCOMPARE(s.autoriza(a, 1, 10).value_or(QString()), QStringLiteral("Secretaria"));
    QVERIFY(!s.autoriza(a, 2, 10));
    QVERIFY(!s.autoriza(b, 1, 10));
    s.abre(a, 2, QStringLiteral("Tesouraria"), 20);
    QVERIFY(s.autoriza(a, 1, 30));
    QVERIFY(s.autoriza(a, 2, 30));
}

void tst_Sessoes::sessaoExpiraSemUso()
{
    Sessoes s(1000);
    const QHostAddress a(QStringLiteral("10.0.0.1"));
    s.abre(a, 1, QString(), 0);
    QVERIFY(s.autoriza(a, 1, 900));    // use restarts the idle clock
    QVERIFY(s.autoriza(a, 1, 1800));
    QVERIFY(!s.autoriza(a, 1, 2801));
    QVERIFY(!s.autoriza(a, 1, 2802));   // gone for good, not revived by the attempt
}

void tst_Sessoes::ipv4MapeadoEOMesmoEndereco()
{
    Sessoes s(1000);
    s.abre(QHostAddress(QStringLiteral("::ffff:10.0.0.1")), 1, QString(), 0);
    QVERIFY(s.autoriza(QHostAddress(QStringLiteral("10.0.0.1")), 1, 1));
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
    QTEST(Armazem::dobraParaBusca(nome), "dobrado");
}

QTEST_APPLESS_MAIN(tst_Sessoes)
#include "tst_sessoes.moc"
