// The card window and its five-slot search, driven as an operator would, against the registry
// server itself; cards printed to PDF and read back.
#include "PalavrasDoPdf.h"
#include "support/VisualizacaoDeTeste.h"
#include <QMenu>
#include "ServidorReal.h"
#include "cards/FrmConfig.h"
#include "cards/frmPrincipal3.h"
#include "cards/frmlocalizarcarteira2.h"
#include "connection/Requisicao.h"
#include "support/AmbienteDeTeste.h"
#include "members/FormularioFicha.h"
#include "protocol/FormatoBR.h"
#include "search/PainelFiltroBusca.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include "search/ListaDeResultados.h"
#include <QPageLayout>
#include <QPrinter>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QToolBar>
#include <QToolButton>

namespace {

struct Membro {
    const char* nome;
    const char* sistema;
    const char* rg;
};
// Stored in this order, so the server numbers them 1..4.
const Membro cadastrados[] = {
    {"ANA CARDOSO", "S101", "11.111.111-1"},
    {"BRUNO ALVES", "S102", "22.222.222-2"},
    {"CARLA ANDRADE", "S103", "33.333.333-3"},
    {"DANIEL ALVES", "S104", "44.444.444-4"},
};

QPointF origemImprimivel()
{
    QPrinter p(QPrinter::HighResolution);
    p.setOutputFormat(QPrinter::PdfFormat);
    return p.pageLayout().paintRect(QPageLayout::Point).topLeft();
}

void clicaNaLinha(ListaDeResultados* lista, int linha, bool duplo = false)
{
    const QRect r = lista->retanguloDaLinha(linha);
    QTest::mouseClick(lista->viewport(), Qt::LeftButton, {}, r.center());
    if (duplo)
        QTest::mouseDClick(lista->viewport(), Qt::LeftButton, {}, r.center());
}

} // namespace

class tst_frmPrincipal3 : public QObject {
    Q_OBJECT

    std::unique_ptr<ServidorReal> servidor;
    std::unique_ptr<EntradaDeTeste> entrada;
    std::unique_ptr<Caixas::Gravador> caixas;
    QPointer<frmPrincipal> membrosJanela;
    QPointer<frmPrincipal3> janela;
    QTemporaryDir pdfs;

    QString texto(const char* nome) { return janela->ficha->texto(QString::fromLatin1(nome)); }
    QLineEdit* caixa(const char* nome) { return janela->findChild<QLineEdit*>(QString::fromLatin1(nome)); }
    void digita(const char* nome, const QString& t)
    {
        QLineEdit* e = caixa(nome);
        QVERIFY2(e, nome);
        e->clear();
        QTest::keyClicks(e, t);
    }
    void comando(const char* chave) { QVERIFY2(disparaComando(janela->toolMenu, QLatin1String(chave)), chave); }
    QStringList titulos() const { return titulosETextos(*caixas); }
    int pedidosNoDiario() const { return servidor->diario().count(QStringLiteral("\n")); }

    // A member on the server, stored with code 6 on the program's connection.
    void cadastra(const Membro& m)
    {
        clsAgenda a;
        a.nome = QString::fromLatin1(m.nome);
        a.sistema = QString::fromLatin1(m.sistema);
        a.rg = QString::fromLatin1(m.rg);
        a.civil = QStringLiteral("CASADO");
        a.dataadmissao = QStringLiteral("10/02/2015");
        a.validade = QStringLiteral("31/12/2027");
        a.IGREJA = QStringLiteral("SEDE");
        a.ufcong = QStringLiteral("SP");
        a.setornome = QStringLiteral("SETOR-") + QString::fromLatin1(m.sistema);
        a.Data = QDate(2024, 3, 15);
        a.departamento = globais().usuarioLogado->departamento;
        const auto r = Requisita(nullptr, membrosJanela->timerTimeOut, a.toPipeStringWithCommand(6), {7});
        QVERIFY(r);
    }

