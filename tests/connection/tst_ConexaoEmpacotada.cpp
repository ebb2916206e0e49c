// Packed replies between our client's connection and servers: the real server with packing
// agreed (through a relay that sees the bytes), a server that does not pack, and packed pieces
// that do not unpack.
#include "ServidorRoteirizado.h"
#include "ServidorReal.h"
#include "connection/Conexao.h"
#include "protocol/Quadros.h"
#include "protocol/Wire.h"
#include "support/Pedidos.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QtTest>

#include <zstd.h>

namespace {

// Passes one connection's bytes both ways and keeps a copy of each direction.
class Retransmissor : public QObject {
public:
    Retransmissor(const QString& host, quint16 porta)
    {
        m_escuta.listen(QHostAddress::LocalHost, 0);
        connect(&m_escuta, &QTcpServer::newConnection, this, [this, host, porta] {
            QTcpSocket* cliente = m_escuta.nextPendingConnection();
            auto* servidor = new QTcpSocket(cliente);
            connect(cliente, &QTcpSocket::readyRead, servidor, [=, this] { passa(cliente, servidor, paraServidor); });
            connect(servidor, &QTcpSocket::readyRead, cliente, [=, this] { passa(servidor, cliente, paraCliente); });
            connect(servidor, &QTcpSocket::connected, servidor, [=, this] { passa(cliente, servidor, paraServidor); });
            connect(servidor, &QTcpSocket::disconnected, cliente, &QTcpSocket::disconnectFromHost);
            servidor->connectToHost(host, porta);
        });
    }
    quint16 porta() const { return m_escuta.serverPort(); }
    QByteArray paraServidor, paraCliente;

private:
    static void passa(QTcpSocket* de, QTcpSocket* para, QByteArray& copia)
    {
        if (para->state() != QAbstractSocket::ConnectedState)
            return;
        const QByteArray bytes = de->readAll();
        copia += bytes;
        para->write(bytes);
    }
    QTcpServer m_escuta;
};

// One request on `conexao`: the reply's bytes once whole (null when the connection failed).
QByteArray pede(Conexao& conexao, const QString& pedido)
{
    QByteArray bytes;
    bool inteira = false, falhou = false;
    const auto a = QObject::connect(&conexao, &Conexao::chegouQuadro, [&](QByteArrayView p) { bytes += p; });
    const auto b = QObject::connect(&conexao, &Conexao::respostaInteira, [&] { inteira = true; });
    const auto c = QObject::connect(&conexao, &Conexao::falhou, [&] { falhou = true; });
    conexao.envia(pedido);
    static_cast<void>(QTest::qWaitFor([&] { return inteira || falhou; }, 20000));
    QObject::disconnect(a);
    QObject::disconnect(b);
    QObject::disconnect(c);
    return inteira ? bytes : QByteArray();
}

// The same search over a framed connection that never asks for packing.
QByteArray buscaSemEmpacotar(const ServidorReal& servidor, const QString& login, const QString& pedido)
{
    QTcpSocket s;
    s.connectToHost(servidor.host(), servidor.porta());
    Quadros::Leitor leitor;
    QList<QByteArray> prontas;
    QByteArray corrente;
    const auto espera = [&](qsizetype mensagens) {
        while (prontas.size() < mensagens && s.waitForReadyRead(20000))
            if (!leitor.le(s.readAll(), [&](QByteArrayView d) { corrente += d; }, [&] { prontas.append(std::exchange(corrente, {})); }))
                return;
    };
    const QByteArray negociacao = Wire::codifica(Quadros::pedidoDeNegociacao({QStringLiteral("quadros")}));
    if (!s.waitForConnected(5000) || !s.waitForReadyRead(5000) || s.read(1) != "2")
        return {};
    s.write(negociacao);
    while (s.bytesAvailable() < negociacao.size() && s.waitForReadyRead(5000)) {
    }
    if (s.read(negociacao.size()) != negociacao)
        return {};
    s.write(Quadros::mensagem(Wire::codifica(login)) + Quadros::mensagem(Wire::codifica(pedido)));
    espera(2);
    return prontas.size() == 2 ? prontas[1] : QByteArray();
}

} // namespace

class tst_ConexaoEmpacotada : public QObject {
    Q_OBJECT
private slots:
    void init() { Conexao::esqueceServidoresSimples(); }

