#include "support/AmbienteDeTeste.h"
#include "support/VisualizacaoDeTeste.h"
#include "AmbienteDeRenovacao.h"
#include "cards/frmPrincipal3.h"
#include "app/Seams.h"
#include "members/FormularioFicha.h"
#include "members/frmPrincipal.h"
#include "renewal/frmlocalizarcarteira.h"
#include "renewal/frmprincipal2.h"
#include "search/PainelFiltroBusca.h"
#include "search/SlotDeBusca.h"

#include <QAction>
#include <QDateTimeEdit>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include "search/ListaDeResultados.h"
#include <QPushButton>
#include <QPageLayout>
#include <QPrinter>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QToolBar>
#include <QtTest>

namespace {

clsAgenda membroCompleto(const QString& nome, const QString& pai)
{
    clsAgenda a;
    a.numeroFicha = 40;
    a.sistema = QStringLiteral("7788");
    a.nome = nome;
    a.filiacao = pai;
    a.nascido = QStringLiteral("5/3/1970");
    a.niver = QStringLiteral("05/03");
    a.datacas = QStringLiteral("1/2/1999");
    a.ocorrencia = QStringLiteral("ocorrencia antiga");
    a.obs = QStringLiteral("observacao");
    a.Data = QDate(2022, 7, 9);
    a.Valor = 1234.5;
    a.IGREJA = QStringLiteral("Sede");
    return a;
}

} // namespace

// The renewal window: its sheet, its card strip, its key filters, printing, and include,
// alter and delete against the real server.
class tst_frmprincipal2 : public QObject {
    Q_OBJECT

    std::unique_ptr<Caixas::Gravador> caixas;
    frmprincipal2* janela = nullptr;

    QLineEdit* caixa(const QString& nome) { return janela->ficha->controle<QLineEdit>(nome); }
    QString texto(const QString& nome) { return janela->ficha->texto(nome); }
    void comando(const QString& chave)
    {
        // Through the toolbar, as the operator does.
        QVERIFY2(disparaComando(janela->toolMenu, chave), qPrintable(QStringLiteral("no toolbar key ") + chave));
    }

private slots:
    void init()
    {
        caixas = std::make_unique<Caixas::Gravador>();
        operadorFicticio();
        janela = frmprincipal2::instancia();
    }
    void cleanup()
    {
        delete frmprincipal2::existente();
        delete frmPrincipal::existente();
        caixas.reset();
    }

    void filtrosDeTecla_data()
    {
        QTest::addColumn<QString>("controle");
        QTest::addColumn<QString>("digitado");
        QTest::addColumn<QString>("esperado");
        QTest::newRow("uf em maiusculas") << "txtuf" << "a" << "A";
        QTest::newRow("uf sem digitos") << "txtuf" << "s1p" << "SP";
        QTest::newRow("cep sem hifen") << "txtcep" << "01234-567" << "01234567";
        QTest::newRow("nome sem cedilha") << "txtNome" << "Conceição S. Luz" << "Conceio S. Luz";
        QTest::newRow("nome sem digitos") << "txtNome" << "Ana2" << "Ana";
        QTest::newRow("bairro com digitos") << "txtbairro" << "Vila 2, Sul" << "Vila 2 Sul";
        QTest::newRow("cidade sem acento") << "txtcidade" << "São Paulo" << "So Paulo";
        QTest::newRow("telefone so digitos") << "txtTelRes" << "9876-54" << "987654";
        QTest::newRow("ddd so digitos") << "txtTelComDDD" << "(1" << "1";
        QTest::newRow("data com barra") << "txtData" << "01/02-2020" << "01/022020";
        QTest::newRow("valor com virgula") << "txtValor" << "1.234,50" << "1234,50";
        QTest::newRow("endereco sem filtro") << "txtendereco" << "Rua Á, 1-B" << "Rua Á, 1-B";
    }
    void filtrosDeTecla()
    {
        QFETCH(QString, controle);
        QFETCH(QString, digitado);
        QFETCH(QString, esperado);
        QLineEdit* e = caixa(controle);
        QVERIFY(e);
        e->clear();
        digita(e, digitado);
        QCOMPARE(e->text(), esperado);
    }

