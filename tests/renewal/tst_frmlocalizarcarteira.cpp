#include "AmbienteDeRenovacao.h"
#include "ServidorRoteirizado.h"
#include "members/FormularioFicha.h"
#include "members/frmPrincipal.h"
#include "renewal/frmlocalizarcarteira.h"
#include "renewal/frmprincipal2.h"
#include "search/PainelFiltroBusca.h"
#include "search/SlotDeBusca.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include "search/ListaDeResultados.h"
#include <QPushButton>
#include <QtTest>

namespace {

clsAgenda membro(qint32 numero, const QString& nome)
{
    clsAgenda a;
    a.numeroFicha = numero;
    a.nome = nome;
    a.Data = QDate(2021, 3, 5);
    a.sistema = QStringLiteral("S%1").arg(numero);
    a.IGREJA = QStringLiteral("Igreja %1").arg(numero);
    a.validade = QStringLiteral("31/12/20%1").arg(30 + numero);
    a.cidadecong = QStringLiteral("Cidade %1").arg(numero);
    a.ufcong = QStringLiteral("M%1").arg(numero);
    a.departamento.idDepartamento = 3;
    return a;
}

QString lista(const QList<clsAgenda>& membros)
{
    return clsAgenda::collectionToPipeStringWithCommand(membros, Codigo::Encontrados);
}

} // namespace

// The renewal search: two slots over one filter, and what each hands to the renewal window.
class tst_frmlocalizarcarteira : public QObject {
    Q_OBJECT

    std::unique_ptr<ServidorRoteirizado> servidor;
    std::unique_ptr<Caixas::Gravador> caixas;
    frmLogin* login = nullptr;
    frmlocalizarcarteira* dialogo = nullptr;

    frmprincipal2* janela() { return frmprincipal2::instancia(); }

    // Clicks the middle of line `linha` (or, when the list is empty, its empty area).
    static void clica(ListaDeResultados* lista, int linha, bool duplo = false)
    {
        const QPoint ponto = lista->count() > linha ? lista->retanguloDaLinha(linha).center() : QPoint(20, 20);
        if (duplo)
            QTest::mouseDClick(lista->viewport(), Qt::LeftButton, {}, ponto);
        else
            QTest::mouseClick(lista->viewport(), Qt::LeftButton, {}, ponto);
    }

private slots:
    void init()
    {
        servidor = std::make_unique<ServidorRoteirizado>();
        caixas = std::make_unique<Caixas::Gravador>();
        operadorFicticio();
        login = apontaLogin(servidor->host(), servidor->porta());
        dialogo = new frmlocalizarcarteira(janela());
        dialogo->show();
        QVERIFY(QTest::qWaitForWindowExposed(dialogo));
    }
    void cleanup()
    {
        delete dialogo;
        delete frmprincipal2::existente();
        delete frmPrincipal::existente();
        delete login;
        caixas.reset();
        servidor.reset();
    }

    // The typical use: the member to renew in the first slot, another search in the second,
    // then "OK" on a first-slot line loads that member, and the dialog stays open.
    void primeiroSegundoEOkCarregaOPrimeiro()
    {
        frmPrincipal* membrosJanela = frmPrincipal::instancia();
        membrosJanela->show();
        caixas->limpa();   // the member window may have warned about its lookup file
        servidor->aoProximoPedido(ServidorRoteirizado::responde(lista({membro(11, "Ana Souza"), membro(12, "Bruno Lima")})));
        servidor->aoProximoPedido(ServidorRoteirizado::responde(lista({membro(21, "Carla Dias")})));
        QTest::mouseClick(dialogo->btnLocalizar, Qt::LeftButton);
        QVERIFY(!membrosJanela->isVisible());   // the member window goes before a first-slot search
        QTest::mouseClick(dialogo->btnLocalizar2, Qt::LeftButton);
        QCOMPARE(dialogo->lstResultados->count(), 2);
        QCOMPARE(dialogo->lstResultados2->count(), 1);
        QCOMPARE(dialogo->lstResultados->linha(1), QStringLiteral("12\t05/03/2021\tBruno Lima"));

        dialogo->lstResultados->setCurrentRow(1);
        QTest::mouseClick(dialogo->btnOk, Qt::LeftButton);

        QCOMPARE(janela()->membros.numeroFicha, 12);
        QCOMPARE(janela()->ficha->texto(QStringLiteral("txtNome")), QStringLiteral("Bruno Lima"));
        QCOMPARE(janela()->ficha->texto(QStringLiteral("txtNFicha")), QStringLiteral("S12"));
        QVERIFY(janela()->txtNFicha2->text().isEmpty());
        QVERIFY(dialogo->isVisible());
        QCOMPARE(dialogo->lstResultados2->count(), 1);   // the other slot is untouched
        QVERIFY2(caixas->caixas().isEmpty(), qPrintable(titulosDasCaixas(*caixas).join(u',')));
    }

