// A member's values erased from the history on request, and the chain that still proves
// itself: erase then verify, any other edit still named, the values gone from the database's
// own pages, the refusals, the migration from schema 5, and `--elo` against links the log
// noted. On both stores (ZELTO_TESTE_BANCO).
#include "protocol/clsAgenda.h"
#include "protocol/modCommands.h"
#include "server/store/Banco.h"
#include "server/history/CadeiaDoHistorico.h"
#include "server/admin/Esquema.h"
#include "server/history/Historico.h"
#include "HistoricoNoTeste.h"
#include "support/ClienteEmQuadros.h"
#include "support/ClusterPostgres.h"
#include "support/Pedidos.h"
#include "support/ServidorReal.h"

#include <QDeadlineTimer>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>

using namespace HistoricoNoTeste;

namespace {

// What only the erased member's rows hold.
const QString nomeDoTitular = QStringLiteral("Zacarias Esdrubal");
const QString cidadeDoTitular = QStringLiteral("Piranhasquara");

Saida elimina(const ServidorReal& s, qint32 numero, qint32 dep, const QStringList& mais = {})
{
    return roda(s, QStringList{QStringLiteral("titular"), QStringLiteral("--ficha"), QString::number(numero), QStringLiteral("--departamento"),
                               QString::number(dep), QStringLiteral("--eliminar")}
                       + mais);
}

// The member's sheet 5 included, changed, searched by name and deleted; sheet 6 and a search
// for it stay as they are.
bool preparaTitular(ServidorReal& s)
{
    ClienteEmQuadros c(s, comHistorico);
    if (!c.entra(s.conta()))
        return false;
    const bool ok = c.pede(ficha(5, QStringLiteral("Zacarias")).toPipeStringWithCommand(Codigo::Inclui)).startsWith("9|")
        && c.pede(ficha(5, nomeDoTitular, 1, cidadeDoTitular).toPipeStringWithCommand(Codigo::Salva)).startsWith("7|")
        && c.pede(ficha(6, QStringLiteral("Outra Pessoa")).toPipeStringWithCommand(Codigo::Inclui)).startsWith("9|")
        && c.pede(busca(0, QStringLiteral("esdrub"))).startsWith("13|") && c.pede(busca(0, QStringLiteral("outra"))).startsWith("13|")
        && c.pede(ficha(5, nomeDoTitular).toPipeStringWithCommand(Codigo::Exclui)) == "11";
    return ok && esperaLinhas(s, QStringLiteral("acao = 'busca'"), 2);
}

// The bytes where the store keeps the two tables: the SQLite file and its log, or the
// PostgreSQL relations' files (after a checkpoint, so what is in memory is there too).
QByteArray paginas(ServidorReal& s)
{
    QByteArray tudo;
    if (!s.ehPostgres()) {
        for (const QString& sufixo : {QString(), QStringLiteral("-wal")}) {
            QFile f(s.caminhoDoBanco() + sufixo);
            if (f.open(QIODevice::ReadOnly))
                tudo += f.readAll();
        }
        return tudo;
    }
    if (!s.executaNoBanco({QStringLiteral("CHECKPOINT")}))
        return {};
    for (const char* tabela : {"historico", "fichas", "fichas_por_nome"}) {
        const QString relativo = valor(s, QStringLiteral("SELECT pg_relation_filepath('%1')").arg(QLatin1String(tabela))).toString();
        const QString base = ClusterPostgres::compartilhado()->pasta() + QStringLiteral("/dados/") + relativo;
        QDirIterator segmentos(QFileInfo(base).path(), {QFileInfo(base).fileName() + QStringLiteral("*")}, QDir::Files);
        while (segmentos.hasNext()) {
            QFile f(segmentos.next());
            if (f.open(QIODevice::ReadOnly))
                tudo += f.readAll();
        }
    }
    return tudo;
}

// Every row from `desde` on chained again under the current rule, as someone who edits a row
// and then recomputes every hash after it would do: --verificar cannot tell, a noted link can.
bool refazACadeia(ServidorReal& s, qint64 desde)
{
    Banco banco(s.conexaoDoBanco());
    if (!banco.abre(false) || !banco.iniciaTransacao())
        return false;
    HistoricoGravado h(banco);
    QList<RegistroDoHistorico> linhas;
    if (!h.fatia(0, 1'000'000, linhas))
        return false;
    QString anterior;
    for (RegistroDoHistorico& r : linhas) {
        if (r.id >= desde) {
            r.digesto = CadeiaDoHistorico::digesto(r.sal, r);
            r.hash = CadeiaDoHistorico::elo(anterior, r);
            if (!banco.altera(QStringLiteral("UPDATE historico SET digesto = ?, hash = ? WHERE id = ?"), {r.digesto, r.hash, r.id}))
                return false;
        }
        anterior = r.hash;
    }
    return banco.confirmaTransacao();
}

// Row `id`'s digest computed again from the values it holds now (its salt is in the row).
bool refazODigesto(ServidorReal& s, qint64 id)
{
    Banco banco(s.conexaoDoBanco());
    QList<RegistroDoHistorico> linha;
    if (!banco.abre(false) || !HistoricoGravado(banco).fatia(id - 1, 1, linha) || linha.isEmpty())
        return false;
    return banco.altera(QStringLiteral("UPDATE historico SET digesto = ? WHERE id = ?"), {CadeiaDoHistorico::digesto(linha[0].sal, linha[0]), id});
}

// The registry as schema 5 left it: the rule before the digest, without its columns.
bool voltaAoEsquema5(ServidorReal& s)
{
    {
        Banco banco(s.conexaoDoBanco());
        if (!banco.abre(false) || !banco.iniciaTransacao())
            return false;
        QList<RegistroDoHistorico> linhas;
        if (!HistoricoGravado(banco).fatia(0, 1'000'000, linhas))
            return false;
        QString anterior;
        for (const RegistroDoHistorico& r : std::as_const(linhas)) {
            anterior = CadeiaDoHistorico::eloDaRegraAnterior(anterior, r);
            if (!banco.altera(QStringLiteral("UPDATE historico SET hash = ? WHERE id = ?"), {anterior, r.id}))
                return false;
        }
        if (!banco.confirmaTransacao())
            return false;
    }
    return s.executaNoBanco({QStringLiteral("ALTER TABLE historico DROP COLUMN sal"), QStringLiteral("ALTER TABLE historico DROP COLUMN digesto"),
                             QStringLiteral("ALTER TABLE historico DROP COLUMN hash_antigo"),
                             QStringLiteral("UPDATE versao_esquema SET versao = 5")});
}

QString ultimoEloDoDiario(const ServidorReal& s)
{
    static const QRegularExpression linha(QStringLiteral("histórico: último elo ([0-9a-f]{64})"));
    QString elo;
    for (auto i = linha.globalMatch(s.diario()); i.hasNext();)
        elo = i.next().captured(1);
    return elo;
}

} // namespace

