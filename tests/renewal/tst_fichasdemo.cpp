// The demo sheets as the client receives them: they must look like sheets the client saved,
// so that opening and saving one changes nothing the operator did not type.
#include "AmbienteDeRenovacao.h"

#include <QRegularExpression>
#include <QSet>

class tst_FichasDemo : public QObject {
    Q_OBJECT
private slots:
    void comoOClienteGrava()
    {
        SessaoReal sessao(60);
        const QString erro = sessao.entra();
        QVERIFY2(erro.isEmpty(), qPrintable(erro));
        const QList<clsAgenda> fichas = sessao.fichas(0);
        QCOMPARE(fichas.size(), 60);
        static const QRegularExpression oitoDigitos(QStringLiteral("^\\d{8}$"));
        QSet<QString> cartoes;
        for (const clsAgenda& f : fichas) {
            // The client stores the post code without its hyphen.
            QVERIFY2(oitoDigitos.match(f.cep).hasMatch(), qPrintable(f.cep));
            // A card number of its own: the year of registration and a sequence.
            QVERIFY2(oitoDigitos.match(f.sistema).hasMatch(), qPrintable(f.sistema));
            QCOMPARE(f.sistema.left(4).toInt(), f.Data.year());
            cartoes.insert(f.sistema);
        }
        QCOMPARE(cartoes.size(), fichas.size());
    }
};

QTEST_MAIN(tst_FichasDemo)
#include "tst_fichasdemo.moc"
