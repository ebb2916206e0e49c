// The end of a connection, seen from the real server: the worker of a long reply whose client
// left is let go, and the reply is neither written nor logged; a server that stops says no
// farewells to the connections still there.
#include "protocol/Quadros.h"
#include "protocol/Wire.h"
#include "support/FioSimples.h"
#include "support/Pedidos.h"
#include "support/ServidorReal.h"

#include <QTcpSocket>
#include <QTest>

namespace {

QString nomeNoDiario(const QTcpSocket& s)
{
    return QStringLiteral("127.0.0.1:%1").arg(s.localPort());
}

} // namespace

class tst_Conexoes : public QObject {
    Q_OBJECT
private slots:
    void clienteQueSaiLiberaOLeitor();
    void paradaSemDespedidas();
};

void tst_Conexoes::clienteQueSaiLiberaOLeitor()
{
    // A list of some megabytes, and one reader: the next login's look-up waits until the
    // search is done with.
    ServidorReal servidor(8000);
    servidor.defineArgumentos({QStringLiteral("--leitores"), QStringLiteral("1")});
    QVERIFY2(servidor.inicia(), qPrintable(servidor.erro()));

    // A client that stops reading a list longer than may be under way: its reader waits for it.
    QTcpSocket saiu;
    saiu.setReadBufferSize(4096);
    QVERIFY(conecta(saiu, servidor));
    QVERIFY(login(saiu).startsWith("4|"));
    const QString nome = nomeNoDiario(saiu);
    saiu.write(Wire::codifica(busca(0)));
    QVERIFY(saiu.waitForReadyRead(10'000));
    QVERIFY(saiu.readAll().startsWith("13|"));
    saiu.abort();
    QTRY_VERIFY_WITH_TIMEOUT(servidor.diario().contains(nome + QStringLiteral(" desconectou")), 10'000);

    QTcpSocket outro;
    QVERIFY(conecta(outro, servidor));
    QVERIFY(login(outro).startsWith("4|"));
    const QString diario = servidor.diario();
    QVERIFY2(!diario.contains(nome + QStringLiteral(" pedido 12")), qPrintable(diario.right(800)));
    QVERIFY(pede(outro, busca(7), "13|", 67).startsWith("13|"));
}

void tst_Conexoes::paradaSemDespedidas()
{
    ServidorReal servidor;
    QVERIFY2(servidor.inicia(), qPrintable(servidor.erro()));
    // Still there when the server stops: logged in on the plain wire, framed, only greeted.
    QTcpSocket simples, enquadrada, saudada;
    QVERIFY(conecta(simples, servidor));
    QVERIFY(login(simples).startsWith("4|"));
    QVERIFY(conecta(enquadrada, servidor));
    const QString negociacao = Quadros::pedidoDeNegociacao({QLatin1String(Quadros::capacidadeQuadros)});
    QVERIFY(pede(enquadrada, negociacao, "99|", 3).contains(Quadros::capacidadeQuadros));
    QVERIFY(conecta(saudada, servidor));
    QTRY_VERIFY_WITH_TIMEOUT(servidor.diario().contains(QStringLiteral(" combinou: quadros")), 5000);

    servidor.para();
    const QString diario = servidor.diario();
    const qsizetype encerrando = diario.indexOf(QStringLiteral("zelto-server: encerrando"));
    QVERIFY2(encerrando > 0, qPrintable(diario.right(800)));
    QVERIFY2(!diario.mid(encerrando).contains(QStringLiteral("desconectou")), qPrintable(diario.mid(encerrando)));
}

QTEST_GUILESS_MAIN(tst_Conexoes)
#include "tst_conexoes.moc"
