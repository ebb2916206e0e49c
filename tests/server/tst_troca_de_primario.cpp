// The registry's PostgreSQL losing its primary: a synchronous standby promoted by hand under
// save load, a commit whose outcome the server cannot know, and no host taking writes.
// Always private clusters (ParPostgres), whatever ZELTO_TESTE_BANCO says.
#include "protocol/Wire.h"
#include "protocol/clsAgenda.h"
#include "support/CargaDeGravacoes.h"
#include "support/FormacaoPgAutoFailover.h"
#include "support/ParPostgres.h"
#include "support/Pedidos.h"
#include "support/RespostaInteira.h"
#include "support/ServidorReal.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QSet>
#include <QTcpSocket>
#include <QTest>

#include <memory>

namespace {

// One whole reply (or what came within 15 s).
QByteArray leResposta(QTcpSocket& socket)
{
    QByteArray r;
    const QDeadlineTimer prazo(15'000);
    while (!respostaInteira(r) && !prazo.hasExpired() && socket.waitForReadyRead(r.startsWith("13|") ? 150 : 15'000))
        r += socket.readAll();
    return r;
}

// One connection (`aberto`, or one of its own): the "sessao" agreement (`capacidades`), then
// `mensagens` one after another; the replies.
QList<QByteArray> pedeNaSessao(const ServidorReal& s, const QString& capacidades, const QStringList& mensagens, QString* segredo = nullptr,
                               QTcpSocket* aberto = nullptr)
{
    QTcpSocket proprio;
    QTcpSocket& socket = aberto ? *aberto : proprio;
    socket.connectToHost(s.host(), s.porta());
    if (!socket.waitForConnected(5000) || !socket.waitForReadyRead(5000))
        return {"sem conexão"};
    socket.read(1);
    socket.write(Wire::codifica(QStringLiteral("99|zelto|1|") + capacidades));
    QByteArray acordo;
    while (socket.waitForReadyRead(acordo.isEmpty() ? 5000 : 100))
        acordo += socket.readAll();
    if (segredo)
        *segredo = acordo.startsWith("99|zelto|1|sessao=") ? QString::fromLatin1(acordo.mid(18, 64)) : QString();
    QList<QByteArray> respostas;
    for (const QString& m : mensagens) {
        socket.write(Wire::codifica(m));
        respostas << leResposta(socket);
    }
    return respostas;
}

QString salva(const QString& nome)
{
    clsAgenda f;
    f.nome = nome;
    f.Data = QDate(2022, 4, 9);
    f.cidade = QStringLiteral("Anápolis");
    f.departamento.idDepartamento = 1;
    return f.toPipeStringWithCommand(Codigo::Salva);
}

// A new database on `par` (started here) and a server on it; null, with the reason in `erro`.
std::unique_ptr<ServidorReal> servidorNoPar(ParPostgres& par, QString& nome, QString& erro)
{
    nome = ClusterPostgres::nomeNovo();
    if (!par.inicia() || !par.primario().criaBanco(nome)) {
        erro = par.erro() + par.primario().erro();
        return nullptr;
    }
    auto s = ServidorReal::novoNaConexao(par.conexao(nome), ServidorReal::Conta(), 0);
    if (!s->inicia()) {
        erro = s->erro();
        return nullptr;
    }
    return s;
}

// After a failover under `carga`: no number acknowledged twice, every acknowledged sheet and
// its history on the database `s` now writes to, the history's chain whole there.
void confereSemPerda(const CargaDeGravacoes& carga, ServidorReal& s)
{
    int repetidas = 0;
    const QSet<qint32> reconhecidas = carga.reconhecidas(&repetidas);
    QCOMPARE(repetidas, 0);
    QVERIFY(reconhecidas.size() > 50);
    QCOMPARE(CargaDeGravacoes::faltamEm(s, QStringLiteral("fichas"), reconhecidas), QSet<qint32>());
    QCOMPARE(CargaDeGravacoes::faltamEm(s, QStringLiteral("historico"), reconhecidas), QSet<qint32>());
    QVERIFY2(s.administra({QStringLiteral("historico"), QStringLiteral("--verificar")}), qPrintable(s.erro()));
}

// Saves a sheet "Depois" (after `antes`) until one is stored, within `prazoMs`: each try on a new connection.
bool salvaEmAte(const ServidorReal& s, const QString& capacidades, const QStringList& antes, int prazoMs)
{
    for (const QDeadlineTimer prazo(prazoMs); !prazo.hasExpired(); QTest::qWait(100))
        if (pedeNaSessao(s, capacidades, antes + QStringList{salva(QStringLiteral("Depois"))}).last().startsWith("7|"))
            return true;
    return false;
}

} // namespace

class tst_TrocaDePrimario : public QObject {
    Q_OBJECT
private slots:
    void promocaoSobCarga();
    void confirmacaoIncertaNuncaEhGravada();
    void semHostQueAceiteGravacoes();
    void promocaoPeloPgAutoFailover();
};

void tst_TrocaDePrimario::promocaoSobCarga()
{
    ParPostgres par;
    QString nome, erro;
    // Two servers on the pair, as an office's instances run.
    auto a = servidorNoPar(par, nome, erro);
    QVERIFY2(a, qPrintable(erro));
    auto b = a->outraInstancia();
    QVERIFY2(b->inicia(), qPrintable(b->erro()));
    const qint64 pidA = a->pid(), pidB = b->pid();

    CargaDeGravacoes carga({a.get(), b.get()}, 10);
    QVERIFY2(carga.prepara(), qPrintable(carga.erro()));
    carga.comeca();
    carga.espera(1500);
    const qint64 queda = carga.agoraMs();
    QVERIFY2(par.primario().derruba(), qPrintable(par.primario().erro()));
    carga.espera(1000);
    const qint64 promocao = carga.agoraMs();
    QVERIFY2(par.reserva().promove(), qPrintable(par.reserva().erro()));
    const qint64 promovida = carga.agoraMs();
    // Both servers save again; then a while more of load on the new primary.
    const auto voltou = [&](int servidor) {
        for (const auto& r : carga.respostas())
            if (r.conexao % 2 == servidor && r.enviadoMs > promovida && r.gravou())
                return r.respondidoMs;
        return qint64(-1);
    };
    const QDeadlineTimer prazo(10'000);
    while ((voltou(0) < 0 || voltou(1) < 0) && !prazo.hasExpired())
        carga.espera(20);
    carga.espera(1000);
    QVERIFY(carga.termina());
    qInfo("queda %lld ms, promoção %lld ms, primeira gravação depois: %lld / %lld ms", queda, promovida - promocao, voltou(0) - promovida,
          voltou(1) - promovida);
    QVERIFY2(voltou(0) >= 0 && voltou(0) - promovida < 10'000, qPrintable(a->diario().right(2000)));
    QVERIFY2(voltou(1) >= 0 && voltou(1) - promovida < 10'000, qPrintable(b->diario().right(2000)));
    QCOMPARE(a->pid(), pidA);
    QCOMPARE(b->pid(), pidB);

    // Between the crash and the servers saving again, every request had its answer within
    // about a second (three, for a loaded machine): 0 for all but what the old primary
    // acknowledged before it died.
    const qint64 servidos = std::max(voltou(0), voltou(1));
    int zeros = 0;
    for (const auto& r : carga.respostas())
        if (r.enviadoMs >= queda && r.enviadoMs < servidos) {
            QVERIFY2(r.respondidoMs - r.enviadoMs < 3000,
                     qPrintable(QStringLiteral("%1 ms: %2").arg(r.respondidoMs - r.enviadoMs).arg(QString::fromLatin1(r.texto.left(20)))));
            if (r.enviadoMs > queda + 200 && r.respondidoMs < promovida)
                QVERIFY2(r.texto == "0", r.texto.left(40).constData());
            zeros += r.texto == "0";
        }
    QVERIFY(zeros > 0);
    confereSemPerda(carga, *a);
    if (QTest::currentTestFailed())
        return;

    // Sessions are in the database: one made on A before the crash is taken up on B.
    QString segredo;
    const auto r = pedeNaSessao(*b, QStringLiteral("sessao=") + carga.segredos().first(), {busca(999'999)}, &segredo);
    QCOMPARE(segredo, carga.segredos().first());
    QCOMPARE(r.first(), QByteArray("14"));
    QVERIFY(a->diario().contains(QStringLiteral("conexão com o banco restabelecida")));
}

void tst_TrocaDePrimario::confirmacaoIncertaNuncaEhGravada()
{
    ParPostgres par;
    QString nome, erro;
    auto s = servidorNoPar(par, nome, erro);
    QVERIFY2(s, qPrintable(erro));
    QTcpSocket socket;
    QVERIFY(pedeNaSessao(*s, QStringLiteral("sessao"), {pedidoDeLogin(), salva(QStringLiteral("Antes"))}, nullptr, &socket).last().startsWith("7|"));
    // The standby gone, a commit waits for it. A save is sent; once its commit waits:
    QVERIFY2(par.reserva().para(), qPrintable(par.reserva().erro()));
    const auto esperaAReserva = [&] {
        const QString sql = QStringLiteral("SELECT pid FROM pg_stat_activity WHERE wait_event = 'SyncRep'");
        for (QDeadlineTimer prazo(10'000); !prazo.hasExpired(); QTest::qWait(20))
            if (const QString pid = par.valor(par.primario(), QStringLiteral("postgres"), sql); !pid.isEmpty())
                return pid;
        return QString();
    };

    // Cancelled (as an administrator would), PostgreSQL keeps the commit on the primary alone
    // and only warns: not known to survive a failover, so not answered as stored.
    socket.write(Wire::codifica(salva(QStringLiteral("Sem a reserva"))));
    const QString esperando = esperaAReserva();
    QVERIFY(!esperando.isEmpty());
    QVERIFY(!par.valor(par.primario(), QStringLiteral("postgres"), QStringLiteral("SELECT pg_cancel_backend(%1)").arg(esperando)).isEmpty());
    QCOMPARE(leResposta(socket), QByteArray("0"));
    QVERIFY2(s->diario().contains(QStringLiteral("pode não estar na reserva síncrona")), qPrintable(s->diario().right(2000)));

    // The primary lost while a commit waits: the connection breaks during COMMIT, 0 at once.
    socket.write(Wire::codifica(salva(QStringLiteral("Na queda"))));
    QVERIFY(!esperaAReserva().isEmpty());
    QVERIFY(par.primario().derruba());
    QElapsedTimer t;
    t.start();
    QCOMPARE(leResposta(socket), QByteArray("0"));
    QVERIFY2(t.elapsed() < 1500, qPrintable(QString::number(t.elapsed())));

    // The standby, promoted, has neither; the same connection saves again there.
    QVERIFY2(par.reserva().inicia(), qPrintable(par.reserva().erro()));
    QVERIFY2(par.reserva().promove(), qPrintable(par.reserva().erro()));
    QVERIFY(salvaEmAte(*s, QStringLiteral("sessao"), {pedidoDeLogin()}, 10'000));
    QCOMPARE(par.valor(par.reserva(), nome, QStringLiteral("SELECT string_agg(nome_busca, ',' ORDER BY numeroficha) FROM fichas")),
             QStringLiteral("antes,depois"));
}

void tst_TrocaDePrimario::semHostQueAceiteGravacoes()
{
    ParPostgres par;
    QString nome, erro;
    auto s = servidorNoPar(par, nome, erro);
    QVERIFY2(s, qPrintable(erro));
    QString segredo;
    QVERIFY(pedeNaSessao(*s, QStringLiteral("sessao"), {pedidoDeLogin(), salva(QStringLiteral("Antes"))}, &segredo).last().startsWith("7|"));

    // Both hosts down: 0 at once for every request, the log saying so once.
    QVERIFY(par.primario().derruba());
    QVERIFY(par.reserva().derruba());
    for (int i = 0; i < 5; ++i) {
        QElapsedTimer t;
        t.start();
        const auto r = pedeNaSessao(*s, QStringLiteral("sessao=") + segredo, {busca(1), salva(QStringLiteral("Fora"))});
        QCOMPARE(r, (QList<QByteArray>{"0", "0"}));
        QVERIFY2(t.elapsed() < 1500, qPrintable(QString::number(t.elapsed())));
    }
    QCOMPARE(s->diario().count(QStringLiteral("nenhum servidor do banco atende")), 1);

    // The standby back, never promoted: still 0, and the log says no host takes writes.
    QVERIFY2(par.reserva().inicia(), qPrintable(par.reserva().erro()));
    QTRY_VERIFY_WITH_TIMEOUT(s->diario().contains(QStringLiteral("nenhum servidor do banco aceita gravações")), 10'000);
    QCOMPARE(pedeNaSessao(*s, QStringLiteral("sessao=") + segredo, {salva(QStringLiteral("Só leitura"))}).last(), QByteArray("0"));
    QCOMPARE(par.valor(par.reserva(), nome, QStringLiteral("SELECT COUNT(*) FROM fichas WHERE nome_busca LIKE '%leitura%'")), QStringLiteral("0"));

    // Promoted: served again, the session kept.
    QVERIFY2(par.reserva().promove(), qPrintable(par.reserva().erro()));
    QVERIFY(salvaEmAte(*s, QStringLiteral("sessao=") + segredo, {}, 10'000));
    QVERIFY(s->diario().contains(QStringLiteral("conexão com o banco restabelecida")));
}

void tst_TrocaDePrimario::promocaoPeloPgAutoFailover()
{
    if (!FormacaoPgAutoFailover::instalado())
        QSKIP("pg_auto_failover não instalado (pg-auto-failover-cli, postgresql-15-auto-failover: scripts/setup.sh)");
    // A monitor that dies while it starts (a loaded machine) is given one more try, in a fresh formation.
    auto formacao = std::make_unique<FormacaoPgAutoFailover>();
    if (!formacao->inicia()) {
        qWarning("pg_auto_failover: primeira formação não ficou pronta (%s); outra tentativa", qPrintable(formacao->erro()));
        formacao = std::make_unique<FormacaoPgAutoFailover>();
        QVERIFY2(formacao->inicia(), qPrintable(formacao->erro()));
    }
    // The connection text is the one pg_autoctl shows, with the registry's user.
    QVERIFY2(formacao->conexao().contains(QLatin1String("target_session_attrs=read-write")), qPrintable(formacao->conexao()));
    auto s = ServidorReal::novoNaConexao(formacao->conexao(), ServidorReal::Conta(), 0);
    QVERIFY2(s->inicia(), qPrintable(s->erro()));
    const qint64 pid = s->pid();

    CargaDeGravacoes carga({s.get()}, 10);
    QVERIFY2(carga.prepara(), qPrintable(carga.erro()));
    carga.comeca();
    carga.espera(1500);
    QVERIFY2(formacao->derrubaPrimario(), qPrintable(formacao->erro()));
    const qint64 queda = carga.agoraMs();
    // No hand on the standby: the monitor promotes it.
    QElapsedTimer espera;
    espera.start();
    while (!formacao->esperaPrimario(50) && espera.elapsed() < 40'000)
        carga.espera(100);
    const qint64 promovida = carga.agoraMs();
    QVERIFY2(espera.elapsed() < 40'000, qPrintable(formacao->erro()));
    qint64 voltou = -1;
    for (QDeadlineTimer prazo(10'000); voltou < 0 && !prazo.hasExpired(); carga.espera(20))
        for (const auto& r : carga.respostas())
            if (r.enviadoMs > promovida && r.gravou()) {
                voltou = r.respondidoMs;
                break;
            }
    carga.espera(1000);
    QVERIFY(carga.termina());
    qInfo("promovida %lld ms depois da queda, primeira gravação %lld ms depois", promovida - queda, voltou - promovida);
    QVERIFY2(voltou >= 0, qPrintable(s->diario().right(2000)));
    QCOMPARE(s->pid(), pid);
    for (const auto& r : carga.respostas())
        if (r.enviadoMs >= queda && r.enviadoMs < voltou)
            QVERIFY2(r.respondidoMs - r.enviadoMs < 3000, qPrintable(QString::number(r.respondidoMs - r.enviadoMs)));
    confereSemPerda(carga, *s);
}

QTEST_GUILESS_MAIN(tst_TrocaDePrimario)
#include "tst_troca_de_primario.moc"
