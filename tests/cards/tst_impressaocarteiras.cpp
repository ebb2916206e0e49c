// Card printing read back from the PDF: positions, sizes, which cards, one page, bad settings.
#include "PalavrasDoPdf.h"
#include "app/Caixas.h"
#include "app/Seams.h"
#include "cards/ImpressaoCarteiras.h"

#include <QHash>
#include <QPageLayout>
#include <QPrinter>
#include <QTemporaryDir>
#include <QtTest>

using namespace ImpressaoCarteiras;

namespace {

// One text per line: front fields on the left, back fields on the right, cards 3000 twips apart.
QHash<QString, QString> layoutDeTeste()
{
    QHash<QString, QString> l;
    for (int c = 1; c <= carteirasPorFolha; ++c) {
        for (int i = 0; i < camposPorCarteira; ++i) {
            const CampoDaCarteira& campo = camposDaCarteira()[size_t(i)];
            l.insert(colunaDoCampo(campo, c), QString::number(i < 5 ? 300 : 5300));
            l.insert(linhaDoCampo(campo, c), QString::number((c - 1) * 3000 + (i % 5) * 550));
        }
        l.insert(fonteDaCarteira(c), QStringLiteral("9"));
    }
    return l;
}

QString textoDe(int carteira, int campo)
{
    return QStringLiteral("%1C%2").arg(QString::fromLatin1(camposDaCarteira()[size_t(campo)].campo).toUpper()).arg(carteira);
}

QList<TextosDaCarteira> cincoCarteiras()
{
    QList<TextosDaCarteira> cs;
    for (int c = 1; c <= carteirasPorFolha; ++c) {
        TextosDaCarteira t;
        for (int i = 0; i < camposPorCarteira; ++i)
            t[size_t(i)] = textoDe(c, i);
        cs.append(t);
    }
    return cs;
}

// Where the printable area starts on the page, in points: the printer the seam hands out.
QPointF origemImprimivel()
{
    QPrinter p(QPrinter::HighResolution);
    p.setOutputFormat(QPrinter::PdfFormat);
    return p.pageLayout().paintRect(QPageLayout::Point).topLeft();
}

// Liberation Sans (what "Arial" resolves to): the word box pdftotext reports spans the
// font's ascent plus descent, 0.905 + 0.212 of the size.
constexpr double alturaPorPonto = 1.117;

} // namespace

class tst_ImpressaoCarteiras : public QObject {
    Q_OBJECT
    QTemporaryDir m_pasta;
    QString pdf(const char* nome) { return m_pasta.filePath(QString::fromLatin1(nome) + QStringLiteral(".pdf")); }

private slots:
    void imprimeAsCarteirasAteK_data();
    void imprimeAsCarteirasAteK();
    void carteiraVaziaNaoImprimeNada();
    void fonteDeUmaCarteiraSoMudaEla();
    void posicaoFracionaria();
    void textosComoEstao();
    void configuracaoInvalidaNaoImprime_data();
    void configuracaoInvalidaNaoImprime();
    void semImpressora();
};

void tst_ImpressaoCarteiras::imprimeAsCarteirasAteK_data()
{
    QTest::addColumn<int>("k");
    for (int k = 1; k <= 5; ++k)
        QTest::addRow("IMPRIMIR ate %d", k) << k;
}

