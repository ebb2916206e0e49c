// "Visualizar Impressão" of the department report: the preview holds the pages the direct
// print sends (a report of several pages, compared word by word in the PDFs), and with no
// printer installed the preview still opens and saves the PDF.
#include "cards/PalavrasDoPdf.h"
#include "support/VisualizacaoDeTeste.h"
#include "app/Caixas.h"
#include "app/Seams.h"
#include "app/Visualizacao.h"
#include "protocol/ErroDeExecucao.h"
#include "reports/clsImpressora.h"
#include "reports/clsRelatorios.h"

#include <QPrinter>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QList<clsAgenda> membros(int quantos)
{
    QList<clsAgenda> lista;
    for (int i = 1; i <= quantos; ++i) {
        clsAgenda m;
        m.numeroFicha = 500 + i;
        m.nome = QStringLiteral("Irmã Conceição número %1").arg(i);
        m.Data = QDate(2022, 1, 1).addDays(i);
        m.departamento.dsDepartamento = QStringLiteral("Secretaria");
        m.Valor = i * 1.5;
        lista.append(m);
    }
    return lista;
}

// Same pages, same words at the same places.
void comparaPdfs(const QString& a, const QString& b)
{
    const PdfLido x = lePdf(a);
    const PdfLido y = lePdf(b);
    QVERIFY(x.ok && y.ok);
    QCOMPARE(y.paginas, x.paginas);
    QCOMPARE(y.palavras.size(), x.palavras.size());
    for (qsizetype i = 0; i < x.palavras.size(); ++i) {
        const PalavraDoPdf& p = x.palavras[i];
        const PalavraDoPdf& q = y.palavras[i];
        QVERIFY2(p.pagina == q.pagina && p.texto == q.texto && qAbs(p.xMin - q.xMin) < 0.01
                     && qAbs(p.yMin - q.yMin) < 0.01,
                 qPrintable(QStringLiteral("%1 (%2) != %3 (%4)").arg(p.texto).arg(p.pagina).arg(q.texto).arg(q.pagina)));
    }
}

} // namespace

class tst_Visualizacao : public QObject {
    Q_OBJECT
    QTemporaryDir m_pasta;
    QString arquivo(const QString& nome) const { return m_pasta.filePath(nome); }

private slots:
    void mesmasPaginasQueAImpressao_data()
    {
        QTest::addColumn<bool>("comImpressora");
        QTest::newRow("com impressora") << true;
        QTest::newRow("sem impressora instalada") << false;
    }
    void mesmasPaginasQueAImpressao()
    {
        QFETCH(bool, comImpressora);
        const QString tag = QString::fromLatin1(QTest::currentDataTag()).replace(u' ', u'-');
        const QString texto = clsRelatorios::montaRelatorio(membros(150), QStringLiteral("Total: "));
        clsImpressora impressora;
        const QString direto = arquivo(tag + QStringLiteral("-direto.pdf"));
        {
            Impressoras::Gravador padrao(direto);
            impressora.Imprime(texto);
        }
        Caixas::Gravador caixas;
        DialogoArquivo::Gravador dialogo;
        Impressoras::Gravador padrao(comImpressora ? arquivo(tag + QStringLiteral("-nao-usado.pdf")) : QString());
        VisualizacaoVista vista;
        const QString salvo = arquivo(tag + QStringLiteral("-visualizado.pdf"));
        aoAbrirVisualizacao(vista, dialogo, salvo);
        Visualizacao::mostra(nullptr, QStringLiteral("Relatório"), [&](QPrinter& p) {
            impressora.ImprimeEm(p, texto);
            return true;
        });
        QVERIFY(vista.aberta);
        QCOMPARE(vista.titulo, QStringLiteral("Visualizar Impressão - Relatório"));
        QVERIFY(padrao.trabalhos.isEmpty());   // nothing went to the default printer
        QCOMPARE(dialogo.titulos, QStringList{QStringLiteral("Salvar PDF ...")});
        QCOMPARE(caixas.caixas().size(), 1);
        QCOMPARE(caixas.caixas().first().texto, QStringLiteral("Arquivo gerado em: ") + salvo);

        const PdfLido lido = lePdf(direto);
        QVERIFY(lido.paginas >= 3);
        QCOMPARE(vista.paginas, lido.paginas);
        comparaPdfs(direto, salvo);
    }

    void salvarEmPastaSemEscritaAvisa()
    {
        Caixas::Gravador caixas;
        DialogoArquivo::Gravador dialogo;
        Impressoras::Gravador nenhuma{QString()};
        VisualizacaoVista vista;
        aoAbrirVisualizacao(vista, dialogo, QStringLiteral("/proc/nao-existe/relatorio.pdf"));
        Visualizacao::mostra(nullptr, QStringLiteral("Relatório"), [&](QPrinter& p) {
            clsImpressora().ImprimeEm(p, QStringLiteral("linha"));
            return true;
        });
        QVERIFY(vista.aberta);
        QCOMPARE(caixas.caixas().size(), 1);
        QCOMPARE(caixas.caixas().first().titulo, QStringLiteral("Erro ao Salvar PDF"));
    }

    void cancelarOSalvarNaoFazNada()
    {
        Impressoras::Gravador nenhuma{QString()};
        Caixas::Gravador caixas;
        DialogoArquivo::Gravador dialogo;
        VisualizacaoVista vista;
        aoAbrirVisualizacao(vista, dialogo, QString());
        Visualizacao::mostra(nullptr, QStringLiteral("Relatório"), [&](QPrinter& p) {
            clsImpressora().ImprimeEm(p, QStringLiteral("linha"));
            return true;
        });
        QVERIFY(vista.aberta);
        QCOMPARE(vista.paginas, 1);
        QVERIFY(caixas.caixas().isEmpty());
    }

    // A job that raises while painting is reported, and the preview carries on.
    void falhaAoPintarVaiParaExibeErro()
    {
        Impressoras::Gravador nenhuma{QString()};
        Caixas::Gravador caixas;
        DialogoArquivo::Gravador dialogo;
        VisualizacaoVista vista;
        aoAbrirVisualizacao(vista, dialogo, QString());
        Visualizacao::mostra(nullptr, QStringLiteral("Relatório"), [&](QPrinter&) -> bool {
            throw ErroDeExecucao(QStringLiteral("teste"), QStringLiteral("falhou"));
        });
        QVERIFY(vista.aberta);
        QVERIFY(!caixas.caixas().isEmpty());
        QCOMPARE(caixas.caixas().first().titulo, QStringLiteral("Erro no Aplicativo"));
    }
};

QTEST_MAIN(tst_Visualizacao)
#include "tst_visualizacao.moc"
