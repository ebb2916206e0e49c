// The server's store units straight on a database (SQLite, or PostgreSQL when
// ZELTO_TESTE_BANCO=postgresql): the connection's address and refusals, savepoints, the
// sheets' lists, the operators' lifecycle and the backup.
#include "protocol/Wire.h"
#include "server/store/Banco.h"
#include "server/store/Cadastro.h"
#include "server/store/Copia.h"
#include "server/store/EnderecoPg.h"
#include "server/admin/Esquema.h"
#include "server/store/FichasGravadas.h"
#include "server/store/LinhaDaFicha.h"
#include "server/store/SessoesGravadas.h"
#include "support/ClusterPostgres.h"
#include "support/ServidorReal.h"

#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <atomic>

#include <memory>

class tst_Banco : public QObject {
    Q_OBJECT
private slots:
    void enderecoPg_data();
    void enderecoPg();
    void abreRecusa_data();
    void abreRecusa();
    void semTabelasDizComoCriar();
    void pontoDesfeitoSoAlteraOQueVeioAntes();
    void listaEmPartesIgualAInteira_data();
    void listaEmPartesIgualAInteira();
    void operadorQueMudaPerdeAsSessoes_data();
    void operadorQueMudaPerdeAsSessoes();
    void copiaSoNumArquivoNovo();
    void gravacoesEsperamAVezDosLogins();

private:
    // A fresh store with the registry's tables and department 1; null (test failed) otherwise.
    std::unique_ptr<Banco> novoBanco();
    static bool ehPostgres() { return ServidorReal::bancoDoAmbiente() == ServidorReal::Banco::PostgreSQL; }
    // A fresh, empty database's connection text.
    QString conexaoNova();

    QTemporaryDir m_pasta;
    int m_bancos = 0;
};

QString tst_Banco::conexaoNova()
{
    if (!ehPostgres())
        return QStringLiteral("sqlite:%1/banco%2.db").arg(m_pasta.path()).arg(++m_bancos);
    ClusterPostgres* pg = ClusterPostgres::compartilhado();
    if (!pg) {
        qWarning("%s", qPrintable(ClusterPostgres::erroGlobal()));
        return QString();
    }
    const QString nome = ClusterPostgres::nomeNovo();
    return pg->criaBanco(nome) ? pg->conexao(nome) : QString();
}

std::unique_ptr<Banco> tst_Banco::novoBanco()
{
    auto banco = std::make_unique<Banco>(conexaoNova());
    if (!banco->abre(true) || !Esquema(*banco).criaEsquema() || !Cadastro(*banco).gravaDepartamento({1, QStringLiteral("Secretaria")})) {
        qWarning("%s", qPrintable(banco->ultimoErro()));
        return nullptr;
    }
    return banco;
}

