// The history the server keeps: a row with every change (and none without one), the sheet's
// history our client asks for, the chain and what --verificar names, retention, the listing
// and the member's own export, the migration from the schema before it. On both stores.
#include "protocol/Historico.h"
#include "protocol/clsAgenda.h"
#include "protocol/modCommands.h"
#include "server/store/Banco.h"
#include "server/admin/Esquema.h"
#include "server/history/Historico.h"
#include "HistoricoNoTeste.h"
#include "support/ClienteEmQuadros.h"
#include "support/Pedidos.h"
#include "support/ServidorReal.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTest>

#include <sys/stat.h>

using namespace HistoricoNoTeste;

class tst_HistoricoServidor : public QObject {
    Q_OBJECT
private slots:
    void mudancasEHistoricoDaFicha();
    void semMudancaSemLinha_data();
    void semMudancaSemLinha();
    void outroDepartamentoRecebeZero();
    void soComACapacidadeCombinada();
    void verificarNomeiaAAdulteracao_data();
    void verificarNomeiaAAdulteracao();
    void duasInstanciasUmaCadeia();
    void retencaoMantemACadeia();
    void listagemEFiltros_data();
    void listagemEFiltros();
    void titularRecebeTudo();
    void migracaoDaVersao4();

private:
    std::unique_ptr<ServidorReal> m_listagem;   // one server for the listing's rows
};

void tst_HistoricoServidor::mudancasEHistoricoDaFicha()
{
    ServidorReal s;
    QVERIFY2(s.inicia(), qPrintable(s.erro()));
    ClienteEmQuadros c(s, comHistorico);
    QVERIFY(c.combinado().contains("historico"));
    QVERIFY(c.entra(s.conta()));
    QVERIFY(c.pede(ficha(5, QStringLiteral("Ana")).toPipeStringWithCommand(Codigo::Inclui)).startsWith("9|"));
    clsAgenda alterada = ficha(5, QStringLiteral("Ana Maria"));
    alterada.cidade = QStringLiteral("Olinda");
    QVERIFY(c.pede(alterada.toPipeStringWithCommand(Codigo::Salva)).startsWith("7|"));
    QVERIFY(c.pede(busca(5)).startsWith("13|"));
    QVERIFY(esperaLinhas(s, QStringLiteral("acao = 'consulta da ficha'"), 1));

    const QList<Historico::Entrada> e = c.historico(5);
    QCOMPARE(e.size(), 3);   // newest first
    QCOMPARE(e[0].acao, QStringLiteral("consulta da ficha"));
    QCOMPARE(e[1].acao, QStringLiteral("alteração"));
    QCOMPARE(e[1].operador, s.conta().usuario);
    QCOMPARE(e[1].alteracoes,
             (QList<Historico::Alteracao>{{QStringLiteral("nome"), QStringLiteral("Ana"), QStringLiteral("Ana Maria")},
                                          {QStringLiteral("cidade"), QStringLiteral("Recife"), QStringLiteral("Olinda")}}));
    QCOMPARE(e[2].acao, QStringLiteral("inclusão"));
    QVERIFY(e[2].alteracoes.contains(Historico::Alteracao{QStringLiteral("nome"), QString(), QStringLiteral("Ana")}));
    QVERIFY(e[1].quando <= QDateTime::currentDateTimeUtc() && e[1].quando >= e[2].quando);

    // A deletion keeps the sheet as it was; the history of a deleted sheet is still there.
    QCOMPARE(c.pede(alterada.toPipeStringWithCommand(Codigo::Exclui)), QByteArray("11"));
    const QList<Historico::Entrada> depois = c.historico(5);
    QVERIFY(!depois.isEmpty());
    QCOMPARE(depois[0].acao, QStringLiteral("exclusão"));
    QVERIFY(depois[0].alteracoes.contains(Historico::Alteracao{QStringLiteral("nome"), QStringLiteral("Ana Maria"), QString()}));

    // Logins are rows too; no password ever is.
    QVERIFY(esperaLinhas(s, QStringLiteral("acao = 'login'"), 1));
    QCOMPARE(valor(s, QStringLiteral("SELECT COUNT(*) FROM historico WHERE detalhe LIKE '%senha123%' OR alteracoes LIKE '%senha123%'")).toInt(), 0);
    const Saida v = roda(s, {QStringLiteral("historico"), QStringLiteral("--verificar")});
    QVERIFY2(v.codigo == 0, qPrintable(v.texto));
}

