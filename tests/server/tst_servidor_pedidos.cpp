// The registry server over real sockets on loopback: logins, sheets, searches and the requests
// that arrive cut, joined, malformed or unauthorised.
#include "ClienteDoServidor.h"
#include "protocol/clsFiltroBusca.h"
#include "protocol/modCommands.h"
#include "support/Pedidos.h"
#include "support/ServidorReal.h"

#include <QTest>

class tst_ServidorPedidos : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();

    void aceitaComDoisENaoRespondeKeepAlive();
    void login_data();
    void login();
    void salvar();
    void incluir();
    void excluir();
    void buscar_data();
    void buscar();
    void textoWindows1252();
    void pedidoEmPedacosEColado_data();
    void pedidoEmPedacosEColado();
    void malformados_data();
    void malformados();
    void pedidoAcimaDe1MiBFechaConexao();
    void conexaoSemLoginRecebeZero();
    void departamentoDeOutroOperador();
    void loginsErradosSaoRetardados();
    void textoWindows1252Inteiro();
    void descricaoInteiraDispensaOSilencio();

private:
    QByteArray pedeLogado(const QString& mensagem);

    std::unique_ptr<ServidorReal> m_servidor;
    std::unique_ptr<Cliente> m_cliente;
};

void tst_ServidorPedidos::initTestCase()
{
    const QString erro = sobeServidorCompartilhado(m_servidor, m_cliente);
    QVERIFY2(erro.isEmpty(), qPrintable(erro));
}

void tst_ServidorPedidos::cleanupTestCase()
{
    m_cliente.reset();
    QVERIFY(diarioSemDados(*m_servidor));
    m_servidor.reset();
}

QByteArray tst_ServidorPedidos::pedeLogado(const QString& mensagem)
{
    return m_cliente->pede(mensagem);
}

void tst_ServidorPedidos::aceitaComDoisENaoRespondeKeepAlive()
{
    Cliente c(*m_servidor);
    QVERIFY(c.conectado());
    QCOMPARE(c.saudacao(), QByteArray("2"));
    c.envia("1");
    QCOMPARE(c.nadaEm(400), QByteArray());
    c.envia("1");
    c.envia("1");
    QCOMPARE(c.nadaEm(400), QByteArray());
}

void tst_ServidorPedidos::login_data()
{
    QTest::addColumn<QString>("mensagem");
    QTest::addColumn<QByteArray>("resposta");
    QTest::newRow("certo") << pedidoDeLogin(QStringLiteral("operador"), QStringLiteral("senha123")) << QByteArray("4|operador||1|Secretaria");
    QTest::newRow("outro departamento") << pedidoDeLogin(QStringLiteral("tesoureiro"), QStringLiteral("moedas-de-ouro"))
                                        << QByteArray("4|tesoureiro||2|Tesouraria");
    QTest::newRow("senha errada") << pedidoDeLogin(QStringLiteral("operador"), QStringLiteral("senha12")) << QByteArray("5");
    QTest::newRow("caixa diferente") << pedidoDeLogin(QStringLiteral("OPERADOR"), QStringLiteral("senha123")) << QByteArray("5");
    QTest::newRow("usuario desconhecido") << pedidoDeLogin(QStringLiteral("ninguem"), QStringLiteral("x")) << QByteArray("5");
    QTest::newRow("senha vazia") << pedidoDeLogin(QStringLiteral("operador"), QString()) << QByteArray("5");
    QTest::newRow("departamento do cliente ignorado") << QStringLiteral("3|operador|senha123|77|Outro") << QByteArray("4|operador||1|Secretaria");
    QTest::newRow("falta parte") << QStringLiteral("3|operador|senha123") << QByteArray("0");
}

void tst_ServidorPedidos::login()
{
    QFETCH(QString, mensagem);
    Cliente c(*m_servidor, QStringLiteral("127.0.0.3"));
    QTEST(c.pede(mensagem), "resposta");
}

