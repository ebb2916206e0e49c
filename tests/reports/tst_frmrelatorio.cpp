// The report window as the operator uses it: typing dates, pressing the buttons, reading the
// labels, the message boxes, the printed report and the exported file. Against the registry
// server for what it finds, against a scripted server for the failures.
#include "support/AmbienteDeTeste.h"
#include "support/VisualizacaoDeTeste.h"
#include "ServidorReal.h"
#include "ServidorRoteirizado.h"
#include "connection/Requisicao.h"
#include "reports/clsImpressora.h"
#include "reports/frmRelatorio.h"

#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QScopeGuard>

namespace {

QByteArray conteudo(const QString& caminho)
{
    QFile f(caminho);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QString textoDoPdf(const QString& pdf)
{
    QProcess p;
    p.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), QStringLiteral("-fixed"), QStringLiteral("6"), pdf,
                                          QStringLiteral("-")});
    p.waitForFinished(60000);
    return QString::fromUtf8(p.readAllStandardOutput());
}

clsAgenda ficha(qint32 numero, const QString& nome, QDate data, double valor)
{
    clsAgenda f;
    f.numeroFicha = numero;
    f.nome = nome;
    f.Data = data;
    f.Valor = valor;
    f.departamento = globais().usuarioLogado ? globais().usuarioLogado->departamento : clsDepartamento();
    return f;
}

const QString textoSucesso = QStringLiteral(
    "O relatório foi gerado com sucesso e enviado para a impressora padrão do sistema operacional");
const QString textoSemImpressora = QStringLiteral(
    "O sistema não conseguiu gerar o relatório, verifique se você possui uma impressora padrão instalada e ativa");
const QString textoErroExportar = QStringLiteral(
    "O sistema não conseguiu exportar o relatório, verifique se você possui permissão de escrita na pasta selecionada.");

} // namespace

class tst_frmRelatorio : public QObject {
    Q_OBJECT

    std::unique_ptr<ServidorReal> servidor;
    std::unique_ptr<EntradaDeTeste> entrada;
    std::unique_ptr<Caixas::Gravador> caixas;
    QPointer<frmPrincipal> principal;
    QPointer<frmRelatorio> janela;
    QTemporaryDir pasta;

    void periodo(const QString& inicial, const QString& final_)
    {
        janela->txtDataInicial->clear();
        janela->txtDataFinal->clear();
        QTest::keyClicks(janela->txtDataInicial, inicial);
        QTest::keyClicks(janela->txtDataFinal, final_);
    }

private slots:
    void initTestCase()
    {
        servidor = std::make_unique<ServidorReal>(0);
        entrada = std::make_unique<EntradaDeTeste>();
        caixas = std::make_unique<Caixas::Gravador>();
        globais().impressora = std::make_shared<clsImpressora>();
        principal = entrada->entraNoServidor(*servidor);
        QVERIFY2(principal, qPrintable(entrada->erro));
        for (const clsAgenda& f : {ficha(10, QStringLiteral("Abigail Nunes"), QDate(2021, 3, 5), 10.5),
                                   ficha(11, QStringLiteral("Bruno da Conceição"), QDate(2022, 6, 10), 2.25),
                                   ficha(12, QStringLiteral("Carlos Prado"), QDate(2023, 1, 1), 7)})
            QVERIFY(Requisita(nullptr, principal->timerTimeOut, f.toPipeStringWithCommand(8), {9}));
        // The server logs a request just after answering it: the log is whole once all three
        // are there, and the tests below compare it before and after.
        QTRY_COMPARE(servidor->diario().count(QStringLiteral("ficha incluída")), 3);
        QVERIFY(pasta.isValid());
    }
    void cleanupTestCase()
    {
        entrada.reset();
        caixas.reset();
        servidor.reset();
    }
    void init()
    {
        caixas->limpa();
        // Opened the way the member window opens it.
        principal->Command2->click();
        janela = principal->findChild<frmRelatorio*>();
        QVERIFY(janela);
        QVERIFY(janela->isVisible());
        QCOMPARE(janela->windowTitle(), QStringLiteral("Relatório"));
    }
    void cleanup() { delete janela; }

