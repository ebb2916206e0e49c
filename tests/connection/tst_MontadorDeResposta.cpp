#include "connection/MontadorDeResposta.h"
#include "protocol/clsAgenda.h"

#include <QtTest>

namespace {
QString ficha(int numero, const QString& nome)
{
    clsAgenda a;
    a.numeroFicha = numero;
    a.nome = nome;
    a.departamento.idDepartamento = 1;
    a.departamento.dsDepartamento = QStringLiteral("Secretaria");
    return a.toPipeString();
}
} // namespace

// When a reply that came in pieces has its whole shape.
class tst_MontadorDeResposta : public QObject {
    Q_OBJECT
private slots:
    void formaCompleta_data()
    {
        QTest::addColumn<QString>("texto");
        QTest::addColumn<bool>("completa");
        const QString umaFicha = ficha(7, QStringLiteral("Ana"));
        const QString duas = umaFicha + QStringLiteral("@@@") + ficha(8, QStringLiteral("Bia"));

        QTest::newRow("nada") << QString() << false;
        QTest::newRow("aceite") << "2" << true;
        QTest::newRow("login negado com barra") << "5|" << true;
        QTest::newRow("usuario sem o ultimo campo") << "4|ana|x|1" << false;
        QTest::newRow("usuario com todos os campos") << "4|ana|x|1|Secretaria" << true;
        QTest::newRow("ficha inteira") << "7|" + umaFicha << true;
        QTest::newRow("ficha sem o departamento") << "7|" + umaFicha.section(u'|', 0, 64) << false;
        QTest::newRow("lista vazia") << "13|" << true;
        QTest::newRow("lista de uma ficha") << "13|" + umaFicha << true;
        QTest::newRow("lista de duas fichas") << "13|" + duas << true;
        QTest::newRow("segunda ficha comecada") << "13|" + umaFicha + "@@@8" << false;
        QTest::newRow("segunda ficha pela metade")
            << "13|" + umaFicha + "@@@" + ficha(8, QStringLiteral("Bia")).section(u'|', 0, 30) << false;
        QTest::newRow("codigo que nao e numero") << "abc|x" << true;
        QTest::newRow("texto sem codigo") << "abc" << true;
        QTest::newRow("codigo desconhecido") << "99" << true;
    }
    void formaCompleta()
    {
        QFETCH(QString, texto);
        QFETCH(bool, completa);
        MontadorDeResposta m;
        m.acrescenta(texto);
        QCOMPARE(m.formaCompleta(), completa);
        QCOMPARE(m.texto(), texto);
    }

    // A reply whose code the request does not wait for is whole once its code is known:
    // only the code is reported. A code that may still grow into an expected one waits.
    void codigoInesperado_data()
    {
        QTest::addColumn<QString>("texto");
        QTest::addColumn<bool>("completa");
        QTest::newRow("9 sozinho numa busca") << "9" << true;
        QTest::newRow("9 com parte da ficha") << "9|12|Ana" << true;
        QTest::newRow("login aceito numa busca") << "4|ana" << true;
        QTest::newRow("13 esperado, pela metade") << "13|" + ficha(7, QStringLiteral("Ana")).section(u'|', 0, 30) << false;
    }
    void codigoInesperado()
    {
        QFETCH(QString, texto);
        QFETCH(bool, completa);
        MontadorDeResposta m;
        m.defineEsperados({13, 14});
        m.acrescenta(texto);
        QCOMPARE(m.formaCompleta(), completa);
    }

    // Every sheet of a list ends with its department's number and description. Once the
    // operator's are known, a list whose last sheet has that number and ends on part of the
    // description (or inside the "@@@" after it) is not whole, and no quiet interval takes
    // it; any other ending is judged as before (an empty one too: a server may write none).
    void listaComODepartamento_data()
    {
        QTest::addColumn<QString>("fim");   // the last sheet's department pieces, as they came
        QTest::addColumn<bool>("completa");
        QTest::newRow("descricao inteira") << "1|Secretaria" << true;
        QTest::newRow("descricao cortada") << "1|Secre" << false;
        QTest::newRow("descricao vazia") << "1|" << true;
        QTest::newRow("separador comecado") << "1|Secretaria@@" << false;
        QTest::newRow("outra descricao") << "1|Tesouraria" << true;
        QTest::newRow("outro departamento") << "2|Secre" << true;
        QTest::newRow("departamento nenhum") << "0|" << true;
    }
    void listaComODepartamento()
    {
        QFETCH(QString, fim);
        QFETCH(bool, completa);
        const QString lista = "13|" + ficha(7, QStringLiteral("Ana")) + "@@@" + ficha(8, QStringLiteral("Bia"));
        MontadorDeResposta m;
        m.defineEsperados({13, 14});
        m.defineDepartamento(1, QStringLiteral("Secretaria"));
        m.acrescenta(QString(lista.left(lista.lastIndexOf(u'|', lista.lastIndexOf(u'|') - 1) + 1) + fim));
        QCOMPARE(m.formaCompleta(), completa);
        QCOMPARE(m.silencioMs(MontadorDeResposta::Silencios()), completa ? MontadorDeResposta::Silencios().lista : -1);
    }

    // Fed one character at a time, a record is whole only from its last "|" on, and the
    // pieces put together are the reply.
    void registroUmCaracterPorVez()
    {
        const QString resposta = QStringLiteral("4|ana|segredo|3|Tesouraria");
        const qsizetype ultimaBarra = resposta.lastIndexOf(u'|');
        MontadorDeResposta m;
        for (qsizetype i = 0; i < resposta.size(); ++i) {
            m.acrescenta(QStringView(resposta).mid(i, 1));
            QCOMPARE(m.formaCompleta(), i >= ultimaBarra);
        }
        QCOMPARE(m.texto(), resposta);
    }

    // A list waits longer for silence than a record; an incomplete shape longest.
    void silencios()
    {
        MontadorDeResposta::Silencios s;
        s.registro = 3;
        s.lista = 30;
        s.incompleta = 900;
        MontadorDeResposta m;
        QCOMPARE(m.silencioMs(s), -1);
        m.acrescenta(u"4|ana");
        QCOMPARE(m.silencioMs(s), 900);
        m.acrescenta(u"|x|1|Sec");
        QCOMPARE(m.silencioMs(s), 3);
        m.reinicia();
        m.acrescenta(QString(QStringLiteral("13|") + ficha(1, QStringLiteral("Ana"))));
        QCOMPARE(m.silencioMs(s), 30);
    }
};

QTEST_GUILESS_MAIN(tst_MontadorDeResposta)
#include "tst_MontadorDeResposta.moc"