void tst_Banco::enderecoPg_data()
{
    QTest::addColumn<QString>("conexao");
    QTest::addColumn<QString>("descricao");
    QTest::addColumn<QString>("destino");   // QPSQL's options, "com senha", or the refusal
    // Every connection has its deadlines, to connect and for a peer gone silent over TCP, unless the text sets its own.
    const QString prazos = QStringLiteral("connect_timeout=3;keepalives=1;keepalives_idle=10;keepalives_interval=3;keepalives_count=3;"
                                          "tcp_user_timeout=15000;");
    QTest::newRow("vários hosts") << "postgresql://zelto@pg1:5432,pg2:5433/registro?target_session_attrs=read-write"
                                  << "postgresql://zelto@pg1:5432,pg2:5433/registro?target_session_attrs=read-write"
                                  << prazos + "user='zelto';dbname='registro';host='pg1,pg2';port='5432,5433';target_session_attrs='read-write'";
    QTest::newRow("palavras com prazo próprio") << "host=pg1,pg2 port=5432,5433 dbname=registro user=zelto connect_timeout=7"
                                                << "host=pg1,pg2 port=5432,5433 dbname=registro user=zelto connect_timeout=7"
                                                << QString(prazos).remove(QStringLiteral("connect_timeout=3;"))
                                                       + "user='zelto';connect_timeout='7';dbname='registro';host='pg1,pg2';port='5432,5433'";
    QTest::newRow("serviço") << "service=registro sslmode=verify-full passfile=/etc/zelto/pgpass"
                             << "service=registro sslmode=verify-full passfile=/etc/zelto/pgpass"
                             << prazos + "service='registro';passfile='/etc/zelto/pgpass';sslmode='verify-full'";
    QTest::newRow("aspas e espaço") << R"(dbname=reg options='-c search_path=a\'b\\')" << R"(dbname=reg options='-c search_path=a\'b\\')"
                                    << prazos + R"(dbname='reg';options='-c search_path=a\'b\\')";
    QTest::newRow("socket") << "postgres://ana@/reg?host=/tmp/pg&port=6000" << "postgres://ana@/reg?host=/tmp/pg&port=6000"
                            << prazos + "user='ana';dbname='reg';host='/tmp/pg';port='6000'";
    // A password: the server refuses it (tst_comandos); the administration commands take it.
    QTest::newRow("senha com @") << "postgresql://ana:segredo@x@db.local:5433/reg" << "postgresql://ana@db.local:5433/reg" << "com senha";
    QTest::newRow("senha codificada") << "postgresql://jos%C3%A9:segredo%2Fw@db/reg" << "postgresql://jos%C3%A9@db/reg" << "com senha";
    QTest::newRow("senha como opção") << "postgresql://ana@db/reg?password=segredo&sslmode=require"
                                      << "postgresql://ana@db/reg?sslmode=require" << "com senha";
    QTest::newRow("senha em palavras") << "host=db password='segredo x' dbname=reg" << "host=db dbname=reg" << "com senha";
    // What libpq refuses: its reason, without the password it may quote.
    const QString recusa = QStringLiteral("a conexão PostgreSQL %1 não foi aceita pela libpq: %2");
    QTest::newRow("opção desconhecida") << "postgresql://ana:segredo@db/reg?nada=1" << "postgresql://ana@db/reg?nada=1"
                                        << recusa.arg("postgresql://ana@db/reg?nada=1", "invalid URI query parameter: \"nada\"");
    QTest::newRow("colchete sem par") << "postgresql://ana:segredo@[db/reg" << "postgresql://ana@[db/reg"
                                      << recusa.arg("postgresql://ana@[db/reg", "end of string reached when looking for matching \"]\" in IPv6 "
                                                                                "host address in URI: \"postgresql://ana@[db/reg\"");
    QTest::newRow("senha com %00") << "postgresql://ana:segredo%00@db/reg" << "postgresql://ana@db/reg"
                                   << recusa.arg("postgresql://ana@db/reg", "forbidden value %00 in percent-encoded value: \"***\"");
    QTest::newRow("aspas sem fim") << "host=db password='segredo" << "host=db"
                                   << recusa.arg("host=db", "unterminated quoted string in connection info string");
    QTest::newRow("ponto e vírgula") << "host=db password='segredo;x' dbname=reg" << "host=db dbname=reg"
                                     << "a opção \"password\" da conexão PostgreSQL host=db dbname=reg tem \";\", que o driver PostgreSQL do Qt "
                                        "não deixa passar";
}

void tst_Banco::enderecoPg()
{
    QFETCH(QString, conexao);
    QFETCH(QString, descricao);
    QVERIFY(ehConexaoPg(conexao));
    QCOMPARE(descricaoPg(conexao), descricao);
    DestinoPg d;
    QString erro;
    const QString obtido = !leDestinoPg(conexao, d, erro) ? erro : d.temSenha ? QStringLiteral("com senha") : d.opcoes;
    QTEST(obtido, "destino");
    QVERIFY2(!obtido.contains(QLatin1String("segredo")) && !descricao.contains(QLatin1String("segredo")), qPrintable(obtido));
}

void tst_Banco::abreRecusa_data()
{
    QTest::addColumn<QString>("conexao");
    QTest::addColumn<QString>("erro");   // "%1": the test's folder
    QTest::newRow("sqlite sem caminho") << "sqlite:" << "banco: falta o caminho do arquivo em \"sqlite:CAMINHO\"";
    QTest::newRow("arquivo que não existe") << "sqlite:%1/nenhum.db"
                                            << "banco: o arquivo %1/nenhum.db não existe (crie-o com \"zelto-server criar-banco\")";
    QTest::newRow("motor desconhecido") << "mysql://db/reg" << "banco: conexão desconhecida \"mysql://db/reg\": use sqlite:CAMINHO ou postgresql://...";
    QTest::newRow("recusada pela libpq") << "postgresql://ana:segredo@db/reg?nada=1"
                                         << "banco: a conexão PostgreSQL postgresql://ana@db/reg?nada=1 não foi aceita pela libpq: "
                                            "invalid URI query parameter: \"nada\"";
}

