// The small records and the message framing: department, user, search filters,
// congregation entries, LeComando and MontaComando.
#include "protocol/ErroDeExecucao.h"
#include "protocol/clsAgendaCongregacao.h"
#include "protocol/clsDepartamento.h"
#include "protocol/clsFiltroBusca.h"
#include "protocol/clsUsuario.h"
#include "protocol/modCommands.h"

#include <QTest>

namespace {
template <class F>
ErroDeExecucao erroDe(F&& f)
{
    try {
        f();
    } catch (const ErroDeExecucao& e) {
        return e;
    }
    return ErroDeExecucao(QString(), QStringLiteral("nenhum erro"));
}
} // namespace

class tst_Registros : public QObject {
    Q_OBJECT
private slots:
    // --- framing ---
    void keepAlive()
    {
        QCOMPARE(MontaComando(Codigo::KeepAlive), u"1");
        QCOMPARE(MontaComando(-2), u"-2");
    }

    void leComando_data()
    {
        QTest::addColumn<QString>("mensagem");
        QTest::addColumn<int>("codigo");
        QTest::newRow("so o codigo") << "2" << 2;
        QTest::newRow("com registro") << "13|1|a@@@2|b" << 13;
        QTest::newRow("negativo") << "-1|x" << -1;
        QTest::newRow("barra no fim") << "14|" << 14;
    }
    void leComando()
    {
        QFETCH(QString, mensagem);
        QFETCH(int, codigo);
        QCOMPARE(LeComando(mensagem), codigo);
    }

    void leComandoInvalido_data()
    {
        QTest::addColumn<QString>("mensagem");
        QTest::newRow("vazia") << "";
        QTest::newRow("letras") << "OK|1";
        QTest::newRow("barra primeiro") << "|7";
    }
    void leComandoInvalido()
    {
        QFETCH(QString, mensagem);
        const ErroDeExecucao e = erroDe([&] { LeComando(mensagem); });
        QCOMPARE(e.origem(), u"LeComando");
        QVERIFY(e.descricao() != u"nenhum erro");
    }

    // --- department ---
    void departamento()
    {
        clsDepartamento d;
        QCOMPARE(d.toPipeString(), u"0|");
        d.fromPipeString(u"7|Secretaria|resto|ignorado");
        QCOMPARE(d.idDepartamento, 7);
        QCOMPARE(d.dsDepartamento, u"Secretaria");
        QCOMPARE(d.toPipeString(), u"7|Secretaria");
    }

    void departamentoComUmaPeca()
    {
        clsDepartamento d;
        const ErroDeExecucao e = erroDe([&] { d.fromPipeString(u"7"); });
        QCOMPARE(e.origem(), u"clsDepartamento");
        QVERIFY(e.descricao().contains(u"Subscrito"));
        QCOMPARE(d.idDepartamento, 7);
    }

    void departamentoNaoNumerico()
    {
        clsDepartamento d;
        const ErroDeExecucao e = erroDe([&] { d.fromPipeString(u"sete|Secretaria"); });
        QCOMPARE(e.origem(), u"clsDepartamento");
        QVERIFY(e.descricao().contains(u"sete"));
    }

    // --- user ---
    void pedidoDeLogin()
    {
        clsUsuario u;
        u.usuario = QStringLiteral("U");
        u.senha = QStringLiteral("P");
        QCOMPARE(u.toPipeString(), u"U|P|0|");
        const QString msg = u.toPipeStringWithCommand(Codigo::Login);
        QCOMPARE(msg, u"3|U|P|0|");
        QCOMPARE(msg.split(u'|').size(), 5);
    }

    void usuarioLido()
    {
        clsUsuario u;
        QCOMPARE(u.fromPipeStringWithCommand(u"4|A|B|7|Secretaria"), 4);
        QCOMPARE(u.usuario, u"A");
        QCOMPARE(u.senha, u"B");
        QCOMPARE(u.departamento.idDepartamento, 7);
        QCOMPARE(u.departamento.dsDepartamento, u"Secretaria");
    }

    void usuarioIncompleto_data()
    {
        QTest::addColumn<QString>("texto");
        QTest::addColumn<int>("departamento");   // department id after the error
        QTest::newRow("uma peca") << "A" << 0;
        QTest::newRow("duas pecas") << "A|B" << 0;
        QTest::newRow("tres pecas") << "A|B|7" << 7;
    }
    void usuarioIncompleto()
    {
        QFETCH(QString, texto);
        QFETCH(int, departamento);
        clsUsuario u;
        const ErroDeExecucao e = erroDe([&] { u.fromPipeString(texto); });
        QVERIFY(e.descricao().contains(u"Subscrito"));
        QCOMPARE(u.departamento.idDepartamento, departamento);
    }