    void validacao_data()
    {
        QTest::addColumn<QString>("inicial");
        QTest::addColumn<QString>("final_");
        QTest::addColumn<QString>("erroInicial");
        QTest::addColumn<QString>("erroFinal");
        const QString obrigatorio = QStringLiteral("Campo obrigatório");
        const QString invalida = QStringLiteral("Valor de data inválido");
        const QString intervalo = QStringLiteral("Intervalo Inválido");
        QTest::newRow("ambas vazias") << "" << "" << obrigatorio << obrigatorio;
        QTest::newRow("inicial vazia") << "" << "10/01/2021" << obrigatorio << "";
        QTest::newRow("final vazia") << "10/01/2021" << "" << "" << obrigatorio;
        QTest::newRow("31/02 na inicial") << "31/02/2020" << "10/01/2021" << invalida << "";
        QTest::newRow("31/04 na final") << "10/01/2021" << "31/04/2021" << "" << invalida;
        QTest::newRow("ambas invalidas") << "1/1/2021" << "29/02/2021" << invalida << invalida;
        QTest::newRow("ano de cinco digitos") << "01/01/20211" << "10/01/2021" << invalida << "";
        QTest::newRow("inicial depois da final") << "11/01/2021" << "10/01/2021" << intervalo << intervalo;
        QTest::newRow("anos trocados") << "01/01/2022" << "31/12/2021" << intervalo << intervalo;
    }
    // Each of these stops before anything is sent: the labels say why.
    void validacao()
    {
        QFETCH(QString, inicial);
        QFETCH(QString, final_);
        QFETCH(QString, erroInicial);
        QFETCH(QString, erroFinal);
        Impressoras::Gravador impressora(pasta.filePath(QStringLiteral("nao.pdf")));
        const QString antes = servidor->diario();
        periodo(inicial, final_);
        QTest::mouseClick(janela->btnOk, Qt::LeftButton);
        QCOMPARE(janela->lblDataInicialErro->text(), erroInicial);
        QCOMPARE(janela->lblDataFinalErro->text(), erroFinal);
        QVERIFY(caixas->caixas().isEmpty());
        QVERIFY(impressora.trabalhos.isEmpty());
        QVERIFY2(servidor->diario() == antes, qPrintable(servidor->diario().mid(antes.size())));
    }

    void datasSoAceitamDigitosEBarra()
    {
        QTest::keyClicks(janela->txtDataInicial, QStringLiteral("a1b2/-0.3,/ 2021x"));
        QCOMPARE(janela->txtDataInicial->text(), QStringLiteral("12/03/2021"));
        QTest::keyClick(janela->txtDataInicial, Qt::Key_Backspace);
        QCOMPARE(janela->txtDataInicial->text(), QStringLiteral("12/03/202"));
    }

    void relatorioImpresso()
    {
        const QString pdf = pasta.filePath(QStringLiteral("relatorio.pdf"));
        Impressoras::Gravador impressora(pdf);
        periodo(QStringLiteral("05/03/2021"), QStringLiteral("10/06/2022"));   // both ends included
        janela->lblDataFinalErro->setText(QStringLiteral("antigo"));
        QTest::mouseClick(janela->btnOk, Qt::LeftButton);

        QCOMPARE(caixas->caixas().size(), 1);
        QCOMPARE(caixas->caixas().first().texto, textoSucesso);
        QCOMPARE(caixas->caixas().first().titulo, QStringLiteral("Relatório Gerado com Sucesso"));
        QCOMPARE(caixas->caixas().first().icone, Caixas::Icone::Informacao);
        QCOMPARE(impressora.trabalhos.size(), 1);
        QVERIFY(janela->lblDataInicialErro->text().isEmpty());
        QVERIFY(janela->lblDataFinalErro->text().isEmpty());

        const QString lido = textoDoPdf(pdf);
        QVERIFY2(lido.contains(QStringLiteral("05/03/2021  Secretaria          10      Abigail Nunes                 10,50")),
                 qPrintable(lido));
        QVERIFY(lido.contains(QStringLiteral("10/06/2022  Secretaria          11      Bruno da Conceição            2,25")));
        QVERIFY(!lido.contains(QStringLiteral("Carlos")));
        QVERIFY(lido.contains(QStringLiteral("Total: R$ 12,75")));
        QCOMPARE(impressora.titulos, QStringList{QStringLiteral("Relatório do Departamento")});
    }

    // A queue that refuses the job: the operator is told, not congratulated.
    void impressoraRecusaORelatorio()
    {
        Impressoras::Gravador impressora(pasta.filePath(QStringLiteral("recusado.pdf")));
        impressora.recusa = QStringLiteral("Destination \"Fila\" is not accepting jobs.");
        periodo(QStringLiteral("01/01/2020"), QStringLiteral("31/12/2023"));
        QTest::mouseClick(janela->btnOk, Qt::LeftButton);
        QCOMPARE(caixas->caixas().size(), 1);
        QCOMPARE(caixas->caixas().first().texto, textoSemImpressora);
        QCOMPARE(caixas->caixas().first().titulo, QStringLiteral("Erro ao Imprimir Relatório"));
        QVERIFY(impressora.trabalhos.isEmpty());
        QCOMPARE(impressora.titulos, QStringList{QStringLiteral("Relatório do Departamento")});
    }

