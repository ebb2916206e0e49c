// The request cycle against a scripted server: replies cut, late, classified, framed or on
// the plain wire, one request at a time.
#include "AmbienteDeRequisicao.h"
#include "protocol/Quadros.h"
#include "protocol/Wire.h"

#include <QElapsedTimer>
#include <QtTest>

// The request cycle against a server that misbehaves on purpose: how each reply is taken.
class tst_RequisicaoRespostas : public QObject {
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
#ifdef Q_OS_WIN
        // Pieces 1 ms apart against the plain wire's quiet rule: wine's timers are coarser than
        // that gap (silent server: the reply is seen as ended early; "0": a wait now and then
        // runs out). Left to a real Windows machine; on Debian both rows run.
        QSKIP("peças a 1 ms: os temporizadores do wine são mais grossos que a regra do silêncio");
#endif
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

QTEST_MAIN(tst_RequisicaoRespostas)
#include "tst_RequisicaoRespostas.moc"
