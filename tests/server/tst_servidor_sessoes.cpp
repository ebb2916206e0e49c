// The registry server over real sockets on loopback: sessions agreed, resumed, expired and ended,
// and the operator commands that end them.
#include "ClienteDoServidor.h"
#include "protocol/Quadros.h"
#include "server/admin/Esquema.h"
#include "server/Sessoes.h"
#include "support/Pedidos.h"
#include "support/ServidorReal.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QProcess>
#include <QTest>

class tst_ServidorSessoes : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();

    void sessaoCombinadaVoltaComOSegredo();
    void segredoForjadoNaoEntraNaSessao_data();
    void segredoForjadoNaoEntraNaSessao();
    void encerrarTerminaASessao();
    void loginNoFioSimplesValeSoNaConexao();
    void regraPorEnderecoSoQuandoLigada();
    void sessaoExpira();
    void sessaoMantidaPeloUso();
    void sessaoSobreviveAoReinicio();
    void sessoesDaVersao3SaoEncerradas();
    void cicloDoOperador_data();
    void cicloDoOperador();

private:
    std::unique_ptr<ServidorReal> m_servidor;
    std::unique_ptr<Cliente> m_cliente;
};

void tst_ServidorSessoes::initTestCase()
{
    // A session that is let in gets a list: the department has sheets from the start.
    const QString erro = sobeServidorCompartilhado(m_servidor, m_cliente, 3);
    QVERIFY2(erro.isEmpty(), qPrintable(erro));
}

void tst_ServidorSessoes::cleanupTestCase()
{
    m_cliente.reset();
    QVERIFY(diarioSemDados(*m_servidor));
    m_servidor.reset();
}

void tst_ServidorSessoes::sessaoCombinadaVoltaComOSegredo()
{
    QString segredo;
    {
        Cliente c(*m_servidor, QStringLiteral("127.0.0.12"));
        const QByteArray r = c.combina(QStringLiteral("sessao"));
        QVERIFY2(r.startsWith("99|zelto|1|sessao="), r.constData());
        segredo = Cliente::segredoDe(r);
        QVERIFY2(Quadros::pareceSegredo(segredo), qPrintable(segredo));
        QCOMPARE(c.pede(busca(0)), QByteArray("0"));   // agreed, not logged in yet
        QVERIFY(c.pede(pedidoDeLogin(QStringLiteral("operador"), QStringLiteral("senha123"))).startsWith("4|"));
        QVERIFY(c.pede(busca(0)).startsWith("13|"));
    }
    // The dropped connection comes back with its secret, from anywhere: no new login.
    for (const QString& origem : {QStringLiteral("127.0.0.12"), QStringLiteral("127.0.0.13")}) {
        Cliente d(*m_servidor, origem);
        QCOMPARE(d.combina(QStringLiteral("sessao=") + segredo), QByteArray("99|zelto|1|sessao=") + segredo.toLatin1());
        QVERIFY(d.pede(busca(0)).startsWith("13|"));
        QCOMPARE(d.pede(busca(0, QString(), QDate(), QDate(), 2)), QByteArray("0"));   // its operator's department only
    }
    // The secret itself is neither stored nor logged.
    QVariant n;
    QVERIFY(executaNoBanco(*m_servidor, {QStringLiteral("SELECT COUNT(*) FROM sessoes WHERE segredo = '%1' OR endereco = '%1'").arg(segredo)}, &n));
    QCOMPARE(n.toInt(), 0);
    // The session's row reaches the store with the writer's next pass.
    const auto linhas = [&] {
        QVariant v;
        return executaNoBanco(*m_servidor, {QStringLiteral("SELECT COUNT(*) FROM sessoes WHERE segredo = '%1'").arg(Sessoes::chaveDoSegredo(segredo))}, &v)
                   ? v.toInt() : -1;
    };
    QTRY_COMPARE_WITH_TIMEOUT(linhas(), 1, 5000);
    QVERIFY(!m_servidor->diario().contains(segredo));
}

void tst_ServidorSessoes::segredoForjadoNaoEntraNaSessao_data()
{
    QTest::addColumn<QString>("apresentado");
    QTest::newRow("aleatório") << Sessoes::novoSegredo();
    QTest::newRow("maiúsculas") << QString();   // filled with a live secret in upper case
    QTest::newRow("curto") << QStringLiteral("abc");
    QTest::newRow("vazio") << QStringLiteral("");
    QTest::newRow("a chave no lugar do segredo") << QStringLiteral("chave");
}