class tst_Eliminacao : public QObject {
    Q_OBJECT
private slots:
    void eliminaEVerifica();
    void outraAdulteracaoNomeada_data();
    void outraAdulteracaoNomeada();
    void recusas_data();
    void recusas();
    void migracaoDoEsquema5_data();
    void migracaoDoEsquema5();
    void eloAnotado_data();
    void eloAnotado();
};

void tst_Eliminacao::eliminaEVerifica()
{
    ServidorReal s;
    QVERIFY2(s.inicia(), qPrintable(s.erro()));
    QVERIFY(preparaTitular(s));
    // The values are in the pages before: what follows looks at the right bytes.
    QVERIFY(paginas(s).contains(cidadeDoTitular.toUtf8()));

    const Saida r = elimina(s, 5, 1);
    QVERIFY2(r.codigo == 0, qPrintable(r.texto));
    QVERIFY2(r.texto.contains(QStringLiteral("1 busca(s)")), qPrintable(r.texto));
    Saida v = roda(s, {QStringLiteral("historico"), QStringLiteral("--verificar")});
    QVERIFY2(v.codigo == 0, qPrintable(v.texto));

    // Who, when, what and the number stay; no value does, in the table or in its pages.
    const QString dela = QStringLiteral("numeroficha = 5 AND iddepartamento = 1");
    QCOMPARE(valor(s, QStringLiteral("SELECT COUNT(*) FROM historico WHERE %1 AND acao IN ('inclusão', 'alteração', 'exclusão')").arg(dela)).toInt(), 3);
    QCOMPARE(valor(s, QStringLiteral("SELECT COUNT(*) FROM historico WHERE %1 AND sal <> ''").arg(dela)).toInt(), 1);   // the erasure's own
    QCOMPARE(valor(s, QStringLiteral("SELECT COUNT(*) FROM historico WHERE detalhe LIKE '%esdrub%'")).toInt(), 0);
    QCOMPARE(valor(s, QStringLiteral("SELECT COUNT(*) FROM historico WHERE detalhe LIKE '%outra%'")).toInt(), 1);
    const QString propria = valor(s, QStringLiteral("SELECT detalhe FROM historico WHERE acao = '%1'").arg(Acao::eliminacao())).toString();
    QVERIFY2(propria.startsWith(QStringLiteral("4 linha(s) eliminada(s)")), qPrintable(propria));
    const QByteArray bytes = paginas(s);
    QVERIFY(!bytes.isEmpty());
    for (const QString& v : {nomeDoTitular, cidadeDoTitular, QStringLiteral("esdrub")})
        QVERIFY2(!bytes.contains(v.toUtf8()) && !bytes.contains(QUrl::toPercentEncoding(v)), qPrintable(v));
    QVERIFY(bytes.contains("Outra Pessoa"));

    // What the member's export shows now: the marks.
    const QString arquivo = s.pasta() + QStringLiteral("/titular.txt");
    QCOMPARE(roda(s, {QStringLiteral("titular"), QStringLiteral("--ficha"), QStringLiteral("5"), QStringLiteral("--para"), arquivo}).codigo, 0);
    QFile f(arquivo);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QString texto = QString::fromUtf8(f.readAll());
    QVERIFY2(texto.contains(QStringLiteral("\"[eliminado]\" → \"[eliminado]\"")) && !texto.contains(QStringLiteral("Zacarias")), qPrintable(texto));
    v = roda(s, {QStringLiteral("historico"), QStringLiteral("--verificar")});
    QVERIFY2(v.codigo == 0, qPrintable(v.texto));
}