    // The search dialog as the "Membros" button opens it, but left open for the test to drive.
    std::unique_ptr<frmlocalizarcarteira2> abreBusca()
    {
        auto d = std::make_unique<frmlocalizarcarteira2>(janela);
        d->show();
        return d;
    }
    void busca(frmlocalizarcarteira2& d, int slot, const QString& nome)
    {
        d.frameFiltroPesquisa->txtNome->clear();
        QTest::keyClicks(d.frameFiltroPesquisa->txtNome, nome);
        QTest::mouseClick(d.btnLocalizar[size_t(slot - 1)], Qt::LeftButton);
    }

    // Cards 1 (OK button), 2 and 4 (a click on the line) filled from the search dialog.
    void preencheCarteiras124()
    {
        auto d = abreBusca();
        busca(*d, 1, QStringLiteral("ANA"));
        d->lstResultados[0]->setCurrentRow(0);
        QTest::mouseClick(d->btnOk, Qt::LeftButton);
        busca(*d, 2, QStringLiteral("BRUNO"));
        clicaNaLinha(d->lstResultados[1], 0);
        d = abreBusca();
        busca(*d, 4, QStringLiteral("DANIEL"));
        clicaNaLinha(d->lstResultados[3], 0);
    }

    // The card window's texts of card k.
    QStringList carteira(int k)
    {
        QStringList t;
        for (const QString& s : janela->textosDaCarteira(k))
            t << s;
        return t;
    }

    // Runs `acao` inside the layout window the "Config" button shows, then closes it.
    void naJanelaDeConfiguracao(const std::function<void(FrmConfig&)>& acao)
    {
        bool rodou = false;
        QTimer::singleShot(0, this, [&] {
            auto* f = qobject_cast<FrmConfig*>(QApplication::activeModalWidget());
            if (f) {
                acao(*f);
                rodou = true;
                f->close();
            }
        });
        FrmConfig::mostra(membrosJanela);
        QVERIFY(rodou);
    }

private slots:
    void init()
    {
        servidor = std::make_unique<ServidorReal>();
        entrada = std::make_unique<EntradaDeTeste>();
        caixas = std::make_unique<Caixas::Gravador>();
        membrosJanela = entrada->entraNoServidor(*servidor);
        QVERIFY2(membrosJanela, qPrintable(entrada->erro + u'\n' + titulos().join(u'\n')));
        for (const Membro& m : cadastrados)
            cadastra(m);
        // "Imprimir Carteira": the member window closes and the card window opens.
        membrosJanela->close();
        frmPrincipal3::abre();
        janela = frmPrincipal3::existente();
        QVERIFY(janela && janela->isVisible());
        caixas->limpa();
    }
    void cleanup()
    {
        delete janela.data();
        for (QWidget* w : QApplication::topLevelWidgets())
            if (qobject_cast<FrmConfig*>(w))
                delete w;
        entrada.reset();
        caixas.reset();
        servidor.reset();
    }

    void abreComFichaEVaziaECarteirasVazias()
    {
        QCOMPARE(janela->windowTitle(), QStringLiteral("Carteirinha de Membros"));
        QCOMPARE(texto("txtNFicha"), QString());
        QCOMPARE(texto("txtregistro"), QStringLiteral("MEMBROS"));
        QCOMPARE(texto("txtData"), FormatoBR::formataData(QDate::currentDate()));
        QCOMPARE(texto("txtDepartamento"), servidor->conta().dsDepartamento);
        QCOMPARE(texto("txtusuario"), QStringLiteral("Usuario OnLine: ") + servidor->conta().usuario);
        QCOMPARE(janela->sbStatusBar->text(), QStringLiteral("Usuario: ") + servidor->conta().usuario);
        const QStringList legendas{QStringLiteral("IMPRIMIR 01"), QStringLiteral("IMPRIMIR 01 E 02"),
                                   QStringLiteral("IMPRIMIR 01 A 03"), QStringLiteral("IMPRIMIR 01 A 04"),
                                   QStringLiteral("IMPRIMIR 01 A 05")};
        for (int k = 1; k <= 5; ++k) {
            auto* b = janela->findChild<QPushButton*>(QStringLiteral("Command%1").arg(k));
            QVERIFY(b);
            QCOMPARE(b->text(), legendas[k - 1]);
            QCOMPARE(carteira(k), QStringList(10, QString()));
        }
        for (const char* nome : {"txtNFichaverso", "txtcidadecong", "txtNFicha2VERSO", "txtNFicha5VERSO",
                                 "txtcidadecong3", "txtufcong4", "txtIGREJA5"}) {
            QLineEdit* c = caixa(nome);
            QVERIFY2(c, nome);
            QCOMPARE(c->font().family(), QStringLiteral("Arial"));
        }
        QCOMPARE(caixa("txtNome3")->maxLength(), 100);
        QStringList chaves;
        for (QAction* a : janela->toolMenu->actions())
            if (!a->data().toString().isEmpty())   // keyed commands; the print preview has no key
                chaves << a->data().toString();
        QCOMPARE(chaves, (QStringList{"btnlimpa", "Membros", "BtnImprimi", "btnIncluir", "btnSalvar", "btnLocalizar",
                                      "btnExcluir", "btnLocalizarcong", "btnRelatorio", "btnLogoff", "btnSair"}));
    }