void tst_ServidorPedidos::salvar()
{
    // A new sheet gets the department's next number.
    const clsAgenda nova = uma(pedeLogado(ficha(0, QStringLiteral("Primeira Pessoa")).toPipeStringWithCommand(Codigo::Salva)));
    QVERIFY(nova.numeroFicha > 0);
    QCOMPARE(nova.nome, QStringLiteral("Primeira Pessoa"));
    QCOMPARE(nova.departamento.idDepartamento, 1);
    QCOMPARE(nova.departamento.dsDepartamento, QStringLiteral("Secretaria"));
    QCOMPARE(nova.Valor, 123.45);

    // Same number: altered in place, every field as sent.
    clsAgenda alterada = nova;
    alterada.nome = QStringLiteral("Primeira Pessoa Alterada");
    alterada.Valor = 1234.5;
    alterada.Data = QDate(2019, 12, 31);
    const QByteArray r = pedeLogado(alterada.toPipeStringWithCommand(Codigo::Salva));
    QVERIFY(r.startsWith("7|"));
    QCOMPARE(uma(r).numeroFicha, nova.numeroFicha);
    const QList<clsAgenda> achadas = lista(pedeLogado(busca(nova.numeroFicha)));
    QCOMPARE(achadas.size(), 1);
    clsAgenda esperada = alterada;
    esperada.departamento.dsDepartamento = QStringLiteral("Secretaria");
    QCOMPARE(achadas[0], esperada);

    // A number not yet used: stored under it; the next new one follows it.
    QCOMPARE(uma(pedeLogado(ficha(5000, QStringLiteral("Numerada")).toPipeStringWithCommand(Codigo::Salva))).numeroFicha, 5000);
    QCOMPARE(uma(pedeLogado(ficha(0, QStringLiteral("Seguinte")).toPipeStringWithCommand(Codigo::Salva))).numeroFicha, 5001);
    QCOMPARE(pedeLogado(ficha(-4, QStringLiteral("Negativa")).toPipeStringWithCommand(Codigo::Salva)), QByteArray("0"));
}

void tst_ServidorPedidos::incluir()
{
    const QByteArray r = pedeLogado(ficha(6000, QStringLiteral("Incluída")).toPipeStringWithCommand(Codigo::Inclui));
    QVERIFY(r.startsWith("9|"));
    QCOMPARE(uma(r).numeroFicha, 0);    // 0 back: stored
    QCOMPARE(uma(r).nome, QStringLiteral("Incluída"));

    // Again: the stored sheet comes back under its own number, unchanged.
    const clsAgenda dup = uma(pedeLogado(ficha(6000, QStringLiteral("Outra")).toPipeStringWithCommand(Codigo::Inclui)));
    QCOMPARE(dup.numeroFicha, 6000);
    QCOMPARE(dup.nome, QStringLiteral("Incluída"));
    QCOMPARE(lista(pedeLogado(busca(6000)))[0].nome, QStringLiteral("Incluída"));

    QCOMPARE(pedeLogado(ficha(0, QStringLiteral("Sem número")).toPipeStringWithCommand(Codigo::Inclui)), QByteArray("0"));
    QCOMPARE(pedeLogado(ficha(-1, QStringLiteral("Negativa")).toPipeStringWithCommand(Codigo::Inclui)), QByteArray("0"));
}

void tst_ServidorPedidos::excluir()
{
    QCOMPARE(uma(pedeLogado(ficha(7000, QStringLiteral("Vai Sair")).toPipeStringWithCommand(Codigo::Salva))).numeroFicha, 7000);
    QCOMPARE(pedeLogado(ficha(7000, QString()).toPipeStringWithCommand(Codigo::Exclui)), QByteArray("11"));
    QCOMPARE(pedeLogado(ficha(7000, QString()).toPipeStringWithCommand(Codigo::Exclui)), QByteArray("0"));
    QCOMPARE(pedeLogado(busca(7000)), QByteArray("14"));
}