void tst_HistoricoServidor::semMudancaSemLinha_data()
{
    // A failure planted by hand in the store, on one side or the other of a change.
    QTest::addColumn<QString>("tabela");
    QTest::newRow("a linha do histórico falha") << QStringLiteral("historico");
    QTest::newRow("a ficha falha") << QStringLiteral("fichas");
}

void tst_HistoricoServidor::semMudancaSemLinha()
{
    QFETCH(QString, tabela);
    ServidorReal s;
    QVERIFY2(s.inicia(), qPrintable(s.erro()));
    const QStringList gatilho = s.ehPostgres()
        ? QStringList{QStringLiteral("CREATE FUNCTION recusa() RETURNS trigger AS $$ BEGIN IF NEW.numeroficha = 77 THEN "
                                     "RAISE EXCEPTION 'recusada'; END IF; RETURN NEW; END $$ LANGUAGE plpgsql"),
                      QStringLiteral("CREATE TRIGGER recusa BEFORE INSERT ON %1 FOR EACH ROW EXECUTE FUNCTION recusa()").arg(tabela)}
        : QStringList{QStringLiteral("CREATE TRIGGER recusa BEFORE INSERT ON %1 WHEN NEW.numeroficha = 77 "
                                     "BEGIN SELECT RAISE(ABORT, 'recusada'); END")
                          .arg(tabela)};
    QVERIFY2(s.executaNoBanco(gatilho), qPrintable(s.erro()));
    ClienteEmQuadros c(s, comHistorico);
    QVERIFY(c.entra(s.conta()));
    QCOMPARE(c.pede(ficha(77, QStringLiteral("Recusada")).toPipeStringWithCommand(Codigo::Inclui)), QByteArray("0"));
    // Another change of the same batch is untouched.
    QVERIFY(c.pede(ficha(78, QStringLiteral("Aceita")).toPipeStringWithCommand(Codigo::Inclui)).startsWith("9|"));
    QCOMPARE(valor(s, QStringLiteral("SELECT COUNT(*) FROM fichas WHERE numeroficha = 77")).toInt(), 0);
    QCOMPARE(valor(s, QStringLiteral("SELECT COUNT(*) FROM historico WHERE numeroficha = 77")).toInt(), 0);
    QCOMPARE(valor(s, QStringLiteral("SELECT COUNT(*) FROM fichas WHERE numeroficha = 78")).toInt(), 1);
    QCOMPARE(valor(s, QStringLiteral("SELECT COUNT(*) FROM historico WHERE numeroficha = 78")).toInt(), 1);
}

void tst_HistoricoServidor::outroDepartamentoRecebeZero()
{
    ServidorReal s;
    QVERIFY2(s.inicia(), qPrintable(s.erro()));
    const ServidorReal::Conta outra{2, QStringLiteral("Tesouraria"), QStringLiteral("tesoureiro"), QStringLiteral("senha456")};
    QVERIFY2(s.adicionaConta(outra), qPrintable(s.erro()));
    ClienteEmQuadros b(s, comHistorico);
    QVERIFY(b.entra(outra));
    QVERIFY(b.pede(ficha(9, QStringLiteral("De B"), 2).toPipeStringWithCommand(Codigo::Inclui)).startsWith("9|"));
    QCOMPARE(b.historico(9).size(), 1);

    ClienteEmQuadros a(s, comHistorico);
    QVERIFY(a.entra(s.conta()));
    QByteArray cru;
    QVERIFY(a.historico(9, &cru).isEmpty());
    QCOMPARE(cru, QByteArray("0"));
    // Its own sheet 9 shows only its own rows.
    QVERIFY(a.pede(ficha(9, QStringLiteral("De A")).toPipeStringWithCommand(Codigo::Inclui)).startsWith("9|"));
    const QList<Historico::Entrada> e = a.historico(9);
    QCOMPARE(e.size(), 1);
    QCOMPARE(e[0].operador, s.conta().usuario);
    // Without a session: 0.
    ClienteEmQuadros semLogin(s, comHistorico);
    QCOMPARE(semLogin.pede(Historico::pedido(9)), QByteArray("0"));
}