    // "Visualizar Impressão": the same dates check and search as "OK", the same pages, and
    // nothing sent to the printer; works with no printer installed.
    void visualizarMostraOQueOkImprime()
    {
        const QString direto = pasta.filePath(QStringLiteral("ok.pdf"));
        periodo(QStringLiteral("05/03/2021"), QStringLiteral("10/06/2022"));
        {
            Impressoras::Gravador impressora(direto);
            QTest::mouseClick(janela->btnOk, Qt::LeftButton);
            QCOMPARE(impressora.trabalhos.size(), 1);
        }
        caixas->limpa();
        QCOMPARE(janela->btnVisualizar->text(), QStringLiteral("Visualizar Impressão"));
        QVERIFY(janela->btnVisualizar->toolTip().contains(QStringLiteral("Ctrl+Shift+V")));
        Impressoras::Gravador nenhuma{QString()};
        DialogoArquivo::Gravador dialogo;
        VisualizacaoVista vista;
        const QString salvo = pasta.filePath(QStringLiteral("visualizado.pdf"));
        aoAbrirVisualizacao(vista, dialogo, salvo);
        QTest::mouseClick(janela->btnVisualizar, Qt::LeftButton);
        QVERIFY(vista.aberta);
        QCOMPARE(vista.paginas, 1);
        QVERIFY(nenhuma.trabalhos.isEmpty());
        QCOMPARE(caixas->caixas().size(), 1);
        QCOMPARE(caixas->caixas().first().titulo, QStringLiteral("PDF Gerado"));
        QCOMPARE(textoDoPdf(salvo), textoDoPdf(direto));

        // A bad date stops it before the search, as it stops "OK".
        caixas->limpa();
        periodo(QStringLiteral("31/02/2021"), QStringLiteral("10/06/2022"));
        VisualizacaoVista nada;
        aoAbrirVisualizacao(nada, dialogo, QString());
        QTest::mouseClick(janela->btnVisualizar, Qt::LeftButton);
        QTest::qWait(100);
        QVERIFY(!nada.aberta);
        QCOMPARE(janela->lblDataInicialErro->text(), QStringLiteral("Valor de data inválido"));
    }

    void semImpressoraPadrao()
    {
        Impressoras::Gravador nenhuma{QString()};
        periodo(QStringLiteral("01/01/2020"), QStringLiteral("31/12/2023"));
        QTest::mouseClick(janela->btnOk, Qt::LeftButton);
        QCOMPARE(caixas->caixas().size(), 1);
        QCOMPARE(caixas->caixas().first().texto, textoSemImpressora);
        QCOMPARE(caixas->caixas().first().titulo, QStringLiteral("Erro ao Imprimir Relatório"));
        QCOMPARE(caixas->caixas().first().icone, Caixas::Icone::Erro);
    }

    void nenhumRegistroNaoImprime()
    {
        Impressoras::Gravador impressora(pasta.filePath(QStringLiteral("vazio.pdf")));
        periodo(QStringLiteral("01/01/1990"), QStringLiteral("31/12/1990"));
        QTest::mouseClick(janela->btnOk, Qt::LeftButton);
        QCOMPARE(caixas->caixas().size(), 1);
        QCOMPARE(caixas->caixas().first().titulo, QStringLiteral("Nenhum Registro"));
        QVERIFY(impressora.trabalhos.isEmpty());
    }

    // The export takes the whole department, whatever dates are typed.
    void exportaODepartamento()
    {
        DialogoArquivo::Gravador dialogo;
        const QString arquivo = pasta.filePath(QStringLiteral("departamento.csv"));
        dialogo.proximoArquivo(arquivo);
        periodo(QStringLiteral("01/01/1990"), QStringLiteral("31/12/1990"));
        QTest::mouseClick(janela->btnExportarCSV, Qt::LeftButton);

        QCOMPARE(dialogo.titulos, QStringList{QStringLiteral("Salvar Relatorio do Departamento ...")});
        QCOMPARE(dialogo.filtros, QStringList{QStringLiteral("Arquivo CSV (*.csv) | *.csv")});
        QCOMPARE(caixas->caixas().size(), 1);
        QCOMPARE(caixas->caixas().first().texto, QStringLiteral("Arquivo gerado em: ") + arquivo);
        QCOMPARE(caixas->caixas().first().titulo, QStringLiteral("Exportado com Sucesso"));
        QCOMPARE(caixas->caixas().first().icone, Caixas::Icone::Informacao);

        const QByteArray bytes = conteudo(arquivo);
        QVERIFY(bytes.startsWith("Nome;\r\n"));
        QList<QByteArray> nomes = bytes.mid(7).split('\n');
        QCOMPARE(nomes.takeLast(), QByteArray());   // the last line ends in CR LF too
        std::sort(nomes.begin(), nomes.end());
        QCOMPARE(nomes, (QList<QByteArray>{"Abigail Nunes\r", "Bruno da Concei\xE7\xE3o\r", "Carlos Prado\r"}));
    }