    void slot1CarregaAFichaEFechaAJanelaDeMembros()
    {
        membrosJanela->show();
        auto d = abreBusca();
        QCOMPARE(d->windowTitle(), QStringLiteral("Localizar Membros para Carteirinha"));
        busca(*d, 1, QString());
        QVERIFY(!membrosJanela->isVisible());
        ListaDeResultados* l = d->lstResultados[0];
        QCOMPARE(l->count(), 4);
        QCOMPARE(l->linha(2), QStringLiteral("3\t15/03/2024\tCARLA ANDRADE"));
        l->setCurrentRow(2);
        QTest::mouseClick(d->btnOk, Qt::LeftButton);
        QCOMPARE(titulos(), QStringList());
        QVERIFY(d->isVisible());   // OK keeps the dialog open
        QCOMPARE(janela->membros.numeroFicha, 3);
        QCOMPARE(texto("txtNome"), QStringLiteral("CARLA ANDRADE"));
        QCOMPARE(carteira(1), (QStringList{"S103", "CARLA ANDRADE", "CASADO", "10/02/2015", "33.333.333-3", "S103",
                                           "31/12/2027", "SEDE", "SP", "SETOR-S103"}));
        QCOMPARE(texto("TXTSISTEMA"), QStringLiteral("S103"));
    }

    void cadaSlotGuardaSuaLista()
    {
        auto d = abreBusca();
        busca(*d, 1, QStringLiteral("AN"));   // ANA, CARLA ANDRADE, DANIEL
        busca(*d, 2, QStringLiteral("ALVES"));
        QCOMPARE(d->lstResultados[0]->count(), 3);
        QCOMPARE(d->lstResultados[1]->count(), 2);
        d->lstResultados[0]->setCurrentRow(1);
        QTest::mouseClick(d->btnOk, Qt::LeftButton);
        QCOMPARE(texto("txtNome"), QStringLiteral("CARLA ANDRADE"));
    }

    void cliqueNoSlot4EncheACarteira4EFecha()
    {
        auto d = abreBusca();
        busca(*d, 1, QStringLiteral("ANA"));
        d->lstResultados[0]->setCurrentRow(0);
        QTest::mouseClick(d->btnOk, Qt::LeftButton);
        busca(*d, 4, QStringLiteral("DANIEL"));
        QCOMPARE(d->lstResultados[3]->count(), 1);
        clicaNaLinha(d->lstResultados[3], 0);
        QVERIFY(!d->isVisible());
        QCOMPARE(carteira(4).at(1), QStringLiteral("DANIEL ALVES"));
        QCOMPARE(carteira(4).at(9), QStringLiteral("SETOR-S104"));
        QCOMPARE(janela->membros.nome, QStringLiteral("ANA CARDOSO"));
        QCOMPARE(carteira(1).at(1), QStringLiteral("ANA CARDOSO"));
        QCOMPARE(carteira(3), QStringList(10, QString()));
    }