void tst_Eliminacao::outraAdulteracaoNomeada_data()
{
    // After an erasure, an edit anywhere is still named: %E is the erasure's row, %A an
    // erased row, %V a row of sheet 6 with its values, %B the search for sheet 6's name.
    QTest::addColumn<QString>("sql");
    QTest::addColumn<QString>("esperado");
    QTest::addColumn<bool>("refazDigesto");   // of row %V, after the edit, as a forger with its salt would
    QTest::newRow("valor de outra linha") << QStringLiteral("UPDATE historico SET alteracoes = 'nome,,Fulano' WHERE id = %V")
                                          << QStringLiteral("linha %V foi alterada") << false;
    QTest::newRow("valor e digesto de outra linha")
        << QStringLiteral("UPDATE historico SET alteracoes = REPLACE(alteracoes, 'Outra', 'Forjada') WHERE id = %V")
                                                    << QStringLiteral("linha %V foi alterada") << true;
    QTest::newRow("campo de uma eliminada") << QStringLiteral("UPDATE historico SET alteracoes = REPLACE(alteracoes, 'cidade,', 'bairro,') WHERE id = %A")
                                            << QStringLiteral("linha %A foi alterada") << false;
    QTest::newRow("busca apagada à mão com a marca") << QStringLiteral("UPDATE historico SET detalhe = '[eliminado pela linha %E]', sal = '' WHERE id = %B")
                                                     << QStringLiteral("a eliminação da linha %E registra 4 linha(s), mas 5") << false;
    QTest::newRow("detalhe de outra linha") << QStringLiteral("UPDATE historico SET detalhe = 'x' WHERE id = %V") << QStringLiteral("linha %V foi alterada") << false;
    QTest::newRow("digesto de outra linha") << QStringLiteral("UPDATE historico SET digesto = '00' WHERE id = %V")
                                            << QStringLiteral("linha %V foi alterada") << false;
    QTest::newRow("apagada à mão") << QStringLiteral("UPDATE historico SET alteracoes = '', detalhe = '[eliminado pela linha %E]', sal = '' WHERE id = %V")
                                   << QStringLiteral("linha %V teve os valores apagados à mão") << false;
    QTest::newRow("valor posto numa eliminada") << QStringLiteral("UPDATE historico SET alteracoes = 'nome,%5Beliminado%5D,Outro' WHERE id = %A")
                                                << QStringLiteral("linha %A teve os valores apagados à mão") << false;
    QTest::newRow("marca de outra eliminação") << QStringLiteral("UPDATE historico SET detalhe = '[eliminado pela linha %V]' WHERE id = %A")
                                               << QStringLiteral("linha %A teve os valores apagados à mão") << false;
    QTest::newRow("contagem da eliminação") << QStringLiteral("UPDATE historico SET detalhe = '9 linha(s) eliminada(s)' WHERE id = %E")
                                            << QStringLiteral("linha %E") << false;
    QTest::newRow("operador da eliminada") << QStringLiteral("UPDATE historico SET operador = 'outro' WHERE id = %A")
                                           << QStringLiteral("linha %A foi alterada") << false;
    QTest::newRow("eliminada removida") << QStringLiteral("DELETE FROM historico WHERE id = %A") << QStringLiteral("linha %A foi removida") << false;
}