void tst_Banco::abreRecusa()
{
    QFETCH(QString, conexao);
    QFETCH(QString, erro);
    Banco banco(conexao.replace(QLatin1String("%1"), m_pasta.path()));
    QVERIFY(!banco.abre(false));
    QCOMPARE(banco.ultimoErro(), erro.replace(QLatin1String("%1"), m_pasta.path()));
}

void tst_Banco::semTabelasDizComoCriar()
{
    Banco banco(conexaoNova());
    QVERIFY2(banco.abre(true), qPrintable(banco.ultimoErro()));
    QVERIFY(!Esquema(banco).temEsquema());
    QCOMPARE(banco.ultimoErro(), QStringLiteral("esquema: o banco não tem as tabelas do registro (crie-as com \"zelto-server criar-banco\")"));
    QVERIFY(Esquema(banco).criaEsquema());
    QVERIFY(Esquema(banco).temEsquema());
}

void tst_Banco::pontoDesfeitoSoAlteraOQueVeioAntes()
{
    const auto banco = novoBanco();
    QVERIFY(banco);
    FichasGravadas fichas(*banco);
    const auto insere = [&](qint32 numero) {
        clsAgenda f;
        f.numeroFicha = numero;
        f.nome = QStringLiteral("Ficha %1").arg(numero);
        return fichas.insere(1, f);
    };
    QVERIFY(banco->iniciaTransacao());
    QVERIFY(banco->marcaPonto() && insere(1) && banco->liberaPonto());
    QVERIFY(banco->marcaPonto() && insere(2));
    banco->voltaAoPonto();
    QVERIFY(banco->marcaPonto() && insere(3) && banco->liberaPonto());
    QVERIFY2(banco->confirmaTransacao(), qPrintable(banco->ultimoErro()));
    QVERIFY(banco->iniciaTransacao() && insere(4));
    banco->desfazTransacao();

    QList<qint32> guardadas;
    for (qint32 n = 1; n <= 4; ++n) {
        bool existe = false;
        QVERIFY(fichas.existe(1, n, existe));
        if (existe)
            guardadas << n;
    }
    QCOMPARE(guardadas, (QList<qint32>{1, 3}));
}

void tst_Banco::listaEmPartesIgualAInteira_data()
{
    QTest::addColumn<QString>("nome");
    QTest::addColumn<qsizetype>("pedaco");   // 0: the whole list at once
    QTest::addColumn<QList<qint32>>("numeros");
    QTest::addColumn<bool>("pausa");   // the search stops after each piece and is taken up again
    const QList<qint32> todas{1, 2, 3, 4, 5, 6};
    QTest::newRow("inteira") << QString() << qsizetype(0) << todas << false;
    QTest::newRow("uma ficha por pedaço") << QString() << qsizetype(1) << todas << false;
    QTest::newRow("pedaços maiores que a lista") << QString() << qsizetype(1 << 20) << todas << false;
    QTest::newRow("por nome, sem acento nem caixa") << QStringLiteral("jose") << qsizetype(1) << QList<qint32>{1, 2, 4, 5} << false;
    QTest::newRow("parada a cada pedaço") << QString() << qsizetype(1) << todas << true;
    QTest::newRow("por nome, parada a cada pedaço") << QStringLiteral("jose") << qsizetype(1) << QList<qint32>{1, 2, 4, 5} << true;
}