void tst_ServidorSessoes::segredoForjadoNaoEntraNaSessao()
{
    QFETCH(QString, apresentado);
    Cliente c(*m_servidor, QStringLiteral("127.0.0.14"));
    const QString vivo = Cliente::segredoDe(c.combina(QStringLiteral("sessao")));
    QVERIFY(c.pede(pedidoDeLogin(QStringLiteral("operador"), QStringLiteral("senha123"))).startsWith("4|"));
    if (apresentado.isNull())
        apresentado = vivo.toUpper();
    else if (apresentado == QLatin1String("chave"))
        apresentado = Sessoes::chaveDoSegredo(vivo);   // what a copy of the database would give away
    Cliente d(*m_servidor, QStringLiteral("127.0.0.14"));
    const QByteArray r = d.combina(QStringLiteral("sessao=") + apresentado);
    const QString dado = Cliente::segredoDe(r);
    QVERIFY2(Quadros::pareceSegredo(dado), r.constData());
    QVERIFY(dado != apresentado && dado != vivo);
    const qint64 antes = fichasNoBanco(*m_servidor);
    QCOMPARE(d.pede(busca(0)), QByteArray("0"));
    QCOMPARE(d.pede(ficha(0, QStringLiteral("Forjada")).toPipeStringWithCommand(Codigo::Salva)), QByteArray("0"));
    QCOMPARE(fichasNoBanco(*m_servidor), antes);
    QVERIFY(c.pede(busca(0)).startsWith("13|"));
}

void tst_ServidorSessoes::encerrarTerminaASessao()
{
    Cliente c(*m_servidor, QStringLiteral("127.0.0.15"));
    const QString segredo = Cliente::segredoDe(c.combina(QStringLiteral("sessao")));
    QVERIFY(c.pede(pedidoDeLogin(QStringLiteral("operador"), QStringLiteral("senha123"))).startsWith("4|"));
    QVERIFY(c.pede(busca(0)).startsWith("13|"));
    {
        // Log-off goes over a connection of its own.
        Cliente fim(*m_servidor, QStringLiteral("127.0.0.15"));
        QCOMPARE(fim.combina(QStringLiteral("encerrar=") + segredo), QByteArray("99|zelto|1|encerrar"));
    }
    // The connection still open in that session gets 0 from now on...
    QCOMPARE(c.pede(busca(0)), QByteArray("0"));
    QCOMPARE(c.pede(ficha(0, QStringLiteral("Depois")).toPipeStringWithCommand(Codigo::Salva)), QByteArray("0"));
    // ...and so does a reconnect presenting the old secret: it gets a new one, not the session.
    Cliente d(*m_servidor, QStringLiteral("127.0.0.15"));
    const QString novo = Cliente::segredoDe(d.combina(QStringLiteral("sessao=") + segredo));
    QVERIFY(Quadros::pareceSegredo(novo) && novo != segredo);
    QCOMPARE(d.pede(busca(0)), QByteArray("0"));
}

void tst_ServidorSessoes::loginNoFioSimplesValeSoNaConexao()
{
    ServidorReal s;
    QVERIFY2(s.inicia(), qPrintable(s.erro()));
    const auto sessoes = [&] {
        QVariant n;
        return executaNoBanco(s, {QStringLiteral("SELECT COUNT(*) FROM sessoes")}, &n) ? n.toInt() : -1;
    };
    {
        Cliente c(s);
        QVERIFY(c.pede(pedidoDeLogin(s.conta().usuario, s.conta().senha)).startsWith("4|"));
        QCOMPARE(c.pede(busca(0)), QByteArray("14"));
        // The store's writer writes the login's row within a second.
        QTRY_COMPARE_WITH_TIMEOUT(sessoes(), 1, 5000);
        Cliente d(s);
        QCOMPARE(d.pede(busca(0)), QByteArray("0"));
    }
    // The connection closed: its session is gone from the database.
    QDeadlineTimer prazo(5000);
    while (sessoes() != 0 && !prazo.hasExpired())
        QTest::qWait(20);
    QCOMPARE(sessoes(), 0);
    Cliente e(s);
    QCOMPARE(e.pede(busca(0)), QByteArray("0"));
}