void tst_Eliminacao::outraAdulteracaoNomeada()
{
    QFETCH(QString, sql);
    QFETCH(QString, esperado);
    QFETCH(bool, refazDigesto);
    ServidorReal s;
    QVERIFY2(s.inicia(), qPrintable(s.erro()));
    QVERIFY(preparaTitular(s));
    QCOMPARE(elimina(s, 5, 1).codigo, 0);
    const QString b = valor(s, QStringLiteral("SELECT id FROM historico WHERE detalhe LIKE '%outra%'")).toString();
    const QString e = valor(s, QStringLiteral("SELECT id FROM historico WHERE acao = '%1'").arg(Acao::eliminacao())).toString();
    const QString a = valor(s, QStringLiteral("SELECT MAX(id) FROM historico WHERE numeroficha = 5 AND acao = 'alteração'")).toString();
    const QString v = valor(s, QStringLiteral("SELECT MIN(id) FROM historico WHERE numeroficha = 6")).toString();
    const auto troca = [&](QString t) { return t.replace(QLatin1String("%E"), e).replace(QLatin1String("%A"), a).replace(QLatin1String("%V"), v).replace(QLatin1String("%B"), b); };
    QVERIFY2(s.executaNoBanco({troca(sql)}), qPrintable(s.erro()));
    if (refazDigesto)
        QVERIFY(refazODigesto(s, v.toLongLong()));
    const Saida r = roda(s, {QStringLiteral("historico"), QStringLiteral("--verificar")});
    QCOMPARE(r.codigo, 1);
    QVERIFY2(r.texto.contains(troca(esperado)), qPrintable(r.texto));
}

void tst_Eliminacao::recusas_data()
{
    QTest::addColumn<qint32>("numero");
    QTest::addColumn<qint32>("dep");
    QTest::addColumn<QStringList>("mais");
    QTest::addColumn<int>("codigo");
    QTest::addColumn<QString>("mensagem");
    QTest::addColumn<int>("fichas");   // sheets left afterwards
    QTest::newRow("ficha que ainda existe") << 6 << 1 << QStringList() << 1 << QStringLiteral("a ficha 6 do departamento 1 ainda existe") << 1;
    QTest::newRow("ficha desconhecida") << 99 << 1 << QStringList() << 1 << QStringLiteral("a ficha 99 não existe nem aparece no histórico") << 1;
    QTest::newRow("ficha de outro departamento") << 7 << 1 << QStringList() << 1 << QStringLiteral("a ficha 7 não é do departamento 1") << 1;
    QTest::newRow("outro departamento pelo número de uma nossa") << 6 << 2 << QStringList() << 1
                                                                  << QStringLiteral("a ficha 6 não é do departamento 2") << 1;
    QTest::newRow("com exclusão da ficha") << 6 << 1 << QStringList{QStringLiteral("--excluir-ficha")} << 0 << QStringLiteral("Ficha excluída") << 0;
    QTest::newRow("exclusão sem eliminar") << 6 << 1 << QStringList{QStringLiteral("--excluir-ficha"), QStringLiteral("--para"), QStringLiteral("x")} << 1
                                           << QStringLiteral("--eliminar não exporta") << 1;
}

