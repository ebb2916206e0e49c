// The card window and its five-slot search, driven as an operator would, against the registry
// server itself: opening, the search slots, the sheet's commands and the ways out.
#include "JanelaDeCarteiras.h"
#include "protocol/FormatoBR.h"

#include <QAction>
#include <QLabel>

class tst_frmPrincipal3Janela : public JanelaDeCarteiras {
    Q_OBJECT
private slots:
    void init() { abreComMembros(); }
    void cleanup() { fechaTudo(); }

    void abreComFichaEVaziaECarteirasVazias()
    {
        QCOMPARE(janela->windowTitle(), QStringLiteral("Carteirinha de Membros"));
        QCOMPARE(texto("txtNFicha"), QString());
        QCOMPARE(texto("txtregistro"), QStringLiteral("MEMBROS"));
        QCOMPARE(texto("txtData"), FormatoBR::formataData(QDate::currentDate()));
        QCOMPARE(texto("txtDepartamento"), servidor->conta().dsDepartamento);
        QCOMPARE(texto("txtusuario"), QStringLiteral("Usuario OnLine: ") + servidor->conta().usuario);
        QCOMPARE(janela->sbStatusBar->text(), QStringLiteral("Usuario: ") + servidor->conta().usuario);
        const QStringList legendas{QStringLiteral("IMPRIMIR 01"), QStringLiteral("IMPRIMIR 01 E 02"),
                                   QStringLiteral("IMPRIMIR 01 A 03"), QStringLiteral("IMPRIMIR 01 A 04"),
                                   QStringLiteral("IMPRIMIR 01 A 05")};
        for (int k = 1; k <= 5; ++k) {
            auto* b = janela->findChild<QPushButton*>(QStringLiteral("Command%1").arg(k));
            QVERIFY(b);
            QCOMPARE(b->text(), legendas[k - 1]);
            QCOMPARE(carteira(k), QStringList(10, QString()));
        }
        for (const char* nome : {"txtNFichaverso", "txtcidadecong", "txtNFicha2VERSO", "txtNFicha5VERSO",
                                 "txtcidadecong3", "txtufcong4", "txtIGREJA5"}) {
            QLineEdit* c = caixa(nome);
            QVERIFY2(c, nome);
            QCOMPARE(c->font().family(), QStringLiteral("Arial"));
        }
        QCOMPARE(caixa("txtNome3")->maxLength(), 100);
        QStringList chaves;
        for (QAction* a : janela->toolMenu->actions())
            if (!a->data().toString().isEmpty())   // keyed commands; the print preview has no key
                chaves << a->data().toString();
        QCOMPARE(chaves, (QStringList{"btnlimpa", "Membros", "BtnImprimi", "btnIncluir", "btnSalvar", "btnLocalizar",
                                      "btnExcluir", "btnLocalizarcong", "btnRelatorio", "btnLogoff", "btnSair"}));
    }

    void slot1CarregaAFichaEFechaAJanelaDeMembros()
    {
        membrosJanela->show();
        auto d = abreBusca();
        QCOMPARE(d->windowTitle(), QStringLiteral("Localizar Membros para Carteirinha"));
        busca(*d, 1, QString());
        QVERIFY(!membrosJanela->isVisible());
        ListaDeResultados* l = d->lstResultados[0];
        QCOMPARE(l->count(), 4);
        QCOMPARE(l->linha(2), QStringLiteral("3\t15/03/2024\tCARLA ANDRADE"));
        l->setCurrentRow(2);
        QTest::mouseClick(d->btnOk, Qt::LeftButton);
        QCOMPARE(titulos(), QStringList());
        QVERIFY(d->isVisible());   // OK keeps the dialog open
        QCOMPARE(janela->membros.numeroFicha, 3);
        QCOMPARE(texto("txtNome"), QStringLiteral("CARLA ANDRADE"));
        QCOMPARE(carteira(1), (QStringList{"S103", "CARLA ANDRADE", "CASADO", "10/02/2015", "33.333.333-3", "S103",
                                           "31/12/2027", "SEDE", "SP", "SETOR-S103"}));
        QCOMPARE(texto("TXTSISTEMA"), QStringLiteral("S103"));
    }

    void cadaSlotGuardaSuaLista()
    {
        auto d = abreBusca();
        busca(*d, 1, QStringLiteral("AN"));   // ANA, CARLA ANDRADE, DANIEL
        busca(*d, 2, QStringLiteral("ALVES"));
        QCOMPARE(d->lstResultados[0]->count(), 3);
        QCOMPARE(d->lstResultados[1]->count(), 2);
        d->lstResultados[0]->setCurrentRow(1);
        QTest::mouseClick(d->btnOk, Qt::LeftButton);
        QCOMPARE(texto("txtNome"), QStringLiteral("CARLA ANDRADE"));
    }

