// "Aniversariantes do Mês" as the secretary uses it, against the registry server holding a
// few hundred demo sheets: the month's members straight from the database, in day-then-name
// order, with the age they turn; the sheets without a usable birth date listed apart; the same
// lists printed, previewed and exported to CSV. The rules for reading a birth date are checked
// on their own first.
#include "cards/PalavrasDoPdf.h"
#include "support/AmbienteDeTeste.h"
#include "support/VisualizacaoDeTeste.h"
#include "ServidorReal.h"
#include "protocol/Wire.h"
#include "reports/Aniversariantes.h"
#include "reports/clsImpressora.h"
#include "reports/frmAniversariantes.h"
#include "reports/frmRelatorio.h"

#include <QCollator>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QMap>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSpinBox>
#include <QSqlQuery>
#include <QTreeWidget>

namespace {

const QDate hoje(2025, 6, 30);

struct FichaDoBanco {
    qint32 numero;
    QString nome, nascido, igreja;
};

QString textoDoPdf(const QString& pdf)
{
    QProcess p;
    p.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), QStringLiteral("-fixed"), QStringLiteral("6"), pdf,
                                          QStringLiteral("-")});
    p.waitForFinished(60000);
    return QString::fromUtf8(p.readAllStandardOutput());
}

QStringList coluna(const QTreeWidget* lista, int c)
{
    QStringList r;
    for (int i = 0; i < lista->topLevelItemCount(); ++i)
        r << lista->topLevelItem(i)->text(c);
    return r;
}

QStringList ordenados(QStringList l)
{
    l.sort();
    return l;
}

} // namespace

class tst_Aniversariantes : public QObject {
    Q_OBJECT

    std::unique_ptr<ServidorReal> servidor;
    std::unique_ptr<EntradaDeTeste> entrada;
    std::unique_ptr<Caixas::Gravador> caixas;
    QPointer<frmPrincipal> principal;
    QPointer<frmRelatorio> relatorio;
    QPointer<frmAniversariantes> janela;
    QList<FichaDoBanco> banco;
    QTemporaryDir pasta;

    // What the database says: the sheets born in `mes` (by the stored text), and those whose
    // text is not a date.
    void esperado(int mes, QList<FichaDoBanco>& doMes, QList<FichaDoBanco>& invalidas) const
    {
        static const QRegularExpression data(QStringLiteral(R"(^(\d\d?)/(\d\d?)/(\d{4})$)"));
        for (const FichaDoBanco& f : banco) {
            const auto m = data.match(f.nascido.trimmed());
            const QDate d = m.hasMatch() ? QDate(m.captured(3).toInt(), m.captured(2).toInt(), m.captured(1).toInt()) : QDate();
            if (!d.isValid() || d > hoje)
                invalidas.append(f);
            else if (d.month() == mes)
                doMes.append(f);
        }
    }

