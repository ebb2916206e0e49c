// The five-slot card search against a scripted server: what each reply does to its own slot
// and to no other.
#include "ServidorRoteirizado.h"
#include "cards/frmPrincipal3.h"
#include "cards/frmlocalizarcarteira2.h"
#include "support/AmbienteDeTeste.h"
#include "search/PainelFiltroBusca.h"

#include "search/ListaDeResultados.h"
#include <QPushButton>
#include <QTextLayout>

class tst_frmlocalizarcarteira2 : public QObject {
    Q_OBJECT

    std::unique_ptr<ServidorRoteirizado> servidor;
    std::unique_ptr<EntradaDeTeste> entrada;
    std::unique_ptr<Caixas::Gravador> caixas;
    QPointer<frmPrincipal3> janela;
    std::unique_ptr<frmlocalizarcarteira2> dialogo;

    static QString lista(std::initializer_list<const char*> nomes)
    {
        QList<clsAgenda> membros;
        qint32 n = 10;
        for (const char* nome : nomes) {
            clsAgenda a;
            a.numeroFicha = n++;
            a.nome = QString::fromLatin1(nome);
            a.Data = QDate(2023, 5, 2);
            membros.append(a);
        }
        return clsAgenda::collectionToPipeStringWithCommand(membros, 13);
    }
    QStringList titulos() const
    {
        QStringList t;
        for (const Caixas::Registro& r : caixas->caixas())
            t << r.titulo;
        return t;
    }
    void localiza(int slot) { QTest::mouseClick(dialogo->btnLocalizar[size_t(slot - 1)], Qt::LeftButton); }
    int linhas(int slot) { return dialogo->lstResultados[size_t(slot - 1)]->count(); }

private slots:
    void init()
    {
        servidor = std::make_unique<ServidorRoteirizado>();
        servidor->aoProximoPedido(ServidorRoteirizado::responde(QStringLiteral("4|operador|x|7|Tesouraria")));
        entrada = std::make_unique<EntradaDeTeste>();
        caixas = std::make_unique<Caixas::Gravador>();
        QVERIFY2(entrada->preparaEEntra(servidor->host(), servidor->porta(), QStringLiteral("operador"),
                                        QStringLiteral("x"), 1),
                 qPrintable(entrada->erro));
        frmPrincipal3::abre();
        janela = frmPrincipal3::existente();
        dialogo = std::make_unique<frmlocalizarcarteira2>(janela);
        dialogo->show();
        caixas->limpa();
    }
    void cleanup()
    {
        dialogo.reset();
        delete janela.data();
        entrada.reset();
        caixas.reset();
        servidor.reset();
    }

    void filtroVaiComODepartamentoDoOperador()
    {
        servidor->aoProximoPedido(ServidorRoteirizado::responde(lista({"ANA"})));
        QTest::keyClicks(dialogo->frameFiltroPesquisa->txtNFicha, QStringLiteral("12"));
        QTest::keyClicks(dialogo->frameFiltroPesquisa->txtNome, QStringLiteral("ANA"));
        localiza(5);
        const QString pedido = servidor->recebidas().last();
        QVERIFY2(pedido.startsWith(QStringLiteral("12|12|ANA|")), qPrintable(pedido));
        QVERIFY2(pedido.contains(QStringLiteral("|7|")), qPrintable(pedido));
        QCOMPARE(linhas(5), 1);
    }

