// The card window's printing, against the registry server itself: cards and the window printed
// to PDF and read back, the layout window's values, a queue that refuses.
#include "JanelaDeCarteiras.h"
#include "PalavrasDoPdf.h"
#include "support/VisualizacaoDeTeste.h"

#include <QMenu>
#include <QPageLayout>
#include <QPrinter>
#include <QProcess>
#include <QScrollArea>
#include <QScrollBar>
#include <QToolBar>
#include <QToolButton>

namespace {

QPointF origemImprimivel()
{
    QPrinter p(QPrinter::HighResolution);
    p.setOutputFormat(QPrinter::PdfFormat);
    return p.pageLayout().paintRect(QPageLayout::Point).topLeft();
}

} // namespace

class tst_frmPrincipal3Impressao : public JanelaDeCarteiras {
    Q_OBJECT
private slots:
    void init() { abreComMembros(); }
    void cleanup() { fechaTudo(); }

    // "Visualizar Impressão": its menu shows what each print button sends, the same page; the
    // action itself goes up to the last card with text. No printer installed: the PDF route.
    void visualizarMostraAFolhaDoBotao()
    {
        preencheCarteiras124();

        const QString direto = pdfs.filePath(QStringLiteral("direto-tres.pdf"));
        {
            Impressoras::Gravador impressora(direto);
            QTest::mouseClick(janela->Command[2], Qt::LeftButton);
            QCOMPARE(impressora.trabalhos.size(), 1);
        }
        QVERIFY(janela->acaoVisualizar);
        QCOMPARE(janela->acaoVisualizar->text(), QStringLiteral("Visualizar Impressão"));
        QCOMPARE(janela->acaoVisualizar->shortcut(), QKeySequence(QStringLiteral("Ctrl+Shift+V")));
        QVERIFY(janela->acaoVisualizar->toolTip().contains(QStringLiteral("PDF")));
        QMenu* menu = janela->acaoVisualizar->menu();
        QVERIFY(menu);
        QCOMPARE(menu->actions().size(), 5);
        QCOMPARE(menu->actions().at(2)->text(), QStringLiteral("IMPRIMIR 01 A 03"));

        Impressoras::Gravador nenhuma{QString()};
        DialogoArquivo::Gravador dialogo;
        VisualizacaoVista vista;
        const QString salvo = pdfs.filePath(QStringLiteral("visualizado-tres.pdf"));
        aoAbrirVisualizacao(vista, dialogo, salvo);
        menu->actions().at(2)->trigger();
        QVERIFY(vista.aberta);
        QCOMPARE(vista.paginas, 1);
        QCOMPARE(titulos(), QStringList{QStringLiteral("PDF Gerado: Arquivo gerado em: ") + salvo});
        const PdfLido a = lePdf(direto), b = lePdf(salvo);
        QCOMPARE(b.palavras.size(), a.palavras.size());
        for (qsizetype i = 0; i < a.palavras.size(); ++i)
            QVERIFY(a.palavras[i].texto == b.palavras[i].texto && qAbs(a.palavras[i].xMin - b.palavras[i].xMin) < 0.01
                    && qAbs(a.palavras[i].yMin - b.palavras[i].yMin) < 0.01);
        QVERIFY(b.achadas(QStringLiteral("DANIEL")).isEmpty());

        // The action alone: cards 1 to 4, the last one with text.
        caixas->limpa();
        VisualizacaoVista ate4;
        const QString quatro = pdfs.filePath(QStringLiteral("visualizado-quatro.pdf"));
        aoAbrirVisualizacao(ate4, dialogo, quatro);
        janela->acaoVisualizar->trigger();
        QVERIFY(ate4.aberta);
        QCOMPARE(lePdf(quatro).achadas(QStringLiteral("DANIEL")).size(), 1);
    }

