// The member sheet on the wire: 67 pieces, the two swapped pairs, the department tail,
// lists joined by "@@@", and what happens to texts that break the framing.
#include "protocol/clsAgenda.h"
#include "protocol/ErroDeExecucao.h"
#include "protocol/Wire.h"

#include <QSet>
#include <QTest>

namespace {

QStringList pecas(const QString& texto) { return texto.split(u'|'); }

// A sheet with every field filled, accents included.
clsAgenda fichaCompleta(int numero = 4711)
{
    clsAgenda a;
    a.numeroFicha = numero;
    a.nome = QStringLiteral("José da Conceição");
    a.endereco = QStringLiteral("Rua São João, 45");
    a.bairro = QStringLiteral("Jardim Paulistânia");
    a.cidade = QStringLiteral("São Paulo");
    a.cep = QStringLiteral("01234-567");
    a.uf = QStringLiteral("SP");
    a.telResidencial = QStringLiteral("1134567890");
    a.telComercial = QStringLiteral("1198765432");
    a.Data = QDate(2007, 3, 5);
    a.Valor = 1234.5;
    a.ocorrencia = QStringLiteral("ocorrência");
    a.IGREJA = QStringLiteral("Sede");
    a.sistema = QStringLiteral("sis");
    a.registro = QStringLiteral("MEMBROS");
    a.Ficha = QStringLiteral("F-1");
    int i = 0;
    for (const CampoDaFicha& c : clsAgenda::campos()) {
        if (c.tipo == CampoDaFicha::Tipo::Texto && (a.*c.texto).isEmpty())
            a.*c.texto = QStringLiteral("valor %1 ação").arg(++i);
    }
    a.departamento.idDepartamento = 3;
    a.departamento.dsDepartamento = QStringLiteral("Secretaria");
    return a;
}

QStringList pecasDe(const clsAgenda& a) { return pecas(a.toPipeString()); }

} // namespace

class tst_Agenda : public QObject {
    Q_OBJECT
private slots:
    void registroNovo()
    {
        const QStringList p = pecasDe(clsAgenda());
        QCOMPARE(p.size(), 67);
        QCOMPARE(p[0], u"0");
        for (int i = 1; i <= 8; ++i)
            QVERIFY2(p[i].isEmpty(), qPrintable(QString::number(i)));
        QCOMPARE(p[9], u"30/12/1899");
        QCOMPARE(p[10], u"0,00");
        for (int i = 11; i <= 64; ++i)
            QVERIFY2(p[i].isEmpty(), qPrintable(QString::number(i)));
        QCOMPARE(p[65], u"0");
        QCOMPARE(p[66], u"");
    }

    void tabelaDeCampos()
    {
        const auto campos = clsAgenda::campos();
        QCOMPARE(campos.size(), size_t(65));
        QSet<QString> nomes;
        for (const CampoDaFicha& c : campos)
            nomes.insert(QString::fromLatin1(c.nome));
        QCOMPARE(nomes.size(), 65);
        QCOMPARE(campos[0].nome, "numeroFicha");
        QCOMPARE(campos[9].tipo, CampoDaFicha::Tipo::Data);
        QCOMPARE(campos[10].tipo, CampoDaFicha::Tipo::Valor);
    }

