// The server's side of the framing agreement, and a server that keeps serving everyone
// while it sends a long list: real server on loopback, raw sockets.
#include "protocol/Quadros.h"
#include "protocol/Wire.h"
#include "protocol/clsAgenda.h"
#include "protocol/clsFiltroBusca.h"
#include "protocol/clsUsuario.h"
#include "protocol/modCommands.h"
#include "support/ClienteEmQuadros.h"
#include "support/Pedidos.h"
#include "support/ServidorReal.h"

#include <QElapsedTimer>
#include <QTest>

namespace {

QList<qint32> numeros(const QByteArray& resposta)
{
    QList<qint32> n;
    for (const clsAgenda& f : clsAgenda::collectionFromPipeStringWithCommand(Wire::decodifica(resposta)))
        n << f.numeroFicha;
    return n;
}

} // namespace

class tst_ServidorQuadros : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        m_servidor = std::make_unique<ServidorReal>(fichas);
        QVERIFY2(m_servidor->inicia(), qPrintable(m_servidor->erro()));
    }
    void cleanupTestCase() { m_servidor.reset(); }

    // The agreement, then framed requests however they are cut, framed replies, keep-alives
    // framed and unanswered.
    void combinaEConversaEmQuadros_data()
    {
        QTest::addColumn<int>("corte");
        QTest::newRow("inteiro") << 0;
        QTest::newRow("byte a byte") << 1;
        QTest::newRow("de 7 em 7") << 7;
    }
    void combinaEConversaEmQuadros()
    {
        QFETCH(int, corte);
        ClienteEmQuadros c(*m_servidor);
        QVERIFY(c.conectado());
        QCOMPARE(c.combina(), QByteArray("99|zelto|1|quadros"));
        const QByteArray login = Quadros::mensagem(Wire::codifica(pedidoDeLogin()));
        const QByteArray keepAlive = Quadros::mensagem("1");
        const QByteArray tudo = keepAlive + login;
        for (qsizetype i = 0; i < tudo.size(); i += corte > 0 ? corte : tudo.size()) {
            c.envia(tudo.mid(i, corte > 0 ? corte : tudo.size()));
            if (corte > 0)
                QTest::qWait(1);
        }
        QCOMPARE(c.mensagem(), QByteArray("4|operador||1|Secretaria"));
        c.enviaEmQuadro(busca(0));
        const QByteArray lista = c.mensagem();
        QCOMPARE(numeros(lista).size(), fichas);
        QCOMPARE(numeros(lista).first(), 1);
        QCOMPARE(numeros(lista).last(), fichas);
        c.enviaEmQuadro(busca(7));
        QCOMPARE(numeros(c.mensagem()), QList<qint32>{7});
        c.enviaEmQuadro(QStringLiteral("1"));
        QVERIFY(c.mensagem(150).isNull());
    }

    // The agreement is one exchange at the start of a connection; later it is just an
    // unknown request (0) and the connection stays plain. Other capabilities are declined.
    void combinacaoSoNoComeco()
    {
        ClienteEmQuadros c(*m_servidor);
        c.envia(Wire::codifica(pedidoDeLogin()));
        QVERIFY(c.leCru(2) == "4|");
        c.socket().readAll();
        QTest::qWait(50);
        c.socket().readAll();
        c.envia(Wire::codifica(Quadros::pedidoDeNegociacao({QStringLiteral("quadros")})));
        QCOMPARE(c.leCru(1), QByteArray("0"));
        QVERIFY(c.leCru(1, 200).isEmpty());

        ClienteEmQuadros d(*m_servidor);
        d.envia("99|zelto|1|segredo");
        QCOMPARE(d.leCru(11), QByteArray("99|zelto|1|"));
        d.envia(Wire::codifica(pedidoDeLogin()));   // still the plain wire
        QCOMPARE(d.leCru(24), QByteArray("4|operador||1|Secretaria"));
        d.envia(Wire::codifica(busca(3)));
        QCOMPARE(d.leCru(3), QByteArray("13|"));
    }

    // A broken frame: 0 and the connection closed (nothing after it can be trusted).
    void quadroQuebrado()
    {
        ClienteEmQuadros c(*m_servidor);
        c.combina();
        c.envia("12|0|x");
        QCOMPARE(c.mensagem(), QByteArray("0"));
        QVERIFY(c.fechado());
    }

    // One client asks for the whole department and does not read for a while; the other
    // one's searches and saves are served meanwhile, and each gets complete, own replies.
    void umListaEnquantoOutroBusca_data()
    {
        QTest::addColumn<bool>("listaEnquadrada");
        QTest::newRow("lista em quadros") << true;
        QTest::newRow("lista no fio simples") << false;
    }
    void umListaEnquantoOutroBusca()
    {
        QFETCH(bool, listaEnquadrada);
        ClienteEmQuadros a(*m_servidor);
        ClienteEmQuadros b(*m_servidor);
        QVERIFY(a.conectado() && b.conectado());
        b.combina();
        b.enviaEmQuadro(pedidoDeLogin());
        QVERIFY(b.mensagem().startsWith("4|"));

        // Each connection has its own session.
        if (listaEnquadrada) {
            a.combina();
            a.enviaEmQuadro(pedidoDeLogin());
            QVERIFY(a.mensagem().startsWith("4|"));
            a.enviaEmQuadro(busca(0));
        } else {
            a.envia(Wire::codifica(pedidoDeLogin()));
            QCOMPARE(a.leCru(24), QByteArray("4|operador||1|Secretaria"));
            a.envia(Wire::codifica(busca(0)));
        }
        QElapsedTimer relogio;
        relogio.start();
        qint64 maisLenta = 0;
        for (int i = 1; i <= 30; ++i) {
            QElapsedTimer uma;
            uma.start();
            b.enviaEmQuadro(busca(i * 37));
            QCOMPARE(numeros(b.mensagem()), QList<qint32>{i * 37});
            maisLenta = qMax(maisLenta, uma.elapsed());
        }
        QVERIFY2(maisLenta < 1000, qPrintable(QString::number(maisLenta)));

        QByteArray lista;
        if (listaEnquadrada) {
            lista = a.mensagem(20000);
        } else {
            lista = a.ateSilencio();
        }
        const QList<qint32> n = numeros(lista);
        QCOMPARE(n.size(), fichas);
        for (int i = 0; i < n.size(); ++i)
            QCOMPARE(n[i], i + 1);
        // A's next request gets its own reply.
        if (listaEnquadrada) {
            a.enviaEmQuadro(busca(5));
            QCOMPARE(numeros(a.mensagem()), QList<qint32>{5});
        } else {
            a.envia(Wire::codifica(busca(5)));
            QCOMPARE(numeros(a.ateSilencio()), QList<qint32>{5});
        }
    }

private:
    static constexpr int fichas = 20000;
    std::unique_ptr<ServidorReal> m_servidor;
};

QTEST_GUILESS_MAIN(tst_ServidorQuadros)
#include "tst_servidor_quadros.moc"