    void escolheMes(int mes)
    {
        janela->cboMes->setFocus();
        janela->cboMes->setCurrentIndex(0);
        for (int i = 1; i < mes; ++i)
            QTest::keyClick(janela->cboMes, Qt::Key_Down);
        QCOMPARE(janela->cboMes->currentData().toInt(), mes);
    }

private slots:
    void initTestCase()
    {
        servidor = std::make_unique<ServidorReal>(300);
        entrada = std::make_unique<EntradaDeTeste>();
        caixas = std::make_unique<Caixas::Gravador>();
        globais().impressora = std::make_shared<clsImpressora>();
        principal = entrada->entraNoServidor(*servidor);
        QVERIFY2(principal, qPrintable(entrada->erro));
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("conferencia"));
            db.setDatabaseName(servidor->caminhoDoBanco());
            QVERIFY(db.open());
            QSqlQuery q(QStringLiteral("SELECT numeroficha, nome, nascido, igreja FROM fichas WHERE iddepartamento = 1"), db);
            while (q.next())
                banco.append({q.value(0).toInt(), q.value(1).toString(), q.value(2).toString(), q.value(3).toString()});
        }
        QSqlDatabase::removeDatabase(QStringLiteral("conferencia"));
        QCOMPARE(banco.size(), 300);
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
        principal->Command2->click();
        relatorio = principal->findChild<frmRelatorio*>();
        QVERIFY(relatorio);
        QTest::mouseClick(relatorio->btnAniversariantes, Qt::LeftButton);
        janela = relatorio->findChild<frmAniversariantes*>();
        QVERIFY(janela);
        QVERIFY(janela->isVisible());
        QCOMPARE(janela->windowTitle(), QStringLiteral("Aniversariantes do Mês"));
        QCOMPARE(janela->cboMes->currentData().toInt(), QDate::currentDate().month());
        janela->defineHoje(hoje);
        QCOMPARE(janela->spnAno->value(), QDate::currentDate().year());
        janela->spnAno->selectAll();
        QTest::keyClicks(janela->spnAno, QStringLiteral("2025"));
        QCOMPARE(janela->spnAno->value(), 2025);
    }
    void cleanup() { delete relatorio; }

    void dataDeNascimento_data()
    {
        QTest::addColumn<QString>("nascido");
        QTest::addColumn<QDate>("data");
        QTest::newRow("completa") << "05/03/1970" << QDate(1970, 3, 5);
        QTest::newRow("sem zeros") << "5/3/1970" << QDate(1970, 3, 5);
        QTest::newRow("espacos") << " 29/02/2000 " << QDate(2000, 2, 29);
        QTest::newRow("ponto do formulario") << "." << QDate();
        QTest::newRow("vazia") << "" << QDate();
        QTest::newRow("31 de fevereiro") << "31/02/1978" << QDate();
        QTest::newRow("29/02 fora de bissexto") << "29/02/1981" << QDate();
        QTest::newRow("zeros") << "00/00/0000" << QDate();
        QTest::newRow("mes 13") << "15/13/1982" << QDate();
        QTest::newRow("ano de dois digitos") << "12/08/19" << QDate();
        QTest::newRow("letra no ano") << "30/04/196O" << QDate();
        QTest::newRow("depois de hoje") << "01/07/2025" << QDate();
        QTest::newRow("hoje") << "30/06/2025" << QDate(2025, 6, 30);
    }
    void dataDeNascimento()
    {
        QFETCH(QString, nascido);
        QFETCH(QDate, data);
        QCOMPARE(Aniversariantes::dataDeNascimento(nascido, hoje).value_or(QDate()), data);
    }

    // A ";" inside a value cannot split the CSV's columns; the mobile stands in for a missing
    // home phone; the same day orders by name, accents and case aside.
    void csvETelefone()
    {
        clsAgenda a, b, c;
        a.numeroFicha = 1;
        a.nome = QStringLiteral("Ana; Maria");
        a.nascido = QStringLiteral("09/12/1980");
        a.telResidencial = QStringLiteral(".");
        a.fone = QStringLiteral("11987654321");
        a.IGREJA = QStringLiteral("Sede; Centro");
        b.numeroFicha = 2;
        b.nome = QStringLiteral("ágata Lima");
        b.nascido = QStringLiteral("9/12/1990");
        b.telResidencial = QStringLiteral("1122223333");
        c.numeroFicha = 3;
        c.nome = QStringLiteral("Bruno");
        c.nascido = QStringLiteral("31/11/1990");
        const Aniversariantes::Lista l = Aniversariantes::monta({a, b, c}, 12, 2025, hoje);
        QCOMPARE(l.aniversariantes.size(), 2);
        QCOMPARE(l.aniversariantes[0].nome, QStringLiteral("ágata Lima"));
        QCOMPARE(l.aniversariantes[0].telefone, QStringLiteral("(11) 22223333"));
        QCOMPARE(l.aniversariantes[1].telefone, QStringLiteral("(11) 987654321"));
        QCOMPARE(l.aniversariantes[1].idade, 45);
        QCOMPARE(l.semData.size(), 1);
        const QStringList linhas = Wire::decodifica(Aniversariantes::csv(l)).split(QStringLiteral("\r\n"));
        QCOMPARE(linhas.value(2), QStringLiteral("9;Ana, Maria;45;Sede, Centro;(11) 987654321;09/12/1980"));
        QCOMPARE(linhas.value(3), QStringLiteral(";Bruno;;;;31/11/1990"));
        QCOMPARE(linhas.value(4), QString());
        QCOMPARE(linhas.size(), 5);
    }

    void listaOsDoMesComoOBancoDiz_data()
    {
        QTest::addColumn<int>("mes");
        for (int m : {1, 2, 7, 12})
            QTest::addRow("%s", qPrintable(Aniversariantes::nomeDoMes(m))) << m;
    }
    void listaOsDoMesComoOBancoDiz()
    {
        QFETCH(int, mes);
        QList<FichaDoBanco> doMes, invalidas;
        esperado(mes, doMes, invalidas);
        QVERIFY(doMes.size() >= 10);
        QVERIFY(invalidas.size() >= 3);   // the demo data has a few, as a real registry does

        escolheMes(mes);
        const QString antes = servidor->diario();
        QTest::mouseClick(janela->btnBuscar, Qt::LeftButton);
        QVERIFY2(caixas->caixas().isEmpty(), qPrintable(titulosETextos(*caixas).join(u'\n')));
        // One whole-department search, nothing new on the wire.
        QCOMPARE(servidor->diario().mid(antes.size()).count(QStringLiteral("12")) >= 1, true);

        const QTreeWidget* lista = janela->lstAniversariantes;
        QStringList nomesEsperados;
        for (const FichaDoBanco& f : doMes)
            nomesEsperados << f.nome;
        QCOMPARE(ordenados(coluna(lista, 1)), ordenados(nomesEsperados));

        // Day, then name in Portuguese order; the age turned in 2025; the congregation.
        QCollator ordem{QLocale(QLocale::Portuguese, QLocale::Brazil)};
        ordem.setCaseSensitivity(Qt::CaseInsensitive);
        for (int i = 0; i < lista->topLevelItemCount(); ++i) {
            const QTreeWidgetItem* item = lista->topLevelItem(i);
            const auto f = std::find_if(doMes.begin(), doMes.end(), [&](const FichaDoBanco& b) { return b.nome == item->text(1); });
            QVERIFY(f != doMes.end());
            const QDate d = *Aniversariantes::dataDeNascimento(f->nascido, hoje);
            QCOMPARE(item->text(0).toInt(), d.day());
            QCOMPARE(item->text(2).toInt(), 2025 - d.year());
            QCOMPARE(item->text(3), f->igreja);
            QVERIFY(item->text(4).startsWith(u'('));
            if (i > 0) {
                const QTreeWidgetItem* anterior = lista->topLevelItem(i - 1);
                const int da = anterior->text(0).toInt(), di = item->text(0).toInt();
                QVERIFY2(da < di || (da == di && ordem.compare(anterior->text(1), item->text(1)) <= 0),
                         qPrintable(anterior->text(1) + QStringLiteral(" / ") + item->text(1)));
            }
        }

        QStringList invalidasEsperadas;
        for (const FichaDoBanco& f : invalidas)
            invalidasEsperadas << QString::number(f.numero);
        QCOMPARE(ordenados(coluna(janela->lstSemData, 0)), ordenados(invalidasEsperadas));
        QCOMPARE(janela->lblResumo->text(),
                 QStringLiteral("%1: %2 aniversariante(s) em 2025").arg(Aniversariantes::nomeDoMes(mes)).arg(doMes.size()));
    }

    void impressoVisualizadoEExportado()
    {
        const int mes = 7;
        escolheMes(mes);
        QList<FichaDoBanco> doMes, invalidas;
        esperado(mes, doMes, invalidas);

        // Printed: the title, every birthday's line, the sheets apart with their count.
        const QString direto = pasta.filePath(QStringLiteral("aniversariantes.pdf"));
        {
            Impressoras::Gravador impressora(direto);
            QTest::mouseClick(janela->btnImprimir, Qt::LeftButton);
            QCOMPARE(impressora.trabalhos.size(), 1);
        }
        QCOMPARE(caixas->caixas().size(), 1);
        QCOMPARE(caixas->caixas().first().titulo, QStringLiteral("Relatório Gerado com Sucesso"));
        const QString lido = textoDoPdf(direto);
        QVERIFY2(lido.contains(QStringLiteral("Aniversariantes do Mês: Julho de 2025 - Secretaria")), qPrintable(lido));
        QVERIFY(lido.contains(QStringLiteral("Total: %1 aniversariantes").arg(doMes.size())));
        QVERIFY(lido.contains(QStringLiteral("Fichas sem data de nascimento válida: %1").arg(invalidas.size())));
        const QTreeWidget* lista = janela->lstAniversariantes;
        for (int i = 0; i < lista->topLevelItemCount(); ++i) {
            const QTreeWidgetItem* it = lista->topLevelItem(i);
            const QString linha = it->text(0).leftJustified(5) + it->text(1).left(29).leftJustified(30) + it->text(2);
            QVERIFY2(lido.contains(linha), qPrintable(linha));
        }

        // Previewed: the same pages.
        caixas->limpa();
        {
            DialogoArquivo::Gravador dialogo;
            Impressoras::Gravador nenhuma{QString()};
            VisualizacaoVista vista;
            const QString salvo = pasta.filePath(QStringLiteral("visualizado.pdf"));
            aoAbrirVisualizacao(vista, dialogo, salvo);
            QTest::mouseClick(janela->btnVisualizar, Qt::LeftButton);
            QVERIFY(vista.aberta);
            const PdfLido a = lePdf(direto), b = lePdf(salvo);
            QCOMPARE(vista.paginas, a.paginas);
            QCOMPARE(b.paginas, a.paginas);
            QCOMPARE(b.palavras.size(), a.palavras.size());
            for (qsizetype i = 0; i < a.palavras.size(); ++i)
                QVERIFY(a.palavras[i].texto == b.palavras[i].texto && qAbs(a.palavras[i].yMin - b.palavras[i].yMin) < 0.01);
        }

        // Exported: the department export's conventions (";" separated, CR LF, Windows-1252).
        caixas->limpa();
        DialogoArquivo::Gravador dialogo;
        const QString csv = pasta.filePath(QStringLiteral("aniversariantes.csv"));
        dialogo.proximoArquivo(csv);
        QTest::mouseClick(janela->btnExportarCSV, Qt::LeftButton);
        QCOMPARE(dialogo.titulos, QStringList{QStringLiteral("Salvar Aniversariantes do Mês ...")});
        QCOMPARE(caixas->caixas().size(), 1);
        QCOMPARE(caixas->caixas().first().texto, QStringLiteral("Arquivo gerado em: ") + csv);
        QFile f(csv);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray bytes = f.readAll();
        QVERIFY(bytes.endsWith("\r\n"));
        QVERIFY(!bytes.contains("\xC3"));   // no UTF-8: one byte per accented letter
        QStringList linhas = Wire::decodifica(bytes).split(QStringLiteral("\r\n"));
        linhas.removeLast();
        QCOMPARE(linhas.first(), QStringLiteral("Dia;Nome;Idade;Congregação;Telefone;Nascido em"));
        QCOMPARE(linhas.size(), 1 + doMes.size() + invalidas.size());
        for (int i = 0; i < lista->topLevelItemCount(); ++i) {
            const QStringList c = linhas[1 + i].split(u';');
            QCOMPARE(c.size(), 6);
            QCOMPARE(c[0].toInt(), lista->topLevelItem(i)->text(0).toInt());
            QCOMPARE(c[1], lista->topLevelItem(i)->text(1));
            QCOMPARE(c[2], lista->topLevelItem(i)->text(2));
        }
        for (int i = 0; i < invalidas.size(); ++i) {
            const QStringList c = linhas[1 + doMes.size() + i].split(u';');
            QCOMPARE(c.size(), 6);
            QVERIFY(c[0].isEmpty() && c[2].isEmpty());
        }
    }

    // Names and congregations longer than their columns, printed: on every line of either list
    // each word stays inside its column, a space short of the next (pdftotext -bbox positions).
    void colunasNaoSeEncostam_data()
    {
        QTest::addColumn<QString>("cabecalho");   // the first word of the list's header line
        QTest::addColumn<QStringList>("colunas");  // the header words where columns start
        QTest::newRow("aniversariantes") << "Dia"
                                         << QStringList{"Nome", "Idade", "Congregação", "Telefone"};
        QTest::newRow("sem data") << "N.Ficha" << QStringList{"Nome", "Nascido", "Congregação", "Telefone"};
    }
    void colunasNaoSeEncostam()
    {
        QFETCH(QString, cabecalho);
        QFETCH(QStringList, colunas);
        QList<clsAgenda> membros;
        for (int i = 0; i < 4; ++i) {
            clsAgenda m;
            m.numeroFicha = 9001 + i;
            m.nome = QStringLiteral("Maria Aparecida dos Santos Correia Rocha %1").arg(i);
            m.nascido = i % 2 ? QStringLiteral("31/11/1981") : QStringLiteral("05/07/198%1").arg(i);
            m.IGREJA = QStringLiteral("Congregação Osasco Centro Vila Yara");
            m.telResidencial = QStringLiteral("11988776655");
            membros.append(m);
        }
        const QString pdf = pasta.filePath(QStringLiteral("colunas-%1.pdf").arg(QTest::currentDataTag()));
        {
            Impressoras::Gravador impressora(pdf);
            clsImpressora().Imprime(Aniversariantes::texto(Aniversariantes::monta(membros, 7, 2025, hoje)));
        }
        const PdfLido lido = lePdf(pdf);
        QVERIFY(lido.ok);
        // Lines by height; the list's own from its header to the next ruler.
        QMap<int, QList<PalavraDoPdf>> linhas;
        for (const PalavraDoPdf& p : lido.palavras)
            linhas[qRound(p.yMin * 10)].append(p);
        QList<double> inicios;
        int verificadas = 0;
        for (const QList<PalavraDoPdf>& linha : std::as_const(linhas)) {
            if (linha.first().texto == cabecalho) {
                for (const QString& c : colunas)
                    for (const PalavraDoPdf& p : linha)
                        if (p.texto == c)
                            inicios.append(p.xMin);
                QCOMPARE(inicios.size(), colunas.size());
                continue;
            }
            if (inicios.isEmpty() || linha.first().texto.startsWith(u'-'))
                continue;
            if (linha.first().texto.startsWith(QLatin1String("Total")) || linha.first().texto == QLatin1String("Fichas"))
                break;
            for (const PalavraDoPdf& p : linha)
                for (const double inicio : inicios)
                    QVERIFY2(p.xMin >= inicio - 0.5 || p.xMax < inicio - 2,
                             qPrintable(QStringLiteral("\"%1\" (%2 a %3) encosta na coluna em %4")
                                            .arg(p.texto).arg(p.xMin).arg(p.xMax).arg(inicio)));
            ++verificadas;
        }
        QCOMPARE(verificadas, 2);
    }

    // January's list printed in December: the ages are those turned in the year chosen.
    void anoEscolhidoDaAsIdades()
    {
        escolheMes(1);
        janela->spnAno->selectAll();
        QTest::keyClicks(janela->spnAno, QStringLiteral("2026"));
        QTest::mouseClick(janela->btnBuscar, Qt::LeftButton);
        const QTreeWidget* lista = janela->lstAniversariantes;
        QVERIFY(lista->topLevelItemCount() > 0);
        for (int i = 0; i < lista->topLevelItemCount(); ++i) {
            const QString nome = lista->topLevelItem(i)->text(1);
            const auto f = std::find_if(banco.begin(), banco.end(), [&](const FichaDoBanco& b) { return b.nome == nome; });
            QVERIFY(f != banco.end());
            QCOMPARE(lista->topLevelItem(i)->text(2).toInt(), 2026 - Aniversariantes::dataDeNascimento(f->nascido, hoje)->year());
        }
        QVERIFY(janela->lblResumo->text().endsWith(QStringLiteral("em 2026")));
    }

    void fecharORelatorioFechaAJanela()
    {
        QPointer<frmAniversariantes> j = janela.data();
        relatorio->close();
        QTRY_VERIFY(!j);
    }
};

QTEST_MAIN(tst_Aniversariantes)
#include "tst_aniversariantes.moc"
