// Several registry servers on one PostgreSQL database, and the database going away under
// them: always a private cluster (ClusterPostgres), whatever ZELTO_TESTE_BANCO says.
#include "protocol/Wire.h"
#include "protocol/clsAgenda.h"
#include "protocol/clsFiltroBusca.h"
#include "protocol/clsUsuario.h"
#include "protocol/modCommands.h"
#include "support/ClusterPostgres.h"
#include "support/RespostaInteira.h"
#include "support/ServidorReal.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QProcess>
#include <QScopeGuard>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTcpSocket>
#include <QTest>
#include <QUrl>

namespace {

// Many connections at once, each sending its requests one after the other (the next on
// the reply to the previous), all in one event loop; the replies in order per connection.
class Rajada {
public:
    struct Linha {
        const ServidorReal* servidor = nullptr;
        QList<QByteArray> pedidos;
        QList<QByteArray> respostas;
        QTcpSocket* socket = nullptr;
        QByteArray lido;
        bool saudado = false;
    };
    QList<Linha> linhas;

    bool executa(int prazoMs = 60'000)
    {
        int ativas = int(linhas.size());
        for (Linha& l : linhas) {
            l.socket = new QTcpSocket;
            QObject::connect(l.socket, &QTcpSocket::readyRead, l.socket, [&l, &ativas] {
                l.lido += l.socket->readAll();
                if (!l.saudado) {
                    if (!l.lido.startsWith('2'))
                        return;
                    l.saudado = true;
                    l.lido.remove(0, 1);
                } else if (respostaInteira(l.lido)) {
                    l.respostas << std::exchange(l.lido, {});
                } else {
                    return;
                }
                if (l.respostas.size() < l.pedidos.size())
                    l.socket->write(l.pedidos[l.respostas.size()]);
                else
                    --ativas;
            });
            l.socket->connectToHost(l.servidor->host(), l.servidor->porta());
        }
        const QDeadlineTimer prazo(prazoMs);
        while (ativas > 0 && !prazo.hasExpired())
            QTest::qWait(5);
        for (Linha& l : linhas)
            delete std::exchange(l.socket, nullptr);
        return ativas == 0;
    }
};

// One connection, one request at a time.
QByteArray pede(const ServidorReal& s, const QString& mensagem, int prazoMs = 8000)
{
    QTcpSocket socket;
    socket.connectToHost(s.host(), s.porta());
    if (!socket.waitForConnected(5000) || !socket.waitForReadyRead(5000))
        return "sem conexão";
    socket.read(1);
    socket.write(Wire::codifica(mensagem));
    QByteArray r = socket.readAll();
    const QDeadlineTimer prazo(prazoMs);
    // A list has no end mark: whole once the stream stays quiet for a moment.
    while (!respostaInteira(r) && !prazo.hasExpired()
           && socket.waitForReadyRead(r.startsWith("13|") ? 150 : int(std::max<qint64>(1, prazo.remainingTime()))))
        r += socket.readAll();
    return r;
}

QString login(const ServidorReal::Conta& c)
{
    clsUsuario u;
    u.usuario = c.usuario;
    u.senha = c.senha;
    return u.toPipeStringWithCommand(Codigo::Login);
}

clsAgenda ficha(qint32 numero, const QString& nome, qint32 dep = 1)
{
    clsAgenda f;
    f.numeroFicha = numero;
    f.nome = nome;
    f.Data = QDate(2022, 4, 9);
    f.Valor = 10.5;
    f.cidade = QStringLiteral("Goiânia");
    f.departamento.idDepartamento = dep;
    return f;
}

QString busca(qint32 numero, qint32 dep = 1)
{
    clsFiltroBusca f;
    f.numeroFicha = numero;
    f.departamento.idDepartamento = dep;
    return f.toPipeStringWithCommand(Codigo::Busca);
}

clsAgenda uma(const QByteArray& r)
{
    clsAgenda f;
    f.fromPipeStringWithCommand(Wire::decodifica(r));
    return f;
}

QString nomeDoBanco(const ServidorReal& s)
{
    return QUrl(s.conexaoDoBanco()).path().mid(1);
}

// A connection of the test's own to the servers' database, as another program would open.
bool abreDireto(QSqlDatabase& db, const QString& nome, const ClusterPostgres& pg, const ServidorReal& s)
{
    db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), nome);
    db.setHostName(pg.pasta());
    db.setPort(pg.porta());
    db.setUserName(QStringLiteral("zelto"));
    db.setDatabaseName(nomeDoBanco(s));
    return db.open();
}