    void posicaoDosCampos_data()
    {
        QTest::addColumn<QString>("campo");
        QTest::addColumn<int>("peca");
        QTest::newRow("nome") << "nome" << 1;
        QTest::newRow("uf") << "uf" << 6;
        QTest::newRow("telComercial") << "telComercial" << 8;
        QTest::newRow("ocorrencia") << "ocorrencia" << 11;
        QTest::newRow("sistema") << "sistema" << 12;
        QTest::newRow("registro") << "registro" << 13;
        QTest::newRow("Ficha") << "Ficha" << 14;
        QTest::newRow("IGREJA") << "IGREJA" << 15;
        QTest::newRow("civil") << "civil" << 16;
        QTest::newRow("filiacao") << "filiacao" << 23;
        QTest::newRow("obs") << "obs" << 52;
        QTest::newRow("usuario") << "usuario" << 60;
        QTest::newRow("datausuario") << "datausuario" << 61;
        QTest::newRow("datausuariohora") << "datausuariohora" << 62;
        QTest::newRow("statuscod") << "statuscod" << 63;
        QTest::newRow("status") << "status" << 64;
    }
    void posicaoDosCampos()
    {
        QFETCH(QString, campo);
        QFETCH(int, peca);
        clsAgenda a;
        QString* alvo = nullptr;
        if (campo == u"nome") alvo = &a.nome;
        else if (campo == u"uf") alvo = &a.uf;
        else if (campo == u"telComercial") alvo = &a.telComercial;
        else if (campo == u"ocorrencia") alvo = &a.ocorrencia;
        else if (campo == u"sistema") alvo = &a.sistema;
        else if (campo == u"registro") alvo = &a.registro;
        else if (campo == u"Ficha") alvo = &a.Ficha;
        else if (campo == u"IGREJA") alvo = &a.IGREJA;
        else if (campo == u"civil") alvo = &a.civil;
        else if (campo == u"filiacao") alvo = &a.filiacao;
        else if (campo == u"obs") alvo = &a.obs;
        else if (campo == u"usuario") alvo = &a.usuario;
        else if (campo == u"datausuario") alvo = &a.datausuario;
        else if (campo == u"datausuariohora") alvo = &a.datausuariohora;
        else if (campo == u"statuscod") alvo = &a.statuscod;
        else if (campo == u"status") alvo = &a.status;
        QVERIFY(alvo);
        *alvo = QStringLiteral("marca");
        const QStringList p = pecasDe(a);
        QCOMPARE(p.size(), 67);
        QCOMPARE(p.indexOf(QStringLiteral("marca")), peca);
        QCOMPARE(p.count(QStringLiteral("marca")), 1);

        // and read back from that position into the same property
        QStringList vazio = pecasDe(clsAgenda());
        vazio[peca] = QStringLiteral("lido");
        a = clsAgenda();
        a.fromPipeString(vazio.join(u'|'));
        QCOMPARE(*alvo, u"lido");
    }

    void trocasIgrejaEStatus()
    {
        clsAgenda a;
        a.IGREJA = QStringLiteral("X");
        a.Ficha = QStringLiteral("Y");
        a.status = QStringLiteral("A");
        a.statuscod = QStringLiteral("1");
        const QStringList p = pecasDe(a);
        QCOMPARE(p[14], u"Y");
        QCOMPARE(p[15], u"X");
        QCOMPARE(p[63], u"1");
        QCOMPARE(p[64], u"A");
    }

    void idaEVolta()
    {
        const clsAgenda a = fichaCompleta();
        clsAgenda b;
        b.fromPipeString(a.toPipeString());
        QCOMPARE(b, a);
        QCOMPARE(b.Valor, 1234.5);
        QCOMPARE(pecasDe(a)[10], u"1.234,50");
        QCOMPARE(pecasDe(a)[9], u"05/03/2007");
    }

    // The texts of a parsed sheet are independent strings: changing one never shows in another.
    void textosLidosSaoIndependentes()
    {
        clsAgenda a;
        a.fromPipeString(fichaCompleta().toPipeString());
        const clsAgenda original = a;
        a.nome += QStringLiteral(" Filho");
        a.endereco.data()[0] = u'X';
        a.bairro.prepend(QStringLiteral("Vila "));
        a.cidade.resize(200, u'z');
        QCOMPARE(a.nome, fichaCompleta().nome + QStringLiteral(" Filho"));
        QCOMPARE(a.endereco, u"Xua São João, 45");
        QCOMPARE(a.bairro, u"Vila Jardim Paulistânia");
        QCOMPARE(a.cep, original.cep);
        QCOMPARE(a.uf, original.uf);
        QCOMPARE(original.endereco, fichaCompleta().endereco);
        // each text ends where it should, for the APIs that read up to the terminator
        QCOMPARE(QString::fromUtf16(reinterpret_cast<const char16_t*>(original.uf.utf16())), u"SP");
        QCOMPARE(QString::fromUtf16(reinterpret_cast<const char16_t*>(original.status.utf16())), original.status);

        // a text kept after its sheet is gone still grows and shrinks correctly
        QString nome;
        {
            clsAgenda b;
            b.fromPipeString(fichaCompleta().toPipeString());
            nome = b.nome;
        }
        nome.prepend(QStringLiteral(">> "));
        nome.append(QString(3000, u'y'));
        QCOMPARE(nome.left(6), u">> Jos");
        QCOMPARE(nome.size(), 3 + fichaCompleta().nome.size() + 3000);
        nome.squeeze();
        QCOMPARE(nome.right(1), u"y");
    }

    void comComando()
    {
        const clsAgenda a = fichaCompleta(12);
        const QString msg = a.toPipeStringWithCommand(6);
        QVERIFY(msg.startsWith(u"6|12|José"));
        QCOMPARE(pecas(msg).size(), 68);
        clsAgenda b;
        QCOMPARE(b.fromPipeStringWithCommand(msg), 6);
        QCOMPARE(b, a);
    }

