#include "ServidorRoteirizado.h"
#include "app/Caixas.h"
#include "app/modGlobais.h"
#include "connection/Conexao.h"
#include "connection/Requisicao.h"
#include "connection/frmLogin.h"
#include "protocol/clsAgenda.h"
#include "protocol/Quadros.h"
#include "protocol/Wire.h"
#include "protocol/clsUsuario.h"

#include <QElapsedTimer>
#include <QTcpSocket>
#include <QtTest>

using Roteiro = ServidorRoteirizado::Roteiro;
Q_DECLARE_METATYPE(ServidorRoteirizado::Roteiro)

namespace {

const QString pedidoDeLogin = QStringLiteral("3|ana|segredo|0|");
const QString respostaDeLogin = QStringLiteral("4|ana|segredo|3|Tesouraria");

QString listaDeFichas(int quantas)
{
    QList<clsAgenda> fichas;
    for (int i = 1; i <= quantas; ++i) {
        clsAgenda a;
        a.numeroFicha = i;
        a.nome = QStringLiteral("Membro %1 Conceição").arg(i);
        a.departamento.idDepartamento = 3;
        a.departamento.dsDepartamento = QStringLiteral("Tesouraria");
        fichas.append(a);
    }
    return clsAgenda::collectionToPipeStringWithCommand(fichas, 13);
}

// A scripted server, the login window pointed at it (its poll stopped: the tests connect
// through the requests themselves), recorded boxes and a window timer to lend the wait.
struct Ambiente {
    ServidorRoteirizado servidor;
    Caixas::Gravador caixas;
    QTimer timerTimeOut;
    frmLogin* login = nullptr;

    explicit Ambiente(int timeOutSegundos = 1)
    {
        globais().timeOutSegundos = qint16(timeOutSegundos);
        globais().keepAliveSegundos = 0;
        frmLogin::defineServidorParaTeste(servidor.host(), servidor.porta());
        frmLogin::esqueceServidoresSimples();
        login = frmLogin::instancia();
        login->Timer1->stop();
    }
    ~Ambiente()
    {
        delete login;
        defineSilenciosDaResposta(2, 25, 1000);
        defineLimiteDeFichas(200'000);
        simulaFaltaDeMemoriaAcimaDe(0);
        globais().maximoRespostaBytes = 0;
        globais().usuarioLogado.reset();
    }
    // The operator of respostaDeLogin, as a login leaves it.
    void entra()
    {
        clsUsuario u;
        u.fromPipeStringWithCommand(respostaDeLogin);
        globais().usuarioLogado = u;
    }
    std::optional<RespostaDoServidor> pede(const QString& mensagem, std::initializer_list<int> esperados)
    {
        return Requisita(nullptr, &timerTimeOut, mensagem, esperados);
    }
    QStringList titulos() const
    {
        QStringList t;
        for (const auto& c : caixas.caixas())
            t.append(c.titulo);
        return t;
    }
};

} // namespace

// The request cycle against a server that misbehaves on purpose.
class tst_Requisicao : public QObject {
    Q_OBJECT
private slots:
    // However the reply is cut, the request gets it whole.
    void respostaEmPedacos_data()
    {
        QTest::addColumn<Roteiro>("roteiro");
        QTest::addColumn<QString>("esperada");
        QTest::addColumn<int>("silencioMs");   // quiet interval for this row, 0 = as shipped
        const QString lista = listaDeFichas(3);
        QTest::newRow("inteira") << ServidorRoteirizado::responde(respostaDeLogin) << respostaDeLogin << 0;
        QTest::newRow("um byte por vez") << ServidorRoteirizado::emPedacos(respostaDeLogin, 1, 1) << respostaDeLogin
                                         << 250;
        QTest::newRow("pausa longa antes do ultimo campo")
            << ServidorRoteirizado::lixo("4|ana|segredo|3") + ServidorRoteirizado::pausa(300) +
                   ServidorRoteirizado::responde(QStringLiteral("|Tesouraria"))
            << respostaDeLogin << 0;
        QTest::newRow("lista em pedacos de 7 bytes") << ServidorRoteirizado::emPedacos(lista, 7, 1) << lista << 250;
        const qsizetype meioDaSegunda = lista.indexOf(QStringLiteral("Membro 2")) + 3;
        QTest::newRow("lista pausada no meio de uma ficha")
            << ServidorRoteirizado::responde(lista.left(meioDaSegunda)) + ServidorRoteirizado::pausa(300) +
                   ServidorRoteirizado::responde(lista.mid(meioDaSegunda))
            << lista << 0;
    }
    void respostaEmPedacos()
    {
        QFETCH(Roteiro, roteiro);
        QFETCH(QString, esperada);
        QFETCH(int, silencioMs);
        Ambiente a(10);
        if (silencioMs > 0)
            defineSilenciosDaResposta(silencioMs, silencioMs);
        a.servidor.aoProximoPedido(roteiro);
        const auto resposta = a.pede(pedidoDeLogin, {4, 13});
        QVERIFY2(resposta, qPrintable(a.titulos().join(u',')));
        QCOMPARE(resposta->texto, esperada);
        QCOMPARE(globais().respostaServidor, esperada);
        QVERIFY(a.caixas.caixas().isEmpty());
        if (resposta->codigo == 13)
            QCOMPARE(clsAgenda::collectionFromPipeStringWithCommand(resposta->texto).size(), 3);
    }