void tst_ServidorPedidos::buscar_data()
{
    QTest::addColumn<QString>("filtro");
    QTest::addColumn<QList<qint32>>("esperados");
    // Sheets 8001..8006 of department 1 (made on the first row), one of department 2.
    const QList<qint32> todas{8001, 8002, 8003, 8004, 8005, 8006};
    QTest::newRow("por numero") << busca(8003) << QList<qint32>{8003};
    QTest::newRow("numero inexistente") << busca(8999) << QList<qint32>{};
    QTest::newRow("nome sem acento acha acentuado") << busca(0, QStringLiteral("jose")) << QList<qint32>{8001, 8002};
    QTest::newRow("nome maiusculo acentuado") << busca(0, QStringLiteral("CONCEIÇÃO")) << QList<qint32>{8003, 8005};
    QTest::newRow("meio do nome") << busca(0, QStringLiteral("ncei")) << QList<qint32>{8003, 8005};
    QTest::newRow("curinga do LIKE e literal") << busca(0, QStringLiteral("100%")) << QList<qint32>{8006};
    QTest::newRow("sublinhado e literal") << busca(0, QStringLiteral("a_b")) << QList<qint32>{};
    QTest::newRow("datas inclusivas") << busca(0, QString(), QDate(2020, 1, 1), QDate(2020, 12, 31)) << QList<qint32>{8002, 8003, 8004};
    QTest::newRow("so inicio") << busca(0, QString(), QDate(2021, 1, 1)) << QList<qint32>{8005, 8006};
    QTest::newRow("so fim") << busca(0, QString(), QDate(), QDate(2020, 1, 1)) << QList<qint32>{8001, 8002};
    QTest::newRow("nome e datas") << busca(0, QStringLiteral("josé"), QDate(2020, 1, 1)) << QList<qint32>{8002};
    QTest::newRow("numero e nome que nao casa") << busca(8001, QStringLiteral("maria")) << QList<qint32>{};
    QTest::newRow("datas invertidas") << busca(0, QString(), QDate(2021, 1, 1), QDate(2020, 1, 1)) << QList<qint32>{};
    QTest::newRow("tudo do departamento") << busca(0) << todas;
}

void tst_ServidorPedidos::buscar()
{
    static bool feito = false;
    if (!feito) {
        feito = true;
        // Searches run on a department of their own, so the other tests' sheets stay out.
        QVERIFY(m_servidor->adicionaConta({3, QStringLiteral("Buscas"), QStringLiteral("buscador"), QStringLiteral("buscador1")}));
    }
    Cliente c(*m_servidor, QStringLiteral("127.0.0.4"));
    QCOMPARE(c.pede(pedidoDeLogin(QStringLiteral("buscador"), QStringLiteral("buscador1"))).left(2), QByteArray("4|"));
    if (c.pede(busca(0, QString(), QDate(), QDate(), 3)) == "14") {
        const QList<clsAgenda> fichas{
            ficha(8006, QStringLiteral("Desconto 100% Silva"), QDate(2022, 3, 1), 3),
            ficha(8001, QStringLiteral("José Pereira"), QDate(2019, 5, 5), 3),
            ficha(8002, QStringLiteral("Maria Josefa Souza"), QDate(2020, 1, 1), 3),
            ficha(8003, QStringLiteral("Ana da Conceição"), QDate(2020, 6, 15), 3),
            ficha(8004, QStringLiteral("Pedro Álvares"), QDate(2020, 12, 31), 3),
            ficha(8005, QStringLiteral("CONCEICAO LIMA"), QDate(2021, 1, 1), 3),
        };
        for (const clsAgenda& f : fichas)
            QVERIFY(c.pede(f.toPipeStringWithCommand(Codigo::Salva)).startsWith("7|"));
    }
    QFETCH(QString, filtro);
    QFETCH(QList<qint32>, esperados);
    // The rows are written for department 1; they run against department 3.
    clsFiltroBusca f;
    f.fromPipeStringWithCommand(filtro);
    f.departamento.idDepartamento = 3;
    const QByteArray r = c.pede(f.toPipeStringWithCommand(Codigo::Busca));
    if (esperados.isEmpty())
        QCOMPARE(r, QByteArray("14"));
    else
        QCOMPARE(numeros(r), esperados);   // always in ascending sheet number
}

void tst_ServidorPedidos::textoWindows1252()
{
    clsAgenda f = ficha(9000, QStringLiteral("Conceição Güell"));
    QByteArray bytes = Wire::codifica(f.toPipeStringWithCommand(Codigo::Salva));
    QVERIFY(bytes.contains("Concei\xe7\xe3o"));
    m_cliente->envia(bytes);
    const QByteArray r = m_cliente->le();
    QVERIFY(r.contains("Concei\xe7\xe3o G\xfc" "ell"));
    QCOMPARE(lista(pedeLogado(busca(0, QStringLiteral("guell")))).value(0).nome, QStringLiteral("Conceição Güell"));
}