    void exportaSubstituiArquivo()
    {
        const QString arquivo = pasta.filePath(QStringLiteral("existente.csv"));
        {
            QFile f(arquivo);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(QByteArray(4000, 'x'));
        }
        DialogoArquivo::Gravador dialogo;
        dialogo.proximoArquivo(arquivo);
        QTest::mouseClick(janela->btnExportarCSV, Qt::LeftButton);
        QCOMPARE(caixas->caixas().value(0).titulo, QStringLiteral("Exportado com Sucesso"));
        const QByteArray bytes = conteudo(arquivo);
        QVERIFY(bytes.startsWith("Nome;\r\n"));
        QVERIFY(!bytes.contains('x'));
        QCOMPARE(bytes.size(), qsizetype(7 + 15 + 20 + 14));
    }

    void exportaEmPastaSemEscrita()
    {
        // Tests run as root, whom permissions do not stop: a "folder" that is a regular file
        // refuses everyone.
        QFile comum(pasta.filePath(QStringLiteral("arquivo-comum")));
        QVERIFY(comum.open(QIODevice::WriteOnly));
        comum.close();
        DialogoArquivo::Gravador dialogo;
        dialogo.proximoArquivo(pasta.filePath(QStringLiteral("arquivo-comum/nomes.csv")));
        janela->lblDataInicialErro->setText(QStringLiteral("antigo"));
        QTest::mouseClick(janela->btnExportarCSV, Qt::LeftButton);
        QCOMPARE(caixas->caixas().size(), 1);
        QCOMPARE(caixas->caixas().first().texto, textoErroExportar);
        QCOMPARE(caixas->caixas().first().titulo, QStringLiteral("Erro ao Exportar Relatório"));
        QCOMPARE(caixas->caixas().first().icone, Caixas::Icone::Erro);
        QVERIFY(janela->lblDataInicialErro->text().isEmpty());
    }

    void exportarCanceladoNaoDizNada()
    {
        DialogoArquivo::Gravador dialogo;
        dialogo.proximoArquivo(QString());
        const QString antes = servidor->diario();
        QTest::mouseClick(janela->btnExportarCSV, Qt::LeftButton);
        QCOMPARE(dialogo.titulos.size(), 1);
        QVERIFY(caixas->caixas().isEmpty());
        QCOMPARE(servidor->diario(), antes);
    }

    void fecharDescarregaAJanela()
    {
        QTest::mouseClick(janela->btnFechar, Qt::LeftButton);
        QTRY_VERIFY(janela.isNull());
        QVERIFY(principal);
    }
};

// Against a scripted server: what is sent, and the replies the real server does not give.
class tst_frmRelatorioFalhas : public QObject {
    Q_OBJECT

    std::unique_ptr<ServidorRoteirizado> servidor;
    std::unique_ptr<EntradaDeTeste> entrada;
    std::unique_ptr<Caixas::Gravador> caixas;
    QPointer<frmPrincipal> principal;
    QTemporaryDir pasta;

private slots:
    void initTestCase()
    {
        servidor = std::make_unique<ServidorRoteirizado>();
        servidor->aoProximoPedido(ServidorRoteirizado::responde(QStringLiteral("4|operador|x|7|Tesouraria")));
        entrada = std::make_unique<EntradaDeTeste>();
        caixas = std::make_unique<Caixas::Gravador>();
        globais().impressora = std::make_shared<clsImpressora>();
        principal = entrada->preparaEEntra(servidor->host(), servidor->porta(), QStringLiteral("operador"),
                                           QStringLiteral("x"), 1);
        QVERIFY2(principal, qPrintable(entrada->erro));
        QCOMPARE(principal->membros.departamento.idDepartamento, 7);
    }
    void cleanupTestCase()
    {
        entrada.reset();
        caixas.reset();
        servidor.reset();
    }
    void init() { caixas->limpa(); }