    // Cards 1, 2 and 4 filled; "IMPRIMIR 01 A 03": cards 1 and 2 at their places, 3 empty, 4 not printed.
    void imprimeAsCarteirasNaFolha()
    {
        preencheCarteiras124();

        Impressoras::Gravador impressora(pdfs.filePath(QStringLiteral("tres.pdf")));
        QTest::mouseClick(janela->Command[2], Qt::LeftButton);
        QCOMPARE(titulos(), QStringList());
        QCOMPARE(impressora.trabalhos.size(), 1);
        const PdfLido lido = lePdf(impressora.trabalhos.first());
        QCOMPARE(lido.paginas, 1);
        QVERIFY(lido.achadas(QStringLiteral("DANIEL")).isEmpty());
        QVERIFY(lido.achadas(QStringLiteral("S104")).isEmpty());

        FrmConfig* layout = FrmConfig::instancia();
        const QPointF origem = origemImprimivel();
        auto confere = [&](const QString& palavra, int k, const char* campo, int vezes = 1) {
            const QList<PalavraDoPdf> achadas = lido.achadas(palavra);
            QVERIFY2(achadas.size() == vezes, qPrintable(palavra));
            const double x = origem.x() + layout->valor(QStringLiteral("%1x%2").arg(QLatin1String(campo)).arg(k)).toDouble() / 20;
            const double y = origem.y() + layout->valor(QStringLiteral("%1y%2").arg(QLatin1String(campo)).arg(k)).toDouble() / 20;
            bool achou = false;
            for (const PalavraDoPdf& p : achadas)
                achou = achou || (qAbs(p.xMin - x) < 1 && qAbs(p.yMin - y) < 1);
            QVERIFY2(achou, qPrintable(QStringLiteral("%1 fora de %2,%3").arg(palavra).arg(x).arg(y)));
        };
        confere(QStringLiteral("ANA"), 1, "nome");
        confere(QStringLiteral("S101"), 1, "ficha", 2);
        confere(QStringLiteral("S101"), 1, "fichaverso", 2);
        confere(QStringLiteral("11.111.111-1"), 1, "rg");
        confere(QStringLiteral("SETOR-S101"), 1, "setornome");
        confere(QStringLiteral("BRUNO"), 2, "nome");
        confere(QStringLiteral("22.222.222-2"), 2, "rg");
        confere(QStringLiteral("SETOR-S102"), 2, "setornome");
        // Ten texts on each of the two cards, the two names being two words each.
        QCOMPARE(lido.palavras.size(), 2 * 10 + 2);
    }

    void nomex2MudadoMoveONomeDaCarteira2()
    {
        AtualizaCarteiraDeTeste();
        Impressoras::Gravador impressora(pdfs.filePath(QStringLiteral("nomex2.pdf")));
        QTest::mouseClick(janela->Command[1], Qt::LeftButton);   // loads the layout hidden
        naJanelaDeConfiguracao([](FrmConfig& f) {
            QLineEdit* c = f.caixa(QStringLiteral("nomex2"));
            c->clear();
            QTest::keyClicks(c, QStringLiteral("6500"));
        });
        QTest::mouseClick(janela->Command[1], Qt::LeftButton);
        QCOMPARE(impressora.trabalhos.size(), 2);
        const QPointF origem = origemImprimivel();
        const PalavraDoPdf antes = lePdf(impressora.trabalhos[0]).achadas(QStringLiteral("BRUNO")).value(0);
        const PalavraDoPdf depois = lePdf(impressora.trabalhos[1]).achadas(QStringLiteral("BRUNO")).value(0);
        QVERIFY2(qAbs(depois.xMin - (origem.x() + 6500 / 20.0)) < 1, qPrintable(QString::number(depois.xMin)));
        QCOMPARE(depois.yMin, antes.yMin);
        QVERIFY(qAbs(antes.xMin - depois.xMin) > 100);
        // Kept in the table: a new window shows it.
        FrmConfig reaberta;
        QCOMPARE(reaberta.valor(QStringLiteral("nomex2")), QStringLiteral("6500"));
    }

