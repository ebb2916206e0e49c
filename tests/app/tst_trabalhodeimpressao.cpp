// Print jobs against a private CUPS server: a queue that refuses jobs is reported by every
// print path (report, cards, window image), accepted jobs carry their titles, and a job the
// queue takes but does not print (paused, stopped by its device, held, aborted) is told.
#include "ServidorCups.h"
#include "app/BibliotecaCups.h"
#include "app/Caixas.h"
#include "app/TrabalhoDeImpressao.h"
#include "cards/ImpressaoCarteiras.h"
#include "members/JanelaDeFicha.h"
#include "protocol/ErroDeExecucao.h"
#include "reports/clsImpressora.h"

#include <QLabel>
#include <QPainter>
#include <QPrinter>
#include <QRegularExpression>
#include <QtTest>

using namespace ImpressaoCarteiras;

namespace {

QString layout(const QString& nome)
{
    // No card-stock calibration on this machine.
    if (nome.startsWith(QLatin1String("deslocamento")) || nome == QLatin1String("escala"))
        return QString();
    if (nome.startsWith(QLatin1String("fonte")))
        return QStringLiteral("10");
    return nome.contains(u'x') ? QStringLiteral("500") : QStringLiteral("1.000,5");
}

QList<TextosDaCarteira> umaCarteira()
{
    TextosDaCarteira t;
    t[1] = QStringLiteral("MARIA DA CONCEIÇÃO");
    return {t};
}

} // namespace

class tst_TrabalhoDeImpressao : public QObject {
    Q_OBJECT
    ServidorCups m_cups;
    bool m_pronto = false;

    void usaFila(const char* fila)
    {
        // The default printer is the queue the case names; both libcups and Qt ask anew.
        qputenv("PRINTER", fila);
        qputenv("LPDEST", fila);
    }

private slots:
    void initTestCase()
    {
        if (!m_cups.inicia())
            QSKIP(qPrintable(QStringLiteral("sem servidor CUPS privado: ") + m_cups.erro()));
        QVERIFY2(m_cups.criaFila(QStringLiteral("Recusa"), ServidorCups::Recusa, true), qPrintable(m_cups.erro()));
        QVERIFY2(m_cups.criaFila(QStringLiteral("Aceita"), ServidorCups::Imprime, false), qPrintable(m_cups.erro()));
        // Before the first use of libcups in this process: every job goes to the private server.
        qputenv("CUPS_SERVER", QFile::encodeName(m_cups.soquete()));
        m_pronto = true;
    }

    void cleanupTestCase() { m_cups.para(); }

    void filaQueRecusaNaoSeCala()
    {
        usaFila("Recusa");
        TrabalhoDeImpressao trabalho(QStringLiteral("Teste"));
        QVERIFY(trabalho.impressora());
        QPainter(trabalho.impressora()).drawText(QPointF(10, 10), QStringLiteral("x"));
        const QString recusa = trabalho.envia();
        // The print system's own reason, naming the queue.
        QVERIFY2(recusa.contains(QStringLiteral("Recusa")), qPrintable(recusa));
        QCOMPARE(trabalho.numero(), 0);
    }

    void relatorioRecusado()
    {
        usaFila("Recusa");
        try {
            clsImpressora().Imprime(QStringLiteral("linha 1\r\nlinha 2"));
            QFAIL("no error for a refused report");
        } catch (const ErroDeExecucao& e) {
            QCOMPARE(e.origem(), QStringLiteral("clsImpressora"));
            QCOMPARE(e.descricao(), QStringLiteral("Erro ao realizar impressão"));
        }
    }

    void carteirasRecusadas()
    {
        usaFila("Recusa");
        Caixas::Gravador caixas;
        QVERIFY(!imprime(nullptr, umaCarteira(), layout));
        QCOMPARE(caixas.caixas().size(), 1);
        QCOMPARE(caixas.caixas().first().titulo, QStringLiteral("Erro no Aplicativo"));
        QVERIFY2(caixas.caixas().first().texto.contains(QStringLiteral("A impressora padrão não aceitou a página")),
                 qPrintable(caixas.caixas().first().texto));
    }

