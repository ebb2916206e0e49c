// Card-stock calibration read back from the printed PDF: an offset moves every text by exactly
// that many millimetres, no calibration (or a neutral one) leaves the page as it was, a bad
// value prints nothing; the test page's outlines and marks land where the layout says; a
// lookup file older than the calibration table gets it without losing anything.
#include "PalavrasDoPdf.h"
#include "support/AmbienteDeTeste.h"
#include "support/VisualizacaoDeTeste.h"
#include "app/BancoLocal.h"
#include "app/Caixas.h"
#include "app/Seams.h"
#include "cards/Calibracao.h"
#include "cards/FrmConfig.h"
#include "cards/ImpressaoCarteiras.h"
#include "protocol/FormatoBR.h"

#include <QHash>
#include <QImage>
#include <QPageLayout>
#include <QPrinter>
#include <QPushButton>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

using namespace ImpressaoCarteiras;

namespace {

constexpr double pontosPorMm = 72.0 / 25.4;

QHash<QString, QString> layoutDeTeste()
{
    QHash<QString, QString> l;
    for (int c = 1; c <= carteirasPorFolha; ++c) {
        for (int i = 0; i < camposPorCarteira; ++i) {
            const CampoDaCarteira& campo = camposDaCarteira()[size_t(i)];
            l.insert(colunaDoCampo(campo, c), QString::number(i < 5 ? 300 + i * 150 : 5400 + i * 100));
            l.insert(linhaDoCampo(campo, c), QString::number(250 + (c - 1) * 3118 + (i % 5) * 520));
        }
        l.insert(fonteDaCarteira(c), QStringLiteral("9"));
    }
    return l;
}

QList<TextosDaCarteira> cincoCarteiras()
{
    QList<TextosDaCarteira> cs;
    for (int c = 1; c <= carteirasPorFolha; ++c) {
        TextosDaCarteira t;
        for (int i = 0; i < camposPorCarteira; ++i)
            t[size_t(i)] = QStringLiteral("%1C%2").arg(QString::fromLatin1(camposDaCarteira()[size_t(i)].campo).toUpper()).arg(c);
        cs.append(t);
    }
    return cs;
}

QPointF origemImprimivel()
{
    QPrinter p(QPrinter::HighResolution);
    p.setOutputFormat(QPrinter::PdfFormat);
    return p.pageLayout().paintRect(QPageLayout::Point).topLeft();
}

// The page rendered in grey at 144 dpi (2 pixels a point).
QImage raster(const QString& pdf, const QString& pasta)
{
    QProcess p;
    const QString prefixo = pasta + QStringLiteral("/pagina");
    p.start(QStringLiteral("pdftoppm"), {QStringLiteral("-r"), QStringLiteral("144"), QStringLiteral("-gray"),
                                         QStringLiteral("-singlefile"), pdf, prefixo});
    if (!p.waitForFinished(60000) || p.exitCode() != 0)
        return QImage();
    return QImage(prefixo + QStringLiteral(".pgm"));
}

// Whether a dark pixel lies within `raio` pixels of the point (in points).
bool escuroPerto(const QImage& img, QPointF pt, int raio)
{
    const int cx = qRound(pt.x() * 2), cy = qRound(pt.y() * 2);
    for (int y = cy - raio; y <= cy + raio; ++y)
        for (int x = cx - raio; x <= cx + raio; ++x)
            if (img.valid(x, y) && qGray(img.pixel(x, y)) < 128)
                return true;
    return false;
}

} // namespace

class tst_Calibracao : public QObject {
    Q_OBJECT
    QTemporaryDir m_pasta;
    int m_n = 0;
    QString pdf() { return m_pasta.filePath(QStringLiteral("job%1.pdf").arg(++m_n)); }