    // No reply: "Sem Resposta" once; the next request starts clean and gets its own reply.
    void tempoEsgotado()
    {
        Ambiente a;
        a.servidor.aoProximoPedido(ServidorRoteirizado::silencio());
        a.servidor.aoProximoPedido(ServidorRoteirizado::responde(respostaDeLogin));
        QVERIFY(!a.pede(pedidoDeLogin, {4}));
        QCOMPARE(a.caixas.caixas().size(), 1);
        const auto caixa = a.caixas.caixas().first();
        QCOMPARE(caixa.texto, QStringLiteral("O servidor não respondeu a requisição, tente novamente"));
        QCOMPARE(caixa.titulo, QStringLiteral("Sem Resposta"));
        QCOMPARE(caixa.icone, Caixas::Icone::Erro);
        QVERIFY(globais().tempoEsgotado);
        QVERIFY(!a.timerTimeOut.isActive());

        a.caixas.limpa();
        const auto resposta = a.pede(pedidoDeLogin, {4});
        QVERIFY(resposta);
        QCOMPARE(resposta->texto, respostaDeLogin);
        QVERIFY(!globais().tempoEsgotado);
        QVERIFY(a.caixas.caixas().isEmpty());
        QCOMPARE(a.servidor.recebidas(), QStringList({pedidoDeLogin, pedidoDeLogin}));
    }

    // A reply that comes after its request gave up never passes for the next one's, even
    // when it lands while the next request is waiting.
    void respostaAtrasadaDescartada()
    {
        Ambiente a;
        a.servidor.aoProximoPedido(ServidorRoteirizado::atrasada(QStringLiteral("4|velha|x|1|Antiga"), 1400));
        a.servidor.aoProximoPedido(ServidorRoteirizado::atrasada(respostaDeLogin, 700));
        QVERIFY(!a.pede(pedidoDeLogin, {4}));
        QCOMPARE(a.titulos(), QStringList({QStringLiteral("Sem Resposta")}));
        const auto resposta = a.pede(pedidoDeLogin, {4});
        QVERIFY(resposta);
        QCOMPARE(resposta->texto, respostaDeLogin);
        // And what arrives between requests is dropped too.
        const QString busca = QStringLiteral("12|0||30/12/1899|30/12/1899|3|Tesouraria");
        a.servidor.aoProximoPedido(ServidorRoteirizado::responde(QStringLiteral("14")) +
                                   ServidorRoteirizado::pausa(150) + ServidorRoteirizado::responde(QStringLiteral("99")));
        a.servidor.aoProximoPedido(ServidorRoteirizado::responde(QStringLiteral("14")));
        a.caixas.limpa();
        QVERIFY(a.pede(busca, {14}));
        QTest::qWait(400);   // "99" arrives now, between requests
        const auto outra = a.pede(busca, {14});
        QVERIFY(outra);
        QCOMPARE(outra->texto, QStringLiteral("14"));
        QVERIFY(a.caixas.caixas().isEmpty());
    }

    // The connection fails during the wait: the wait ends at once, with one "Erro no Socket".
    void falhaDoSocketNaEspera_data()
    {
        QTest::addColumn<Roteiro>("roteiro");
        QTest::newRow("derrubada no meio da resposta") << ServidorRoteirizado::derrubaNoMeio(respostaDeLogin, 6);
        QTest::newRow("fechada sem resposta") << ServidorRoteirizado::fecha();
    }
    void falhaDoSocketNaEspera()
    {
        QFETCH(Roteiro, roteiro);
        Ambiente a(8);
        a.servidor.aoProximoPedido(roteiro);
        QElapsedTimer relogio;
        relogio.start();
        QVERIFY(!a.pede(pedidoDeLogin, {4}));
        QVERIFY2(relogio.elapsed() < 6000, "the wait ran into its time-out");
        QCOMPARE(a.titulos(), QStringList({QStringLiteral("Erro no Socket")}));
        QVERIFY(a.caixas.caixas().first().texto.startsWith(QStringLiteral("wskClient\r\n")));
        QVERIFY(!globais().tempoEsgotado);
        QVERIFY(!a.login->conectado());
        QVERIFY(!a.timerTimeOut.isActive());
        QTest::qWait(200);
        QCOMPARE(a.caixas.caixas().size(), 1);
        // The next request reconnects.
        a.servidor.aoProximoPedido(ServidorRoteirizado::responde(respostaDeLogin));
        QVERIFY(a.pede(pedidoDeLogin, {4}));
        QCOMPARE(a.servidor.conexoes(), 2);
    }

    // A server that answers and hangs up has answered.
    void respostaSeguidaDeFechamento()
    {
        Ambiente a(8);
        a.servidor.aoProximoPedido(ServidorRoteirizado::responde(respostaDeLogin) + ServidorRoteirizado::fecha());
        const auto resposta = a.pede(pedidoDeLogin, {4});
        QVERIFY(resposta);
        QCOMPARE(resposta->texto, respostaDeLogin);
        QVERIFY(a.caixas.caixas().isEmpty());
    }