    void cliqueNoSlot4EncheACarteira4EFecha()
    {
        auto d = abreBusca();
        busca(*d, 1, QStringLiteral("ANA"));
        d->lstResultados[0]->setCurrentRow(0);
        QTest::mouseClick(d->btnOk, Qt::LeftButton);
        busca(*d, 4, QStringLiteral("DANIEL"));
        QCOMPARE(d->lstResultados[3]->count(), 1);
        clicaNaLinha(d->lstResultados[3], 0);
        QVERIFY(!d->isVisible());
        QCOMPARE(carteira(4).at(1), QStringLiteral("DANIEL ALVES"));
        QCOMPARE(carteira(4).at(9), QStringLiteral("SETOR-S104"));
        QCOMPARE(janela->membros.nome, QStringLiteral("ANA CARDOSO"));
        QCOMPARE(carteira(1).at(1), QStringLiteral("ANA CARDOSO"));
        QCOMPARE(carteira(3), QStringList(10, QString()));
    }

    void duploCliqueNoSlot1CarregaEFecha()
    {
        auto d = abreBusca();
        busca(*d, 1, QStringLiteral("BRUNO"));
        clicaNaLinha(d->lstResultados[0], 0, true);
        QVERIFY(!d->isVisible());
        QCOMPARE(janela->membros.numeroFicha, 2);
        QCOMPARE(texto("txtNFicha"), QStringLiteral("S102"));
        QCOMPARE(texto("txtNFichaverso"), QStringLiteral("S102"));
        QCOMPARE(texto("txtcidadecong"), QStringLiteral("SETOR-S102"));
    }

    void okSemListaOuSemSelecao()
    {
        auto d = abreBusca();
        QTest::mouseClick(d->btnOk, Qt::LeftButton);
        busca(*d, 1, QStringLiteral("ALVES"));
        QTest::mouseClick(d->btnOk, Qt::LeftButton);
        QCOMPARE(titulos(), (QStringList{QStringLiteral("Lista Vazia: Não há registros na listagem"),
                                         QStringLiteral("Selecione um Registro: Selecione um registro para carregar")}));
        QCOMPARE(janela->membros.numeroFicha, 0);
    }

    void intervaloIncompletoNaoBusca()
    {
        auto d = abreBusca();
        const int antes = pedidosNoDiario();
        QTest::keyClicks(d->frameFiltroPesquisa->txtDataInicial, QStringLiteral("01/01/2020"));
        QTest::mouseClick(d->btnLocalizar[2], Qt::LeftButton);
        QCOMPARE(d->frameFiltroPesquisa->lblDataInicialErro->text(), QStringLiteral("Intervalo Inválido"));
        QCOMPARE(d->frameFiltroPesquisa->lblDataFinalErro->text(), QStringLiteral("Intervalo Inválido"));
        QCOMPARE(pedidosNoDiario(), antes);
        QCOMPARE(d->lstResultados[2]->count(), 0);
    }

    void membrosAbreABuscaModal()
    {
        bool abriu = false;
        QTimer::singleShot(0, this, [&] {
            auto* d = qobject_cast<frmlocalizarcarteira2*>(QApplication::activeModalWidget());
            abriu = d != nullptr;
            if (d)
                QTest::mouseClick(d->btnCancelar, Qt::LeftButton);
        });
        comando("Membros");
        QVERIFY(abriu);
    }

    void incluiAlteraExclui()
    {
        digita("txtNome", QStringLiteral("Elias Moura"));
        digita("txtValor", QStringLiteral("10"));
        digita("TXTSISTEMA", QStringLiteral("S200"));
        comando("btnIncluir");
        QCOMPARE(titulos(), QStringList{QStringLiteral("SALVOU: Registro SALVO com sucesso")});
        QCOMPARE(janela->membros.numeroFicha, 5);
        QCOMPARE(texto("txtNFicha"), QStringLiteral("S200"));
        QCOMPARE(texto("txtendereco"), QStringLiteral("."));

        caixas->limpa();
        comando("btnIncluir");
        QCOMPARE(titulos(), QStringList{QStringLiteral("Opção Inválida: Para que seja gerado um novo cadastro, limpe o formulario")});

        caixas->limpa();
        digita("txtrg", QStringLiteral("55.555.555-5"));
        comando("btnSalvar");
        QCOMPARE(titulos(), QStringList{QStringLiteral("ALTERADO: Registro ALTERADO com sucesso")});
        QCOMPARE(carteira(1).at(4), QStringLiteral("55.555.555-5"));

        caixas->limpa();
        const int antes = pedidosNoDiario();
        comando("btnExcluir");   // answered No
        QCOMPARE(titulos(), QStringList{QStringLiteral("Confirmar Exclusão...: Deseja realmente excluir a ficha de número: 5 ?")});
        QCOMPARE(pedidosNoDiario(), antes);
        caixas->limpa();
        caixas->proximaResposta(Caixas::Resposta::Sim);
        comando("btnExcluir");
        QCOMPARE(titulos().value(1), QStringLiteral("Excluiu: Registro excluido com sucesso"));
        QCOMPARE(janela->membros.numeroFicha, 0);
        QCOMPARE(texto("txtNome"), QString());

        caixas->limpa();
        comando("btnExcluir");
        comando("btnSalvar");
        QCOMPARE(titulos(), (QStringList{QStringLiteral("Opção Inválida: Primeiro localize um cadastro"),
                                         QStringLiteral("Opção Inválida: Primeiro localize um cadastro")}));
    }