    // A click in the second list shows that member's card data in the strip and closes the
    // dialog; the sheet on screen and `membros` stay the first member's.
    void segundoSlotPreencheSoAFaixa()
    {
        janela()->membros = membro(11, QStringLiteral("Ana Souza"));
        janela()->AtualizaGUI();
        servidor->aoProximoPedido(ServidorRoteirizado::responde(lista({membro(21, "Carla Dias"), membro(22, "Davi Reis")})));
        QTest::mouseClick(dialogo->btnLocalizar2, Qt::LeftButton);
        clica(dialogo->lstResultados2, 1);

        QVERIFY(!dialogo->isVisible());
        QCOMPARE(janela()->txtNFicha2->text(), QStringLiteral("S22"));
        QCOMPARE(janela()->txtIGREJA2->text(), QStringLiteral("Igreja 22"));
        QCOMPARE(janela()->txtvalidade2->text(), QStringLiteral("31/12/2052"));
        QCOMPARE(janela()->txtcidadecong2->text(), QStringLiteral("Cidade 22"));
        QCOMPARE(janela()->txtufcong2->text(), QStringLiteral("M22"));
        QCOMPARE(janela()->membros.numeroFicha, 11);
        QCOMPARE(janela()->membros.nome, QStringLiteral("Ana Souza"));
        QCOMPARE(janela()->ficha->texto(QStringLiteral("txtNome")), QStringLiteral("Ana Souza"));
        QVERIFY2(caixas->caixas().isEmpty(), qPrintable(titulosDasCaixas(*caixas).join(u',')));
    }

    // The refusals of the choices, and whether the dialog closes after them.
    void mensagens_data()
    {
        QTest::addColumn<QString>("resposta");   // reply to a search of the row's slot; empty: no search
        QTest::addColumn<int>("slot");
        QTest::addColumn<QString>("acao");       // "ok", "duplo1", "clique2"
        QTest::addColumn<QStringList>("titulos");
        QTest::addColumn<bool>("fecha");
        const QString dois = lista({membro(1, "Ana"), membro(2, "Bia")});
        QTest::newRow("OK antes de buscar") << QString() << 1 << "ok" << QStringList{"Lista Vazia"} << false;
        QTest::newRow("OK sem linha escolhida") << dois << 1 << "ok" << QStringList{"Selecione um Registro"} << false;
        QTest::newRow("OK depois de nada encontrado")
            << QStringLiteral("14|") << 1 << "ok" << QStringList{"Nenhum Registro", "Lista Vazia"} << false;
        QTest::newRow("duplo clique sem busca") << QString() << 1 << "duplo1" << QStringList{"Lista Vazia"} << true;
        QTest::newRow("clique na segunda lista vazia apos nada encontrado")
            << QStringLiteral("14|") << 2 << "clique2" << QStringList{"Nenhum Registro", "Lista Vazia"} << true;
        QTest::newRow("OK com linhas so na segunda lista") << dois << 2 << "ok" << QStringList{"Lista Vazia"} << false;
    }
    void mensagens()
    {
        QFETCH(QString, resposta);
        QFETCH(int, slot);
        QFETCH(QString, acao);
        QFETCH(QStringList, titulos);
        QFETCH(bool, fecha);
        const clsAgenda antes = janela()->membros;
        if (!resposta.isEmpty()) {
            servidor->aoProximoPedido(ServidorRoteirizado::responde(resposta));
            QTest::mouseClick(slot == 1 ? dialogo->btnLocalizar : dialogo->btnLocalizar2, Qt::LeftButton);
        }
        if (acao == QLatin1String("ok"))
            QTest::mouseClick(dialogo->btnOk, Qt::LeftButton);
        else if (acao == QLatin1String("duplo1"))
            clica(dialogo->lstResultados, 0, true);
        else
            clica(dialogo->lstResultados2, 0);
        QCOMPARE(titulosDasCaixas(*caixas), titulos);
        QCOMPARE(caixas->caixas().last().icone, Caixas::Icone::Aviso);
        QCOMPARE(dialogo->isVisible(), !fecha);
        QCOMPARE(janela()->membros, antes);
    }

