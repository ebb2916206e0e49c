// Every way to print, from the windows, against a private CUPS server: the print buttons and
// the preview's print button alike go through the job path, so a refusing queue is told and
// keeps the preview open, a paused or stopped queue is told instead of a success, and a
// working queue prints.
#include "support/AmbienteDeTeste.h"
#include "support/VisualizacaoDeTeste.h"
#include "ServidorCups.h"
#include "ServidorReal.h"
#include "cards/ImpressaoCarteiras.h"
#include "connection/Requisicao.h"
#include "members/JanelaDeFicha.h"
#include "reports/clsImpressora.h"
#include "reports/frmAniversariantes.h"
#include "reports/frmRelatorio.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>

namespace {

enum class Acao { RelatorioOk, RelatorioVisualizar, AniversariantesImprimir, AniversariantesVisualizar,
                  CarteirasVisualizar, JanelaVisualizar };

QString layout(const QString& nome)
{
    if (nome.startsWith(QLatin1String("deslocamento")) || nome == QLatin1String("escala"))
        return QString();
    if (nome.startsWith(QLatin1String("fonte")))
        return QStringLiteral("10");
    return nome.contains(u'x') ? QStringLiteral("500") : QStringLiteral("1.000");
}

} // namespace

class tst_FilaDeImpressao : public QObject {
    Q_OBJECT
    ServidorCups m_cups;
    std::unique_ptr<ServidorReal> servidor;
    std::unique_ptr<EntradaDeTeste> entrada;
    std::unique_ptr<Caixas::Gravador> caixas;
    QPointer<frmPrincipal> principal;

    frmRelatorio* abreRelatorio()
    {
        principal->Command2->click();
        auto* r = principal->findChild<frmRelatorio*>();
        if (r) {
            QTest::keyClicks(r->txtDataInicial, QStringLiteral("01/01/2000"));
            QTest::keyClicks(r->txtDataFinal, QStringLiteral("31/12/2030"));
        }
        return r;
    }

    // Presses what the row names; the title its job has in the queue.
    QString executa(Acao acao, VisualizacaoVista& vista)
    {
        DialogoArquivo::Gravador dialogo;
        vista.imprimir = true;
        QPointer<frmRelatorio> relatorio = acao <= Acao::AniversariantesVisualizar ? abreRelatorio() : nullptr;
        frmAniversariantes* aniversariantes = nullptr;
        if (acao == Acao::AniversariantesImprimir || acao == Acao::AniversariantesVisualizar)
            aniversariantes = frmAniversariantes::abre(relatorio, principal);
        const auto fecha = qScopeGuard([&] { delete relatorio.data(); });
        if (acao != Acao::RelatorioOk && acao != Acao::AniversariantesImprimir)
            aoAbrirVisualizacao(vista, dialogo, QString());
        QLabel janela(QStringLiteral("Conteúdo da janela"));
        switch (acao) {
        case Acao::RelatorioOk:
            QTest::mouseClick(relatorio->btnOk, Qt::LeftButton);
            return QStringLiteral("Relatório do Departamento");
        case Acao::RelatorioVisualizar:
            QTest::mouseClick(relatorio->btnVisualizar, Qt::LeftButton);
            return QStringLiteral("Relatório do Departamento");
        case Acao::AniversariantesImprimir:
            QTest::mouseClick(aniversariantes->btnImprimir, Qt::LeftButton);
            return QStringLiteral("Aniversariantes do Mês");
        case Acao::AniversariantesVisualizar:
            QTest::mouseClick(aniversariantes->btnVisualizar, Qt::LeftButton);
            return QStringLiteral("Aniversariantes do Mês");
        case Acao::CarteirasVisualizar: {
            ImpressaoCarteiras::TextosDaCarteira t;
            t[1] = QStringLiteral("MARIA DA CONCEIÇÃO");
            ImpressaoCarteiras::visualiza(nullptr, {t}, layout);
            return QStringLiteral("Carteirinhas");
        }
        case Acao::JanelaVisualizar:
            janela.setWindowTitle(QStringLiteral("Janela de Teste"));
            janela.resize(300, 100);
            JanelaDeFicha::visualizaComoNaTela(&janela, JanelaDeFicha::Impressao::Imagem, QStringLiteral("t"));
            return QStringLiteral("Janela de Teste");
        }
        return QString();
    }

private slots:
    void initTestCase()
    {
        if (!m_cups.inicia())
            QSKIP(qPrintable(QStringLiteral("sem servidor CUPS privado: ") + m_cups.erro()));
        // Before the first use of libcups in this process (a QPrinter asks it for the default).
        qputenv("CUPS_SERVER", QFile::encodeName(m_cups.soquete()));
        servidor = std::make_unique<ServidorReal>(0);
        entrada = std::make_unique<EntradaDeTeste>();
        caixas = std::make_unique<Caixas::Gravador>();
        globais().impressora = std::make_shared<clsImpressora>();
        principal = entrada->entraNoServidor(*servidor);
        QVERIFY2(principal, qPrintable(entrada->erro));
        clsAgenda f;
        f.numeroFicha = 10;
        f.nome = QStringLiteral("Abigail Nunes");
        f.nascido = QDate::currentDate().addYears(-30).toString(QStringLiteral("dd/MM/yyyy"));
        f.Data = QDate(2021, 3, 5);
        f.Valor = 10.5;
        f.departamento = globais().usuarioLogado->departamento;
        QVERIFY(Requisita(nullptr, principal->timerTimeOut, f.toPipeStringWithCommand(8), {9}));
    }
    void cleanupTestCase()
    {
        entrada.reset();
        caixas.reset();
        servidor.reset();
        m_cups.para();
    }

