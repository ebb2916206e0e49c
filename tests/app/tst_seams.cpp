#include "app/Caixas.h"
#include "app/Seams.h"
#include "app/TrabalhoDeImpressao.h"

#include <QPrinter>
#include <QFileInfo>
#include <QPainter>
#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <QtTest>

class tst_Seams : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void filtroDoDialogo_data();
    void filtroDoDialogo();
    void caixasGravadasEResponde();
    void caixaTaoLargaQuantoOTitulo();
    void impressoraDeTesteUmArquivoPorTrabalho();
};

void tst_Seams::filtroDoDialogo_data()
{
    QTest::addColumn<QString>("filtro");
    QTest::addColumn<QString>("qt");
    QTest::newRow("descrição já com padrão") << "Arquivo CSV (*.csv) | *.csv" << "Arquivo CSV (*.csv)";
    QTest::newRow("descrição sem padrão") << "Texto|*.txt" << "Texto (*.txt)";
    QTest::newRow("dois filtros") << "CSV|*.csv|Todos|*.*" << "CSV (*.csv);;Todos (*.*)";
    QTest::newRow("já no formato do Qt") << "Imagens (*.png)" << "Imagens (*.png)";
}

void tst_Seams::filtroDoDialogo()
{
    QFETCH(QString, filtro);
    QFETCH(QString, qt);
    QCOMPARE(DialogoArquivo::filtroParaQt(filtro), qt);
}

void tst_Seams::caixasGravadasEResponde()
{
    Caixas::Gravador gravador;
    gravador.proximaResposta(Caixas::Resposta::Sim);
    QCOMPARE(Caixas::mostra(nullptr, QStringLiteral("Excluir ?"), QStringLiteral("Excluir"), Caixas::Icone::Pergunta, true),
             Caixas::Resposta::Sim);
    // With no answer queued, a Yes/No box takes its default, No.
    QCOMPARE(Caixas::mostra(nullptr, QStringLiteral("De novo ?"), QStringLiteral("Excluir"), Caixas::Icone::Pergunta, true),
             Caixas::Resposta::Nao);
    QCOMPARE(Caixas::mostra(nullptr, QStringLiteral("Feito"), QStringLiteral("OK"), Caixas::Icone::Informacao),
             Caixas::Resposta::Ok);
    QCOMPARE(gravador.caixas().size(), 3);
    QCOMPARE(gravador.caixas().at(2).titulo, QStringLiteral("OK"));
    QVERIFY(!gravador.caixas().at(2).simNao);
}

void tst_Seams::caixaTaoLargaQuantoOTitulo()
{
    // The real box (no recorder): measured while it is up, then answered No.
    int largura = 0;
    QTimer::singleShot(0, [&] {
        auto* caixa = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        QVERIFY(caixa);
        largura = caixa->width();
        caixa->button(QMessageBox::No)->click();
    });
    const QString titulo = QStringLiteral("ZeltoSystem On-Line");
    QCOMPARE(Caixas::mostra(nullptr, QStringLiteral("Quer sair do sistema ?"), titulo, Caixas::Icone::Nenhum, true),
             Caixas::Resposta::Nao);
    QFont negrito = QApplication::font("QMessageBox");
    negrito.setBold(true);
    QVERIFY2(largura >= QFontMetrics(negrito).horizontalAdvance(titulo) + Caixas::folgaDoTitulo,
             qPrintable(QString::number(largura)));
}

void tst_Seams::impressoraDeTesteUmArquivoPorTrabalho()
{
    QTemporaryDir pasta;
    Impressoras::Gravador gravador(pasta.filePath(QStringLiteral("saida.pdf")));
    for (const char* titulo : {"Primeiro", "Segundo"}) {
        TrabalhoDeImpressao trabalho(QString::fromLatin1(titulo));
        QVERIFY(trabalho.impressora());
        QPainter pintor(trabalho.impressora());
        pintor.drawText(QPointF(10, 10), QString::fromLatin1(titulo));
        pintor.end();
        QCOMPARE(trabalho.envia(), QString());
    }
    QCOMPARE(gravador.trabalhos,
             (QStringList{pasta.filePath(QStringLiteral("saida.pdf")), pasta.filePath(QStringLiteral("saida-2.pdf"))}));
    QCOMPARE(gravador.titulos, (QStringList{QStringLiteral("Primeiro"), QStringLiteral("Segundo")}));
    for (const QString& arquivo : gravador.trabalhos)
        QVERIFY(QFileInfo(arquivo).size() > 0);

    // A refusal: told to the caller, nothing kept.
    gravador.recusa = QStringLiteral("Fila parada");
    TrabalhoDeImpressao recusado(QStringLiteral("Terceiro"));
    QPainter(recusado.impressora()).drawText(QPointF(10, 10), QStringLiteral("x"));
    QCOMPARE(recusado.envia(), QStringLiteral("Fila parada"));
    QCOMPARE(gravador.trabalhos.size(), 2);
    QCOMPARE(gravador.titulos.last(), QStringLiteral("Terceiro"));

    Impressoras::Gravador semImpressora{QString()};
    TrabalhoDeImpressao nenhum(QStringLiteral("Quarto"));
    QVERIFY(!nenhum.impressora());
    QVERIFY(!nenhum.envia().isEmpty());
}

QTEST_MAIN(tst_Seams)
#include "tst_seams.moc"
