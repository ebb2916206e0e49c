// Printing through the printer seam: the job is a PDF file, read back with pdftotext.
#include "app/Seams.h"
#include "app/modGlobais.h"
#include "reports/clsImpressora.h"
#include "reports/clsRelatorios.h"

#include <QPageLayout>
#include <QPrinter>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QXmlStreamReader>

namespace {

QString executa(const QString& programa, const QStringList& argumentos)
{
    QProcess p;
    p.start(programa, argumentos);
    if (!p.waitForFinished(60000) || p.exitCode() != 0)
        return QString();
    return QString::fromUtf8(p.readAllStandardOutput());
}

QList<clsAgenda> membros(int quantos)
{
    QList<clsAgenda> lista;
    for (int i = 1; i <= quantos; ++i) {
        clsAgenda m;
        m.numeroFicha = 1000 + i;
        m.nome = QStringLiteral("Membro número %1 da Conceição").arg(i);
        m.Data = QDate(2021, 1, 1).addDays(i);
        m.departamento.dsDepartamento = QStringLiteral("Secretaria");
        m.Valor = i + 0.25;
        lista.append(m);
    }
    return lista;
}

struct Palavra {
    int pagina;
    double xMin, yMin, xMax, yMax;
    QString texto;
};

// The words of a PDF with their boxes, from `pdftotext -bbox`.
QList<Palavra> palavras(const QString& pdf)
{
    QList<Palavra> lista;
    QXmlStreamReader xml(executa(QStringLiteral("pdftotext"), {QStringLiteral("-bbox"), pdf, QStringLiteral("-")}));
    int pagina = 0;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        if (xml.name() == QLatin1String("page")) {
            ++pagina;
        } else if (xml.name() == QLatin1String("word")) {
            const auto a = xml.attributes();
            Palavra p{pagina, a.value(QLatin1String("xMin")).toDouble(), a.value(QLatin1String("yMin")).toDouble(),
                      a.value(QLatin1String("xMax")).toDouble(), a.value(QLatin1String("yMax")).toDouble(), {}};
            p.texto = xml.readElementText();
            lista.append(p);
        }
    }
    return lista;
}

} // namespace

class tst_Impressora : public QObject {
    Q_OBJECT
private slots:
    void init();
    void relatorioLongoEmVariasPaginas();
    void colunasMonoespacadasDesdeOCanto();
    void totalDoDia();
    void textoVazioEUmTrabalho();
    void semImpressoraPadrao();
    void falhaDaImpressora();

private:
    QTemporaryDir m_pasta;
};

void tst_Impressora::init()
{
    QVERIFY(m_pasta.isValid());
    globais().impressora = std::make_shared<clsImpressora>();
}

void tst_Impressora::relatorioLongoEmVariasPaginas()
{
    const QString pdf = m_pasta.filePath(QStringLiteral("longo.pdf"));
    Impressoras::Gravador gravador(pdf);
    const QList<clsAgenda> lista = membros(200);

    QVERIFY(clsRelatorios().totalPorIntervaloDeData(lista));
    QCOMPARE(gravador.trabalhos, QStringList{pdf});   // one job for the whole report

    // -fixed: one text column per 6 pt, the pitch of a 10 pt monospace face, so the spacing
    // read back is the printed one and not pdftotext's guess.
    const QString lido = executa(QStringLiteral("pdftotext"),
                                 {QStringLiteral("-layout"), QStringLiteral("-fixed"), QStringLiteral("6"), pdf, QStringLiteral("-")});
    QVERIFY(!lido.isEmpty());
    const int paginas = lido.count(u'\f');
    QVERIFY2(paginas >= 3, qPrintable(QStringLiteral("%1 pages").arg(paginas)));

    // Every printed line, in order and with its inner spacing, the columns kept apart.
    QStringList impressas;
    for (const QString& l : lido.split(QRegularExpression(QStringLiteral("[\n\f]")))) {
        if (!l.trimmed().isEmpty())
            impressas.append(l.trimmed());
    }
    QStringList esperadas;
    for (const QString& l : clsRelatorios::montaRelatorio(lista, QStringLiteral("Total: ")).split(QStringLiteral("\r\n"))) {
        if (!l.trimmed().isEmpty())
            esperadas.append(l.trimmed());
    }
    QCOMPARE(impressas.size(), esperadas.size());
    for (int i = 0; i < esperadas.size(); ++i)
        QCOMPARE(impressas.at(i), esperadas.at(i));
    QVERIFY(impressas.last().startsWith(QStringLiteral("-----")));
    QCOMPARE(impressas.at(impressas.size() - 2), QStringLiteral("Total: R$ 20.150,00"));
}