    // Each outcome empties only the slot that searched.
    void respostasDoServidor_data()
    {
        QTest::addColumn<QString>("resposta");
        QTest::addColumn<QString>("titulo");
        QTest::newRow("14") << "14" << "Nenhum Registro";
        QTest::newRow("0") << "0" << "Falha no Comando";
        QTest::newRow("desconhecido") << "9" << "Comando Desconhecido";
        QTest::newRow("silencio") << QString() << "Sem Resposta";
    }
    void respostasDoServidor()
    {
        QFETCH(QString, resposta);
        QFETCH(QString, titulo);
        servidor->aoProximoPedido(ServidorRoteirizado::responde(lista({"ANA", "BIA"})));
        localiza(1);
        servidor->aoProximoPedido(ServidorRoteirizado::responde(lista({"CAIO", "DORA", "EVA"})));
        localiza(3);
        QCOMPARE(linhas(1), 2);
        QCOMPARE(linhas(3), 3);
        QCOMPARE(titulos(), QStringList());

        servidor->aoProximoPedido(resposta.isEmpty() ? ServidorRoteirizado::silencio()
                                                     : ServidorRoteirizado::responde(resposta));
        localiza(3);
        QCOMPARE(titulos(), QStringList{titulo});
        QCOMPARE(linhas(3), 0);
        QCOMPARE(linhas(1), 2);
        caixas->limpa();
        QTest::mouseClick(dialogo->lstResultados[2]->viewport(), Qt::LeftButton, {}, QPoint(20, 10));
        QCOMPARE(titulos(), QStringList{QStringLiteral("Lista Vazia")});
        QVERIFY(!dialogo->isVisible());
        QCOMPARE(janela->textosDaCarteira(3)[1], QString());
    }

    // Every slot shows a whole line (number, date, a long full name) and the dialog still
    // fits a 1280 x 1024 screen.
    void linhasInteirasNaTela()
    {
        for (int k = 1; k <= 5; ++k) {
            servidor->aoProximoPedido(
                ServidorRoteirizado::responde(lista({"MARIA APARECIDA DOS SANTOS OLIVEIRA", "ANA"})));
            localiza(k);
            QCOMPARE(linhas(k), 2);
        }
        dialogo->adjustSize();
        QVERIFY2(dialogo->frameGeometry().width() <= 1280 && dialogo->frameGeometry().height() <= 1024 - 40,
                 qPrintable(QStringLiteral("%1 x %2").arg(dialogo->frameGeometry().width()).arg(dialogo->frameGeometry().height())));
        for (ListaDeResultados* l : dialogo->lstResultados) {
            const QString texto = l->linha(0);
            QVERIFY(texto.endsWith(QStringLiteral("MARIA APARECIDA DOS SANTOS OLIVEIRA")));
            // As the list draws it: tabs stop every 80 pixels.
            QTextLayout layout(texto, l->font());
            layout.beginLayout();
            layout.createLine();
            layout.endLayout();
            const qreal largura = layout.lineAt(0).naturalTextWidth();
            QVERIFY2(largura + 8 <= l->viewport()->width(),
                     qPrintable(QStringLiteral("%1: %2 > %3").arg(l->objectName()).arg(largura).arg(l->viewport()->width())));
        }
    }

    void cliqueNumaListaVaziaAvisaEFecha()
    {
        QTest::mouseClick(dialogo->lstResultados[4]->viewport(), Qt::LeftButton, {}, QPoint(20, 10));
        QCOMPARE(titulos(), QStringList{QStringLiteral("Lista Vazia")});
        QVERIFY(!dialogo->isVisible());
    }

    void cartaoEscolhidoNaoMexeNaFicha()
    {
        janela->membros.nome = QStringLiteral("FICHA ATUAL");
        janela->AtualizaGUI();
        servidor->aoProximoPedido(ServidorRoteirizado::responde(lista({"ANA", "BIA"})));
        localiza(3);
        const QRect r = dialogo->lstResultados[2]->retanguloDaLinha(1);
        QTest::mouseClick(dialogo->lstResultados[2]->viewport(), Qt::LeftButton, {}, r.center());
        QVERIFY(!dialogo->isVisible());
        QCOMPARE(janela->textosDaCarteira(3)[1], QStringLiteral("BIA"));
        QCOMPARE(janela->membros.nome, QStringLiteral("FICHA ATUAL"));
        QCOMPARE(janela->textosDaCarteira(1)[1], QStringLiteral("FICHA ATUAL"));
        QCOMPARE(titulos(), QStringList());
    }
};

QTEST_MAIN(tst_frmlocalizarcarteira2)
#include "tst_frmlocalizarcarteira2.moc"
