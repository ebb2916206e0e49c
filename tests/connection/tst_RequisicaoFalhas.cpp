// The request cycle against a scripted server: every way a wait fails, and slow links.
#include "AmbienteDeRequisicao.h"
#include "connection/Conexao.h"
#include "protocol/Quadros.h"
#include "protocol/Wire.h"

#include <QElapsedTimer>
#include <QtTest>

// The request cycle against a server that misbehaves on purpose: waits that fail or crawl.
class tst_RequisicaoFalhas : public QObject {
    Q_OBJECT
private slots:
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
};

QTEST_MAIN(tst_RequisicaoFalhas)
#include "tst_RequisicaoFalhas.moc"