void tst_Impressora::colunasMonoespacadasDesdeOCanto()
{
    const QString pdf = m_pasta.filePath(QStringLiteral("colunas.pdf"));
    Impressoras::Gravador gravador(pdf);
    QVERIFY(clsRelatorios().totalPorIntervaloDeData(membros(200)));

    const QList<Palavra> lista = palavras(pdf);
    QVERIFY(!lista.isEmpty());

    // The width of one character, from a date ("dd/MM/yyyy", ten characters).
    double largura = 0;
    for (const Palavra& p : lista) {
        if (p.texto == QLatin1String("02/01/2021")) {
            largura = (p.xMax - p.xMin) / 10;
            break;
        }
    }
    QVERIFY(largura > 0);
    // 10 pt monospace faces are about 6 pt a character.
    QVERIFY2(largura > 5 && largura < 7, qPrintable(QString::number(largura)));

    // Where the printable area starts: the rule is printed after seven spaces of indent.
    QPrinter referencia(QPrinter::HighResolution);
    referencia.setOutputFormat(QPrinter::PdfFormat);
    const QRectF area = referencia.pageLayout().paintRect(QPageLayout::Point);

    // One line step, from the first rule to the column titles below it.
    const double passo = lista.at(1).yMin - lista.at(0).yMin;
    QVERIFY2(passo > 10 && passo < 14, qPrintable(QString::number(passo)));

    int paginaAnterior = 0;
    int datas = 0;
    for (const Palavra& p : lista) {
        if (p.pagina != paginaAnterior) {
            paginaAnterior = p.pagina;
            // The first page opens with four empty lines; the others continue from the top.
            const double topo = area.top() + (p.pagina == 1 ? 4 * passo : 0);
            QVERIFY2(qAbs(p.yMin - topo) < 1.0,
                     qPrintable(QStringLiteral("page %1 starts at y=%2").arg(p.pagina).arg(p.yMin)));
        }
        QVERIFY2(p.yMax <= area.bottom() + 0.5, qPrintable(QStringLiteral("%1 below the printable area").arg(p.texto)));
        if (p.texto.startsWith(QStringLiteral("-----")))
            QVERIFY(qAbs(p.xMin - (area.left() + 7 * largura)) < 1.0);
        if (p.texto.size() == 10 && p.texto.at(2) == u'/' && p.texto.at(5) == u'/') {
            ++datas;
            // Date column right after the indent, on every page.
            QVERIFY(qAbs(p.xMin - (area.left() + 7 * largura)) < 1.0);
        }
        if (p.texto == QLatin1String("Membro")) {
            // The name column starts 12 + 20 + 8 characters after the date's.
            QVERIFY2(qAbs(p.xMin - (area.left() + (7 + 40) * largura)) < 1.0, qPrintable(QString::number(p.xMin)));
        }
    }
    QCOMPARE(datas, 200);
    QVERIFY(paginaAnterior >= 3);
}

void tst_Impressora::totalDoDia()
{
    const QString pdf = m_pasta.filePath(QStringLiteral("dia.pdf"));
    Impressoras::Gravador gravador(pdf);
    QVERIFY(clsRelatorios().totalDoDia(membros(2)));
    const QString lido = executa(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
    QVERIFY2(lido.contains(QStringLiteral("Total do Dia: R$ 3,50")), qPrintable(lido));
}

void tst_Impressora::textoVazioEUmTrabalho()
{
    const QString pdf = m_pasta.filePath(QStringLiteral("vazio.pdf"));
    Impressoras::Gravador gravador(pdf);
    clsImpressora().Imprime(QString());
    QCOMPARE(gravador.trabalhos.size(), 1);
    QVERIFY(QFile::exists(pdf));
    QVERIFY(executa(QStringLiteral("pdfinfo"), {pdf}).contains(QRegularExpression(QStringLiteral("Pages:\\s+1\n"))));
}

void tst_Impressora::semImpressoraPadrao()
{
    Impressoras::Gravador nenhuma{QString()};
    try {
        clsImpressora().Imprime(QStringLiteral("texto"));
        QFAIL("printing without a default printer must raise");
    } catch (const ErroDeExecucao& erro) {
        QCOMPARE(erro.origem(), QStringLiteral("clsImpressora"));
        QCOMPARE(erro.descricao(), QStringLiteral("Erro ao realizar impressão"));
    }
    QVERIFY(!clsRelatorios().totalPorIntervaloDeData(membros(1)));
    QVERIFY(!clsRelatorios().totalDoDia(membros(1)));
}

void tst_Impressora::falhaDaImpressora()
{
    // A job the printer cannot take (here: a PDF file in a folder that cannot exist).
    QFile arquivo(m_pasta.filePath(QStringLiteral("arquivo")));
    QVERIFY(arquivo.open(QIODevice::WriteOnly));
    arquivo.close();
    Impressoras::Gravador gravador(m_pasta.filePath(QStringLiteral("arquivo/saida.pdf")));
    QVERIFY_THROWS_EXCEPTION(ErroDeExecucao, clsImpressora().Imprime(QStringLiteral("texto")));
    QVERIFY(!clsRelatorios().totalPorIntervaloDeData(membros(1)));
}

QTEST_MAIN(tst_Impressora)
#include "tst_impressora.moc"