void tst_ServidorSessoes::regraPorEnderecoSoQuandoLigada()
{
    ServidorReal s;
    s.defineArgumentos({QStringLiteral("--sessao-por-endereco")});
    QVERIFY2(s.inicia(), qPrintable(s.erro()));
    QVERIFY(s.diario().contains(QStringLiteral("--sessao-por-endereco ligada")));
    {
        Cliente c(s, QStringLiteral("127.0.0.16"));
        QVERIFY(c.pede(pedidoDeLogin(s.conta().usuario, s.conta().senha)).startsWith("4|"));
    }
    // As the original client expects: its reconnect from that address needs no login.
    Cliente d(s, QStringLiteral("127.0.0.16"));
    QCOMPARE(d.pede(busca(0)), QByteArray("14"));
    QVERIFY(d.pede(ficha(0, QStringLiteral("Pelo Endereço")).toPipeStringWithCommand(Codigo::Salva)).startsWith("7|"));
    // Not another address, and not a client that agreed on sessions of its own.
    Cliente e(s, QStringLiteral("127.0.0.17"));
    QCOMPARE(e.pede(busca(0)), QByteArray("0"));
    Cliente f(s, QStringLiteral("127.0.0.16"));
    QVERIFY(f.combina(QStringLiteral("sessao")).startsWith("99|zelto|1|sessao="));
    QCOMPARE(f.pede(busca(0)), QByteArray("0"));

    QProcess p;
    p.start(ServidorReal::binario(), {QStringLiteral("sessoes"), QStringLiteral("--db"), s.conexaoDoBanco()});
    QVERIFY(p.waitForFinished(10000));
    const QString lista = QString::fromUtf8(p.readAllStandardOutput());
    QVERIFY2(lista.contains(QStringLiteral("127.0.0.16")) && lista.contains(QStringLiteral("(de todo o endereço)")), qPrintable(lista));
}

void tst_ServidorSessoes::sessaoExpira()
{
    ServidorReal s;
    s.defineArgumentos({QStringLiteral("--sessao-horas"), QStringLiteral("0.0003")});   // about a second
    QVERIFY2(s.inicia(), qPrintable(s.erro()));
    Cliente c(s);
    QVERIFY(c.pede(pedidoDeLogin(s.conta().usuario, s.conta().senha)).startsWith("4|"));
    QCOMPARE(c.pede(busca(0)), QByteArray("14"));
    QTest::qWait(1600);
    QCOMPARE(c.pede(busca(0)), QByteArray("0"));
    QVERIFY(c.pede(pedidoDeLogin(s.conta().usuario, s.conta().senha)).startsWith("4|"));
    QCOMPARE(c.pede(busca(0)), QByteArray("14"));
}

// The store keeps the sessions: each request moves its session's clock, so an operator who
// keeps working is never sent back to the login, and one who stops is.
void tst_ServidorSessoes::sessaoMantidaPeloUso()
{
    ServidorReal s;
    s.defineArgumentos({QStringLiteral("--sessao-horas"), QStringLiteral("0.0005")});   // 1.8 s
    QVERIFY2(s.inicia(), qPrintable(s.erro()));
    Cliente c(s);
    QVERIFY(c.pede(pedidoDeLogin(s.conta().usuario, s.conta().senha)).startsWith("4|"));
    QElapsedTimer decorrido;
    decorrido.start();
    while (decorrido.elapsed() < 6000) {
        QCOMPARE(c.pede(busca(0)), QByteArray("14"));
        QTest::qWait(450);
    }
    QTest::qWait(2600);
    QCOMPARE(c.pede(busca(0)), QByteArray("0"));
}

void tst_ServidorSessoes::sessaoSobreviveAoReinicio()
{
    ServidorReal s;
    QVERIFY2(s.inicia(), qPrintable(s.erro()));
    QString segredo;
    {
        Cliente c(s, QStringLiteral("127.0.0.9"));
        segredo = Cliente::segredoDe(c.combina(QStringLiteral("sessao")));
        QVERIFY(c.pede(pedidoDeLogin(s.conta().usuario, s.conta().senha)).startsWith("4|"));
        QCOMPARE(c.pede(busca(0)), QByteArray("14"));
    }
    // The client reconnects to a restarted server without logging in again.
    QVERIFY2(s.reinicia(), qPrintable(s.erro()));
    Cliente c(s, QStringLiteral("127.0.0.9"));
    QCOMPARE(c.combina(QStringLiteral("sessao=") + segredo), QByteArray("99|zelto|1|sessao=") + segredo.toLatin1());
    QCOMPARE(c.pede(busca(0)), QByteArray("14"));
    Cliente outro(s, QStringLiteral("127.0.0.9"));
    QCOMPARE(outro.pede(busca(0)), QByteArray("0"));
}