    void janelaRecusada()
    {
        usaFila("Recusa");
        Caixas::Gravador caixas;
        QLabel janela(QStringLiteral("Conteúdo da janela"));
        janela.setWindowTitle(QStringLiteral("Janela de Teste"));
        janela.resize(300, 100);
        QVERIFY(!JanelaDeFicha::imprimeComoNaTela(&janela, JanelaDeFicha::Impressao::Imagem, QStringLiteral("t")));
        QCOMPARE(caixas.caixas().size(), 1);
        QVERIFY(caixas.caixas().first().texto.contains(QStringLiteral("A impressora padrão não aceitou a página")));
    }

    void trabalhosAceitosTemTitulo()
    {
        usaFila("Aceita");
        Caixas::Gravador caixas;
        clsImpressora().Imprime(QStringLiteral("Relatório"));
        QVERIFY(imprime(nullptr, umaCarteira(), layout));
        QLabel janela(QStringLiteral("Conteúdo da janela"));
        janela.setWindowTitle(QStringLiteral("Carteirinha de Membros"));
        janela.resize(300, 100);
        QVERIFY(JanelaDeFicha::imprimeComoNaTela(&janela, JanelaDeFicha::Impressao::Imagem, QStringLiteral("t")));
        QCOMPARE(caixas.caixas().size(), 0);
        QCOMPARE(m_cups.titulosDaFila(QStringLiteral("Aceita")),
                 (QStringList{QStringLiteral("Relatório do Departamento"), QStringLiteral("Carteirinhas"),
                              QStringLiteral("Carteirinha de Membros")}));
        QVERIFY(m_cups.titulosDaFila(QStringLiteral("Recusa")).isEmpty());
    }

    // Each row on a queue of its own, so a queue the device stops is stopped by this job.
    void filaQueNaoImprime_data()
    {
        QTest::addColumn<int>("estado");
        QTest::addColumn<bool>("relatorio");
        QTest::addColumn<QString>("caixa");       // the title of the one box shown, or none
        QTest::addColumn<int>("estadoDoTrabalho");   // IPP job-state it is left in
        const QString pausada = QStringLiteral("Impressora Pausada");
        const QString retida = QStringLiteral("Impressão Retida na Fila");
        for (const bool relatorio : {true, false}) {
            const char* como = relatorio ? "relatorio" : "carteiras";
            QTest::addRow("%s, fila pausada", como) << int(ServidorCups::Retem) << relatorio << pausada << 3;
            QTest::addRow("%s, fila parada pelo dispositivo", como) << int(ServidorCups::Para) << relatorio << pausada << 3;
            QTest::addRow("%s, trabalho retido", como) << int(ServidorCups::Segura) << relatorio << retida << 4;
            QTest::addRow("%s, trabalho abandonado", como)
                << int(ServidorCups::Abandona) << relatorio << (relatorio ? QString() : QStringLiteral("Erro no Aplicativo")) << 8;
            QTest::addRow("%s, impresso", como) << int(ServidorCups::Imprime) << relatorio << QString() << 9;
        }
    }
    void filaQueNaoImprime()
    {
        QFETCH(int, estado);
        QFETCH(bool, relatorio);
        QFETCH(QString, caixa);
        QFETCH(int, estadoDoTrabalho);
        const QString fila = QStringLiteral("Fila%1").arg(QTest::currentDataTag()).remove(QRegularExpression(QStringLiteral("\\W")));
        QVERIFY2(m_cups.criaFila(fila, ServidorCups::Estado(estado), false), qPrintable(m_cups.erro()));
        usaFila(qPrintable(fila));
        Caixas::Gravador caixas;
        if (relatorio) {
            bool impresso = false, erro = false;
            try {
                impresso = clsImpressora().Imprime(QStringLiteral("linha"));
            } catch (const ErroDeExecucao&) {
                erro = true;
            }
            // On paper, waiting (told), or failed (the window tells).
            QCOMPARE(erro, estado == ServidorCups::Abandona);
            QCOMPARE(impresso, !erro && caixa.isEmpty());
        } else {
            QCOMPARE(imprime(nullptr, umaCarteira(), layout), estado != ServidorCups::Abandona);
        }
        QCOMPARE(caixas.caixas().size(), caixa.isEmpty() ? 0 : 1);
        if (!caixa.isEmpty()) {
            const Caixas::Registro& r = caixas.caixas().first();
            QCOMPARE(r.titulo, caixa);
            const QString esperado = estado == ServidorCups::Abandona ? QStringLiteral("abandonou o trabalho")
                                     : estado == ServidorCups::Para   ? ServidorCups::motivoDaParada()
                                                                      : QStringLiteral("\"%1\"").arg(fila);
            QVERIFY2(r.texto.contains(esperado), qPrintable(r.texto));
        }
        // Whatever was said, the job is where the print system put it: never cancelled by us.
        const QList<ServidorCups::Trabalho> trabalhos = m_cups.trabalhosDaFila(fila);
        QCOMPARE(trabalhos.size(), 1);
        QCOMPARE(trabalhos.first().titulo, relatorio ? QStringLiteral("Relatório do Departamento") : QStringLiteral("Carteirinhas"));
        QCOMPARE(trabalhos.first().estado, estadoDoTrabalho);
    }