void tst_Eliminacao::recusas()
{
    QFETCH(qint32, numero);
    QFETCH(qint32, dep);
    QFETCH(QStringList, mais);
    QFETCH(int, codigo);
    QFETCH(QString, mensagem);
    QFETCH(int, fichas);
    ServidorReal s;
    QVERIFY2(s.inicia(), qPrintable(s.erro()));
    const ServidorReal::Conta outra{2, QStringLiteral("Tesouraria"), QStringLiteral("tesoureiro"), QStringLiteral("senha456")};
    QVERIFY2(s.adicionaConta(outra), qPrintable(s.erro()));
    ClienteEmQuadros a(s, comHistorico), b(s, comHistorico);
    QVERIFY(a.entra(s.conta()) && b.entra(outra));
    QVERIFY(a.pede(ficha(6, QStringLiteral("Outra Pessoa")).toPipeStringWithCommand(Codigo::Inclui)).startsWith("9|"));
    QVERIFY(b.pede(ficha(7, QStringLiteral("De Outro"), 2, QStringLiteral("Natal")).toPipeStringWithCommand(Codigo::Inclui)).startsWith("9|"));
    QVERIFY(b.pede(ficha(7, QStringLiteral("De Outro"), 2, QStringLiteral("Natal")).toPipeStringWithCommand(Codigo::Exclui)) == "11");

    const Saida r = elimina(s, numero, dep, mais);
    QVERIFY2(r.codigo == codigo && r.texto.contains(mensagem), qPrintable(r.texto));
    QCOMPARE(valor(s, QStringLiteral("SELECT COUNT(*) FROM fichas WHERE iddepartamento = 1")).toInt(), fichas);
    // A refusal erases nothing; an erasure erases only that sheet's rows.
    QCOMPARE(valor(s, QStringLiteral("SELECT COUNT(*) FROM historico WHERE sal = ''")).toInt(), codigo == 0 ? 2 : 0);
    QCOMPARE(valor(s, QStringLiteral("SELECT COUNT(*) FROM historico WHERE numeroficha = 7 AND sal = ''")).toInt(), 0);
    const Saida v = roda(s, {QStringLiteral("historico"), QStringLiteral("--verificar")});
    QVERIFY2(v.codigo == 0, qPrintable(v.texto));
    if (codigo == 0) {
        // Twice: nothing left to erase.
        const Saida outraVez = elimina(s, numero, dep);
        QVERIFY2(outraVez.codigo == 1 && outraVez.texto.contains(QStringLiteral("já foi eliminado")), qPrintable(outraVez.texto));
    }
}

void tst_Eliminacao::migracaoDoEsquema5_data()
{
    QTest::addColumn<QString>("adulteracao");   // done to the schema-5 chain before the start
    QTest::addColumn<QString>("noDiario");
    QTest::newRow("cadeia íntegra") << QString() << QStringLiteral("histórico migrado para a cadeia com o digesto");
    QTest::newRow("cadeia já adulterada") << QStringLiteral("UPDATE historico SET operador = 'outro' WHERE id = 2")
                                          << QStringLiteral("HISTÓRICO ADULTERADO antes da migração: a linha 2 foi alterada");
}

void tst_Eliminacao::migracaoDoEsquema5()
{
    QFETCH(QString, adulteracao);
    QFETCH(QString, noDiario);
    ServidorReal s;
    QVERIFY2(s.inicia(), qPrintable(s.erro()));
    QVERIFY(preparaTitular(s));
    s.para();
    QVERIFY(voltaAoEsquema5(s));
    const QString eloAntigo = valor(s, QStringLiteral("SELECT hash FROM historico ORDER BY id DESC LIMIT 1")).toString();
    if (!adulteracao.isEmpty())
        QVERIFY(s.executaNoBanco({adulteracao}));
    QVERIFY2(s.inicia(), qPrintable(s.erro()));
    QVERIFY2(s.diario().contains(noDiario), qPrintable(s.diario()));
    QCOMPARE(valor(s, QStringLiteral("SELECT versao FROM versao_esquema")).toInt(), Esquema::versaoDoEsquema);
    const QString migracao = valor(s, QStringLiteral("SELECT detalhe FROM historico WHERE acao = '%1'").arg(Acao::migracao())).toString();
    QVERIFY2(migracao.contains(adulteracao.isEmpty() ? eloAntigo : QStringLiteral("NÃO CONFERIA")), qPrintable(migracao));

    Saida v = roda(s, {QStringLiteral("historico"), QStringLiteral("--verificar")});
    QVERIFY2(v.codigo == 0, qPrintable(v.texto));
    // A link noted before still has its place; the old rows can be erased like any other.
    const Saida elo = roda(s, {QStringLiteral("historico"), QStringLiteral("--elo"), eloAntigo});
    QVERIFY2(elo.codigo == 0 && elo.texto.contains(QStringLiteral("regra da cadeia anterior")), qPrintable(elo.texto));
    QCOMPARE(elimina(s, 5, 1).codigo, 0);
    v = roda(s, {QStringLiteral("historico"), QStringLiteral("--verificar")});
    QVERIFY2(v.codigo == 0, qPrintable(v.texto));
}