    // A sheet number that is not a whole number (or does not fit one) never reaches the
    // filter: the label says so and nothing is sent.
    void numeroInvalidoNaoEnviado_data()
    {
        QTest::addColumn<QString>("texto");
        QTest::newRow("grande demais") << QStringLiteral("99999999999");
        QTest::newRow("acima do maior numero") << QStringLiteral("2147483648");
        QTest::newRow("com letra") << QStringLiteral("12a");
        QTest::newRow("sinal") << QStringLiteral("-5");
    }
    void numeroInvalidoNaoEnviado()
    {
        QFETCH(QString, texto);
        // The box's filter refuses letters and pastes; text put there another way is checked.
        QLineEdit* numero = dialogo->frameFiltroPesquisa->txtNFicha;
        numero->setText(texto);
        servidor->aoProximoPedido(ServidorRoteirizado::responde(lista({membro(1, "Ana")})));
        QTest::mouseClick(dialogo->btnLocalizar, Qt::LeftButton);
        QTest::qWait(100);
        QVERIFY(servidor->recebidas().isEmpty());
        QCOMPARE(dialogo->frameFiltroPesquisa->lblNFichaErro->text(), QStringLiteral("Valor numérico inválido"));
        QCOMPARE(dialogo->lstResultados->count(), 0);
        QVERIFY2(caixas->caixas().isEmpty(), qPrintable(titulosDasCaixas(*caixas).join(u',')));
    }

    // The boxes take only what their filters let through; the search sends what they hold.
    void filtrosDoFiltro()
    {
        PainelFiltroBusca* f = dialogo->frameFiltroPesquisa;
        digita(f->txtNome, QStringLiteral("Conceição M."));
        digita(f->txtNFicha, QStringLiteral("4x2"));
        digita(f->txtDataInicial, QStringLiteral("01/a01/2020"));
        digita(f->txtDataFinal, QStringLiteral("31-12/2020"));
        QCOMPARE(f->txtNome->text(), QStringLiteral("Conceio M."));
        QCOMPARE(f->txtNFicha->text(), QStringLiteral("42"));
        QCOMPARE(f->txtDataInicial->text(), QStringLiteral("01/01/2020"));
        QCOMPARE(f->txtDataFinal->text(), QStringLiteral("3112/2020"));
        QGuiApplication::clipboard()->setText(QStringLiteral("7"));
        QTest::keySequence(f->txtNFicha, QKeySequence::Paste);   // no paste in the number box
        QCOMPARE(f->txtNFicha->text(), QStringLiteral("42"));

        f->txtDataFinal->setText(QStringLiteral("31/12/2020"));
        servidor->aoProximoPedido(ServidorRoteirizado::responde(QStringLiteral("14|")));
        QTest::mouseClick(dialogo->btnLocalizar2, Qt::LeftButton);
        QVERIFY(servidor->esperaRecebidas(1));
        const QString pedido = servidor->recebidas().first();
        QVERIFY2(pedido.startsWith(QStringLiteral("12|42|Conceio M.|01/01/2020|31/12/2020|3|")), qPrintable(pedido));
    }

    // A start date after the end date: both labels, nothing sent.
    void intervaloInvertido()
    {
        dialogo->frameFiltroPesquisa->txtDataInicial->setText(QStringLiteral("02/01/2020"));
        dialogo->frameFiltroPesquisa->txtDataFinal->setText(QStringLiteral("01/01/2020"));
        QTest::mouseClick(dialogo->btnLocalizar2, Qt::LeftButton);
        QTest::qWait(100);
        QVERIFY(servidor->recebidas().isEmpty());
        QCOMPARE(dialogo->frameFiltroPesquisa->lblDataInicialErro->text(), QStringLiteral("Intervalo Inválido"));
        QCOMPARE(dialogo->frameFiltroPesquisa->lblDataFinalErro->text(), QStringLiteral("Intervalo Inválido"));
    }
};

QTEST_MAIN(tst_frmlocalizarcarteira)
#include "tst_frmlocalizarcarteira.moc"