    // While one request waits, no other request, connection attempt or keep-alive starts.
    void umaRequisicaoPorVez()
    {
        globais().keepAliveSegundos = 1;
        Ambiente a(5);
        globais().keepAliveSegundos = 1;
        delete a.login;
        a.login = frmLogin::instancia();   // created again to take the 1 s keep-alive
        a.login->Timer1->stop();
        a.servidor.aoProximoPedido(ServidorRoteirizado::atrasada(respostaDeLogin, 1500));
        std::optional<RespostaDoServidor> dentro = RespostaDoServidor{-5, {}, {}};
        bool emCurso = false;
        QTimer::singleShot(300, [&] {
            emCurso = RequisicaoEmCurso();
            dentro = a.pede(QStringLiteral("3|bia|outra|0|"), {4});
            a.login->ConectaNoServidor();
            a.login->Timer1->start(10);   // the poll ticks too, and must keep out
        });
        const auto resposta = a.pede(pedidoDeLogin, {4});
        a.login->Timer1->stop();
        QVERIFY(emCurso);
        QVERIFY(!dentro);
        QVERIFY(resposta);
        QCOMPARE(resposta->texto, respostaDeLogin);
        QCOMPARE(a.servidor.recebidas(), QStringList({pedidoDeLogin}));   // no second request, no "1"
        QCOMPARE(a.servidor.conexoes(), 1);
        QVERIFY(a.caixas.caixas().isEmpty());
        QVERIFY(!RequisicaoEmCurso());
    }

    // How each reply code is classified.
    void classificacao_data()
    {
        QTest::addColumn<QString>("resposta");
        QTest::addColumn<QList<int>>("esperados");
        QTest::addColumn<bool>("devolvida");
        QTest::addColumn<QString>("titulo");
        QTest::addColumn<QString>("texto");
        const QString falha = QStringLiteral("Ocorreu uma falha no servidor ao efetuar a ação, tente novamente");
        const QString desconhecido = QStringLiteral("O servidor retornou um comando desconhecido");
        QTest::newRow("esperado") << "11" << QList<int>{11} << true << QString() << QString();
        QTest::newRow("falha") << "0" << QList<int>{11} << false << "Falha no Comando" << falha;
        QTest::newRow("falha esperada") << "0" << QList<int>{0, 11} << true << QString() << QString();
        QTest::newRow("outro codigo") << "14" << QList<int>{11} << false << "Comando Desconhecido" << desconhecido;
        QTest::newRow("codigo fora da tabela") << "99" << QList<int>{11} << false << "Comando Desconhecido"
                                               << desconhecido;
        // Codes that begin like the awaited one are other codes all the same.
        QTest::newRow("110 por 11") << "110" << QList<int>{11} << false << "Comando Desconhecido" << desconhecido;
        QTest::newRow("70 por 7") << "70|1|x" << QList<int>{7} << false << "Comando Desconhecido" << desconhecido;
        QTest::newRow("130 por 13") << "130|1|x" << QList<int>{13, 14} << false << "Comando Desconhecido"
                                    << desconhecido;
        QTest::newRow("acentos do fio") << "4|joão|çé|1|Ação Social" << QList<int>{4} << true << QString() << QString();
    }
    void classificacao()
    {
        QFETCH(QString, resposta);
        QFETCH(QList<int>, esperados);
        QFETCH(bool, devolvida);
        QFETCH(QString, titulo);
        QFETCH(QString, texto);
        Ambiente a;
        a.servidor.aoProximoPedido(ServidorRoteirizado::responde(resposta));
        std::optional<RespostaDoServidor> r;
        if (esperados.size() == 1)
            r = a.pede(QStringLiteral("10|ação"), {esperados[0]});
        else
            r = a.pede(QStringLiteral("10|ação"), {esperados[0], esperados[1]});
        QCOMPARE(bool(r), devolvida);
        if (devolvida) {
            QCOMPARE(r->texto, resposta);
            QVERIFY(a.caixas.caixas().isEmpty());
        } else {
            QCOMPARE(a.caixas.caixas().size(), 1);
            QCOMPARE(a.caixas.caixas().first().titulo, titulo);
            QCOMPARE(a.caixas.caixas().first().texto, texto);
            QCOMPARE(a.caixas.caixas().first().icone, Caixas::Icone::Erro);
        }
        QCOMPARE(a.servidor.recebidas(), QStringList({QStringLiteral("10|ação")}));
    }

    // A reply whose code is no number is the requesting window's run-time error.
    void codigoQueNaoENumero()
    {
        Ambiente a;
        a.servidor.aoProximoPedido(ServidorRoteirizado::lixo("xyz|1|2"));
        QVERIFY_THROWS_EXCEPTION(ErroDeExecucao, a.pede(pedidoDeLogin, {4}));
        QVERIFY(!RequisicaoEmCurso());
        // The cycle still works afterwards.
        a.servidor.aoProximoPedido(ServidorRoteirizado::responde(respostaDeLogin));
        QVERIFY(a.pede(pedidoDeLogin, {4}));
    }

    // The window that asked went away during the wait: nothing is shown, nothing returned.
    void donoFechadoNaEspera()
    {
        Ambiente a(1);
        auto* janela = new QWidget;
        a.servidor.aoProximoPedido(ServidorRoteirizado::silencio());
        QTimer::singleShot(100, janela, [janela] { janela->deleteLater(); });
        QVERIFY(!Requisita(janela, &a.timerTimeOut, pedidoDeLogin, {4}));
        QVERIFY(a.caixas.caixas().isEmpty());
    }