    void descricaoComBarraPerdeOResto()
    {
        clsUsuario u;
        u.usuario = QStringLiteral("ana");
        u.departamento.idDepartamento = 2;
        u.departamento.dsDepartamento = QStringLiteral("Louvor|Música");
        clsUsuario v;
        v.fromPipeString(u.toPipeString());
        QCOMPARE(v.departamento.dsDepartamento, u"Louvor");
    }

    // --- search filters ---
    void filtroPorNumero()
    {
        clsFiltroBusca f;
        f.numeroFicha = 15;
        f.departamento.idDepartamento = 3;
        QCOMPARE(f.toPipeString(), u"15||30/12/1899|30/12/1899|3|");
        const QString msg = f.toPipeStringWithCommand(Codigo::Busca);
        QCOMPARE(msg.split(u'|').size(), 7);
        f.congregacao = QStringLiteral("Vila Nova");
        QCOMPARE(f.toPipeStringWithCommand(Codigo::Busca), msg);

        clsFiltroBuscacong c;
        c.numeroFicha = 15;
        c.departamento.idDepartamento = 3;
        QCOMPARE(c.toPipeStringWithCommand(Codigo::Busca), msg);
    }

    void filtroIdaEVolta()
    {
        clsFiltroBusca f;
        f.nome = QStringLiteral("João");
        f.dataInicial = QDate(2005, 1, 1);
        f.dataFinal = QDate(2005, 12, 31);
        f.departamento.idDepartamento = 9;
        f.congregacao = QStringLiteral("fica");
        clsFiltroBusca g;
        QCOMPARE(g.fromPipeStringWithCommand(f.toPipeStringWithCommand(12)), 12);
        QCOMPARE(g.nome, u"João");
        QCOMPARE(g.dataInicial, QDate(2005, 1, 1));
        QCOMPARE(g.dataFinal, QDate(2005, 12, 31));
        QCOMPARE(g.departamento.idDepartamento, 9);
        QVERIFY(g.congregacao.isEmpty());
    }

    void filtroInvalido_data()
    {
        QTest::addColumn<QString>("texto");
        QTest::newRow("tres pecas") << "15|x|01/01/2005";
        QTest::newRow("numero") << "x||30/12/1899|30/12/1899|3|";
        QTest::newRow("data inicial vazia") << "15|||30/12/1899|3|";
        QTest::newRow("data final invalida") << "15||30/12/1899|32/12/1899|3|";
        QTest::newRow("sem departamento") << "15||30/12/1899|30/12/1899";
    }
    void filtroInvalido()
    {
        QFETCH(QString, texto);
        clsFiltroBusca f;
        const ErroDeExecucao e = erroDe([&] { f.fromPipeString(texto); });
        QVERIFY(e.origem().startsWith(u"cls"));
        QVERIFY(e.descricao() != u"nenhum erro");
    }

    // --- congregation entries ---
    void congregacao()
    {
        clsAgendaCongregacao c;
        c.numeroFicha = 12;
        c.congregacao = QStringLiteral("C");
        c.nome = QStringLiteral("N");
        c.obs = QStringLiteral("não viaja");
        c.departamento.idDepartamento = 3;
        QCOMPARE(c.toPipeString(), u"12|N|3|");

        clsAgendaCongregacao d;
        d.congregacao = QStringLiteral("fica");
        d.fromPipeString(c.toPipeString());
        QCOMPARE(d.numeroFicha, 12);
        QCOMPARE(d.nome, u"N");
        QCOMPARE(d.departamento.idDepartamento, 3);
        QCOMPARE(d.congregacao, u"fica");
    }

    void listaDeCongregacoes()
    {
        QList<clsAgendaCongregacao> lista(3);
        for (int i = 0; i < 3; ++i)
            lista[i].numeroFicha = i + 1;
        const QString texto = clsAgendaCongregacao::collectionToPipeString(lista);
        QCOMPARE(texto, u"1||0|@@@2||0|@@@3||0|");
        const auto lida = clsAgendaCongregacao::collectionFromPipeStringWithCommand(QStringLiteral("13|") + texto);
        QCOMPARE(lida.size(), 3);
        QCOMPARE(lida[2].numeroFicha, 3);
        QCOMPARE(clsAgendaCongregacao::collectionToPipeStringWithCommand(lista, 5), QStringLiteral("5|") + texto);
    }

    void congregacaoInvalida()
    {
        clsAgendaCongregacao c;
        const ErroDeExecucao e = erroDe([&] { c.fromPipeString(u"12|N|3"); });
        QCOMPARE(e.origem(), u"clsDepartamento");
        QCOMPARE(erroDe([&] { c.fromPipeString(u"doze|N|3|"); }).origem(), u"clsAgendaCongregacao");
    }
};

QTEST_APPLESS_MAIN(tst_Registros)
#include "tst_registros.moc"
