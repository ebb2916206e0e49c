// The real server on a store that fails under it: a database file whose reads fail, a disk
// that takes no more writes. Reading must go on however writing fares, and no failure of the
// file may end the process.
#include "protocol/Wire.h"
#include "protocol/clsAgenda.h"
#include "support/FioSimples.h"
#include "support/Pedidos.h"
#include "support/ServidorReal.h"

#include <QFile>
#include <QTcpSocket>
#include <QTest>

#include <sys/resource.h>

namespace {

constexpr qsizetype barrasPorFicha = 66;

// A save (code 6) of a new sheet in department 1.
QString salva(const QString& nome)
{
    clsAgenda f;
    f.nome = nome;
    f.departamento.idDepartamento = 1;
    f.departamento.dsDepartamento = QStringLiteral("Secretaria");
    return f.toPipeStringWithCommand(Codigo::Salva);
}

} // namespace

class tst_Armazem : public QObject {
    Q_OBJECT
private slots:
    void leituraQueFalhaNaoDerrubaOServidor();
    void discoSemGravacaoAindaServeLeituras();
};

void tst_Armazem::leituraQueFalhaNaoDerrubaOServidor()
{
    if (ServidorReal::bancoDoAmbiente() == ServidorReal::Banco::PostgreSQL)
        QSKIP("o arquivo do banco é do PostgreSQL, não do servidor");
    // One reader, so the second list is read by the same connection as the first.
    const int fichas = 3000;
    ServidorReal servidor(fichas);
    servidor.defineArgumentos({QStringLiteral("--leitores"), QStringLiteral("1")});
    QVERIFY2(servidor.inicia(), qPrintable(servidor.erro()));
    QTcpSocket s;
    QVERIFY(conecta(s, servidor));
    QVERIFY(login(s).startsWith("4|"));
    const qsizetype barras = 1 + barrasPorFicha * fichas;
    QVERIFY(pede(s, busca(0), "13|", barras).count('|') >= barras);

    // The file loses its last three quarters under the server (a failing disk reads as little).
    QFile arquivo(servidor.caminhoDoBanco());
    QVERIFY(arquivo.open(QIODevice::ReadWrite));
    const QByteArray inteiro = arquivo.readAll();
    QVERIFY(arquivo.resize(inteiro.size() / 4));
    // What cannot be read is a failed request (what a cache still holds may well be served).
    QCOMPARE(pede(s, salva(QStringLiteral("Depois do Corte")), "7|", 1 + barrasPorFicha), QByteArray("0"));
    const QByteArray lida = pede(s, busca(0), "13|", barras);
    QVERIFY2(lida == "0" || lida.count('|') >= barras, qPrintable(servidor.diario().right(300)));
    QVERIFY(servidor.diario().contains(QLatin1String("pedido 6 -> 0 erro do banco")));

    // The server is still there, and serves once the file is whole again: on the connection
    // that met the damage (nothing written since to tell its cache), and on a new one.
    QVERIFY(arquivo.seek(0) && arquivo.write(inteiro) == inteiro.size() && arquivo.flush());
    QVERIFY(pede(s, busca(7), "13|", 1 + barrasPorFicha).startsWith("13|"));
    QTcpSocket depois;
    QVERIFY(conecta(depois, servidor));
    QVERIFY(login(depois).startsWith("4|"));
    QVERIFY(pede(depois, busca(7), "13|", 1 + barrasPorFicha).startsWith("13|"));
}

void tst_Armazem::discoSemGravacaoAindaServeLeituras()
{
    // Sessions of 36 s: a search after 3.6 s idle is one that used to move the clock in the database.
    ServidorReal servidor(50);
    servidor.defineArgumentos({QStringLiteral("--sessao-horas"), QStringLiteral("0.01")});
    // SQLite: its files' writes fail as on a full disk. PostgreSQL: the database turns read-only
    // (as a standby is), the server's connections made again to see it.
    const QString cheio = servidor.pasta() + QStringLiteral("/disco-cheio");
    servidor.defineAmbiente(QStringLiteral("LD_PRELOAD"), QStringLiteral(ZELTO_DISCO_RECUSADO));
    servidor.defineAmbiente(QStringLiteral("ZELTO_TESTE_DISCO_CHEIO"), cheio);
    const auto recusa = [&](bool sim) {
        if (!servidor.ehPostgres()) {
            QFile marca(cheio);
            return sim ? marca.open(QIODevice::WriteOnly) : marca.remove();
        }
        return servidor.executaNoBanco(
            {QStringLiteral("SET default_transaction_read_only = off"), QStringLiteral("DO $$ BEGIN EXECUTE format('ALTER DATABASE %I %1', current_database()); END $$")
                 .arg(sim ? QStringLiteral("SET default_transaction_read_only = on") : QStringLiteral("RESET default_transaction_read_only")),
             QStringLiteral("SELECT pg_terminate_backend(pid) FROM pg_stat_activity WHERE datname = current_database() AND pid <> pg_backend_pid()")});
    };
    QVERIFY2(servidor.inicia(), qPrintable(servidor.erro()));
    QTcpSocket antes;
    QVERIFY(conecta(antes, servidor));
    QVERIFY(login(antes).startsWith("4|"));
    const qsizetype umaFicha = 1 + barrasPorFicha;

    QVERIFY(recusa(true));
    // A login whose session cannot be written serves reads on its connection.
    QTcpSocket durante;
    QVERIFY(conecta(durante, servidor));
    QVERIFY(login(durante).startsWith("4|"));
    QVERIFY(pede(durante, busca(3), "13|", umaFicha).startsWith("13|"));
    QCOMPARE(pede(durante, salva(QStringLiteral("Sem Disco")), "7|", umaFicha), QByteArray("0"));
    // A session idle a while searches without a write.
    QTest::qWait(4000);
    QVERIFY(pede(antes, busca(4), "13|", umaFicha).startsWith("13|"));
    QVERIFY(pede(durante, busca(5), "13|", umaFicha).startsWith("13|"));
    QCOMPARE(pede(antes, salva(QStringLiteral("Sem Disco")), "7|", umaFicha), QByteArray("0"));
    QCOMPARE(servidor.diario().count(QStringLiteral("NÃO ACEITA GRAVAÇÕES")), 1);

    // Writable again: said once, saves go through, and the session kept in memory reaches the database.
    QVERIFY(recusa(false));
    QVERIFY(pede(durante, salva(QStringLiteral("Com Disco")), "7|", umaFicha).startsWith("7|"));
    QVERIFY(pede(antes, salva(QStringLiteral("Com Disco")), "7|", umaFicha).startsWith("7|"));
    QCOMPARE(servidor.diario().count(QStringLiteral("voltou a aceitar gravações")), 1);
    QVariant sessoes;
    QTRY_VERIFY_WITH_TIMEOUT(servidor.executaNoBanco({QStringLiteral("SELECT COUNT(*) FROM sessoes")}, &sessoes) && sessoes.toInt() == 2,
                             15'000);
}

QTEST_GUILESS_MAIN(tst_Armazem)
#include "tst_armazem.moc"