    // Layout values typed in the layout window: the operator's format strictly, positions on
    // the page's printable area, font sizes 4 to 72; the first bad one is named and nothing
    // is printed.
    void configuracaoDigitada_data()
    {
        QTest::addColumn<QString>("caixa");
        QTest::addColumn<QString>("digitado");
        QTest::addColumn<bool>("imprime");
        QTest::newRow("ponto decimal") << "nomex2" << "1150.5" << false;
        QTest::newRow("grupos curtos") << "nomey2" << "1.2.3" << false;
        QTest::newRow("virgula decimal") << "nomex2" << "1150,5" << true;
        QTest::newRow("milhar") << "nomey2" << "1.150,5" << true;
        QTest::newRow("fora da pagina") << "nomex2" << "20000" << false;
        QTest::newRow("abaixo da pagina") << "nomey2" << "17.000" << false;
        QTest::newRow("negativa") << "rgy2" << "-10" << false;
        QTest::newRow("fonte zero") << "fonte2" << "0" << false;
        QTest::newRow("fonte enorme") << "fonte2" << "500" << false;
        QTest::newRow("fonte minima") << "fonte2" << "4" << true;
        QTest::newRow("fonte maxima") << "fonte2" << "72" << true;
    }
    void configuracaoDigitada()
    {
        QFETCH(QString, caixa);
        QFETCH(QString, digitado);
        QFETCH(bool, imprime);
        AtualizaCarteiraDeTeste();
        naJanelaDeConfiguracao([&](FrmConfig& f) {
            QLineEdit* c = f.caixa(caixa);
            c->clear();
            QTest::keyClicks(c, digitado);
        });
        Impressoras::Gravador impressora(pdfs.filePath(QStringLiteral("digitada.pdf")));
        QTest::mouseClick(janela->Command[1], Qt::LeftButton);
        if (imprime) {
            QCOMPARE(titulos(), QStringList());
            QCOMPARE(impressora.trabalhos.size(), 1);
            QCOMPARE(impressora.titulos, QStringList{QStringLiteral("Carteirinhas")});
            if (caixa == QLatin1String("nomex2")) {
                const PalavraDoPdf p = lePdf(impressora.trabalhos.first()).achadas(QStringLiteral("BRUNO")).value(0);
                QPrinter pagina(QPrinter::HighResolution);
                pagina.setOutputFormat(QPrinter::PdfFormat);
                const double x = pagina.pageLayout().paintRect(QPageLayout::Point).left() + 1150.5 / 20.0;
                QVERIFY2(qAbs(p.xMin - x) < 1.0, qPrintable(QString::number(p.xMin)));
            }
            return;
        }
        QCOMPARE(impressora.trabalhos.size(), 0);
        QCOMPARE(impressora.titulos, QStringList());
        QCOMPARE(caixas->caixas().size(), 1);
        const Caixas::Registro& r = caixas->caixas().first();
        QCOMPARE(r.titulo, QStringLiteral("Configuração Inválida"));
        QVERIFY2(r.texto.contains(u'"' + caixa + u'"'), qPrintable(r.texto));
        QVERIFY2(r.texto.contains(u'"' + digitado + u'"'), qPrintable(r.texto));
    }

    void valorInvalidoNaoImprime()
    {
        AtualizaCarteiraDeTeste();
        naJanelaDeConfiguracao([](FrmConfig& f) {
            QLineEdit* c = f.caixa(QStringLiteral("igrejay2"));
            c->clear();
            QTest::keyClicks(c, QStringLiteral("12o0"));
        });
        Impressoras::Gravador impressora(pdfs.filePath(QStringLiteral("invalido.pdf")));
        QTest::mouseClick(janela->Command[0], Qt::LeftButton);   // card 2 not printed: fine
        QVERIFY2(titulos().isEmpty(), qPrintable(titulos().join(u'\n')));
        QCOMPARE(impressora.trabalhos.size(), 1);
        QTest::mouseClick(janela->Command[4], Qt::LeftButton);
        QCOMPARE(impressora.trabalhos.size(), 1);   // no second job
        QCOMPARE(caixas->caixas().size(), 1);
        QCOMPARE(caixas->caixas().first().titulo, QStringLiteral("Configuração Inválida"));
        QVERIFY(caixas->caixas().first().texto.contains(QStringLiteral("\"igrejay2\"")));
        QVERIFY(caixas->caixas().first().texto.contains(QStringLiteral("\"12o0\"")));
    }