    // The request goes out as one Windows-1252 message, with no delay on the socket.
    void mensagemNoFio()
    {
        Ambiente a;
        a.servidor.aoProximoPedido(ServidorRoteirizado::responde(QStringLiteral("11")));
        QVERIFY(a.pede(QStringLiteral("10|São João|é"), {11}));
        QCOMPARE(a.servidor.recebidas(), QStringList({QStringLiteral("10|São João|é")}));
        QCOMPARE(a.login->wskClient->socketOption(QAbstractSocket::LowDelayOption).toInt(), 1);
    }

    // --- the framing agreed with a server that takes part ---

    // However the framed reply is cut or paused (a pause at a sheet boundary far longer than
    // any quiet interval included), the request gets it whole, and only when it is whole.
    void enquadradaEmPedacos_data()
    {
        QTest::addColumn<Roteiro>("roteiro");
        QTest::addColumn<QString>("esperada");
        const QString lista = listaDeFichas(40);
        const qsizetype fronteira = lista.indexOf(QStringLiteral("@@@")) + 3;   // after sheet 1
        const QByteArray bytes = Wire::codifica(lista);
        QTest::newRow("inteira") << ServidorRoteirizado::emQuadros(lista) << lista;
        QTest::newRow("pausa de 400 ms numa fronteira de ficha")
            << ServidorRoteirizado::lixo(Quadros::quadro(QByteArrayView(bytes).first(fronteira)))
                   + ServidorRoteirizado::pausa(400)
                   + ServidorRoteirizado::lixo(Quadros::quadro(QByteArrayView(bytes).sliced(fronteira)) + Quadros::fim())
            << lista;
        QTest::newRow("quadros de 500 bytes, 30 ms entre eles") << ServidorRoteirizado::emQuadros(lista, 500, 30) << lista;
        ServidorRoteirizado::Acao cortes;   // the framed bytes cut anywhere, headers included
        cortes.bytes = Quadros::quadro(bytes.first(100)) + Quadros::quadro(bytes.mid(100)) + Quadros::fim();
        cortes.pedaco = 3;
        cortes.pausaMs = 0;
        QTest::newRow("cortes de 3 bytes") << Roteiro{cortes} << lista;
        QTest::newRow("registro com o fim em separado")
            << ServidorRoteirizado::emQuadros(respostaDeLogin) << respostaDeLogin;
    }
    void enquadradaEmPedacos()
    {
        QFETCH(Roteiro, roteiro);
        QFETCH(QString, esperada);
        Ambiente a(10);
        a.servidor.defineNegociacao(ServidorRoteirizado::Negociacao::Aceita);
        a.servidor.aoProximoPedido(roteiro);
        const auto resposta = a.pede(pedidoDeLogin, {4, 13});
        QVERIFY2(resposta, qPrintable(a.titulos().join(u',')));
        QVERIFY(a.login->enquadrada());
        QCOMPARE(resposta->texto, esperada);
        QVERIFY(a.caixas.caixas().isEmpty());
        QCOMPARE(a.servidor.negociacoes(), 1);
        QCOMPARE(a.servidor.recebidas(), QStringList({pedidoDeLogin}));
    }

    // Framed: the keep-alive and each request go framed; every request gets its own reply,
    // and a whole message that comes between requests never passes for the next reply.
    void enquadradaEmSequencia()
    {
        Ambiente a(2);
        a.servidor.defineNegociacao(ServidorRoteirizado::Negociacao::Aceita);
        const QString busca = QStringLiteral("12|0||30/12/1899|30/12/1899|3|Tesouraria");
        a.servidor.aoProximoPedido(ServidorRoteirizado::emQuadros(respostaDeLogin));
        a.servidor.aoProximoPedido(ServidorRoteirizado::emQuadros(QStringLiteral("14"))
                                   + ServidorRoteirizado::pausa(100) + ServidorRoteirizado::emQuadros(QStringLiteral("11")));
        a.servidor.aoProximoPedido(ServidorRoteirizado::emQuadros(listaDeFichas(2)));
        QCOMPARE(a.pede(pedidoDeLogin, {4})->texto, respostaDeLogin);
        QCOMPARE(a.pede(busca, {13, 14})->texto, QStringLiteral("14"));
        QTest::qWait(250);   // the stray "11" arrives now
        const auto lista = a.pede(busca, {13, 14});
        QVERIFY2(lista, qPrintable(a.titulos().join(u',')));
        QCOMPARE(lista->texto, listaDeFichas(2));
        QCOMPARE(a.servidor.conexoes(), 1);
        QVERIFY(a.caixas.caixas().isEmpty());
    }

    // A framed reply cut by a dropped connection is never taken as whole, even when what
    // arrived ends on a sheet boundary.
    void enquadradaDerrubadaNumaFronteira()
    {
        Ambiente a(8);
        a.servidor.defineNegociacao(ServidorRoteirizado::Negociacao::Aceita);
        const QString lista = listaDeFichas(5);
        const qsizetype fronteira = lista.indexOf(QStringLiteral("@@@"));
        a.servidor.aoProximoPedido(ServidorRoteirizado::lixo(Quadros::quadro(Wire::codifica(lista.left(fronteira))))
                                   + ServidorRoteirizado::pausa(50) + ServidorRoteirizado::fecha());
        QVERIFY(!a.pede(pedidoDeLogin, {13}));
        QCOMPARE(a.titulos(), QStringList({QStringLiteral("Erro no Socket")}));
    }