    void pedidos()
    {
        // Heap-allocated: the window deletes itself when closed.
        const QPointer<frmRelatorio> aberta = new frmRelatorio(principal);
        const auto fecha = qScopeGuard([aberta] { delete aberta; });
        frmRelatorio& janela = *aberta;
        janela.show();
        Impressoras::Gravador impressora(pasta.filePath(QStringLiteral("r.pdf")));
        DialogoArquivo::Gravador dialogo;
        dialogo.proximoArquivo(pasta.filePath(QStringLiteral("n.csv")));
        servidor->aoProximoPedido(ServidorRoteirizado::responde(QStringLiteral("14")));
        servidor->aoProximoPedido(ServidorRoteirizado::responde(QStringLiteral("14")));
        QTest::keyClicks(janela.txtDataInicial, QStringLiteral("01/02/2021"));
        QTest::keyClicks(janela.txtDataFinal, QStringLiteral("28/02/2021"));
        const int antes = servidor->recebidas().size();
        janela.btnOk->click();
        janela.btnExportarCSV->click();
        const QStringList recebidas = servidor->recebidas().mid(antes);
        QCOMPARE(recebidas.size(), 2);
        QCOMPARE(recebidas.at(0), QStringLiteral("12|0||01/02/2021|28/02/2021|7|"));
        QCOMPARE(recebidas.at(1), QStringLiteral("12|0||30/12/1899|30/12/1899|7|"));
        QCOMPARE(caixas->caixas().size(), 2);
        QCOMPARE(caixas->caixas().at(0).titulo, QStringLiteral("Nenhum Registro"));
        QCOMPARE(caixas->caixas().at(1).titulo, QStringLiteral("Nenhum Registro"));
        QVERIFY(impressora.trabalhos.isEmpty());
        QVERIFY(!QFile::exists(pasta.filePath(QStringLiteral("n.csv"))));
    }

    void falhas_data()
    {
        QTest::addColumn<ServidorRoteirizado::Roteiro>("roteiro");
        QTest::addColumn<QString>("titulo");
        QTest::newRow("tempo esgotado") << ServidorRoteirizado::silencio() << "Sem Resposta";
        QTest::newRow("falha") << ServidorRoteirizado::responde(QStringLiteral("0")) << "Falha no Comando";
        QTest::newRow("desconhecido") << ServidorRoteirizado::responde(QStringLiteral("55|x")) << "Comando Desconhecido";
        // A list that cannot be read is an unexpected failure: shown, never swallowed.
        QString ilegivel = clsAgenda::collectionToPipeStringWithCommand({clsAgenda()}, 13);
        QVERIFY(ilegivel.startsWith(QStringLiteral("13|0|")));
        ilegivel.replace(0, 5, QStringLiteral("13|abc|"));
        QTest::newRow("lista ilegivel") << ServidorRoteirizado::responde(ilegivel) << "Erro no Aplicativo";
    }
    void falhas()
    {
        QFETCH(ServidorRoteirizado::Roteiro, roteiro);
        QFETCH(QString, titulo);
        // Heap-allocated: the window deletes itself when closed.
        const QPointer<frmRelatorio> aberta = new frmRelatorio(principal);
        const auto fecha = qScopeGuard([aberta] { delete aberta; });
        frmRelatorio& janela = *aberta;
        janela.show();
        Impressoras::Gravador impressora(pasta.filePath(QStringLiteral("f.pdf")));
        DialogoArquivo::Gravador dialogo;
        const QString arquivo = pasta.filePath(QStringLiteral("f.csv"));
        dialogo.proximoArquivo(arquivo);
        servidor->aoProximoPedido(roteiro);
        servidor->aoProximoPedido(roteiro);
        QTest::keyClicks(janela.txtDataInicial, QStringLiteral("01/02/2021"));
        QTest::keyClicks(janela.txtDataFinal, QStringLiteral("28/02/2021"));

        janela.btnOk->click();
        QCOMPARE(caixas->caixas().size(), 1);
        QCOMPARE(caixas->caixas().at(0).titulo, titulo);
        QCOMPARE(caixas->caixas().at(0).icone, Caixas::Icone::Erro);
        QVERIFY(impressora.trabalhos.isEmpty());

        janela.btnExportarCSV->click();
        QCOMPARE(caixas->caixas().size(), 2);
        QCOMPARE(caixas->caixas().at(1).titulo, titulo);
        QVERIFY(!QFile::exists(arquivo));
    }
};

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    int r = 0;
    {
        tst_frmRelatorio t;
        r |= QTest::qExec(&t, argc, argv);
    }
    {
        tst_frmRelatorioFalhas t;
        r |= QTest::qExec(&t, argc, argv);
    }
    return r;
}
#include "tst_frmrelatorio.moc"