    // The record is filled before the code is read, so a bad code still leaves the fields set.
    void codigoInvalidoDepoisDePreencher()
    {
        clsAgenda b;
        try {
            b.fromPipeStringWithCommand(QStringLiteral("x|") + fichaCompleta().toPipeString());
            QFAIL("no error raised");
        } catch (const ErroDeExecucao& e) {
            QCOMPARE(e.origem(), u"clsAgenda");
            QVERIFY(!e.descricao().isEmpty());
        }
        QCOMPARE(b.nome, fichaCompleta().nome);
    }

    void semBarraNaMensagem()
    {
        clsAgenda b;
        QVERIFY_THROWS_EXCEPTION(ErroDeExecucao, b.fromPipeStringWithCommand(u"13"));
    }

    void exatamente67Pecas()
    {
        QStringList p;
        for (int i = 0; i < 67; ++i)
            p << QStringLiteral("t%1").arg(i);
        p[0] = QStringLiteral("99");
        p[9] = QStringLiteral("01/02/2003");
        p[10] = QStringLiteral("7,25");
        p[65] = QStringLiteral("8");
        clsAgenda a;
        a.fromPipeString(p.join(u'|'));
        QCOMPARE(a.numeroFicha, 99);
        QCOMPARE(a.nome, u"t1");
        QCOMPARE(a.Data, QDate(2003, 2, 1));
        QCOMPARE(a.Valor, 7.25);
        QCOMPARE(a.IGREJA, u"t15");
        QCOMPARE(a.Ficha, u"t14");
        QCOMPARE(a.statuscod, u"t63");
        QCOMPARE(a.status, u"t64");
        QCOMPARE(a.departamento.idDepartamento, 8);
        QCOMPARE(a.departamento.dsDepartamento, u"t66");
        QCOMPARE(a.toPipeString(), p.join(u'|'));
    }

    void caudaDoDepartamento()
    {
        QStringList p = pecasDe(fichaCompleta());
        p << QStringLiteral("sobra") << QStringLiteral("mais");
        clsAgenda a;
        a.fromPipeString(p.join(u'|'));
        QCOMPARE(a.departamento.idDepartamento, 3);
        QCOMPARE(a.departamento.dsDepartamento, u"Secretaria");
    }

    void pecasFaltando_data()
    {
        QTest::addColumn<int>("quantas");
        QTest::newRow("65: department without description") << 65;
        QTest::newRow("66") << 66;
        QTest::newRow("30") << 30;
        QTest::newRow("2") << 2;
        QTest::newRow("1") << 1;
    }
    void pecasFaltando()
    {
        QFETCH(int, quantas);
        const QStringList p = pecasDe(fichaCompleta()).mid(0, quantas);
        clsAgenda a;
        try {
            a.fromPipeString(p.join(u'|'));
            QFAIL("no error raised");
        } catch (const ErroDeExecucao& e) {
            QVERIFY(!e.origem().isEmpty());
            QVERIFY(e.descricao().contains(u"Subscrito fora do intervalo"));
        }
        // the pieces read before the missing one hold their new values
        QCOMPARE(a.numeroFicha, 4711);
        if (quantas > 1)
            QCOMPARE(a.nome, fichaCompleta().nome);
        if (quantas >= 65)
            QCOMPARE(a.status, fichaCompleta().status);
    }

    void textoVazio()
    {
        clsAgenda a;
        QVERIFY_THROWS_EXCEPTION(ErroDeExecucao, a.fromPipeString(u""));
    }

    void conversoes_data()
    {
        QTest::addColumn<int>("peca");
        QTest::addColumn<QString>("texto");
        QTest::newRow("numero letras") << 0 << "abc";
        QTest::newRow("numero vazio") << 0 << "";
        QTest::newRow("numero grande") << 0 << "99999999999";
        QTest::newRow("data vazia") << 9 << "";
        QTest::newRow("data 31/02") << 9 << "31/02/2005";
        QTest::newRow("data texto") << 9 << "ontem";
        QTest::newRow("valor vazio") << 10 << "";
        QTest::newRow("valor letras") << 10 << "R$ 5";
        QTest::newRow("departamento") << 65 << "dep";
    }
    void conversoes()
    {
        QFETCH(int, peca);
        QFETCH(QString, texto);
        QStringList p = pecasDe(fichaCompleta());
        p[peca] = texto;
        clsAgenda a;
        try {
            a.fromPipeString(p.join(u'|'));
            QFAIL("no error raised");
        } catch (const ErroDeExecucao& e) {
            QVERIFY(e.origem().startsWith(u"cls"));
            QVERIFY(!e.descricao().isEmpty());
        }
    }