void tst_Banco::listaEmPartesIgualAInteira()
{
    QFETCH(QString, nome);
    QFETCH(qsizetype, pedaco);
    QFETCH(QList<qint32>, numeros);
    QFETCH(bool, pausa);
    const auto banco = novoBanco();
    QVERIFY(banco);
    FichasGravadas fichas(*banco);
    const QStringList nomes{QStringLiteral("José Alves"), QStringLiteral("Maria José"), QStringLiteral("Ana Lima"),
                            QStringLiteral("JOSÉ Prado"), QStringLiteral("Rita Jose"), QStringLiteral("Paulo Reis")};
    for (qint32 n = 1; n <= 6; ++n) {
        clsAgenda f;
        f.numeroFicha = n;
        f.nome = nomes[n - 1];
        QVERIFY(fichas.insere(1, f));
    }
    // Two rows without their stored text (written by hand): made from their columns.
    QVERIFY(banco->executaDireto(QStringLiteral("UPDATE fichas SET fio = '' WHERE numeroficha IN (2, 5)")));

    const QByteArray departamento = Wire::codifica(QStringLiteral("1|Secretaria"));
    QByteArrayList esperadas;
    for (qint32 n : numeros) {
        std::optional<clsAgenda> f;
        QVERIFY(fichas.ficha(1, n, f) && f);
        esperadas << LinhaDaFicha::fioDe(*f) + departamento;
    }
    clsFiltroBusca filtro;
    filtro.nome = nome;
    QByteArray entregue, resto;
    qsizetype quantas = 0;
    FichasGravadas::Trecho trecho;
    int partes = 1;
    bool ok = true;
    do {
        if (trecho.pausou) {
            trecho.retomada = true;
            ++partes;
        }
        ok = pedaco == 0 ? fichas.busca(1, filtro, departamento, resto, quantas)
                         : fichas.buscaEmPartes(1, filtro, departamento, resto, quantas, pedaco, [&](QByteArray& b) {
                               // never a piece that ends where a sheet does: it would pass for a whole list
                               if (!b.endsWith("@@@"))
                                   entregue += "<peca sem @@@ no fim>";
                               entregue += b;
                               b.clear();
                               trecho.pausar = pausa;
                               return true;
                           }, &trecho);
    } while (ok && trecho.pausou);
    QVERIFY2(ok, qPrintable(banco->ultimoErro()));
    QCOMPARE(partes > 1, pausa);
    QCOMPARE(quantas, numeros.size());
    QCOMPARE(entregue + resto, esperadas.join("@@@"));
}

void tst_Banco::operadorQueMudaPerdeAsSessoes_data()
{
    QTest::addColumn<QString>("acao");
    QTest::addColumn<QString>("usuario");
    QTest::addColumn<bool>("achou");
    QTest::addColumn<QStringList>("restam");   // operators whose sessions are left
    const QStringList ambos{QStringLiteral("ana"), QStringLiteral("bia")};
    QTest::newRow("desativado") << "desativa" << "ana" << true << QStringList{QStringLiteral("bia")};
    QTest::newRow("removido") << "remove" << "ana" << true << QStringList{QStringLiteral("bia")};
    QTest::newRow("senha trocada") << "troca a senha" << "ana" << true << QStringList{QStringLiteral("bia")};
    QTest::newRow("ativado") << "ativa" << "ana" << true << ambos;
    QTest::newRow("desconhecido") << "remove" << "zeca" << false << ambos;
}

void tst_Banco::operadorQueMudaPerdeAsSessoes()
{
    QFETCH(QString, acao);
    QFETCH(QString, usuario);
    const auto banco = novoBanco();
    QVERIFY(banco);
    Cadastro cadastro(*banco);
    SessoesGravadas sessoes(*banco);
    bool novo = false;
    for (const QString& quem : {QStringLiteral("ana"), QStringLiteral("bia")}) {
        QVERIFY(cadastro.gravaOperador(quem, QStringLiteral("hash-") + quem, 1, novo) && novo);
        QVERIFY(sessoes.abreSessao(QStringLiteral("chave-") + quem, QStringLiteral("10.0.0.1"), quem, false, 1000));
    }
    bool achou = false;
    const bool ok = acao == QLatin1String("desativa") ? cadastro.ativaOperador(usuario, false, achou)
        : acao == QLatin1String("ativa")              ? cadastro.ativaOperador(usuario, true, achou)
        : acao == QLatin1String("remove")             ? cadastro.removeOperador(usuario, achou)
                                                      : cadastro.trocaSenha(usuario, QStringLiteral("outro"), achou);
    QVERIFY2(ok, qPrintable(banco->ultimoErro()));
    QTEST(achou, "achou");
    QList<SessaoGravada> abertas;
    QVERIFY(sessoes.sessoes(abertas));
    QStringList restam;
    for (const SessaoGravada& s : abertas)
        restam << s.usuario;
    QTEST(restam, "restam");
}