    // Every refresh shows the member's own father, system number in the number box, the
    // birth box shows `niver`, dates as stored, the note box `obs`.
    void atualizaMostraOMembroInteiro()
    {
        janela->membros = membroCompleto(QStringLiteral("Ana"), QStringLiteral("Pai da Ana"));
        janela->AtualizaGUI();
        janela->membros = membroCompleto(QStringLiteral("Bia"), QStringLiteral("Pai da Bia"));
        janela->AtualizaGUI();
        QCOMPARE(texto(QStringLiteral("txtfiliacao")), QStringLiteral("Pai da Bia"));
        QCOMPARE(texto(QStringLiteral("txtNFicha")), QStringLiteral("7788"));
        QCOMPARE(texto(QStringLiteral("txtnascido")), QStringLiteral("05/03"));
        QCOMPARE(texto(QStringLiteral("txtdatacas")), QStringLiteral("1/2/1999"));
        QCOMPARE(texto(QStringLiteral("txtOcorrencia")), QStringLiteral("observacao"));
        QCOMPARE(texto(QStringLiteral("txtData")), QStringLiteral("09/07/2022"));
        QCOMPARE(texto(QStringLiteral("txtValor")), QStringLiteral("1.234,50"));
        QCOMPARE(texto(QStringLiteral("txtDepartamento")), QStringLiteral("Tesouraria"));
        QCOMPARE(janela->membros.departamento.idDepartamento, 3);
        QCOMPARE(janela->sbStatusBar->text(), QStringLiteral("Usuario: ana"));

        // An emptied record empties the father too (it is not kept from the last member).
        janela->membros = clsAgenda();
        janela->AtualizaGUI();
        QVERIFY(texto(QStringLiteral("txtfiliacao")).isEmpty());
        QVERIFY(texto(QStringLiteral("txtNFicha")).isEmpty());
        QVERIFY2(caixas->caixas().isEmpty(), qPrintable(titulosDasCaixas(*caixas).join(u',')));
    }

    // Refusals before anything is sent (no server in this test).
    void recusas_data()
    {
        QTest::addColumn<QString>("chave");
        QTest::addColumn<QString>("sistema");   // system number of the loaded member
        QTest::addColumn<qint32>("numero");     // its sheet number
        QTest::addColumn<QString>("mensagem");
        QTest::newRow("incluir com membro na tela")
            << "btnIncluir" << "55" << 9 << "Para que seja gerado um novo cadastro, limpe o formulario";
        QTest::newRow("alterar sem numero do sistema") << "btnSalvar" << "" << 9 << "Primeiro localize um cadastro";
        QTest::newRow("excluir ficha vazia") << "btnExcluir" << "55" << 0 << "Primeiro localize um cadastro";
    }
    void recusas()
    {
        QFETCH(QString, chave);
        QFETCH(QString, sistema);
        QFETCH(qint32, numero);
        QFETCH(QString, mensagem);
        clsAgenda a;
        a.numeroFicha = numero;
        a.sistema = sistema;
        janela->membros = a;
        janela->AtualizaGUI();
        comando(chave);
        QCOMPARE(caixas->caixas().size(), 1);
        QCOMPARE(caixas->caixas().first().texto, mensagem);
        QCOMPARE(caixas->caixas().first().titulo, QStringLiteral("Opção Inválida"));
        QCOMPARE(janela->membros.numeroFicha, numero);
        if (chave == QLatin1String("btnIncluir")) {
            // The include's placeholders stay: "." and the post code, no dates, no codes.
            QCOMPARE(texto(QStringLiteral("txtNome")), QStringLiteral("."));
            QCOMPARE(texto(QStringLiteral("txtIGREJA")), QStringLiteral("."));
            QCOMPARE(texto(QStringLiteral("txtcep")), QStringLiteral("00000-000"));
            QVERIFY(texto(QStringLiteral("txtnascido")).isEmpty());
            QVERIFY(texto(QStringLiteral("txtcodcong")).isEmpty());
            QVERIFY(texto(QStringLiteral("txtufcong")).isEmpty());
            QVERIFY(texto(QStringLiteral("txtcidadecong")).isEmpty());
            QVERIFY(texto(QStringLiteral("txtsetor")).isEmpty());
        }
    }