    void duploCliqueNoSlot1CarregaEFecha()
    {
        auto d = abreBusca();
        busca(*d, 1, QStringLiteral("BRUNO"));
        clicaNaLinha(d->lstResultados[0], 0, true);
        QVERIFY(!d->isVisible());
        QCOMPARE(janela->membros.numeroFicha, 2);
        QCOMPARE(texto("txtNFicha"), QStringLiteral("S102"));
        QCOMPARE(texto("txtNFichaverso"), QStringLiteral("S102"));
        QCOMPARE(texto("txtcidadecong"), QStringLiteral("SETOR-S102"));
    }

    void okSemListaOuSemSelecao()
    {
        auto d = abreBusca();
        QTest::mouseClick(d->btnOk, Qt::LeftButton);
        busca(*d, 1, QStringLiteral("ALVES"));
        QTest::mouseClick(d->btnOk, Qt::LeftButton);
        QCOMPARE(titulos(), (QStringList{QStringLiteral("Lista Vazia: Não há registros na listagem"),
                                         QStringLiteral("Selecione um Registro: Selecione um registro para carregar")}));
        QCOMPARE(janela->membros.numeroFicha, 0);
    }

    void intervaloIncompletoNaoBusca()
    {
        auto d = abreBusca();
        const int antes = pedidosNoDiario();
        QTest::keyClicks(d->frameFiltroPesquisa->txtDataInicial, QStringLiteral("01/01/2020"));
        QTest::mouseClick(d->btnLocalizar[2], Qt::LeftButton);
        QCOMPARE(d->frameFiltroPesquisa->lblDataInicialErro->text(), QStringLiteral("Intervalo Inválido"));
        QCOMPARE(d->frameFiltroPesquisa->lblDataFinalErro->text(), QStringLiteral("Intervalo Inválido"));
        QCOMPARE(pedidosNoDiario(), antes);
        QCOMPARE(d->lstResultados[2]->count(), 0);
    }

    void membrosAbreABuscaModal()
    {
        bool abriu = false;
        QTimer::singleShot(0, this, [&] {
            auto* d = qobject_cast<frmlocalizarcarteira2*>(QApplication::activeModalWidget());
            abriu = d != nullptr;
            if (d)
                QTest::mouseClick(d->btnCancelar, Qt::LeftButton);
        });
        comando("Membros");
        QVERIFY(abriu);
    }

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

    void incluiAlteraExclui()
    {
        digita("txtNome", QStringLiteral("Elias Moura"));
        digita("txtValor", QStringLiteral("10"));
        digita("TXTSISTEMA", QStringLiteral("S200"));
        comando("btnIncluir");
        QCOMPARE(titulos(), QStringList{QStringLiteral("SALVOU: Registro SALVO com sucesso")});
        QCOMPARE(janela->membros.numeroFicha, 5);
        QCOMPARE(texto("txtNFicha"), QStringLiteral("S200"));
        QCOMPARE(texto("txtendereco"), QStringLiteral("."));

        caixas->limpa();
        comando("btnIncluir");
        QCOMPARE(titulos(), QStringList{QStringLiteral("Opção Inválida: Para que seja gerado um novo cadastro, limpe o formulario")});

        caixas->limpa();
        digita("txtrg", QStringLiteral("55.555.555-5"));
        comando("btnSalvar");
        QCOMPARE(titulos(), QStringList{QStringLiteral("ALTERADO: Registro ALTERADO com sucesso")});
        QCOMPARE(carteira(1).at(4), QStringLiteral("55.555.555-5"));

        caixas->limpa();
        const int antes = pedidosNoDiario();
        comando("btnExcluir");   // answered No
        QCOMPARE(titulos(), QStringList{QStringLiteral("Confirmar Exclusão...: Deseja realmente excluir a ficha de número: 5 ?")});
        QCOMPARE(pedidosNoDiario(), antes);
        caixas->limpa();
        caixas->proximaResposta(Caixas::Resposta::Sim);
        comando("btnExcluir");
        QCOMPARE(titulos().value(1), QStringLiteral("Excluiu: Registro excluido com sucesso"));
        QCOMPARE(janela->membros.numeroFicha, 0);
        QCOMPARE(texto("txtNome"), QString());

        caixas->limpa();
        comando("btnExcluir");
        comando("btnSalvar");
        QCOMPARE(titulos(), (QStringList{QStringLiteral("Opção Inválida: Primeiro localize um cadastro"),
                                         QStringLiteral("Opção Inválida: Primeiro localize um cadastro")}));
    }