    QString imprimeCom(const QHash<QString, QString>& layout)
    {
        Impressoras::Gravador impressora(pdf());
        if (!imprime(nullptr, cincoCarteiras(), [&](const QString& n) { return layout.value(n); }))
            return QString();
        return impressora.trabalhos.value(0);
    }

private slots:
    void deslocamentoMoveCadaTexto_data()
    {
        QTest::addColumn<QString>("x");
        QTest::addColumn<QString>("y");
        QTest::addColumn<double>("dx");
        QTest::addColumn<double>("dy");
        QTest::newRow("3,5 mm a direita, 2 mm acima") << "3,5" << "-2" << 3.5 << -2.0;
        QTest::newRow("1,25 mm a esquerda, 4 mm abaixo") << "-1,25" << "4" << -1.25 << 4.0;
        QTest::newRow("so vertical") << "" << "10" << 0.0 << 10.0;
    }
    void deslocamentoMoveCadaTexto()
    {
        QFETCH(QString, x);
        QFETCH(QString, y);
        QFETCH(double, dx);
        QFETCH(double, dy);
        QHash<QString, QString> layout = layoutDeTeste();
        const PdfLido antes = lePdf(imprimeCom(layout));
        layout.insert(Calibracao::nomeX(), x);
        layout.insert(Calibracao::nomeY(), y);
        layout.insert(Calibracao::nomeEscala(), QStringLiteral("1"));
        const PdfLido depois = lePdf(imprimeCom(layout));
        QVERIFY(antes.ok && depois.ok);
        QCOMPARE(depois.paginas, 1);
        QCOMPARE(antes.palavras.size(), carteirasPorFolha * camposPorCarteira);
        QCOMPARE(depois.palavras.size(), antes.palavras.size());
        for (const PalavraDoPdf& a : antes.palavras) {
            const PalavraDoPdf d = depois.achadas(a.texto).value(0);
            QVERIFY2(qAbs((d.xMin - a.xMin) - dx * pontosPorMm) < 0.02
                         && qAbs((d.yMin - a.yMin) - dy * pontosPorMm) < 0.02
                         && qAbs((d.yMax - d.yMin) - (a.yMax - a.yMin)) < 0.01,
                     qPrintable(QStringLiteral("%1 moveu %2, %3").arg(a.texto).arg(d.xMin - a.xMin).arg(d.yMin - a.yMin)));
        }
    }

    // Without calibration, or with a neutral one, the page is the one printed before
    // calibration existed: the same bytes (but for the creation date).
    void calibracaoNeutraNaoMudaNada_data()
    {
        QTest::addColumn<QString>("x");
        QTest::addColumn<QString>("y");
        QTest::addColumn<QString>("escala");
        QTest::newRow("zeros") << "0" << "0" << "1";
        QTest::newRow("vazios") << "" << "" << "";
        QTest::newRow("zeros com decimais") << "0,00" << "-0" << "1,000";
    }
    void calibracaoNeutraNaoMudaNada()
    {
        QFETCH(QString, x);
        QFETCH(QString, y);
        QFETCH(QString, escala);
        QHash<QString, QString> layout = layoutDeTeste();
        const QString sem = imprimeCom(layout);
        layout.insert(Calibracao::nomeX(), x);
        layout.insert(Calibracao::nomeY(), y);
        layout.insert(Calibracao::nomeEscala(), escala);
        const QString com = imprimeCom(layout);
        QVERIFY(!sem.isEmpty() && !com.isEmpty());
        const QByteArray a = pdfSemData(sem);
        QVERIFY(a.size() > 1000);
        QCOMPARE(pdfSemData(com), a);
    }

    void escalaMultiplicaPosicoesEFonte()
    {
        QHash<QString, QString> layout = layoutDeTeste();
        const PdfLido antes = lePdf(imprimeCom(layout));
        layout.insert(Calibracao::nomeEscala(), QStringLiteral("1,1"));
        const PdfLido depois = lePdf(imprimeCom(layout));
        const QPointF o = origemImprimivel();
        for (const PalavraDoPdf& a : antes.palavras) {
            const PalavraDoPdf d = depois.achadas(a.texto).value(0);
            QVERIFY2(qAbs((d.xMin - o.x()) - 1.1 * (a.xMin - o.x())) < 0.05
                         && qAbs((d.yMin - o.y()) - 1.1 * (a.yMin - o.y())) < 0.05
                         && qAbs((d.yMax - d.yMin) - 1.1 * (a.yMax - a.yMin)) < 0.05,
                     qPrintable(a.texto));
        }
    }