    // A queue that refuses the job: both the card buttons and "Imprimir" say so.
    void impressoraRecusa()
    {
        AtualizaCarteiraDeTeste();
        Impressoras::Gravador impressora(pdfs.filePath(QStringLiteral("recusa.pdf")));
        impressora.recusa = QStringLiteral("Destination \"Fila\" is not accepting jobs.");
        QTest::mouseClick(janela->Command[1], Qt::LeftButton);
        comando("BtnImprimi");
        QCOMPARE(impressora.trabalhos.size(), 0);
        QCOMPARE(impressora.titulos, (QStringList{QStringLiteral("Carteirinhas"), QStringLiteral("Carteirinha de Membros")}));
        QCOMPARE(caixas->caixas().size(), 2);
        for (const Caixas::Registro& r : caixas->caixas()) {
            QCOMPARE(r.titulo, QStringLiteral("Erro no Aplicativo"));
            QVERIFY2(r.texto.contains(QStringLiteral("A impressora padrão não aceitou a página")), qPrintable(r.texto));
            QVERIFY2(r.texto.contains(QStringLiteral("not accepting jobs")), qPrintable(r.texto));
        }
    }

    // "Imprimir": the whole window (toolbar, sheet, the five cards and all their print buttons)
    // on one page, inside the printable area; the window keeps its size.
    void imprimeAImagemDaJanela()
    {
        AtualizaCarteiraDeTeste();
        clsAgenda quinta;
        quinta.nome = QStringLiteral("EVA QUINTINO");
        janela->AtualizaGUI5(quinta);
        Impressoras::Gravador impressora(pdfs.filePath(QStringLiteral("janela.pdf")));
        const QSize antes = janela->size();
        comando("BtnImprimi");
        QCOMPARE(titulos(), QStringList());
        QCOMPARE(impressora.trabalhos.size(), 1);
        QCOMPARE(impressora.titulos, QStringList{QStringLiteral("Carteirinha de Membros")});
        QCOMPARE(janela->size(), antes);

        const QString pdf = impressora.trabalhos.first();
        QProcess texto;
        texto.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
        QVERIFY(texto.waitForFinished(30000));
        const QString impresso = QString::fromUtf8(texto.readAllStandardOutput());
        for (const char* t : {"IMPRIMIR 01 A 05", "IMPRIMIR 01 E 02", "EVA QUINTINO", "BRUNO ALVES", "Carteirinha 05",
                              "Renovar Carteira", "Sair", "Usuario: "})
            QVERIFY2(impresso.contains(QString::fromLatin1(t)), qPrintable(QString::fromLatin1(t) + u'\n' + impresso));

        const PdfLido lido = lePdf(pdf);
        QCOMPARE(lido.paginas, 1);
        QPrinter pagina(QPrinter::HighResolution);
        pagina.setOutputFormat(QPrinter::PdfFormat);
        const QRectF area = pagina.pageLayout().paintRect(QPageLayout::Point).adjusted(-0.5, -0.5, 0.5, 0.5);
        QVERIFY(!lido.palavras.isEmpty());
        for (const PalavraDoPdf& p : lido.palavras)
            QVERIFY2(area.contains(QRectF(QPointF(p.xMin, p.yMin), QPointF(p.xMax, p.yMax))),
                     qPrintable(QStringLiteral("%1 em %2,%3-%4,%5").arg(p.texto).arg(p.xMin).arg(p.yMin).arg(p.xMax).arg(p.yMax)));
    }