QVariant umValor(QSqlDatabase& db, const QString& sql)
{
    QSqlQuery q(db);
    return q.exec(sql) && q.next() ? q.value(0) : QVariant();
}

QString rodaZelto(const QStringList& argumentos, int* codigo)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(ServidorReal::binario(), argumentos);
    p.waitForFinished(30'000);
    *codigo = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    return QString::fromUtf8(p.readAll());
}

} // namespace

class tst_Postgres : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void duasInstanciasDisputamInclusoes();
    void mudancaEsperaOHistoricoSemPrenderFichas();
    void duasInstanciasGravamFichasNovas();
    void loginValeNaOutraInstancia();
    void operadorDesativadoPerdeAcessoNaOutraInstancia();
    void bancoReiniciadoNoMeioDoUso();
    void bancoForaNaoBloqueiaOOperador();
    void bancoTravadoNaoCalaOServidor();
    void registroBloqueadoCustaUmPedido();
    void bancoSemUtf8Recusado();
    void usuarioSemPermissaoOuvePorque();
    void senhaDoBancoNuncaAparece();

private:
    // A refusal's reason, as the servers logged it.
    QString porQue(const QByteArray& resposta) const
    {
        QStringList linhas;
        for (const ServidorReal* s : {m_a.get(), m_b.get()})
            for (const QString& l : s->diario().split(u'\n'))
                if (l.contains(QLatin1String("-> 0")))
                    linhas << l;
        return QString::fromLatin1(resposta.left(40)) + u'\n' + linhas.mid(0, 5).join(u'\n');
    }

    ClusterPostgres* m_pg = nullptr;
    std::unique_ptr<ServidorReal> m_a, m_b;
};

void tst_Postgres::initTestCase()
{
    m_pg = ClusterPostgres::compartilhado();
    QVERIFY2(m_pg, qPrintable(ClusterPostgres::erroGlobal()));
    // The races below open many plain connections from this address after one login: the
    // per-address rule (a server option) lets them share it, on both servers.
    const QStringList porEndereco{QStringLiteral("--sessao-por-endereco")};
    m_a = std::make_unique<ServidorReal>(ServidorReal::Conta(), 0, ServidorReal::Banco::PostgreSQL);
    m_a->defineArgumentos(porEndereco);
    QVERIFY2(m_a->inicia(), qPrintable(m_a->erro()));
    m_b = m_a->outraInstancia();
    m_b->defineArgumentos(porEndereco);
    QVERIFY2(m_b->inicia(), qPrintable(m_b->erro()));
    QVERIFY(pede(*m_a, login(m_a->conta())).startsWith("4|"));
}