    void calibracaoInvalidaNaoImprime_data()
    {
        QTest::addColumn<QString>("nome");
        QTest::addColumn<QString>("valor");
        QTest::newRow("letras no horizontal") << "deslocamentox" << "abc";
        QTest::newRow("dois numeros no vertical") << "deslocamentoy" << "1 2";
        QTest::newRow("escala zero") << "escala" << "0";
        QTest::newRow("escala grande demais") << "escala" << "3";
        // Numbers, but every text would land off the page: a blank sheet.
        QTest::newRow("500 mm a direita") << "deslocamentox" << "500";
        QTest::newRow("300 mm abaixo") << "deslocamentoy" << "300";
        QTest::newRow("10 mm a esquerda") << "deslocamentox" << "-10";
        QTest::newRow("escala que leva para fora") << "escala" << "1,9";
    }
    // The cards and the test page alike: one box naming the setting, nothing printed.
    void calibracaoInvalidaNaoImprime()
    {
        QFETCH(QString, nome);
        QFETCH(QString, valor);
        QHash<QString, QString> layout = layoutDeTeste();
        layout.insert(nome, valor);
        const auto le = [&](const QString& n) { return layout.value(n); };
        for (const bool paginaDeTeste : {false, true}) {
            Caixas::Gravador caixas;
            Impressoras::Gravador impressora(pdf());
            QVERIFY(!(paginaDeTeste ? PaginaDeTeste::imprime(nullptr, le) : imprime(nullptr, cincoCarteiras(), le)));
            QVERIFY(impressora.trabalhos.isEmpty());
            QCOMPARE(caixas.caixas().size(), 1);
            QCOMPARE(caixas.caixas().first().titulo, QStringLiteral("Configuração Inválida"));
            QVERIFY2(caixas.caixas().first().texto.contains(u'"' + nome + u'"'), qPrintable(caixas.caixas().first().texto));
        }
    }

    // In the layout window a value that would put a text off the page is refused as it is
    // typed, and one read from the file is set back to its default with one message. The range
    // the message gives fits the paper: its far end is taken and prints every text on the page.
    void calibracaoForaDaPaginaNaJanela_data()
    {
        QTest::addColumn<bool>("gravado");
        QTest::addColumn<QString>("nome");
        QTest::addColumn<QString>("valor");
        QTest::addColumn<QString>("legenda");
        for (const bool gravado : {false, true}) {
            const char* como = gravado ? "gravado" : "digitado";
            QTest::addRow("%s: 500 mm a direita", como) << gravado << "deslocamentox" << "500" << "deslocamento horizontal";
            QTest::addRow("%s: 80 mm acima", como) << gravado << "deslocamentoy" << "-80" << "deslocamento vertical";
            QTest::addRow("%s: escala 1,9", como) << gravado << "escala" << "1,9" << "escala";
        }
    }
    void calibracaoForaDaPaginaNaJanela()
    {
        QFETCH(bool, gravado);
        QFETCH(QString, nome);
        QFETCH(QString, valor);
        QFETCH(QString, legenda);
        QTemporaryDir pasta;
        QVERIFY2(criaBancoLocalDeTeste(pasta).isEmpty(), "lookup file");
        if (gravado) {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("grava"));
            db.setDatabaseName(pasta.filePath(QStringLiteral("ruduza.db")));
            QVERIFY(db.open());
            QVERIFY(QSqlQuery(db).exec(QStringLiteral("UPDATE calibracaocarteira SET %1 = '%2'").arg(nome, valor)));
            db.close();
        }
        if (gravado)
            QSqlDatabase::removeDatabase(QStringLiteral("grava"));
        Caixas::Gravador caixas;
        Impressoras::Gravador impressora(pasta.filePath(QStringLiteral("cartoes.pdf")));   // A4 as the paper
        const QString padrao = nome == Calibracao::nomeEscala() ? QStringLiteral("1") : QStringLiteral("0");
        QWidget dono;
        FrmConfig* janela = FrmConfig::instancia(&dono);
        const auto fecha = qScopeGuard([&] { delete janela; });
        QLineEdit* caixa = janela->caixa(nome);
        QVERIFY(caixa);
        const auto digita = [&](const QString& texto) {
            caixa->selectAll();
            QTest::keyClick(caixa, Qt::Key_Delete);
            QTest::keyClicks(caixa, texto);
            QTest::keyClick(caixa, Qt::Key_Return);
        };
        if (!gravado) {
            QVERIFY(caixas.caixas().isEmpty());
            digita(valor);
        }
        QCOMPARE(caixas.caixas().size(), 1);
        const Caixas::Registro aviso = caixas.caixas().first();
        QCOMPARE(aviso.titulo, QStringLiteral("Calibração da Impressora"));
        QVERIFY2(aviso.texto.contains(legenda) && aviso.texto.contains(valor), qPrintable(aviso.texto));
        QCOMPARE(caixa->text(), padrao);
        FrmConfig::instancia(&dono);
        QCOMPARE(caixas.caixas().size(), 1);   // told once