    // After "Imprimir" the window is as the operator left it: same size, the toolbar folded
    // (or not) as before, no scroll bars where there were none.
    void imprimirMantemOTamanho_data()
    {
        QTest::addColumn<QSize>("tamanho");   // invalid: as the window opens
        QTest::newRow("como abre") << QSize();
        QTest::newRow("aumentada") << QSize(1400, 1000);
        QTest::newRow("reduzida") << QSize(900, 700);
    }
    void imprimirMantemOTamanho()
    {
        QFETCH(QSize, tamanho);
        if (tamanho.isValid())
            janela->resize(tamanho);
        QCoreApplication::processEvents();
        auto* rolagem = qobject_cast<QScrollArea*>(janela->centralWidget());
        QVERIFY(rolagem);
        const auto aparencia = [&] {
            auto* extensao = janela->toolMenu->findChild<QToolButton*>(QStringLiteral("qt_toolbar_ext_button"));
            return QList<bool>{extensao && extensao->isVisible(), rolagem->horizontalScrollBar()->isVisible(),
                               rolagem->verticalScrollBar()->isVisible()};
        };
        const QSize antes = janela->size();
        const QList<bool> comoEstava = aparencia();
        Impressoras::Gravador impressora(pdfs.filePath(QStringLiteral("tamanho.pdf")));
        comando("BtnImprimi");
        QCOMPARE(impressora.trabalhos.size(), 1);
        QCoreApplication::processEvents();
        QCOMPARE(janela->size(), antes);
        QCOMPARE(aparencia(), comoEstava);
    }

    // A sheet made while disconnected has a provisional number until the server gives it its
    // own: no card of it is printed.
    void fichaProvisoriaNaoImprime_data()
    {
        QTest::addColumn<qint32>("numero1");
        QTest::addColumn<qint32>("numero2");
        QTest::addColumn<int>("botao");      // prints cards 1 to botao + 1
        QTest::addColumn<bool>("imprime");
        QTest::newRow("números definitivos") << 101 << 102 << 1 << true;
        QTest::newRow("carteira 1 provisória") << -1 << 102 << 1 << false;
        QTest::newRow("carteira 2 provisória") << 101 << -2 << 1 << false;
        QTest::newRow("provisória fora da folha pedida") << 101 << -2 << 0 << true;
    }
    void fichaProvisoriaNaoImprime()
    {
        QFETCH(qint32, numero1);
        QFETCH(qint32, numero2);
        QFETCH(int, botao);
        QFETCH(bool, imprime);
        clsAgenda b;
        b.numeroFicha = numero2;
        b.nome = QStringLiteral("BRUNO ALVES");
        janela->AtualizaGUI2(b);
        janela->membros.numeroFicha = numero1;
        Impressoras::Gravador impressora(pdfs.filePath(QStringLiteral("provisoria.pdf")));
        QTest::mouseClick(janela->Command[size_t(botao)], Qt::LeftButton);
        QCOMPARE(impressora.trabalhos.size(), imprime ? 1 : 0);
        QCOMPARE(caixas->caixas().size(), imprime ? 0 : 1);
        if (!imprime)
            QCOMPARE(caixas->caixas().first().titulo, QStringLiteral("Ficha Provisória"));
    }

private:
    void AtualizaCarteiraDeTeste()
    {
        clsAgenda b;
        b.nome = QStringLiteral("BRUNO ALVES");
        b.sistema = QStringLiteral("S102");
        janela->AtualizaGUI2(b);
        QCOMPARE(carteira(2).at(1), QStringLiteral("BRUNO ALVES"));
    }
};

QTEST_MAIN(tst_frmPrincipal3Impressao)
#include "tst_frmprincipal3_impressao.moc"