void tst_ImpressaoCarteiras::imprimeAsCarteirasAteK()
{
    QFETCH(int, k);
    const QHash<QString, QString> layout = layoutDeTeste();
    const QList<TextosDaCarteira> todas = cincoCarteiras();
    Caixas::Gravador caixas;
    Impressoras::Gravador impressora(pdf("ate") + QString::number(k));
    QVERIFY(imprime(nullptr, todas.mid(0, k), [&](const QString& n) { return layout.value(n); }));
    QCOMPARE(caixas.caixas().size(), 0);
    QCOMPARE(impressora.trabalhos.size(), 1);

    const PdfLido lido = lePdf(impressora.trabalhos.first());
    QVERIFY(lido.ok);
    QCOMPARE(lido.paginas, 1);
    const QPointF origem = origemImprimivel();
    for (int c = 1; c <= 5; ++c) {
        for (int i = 0; i < camposPorCarteira; ++i) {
            const QString texto = textoDe(c, i);
            const QList<PalavraDoPdf> achadas = lido.achadas(texto);
            if (c > k) {
                QVERIFY2(achadas.isEmpty(), qPrintable(texto));
                continue;
            }
            QVERIFY2(achadas.size() == 1, qPrintable(texto));
            const PalavraDoPdf& p = achadas.first();
            const CampoDaCarteira& campo = camposDaCarteira()[size_t(i)];
            const double x = origem.x() + layout.value(colunaDoCampo(campo, c)).toDouble() / 20.0;
            const double y = origem.y() + layout.value(linhaDoCampo(campo, c)).toDouble() / 20.0;
            QVERIFY2(qAbs(p.xMin - x) < 1.0, qPrintable(QStringLiteral("%1 x %2 != %3").arg(texto).arg(p.xMin).arg(x)));
            QVERIFY2(qAbs(p.yMin - y) < 1.0, qPrintable(QStringLiteral("%1 y %2 != %3").arg(texto).arg(p.yMin).arg(y)));
            QVERIFY2(qAbs((p.yMax - p.yMin) - 9 * alturaPorPonto) < 0.5,
                     qPrintable(QStringLiteral("%1 altura %2").arg(texto).arg(p.yMax - p.yMin)));
        }
    }
    QCOMPARE(lido.palavras.size(), k * camposPorCarteira);
}

void tst_ImpressaoCarteiras::carteiraVaziaNaoImprimeNada()
{
    const QHash<QString, QString> layout = layoutDeTeste();
    QList<TextosDaCarteira> cs = cincoCarteiras();
    cs[2] = TextosDaCarteira{};   // card 3 empty, card 4 filled but beyond the button
    Impressoras::Gravador impressora(pdf("vazia"));
    QVERIFY(imprime(nullptr, cs.mid(0, 3), [&](const QString& n) { return layout.value(n); }));
    const PdfLido lido = lePdf(impressora.trabalhos.value(0));
    QCOMPARE(lido.paginas, 1);
    QCOMPARE(lido.palavras.size(), 2 * camposPorCarteira);
    for (const PalavraDoPdf& p : lido.palavras)
        QVERIFY2(p.texto.endsWith(u'1') || p.texto.endsWith(u'2'), qPrintable(p.texto));

    // Nothing at all: still one (blank) page.
    Impressoras::Gravador branca(pdf("branca"));
    QVERIFY(imprime(nullptr, {TextosDaCarteira{}}, [&](const QString& n) { return layout.value(n); }));
    const PdfLido lidoBranco = lePdf(branca.trabalhos.value(0));
    QCOMPARE(lidoBranco.paginas, 1);
    QCOMPARE(lidoBranco.palavras.size(), 0);
}

void tst_ImpressaoCarteiras::fonteDeUmaCarteiraSoMudaEla()
{
    QHash<QString, QString> layout = layoutDeTeste();
    layout.insert(QStringLiteral("fonte2"), QStringLiteral("16"));
    Impressoras::Gravador impressora(pdf("fonte"));
    QVERIFY(imprime(nullptr, cincoCarteiras().mid(0, 3), [&](const QString& n) { return layout.value(n); }));
    const PdfLido lido = lePdf(impressora.trabalhos.value(0));
    for (int c = 1; c <= 3; ++c) {
        const double esperado = (c == 2 ? 16 : 9) * alturaPorPonto;
        for (int i = 0; i < camposPorCarteira; ++i) {
            const PalavraDoPdf p = lido.achadas(textoDe(c, i)).value(0);
            QVERIFY2(qAbs((p.yMax - p.yMin) - esperado) < 0.5, qPrintable(textoDe(c, i)));
        }
    }
}

void tst_ImpressaoCarteiras::posicaoFracionaria()
{
    QHash<QString, QString> layout = layoutDeTeste();
    layout.insert(QStringLiteral("nomex1"), QStringLiteral("1234,5"));
    layout.insert(QStringLiteral("nomey1"), QStringLiteral(" 2.000 "));   // grouping and spaces
    Impressoras::Gravador impressora(pdf("fracao"));
    QVERIFY(imprime(nullptr, cincoCarteiras().mid(0, 1), [&](const QString& n) { return layout.value(n); }));
    const PalavraDoPdf p = lePdf(impressora.trabalhos.value(0)).achadas(textoDe(1, 1)).value(0);
    const QPointF origem = origemImprimivel();
    QVERIFY2(qAbs(p.xMin - (origem.x() + 1234.5 / 20)) < 0.3, qPrintable(QString::number(p.xMin)));
    QVERIFY2(qAbs(p.yMin - (origem.y() + 100)) < 1.0, qPrintable(QString::number(p.yMin)));
}