    void valorReformatado_data()
    {
        QTest::addColumn<QString>("texto");
        QTest::addColumn<double>("valor");
        QTest::newRow("milhar") << "1.234,50" << 1234.5;
        QTest::newRow("tres casas") << "1234,567" << 1234.57;
        QTest::newRow("inteiro") << "15" << 15.0;
        QTest::newRow("negativo") << "-3,1" << -3.1;
    }
    void valorReformatado()
    {
        QFETCH(QString, texto);
        QFETCH(double, valor);
        QStringList p = pecasDe(clsAgenda());
        p[10] = texto;
        clsAgenda a;
        a.fromPipeString(p.join(u'|'));
        QCOMPARE(a.Valor, valor);
    }

    void barraNoCampoDeslocaOsSeguintes()
    {
        clsAgenda a = fichaCompleta();
        a.obs = QStringLiteral("antes|depois");
        a.statuscod = QStringLiteral("5");
        a.status = QStringLiteral("9");
        clsAgenda b;
        b.fromPipeString(a.toPipeString());
        QCOMPARE(b.obs, u"antes");
        QCOMPARE(b.dataadmissao, u"depois");
        QCOMPARE(b.status, u"5");
        QCOMPARE(b.departamento.idDepartamento, 9);
    }

    // --- lists ---

    void listaVazia()
    {
        QCOMPARE(clsAgenda::collectionToPipeString({}), QString());
        QVERIFY(clsAgenda::collectionFromPipeString(u"").isEmpty());
        QVERIFY(clsAgenda::collectionFromPipeStringWithCommand(u"13|").isEmpty());
    }

    void separadores_data()
    {
        QTest::addColumn<int>("quantos");
        QTest::addColumn<QString>("departamento");
        QTest::newRow("um") << 1 << "Secretaria";
        QTest::newRow("dois") << 2 << "Secretaria";
        QTest::newRow("tres") << 3 << "Secretaria";
        // The last piece of a sheet meets the "@@@" that follows it: a lone "@" one letter
        // before the separator must not hide it.
        QTest::newRow("arroba antes do separador") << 2 << "Sala @B";
    }
    void separadores()
    {
        QFETCH(int, quantos);
        QFETCH(QString, departamento);
        QList<clsAgenda> lista;
        for (int i = 0; i < quantos; ++i) {
            lista << fichaCompleta(100 + i);
            lista.last().obs = QStringLiteral("e-mail: ana@igreja.org @ sede");
            lista.last().departamento.dsDepartamento = departamento;
        }
        const QString texto = clsAgenda::collectionToPipeString(lista);
        QCOMPARE(texto.count(u"@@@"), qsizetype(quantos - 1));
        QVERIFY(!texto.startsWith(u"@") && !texto.endsWith(u"@@@"));
        const QList<clsAgenda> lida = clsAgenda::collectionFromPipeString(texto);
        QCOMPARE(lida.size(), quantos);
        QCOMPARE(lida, lista);
    }

    void ordemDaLista()
    {
        QList<clsAgenda> lista{fichaCompleta(2), fichaCompleta(1)};
        const QString msg = clsAgenda::collectionToPipeStringWithCommand(lista, 13);
        QVERIFY(msg.startsWith(u"13|2|"));
        const QList<clsAgenda> lida = clsAgenda::collectionFromPipeStringWithCommand(msg);
        QCOMPARE(lida.size(), 2);
        QCOMPARE(lida[0].numeroFicha, 2);
        QCOMPARE(lida[1].numeroFicha, 1);
    }

    void arrobasNaObservacaoQuebramALista()
    {
        clsAgenda a = fichaCompleta();
        a.obs = QStringLiteral("ver@@@depois");
        QVERIFY_THROWS_EXCEPTION(ErroDeExecucao, clsAgenda::collectionFromPipeString(
                                                     clsAgenda::collectionToPipeString({a})));
    }

    void bytesDoFio()
    {
        const clsAgenda a = fichaCompleta();
        const QString texto = a.toPipeString();
        const QByteArray bytes = Wire::codifica(texto);
        QCOMPARE(bytes.size(), texto.size());   // one byte per character
        QVERIFY(bytes.contains("Concei\xE7\xE3o"));
        clsAgenda b;
        b.fromPipeString(Wire::decodifica(bytes));
        QCOMPARE(b, a);
    }
};

QTEST_APPLESS_MAIN(tst_Agenda)
#include "tst_agenda.moc"