    void incluirSemDataMarcaOsCamposENaoEnvia()
    {
        caixa("txtData")->clear();
        const int antes = pedidosNoDiario();
        comando("btnIncluir");
        QCOMPARE(pedidosNoDiario(), antes);
        QCOMPARE(janela->findChild<QLabel*>(QStringLiteral("lblDataErro"))->text(),
                 QStringLiteral("Campo obrigatório (dd/mm/yyyy)"));
        QCOMPARE(texto("txtNome"), QStringLiteral("."));
        QCOMPARE(texto("txtcep"), QStringLiteral("00000-000"));
        QCOMPARE(texto("txtlocal1"), QString());      // not one of this window's placeholders
        QCOMPARE(texto("txtdataadmissao"), QString());
        QCOMPARE(texto("txtufcong"), QString());
    }

    void filtroDeTeclas()
    {
        caixa("txtNome")->clear();
        QTest::keyClicks(caixa("txtNome"), QStringLiteral("Jo"));
        QTest::sendKeyEvent(QTest::Click, caixa("txtNome"), Qt::Key_Atilde, QStringLiteral("\u00e3"), Qt::NoModifier);
        QTest::keyClicks(caixa("txtNome"), QStringLiteral(" 1.A"));
        QCOMPARE(caixa("txtNome")->text(), QStringLiteral("Jo .A"));
        caixa("txtValor")->clear();
        QTest::keyClicks(caixa("txtValor"), QStringLiteral("12a,5"));
        QCOMPARE(caixa("txtValor")->text(), QStringLiteral("12,5"));
    }

    void sairVoltaParaMembrosEGuardaAFicha()
    {
        auto d = abreBusca();
        busca(*d, 1, QStringLiteral("ANA"));
        d->lstResultados[0]->setCurrentRow(0);
        QTest::mouseClick(d->btnOk, Qt::LeftButton);
        busca(*d, 3, QStringLiteral("CARLA"));
        clicaNaLinha(d->lstResultados[2], 0);
        QCOMPARE(carteira(3).at(1), QStringLiteral("CARLA ANDRADE"));

        comando("btnSair");
        QCOMPARE(titulos(), QStringList());
        QVERIFY(!janela->isVisible());
        QVERIFY(!entrada->login->conectado());
        QVERIFY(frmPrincipal::existente() && frmPrincipal::existente()->isVisible());

        frmPrincipal3::abre();
        QCOMPARE(frmPrincipal3::existente(), janela.data());
        QCOMPARE(texto("txtNome"), QStringLiteral("ANA CARDOSO"));
        QCOMPARE(carteira(3), QStringList(10, QString()));
    }

    void logoffDescartaAJanela()
    {
        digita("txtNome", QStringLiteral("Alguem"));
        comando("btnLogoff");
        QVERIFY(!globais().usuarioLogado);
        QVERIFY(entrada->login->isVisible());
        QTRY_VERIFY(!janela);
        QCOMPARE(frmPrincipal3::existente(), nullptr);
        QCOMPARE(titulos(), QStringList());
    }

    void fecharPelaCaixaPergunta()
    {
        Encerramento::Gravador fim;
        janela->close();   // answered No
        QVERIFY(janela->isVisible());
        QCOMPARE(titulos(), QStringList{QStringLiteral("Sair...: Deseja realmente encerrar o programa ?")});
        QCOMPARE(fim.pedidos, 0);
        caixas->proximaResposta(Caixas::Resposta::Sim);
        janela->close();
        QVERIFY(fim.pedidos >= 1);   // the program ends (the main menu, closed on the way, asks too)
        QVERIFY(!entrada->login->conectado());
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

QTEST_MAIN(tst_frmPrincipal3)
#include "tst_frmprincipal3.moc"