    void incluirSemDataMarcaOsCamposENaoEnvia()
    {
        caixa("txtData")->clear();
        const int antes = pedidosNoDiario();
        comando("btnIncluir");
        QCOMPARE(pedidosNoDiario(), antes);
        QCOMPARE(janela->findChild<QLabel*>(QStringLiteral("lblDataErro"))->text(),
                 QStringLiteral("Campo obrigatório (dd/mm/yyyy)"));
        QCOMPARE(texto("txtNome"), QStringLiteral("."));
        QCOMPARE(texto("txtcep"), QStringLiteral("00000-000"));
        QCOMPARE(texto("txtlocal1"), QString());      // not one of this window's placeholders
        QCOMPARE(texto("txtdataadmissao"), QString());
        QCOMPARE(texto("txtufcong"), QString());
    }

    void filtroDeTeclas()
    {
        caixa("txtNome")->clear();
        QTest::keyClicks(caixa("txtNome"), QStringLiteral("Jo"));
        QTest::sendKeyEvent(QTest::Click, caixa("txtNome"), Qt::Key_Atilde, QStringLiteral("\u00e3"), Qt::NoModifier);
        QTest::keyClicks(caixa("txtNome"), QStringLiteral(" 1.A"));
        QCOMPARE(caixa("txtNome")->text(), QStringLiteral("Jo .A"));
        caixa("txtValor")->clear();
        QTest::keyClicks(caixa("txtValor"), QStringLiteral("12a,5"));
        QCOMPARE(caixa("txtValor")->text(), QStringLiteral("12,5"));
    }

    void sairVoltaParaMembrosEGuardaAFicha()
    {
        auto d = abreBusca();
        busca(*d, 1, QStringLiteral("ANA"));
        d->lstResultados[0]->setCurrentRow(0);
        QTest::mouseClick(d->btnOk, Qt::LeftButton);
        busca(*d, 3, QStringLiteral("CARLA"));
        clicaNaLinha(d->lstResultados[2], 0);
        QCOMPARE(carteira(3).at(1), QStringLiteral("CARLA ANDRADE"));

        comando("btnSair");
        QCOMPARE(titulos(), QStringList());
        QVERIFY(!janela->isVisible());
        QVERIFY(!entrada->login->conectado());
        QVERIFY(frmPrincipal::existente() && frmPrincipal::existente()->isVisible());

        frmPrincipal3::abre();
        QCOMPARE(frmPrincipal3::existente(), janela.data());
        QCOMPARE(texto("txtNome"), QStringLiteral("ANA CARDOSO"));
        QCOMPARE(carteira(3), QStringList(10, QString()));
    }

    void logoffDescartaAJanela()
    {
        digita("txtNome", QStringLiteral("Alguem"));
        comando("btnLogoff");
        QVERIFY(!globais().usuarioLogado);
        QVERIFY(entrada->login->isVisible());
        QTRY_VERIFY(!janela);
        QCOMPARE(frmPrincipal3::existente(), nullptr);
        QCOMPARE(titulos(), QStringList());
    }

    void fecharPelaCaixaPergunta()
    {
        Encerramento::Gravador fim;
        janela->close();   // answered No
        QVERIFY(janela->isVisible());
        QCOMPARE(titulos(), QStringList{QStringLiteral("Sair...: Deseja realmente encerrar o programa ?")});
        QCOMPARE(fim.pedidos, 0);
        caixas->proximaResposta(Caixas::Resposta::Sim);
        janela->close();
        QVERIFY(fim.pedidos >= 1);   // the program ends (the main menu, closed on the way, asks too)
        QVERIFY(!entrada->login->conectado());
    }
};

QTEST_MAIN(tst_frmPrincipal3Janela)
#include "tst_frmprincipal3_janela.moc"