void tst_Postgres::duasInstanciasDisputamInclusoes()
{
    // 30 numbers, each included at once by 7 connections spread over both servers, half of
    // them going up the numbers and half going down: exactly one winner per number, every
    // loser told "already there" (9 with the stored sheet), never 0.
    constexpr int numeros = 30, porNumero = 7, base = 50'000;
    Rajada r;
    for (int c = 0; c < porNumero * 2; ++c) {
        Rajada::Linha l;
        l.servidor = c % 2 ? m_b.get() : m_a.get();
        for (int k = 0; k < numeros; ++k) {
            const int n = base + (c % 4 < 2 ? k : numeros - 1 - k);
            l.pedidos << Wire::codifica(ficha(n, QStringLiteral("Conexão %1").arg(c)).toPipeStringWithCommand(Codigo::Inclui));
        }
        r.linhas << l;
    }
    // Only porNumero of the connections per number would do; all of them race on every number.
    QVERIFY(r.executa());
    QHash<qint32, QString> vencedores;
    int perdedores = 0;
    for (const Rajada::Linha& l : r.linhas) {
        QCOMPARE(l.respostas.size(), numeros);
        for (qsizetype i = 0; i < l.respostas.size(); ++i) {
            const QByteArray& resposta = l.respostas[i];
            QVERIFY2(resposta.startsWith("9|"), qPrintable(porQue(resposta)));
            const clsAgenda f = uma(resposta);
            const clsAgenda pedida = uma(QByteArray("9") + l.pedidos[i].mid(1));
            if (f.numeroFicha == 0) {
                QVERIFY2(!vencedores.contains(pedida.numeroFicha), "dois vencedores");
                vencedores.insert(pedida.numeroFicha, pedida.nome);
            } else {
                QCOMPARE(f.numeroFicha, pedida.numeroFicha);
                ++perdedores;
            }
        }
    }
    QCOMPARE(vencedores.size(), numeros);
    QCOMPARE(perdedores, numeros * (porNumero * 2 - 1));
    // Every loser was shown the winner's sheet, which is the one stored.
    for (const Rajada::Linha& l : r.linhas)
        for (const QByteArray& resposta : l.respostas)
            if (uma(resposta).numeroFicha != 0)
                QCOMPARE(uma(resposta).nome, vencedores.value(uma(resposta).numeroFicha));
    QVariant n;
    QVERIFY(m_a->executaNoBanco({QStringLiteral("SELECT COUNT(*) FROM fichas WHERE numeroficha >= %1").arg(base)}, &n));
    QCOMPARE(n.toInt(), numeros);
}

