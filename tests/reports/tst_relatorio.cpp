// The department report's text, line by line.
#include "reports/clsRelatorios.h"

#include <QTest>

namespace {

clsAgenda membro(QDate data, const QString& departamento, qint32 ficha, const QString& nome, double valor)
{
    clsAgenda m;
    m.Data = data;
    m.departamento.idDepartamento = 3;
    m.departamento.dsDepartamento = departamento;
    m.numeroFicha = ficha;
    m.nome = nome;
    m.Valor = valor;
    return m;
}

const QString R = QStringLiteral("       --------------------------------------------------------------------------------");
const QString titulos =
    QStringLiteral("       Data        Departamento        N.Ficha Nome                          Valor     ");

} // namespace

class tst_Relatorio : public QObject {
    Q_OBJECT
private slots:
    void texto_data();
    void texto();
    void linhasSoTerminamEmCrLf();
};

void tst_Relatorio::texto_data()
{
    QTest::addColumn<QList<clsAgenda>>("membros");
    QTest::addColumn<QString>("rotulo");
    QTest::addColumn<QStringList>("esperado");

    QTest::newRow("um membro")
        << QList<clsAgenda>{membro(QDate(2021, 3, 5), QStringLiteral("Secretaria"), 1532,
                                   QStringLiteral("Maria da Conceição"), 10.5)}
        << QStringLiteral("Total: ")
        << QStringList{QString(), QString(), QString(), QString(), R, titulos, R, QString(),
                       QStringLiteral("       05/03/2021  Secretaria          1532    Maria da Conceição            10,50     "),
                       QString(), R, QStringLiteral("       Total: R$ 10,50"), R};

    // Long texts are cut to their column; 10,5 + 2,25 must total 12,75.
    QTest::newRow("varios membros")
        << QList<clsAgenda>{
               membro(QDate(2020, 12, 31), QStringLiteral("Departamento de Missões Estrangeiras"), 7,
                      QStringLiteral("Bartolomeu Gonçalves de Albuquerque Filho"), 10.5),
               membro(QDate(2021, 1, 2), QStringLiteral("Jovens"), 12345678,
                      QStringLiteral("Ana"), 2.25),
               membro(QDate(2021, 1, 2), QStringLiteral("Exatamente vinte car"), 123456789,
                      QStringLiteral("Trinta caracteres exatos aqui!"), 0)}
        << QStringLiteral("Total: ")
        << QStringList{QString(), QString(), QString(), QString(), R, titulos, R, QString(),
                       QStringLiteral("       31/12/2020  Departamento de Miss7       Bartolomeu Gonçalves de Albuqu10,50     "),
                       QStringLiteral("       02/01/2021  Jovens              12345678Ana                           2,25      "),
                       QStringLiteral("       02/01/2021  Exatamente vinte car12345678Trinta caracteres exatos aqui!0,00      "),
                       QString(), R, QStringLiteral("       Total: R$ 12,75"), R};

    QTest::newRow("nenhum membro")
        << QList<clsAgenda>{} << QStringLiteral("Total: ")
        << QStringList{QString(), QString(), QString(), QString(), R, titulos, R, QString(),
                       QString(), R, QStringLiteral("       Total: R$ 0,00"), R};

    // Amounts use "." grouping; one wider than its column is cut on the right.
    QTest::newRow("valores grandes, total do dia")
        << QList<clsAgenda>{membro(QDate(2022, 6, 1), QStringLiteral("Tesouraria"), 1, QStringLiteral("Oferta"), 1234.5),
                            membro(QDate(2022, 6, 1), QStringLiteral("Tesouraria"), 2, QStringLiteral("Construção"), 1234567.89)}
        << QStringLiteral("Total do Dia: ")
        << QStringList{QString(), QString(), QString(), QString(), R, titulos, R, QString(),
                       QStringLiteral("       01/06/2022  Tesouraria          1       Oferta                        1.234,50  "),
                       QStringLiteral("       01/06/2022  Tesouraria          2       Construção                    1.234.567,"),
                       QString(), R, QStringLiteral("       Total do Dia: R$ 1.235.802,39"), R};
}

void tst_Relatorio::texto()
{
    QFETCH(QList<clsAgenda>, membros);
    QFETCH(QString, rotulo);
    QFETCH(QStringList, esperado);

    const QString texto = clsRelatorios::montaRelatorio(membros, rotulo);
    QVERIFY2(!texto.endsWith(QStringLiteral("\r\n")), "the text ends with the closing rule");
    const QStringList linhas = texto.split(QStringLiteral("\r\n"));
    for (int i = 0; i < qMin(linhas.size(), esperado.size()); ++i) {
        QCOMPARE(linhas.at(i), esperado.at(i));
        if (i >= 4 && !linhas.at(i).isEmpty() && !linhas.at(i).contains(QStringLiteral("Total")))
            QCOMPARE(linhas.at(i).size(), 87);
    }
    QCOMPARE(linhas.size(), esperado.size());
}

void tst_Relatorio::linhasSoTerminamEmCrLf()
{
    const QString texto = clsRelatorios::montaRelatorio(
        {membro(QDate(2021, 3, 5), QStringLiteral("Secretaria"), 1, QStringLiteral("Zé"), 1)},
        QStringLiteral("Total: "));
    QCOMPARE(texto.count(u'\n'), texto.count(QStringLiteral("\r\n")));
    QCOMPARE(texto.count(u'\r'), texto.count(QStringLiteral("\r\n")));
}

QTEST_GUILESS_MAIN(tst_Relatorio)
#include "tst_relatorio.moc"
