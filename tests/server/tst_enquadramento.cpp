#include "server/network/Enquadramento.h"

#include <QTest>

using Enquadramento::Situacao;
Q_DECLARE_METATYPE(Enquadramento::Situacao)

class tst_Enquadramento : public QObject {
    Q_OBJECT
private slots:
    void analisa_data();
    void analisa();
};

void tst_Enquadramento::analisa_data()
{
    QTest::addColumn<QByteArray>("dados");
    QTest::addColumn<Situacao>("situacao");
    QTest::addColumn<int>("codigo");
    QTest::addColumn<int>("inicio");

    const QByteArray login = "3|ana|segredo|0|";
    const QByteArray busca = "12|0||30/12/1899|30/12/1899|1|";
    QTest::newRow("nada") << QByteArray() << Situacao::SoKeepAlive << -1 << 0;
    QTest::newRow("keep-alive") << QByteArray("1") << Situacao::SoKeepAlive << -1 << 0;
    QTest::newRow("tres keep-alives") << QByteArray("111") << Situacao::SoKeepAlive << -1 << 0;
    QTest::newRow("login") << login << Situacao::Completo << 3 << 0;
    QTest::newRow("login sem a ultima barra") << QByteArray("3|ana|segredo|0") << Situacao::Incompleto << 3 << 0;
    QTest::newRow("keep-alive e login") << "1" + login << Situacao::Completo << 3 << 1;
    QTest::newRow("busca nao e keep-alive") << busca << Situacao::Completo << 12 << 0;
    QTest::newRow("keep-alive e busca") << "1" + busca << Situacao::Completo << 12 << 1;
    QTest::newRow("dois keep-alives e busca") << "11" + busca << Situacao::Completo << 12 << 2;
    QTest::newRow("keep-alive e exclusao") << QByteArray("110|1") << Situacao::Incompleto << 10 << 1;
    QTest::newRow("keep-alive e salvar") << QByteArray("16|0|Ana") << Situacao::Incompleto << 6 << 1;
    QTest::newRow("codigo ainda sem barra") << QByteArray("12") << Situacao::Incompleto << -1 << 0;
    QTest::newRow("codigo de resposta") << QByteArray("7|x|y") << Situacao::Invalido << -1 << 0;
    QTest::newRow("codigo desconhecido") << QByteArray("99|x") << Situacao::Invalido << -1 << 0;
    QTest::newRow("zero a esquerda") << QByteArray("06|x") << Situacao::Invalido << -1 << 0;
    QTest::newRow("lixo") << QByteArray("\xff\x00zz", 4) << Situacao::Invalido << -1 << 0;
    QTest::newRow("barra sem codigo") << QByteArray("|3|a") << Situacao::Invalido << -1 << 0;
    QTest::newRow("keep-alive com barra") << QByteArray("1|") << Situacao::Invalido << -1 << 0;
    QTest::newRow("numero negativo") << QByteArray("-6|x") << Situacao::Invalido << -1 << 0;
}

void tst_Enquadramento::analisa()
{
    QFETCH(QByteArray, dados);
    const Enquadramento::Analise a = Enquadramento::analisa(dados);
    QTEST(a.situacao, "situacao");
    if (a.situacao == Situacao::Completo || a.situacao == Situacao::Incompleto) {
        QTEST(a.codigo, "codigo");
        QTEST(int(a.inicio), "inicio");
    }
}

QTEST_APPLESS_MAIN(tst_Enquadramento)
#include "tst_enquadramento.moc"