    // --- a server that does not take part: the plain wire, as before ---

    void semAcordo_data()
    {
        QTest::addColumn<int>("modo");
        QTest::addColumn<int>("conexoes");   // connections made for the two requests
        QTest::newRow("responde 0") << int(ServidorRoteirizado::Negociacao::Recusa) << 1;
        QTest::newRow("fica calado") << int(ServidorRoteirizado::Negociacao::Ignora) << 2;
    }
    void semAcordo()
    {
        QFETCH(int, modo);
        QFETCH(int, conexoes);
        Ambiente a(5);
        a.servidor.defineNegociacao(ServidorRoteirizado::Negociacao(modo));
        a.servidor.aoProximoPedido(ServidorRoteirizado::emPedacos(respostaDeLogin, 5, 1));
        a.servidor.aoProximoPedido(ServidorRoteirizado::responde(respostaDeLogin));
        QElapsedTimer relogio;
        relogio.start();
        const auto primeira = a.pede(pedidoDeLogin, {4});
        QVERIFY2(primeira, qPrintable(a.titulos().join(u',')));
        QCOMPARE(primeira->texto, respostaDeLogin);
        QVERIFY(!a.login->enquadrada());
        QVERIFY(relogio.elapsed() < 3000);
        QVERIFY(a.pede(pedidoDeLogin, {4}));
        QCOMPARE(a.servidor.recebidas(), QStringList({pedidoDeLogin, pedidoDeLogin}));
        QCOMPARE(a.servidor.conexoes(), conexoes);
        QCOMPARE(a.servidor.negociacoes(), 1);   // asked once, never again for that server
        QVERIFY(a.caixas.caixas().isEmpty());
    }

    // Plain wire: a list that pauses at a sheet boundary longer than the quiet interval is
    // taken short. Its rest, arriving later, must not become the next request's reply: the
    // connection is dropped and the next request gets its own reply on a new one.
    void respostaContinuaDepoisDeTomada()
    {
        Ambiente a(3);
        const QString lista = listaDeFichas(6);
        const qsizetype fronteira = lista.indexOf(QStringLiteral("@@@"));
        a.servidor.aoProximoPedido(ServidorRoteirizado::responde(lista.left(fronteira)) + ServidorRoteirizado::pausa(120)
                                   + ServidorRoteirizado::responde(lista.mid(fronteira)));
        a.servidor.aoProximoPedido(ServidorRoteirizado::responde(respostaDeLogin));
        a.pede(pedidoDeLogin, {13});
        QTest::qWait(300);   // the rest of the list arrives between requests
        const auto proxima = a.pede(pedidoDeLogin, {4});
        QVERIFY2(proxima, qPrintable(a.titulos().join(u',')));
        QCOMPARE(proxima->texto, respostaDeLogin);
        QCOMPARE(a.servidor.conexoes(), 2);
    }

    // A list over the bound is refused as it arrives, with its message, never shown; the
    // next request gets its own reply on a new connection. Both wires.
    void listaGrandeDemais_data()
    {
        QTest::addColumn<bool>("enquadrada");
        QTest::newRow("quadros") << true;
        QTest::newRow("fio simples") << false;
    }
    void listaGrandeDemais()
    {
        QFETCH(bool, enquadrada);
        Ambiente a(5);
        defineLimiteDeFichas(10);
        if (enquadrada)
            a.servidor.defineNegociacao(ServidorRoteirizado::Negociacao::Aceita);
        const QString lista = listaDeFichas(30);
        a.servidor.aoProximoPedido(enquadrada ? ServidorRoteirizado::emQuadros(lista, 700, 1)
                                              : ServidorRoteirizado::emPedacos(lista, 700, 1));
        a.servidor.aoProximoPedido(enquadrada ? ServidorRoteirizado::emQuadros(listaDeFichas(3))
                                              : ServidorRoteirizado::responde(listaDeFichas(3)));
        QVERIFY(!a.pede(pedidoDeLogin, {13}));
        QCOMPARE(a.caixas.caixas().size(), 1);
        QCOMPARE(a.caixas.caixas().first().titulo, QStringLiteral("Lista Muito Grande"));
        QCOMPARE(a.caixas.caixas().first().texto,
                 QStringLiteral("A busca encontrou mais de 10 fichas, mais do que a lista pode mostrar. Refine o critério da busca."));
        QVERIFY(globais().respostaServidor.isEmpty());
        a.caixas.limpa();
        const auto proxima = a.pede(pedidoDeLogin, {13});
        QVERIFY2(proxima, qPrintable(a.titulos().join(u',')));
        QCOMPARE(proxima->texto, listaDeFichas(3));
        QCOMPARE(a.servidor.conexoes(), 2);
    }
    // --- every way a wait can fail leaves the request cycle ready for the next request ---