void tst_ImpressaoCarteiras::textosComoEstao()
{
    // A long name is neither cut nor wrapped: it runs on along its own line.
    const QHash<QString, QString> layout = layoutDeTeste();
    TextosDaCarteira t{};
    t[1] = QStringLiteral("JOSEFINA MARIA DAS GRACAS DE ALBUQUERQUE CAVALCANTI PESSOA DE MELLO SOBRINHA NETA");
    Impressoras::Gravador impressora(pdf("longo"));
    QVERIFY(imprime(nullptr, {t}, [&](const QString& n) { return layout.value(n); }));
    const PdfLido lido = lePdf(impressora.trabalhos.value(0));
    QStringList palavras;
    double y = -1;
    for (const PalavraDoPdf& p : lido.palavras) {
        palavras.append(p.texto);
        if (y < 0)
            y = p.yMin;
        QCOMPARE(p.yMin, y);
    }
    QCOMPARE(palavras.join(u' '), t[1]);
}

void tst_ImpressaoCarteiras::configuracaoInvalidaNaoImprime_data()
{
    QTest::addColumn<int>("k");
    QTest::addColumn<QString>("nome");
    QTest::addColumn<QString>("valor");
    QTest::addColumn<bool>("imprime");
    QTest::newRow("letras") << 3 << "nomey3" << "abc" << false;
    QTest::newRow("vazio") << 1 << "rgx1" << "" << false;
    QTest::newRow("ponto decimal ingles invalido") << 2 << "fichaversox2" << "12.5.x" << false;
    QTest::newRow("fonte zero") << 1 << "fonte1" << "0" << false;
    QTest::newRow("fonte negativa") << 5 << "fonte5" << "-3" << false;
    QTest::newRow("carteira nao impressa") << 2 << "nomey3" << "abc" << true;
}

void tst_ImpressaoCarteiras::configuracaoInvalidaNaoImprime()
{
    QFETCH(int, k);
    QFETCH(QString, nome);
    QFETCH(QString, valor);
    QFETCH(bool, imprime);
    QHash<QString, QString> layout = layoutDeTeste();
    layout.insert(nome, valor);
    layout.insert(QStringLiteral("setornomey5"), QStringLiteral("ruim"));   // later in print order
    Caixas::Gravador caixas;
    Impressoras::Gravador impressora(pdf("invalida"));
    const bool impresso = ImpressaoCarteiras::imprime(nullptr, cincoCarteiras().mid(0, k),
                                                      [&](const QString& n) { return layout.value(n); });
    QCOMPARE(impresso, imprime);
    if (imprime) {
        QCOMPARE(caixas.caixas().size(), 0);
        QCOMPARE(impressora.trabalhos.size(), 1);
        return;
    }
    QCOMPARE(impressora.trabalhos.size(), 0);   // no job at all
    QCOMPARE(caixas.caixas().size(), 1);
    const Caixas::Registro& r = caixas.caixas().first();
    QCOMPARE(r.titulo, QStringLiteral("Configuração Inválida"));
    QCOMPARE(r.icone, Caixas::Icone::Aviso);
    QVERIFY2(r.texto.contains(u'"' + nome + u'"'), qPrintable(r.texto));
    QVERIFY2(r.texto.contains(u'"' + valor + u'"'), qPrintable(r.texto));
    QVERIFY(!r.texto.contains(QStringLiteral("setornomey5")));
}

void tst_ImpressaoCarteiras::semImpressora()
{
    const QHash<QString, QString> layout = layoutDeTeste();
    Caixas::Gravador caixas;
    Impressoras::Gravador nenhuma{QString()};
    QVERIFY(!imprime(nullptr, cincoCarteiras().mid(0, 1), [&](const QString& n) { return layout.value(n); }));
    QCOMPARE(caixas.caixas().size(), 1);
    QCOMPARE(caixas.caixas().first().titulo, QStringLiteral("Impressora"));
}

QTEST_MAIN(tst_ImpressaoCarteiras)
#include "tst_impressaocarteiras.moc"