    // "Imprimir" prints the card strip alone and leaves the window 3405 twips high.
    void imprimeAFaixa()
    {
        QTemporaryDir pasta;
        const QString pdf = pasta.filePath(QStringLiteral("faixa.pdf"));
        Impressoras::Gravador impressora(pdf);
        janela->membros = membroCompleto(QStringLiteral("Ana Sheetname"), QStringLiteral("Pai"));
        janela->AtualizaGUI();
        clsAgenda carteira;
        carteira.sistema = QStringLiteral("90817");
        carteira.IGREJA = QStringLiteral("Betania");
        carteira.validade = QStringLiteral("31/12/2031");
        carteira.cidadecong = QStringLiteral("Campinas");
        carteira.ufcong = QStringLiteral("SP");
        janela->AtualizaGUI2(carteira);
        janela->show();
        QVERIFY(QTest::qWaitForWindowExposed(janela));

        comando(QStringLiteral("BtnImprimi"));

        QCOMPARE(impressora.trabalhos.size(), 1);
        const QString impresso = textoDoPdf(impressora.trabalhos.first());
        for (const char* t : {"90817", "Betania", "31/12/2031", "Campinas", "Sistema:", "Validade:"})
            QVERIFY2(impresso.contains(QString::fromUtf8(t)), qPrintable(impresso));
        // Only the strip: neither the toolbar nor the sheet below it.
        QVERIFY2(!impresso.contains(QStringLiteral("Sheetname")), qPrintable(impresso));
        for (const char* t : {"Alterar", "Usuario"})
            QVERIFY2(!impresso.contains(QString::fromLatin1(t)), qPrintable(impresso));
        QTRY_COMPARE(janela->height(), qRound(3405.0 * janela->logicalDpiY() / 1440));
        QVERIFY2(caixas->caixas().isEmpty(), qPrintable(titulosDasCaixas(*caixas).join(u',')));
        QCOMPARE(impressora.titulos, QStringList{janela->windowTitle().trimmed()});

        // Inside the printable area: a printer cannot reach the paper's edges.
        QPrinter pagina(QPrinter::HighResolution);
        pagina.setOutputFormat(QPrinter::PdfFormat);
        const QRectF area = pagina.pageLayout().paintRect(QPageLayout::Point).adjusted(-0.5, -0.5, 0.5, 0.5);
        QProcess caixasDoPdf;
        caixasDoPdf.start(QStringLiteral("pdftotext"), {QStringLiteral("-bbox"), pdf, QStringLiteral("-")});
        QVERIFY(caixasDoPdf.waitForFinished(30000));
        static const QRegularExpression palavra(
            QStringLiteral(R"re(<word xMin="([\d.]+)" yMin="([\d.]+)" xMax="([\d.]+)" yMax="([\d.]+)">([^<]*)</word>)re"));
        int palavras = 0;
        for (auto it = palavra.globalMatch(QString::fromUtf8(caixasDoPdf.readAllStandardOutput())); it.hasNext(); ++palavras) {
            const auto m = it.next();
            const QRectF r(QPointF(m.captured(1).toDouble(), m.captured(2).toDouble()),
                           QPointF(m.captured(3).toDouble(), m.captured(4).toDouble()));
            QVERIFY2(area.contains(r), qPrintable(m.captured(5)));
        }
        QVERIFY(palavras > 5);
    }

    // Log off from this window: no sheet window keeps a member for the next operator, the
    // card window (sheet and cards) included.
    void logoffNaoDeixaFichasParaOProximo()
    {
        SessaoReal sessao(0);
        const QString erro = sessao.entra();
        QVERIFY2(erro.isEmpty(), qPrintable(erro));
        QPointer<frmPrincipal3> carteiras = frmPrincipal3::instancia();
        carteiras->membros = membroCompleto(QStringLiteral("Ana Anterior"), QStringLiteral("Pai"));
        carteiras->AtualizaGUI();
        carteiras->AtualizaGUI2(membroCompleto(QStringLiteral("Bia Anterior"), QStringLiteral("Pai")));
        QCOMPARE(carteiras->ficha->texto(QStringLiteral("txtNome")), QStringLiteral("Ana Anterior"));
        janela->membros = membroCompleto(QStringLiteral("Ana Anterior"), QStringLiteral("Pai"));
        janela->AtualizaGUI();
        janela->show();
        QVERIFY(QTest::qWaitForWindowExposed(janela));

        comando(QStringLiteral("btnLogoff"));
        QVERIFY(!globais().usuarioLogado);
        QTRY_VERIFY(!carteiras);
        QVERIFY(!frmPrincipal3::existente());
        QVERIFY(!frmprincipal2::existente());

        // The next login opens empty windows.
        operadorFicticio();
        frmPrincipal3::abre();
        frmPrincipal3* nova = frmPrincipal3::existente();
        QVERIFY(nova);
        QCOMPARE(nova->ficha->texto(QStringLiteral("txtNome")), QString());
        for (int k = 1; k <= 5; ++k)
            for (const QString& t : nova->textosDaCarteira(k))
                QCOMPARE(t, QString());
        janela = frmprincipal2::instancia();
        QCOMPARE(texto(QStringLiteral("txtNome")), QString());
        delete nova;
    }