void tst_Banco::copiaSoNumArquivoNovo()
{
    const auto banco = novoBanco();
    QVERIFY(banco);
    const QString destino = m_pasta.filePath(QStringLiteral("copia%1.db").arg(++m_bancos));
    if (ehPostgres()) {
        QVERIFY(!copiaPara(*banco, destino));
        QCOMPARE(banco->ultimoErro(), QStringLiteral("cópia: para PostgreSQL use pg_dump (veja o README do servidor)"));
        return;
    }
    clsAgenda f;
    f.numeroFicha = 7;
    f.nome = QStringLiteral("Copiada");
    QVERIFY(FichasGravadas(*banco).insere(1, f));
    QVERIFY2(copiaPara(*banco, destino), qPrintable(banco->ultimoErro()));
    QVERIFY(!copiaPara(*banco, destino));
    QCOMPARE(banco->ultimoErro(), QStringLiteral("cópia: %1 já existe; a cópia só é gravada num arquivo novo").arg(destino));

    Banco copia(QStringLiteral("sqlite:") + destino);
    QVERIFY(copia.abre(false) && Esquema(copia).temEsquema());
    std::optional<clsAgenda> lida;
    QVERIFY(FichasGravadas(copia).ficha(1, 7, lida) && lida);
    QCOMPARE(lida->nome, f.nome);
}

// The writer's batches read before they write; another connection opening and ending
// sessions meanwhile must make them wait for their turn, never fail.
void tst_Banco::gravacoesEsperamAVezDosLogins()
{
    const auto banco = novoBanco();
    QVERIFY(banco);
    bool novo = false;
    QVERIFY(Cadastro(*banco).gravaOperador(QStringLiteral("ana"), QStringLiteral("hash"), 1, novo));
    std::atomic<bool> acabou = false, desistiu = false;
    std::atomic<int> logins = 0;
    QString erroDoLogin;
    QThread* outra = QThread::create([&] {
        Banco sessoes(banco->conexao());
        if (!sessoes.abre(false))
            erroDoLogin = sessoes.ultimoErro();
        for (int i = 0; erroDoLogin.isEmpty() && (!acabou || i < 20); ++i) {
            const QString chave = QStringLiteral("chave-%1").arg(i);
            if (!SessoesGravadas(sessoes).abreSessao(chave, QStringLiteral("10.0.0.1"), QStringLiteral("ana"), false, 1000 + i)
                || !SessoesGravadas(sessoes).encerraSessao(chave))
                erroDoLogin = sessoes.ultimoErro();
            ++logins;
            QThread::usleep(1000);   // the next login is another round trip away
        }
        desistiu = !erroDoLogin.isEmpty();
    });
    outra->start();
    FichasGravadas fichas(*banco);
    QStringList falhas;
    for (qint32 n = 1; n <= 300 || (logins < 20 && !desistiu); ++n) {
        clsAgenda f;
        f.numeroFicha = n;
        bool existe = true;
        if (!banco->iniciaTransacao() || !banco->marcaPonto() || !fichas.existe(1, n, existe) || !fichas.insere(1, f)
            || !banco->liberaPonto() || !banco->confirmaTransacao()) {
            falhas << banco->ultimoErro();
            banco->desfazTransacao();
        }
        // A writer has a moment between its batches (it hands out the replies): SQLite's polling
        // for the lock finds the store free then, as it does in the server.
        QThread::usleep(1000);
    }
    acabou = true;
    outra->wait();
    delete outra;
    QVERIFY2(erroDoLogin.isEmpty(), qPrintable(erroDoLogin));
    QVERIFY2(falhas.isEmpty(), qPrintable(QStringLiteral("%1 gravações falharam: %2").arg(falhas.size()).arg(falhas.value(0))));
}

QTEST_GUILESS_MAIN(tst_Banco)
#include "tst_banco.moc"