void tst_HistoricoServidor::soComACapacidadeCombinada()
{
    ServidorReal s;
    QVERIFY2(s.inicia(), qPrintable(s.erro()));
    ClienteEmQuadros c(s, {QStringLiteral("quadros")});
    QVERIFY(!c.combinado().contains("historico"));
    QVERIFY(c.entra(s.conta()));
    QCOMPARE(c.pede(Historico::pedido(1)), QByteArray("0"));
}

void tst_HistoricoServidor::verificarNomeiaAAdulteracao_data()
{
    QTest::addColumn<QString>("sql");
    QTest::addColumn<QString>("esperado");
    QTest::newRow("alterada") << QStringLiteral("UPDATE historico SET operador = 'outro' WHERE id = 3") << QStringLiteral("linha 3 foi alterada");
    // A hand edit of any one column of a row (row 3: the inclusion of a sheet from 127.0.0.1).
    const QStringList colunas{QStringLiteral("quando = quando + 1"),
                              QStringLiteral("iddepartamento = iddepartamento + 1"),
                              QStringLiteral("endereco = '10.9.8.7'"),
                              QStringLiteral("acao = 'consulta da ficha'"),
                              QStringLiteral("numeroficha = numeroficha + 1"),
                              QStringLiteral("alteracoes = 'nome,,Outro'"),
                              QStringLiteral("detalhe = 'x'"),
                              QStringLiteral("hash = '00'")};
    for (const QString& atribuicao : colunas)
        QTest::newRow(qPrintable(QStringLiteral("coluna ") + atribuicao.section(u' ', 0, 0)))
            << QStringLiteral("UPDATE historico SET %1 WHERE id = 3").arg(atribuicao) << QStringLiteral("linha 3 foi alterada");
    QTest::newRow("removida") << QStringLiteral("DELETE FROM historico WHERE id = 3") << QStringLiteral("linha 3 foi removida");
    QTest::newRow("primeiras removidas") << QStringLiteral("DELETE FROM historico WHERE id <= 2") << QStringLiteral("linhas 1 a 2 foram removidas");
    QTest::newRow("incluída") << QStringLiteral("INSERT INTO historico (id, quando, operador, iddepartamento, endereco, acao, numeroficha, "
                                                "alteracoes, detalhe, hash) SELECT MAX(id) + 1, 0, 'x', 1, '', 'inclusão', 1, '', '', "
                                                "'00' FROM historico")
                              << QStringLiteral("foi alterada ou incluída");
}

void tst_HistoricoServidor::verificarNomeiaAAdulteracao()
{
    QFETCH(QString, sql);
    QFETCH(QString, esperado);
    ServidorReal s;
    QVERIFY2(s.inicia(), qPrintable(s.erro()));
    {
        ClienteEmQuadros c(s, comHistorico);
        QVERIFY(c.entra(s.conta()));
        for (int i = 1; i <= 3; ++i)
            QVERIFY(c.pede(ficha(i, QStringLiteral("F%1").arg(i)).toPipeStringWithCommand(Codigo::Inclui)).startsWith("9|"));
    }
    QVERIFY(valor(s, QStringLiteral("SELECT COUNT(*) FROM historico")).toInt() >= 5);
    QCOMPARE(roda(s, {QStringLiteral("historico"), QStringLiteral("--verificar")}).codigo, 0);
    QVERIFY2(s.executaNoBanco({sql}), qPrintable(s.erro()));
    const Saida v = roda(s, {QStringLiteral("historico"), QStringLiteral("--verificar")});
    QCOMPARE(v.codigo, 1);
    QVERIFY2(v.texto.contains(esperado), qPrintable(v.texto));
}

