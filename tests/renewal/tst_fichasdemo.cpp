// The demo sheets as the client receives them: they must look like sheets the client saved,
// so that opening and saving one changes nothing the operator did not type.
#include "AmbienteDeRenovacao.h"
#include "server/store/FichasDemo.h"

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

    // Every date a possible one, children included (converted at most from the age of ten,
    // married after nineteen), for any seed.
    void datasPossiveis()
    {
        const QDate hoje(2025, 6, 30);
        const auto leData = [](const QString& texto) { return QDate::fromString(texto, QStringLiteral("dd/MM/yyyy")); };
        for (quint32 semente : {1u, 2u, 3u}) {
            for (const clsAgenda& f : FichasDemo::gera(3000, semente)) {
                const QDate nascido = leData(f.nascido);
                if (!nascido.isValid())
                    continue;   // the few left unusable on purpose, as in a real registry
                const QDate conversao = leData(f.datacons);
                QVERIFY(nascido <= hoje);
                QVERIFY2(conversao.isValid() && conversao > nascido, qPrintable(f.nome + QStringLiteral(": ") + f.datacons));
                if (!f.datacas.isEmpty())
                    QVERIFY2(leData(f.datacas) > nascido, qPrintable(f.datacas));
            }
        }
    }
};

QTEST_MAIN(tst_FichasDemo)
#include "tst_fichasdemo.moc"