void tst_Postgres::mudancaEsperaOHistoricoSemPrenderFichas()
{
    // While another server appends to the history, a change waits for the chain before it
    // touches any sheet: waiting with a sheet in hand, it could hold what that server needs
    // next (the same number, included there too), and both would wait on each other.
    const QString nome = QStringLiteral("cadeia");
    QSqlDatabase db;
    QVERIFY2(abreDireto(db, nome, *m_pg, *m_a), qPrintable(db.lastError().text()));
    const auto fim = qScopeGuard([&] {
        db.close();
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(nome);
    });
    QVERIFY(db.transaction());
    QSqlQuery q(db);
    q.prepare(QStringLiteral("SELECT pg_advisory_xact_lock(?)"));
    q.addBindValue(QVariant::fromValue(qint64(0x7a656c746f)));   // the history's lock, as the servers take it
    QVERIFY2(q.exec(), qPrintable(q.lastError().text()));

    QTcpSocket s;
    s.connectToHost(m_a->host(), m_a->porta());
    QVERIFY(s.waitForConnected(5000) && s.waitForReadyRead(5000));
    s.read(1);
    s.write(Wire::codifica(ficha(60'000, QStringLiteral("Na fila da cadeia")).toPipeStringWithCommand(Codigo::Inclui)));
    QVERIFY(s.waitForBytesWritten(5000));
    const QString esperando = QStringLiteral("SELECT pid FROM pg_locks WHERE locktype = 'advisory' AND NOT granted");
    QTRY_VERIFY_WITH_TIMEOUT(umValor(db, esperando).isValid(), 10'000);
    const QVariant presas = umValor(db, QStringLiteral("SELECT COUNT(*) FROM pg_locks WHERE relation = 'fichas'::regclass AND pid IN (%1)").arg(esperando));
    QCOMPARE(presas.toInt(), 0);

    db.rollback();
    QByteArray r;
    while (!respostaInteira(r) && s.waitForReadyRead(8000))
        r += s.readAll();
    QVERIFY2(r.startsWith("9|") && uma(r).numeroFicha == 0, r.constData());
}

void tst_Postgres::duasInstanciasGravamFichasNovas()
{
    // 400 new sheets at once through both servers: 400 numbers, all different, all stored.
    Rajada r;
    for (int c = 0; c < 20; ++c) {
        Rajada::Linha l;
        l.servidor = c % 2 ? m_b.get() : m_a.get();
        for (int k = 0; k < 20; ++k)
            l.pedidos << Wire::codifica(ficha(0, QStringLiteral("Nova %1-%2").arg(c).arg(k), 1).toPipeStringWithCommand(Codigo::Salva));
        r.linhas << l;
    }
    QVariant antes;
    QVERIFY(m_a->executaNoBanco({QStringLiteral("SELECT COUNT(*) FROM fichas")}, &antes));
    QVERIFY(r.executa());
    QSet<qint32> dados;
    for (const Rajada::Linha& l : r.linhas) {
        QCOMPARE(l.respostas.size(), 20);
        for (const QByteArray& resposta : l.respostas) {
            QVERIFY2(resposta.startsWith("7|"), resposta.constData());
            dados.insert(uma(resposta).numeroFicha);
        }
    }
    QCOMPARE(dados.size(), 400);
    QVariant depois;
    QVERIFY(m_a->executaNoBanco({QStringLiteral("SELECT COUNT(*) FROM fichas")}, &depois));
    QCOMPARE(depois.toInt() - antes.toInt(), 400);
    // Each reply's number holds that reply's sheet.
    const clsAgenda algum = uma(r.linhas[3].respostas[5]);
    QCOMPARE(uma(pede(*m_b, ficha(algum.numeroFicha, QStringLiteral("x")).toPipeStringWithCommand(Codigo::Inclui))).nome, algum.nome);
}

void tst_Postgres::loginValeNaOutraInstancia()
{
    ServidorReal::Conta conta{4, QStringLiteral("Missões"), QStringLiteral("missoes"), QStringLiteral("missoes-1")};
    QVERIFY(m_a->adicionaConta(conta));
    // Our client's way: a session agreed on A with a secret, taken up again on B.
    const auto conecta = [](const ServidorReal& servidor, QTcpSocket& socket, const QString& capacidades) {
        socket.bind(QHostAddress(QStringLiteral("127.0.0.21")));
        socket.connectToHost(servidor.host(), servidor.porta());
        socket.waitForConnected(5000);
        socket.waitForReadyRead(5000);
        socket.read(1);
        socket.write(Wire::codifica(QStringLiteral("99|zelto|1|") + capacidades));
        QByteArray r;
        while (socket.waitForReadyRead(r.isEmpty() ? 5000 : 100))
            r += socket.readAll();
        return r.startsWith("99|zelto|1|sessao=") ? QString::fromLatin1(r.mid(18)) : QString();
    };
    const auto pedeEm = [](QTcpSocket& socket, const QString& mensagem) {
        socket.write(Wire::codifica(mensagem));
        QByteArray r;
        while (!respostaInteira(r) && socket.waitForReadyRead(5000))
            r += socket.readAll();
        return r;
    };
    QTcpSocket a, b, c;
    const QString segredo = conecta(*m_a, a, QStringLiteral("sessao"));
    QCOMPARE(segredo.size(), 64);
    QCOMPARE(pedeEm(a, busca(0, 4)), QByteArray("0"));
    QVERIFY(pedeEm(a, login(conta)).startsWith("4|"));
    QCOMPARE(conecta(*m_b, b, QStringLiteral("sessao=") + segredo), segredo);
    QCOMPARE(pedeEm(b, busca(0, 4)), QByteArray("14"));   // logged in on A, served by B
    // Log-off on B ends it on A too.
    QCOMPARE(conecta(*m_b, c, QStringLiteral("encerrar=") + segredo), QString());
    QCOMPARE(pedeEm(a, busca(0, 4)), QByteArray("0"));
}

void tst_Postgres::operadorDesativadoPerdeAcessoNaOutraInstancia()
{
    ServidorReal::Conta conta{5, QStringLiteral("Coral"), QStringLiteral("coral"), QStringLiteral("coral-12")};
    QVERIFY(m_a->adicionaConta(conta));
    // One connection to B, kept open, logged in.
    QTcpSocket s;
    s.bind(QHostAddress(QStringLiteral("127.0.0.22")));
    s.connectToHost(m_b->host(), m_b->porta());
    QVERIFY(s.waitForConnected(5000) && s.waitForReadyRead(5000));
    QCOMPARE(s.readAll(), QByteArray("2"));
    const auto pedeAqui = [&](const QString& mensagem) {
        s.write(Wire::codifica(mensagem));
        QByteArray r;
        while (!respostaInteira(r) && s.waitForReadyRead(5000))
            r += s.readAll();
        return r;
    };
    QVERIFY(pedeAqui(login(conta)).startsWith("4|"));
    QCOMPARE(pedeAqui(busca(0, 5)), QByteArray("14"));
    // Disabled through the database while B runs: B's next answer on that open connection is 0.
    QVERIFY(m_a->administra({QStringLiteral("desativar-operador"), QStringLiteral("--usuario"), conta.usuario}));
    QCOMPARE(pedeAqui(busca(0, 5)), QByteArray("0"));
    QCOMPARE(pedeAqui(login(conta)), QByteArray("5"));
}

void tst_Postgres::bancoReiniciadoNoMeioDoUso()
{
    auto s = std::make_unique<ServidorReal>(ServidorReal::Conta(), 5, ServidorReal::Banco::PostgreSQL);
    s->defineArgumentos({QStringLiteral("--sessao-por-endereco")});   // one connection per request below
    QVERIFY2(s->inicia(), qPrintable(s->erro()));
    QVERIFY(pede(*s, login(s->conta())).startsWith("4|"));
    QVERIFY(pede(*s, busca(3)).startsWith("13|"));

    QVERIFY2(m_pg->para(), qPrintable(m_pg->erro()));
    // While the database is away: 0 at once, logins included; the server stays up.
    for (int i = 0; i < 4; ++i) {
        QElapsedTimer t;
        t.start();
        QCOMPARE(pede(*s, busca(3)), QByteArray("0"));
        QVERIFY2(t.elapsed() < 1500, qPrintable(QString::number(t.elapsed())));
        QCOMPARE(pede(*s, ficha(0, QStringLiteral("Durante")).toPipeStringWithCommand(Codigo::Salva)), QByteArray("0"));
        QCOMPARE(pede(*s, login(s->conta())), QByteArray("0"));
        QTest::qWait(150);
    }
    QVERIFY(s->rodando());
    QVERIFY2(m_pg->inicia(), qPrintable(m_pg->erro()));
    // The first request after the database is back goes through; the session was kept.
    QVERIFY(pede(*s, busca(3)).startsWith("13|"));
    QVERIFY(pede(*s, ficha(0, QStringLiteral("Depois")).toPipeStringWithCommand(Codigo::Salva)).startsWith("7|"));
    QVERIFY(s->diario().contains(QStringLiteral("conexão com o banco perdida")));
    QVERIFY(s->diario().contains(QStringLiteral("conexão com o banco restabelecida")));
    // The other servers of this program came back as well (in the background or on demand).
    QVERIFY(pede(*m_a, busca(50'000)).startsWith("13|"));
}

void tst_Postgres::bancoForaNaoBloqueiaOOperador()
{
    auto s = std::make_unique<ServidorReal>(ServidorReal::Conta(), 0, ServidorReal::Banco::PostgreSQL);
    QVERIFY2(s->inicia(), qPrintable(s->erro()));
    QVERIFY2(m_pg->para(), qPrintable(m_pg->erro()));
    // The right password while the operator cannot be looked up: 0 every time, never
    // "refused", more times than wrong passwords may be tried.
    for (int i = 0; i < 6; ++i)
        QCOMPARE(pede(*s, login(s->conta())), QByteArray("0"));
    QVERIFY2(m_pg->inicia(), qPrintable(m_pg->erro()));
    QVERIFY(pede(*s, login(s->conta())).startsWith("4|"));
    // Wrong passwords still lock the operator out.
    ServidorReal::Conta errada = s->conta();
    errada.senha = QStringLiteral("errada");
    for (int i = 0; i < 5; ++i)
        QCOMPARE(pede(*s, login(errada)), QByteArray("5"));
    QCOMPARE(pede(*s, login(s->conta())), QByteArray("5"));
}

void tst_Postgres::bancoTravadoNaoCalaOServidor()
{
    // A cluster of its own to stop: the other servers of this program keep theirs.
    ClusterPostgres pg;
    QVERIFY2(pg.inicia(), qPrintable(pg.erro()));
    const QString nome = ClusterPostgres::nomeNovo();
    QVERIFY2(pg.criaBanco(nome), qPrintable(pg.erro()));
    auto s = ServidorReal::novoNaConexao(pg.conexao(nome), ServidorReal::Conta(), 5);
    s->defineArgumentos({QStringLiteral("--sessao-por-endereco")});   // one connection per request below
    QVERIFY2(s->inicia(), qPrintable(s->erro()));
    QVERIFY(pede(*s, login(s->conta())).startsWith("4|"));
    QVERIFY(pede(*s, busca(3)).startsWith("13|"));

    // The database host hangs: it answers nothing and refuses nothing.
    QVERIFY2(pg.suspende(), qPrintable(pg.erro()));
    auto retoma = qScopeGuard([&] { pg.retoma(); });
    QTest::qWait(1500);   // long enough for any periodic look at the database to meet it
    // Greeted, and 0 for what needs the database, logins included.
    for (int i = 0; i < 3; ++i) {
        const QByteArray r = pede(*s, busca(3));
        QCOMPARE(r, QByteArray("0"));
        QCOMPARE(pede(*s, ficha(0, QStringLiteral("Durante")).toPipeStringWithCommand(Codigo::Salva)), QByteArray("0"));
        QCOMPARE(pede(*s, login(s->conta())), QByteArray("0"));
    }
    QVERIFY(s->diario().contains(QStringLiteral("o banco não responde")));

    QVERIFY(pg.retoma());
    retoma.dismiss();
    // Served again once it resumes, the session kept.
    QTRY_VERIFY_WITH_TIMEOUT(pede(*s, busca(3)).startsWith("13|"), 15'000);
    QVERIFY(pede(*s, ficha(0, QStringLiteral("Depois")).toPipeStringWithCommand(Codigo::Salva)).startsWith("7|"));
    QVERIFY(pede(*s, login(s->conta())).startsWith("4|"));
    QVERIFY(s->diario().contains(QStringLiteral("o banco voltou a responder")));
}

void tst_Postgres::registroBloqueadoCustaUmPedido()
{
    const clsAgenda f = uma(pede(*m_a, ficha(0, QStringLiteral("Presa")).toPipeStringWithCommand(Codigo::Salva)));
    QVERIFY(f.numeroFicha > 0);
    // A long transaction elsewhere (a backup tool, a hand-made UPDATE) holds that row.
    const QString nome = QStringLiteral("trava");
    {
        QSqlDatabase db;
        QVERIFY2(abreDireto(db, nome, *m_pg, *m_a), qPrintable(db.lastError().text()));
        QVERIFY(db.transaction());
        QSqlQuery q(db);
        QVERIFY(q.exec(QStringLiteral("SELECT 1 FROM fichas WHERE iddepartamento = 1 AND numeroficha = %1 FOR UPDATE").arg(f.numeroFicha)));

        QElapsedTimer t;
        t.start();
        clsAgenda alterada = f;
        alterada.nome = QStringLiteral("Alterada");
        QCOMPARE(pede(*m_a, alterada.toPipeStringWithCommand(Codigo::Salva)), QByteArray("0"));
        const qint64 espera = t.elapsed();
        QVERIFY2(espera < 4000, qPrintable(QString::number(espera)));   // well below the client's time-out
        // The rest of the registry is served at once.
        t.restart();
        QVERIFY(pede(*m_a, busca(50'000)).startsWith("13|"));
        QVERIFY(pede(*m_b, busca(50'001)).startsWith("13|"));
        QVERIFY2(t.elapsed() < 1000, qPrintable(QString::number(t.elapsed())));
        db.rollback();
    }
    QSqlDatabase::removeDatabase(nome);
    clsAgenda alterada = f;
    alterada.nome = QStringLiteral("Alterada");
    QCOMPARE(uma(pede(*m_a, alterada.toPipeStringWithCommand(Codigo::Salva))).nome, QStringLiteral("Alterada"));
    QVERIFY(m_a->diario().contains(QStringLiteral("55P03")));
}

void tst_Postgres::bancoSemUtf8Recusado()
{
    const QString nome = ClusterPostgres::nomeNovo();
    QVERIFY2(m_pg->criaBanco(nome, QStringLiteral("LATIN1")), qPrintable(m_pg->erro()));
    int codigo = 0;
    const QString saida = rodaZelto({QStringLiteral("criar-banco"), QStringLiteral("--db"), m_pg->conexao(nome)}, &codigo);
    QCOMPARE(codigo, 1);
    QVERIFY2(saida.contains(QStringLiteral("LATIN1")) && saida.contains(QStringLiteral("UTF8")), qPrintable(saida));
    QVariant tabelas;
    QVERIFY(m_pg->executa(nome, {QStringLiteral("SELECT COUNT(*) FROM pg_tables WHERE schemaname = 'public'")}, &tabelas));
    QCOMPARE(tabelas.toInt(), 0);
}

void tst_Postgres::usuarioSemPermissaoOuvePorque()
{
    QVERIFY2(m_pg->executa(QStringLiteral("postgres"), {QStringLiteral("DO $$ BEGIN IF NOT EXISTS (SELECT 1 FROM pg_roles WHERE rolname = 'visitante') "
                                                                       "THEN CREATE ROLE visitante LOGIN; END IF; END $$")}),
             qPrintable(m_pg->erro()));
    const QString conexao = m_pg->conexao(nomeDoBanco(*m_a)).replace(QStringLiteral("zelto@"), QStringLiteral("visitante@"));
    int codigo = 0;
    const QString saida = rodaZelto({QStringLiteral("listar"), QStringLiteral("--db"), conexao}, &codigo);
    QCOMPARE(codigo, 1);
    QVERIFY2(saida.contains(QStringLiteral("permissão")) && saida.contains(QStringLiteral("42501")), qPrintable(saida));
    QVERIFY(!saida.contains(QStringLiteral("não tem as tabelas")));
}

void tst_Postgres::senhaDoBancoNuncaAparece()
{
    // Trusting the local socket, the cluster ignores the password: the connection works and
    // the password shows nowhere, nor in a failure.
    const QString senha = QStringLiteral("Pa55@w/rd#?x");
    const QString boa = m_pg->conexao(nomeDoBanco(*m_a)).replace(QStringLiteral("zelto@"),
                                                                 QStringLiteral("zelto:") + QString::fromLatin1(QUrl::toPercentEncoding(senha)) + QLatin1Char('@'));
    int codigo = 0;
    QString saida = rodaZelto({QStringLiteral("listar"), QStringLiteral("--db"), boa}, &codigo);
    QCOMPARE(codigo, 0);
    const QString ruim = QString(boa).replace(nomeDoBanco(*m_a), QStringLiteral("nao_existe"));
    saida = rodaZelto({QStringLiteral("listar"), QStringLiteral("--db"), ruim}, &codigo);
    QCOMPARE(codigo, 1);
    QVERIFY2(saida.contains(QStringLiteral("nao_existe")), qPrintable(saida));
    for (const QString& pedaco : {QStringLiteral("Pa55"), QStringLiteral("rd#"), QStringLiteral("w/rd"), QStringLiteral("w%2Frd")})
        QVERIFY2(!saida.contains(pedaco), qPrintable(saida));
}

QTEST_GUILESS_MAIN(tst_Postgres)
#include "tst_postgres.moc"