    // "Visualizar Impressão" shows the page "Imprimir" sends, and gives the window its height back.
    void visualizarMostraAFaixa()
    {
        QTemporaryDir pasta;
        janela->membros = membroCompleto(QStringLiteral("Ana Sheetname"), QStringLiteral("Pai"));
        janela->AtualizaGUI();
        clsAgenda carteira;
        carteira.sistema = QStringLiteral("90817");
        carteira.IGREJA = QStringLiteral("Betania");
        carteira.validade = QStringLiteral("31/12/2031");
        janela->AtualizaGUI2(carteira);
        janela->show();
        QVERIFY(QTest::qWaitForWindowExposed(janela));
        janela->resize(janela->width(), 700);
        QCoreApplication::processEvents();
        const int altura = janela->height();

        DialogoArquivo::Gravador dialogo;
        Impressoras::Gravador nenhuma{QString()};
        VisualizacaoVista vista;
        const QString salvo = pasta.filePath(QStringLiteral("visualizada.pdf"));
        aoAbrirVisualizacao(vista, dialogo, salvo);
        QVERIFY(janela->acaoVisualizar);
        janela->acaoVisualizar->trigger();
        QVERIFY(vista.aberta);
        QCOMPARE(vista.paginas, 1);
        QCOMPARE(janela->height(), altura);

        const QString direto = pasta.filePath(QStringLiteral("direta.pdf"));
        {
            Impressoras::Gravador impressora(direto);
            comando(QStringLiteral("BtnImprimi"));
            QCOMPARE(impressora.trabalhos.size(), 1);
        }
        const QString visto = textoDoPdf(salvo);
        QVERIFY2(visto.contains(QStringLiteral("90817")) && visto.contains(QStringLiteral("Betania")), qPrintable(visto));
        QCOMPARE(visto, textoDoPdf(direto));
    }

    // "Sair" closes without a question and brings the member window back.
    void sairVoltaParaAJanelaDeMembros()
    {
        janela->show();
        QVERIFY(QTest::qWaitForWindowExposed(janela));
        comando(QStringLiteral("btnSair"));
        QVERIFY(!janela->isVisible());
        QVERIFY(frmPrincipal::existente());
        QVERIFY(frmPrincipal::existente()->isVisible());
        QVERIFY(!titulosDasCaixas(*caixas).contains(QStringLiteral("Sair...")));
        QVERIFY(frmprincipal2::existente() == janela);   // only unloaded: the same window comes back
    }

    // Include, alter and delete of one sheet on the real server.
    void incluiAlteraExclui()
    {
        SessaoReal sessao(0);
        const QString erro = sessao.entra();
        QVERIFY2(erro.isEmpty(), qPrintable(erro));
        delete frmprincipal2::existente();
        janela = frmprincipal2::instancia();   // loaded with the logged-in operator

        digita(caixa(QStringLiteral("txtNome")), QStringLiteral("Joana Prado"));
        digita(caixa(QStringLiteral("TXTSISTEMA")), QStringLiteral("5150"));
        digita(caixa(QStringLiteral("txtfiliacao")), QStringLiteral("Jose Prado"));
        comando(QStringLiteral("btnIncluir"));
        QCOMPARE(titulosDasCaixas(*caixas), QStringList{QStringLiteral("SALVOU")});
        const qint32 numero = janela->membros.numeroFicha;
        QVERIFY(numero > 0);
        QCOMPARE(texto(QStringLiteral("txtNFicha")), QStringLiteral("5150"));
        QList<clsAgenda> gravadas = sessao.fichas(numero);
        QCOMPARE(gravadas.size(), 1);
        QCOMPARE(gravadas.first().nome, QStringLiteral("Joana Prado"));
        QCOMPARE(gravadas.first().sistema, QStringLiteral("5150"));
        QCOMPARE(gravadas.first().filiacao, QStringLiteral("Jose Prado"));
        QCOMPARE(gravadas.first().IGREJA, QStringLiteral("."));

        caixas->limpa();
        caixa(QStringLiteral("txtNome"))->clear();
        digita(caixa(QStringLiteral("txtNome")), QStringLiteral("Joana Prado Reis"));
        comando(QStringLiteral("btnSalvar"));
        QCOMPARE(titulosDasCaixas(*caixas), QStringList{QStringLiteral("ALTERADO")});
        gravadas = sessao.fichas(numero);
        QCOMPARE(gravadas.size(), 1);
        QCOMPARE(gravadas.first().nome, QStringLiteral("Joana Prado Reis"));
        // The operator's stamp is the picker's date and time as text.
        static const QRegularExpression carimbo(QStringLiteral(R"(^\d\d/\d\d/\d{4}( \d\d:\d\d:\d\d)?$)"));
        QVERIFY2(carimbo.match(gravadas.first().datausuario).hasMatch(), qPrintable(gravadas.first().datausuario));
        QCOMPARE(gravadas.first().usuario, QStringLiteral("Usuario OnLine: ") + sessao.servidor.conta().usuario);

        caixas->limpa();
        caixas->proximaResposta(Caixas::Resposta::Sim);
        comando(QStringLiteral("btnExcluir"));
        QCOMPARE(caixas->caixas().first().texto,
                 QStringLiteral("Deseja realmente excluir a ficha de número: %1 ?").arg(numero));
        QCOMPARE(titulosDasCaixas(*caixas), (QStringList{QStringLiteral("Confirmar Exclusão..."), QStringLiteral("Excluiu")}));
        QCOMPARE(janela->membros.numeroFicha, 0);
        QVERIFY(texto(QStringLiteral("txtNome")).isEmpty());
        QVERIFY(sessao.fichas(numero).isEmpty());
    }