void tst_ServidorPedidos::pedidoEmPedacosEColado_data()
{
    QTest::addColumn<QByteArrayList>("pedacos");
    QTest::addColumn<int>("codigoDaResposta");
    const QByteArray salvar = Wire::codifica(ficha(9100, QStringLiteral("Em Pedaços")).toPipeStringWithCommand(Codigo::Salva));
    const QByteArray procurar = Wire::codifica(busca(9100));
    QTest::newRow("tres pedacos") << QByteArrayList{salvar.left(10), salvar.mid(10, 200), salvar.mid(210)} << 7;
    QTest::newRow("um byte e o resto") << QByteArrayList{salvar.left(1), salvar.mid(1)} << 7;
    QTest::newRow("keep-alive colado antes") << QByteArrayList{"1" + salvar} << 7;
    QTest::newRow("keep-alive antes da busca") << QByteArrayList{"1" + procurar} << 13;
    QTest::newRow("keep-alive separado e busca") << QByteArrayList{"1", procurar} << 13;
    QTest::newRow("dois keep-alives e busca") << QByteArrayList{"11" + procurar} << 13;
    QTest::newRow("keep-alive colado depois") << QByteArrayList{procurar + "1"} << 13;
    QTest::newRow("busca cortada na ultima barra") << QByteArrayList{procurar.chopped(1), "|"} << 13;
}

void tst_ServidorPedidos::pedidoEmPedacosEColado()
{
    QFETCH(QByteArrayList, pedacos);
    for (const QByteArray& p : pedacos) {
        m_cliente->envia(p);
        QTest::qWait(30);
    }
    const QByteArray r = m_cliente->le();
    QTEST(LeComando(Wire::decodifica(r)), "codigoDaResposta");
    if (r.startsWith("13|"))
        QCOMPARE(numeros(r), QList<qint32>{9100});
    QCOMPARE(m_cliente->nadaEm(100), QByteArray());   // exactly one reply
}