    // A long list comes packed and reads back the very bytes a framed connection that never
    // packs gets; the login and its reply (over 1 KiB each here) go plain.
    void listaDoServidorReal()
    {
        ServidorReal::Conta conta;
        conta.dsDepartamento = QStringLiteral("Secretaria ") + QString(1100, u'd');
        ServidorReal servidor(conta, 1500);
        QVERIFY2(servidor.inicia(), qPrintable(servidor.erro()));
        Retransmissor relay(servidor.host(), servidor.porta());
        QTimer timerTimeOut;
        Conexao conexao;
        QCOMPARE(conexao.conecta(servidor.host(), relay.porta(), &timerTimeOut), Conexao::Resultado::Conectada);
        QVERIFY(conexao.empacotada());

        // The login names the department it expects: long enough that a client packing every
        // long request would pack this one.
        clsUsuario usuario;
        usuario.usuario = conta.usuario;
        usuario.senha = conta.senha;
        usuario.departamento.dsDepartamento = conta.dsDepartamento;
        const QString login = usuario.toPipeStringWithCommand(Codigo::Login);
        const QByteArray respostaDoLogin = pede(conexao, login);
        QVERIFY(respostaDoLogin.startsWith("4|"));
        const QByteArray lista = pede(conexao, busca(0));
        QVERIFY(lista.startsWith("13|"));
        QCOMPARE(lista.count("@@@"), 1499);
        QCOMPARE(lista, buscaSemEmpacotar(servidor, login, busca(0)));

        // What crossed: the login and its reply as plain pieces, the list packed and shorter.
        QVERIFY(relay.paraServidor.contains(Quadros::mensagem(Wire::codifica(login))));
        QVERIFY(relay.paraCliente.contains(Quadros::mensagem(respostaDoLogin)));
        QVERIFY(relay.paraCliente.contains("z"));
        QVERIFY(relay.paraCliente.size() * 4 < lista.size());
    }

    // A server that frames but does not pack: the plain framed reply, as before.
    void servidorQueNaoEmpacota()
    {
        ServidorRoteirizado servidor;
        servidor.defineNegociacao(ServidorRoteirizado::Negociacao::Aceita);
        const QString resposta = QStringLiteral("13|") + QString(5000, u'x');
        servidor.aoProximoPedido(ServidorRoteirizado::emQuadros(resposta, 700));
        QTimer timerTimeOut;
        Conexao conexao;
        QCOMPARE(conexao.conecta(servidor.host(), servidor.porta(), &timerTimeOut), Conexao::Resultado::Conectada);
        QVERIFY(conexao.enquadrada());
        QVERIFY(!conexao.empacotada());
        QCOMPARE(pede(conexao, busca(0)), Wire::codifica(resposta));
    }

    void pedacoEmpacotado_data()
    {
        QTest::addColumn<QByteArray>("fio");
        QTest::addColumn<bool>("inteira");
        QByteArray lista = "13|";
        for (int i = 0; i < 300; ++i)
            lista += "1|Ana Maria " + QByteArray::number(i * 31) + "|Rua Um|1|Secretaria@@@";
        const QByteArray certo = Compressao::quadro(lista);
        QByteArray trocado = certo;
        trocado[trocado.size() - 20] = char(trocado[trocado.size() - 20] ^ 1);
        QByteArray zeros(32 << 20, '\0');
        QByteArray bomba(qsizetype(ZSTD_compressBound(size_t(zeros.size()))), Qt::Uninitialized);
        bomba.truncate(qsizetype(ZSTD_compress(bomba.data(), size_t(bomba.size()), zeros.constData(), size_t(zeros.size()), 1)));
        QTest::newRow("certo") << certo << true;
        QTest::newRow("byte trocado") << trocado << false;
        QTest::newRow("bomba") << "z" + Quadros::quadro(bomba) << false;
    }

    // A packed piece that does not unpack breaks the reply like any broken frame: the
    // connection reports it and closes; nothing is taken as the reply.
    void pedacoEmpacotado()
    {
        QFETCH(QByteArray, fio);
        QFETCH(bool, inteira);
        ServidorRoteirizado servidor;
        servidor.defineNegociacao(ServidorRoteirizado::Negociacao::AceitaEmpacotada);
        servidor.aoProximoPedido(ServidorRoteirizado::lixo(fio + Quadros::fim()));
        QTimer timerTimeOut;
        Conexao conexao;
        QCOMPARE(conexao.conecta(servidor.host(), servidor.porta(), &timerTimeOut), Conexao::Resultado::Conectada);
        QVERIFY(conexao.empacotada());
        QString descricao;
        QObject::connect(&conexao, &Conexao::falhou, [&](const QString&, const QString& d) { descricao = d; });
        const QByteArray resposta = pede(conexao, busca(0));
        QCOMPARE(!resposta.isNull(), inteira);
        QCOMPARE(conexao.conectada(), inteira);
        QCOMPARE(descricao, inteira ? QString() : QStringLiteral("O servidor enviou dados fora do formato combinado"));
        if (inteira)
            QVERIFY(resposta.startsWith("13|1|Ana Maria 0|") && resposta.endsWith("Secretaria@@@"));
    }
};

QTEST_MAIN(tst_ConexaoEmpacotada)
#include "tst_ConexaoEmpacotada.moc"