        // The far end of the range given fits; a step beyond it does not.
        static const QRegularExpression faixa(QStringLiteral("entre (-?[\\d.]*\\d(?:,\\d+)?) e (-?[\\d.]*\\d(?:,\\d+)?)"));
        const auto m = faixa.match(aviso.texto);
        QVERIFY2(m.hasMatch(), qPrintable(aviso.texto));
        const bool paraMais = !valor.startsWith(u'-');
        const QString extremo = m.captured(paraMais ? 2 : 1);
        const double passo = nome == Calibracao::nomeEscala() ? 0.02 : 0.2;
        digita(FormatoBR::formataValor(FormatoBR::converteValor(extremo, QString()) + (paraMais ? passo : -passo)));
        QCOMPARE(caixas.caixas().size(), 2);
        QCOMPARE(caixa->text(), padrao);
        digita(extremo);
        QCOMPARE(caixas.caixas().size(), 2);
        QCOMPARE(caixa->text(), extremo);
        QVERIFY(imprime(nullptr, cincoCarteiras(), [&](const QString& n) { return janela->valor(n); }));
        const PdfLido lido = lePdf(impressora.trabalhos.value(0));
        QCOMPARE(lido.palavras.size(), carteirasPorFolha * camposPorCarteira);
        QPrinter a4(QPrinter::HighResolution);
        a4.setOutputFormat(QPrinter::PdfFormat);
        const QRectF area = a4.pageLayout().paintRect(QPageLayout::Point).adjusted(-0.5, -0.5, 0.5, 0.5);
        for (const PalavraDoPdf& p : lido.palavras)
            QVERIFY2(area.contains(QPointF(p.xMin, p.yMin)), qPrintable(QStringLiteral("%1 em %2, %3").arg(p.texto).arg(p.xMin).arg(p.yMin)));
    }

    // The shipped layout, from the layout window's "Página de Teste" button: an outline for
    // the front and the back of each card, a mark and the setting's name at each field.
    void paginaDeTeste_data()
    {
        QTest::addColumn<QString>("x");
        QTest::addColumn<QString>("y");
        QTest::addColumn<double>("dx");
        QTest::addColumn<double>("dy");
        QTest::newRow("sem calibracao") << "0" << "0" << 0.0 << 0.0;
        QTest::newRow("2 mm a direita, 1,5 mm acima") << "2" << "-1,5" << 2.0 << -1.5;
    }
    void paginaDeTeste()
    {
        QFETCH(QString, x);
        QFETCH(QString, y);
        QFETCH(double, dx);
        QFETCH(double, dy);
        QTemporaryDir pasta;
        QVERIFY2(criaBancoLocalDeTeste(pasta).isEmpty(), "lookup file");
        Caixas::Gravador caixas;
        Impressoras::Gravador impressora(pasta.filePath(QStringLiteral("teste.pdf")));
        FrmConfig janela;
        janela.show();
        for (const auto& [nome, valor] : {std::pair{Calibracao::nomeX(), x}, std::pair{Calibracao::nomeY(), y}}) {
            QLineEdit* caixa = janela.findChild<QLineEdit*>(QStringLiteral("txt") + nome);
            QVERIFY(caixa);
            caixa->selectAll();
            QTest::keyClick(caixa, Qt::Key_Delete);
            QTest::keyClicks(caixa, valor);
        }
        auto* botao = janela.findChild<QPushButton*>(QStringLiteral("btnPaginaDeTeste"));
        QVERIFY(botao);
        QTest::mouseClick(botao, Qt::LeftButton);
        QVERIFY2(caixas.caixas().isEmpty(), qPrintable(titulosETextos(caixas).join(u'\n')));
        QCOMPARE(impressora.trabalhos.size(), 1);

        const auto le = [&](const QString& n) { return janela.valor(n); };
        const QPointF origem = origemImprimivel() + QPointF(dx, dy) * pontosPorMm;
        const PdfLido lido = lePdf(impressora.trabalhos.first());
        QCOMPARE(lido.paginas, 1);
        for (int c = 1; c <= carteirasPorFolha; ++c) {
            for (const CampoDaCarteira& campo : camposDaCarteira()) {
                const QString nome = QLatin1String(campo.campo) + QString::number(c);
                const PalavraDoPdf p = lido.achadas(nome).value(0);
                QVERIFY2(!p.texto.isEmpty(), qPrintable(nome));
                QVERIFY2(qAbs(p.xMin - (origem.x() + le(colunaDoCampo(campo, c)).toDouble() / 20)) < 0.3
                             && qAbs(p.yMin - (origem.y() + le(linhaDoCampo(campo, c)).toDouble() / 20)) < 0.5,
                         qPrintable(QStringLiteral("%1 em %2, %3").arg(nome).arg(p.xMin).arg(p.yMin)));
            }
        }

        const QImage img = raster(impressora.trabalhos.first(), pasta.path());
        QVERIFY(!img.isNull());
        const double w = PaginaDeTeste::larguraMm * pontosPorMm, h = PaginaDeTeste::alturaMm * pontosPorMm;
        for (int c = 1; c <= carteirasPorFolha; ++c) {
            for (const bool verso : {false, true}) {
                const std::optional<QPointF> canto = PaginaDeTeste::cantoDaFace(c, verso, le);
                QVERIFY(canto);
                const QPointF k = origem + *canto / 20.0;
                // The seeded faces: fronts at the printable area's left edge, backs at 90 mm,
                // cards every 55 mm.
                QVERIFY(qAbs(canto->x() - (verso ? 5102 : 0)) < 1 && qAbs(canto->y() - (c - 1) * 3118) < 1);
                const QString onde = QStringLiteral("carteira %1 %2").arg(c).arg(verso ? "verso" : "frente");
                // Each side's middle is inked; 2.5 points outside it is blank paper.
                const struct {
                    QPointF lado, fora;
                } lados[] = {
                    {QPointF(k.x(), k.y() + h / 2), QPointF(-2.5, 0)},
                    {QPointF(k.x() + w, k.y() + h / 2), QPointF(2.5, 0)},
                    {QPointF(k.x() + w / 2, k.y()), QPointF(0, -1.4)},
                    {QPointF(k.x() + w / 2, k.y() + h), QPointF(0, 1.4)},
                };
                for (const auto& l : lados) {
                    QVERIFY2(escuroPerto(img, l.lado, 1), qPrintable(onde));
                    QVERIFY2(!escuroPerto(img, l.lado + l.fora, 0), qPrintable(onde + QStringLiteral(" (fora)")));
                }
            }
        }
    }

    // A lookup file the operator may not write: the calibration says why as the layout does,
    // naming the group that may.
    void gravacaoNegadaDizOGrupo()
    {
        QTemporaryDir pasta;
        QVERIFY2(criaBancoLocalDeTeste(pasta).isEmpty(), "lookup file");
        Caixas::Gravador caixas;
        {
            FrmConfig janela;
            QLineEdit* caixa = janela.caixa(Calibracao::nomeX());
            QVERIFY(caixa);
            caixa->selectAll();
            QTest::keyClicks(caixa, QStringLiteral("1,5"));
            // The file turns read-only under the window (as for an operator outside the group).
            for (const QString& nome : QSqlDatabase::connectionNames())
                if (nome.startsWith(QLatin1String("calibracaocarteira-")))
                    QVERIFY(QSqlQuery(QSqlDatabase::database(nome)).exec(QStringLiteral("PRAGMA query_only = ON")));
            janela.accept();
        }
        QCOMPARE(caixas.caixas().size(), 1);
        const QString texto = caixas.caixas().first().texto;
        QVERIFY2(texto.startsWith(QStringLiteral("Não foi possível gravar a calibração:")), qPrintable(texto));
        QVERIFY2(texto.contains(QStringLiteral("grupo \"zelto\"")) && texto.contains(QStringLiteral("ruduza.db")),
                 qPrintable(texto));
    }

    // A lookup file made before the calibration table existed: opening the layout window adds
    // the table with its neutral record and leaves every other table and value as it was.
    void arquivoAntigoGanhaATabela()
    {
        QTemporaryDir pasta;
        const QString banco = pasta.filePath(QStringLiteral("antigo.db"));
        QStringList sementes = BancoLocal::sementesPadrao(qEnvironmentVariable("ZELTO_SOURCE_DIR") + QStringLiteral("/data"));
        sementes.removeIf([](const QString& s) { return s.contains(QStringLiteral("calibracao")); });
        QCOMPARE(sementes.size(), 2);
        QVERIFY(BancoLocal::criaDeSementes(banco, sementes).isEmpty());
        BancoLocal::defineCaminhoParaTeste(banco);
        int congregacoes = 0;
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("antes"));
            db.setDatabaseName(banco);
            QVERIFY(db.open());
            QVERIFY(!db.tables().contains(QStringLiteral("calibracaocarteira")));
            QSqlQuery q(db);
            QVERIFY(q.exec(QStringLiteral("UPDATE configcredencial SET nomex2 = '1234'")));
            QVERIFY(q.exec(QStringLiteral("SELECT COUNT(*) FROM congregacao")) && q.next());
            congregacoes = q.value(0).toInt();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("antes"));

        Caixas::Gravador caixas;
        {
            FrmConfig janela;
            QVERIFY(janela.carregado());
            QCOMPARE(janela.erro(), QString());
            QCOMPARE(janela.valor(QStringLiteral("nomex2")), QStringLiteral("1234"));
            QCOMPARE(janela.valor(Calibracao::nomeX()), QStringLiteral("0"));
            QCOMPARE(janela.valor(Calibracao::nomeEscala()), QStringLiteral("1"));
            QLineEdit* caixa = janela.caixa(Calibracao::nomeX());
            QVERIFY(caixa);
            caixa->selectAll();
            QTest::keyClicks(caixa, QStringLiteral("1,5"));
            janela.accept();
        }
        QVERIFY(caixas.caixas().isEmpty());
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("depois"));
            db.setDatabaseName(banco);
            QVERIFY(db.open());
            QSqlQuery q(db);
            QVERIFY(q.exec(QStringLiteral("SELECT deslocamentox, deslocamentoy, escala FROM calibracaocarteira")));
            QVERIFY(q.next());
            QCOMPARE(q.value(0).toString(), QStringLiteral("1,5"));
            QCOMPARE(q.value(1).toString(), QStringLiteral("0"));
            QVERIFY(!q.next());
            QVERIFY(q.exec(QStringLiteral("SELECT nomex2 FROM configcredencial")) && q.next());
            QCOMPARE(q.value(0).toString(), QStringLiteral("1234"));
            QVERIFY(q.exec(QStringLiteral("SELECT COUNT(*) FROM congregacao")) && q.next());
            QCOMPARE(q.value(0).toInt(), congregacoes);
        }
        QSqlDatabase::removeDatabase(QStringLiteral("depois"));
    }
};

QTEST_MAIN(tst_Calibracao)
#include "tst_calibracao.moc"