    // libcups is loaded for the first job: a machine without it (or with a libcups lacking a
    // function) tells the operator so, prints nothing and goes on; once it is there, jobs print.
    void semLibcups_data()
    {
        QTest::addColumn<QString>("nome");
        QTest::addColumn<int>("versao");
        QTest::addColumn<QString>("motivo");
        QTest::newRow("biblioteca ausente") << QStringLiteral("zelto-nenhuma-cups") << 2
                                            << QStringLiteral("a biblioteca libcups não pôde ser carregada");
        QTest::newRow("biblioteca sem as funcoes") << QStringLiteral("z") << 1
                                                   << QStringLiteral("não tem a função cupsGetNamedDest");
    }
    void semLibcups()
    {
        QFETCH(QString, nome);
        QFETCH(int, versao);
        QFETCH(QString, motivo);
        usaFila("Aceita");
        const auto antes = m_cups.titulosDaFila(QStringLiteral("Aceita")).size();
        {
            const BibliotecaCups::OutroNome semCups(nome, versao);
            Caixas::Gravador caixas;
            QVERIFY(!imprime(nullptr, umaCarteira(), layout));
            QCOMPARE(caixas.caixas().size(), 1);
            QCOMPARE(caixas.caixas().first().titulo, QStringLiteral("Erro no Aplicativo"));
            const QString texto = caixas.caixas().first().texto;
            QVERIFY2(texto.contains(QStringLiteral("A impressora padrão não aceitou a página (o sistema de impressão "
                                                   "não está disponível: ")),
                     qPrintable(texto));
            QVERIFY2(texto.contains(motivo), qPrintable(texto));
        }
        QCOMPARE(m_cups.titulosDaFila(QStringLiteral("Aceita")).size(), antes);
        Caixas::Gravador caixas;
        QVERIFY(imprime(nullptr, umaCarteira(), layout));
        QCOMPARE(m_cups.titulosDaFila(QStringLiteral("Aceita")).size(), antes + 1);
    }

    void posicaoForaDaAreaDaImpressoraReal()
    {
        // The printable area is the default printer's: a column beyond its width is refused.
        usaFila("Aceita");
        Caixas::Gravador caixas;
        const auto antes = m_cups.titulosDaFila(QStringLiteral("Aceita")).size();
        QVERIFY(!imprime(nullptr, umaCarteira(), [](const QString& n) {
            return n == QLatin1String("nomex1") ? QStringLiteral("20.000") : layout(n);
        }));
        QCOMPARE(caixas.caixas().size(), 1);
        QCOMPARE(caixas.caixas().first().titulo, QStringLiteral("Configuração Inválida"));
        QVERIFY(caixas.caixas().first().texto.contains(QStringLiteral("\"nomex1\"")));
        QCOMPARE(m_cups.titulosDaFila(QStringLiteral("Aceita")).size(), antes);
    }
};

QTEST_MAIN(tst_TrabalhoDeImpressao)
#include "tst_trabalhodeimpressao.moc"
