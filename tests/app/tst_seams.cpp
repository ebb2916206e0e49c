#include "app/Caixas.h"
#include "app/Seams.h"

#include <QPrinter>
#include <QtTest>

class tst_Seams : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void filtroDoDialogo_data();
    void filtroDoDialogo();
    void caixasGravadasEResponde();
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

void tst_Seams::impressoraDeTesteUmArquivoPorTrabalho()
{
    QTemporaryDir pasta;
    Impressoras::Gravador gravador(pasta.filePath(QStringLiteral("saida.pdf")));
    auto primeira = Impressoras::padrao();
    auto segunda = Impressoras::padrao();
    QVERIFY(primeira && segunda);
    QCOMPARE(primeira->outputFileName(), pasta.filePath(QStringLiteral("saida.pdf")));
    QCOMPARE(segunda->outputFileName(), pasta.filePath(QStringLiteral("saida-2.pdf")));
    QCOMPARE(gravador.trabalhos.size(), 2);

    Impressoras::Gravador semImpressora{QString()};
    QVERIFY(!Impressoras::padrao());
}

QTEST_MAIN(tst_Seams)
#include "tst_seams.moc"