    // The card strip takes a second-slot member; a save afterwards still writes the sheet on
    // screen into that same member's own record, and the other member is left alone.
    void segundoSlotNaoTrocaAFichaGravada()
    {
        SessaoReal sessao(3);
        const QString erro = sessao.entra();
        QVERIFY2(erro.isEmpty(), qPrintable(erro));
        delete frmprincipal2::existente();
        janela = frmprincipal2::instancia();
        const clsAgenda segundoAntes = sessao.fichas(2).value(0);
        QCOMPARE(segundoAntes.numeroFicha, 2);

        frmlocalizarcarteira dialogo(janela);
        dialogo.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialogo));
        dialogo.frameFiltroPesquisa->txtNFicha->setText(QStringLiteral("1"));
        QTest::mouseClick(dialogo.btnLocalizar, Qt::LeftButton);
        QCOMPARE(dialogo.lstResultados->count(), 1);
        dialogo.lstResultados->setCurrentRow(0);
        QTest::mouseClick(dialogo.btnOk, Qt::LeftButton);
        QCOMPARE(janela->membros.numeroFicha, 1);

        dialogo.frameFiltroPesquisa->txtNFicha->setText(QStringLiteral("2"));
        QTest::mouseClick(dialogo.btnLocalizar2, Qt::LeftButton);
        QCOMPARE(dialogo.lstResultados2->count(), 1);
        QTest::mouseClick(dialogo.lstResultados2->viewport(), Qt::LeftButton, {},
                          dialogo.lstResultados2->retanguloDaLinha(0).center());
        QVERIFY(!dialogo.isVisible());
        QCOMPARE(janela->txtIGREJA2->text(), segundoAntes.IGREJA);
        QCOMPARE(janela->txtvalidade2->text(), segundoAntes.validade);
        QCOMPARE(janela->membros.numeroFicha, 1);

        caixa(QStringLiteral("txtNome"))->clear();
        digita(caixa(QStringLiteral("txtNome")), QStringLiteral("Nome Novo"));
        comando(QStringLiteral("btnSalvar"));
        QCOMPARE(titulosDasCaixas(*caixas), QStringList{QStringLiteral("ALTERADO")});
        QCOMPARE(sessao.fichas(1).value(0).nome, QStringLiteral("Nome Novo"));
        QCOMPARE(sessao.fichas(2).value(0), segundoAntes);
    }

    // "Exportar para Arquivo ...": the department's names, then the sheet refreshed.
    void exportaCSV()
    {
        SessaoReal sessao(3);
        const QString erro = sessao.entra();
        QVERIFY2(erro.isEmpty(), qPrintable(erro));
        delete frmprincipal2::existente();
        janela = frmprincipal2::instancia();
        QTemporaryDir pasta;
        const QString arquivo = pasta.filePath(QStringLiteral("membros.csv"));
        DialogoArquivo::Gravador dialogo;
        dialogo.proximoArquivo(arquivo);
        QTest::mouseClick(janela->btnExportarCSV, Qt::LeftButton);
        QCOMPARE(titulosDasCaixas(*caixas), QStringList{QStringLiteral("Exportado com Sucesso")});
        QFile f(arquivo);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QList<QByteArray> linhas = f.readAll().split('\n');
        QCOMPARE(linhas.first(), QByteArray("Nome;\r"));
        QCOMPARE(linhas.size(), 1 + 3 + 1);   // header, three names, the empty rest after the last CR LF
    }
};

QTEST_MAIN(tst_frmprincipal2)
#include "tst_frmprincipal2.moc"
