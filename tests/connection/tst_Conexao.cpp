// The connection on its own, with no login window: what an attempt to connect ends in, when
// its owner is asked to connect again, and how a framed reply is handed on.
#include "ServidorRoteirizado.h"
#include "app/Caixas.h"
#include "app/modGlobais.h"
#include "connection/Conexao.h"
#include "protocol/Wire.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QtTest>

Q_DECLARE_METATYPE(Conexao::Resultado)
Q_DECLARE_METATYPE(ServidorRoteirizado::Negociacao)

class tst_Conexao : public QObject {
    Q_OBJECT
private slots:
    void init()
    {
        globais().timeOutSegundos = 1;
        globais().keepAliveSegundos = 0;
        Conexao::esqueceServidoresSimples();
    }

    void conecta_data()
    {
        QTest::addColumn<QString>("primeira");
        QTest::addColumn<ServidorRoteirizado::Negociacao>("negociacao");
        QTest::addColumn<Conexao::Resultado>("resultado");
        QTest::addColumn<bool>("enquadrada");
        QTest::addColumn<int>("pedidosDoDono");   // times the owner was asked to connect
        QTest::addColumn<int>("conexoes");
        using N = ServidorRoteirizado::Negociacao;
        using R = Conexao::Resultado;
        QTest::newRow("aceita, quadros") << "2" << N::Aceita << R::Conectada << true << 0 << 1;
        QTest::newRow("aceita, acordo recusado") << "2" << N::Recusa << R::Conectada << false << 0 << 1;
        // Silence on the agreement may hide a late answer: a new connection, made by the owner.
        QTest::newRow("aceita, calado no acordo") << "2" << N::Ignora << R::Conectada << false << 1 << 2;
        QTest::newRow("outro codigo") << "0" << N::Aceita << R::Recusada << false << 0 << 1;
        QTest::newRow("nada") << "" << N::Aceita << R::SemResposta << false << 0 << 1;
    }
    void conecta()
    {
        QFETCH(QString, primeira);
        QFETCH(ServidorRoteirizado::Negociacao, negociacao);
        QFETCH(Conexao::Resultado, resultado);
        QFETCH(bool, enquadrada);
        QFETCH(int, pedidosDoDono);
        QFETCH(int, conexoes);
        ServidorRoteirizado servidor;
        servidor.definePrimeiraMensagem(primeira);
        servidor.defineNegociacao(negociacao);
        Caixas::Gravador caixas;
        QTimer timerTimeOut;
        Conexao conexao;
        int pedidos = 0;
        QObject::connect(&conexao, &Conexao::pedeConexao, [&] {
            ++pedidos;
            conexao.conecta(servidor.host(), servidor.porta(), &timerTimeOut);
        });
        QCOMPARE(conexao.conecta(servidor.host(), servidor.porta(), &timerTimeOut), resultado);
        if (resultado == Conexao::Resultado::Conectada)
            QVERIFY(conexao.conectada());
        QCOMPARE(conexao.enquadrada(), enquadrada);
        QCOMPARE(pedidos, pedidosDoDono);
        QCOMPARE(servidor.conexoes(), conexoes);
        QVERIFY(caixas.caixas().isEmpty());   // the connection shows nothing: its owner does
    }

    // The offer leaves with the connection, so a server may answer it in the same write as its
    // "2": the "2" is the acceptance and the rest the offer's answer, framed or the plain "0".
    void aceiteEAcordoJuntos_data()
    {
        QTest::addColumn<QByteArray>("resposta");
        QTest::addColumn<bool>("enquadrada");
        QTest::newRow("acordo") << QByteArray("299|zelto|1|quadros") << true;
        QTest::newRow("servidor que nao combina") << QByteArray("20") << false;
    }
    void aceiteEAcordoJuntos()
    {
        QFETCH(QByteArray, resposta);
        QFETCH(bool, enquadrada);
        QTcpServer servidor;
        QVERIFY(servidor.listen(QHostAddress::LocalHost));
        QByteArray oferta;
        QObject::connect(&servidor, &QTcpServer::newConnection, [&] {
            QTcpSocket* s = servidor.nextPendingConnection();
            QObject::connect(s, &QTcpSocket::readyRead, [&, s] {
                oferta += s->readAll();
                if (oferta.startsWith("99|") && !oferta.endsWith('|'))
                    s->write(resposta);   // the "2" only now, glued to the answer
            });
        });
        QTimer timerTimeOut;
        Conexao conexao;
        QCOMPARE(conexao.conecta(QStringLiteral("127.0.0.1"), servidor.serverPort(), &timerTimeOut), Conexao::Resultado::Conectada);
        QVERIFY(oferta.startsWith("99|zelto|1|"));
        QCOMPARE(conexao.enquadrada(), enquadrada);
        QVERIFY(conexao.conectada());
    }

    // Framed: however the reply is cut, its pieces come in order and it is whole once, at
    // its end, with no request waiting for it.
    void respostaInteira()
    {
        ServidorRoteirizado servidor;
        servidor.defineNegociacao(ServidorRoteirizado::Negociacao::Aceita);
        const QString resposta = QStringLiteral("4|ana|segredo|3|Ação Social") + QString(2000, u'x');
        servidor.aoProximoPedido(ServidorRoteirizado::emQuadros(resposta, 300, 5));
        QTimer timerTimeOut;
        Conexao conexao;
        QCOMPARE(conexao.conecta(servidor.host(), servidor.porta(), &timerTimeOut), Conexao::Resultado::Conectada);
        QByteArray bytes;
        int quadros = 0;
        int inteiras = 0;
        QByteArray ateOFim;
        QObject::connect(&conexao, &Conexao::chegouQuadro, [&](QByteArrayView pedaco) {
            bytes += pedaco;
            ++quadros;
        });
        QObject::connect(&conexao, &Conexao::respostaInteira, [&] {
            ++inteiras;
            ateOFim = bytes;
        });
        conexao.envia(QStringLiteral("3|ana|segredo|0|"));
        QTRY_COMPARE(inteiras, 1);
        QCOMPARE(ateOFim, Wire::codifica(resposta));
        QVERIFY(quadros > 1);
        QTest::qWait(50);
        QCOMPARE(inteiras, 1);
        QCOMPARE(servidor.recebidas(), QStringList({QStringLiteral("3|ana|segredo|0|")}));
    }
};

QTEST_MAIN(tst_Conexao)
#include "tst_Conexao.moc"