void tst_ServidorSessoes::sessoesDaVersao3SaoEncerradas()
{
    ServidorReal s;
    QVERIFY2(s.inicia(), qPrintable(s.erro()));
    s.para();
    // Sessions as version 3 kept them: one per address and operator, a token nobody holds.
    QVERIFY(executaNoBanco(s, {QStringLiteral("DROP TABLE sessoes"),
                               QStringLiteral("CREATE TABLE sessoes (segredo TEXT NOT NULL PRIMARY KEY, endereco TEXT NOT NULL, "
                                              "usuario TEXT NOT NULL REFERENCES operadores (usuario) ON DELETE CASCADE, "
                                              "aberta_em BIGINT NOT NULL, ultima_atividade BIGINT NOT NULL)"),
                               QStringLiteral("CREATE UNIQUE INDEX sessoes_por_endereco ON sessoes (endereco, usuario)"),
                               QStringLiteral("INSERT INTO sessoes VALUES ('velho', '127.0.0.1', '%1', %2, %2)")
                                   .arg(s.conta().usuario)
                                   .arg(QDateTime::currentMSecsSinceEpoch()),
                               QStringLiteral("UPDATE versao_esquema SET versao = 3")}));
    QVERIFY2(s.inicia(), qPrintable(s.erro()));
    // The address's old session is not honoured any more.
    Cliente c(s);
    QCOMPARE(c.pede(busca(0)), QByteArray("0"));
    // Two connections of one operator from one address each have a session now.
    Cliente d(s);
    QVERIFY(c.pede(pedidoDeLogin(s.conta().usuario, s.conta().senha)).startsWith("4|"));
    QVERIFY(d.pede(pedidoDeLogin(s.conta().usuario, s.conta().senha)).startsWith("4|"));
    QCOMPARE(c.pede(busca(0)), QByteArray("14"));
    QCOMPARE(d.pede(busca(0)), QByteArray("14"));
    QVariant v;
    QTRY_VERIFY_WITH_TIMEOUT(executaNoBanco(s, {QStringLiteral("SELECT COUNT(*) FROM sessoes")}, &v) && v.toInt() == 2, 5000);
    QVERIFY(executaNoBanco(s, {QStringLiteral("SELECT versao FROM versao_esquema")}, &v));
    QCOMPARE(v.toInt(), Esquema::versaoDoEsquema);
}

void tst_ServidorSessoes::cicloDoOperador_data()
{
    QTest::addColumn<QStringList>("comando");
    QTest::addColumn<QByteArray>("entrada");
    QTest::addColumn<bool>("loginDepois");   // the operator's old password still logs in
    QTest::newRow("desativar") << QStringList{QStringLiteral("desativar-operador")} << QByteArray() << false;
    QTest::newRow("remover") << QStringList{QStringLiteral("remover-operador")} << QByteArray() << false;
    QTest::newRow("encerrar sessoes") << QStringList{QStringLiteral("encerrar-sessoes")} << QByteArray() << true;
    // No department restated: the password alone changes.
    QTest::newRow("trocar senha") << QStringList{QStringLiteral("operador"), QStringLiteral("--custo-senha"), QStringLiteral("minimo")}
                                  << QByteArray("Nova-Senha\n") << false;
}

void tst_ServidorSessoes::cicloDoOperador()
{
    QFETCH(QStringList, comando);
    QFETCH(QByteArray, entrada);
    QFETCH(bool, loginDepois);
    ServidorReal s;
    QVERIFY2(s.inicia(), qPrintable(s.erro()));
    Cliente c(s, QStringLiteral("127.0.0.11"));
    QVERIFY(c.pede(pedidoDeLogin(s.conta().usuario, s.conta().senha)).startsWith("4|"));
    QCOMPARE(c.pede(busca(0)), QByteArray("14"));
    QVERIFY2(s.administra(comando << QStringLiteral("--usuario") << s.conta().usuario, entrada), qPrintable(s.erro()));
    // The very next request, on the same open connection, is refused.
    QCOMPARE(c.pede(busca(0)), QByteArray("0"));
    QCOMPARE(c.pede(ficha(0, QStringLiteral("Depois")).toPipeStringWithCommand(Codigo::Salva)), QByteArray("0"));
    const QByteArray login = c.pede(pedidoDeLogin(s.conta().usuario, s.conta().senha));
    QCOMPARE(login.startsWith("4|"), loginDepois);
    if (comando.first() == QLatin1String("operador"))
        QVERIFY(c.pede(pedidoDeLogin(s.conta().usuario, QStringLiteral("Nova-Senha"))).startsWith("4|"));
    if (comando.first() == QLatin1String("desativar-operador")) {
        QVERIFY(s.administra({QStringLiteral("ativar-operador"), QStringLiteral("--usuario"), s.conta().usuario}));
        QVERIFY(c.pede(pedidoDeLogin(s.conta().usuario, s.conta().senha)).startsWith("4|"));
        QCOMPARE(c.pede(busca(0)), QByteArray("14"));
    }
    QVERIFY(!s.administra({QStringLiteral("desativar-operador"), QStringLiteral("--usuario"), QStringLiteral("ninguem")}));
}

QTEST_GUILESS_MAIN(tst_ServidorSessoes)
#include "tst_servidor_sessoes.moc"