void tst_ServidorPedidos::malformados_data()
{
    QTest::addColumn<QByteArray>("pedido");
    QTest::addColumn<QByteArray>("resposta");
    QTest::addColumn<int>("fichasAMais");
    const QString valida = ficha(9200, QStringLiteral("Válida")).toPipeStringWithCommand(Codigo::Salva);
    QStringList pecas = valida.split(u'|');

    QTest::newRow("lixo") << QByteArray("\x00\xff\xfe lixo \x01", 10) << QByteArray("0") << 0;
    QTest::newRow("so texto") << QByteArray("ola servidor") << QByteArray("0") << 0;
    QTest::newRow("codigo de resposta") << Wire::codifica(QString(valida).replace(0, 1, u'7')) << QByteArray("0") << 0;
    QTest::newRow("codigo desconhecido") << QByteArray("99|1|2|3") << QByteArray("0") << 0;
    QTest::newRow("codigo sem partes") << QByteArray("6") << QByteArray("0") << 0;
    QStringList p = pecas;
    p[2] = QString(200'000, u'x');
    QTest::newRow("nome enorme") << Wire::codifica(p.join(u'|')) << QByteArray("0") << 0;
    p = pecas;
    p[10] = QStringLiteral("31/02/2020");
    QTest::newRow("31/02/2020") << Wire::codifica(p.join(u'|')) << QByteArray("0") << 0;
    p = pecas;
    p[1] = QStringLiteral("abc");
    QTest::newRow("numero nao numerico") << Wire::codifica(p.join(u'|')) << QByteArray("0") << 0;
    p = pecas;
    p[11] = QStringLiteral("muito");
    QTest::newRow("valor nao numerico") << Wire::codifica(p.join(u'|')) << QByteArray("0") << 0;
    p = pecas;
    p[11] = QStringLiteral("9") + QString(40, u'9') + QStringLiteral(",00");
    QTest::newRow("valor absurdo") << Wire::codifica(p.join(u'|')) << QByteArray("0") << 0;
    p = pecas;
    p.removeAt(30);
    p.removeLast();
    QTest::newRow("falta uma parte") << Wire::codifica(p.join(u'|')) << QByteArray("0") << 0;
    p = pecas;
    p[66] = QStringLiteral("um");
    QTest::newRow("departamento nao numerico") << Wire::codifica(p.join(u'|')) << QByteArray("0") << 0;
    QTest::newRow("busca com data invalida") << QByteArray("12|0||30/02/2020|30/12/1899|1|") << QByteArray("0") << 0;
    p = pecas;
    p[3] = QStringLiteral("Rua A") + QChar(0) + QStringLiteral("B");
    QTest::newRow("NUL num campo") << Wire::codifica(p.join(u'|')) << QByteArray("0") << 0;
    p = pecas;
    p[2] = QStringLiteral("O'Brien'); DROP TABLE fichas; --");
    QTest::newRow("aspas no nome") << Wire::codifica(p.join(u'|')) << QByteArray("7|") << 1;
}

void tst_ServidorPedidos::malformados()
{
    QFETCH(QByteArray, pedido);
    QFETCH(QByteArray, resposta);
    QFETCH(int, fichasAMais);
    const qint64 antes = fichasNoBanco(*m_servidor);
    m_cliente->envia(pedido);
    QVERIFY(m_cliente->le().startsWith(resposta));
    QCOMPARE(fichasNoBanco(*m_servidor), antes + fichasAMais);
    // The connection is still good for the next request.
    QVERIFY(m_cliente->pede(busca(0)).startsWith("13|"));
    if (fichasAMais) {
        QCOMPARE(lista(m_cliente->pede(busca(9200))).value(0).nome, QStringLiteral("O'Brien'); DROP TABLE fichas; --"));
        QCOMPARE(m_cliente->pede(ficha(9200, QString()).toPipeStringWithCommand(Codigo::Exclui)), QByteArray("11"));
    }
}

void tst_ServidorPedidos::pedidoAcimaDe1MiBFechaConexao()
{
    Cliente c(*m_servidor);
    QByteArray enorme = "6|0|";
    enorme += QByteArray((1 << 20) + 10, 'a');
    c.envia(enorme);
    QCOMPARE(c.le(), QByteArray("0"));
    QVERIFY(c.fechadoPeloServidor());
}

void tst_ServidorPedidos::conexaoSemLoginRecebeZero()
{
    // m_cliente, from 127.0.0.1, is logged in. A second connection from the same address
    // that never logged in (another program on the operator's machine) gets nothing.
    for (const QString& origem : {QStringLiteral("127.0.0.1"), QStringLiteral("127.0.0.2")}) {
        Cliente outro(*m_servidor, origem);
        QCOMPARE(outro.saudacao(), QByteArray("2"));
        const qint64 antes = fichasNoBanco(*m_servidor);
        QCOMPARE(outro.pede(busca(0)), QByteArray("0"));
        QCOMPARE(outro.pede(busca(1)), QByteArray("0"));
        QCOMPARE(outro.pede(ficha(0, QStringLiteral("Intrusa")).toPipeStringWithCommand(Codigo::Salva)), QByteArray("0"));
        QCOMPARE(outro.pede(ficha(9300, QStringLiteral("Intrusa")).toPipeStringWithCommand(Codigo::Inclui)), QByteArray("0"));
        QCOMPARE(outro.pede(ficha(1, QString()).toPipeStringWithCommand(Codigo::Exclui)), QByteArray("0"));
        QCOMPARE(fichasNoBanco(*m_servidor), antes);
        QVERIFY(pedeLogado(busca(0)).startsWith("13|"));   // the logged-in one is still served
    }
    Cliente outro(*m_servidor, QStringLiteral("127.0.0.2"));
    QVERIFY(outro.pede(pedidoDeLogin(QStringLiteral("operador"), QStringLiteral("senha123"))).startsWith("4|"));
    QVERIFY(outro.pede(busca(0)).startsWith("13|"));
    // A new plain connection from that address has no session: it never agreed on one.
    Cliente deNovo(*m_servidor, QStringLiteral("127.0.0.2"));
    QCOMPARE(deNovo.pede(busca(0)), QByteArray("0"));
}

void tst_ServidorPedidos::departamentoDeOutroOperador()
{
    Cliente c(*m_servidor, QStringLiteral("127.0.0.5"));
    QVERIFY(c.pede(pedidoDeLogin(QStringLiteral("tesoureiro"), QStringLiteral("moedas-de-ouro"))).startsWith("4|"));
    QCOMPARE(c.pede(busca(0, QString(), QDate(), QDate(), 1)), QByteArray("0"));
    QCOMPARE(c.pede(ficha(0, QStringLiteral("Noutro")).toPipeStringWithCommand(Codigo::Salva)), QByteArray("0"));
    QCOMPARE(c.pede(busca(0, QString(), QDate(), QDate(), 2)), QByteArray("14"));
    QCOMPARE(c.pede(busca(0, QString(), QDate(), QDate(), 0)), QByteArray("0"));
    // Another operator logging in on the same connection takes it over: his department only.
    QVERIFY(c.pede(pedidoDeLogin(QStringLiteral("operador"), QStringLiteral("senha123"))).startsWith("4|"));
    QVERIFY(c.pede(busca(0, QString(), QDate(), QDate(), 1)).startsWith("13|"));
    QCOMPARE(c.pede(busca(0, QString(), QDate(), QDate(), 2)), QByteArray("0"));
}

void tst_ServidorPedidos::loginsErradosSaoRetardados()
{
    Cliente c(*m_servidor, QStringLiteral("127.0.0.6"));
    for (int i = 0; i < 5; ++i)
        QCOMPARE(c.pede(pedidoDeLogin(QStringLiteral("tesoureiro"), QStringLiteral("chute%1").arg(i))), QByteArray("5"));
    // Locked now, even with the right password; another machine is not affected.
    QCOMPARE(c.pede(pedidoDeLogin(QStringLiteral("tesoureiro"), QStringLiteral("moedas-de-ouro"))), QByteArray("5"));
    Cliente outro(*m_servidor, QStringLiteral("127.0.0.7"));
    QVERIFY(outro.pede(pedidoDeLogin(QStringLiteral("tesoureiro"), QStringLiteral("moedas-de-ouro"))).startsWith("4|"));
}

void tst_ServidorPedidos::textoWindows1252Inteiro()
{
    // Every character Windows-1252 has beyond ASCII is stored and comes back as sent.
    QString todos;
    for (int b = 0x80; b <= 0xff; ++b) {
        const QString c = Wire::decodifica(QByteArray(1, char(b)));
        if (c != QStringLiteral("\ufffd") && !c.at(0).isNonCharacter() && c.at(0).category() != QChar::Other_Control)
            todos += c;
    }
    for (QChar c : QStringLiteral("Œ€“”Ÿ"))
        QVERIFY(todos.contains(c));
    const clsAgenda f = ficha(9400, QStringLiteral("Œdipo 10€ “aspas” ") + todos);
    QCOMPARE(uma(pedeLogado(f.toPipeStringWithCommand(Codigo::Salva))).nome, f.nome);
    QCOMPARE(lista(pedeLogado(busca(9400))).value(0).nome, f.nome);
    QCOMPARE(numeros(pedeLogado(busca(0, QStringLiteral("œdipo")))), QList<qint32>{9400});
}

void tst_ServidorPedidos::descricaoInteiraDispensaOSilencio()
{
    // A quiet interval longer than the waits below: a reply that comes within them was not
    // held back by it.
    ServidorReal s;
    s.defineArgumentos({QStringLiteral("--silencio-ms"), QStringLiteral("3000")});
    QVERIFY2(s.inicia(), qPrintable(s.erro()));
    Cliente c(s);
    c.envia(Wire::codifica(pedidoDeLogin(s.conta().usuario, s.conta().senha)));   // a login always waits
    QVERIFY(c.le(15000).startsWith("4|"));
    const auto pedeLogo = [&](const QString& mensagem) {
        c.envia(Wire::codifica(mensagem));
        return c.le(2000);
    };
    clsAgenda f = ficha(0, QStringLiteral("Sem Espera"));
    f.departamento.dsDepartamento = s.conta().dsDepartamento;   // what the client got at login
    const clsAgenda gravada = uma(pedeLogo(f.toPipeStringWithCommand(Codigo::Salva)));
    QVERIFY(gravada.numeroFicha > 0);

    clsFiltroBusca filtro;
    filtro.numeroFicha = gravada.numeroFicha;
    filtro.departamento.idDepartamento = s.conta().idDepartamento;
    filtro.departamento.dsDepartamento = s.conta().dsDepartamento;
    const QByteArray procurar = Wire::codifica(filtro.toPipeStringWithCommand(Codigo::Busca));
    QCOMPARE(numeros(pedeLogo(filtro.toPipeStringWithCommand(Codigo::Busca))), QList<qint32>{gravada.numeroFicha});

    // Only part of the description: it may still be growing, so the server waits for the rest.
    c.envia(procurar.chopped(3));
    QCOMPARE(c.nadaEm(300), QByteArray());
    c.envia(procurar.right(3));
    QCOMPARE(numeros(c.le(2000)), QList<qint32>{gravada.numeroFicha});
    QCOMPARE(c.nadaEm(100), QByteArray());

    // Any other last piece waits for the quiet interval as before.
    c.envia(Wire::codifica(busca(gravada.numeroFicha)));
    QCOMPARE(c.nadaEm(300), QByteArray());
    QCOMPARE(numeros(c.le(15000)), QList<qint32>{gravada.numeroFicha});
}

QTEST_GUILESS_MAIN(tst_ServidorPedidos)
#include "tst_servidor_pedidos.moc"