void tst_Eliminacao::eloAnotado_data()
{
    QTest::addColumn<QString>("depois");   // what happens to the chain after the link was noted
    QTest::addColumn<int>("codigo");
    QTest::addColumn<QString>("esperado");
    QTest::newRow("presente") << QString() << 0 << QStringLiteral("está na cadeia: é o da linha");
    QTest::newRow("final removido") << QStringLiteral("remove") << 1 << QStringLiteral("ELO AUSENTE");
    QTest::newRow("cadeia refeita") << QStringLiteral("refaz") << 1 << QStringLiteral("ELO AUSENTE");
    QTest::newRow("linha anterior alterada") << QStringLiteral("altera") << 1 << QStringLiteral("ELO FORA DA CADEIA");
    QTest::newRow("não é um hash") << QStringLiteral("texto") << 1 << QStringLiteral("--elo espera um hash");
}

void tst_Eliminacao::eloAnotado()
{
    QFETCH(QString, depois);
    QFETCH(int, codigo);
    QFETCH(QString, esperado);
    ServidorReal s;
    QVERIFY2(s.inicia(), qPrintable(s.erro()));
    QVERIFY(preparaTitular(s));
    // The head as the log saw it at a start.
    QVERIFY(s.reinicia());
    const QString anotado = ultimoEloDoDiario(s);
    QVERIFY2(!anotado.isEmpty(), qPrintable(s.diario()));
    const qint64 linha = valor(s, QStringLiteral("SELECT id FROM historico WHERE hash = '%1'").arg(anotado)).toLongLong();
    QVERIFY(linha > 3);
    {
        ClienteEmQuadros c(s, comHistorico);
        QVERIFY(c.entra(s.conta()));
        QVERIFY(c.pede(ficha(8, QStringLiteral("Depois")).toPipeStringWithCommand(Codigo::Inclui)).startsWith("9|"));
    }
    if (depois == QLatin1String("remove"))
        QVERIFY(s.executaNoBanco({QStringLiteral("DELETE FROM historico WHERE id >= %1").arg(linha)}));
    if (depois == QLatin1String("refaz")) {
        QVERIFY(s.executaNoBanco({QStringLiteral("UPDATE historico SET operador = 'outro' WHERE id = 2")}));
        QVERIFY(refazACadeia(s, 2));
        // The rewrite fools the chain itself; only the noted link tells.
        QCOMPARE(roda(s, {QStringLiteral("historico"), QStringLiteral("--verificar")}).codigo, 0);
    }
    if (depois == QLatin1String("altera"))
        QVERIFY(s.executaNoBanco({QStringLiteral("UPDATE historico SET operador = 'outro' WHERE id = 2")}));
    const Saida r = roda(s, {QStringLiteral("historico"), QStringLiteral("--elo"), depois == QLatin1String("texto") ? QStringLiteral("abc") : anotado});
    QCOMPARE(r.codigo, codigo);
    QVERIFY2(r.texto.contains(esperado), qPrintable(r.texto));
    if (depois.isEmpty())
        QVERIFY2(r.texto.contains(QStringLiteral("linha %1").arg(linha)), qPrintable(r.texto));
}

QTEST_GUILESS_MAIN(tst_Eliminacao)
#include "tst_eliminacao.moc"