void tst_HistoricoServidor::duasInstanciasUmaCadeia()
{
    // Two servers on one database append to one chain, at the same time.
    ServidorReal s;
    QVERIFY2(s.inicia(), qPrintable(s.erro()));
    const std::unique_ptr<ServidorReal> t = s.outraInstancia();
    QVERIFY2(t->inicia(), qPrintable(t->erro()));
    ClienteEmQuadros a(s, comHistorico), b(*t, comHistorico);
    QVERIFY(a.entra(s.conta()));
    QVERIFY(b.entra(s.conta()));
    for (int i = 1; i <= 20; ++i) {
        QVERIFY2(a.pede(ficha(i, QStringLiteral("A%1").arg(i)).toPipeStringWithCommand(Codigo::Salva)).startsWith("7|"), qPrintable(s.diario().right(1500)));
        QVERIFY2(b.pede(ficha(100 + i, QStringLiteral("B%1").arg(i)).toPipeStringWithCommand(Codigo::Salva)).startsWith("7|"), qPrintable(t->diario().right(1500)));
    }
    QCOMPARE(valor(s, QStringLiteral("SELECT COUNT(*) FROM historico WHERE acao = 'inclusão'")).toInt(), 40);
    const Saida v = roda(s, {QStringLiteral("historico"), QStringLiteral("--verificar")});
    QVERIFY2(v.codigo == 0, qPrintable(v.texto));
}

void tst_HistoricoServidor::retencaoMantemACadeia()
{
    ServidorReal s;
    QVERIFY2(s.inicia(), qPrintable(s.erro()));
    s.para();
    // A registry whose history began in 2020: old rows first, then today's.
    QVERIFY(s.executaNoBanco({QStringLiteral("DELETE FROM historico")}));
    {
        Banco banco(s.conexaoDoBanco());
        QVERIFY2(banco.abre(false), qPrintable(banco.ultimoErro()));
        QList<RegistroDoHistorico> linhas;
        for (int i = 0; i < 15; ++i) {
            RegistroDoHistorico r;
            r.quandoMs = i < 10 ? QDateTime(QDate(2020, 3, 1 + i), QTime(12, 0), Qt::UTC).toMSecsSinceEpoch()
                                : QDateTime::currentMSecsSinceEpoch();
            r.operador = QStringLiteral("operador");
            r.idDepartamento = 1;
            r.acao = Acao::alteracao();
            r.numeroFicha = i + 1;
            linhas << r;
        }
        QVERIFY2(HistoricoGravado(banco).acrescenta(linhas), qPrintable(banco.ultimoErro()));
    }
    const Saida apagou = roda(s, {QStringLiteral("historico"), QStringLiteral("--apagar-ate"), QStringLiteral("31/12/2020")});
    QVERIFY2(apagou.codigo == 0 && apagou.texto.contains(QStringLiteral("10 linha(s)")), qPrintable(apagou.texto));
    QCOMPARE(valor(s, QStringLiteral("SELECT MIN(id) FROM historico")).toInt(), 11);
    QCOMPARE(valor(s, QStringLiteral("SELECT COUNT(*) FROM historico WHERE acao = 'retenção'")).toInt(), 1);
    Saida v = roda(s, {QStringLiteral("historico"), QStringLiteral("--verificar")});
    QVERIFY2(v.codigo == 0, qPrintable(v.texto));
    // Nothing more to remove: still verifiable, and a retention of today's rows is refused.
    QCOMPARE(roda(s, {QStringLiteral("historico"), QStringLiteral("--apagar-ate"), QStringLiteral("31/12/2020")}).codigo, 0);
    QCOMPARE(roda(s, {QStringLiteral("historico"), QStringLiteral("--apagar-ate"),
                      QDateTime::currentDateTimeUtc().date().toString(QStringLiteral("dd/MM/yyyy"))})
                 .codigo,
             1);
    v = roda(s, {QStringLiteral("historico"), QStringLiteral("--verificar")});
    QVERIFY2(v.codigo == 0, qPrintable(v.texto));
    // Rows removed by hand at the front are not a retention.
    QVERIFY(s.executaNoBanco({QStringLiteral("DELETE FROM historico WHERE id = 11")}));
    v = roda(s, {QStringLiteral("historico"), QStringLiteral("--verificar")});
    QVERIFY2(v.codigo == 1 && v.texto.contains(QStringLiteral("linhas 1 a 11")), qPrintable(v.texto));
}