    // A reply that never ends (the server keeps sending) stops at the size limit with its
    // message, well before the time-out; the connection is closed, nothing is kept, and the
    // next request gets its own reply on a new connection. Both wires.
    void respostaSemFim_data()
    {
        QTest::addColumn<bool>("enquadrada");
        QTest::newRow("quadros") << true;
        QTest::newRow("fio simples") << false;
    }
    void respostaSemFim()
    {
        QFETCH(bool, enquadrada);
        Ambiente a(8);
        globais().maximoRespostaBytes = 1 << 20;
        if (enquadrada)
            a.servidor.defineNegociacao(ServidorRoteirizado::Negociacao::Aceita);
        // 16 MiB with no end in sight: no "|" after the code, so no list bound stops it first.
        const QString semFim = QStringLiteral("13|") + QString(16 << 20, u'x');
        a.servidor.aoProximoPedido(enquadrada ? ServidorRoteirizado::emQuadros(semFim, 64 << 10, 1)
                                              : ServidorRoteirizado::emPedacos(semFim, 64 << 10, 1));
        a.servidor.aoProximoPedido(enquadrada ? ServidorRoteirizado::emQuadros(listaDeFichas(3))
                                              : ServidorRoteirizado::responde(listaDeFichas(3)));
        QElapsedTimer relogio;
        relogio.start();
        QVERIFY(!a.pede(pedidoDeLogin, {13}));
        QVERIFY2(relogio.elapsed() < 4000, qPrintable(QString::number(relogio.elapsed())));
        QVERIFY(!RequisicaoEmCurso());
        QVERIFY(!a.login->conectado());
        QVERIFY(globais().respostaServidor.isEmpty());
        QVERIFY(!globais().tempoEsgotado);
        QCOMPARE(a.titulos(), QStringList({QStringLiteral("Resposta Muito Grande")}));
        QCOMPARE(a.caixas.caixas().first().texto,
                 QStringLiteral("A resposta do servidor passou de 1 MiB, o maior tamanho aceito (maximoRespostaMiB na "
                                "configuração). A conexão foi encerrada; refine o critério ou tente novamente."));
        a.caixas.limpa();
        const auto proxima = a.pede(pedidoDeLogin, {13});
        QVERIFY2(proxima, qPrintable(a.titulos().join(u',')));
        QCOMPARE(proxima->texto, listaDeFichas(3));
        QCOMPARE(a.servidor.conexoes(), 2);
    }