    void imprimeDeCadaJeito_data()
    {
        QTest::addColumn<Acao>("acao");
        QTest::addColumn<int>("estado");
        QTest::addColumn<QString>("caixa");   // the title of the one box the operator sees
        QTest::addColumn<bool>("abertaAposImprimir");
        QTest::addColumn<int>("estadoDoTrabalho");   // IPP job-state, -1: no job in the queue
        const QString pausada = QStringLiteral("Impressora Pausada");
        const QString sucesso = QStringLiteral("Relatório Gerado com Sucesso");
        const QString erroRelatorio = QStringLiteral("Erro ao Imprimir Relatório");
        const QString erro = QStringLiteral("Erro no Aplicativo");
        const int pausa = ServidorCups::Retem, recusa = ServidorCups::Recusa, imprime = ServidorCups::Imprime;
        QTest::newRow("relatorio ok fila pausada") << Acao::RelatorioOk << pausa << pausada << false << 3;
        QTest::newRow("relatorio ok fila parada") << Acao::RelatorioOk << int(ServidorCups::Para) << pausada << false << 3;
        QTest::newRow("relatorio ok impresso") << Acao::RelatorioOk << imprime << sucesso << false << 9;
        QTest::newRow("aniversariantes fila pausada") << Acao::AniversariantesImprimir << pausa << pausada << false << 3;
        QTest::newRow("relatorio visualizado fila recusa") << Acao::RelatorioVisualizar << recusa << erroRelatorio << true << -1;
        QTest::newRow("relatorio visualizado fila pausada") << Acao::RelatorioVisualizar << pausa << pausada << false << 3;
        QTest::newRow("relatorio visualizado impresso") << Acao::RelatorioVisualizar << imprime << sucesso << false << 9;
        QTest::newRow("aniversariantes visualizados fila recusa")
            << Acao::AniversariantesVisualizar << recusa << erroRelatorio << true << -1;
        QTest::newRow("carteiras visualizadas fila recusa") << Acao::CarteirasVisualizar << recusa << erro << true << -1;
        QTest::newRow("carteiras visualizadas fila pausada") << Acao::CarteirasVisualizar << pausa << pausada << false << 3;
        QTest::newRow("janela visualizada fila recusa") << Acao::JanelaVisualizar << recusa << erro << true << -1;
    }
    void imprimeDeCadaJeito()
    {
        QFETCH(Acao, acao);
        QFETCH(int, estado);
        QFETCH(QString, caixa);
        QFETCH(bool, abertaAposImprimir);
        QFETCH(int, estadoDoTrabalho);
        // A queue of its own, the default printer for libcups and Qt alike.
        const QString fila = QString::fromLatin1(QTest::currentDataTag()).remove(QRegularExpression(QStringLiteral("\\W")));
        QVERIFY2(m_cups.criaFila(fila, ServidorCups::Estado(estado), false), qPrintable(m_cups.erro()));
        qputenv("PRINTER", fila.toUtf8());
        qputenv("LPDEST", fila.toUtf8());
        caixas->limpa();

        VisualizacaoVista vista;
        const QString titulo = executa(acao, vista);
        if (acao != Acao::RelatorioOk && acao != Acao::AniversariantesImprimir) {
            QVERIFY(vista.aberta && vista.temImprimir);
            QCOMPARE(vista.abertaAposImprimir, abertaAposImprimir);
        }
        QVERIFY2(caixas->caixas().size() == 1, qPrintable(titulosETextos(*caixas).join(u'\n')));
        QCOMPARE(caixas->caixas().first().titulo, caixa);
        if (caixa == QLatin1String("Impressora Pausada"))
            QVERIFY2(caixas->caixas().first().texto.contains(QStringLiteral("\"%1\"").arg(fila)),
                     qPrintable(caixas->caixas().first().texto));
        const QList<ServidorCups::Trabalho> trabalhos = m_cups.trabalhosDaFila(fila);
        QCOMPARE(trabalhos.size(), estadoDoTrabalho < 0 ? 0 : 1);
        if (estadoDoTrabalho >= 0) {
            QCOMPARE(trabalhos.first().titulo, titulo);
            QCOMPARE(trabalhos.first().estado, estadoDoTrabalho);
        }
    }
};

QTEST_MAIN(tst_FilaDeImpressao)
#include "tst_filadeimpressao.moc"