void tst_HistoricoServidor::listagemEFiltros_data()
{
    QTest::addColumn<QStringList>("argumentos");
    QTest::addColumn<int>("codigo");
    QTest::addColumn<QString>("contem");
    QTest::addColumn<QString>("naoContem");
    QTest::newRow("ficha") << QStringList{QStringLiteral("--ficha"), QStringLiteral("2")} << 0 << QStringLiteral("Dois") << QStringLiteral("Um");
    QTest::newRow("operador") << QStringList{QStringLiteral("--operador"), QStringLiteral("tesoureiro")} << 0 << QStringLiteral("Tres")
                              << QStringLiteral("Dois");
    QTest::newRow("departamento") << QStringList{QStringLiteral("--departamento"), QStringLiteral("1")} << 0 << QStringLiteral("Um")
                                  << QStringLiteral("Tres");
    QTest::newRow("csv") << QStringList{QStringLiteral("--csv"), QStringLiteral("--ficha"), QStringLiteral("1")} << 0
                         << QStringLiteral("Data e hora (UTC);Operador;Departamento;Endereço;Ação;Ficha") << QStringLiteral("Dois");
    QTest::newRow("hoje") << QStringList{QStringLiteral("--desde"), QDate::currentDate().addDays(-1).toString(QStringLiteral("dd/MM/yyyy")),
                                         QStringLiteral("--ate"), QDate::currentDate().addDays(1).toString(QStringLiteral("dd/MM/yyyy"))}
                          << 0 << QStringLiteral("Tres") << QString();
    QTest::newRow("passado") << QStringList{QStringLiteral("--ate"), QStringLiteral("01/01/2001")} << 0 << QStringLiteral("0 linha(s)")
                             << QStringLiteral("Um");
    QTest::newRow("data ruim") << QStringList{QStringLiteral("--desde"), QStringLiteral("31/02/2024")} << 1
                               << QStringLiteral("--desde espera uma data válida") << QStringLiteral("Data e hora");
    QTest::newRow("data em outro formato") << QStringList{QStringLiteral("--ate"), QStringLiteral("2024-01-01")} << 1
                                           << QStringLiteral("dd/MM/aaaa") << QStringLiteral("Data e hora");
    QTest::newRow("período invertido") << QStringList{QStringLiteral("--desde"), QStringLiteral("02/01/2024"), QStringLiteral("--ate"),
                                                      QStringLiteral("01/01/2024")}
                                       << 1 << QStringLiteral("é depois de") << QStringLiteral("Data e hora");
    QTest::newRow("operador desconhecido") << QStringList{QStringLiteral("--operador"), QStringLiteral("fantasma")} << 1
                                           << QStringLiteral("operador desconhecido") << QStringLiteral("Data e hora");
    QTest::newRow("ficha enorme") << QStringList{QStringLiteral("--ficha"), QStringLiteral("99999999999")} << 1
                                  << QStringLiteral("--ficha espera um número") << QStringLiteral("Data e hora");
}

void tst_HistoricoServidor::listagemEFiltros()
{
    QFETCH(QStringList, argumentos);
    QFETCH(int, codigo);
    QFETCH(QString, contem);
    QFETCH(QString, naoContem);
    if (!m_listagem) {
        m_listagem = std::make_unique<ServidorReal>();
        ServidorReal& s = *m_listagem;
        QVERIFY2(s.inicia(), qPrintable(s.erro()));
        const ServidorReal::Conta outra{2, QStringLiteral("Tesouraria"), QStringLiteral("tesoureiro"), QStringLiteral("senha456")};
        QVERIFY2(s.adicionaConta(outra), qPrintable(s.erro()));
        ClienteEmQuadros a(s, comHistorico), b(s, comHistorico);
        QVERIFY(a.entra(s.conta()));
        QVERIFY(b.entra(outra));
        QVERIFY(a.pede(ficha(1, QStringLiteral("Um")).toPipeStringWithCommand(Codigo::Inclui)).startsWith("9|"));
        QVERIFY(a.pede(ficha(2, QStringLiteral("Dois")).toPipeStringWithCommand(Codigo::Inclui)).startsWith("9|"));
        QVERIFY(b.pede(ficha(3, QStringLiteral("Tres"), 2).toPipeStringWithCommand(Codigo::Inclui)).startsWith("9|"));
    }
    const Saida r = roda(*m_listagem, QStringList{QStringLiteral("historico")} + argumentos);
    QVERIFY2(r.codigo == codigo, qPrintable(r.texto));
    QVERIFY2(r.texto.contains(contem), qPrintable(r.texto));
    if (!naoContem.isEmpty())
        QVERIFY2(!r.texto.contains(naoContem), qPrintable(r.texto));
}