    // Time-out, size limit, memory running out, a broken frame, a dropped connection: each
    // ends the wait with one message and no wait left behind, and the next request, plain or
    // framed, is sent and gets its own reply.
    void cicloProntoDepoisDeFalha_data()
    {
        QTest::addColumn<bool>("enquadrada");
        QTest::addColumn<QString>("falha");
        QTest::addColumn<QString>("titulo");
        for (const bool enquadrada : {true, false}) {
            const char* fio = enquadrada ? "quadros" : "fio simples";
            QTest::addRow("%s: tempo esgotado", fio) << enquadrada << QStringLiteral("tempo") << QStringLiteral("Sem Resposta");
            QTest::addRow("%s: grande demais", fio) << enquadrada << QStringLiteral("tamanho")
                                                     << QStringLiteral("Resposta Muito Grande");
            QTest::addRow("%s: sem memoria", fio) << enquadrada << QStringLiteral("memoria")
                                                  << QStringLiteral("Resposta Muito Grande");
            QTest::addRow("%s: conexao derrubada", fio) << enquadrada << QStringLiteral("derrubada")
                                                        << QStringLiteral("Erro no Socket");
        }
        QTest::addRow("quadros: quadro quebrado") << true << QStringLiteral("quebrado") << QStringLiteral("Erro no Socket");
    }
    void cicloProntoDepoisDeFalha()
    {
        QFETCH(bool, enquadrada);
        QFETCH(QString, falha);
        QFETCH(QString, titulo);
        Ambiente a(1);
        if (enquadrada)
            a.servidor.defineNegociacao(ServidorRoteirizado::Negociacao::Aceita);
        const QString lista = listaDeFichas(400);
        const qsizetype metade = lista.size() / 2;
        QVERIFY(lista.size() > 40'000);
        const auto envia = [&](const QString& texto, int pedaco) {
            return enquadrada ? ServidorRoteirizado::emQuadros(texto, pedaco, 1)
                              : ServidorRoteirizado::emPedacos(texto, pedaco, 1);
        };
        Roteiro roteiro;
        if (falha == QLatin1String("tempo")) {
            roteiro = ServidorRoteirizado::silencio();
        } else if (falha == QLatin1String("tamanho")) {
            globais().maximoRespostaBytes = 1 << 20;
            roteiro = envia(QStringLiteral("13|") + QString(3 << 20, u'y'), 32 << 10);
        } else if (falha == QLatin1String("memoria")) {
            simulaFaltaDeMemoriaAcimaDe(metade);
            roteiro = envia(lista, 8 << 10);
        } else if (falha == QLatin1String("derrubada")) {
            const QByteArray bytes = Wire::codifica(lista);
            // Cut inside a sheet: even the plain wire's shape rule cannot take it as whole.
            const qsizetype corte = lista.indexOf(QStringLiteral("Membro"), metade) + 3;
            roteiro = (enquadrada ? ServidorRoteirizado::lixo(Quadros::quadro(bytes.first(corte)))
                                  : ServidorRoteirizado::lixo(bytes.first(corte)))
                      + ServidorRoteirizado::pausa(30) + ServidorRoteirizado::fecha();
        } else {
            roteiro = ServidorRoteirizado::lixo(Quadros::quadro("13|1|") + "zz:");
        }
        a.servidor.aoProximoPedido(roteiro);
        a.servidor.aoProximoPedido(envia(lista, 16 << 10));
        QVERIFY(!a.pede(pedidoDeLogin, {13}));
        QVERIFY(!RequisicaoEmCurso());
        QVERIFY(globais().respostaServidor.isEmpty());
        QCOMPARE(a.titulos(), QStringList({titulo}));
        simulaFaltaDeMemoriaAcimaDe(0);
        a.caixas.limpa();
        const auto proxima = a.pede(pedidoDeLogin, {13});
        QVERIFY2(proxima, qPrintable(a.titulos().join(u',')));
        QCOMPARE(proxima->texto, lista);
        QVERIFY(a.caixas.caixas().isEmpty());
        QCOMPARE(a.servidor.conexoes(), 2);
        QCOMPARE(a.servidor.recebidas(), QStringList({pedidoDeLogin, pedidoDeLogin}));
    }

    // --- a slow link: 200 ms round trips, loss, stalls of seconds ---

    // The time-out waits for the reply to begin and then for each next piece: a reply that
    // takes longer than the time-out in all but never pauses that long is taken whole; one
    // that stalls for the time-out ends with "Sem Resposta". Both wires.
    void enlaceLento_data()
    {
        QTest::addColumn<bool>("enquadrada");
        QTest::addColumn<int>("pausaMs");      // between pieces; the time-out is 1 s
        QTest::addColumn<bool>("inteira");
        for (const bool enquadrada : {true, false}) {
            const char* fio = enquadrada ? "quadros" : "fio simples";
            QTest::addRow("%s: 300 ms entre pedacos", fio) << enquadrada << 300 << true;
            QTest::addRow("%s: parada de 2,5 s", fio) << enquadrada << 2500 << false;
        }
    }
    void enlaceLento()
    {
        QFETCH(bool, enquadrada);
        QFETCH(int, pausaMs);
        QFETCH(bool, inteira);
        Ambiente a(1);
        a.entra();
        if (enquadrada)
            a.servidor.defineNegociacao(ServidorRoteirizado::Negociacao::Aceita);
        const QString lista = listaDeFichas(4);
        const int passo = 61;   // 8 pieces, none ending where a sheet ends
        for (qsizetype fim = lista.indexOf(QStringLiteral("@@@")); fim >= 0; fim = lista.indexOf(QStringLiteral("@@@"), fim + 1))
            QVERIFY(fim % passo != 0);
        a.servidor.aoProximoPedido(enquadrada ? ServidorRoteirizado::emQuadros(lista, passo, pausaMs)
                                              : ServidorRoteirizado::emPedacos(lista, passo, pausaMs));
        const auto resposta = a.pede(pedidoDeLogin, {13});
        QCOMPARE(bool(resposta), inteira);
        if (inteira) {
            QCOMPARE(resposta->texto, lista);
            QVERIFY(a.caixas.caixas().isEmpty());
        } else {
            QCOMPARE(a.titulos(), QStringList({QStringLiteral("Sem Resposta")}));
            QVERIFY(globais().respostaServidor.isEmpty());
        }
    }

    // Plain wire, logged in: a list that stops short (inside a sheet, inside the department's
    // description that ends every sheet, inside the "@@@" between two, also when what came
    // just before ended on a whole sheet) waits for its rest, however long the pause, and is
    // taken whole; if nothing more comes, "Sem Resposta" and nothing is handed over.
    void listaCortadaNoFioSimples_data()
    {
        QTest::addColumn<int>("inicio");   // the first write; up to `corte` follows 20 ms later
        QTest::addColumn<int>("corte");    // where the line stalls
        QTest::addColumn<bool>("restoVem");
        const QString lista = listaDeFichas(3);
        const qsizetype fronteira = lista.indexOf(QStringLiteral("@@@"));
        const qsizetype meioDaFicha = lista.indexOf(QStringLiteral("Membro 2")) + 3;
        const struct { const char* nome; qsizetype inicio, corte; } cortes[] = {
            {"no meio de uma ficha", meioDaFicha, meioDaFicha},
            {"na descricao do departamento", lista.size() - 5, lista.size() - 5},
            {"no separador de fichas", fronteira + 1, fronteira + 1},
            {"no separador, que chega depois de uma ficha inteira", fronteira, fronteira + 1},
        };
        for (const auto& c : cortes) {
            QTest::addRow("%s, resto depois de 500 ms", c.nome) << int(c.inicio) << int(c.corte) << true;
            QTest::addRow("%s, sem resto", c.nome) << int(c.inicio) << int(c.corte) << false;
        }
    }
    void listaCortadaNoFioSimples()
    {
        QFETCH(int, inicio);
        QFETCH(int, corte);
        QFETCH(bool, restoVem);
        Ambiente a(1);
        a.entra();
        defineSilenciosDaResposta(-1, 300, 200);   // the stalls here are longer, the 20 ms far shorter
        const QString lista = listaDeFichas(3);
        Roteiro roteiro = ServidorRoteirizado::responde(lista.left(inicio));
        if (corte > inicio)
            roteiro += ServidorRoteirizado::pausa(20) + ServidorRoteirizado::responde(lista.mid(inicio, corte - inicio));
        if (restoVem)
            roteiro += ServidorRoteirizado::pausa(500) + ServidorRoteirizado::responde(lista.mid(corte));
        a.servidor.aoProximoPedido(roteiro);
        const auto resposta = a.pede(pedidoDeLogin, {13});
        if (restoVem) {
            QVERIFY2(resposta, qPrintable(a.titulos().join(u',')));
            QCOMPARE(resposta->texto, lista);
            QVERIFY(a.caixas.caixas().isEmpty());
        } else {
            QVERIFY(!resposta);
            QCOMPARE(a.titulos(), QStringList({QStringLiteral("Sem Resposta")}));
            QVERIFY(globais().respostaServidor.isEmpty());
        }
    }

    // Plain wire: a reply whose code cannot be read is out of step with its request (the rest
    // of an earlier reply, say). Its connection is closed, so what still comes on it never
    // passes for the next request's reply; that request gets its own on a new connection.
    void codigoIlegivelFechaAConexao()
    {
        Ambiente a(2);
        a.servidor.aoProximoPedido(ServidorRoteirizado::lixo("na|x") + ServidorRoteirizado::pausa(300)
                                   + ServidorRoteirizado::lixo("|1|Tesouraria"));
        a.servidor.aoProximoPedido(ServidorRoteirizado::responde(respostaDeLogin));
        QVERIFY_THROWS_EXCEPTION(ErroDeExecucao, a.pede(pedidoDeLogin, {4}));
        QVERIFY(!a.login->conectado());
        const auto proxima = a.pede(pedidoDeLogin, {4});
        QVERIFY2(proxima, qPrintable(a.titulos().join(u',')));
        QCOMPARE(proxima->texto, respostaDeLogin);
        QCOMPARE(a.servidor.conexoes(), 2);
    }

    // Plain wire to a server 150 ms away (it greets and answers that late): a list that
    // stalls right where a sheet ends, shorter than a few of those round trips, is waited
    // for and taken whole; a reply with a code nobody asked for, whose rest comes later,
    // closes its connection, so the next request gets its own reply on a new one.
    void fioSimplesLonge_data()
    {
        QTest::addColumn<Roteiro>("roteiro");
        QTest::addColumn<bool>("inteira");
        const QString lista = listaDeFichas(3);
        const qsizetype fimDaSegunda = lista.lastIndexOf(QStringLiteral("@@@"));
        const Roteiro longe = ServidorRoteirizado::pausa(150);
        QTest::newRow("lista parada onde a segunda ficha termina")
            << longe + ServidorRoteirizado::responde(lista.left(fimDaSegunda)) + ServidorRoteirizado::pausa(300)
                   + ServidorRoteirizado::responde(lista.mid(fimDaSegunda))
            << true;
        QTest::newRow("codigo que ninguem pediu, o resto depois")
            << longe + ServidorRoteirizado::lixo("42|x") + ServidorRoteirizado::pausa(300) + ServidorRoteirizado::lixo("|1|Tesouraria")
            << false;
    }
    void fioSimplesLonge()
    {
        QFETCH(Roteiro, roteiro);
        QFETCH(bool, inteira);
        Ambiente a(2);
        a.entra();
        Conexao::definePedidos(false, false);
        const auto volta = qScopeGuard([] { Conexao::definePedidos(true, true); });
        a.servidor.defineAcolhida(ServidorRoteirizado::pausa(150) + ServidorRoteirizado::responde(QStringLiteral("2")));
        a.servidor.aoProximoPedido(roteiro);
        a.servidor.aoProximoPedido(ServidorRoteirizado::pausa(150) + ServidorRoteirizado::responde(respostaDeLogin));
        const auto primeira = a.pede(pedidoDeLogin, {13});
        QCOMPARE(bool(primeira), inteira);
        if (inteira) {
            QCOMPARE(primeira->texto, listaDeFichas(3));
            QVERIFY(a.caixas.caixas().isEmpty());
        } else {
            QCOMPARE(a.titulos(), QStringList({QStringLiteral("Comando Desconhecido")}));
        }
        const auto proxima = a.pede(pedidoDeLogin, {4});
        QVERIFY2(proxima, qPrintable(a.titulos().join(u',')));
        QCOMPARE(proxima->texto, respostaDeLogin);
        QCOMPARE(a.servidor.conexoes(), inteira ? 1 : 2);
    }

    // A list asked for as bytes comes as the bytes that were sent, Windows-1252 untouched;
    // its text is not made.
    void respostaEmBytes()
    {
        Ambiente a(5);
        a.servidor.defineNegociacao(ServidorRoteirizado::Negociacao::Aceita);
        const QString lista = listaDeFichas(5);
        a.servidor.aoProximoPedido(ServidorRoteirizado::emQuadros(lista, 300, 1));
        const auto resposta = RequisitaEmBytes(nullptr, &a.timerTimeOut, pedidoDeLogin, {13});
        QVERIFY2(resposta, qPrintable(a.titulos().join(u',')));
        QCOMPARE(resposta->codigo, 13);
        QCOMPARE(resposta->bytes, Wire::codifica(lista));
        QVERIFY(resposta->bytes.contains("Concei\xE7\xE3o"));
        QVERIFY(resposta->texto.isEmpty());
    }
};

QTEST_MAIN(tst_Requisicao)
#include "tst_Requisicao.moc"