void tst_HistoricoServidor::titularRecebeTudo()
{
    ServidorReal s;
    QVERIFY2(s.inicia(), qPrintable(s.erro()));
    ClienteEmQuadros c(s, comHistorico);
    QVERIFY(c.entra(s.conta()));
    QVERIFY(c.pede(ficha(4, QStringLiteral("Bia")).toPipeStringWithCommand(Codigo::Inclui)).startsWith("9|"));
    QVERIFY(c.pede(ficha(4, QStringLiteral("Beatriz")).toPipeStringWithCommand(Codigo::Salva)).startsWith("7|"));
    const QString arquivo = s.pasta() + QStringLiteral("/titular.txt");
    const Saida r = roda(s, {QStringLiteral("titular"), QStringLiteral("--ficha"), QStringLiteral("4"), QStringLiteral("--para"), arquivo});
    QVERIFY2(r.codigo == 0, qPrintable(r.texto));
    for (const QString& caminho : {arquivo, s.pasta() + QStringLiteral("/titular.csv")}) {
        QFile f(caminho);
        QVERIFY2(f.open(QIODevice::ReadOnly), qPrintable(caminho));
        const QString texto = QString::fromUtf8(f.readAll());
        // The text says "old" → "new"; the CSV the same inside its quoting.
        QVERIFY2(texto.contains(QStringLiteral("Bia\"") + (caminho.endsWith(QLatin1String(".csv")) ? QStringLiteral("\" → \"\"") : QStringLiteral(" → \""))
                                + QStringLiteral("Beatriz")),
                 qPrintable(texto));
        struct stat st {};
        QVERIFY(::stat(QFile::encodeName(caminho).constData(), &st) == 0);
        QCOMPARE(st.st_mode & 0777, 0600u);
    }
    // Never over an existing file; and the export is in the sheet's history.
    QCOMPARE(roda(s, {QStringLiteral("titular"), QStringLiteral("--ficha"), QStringLiteral("4"), QStringLiteral("--para"), arquivo}).codigo, 1);
    QCOMPARE(c.historico(4).first().acao, Acao::titular());
}

void tst_HistoricoServidor::migracaoDaVersao4()
{
    ServidorReal s(30);
    QVERIFY2(s.inicia(), qPrintable(s.erro()));
    s.para();
    // The registry as the version before the history left it.
    QVERIFY(s.executaNoBanco({QStringLiteral("DROP TABLE historico"), QStringLiteral("UPDATE versao_esquema SET versao = 4")}));
    QVERIFY2(s.inicia(), qPrintable(s.erro()));
    QCOMPARE(valor(s, QStringLiteral("SELECT versao FROM versao_esquema")).toInt(), Esquema::versaoDoEsquema);
    ClienteEmQuadros c(s, comHistorico);
    QVERIFY(c.entra(s.conta()));
    QCOMPARE(s.fichasNoBanco(), 30);
    clsAgenda f = ficha(7, QStringLiteral("Depois da migração"));
    QVERIFY(c.pede(f.toPipeStringWithCommand(Codigo::Salva)).startsWith("7|"));
    const QList<Historico::Entrada> e = c.historico(7);
    QCOMPARE(e.size(), 1);
    QCOMPARE(e[0].acao, QStringLiteral("alteração"));
    const Saida v = roda(s, {QStringLiteral("historico"), QStringLiteral("--verificar")});
    QVERIFY2(v.codigo == 0, qPrintable(v.texto));
}

QTEST_GUILESS_MAIN(tst_HistoricoServidor)
#include "tst_historico_servidor.moc"
