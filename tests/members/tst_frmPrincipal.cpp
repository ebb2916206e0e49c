#include "support/AmbienteDeTeste.h"
#include "ServidorReal.h"
#include "connection/Requisicao.h"
#include "cards/frmPrincipal3.h"
#include "members/FormularioFicha.h"
#include "renewal/frmprincipal2.h"
#include "protocol/FormatoBR.h"
#include "protocol/clsFiltroBusca.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolBar>

// The member window driven as an operator would, against the registry server itself.
class tst_frmPrincipal : public QObject {
    Q_OBJECT

    std::unique_ptr<ServidorReal> servidor;
    std::unique_ptr<EntradaDeTeste> entrada;
    std::unique_ptr<Caixas::Gravador> caixas;
    frmPrincipal* janela = nullptr;

    QLineEdit* caixa(const char* nome) { return janela->ficha->controle<QLineEdit>(QString::fromLatin1(nome)); }
    QString texto(const char* nome) { return janela->ficha->texto(QString::fromLatin1(nome)); }
    void digita(const char* nome, const QString& t)
    {
        QLineEdit* e = caixa(nome);
        e->clear();
        digitaTexto(e, t);
    }
    void comando(const char* chave) { QVERIFY2(disparaComando(janela->toolMenu, QLatin1String(chave)), chave); }
    QStringList titulos() const { return titulosETextos(*caixas); }
    // What the server holds under a number, asked on the window's own connection.
    std::optional<clsAgenda> naServidor(qint32 numero)
    {
        clsFiltroBusca f;
        f.numeroFicha = numero;
        f.departamento.idDepartamento = servidor->conta().idDepartamento;
        const auto r = Requisita(nullptr, janela->timerTimeOut, f.toPipeStringWithCommand(12), {13, 14});
        if (!r || r->codigo != 13)
            return std::nullopt;
        return clsAgenda::collectionFromPipeStringWithCommand(r->texto).value(0);
    }
    int pedidosNoDiario() const { return servidor->diario().count(QStringLiteral("\n")); }

private slots:
    void init()
    {
        servidor = std::make_unique<ServidorReal>(3);
        entrada = std::make_unique<EntradaDeTeste>();
        caixas = std::make_unique<Caixas::Gravador>();
        janela = entrada->entraNoServidor(*servidor);
        QVERIFY2(janela, qPrintable(entrada->erro));
        caixas->limpa();
    }
    void cleanup()
    {
        entrada.reset();
        caixas.reset();
        servidor.reset();
    }

    void janelaAbreComFichaVazia()
    {
        QCOMPARE(janela->windowTitle(), QStringLiteral("Cadastro de Membros"));
        QCOMPARE(texto("txtNFicha"), QString());
        QCOMPARE(texto("txtregistro"), QStringLiteral("MEMBROS"));
        QCOMPARE(texto("txtData"), FormatoBR::formataData(QDate::currentDate()));
        QCOMPARE(texto("txtnascido"), FormatoBR::formataData(QDate::currentDate()));
        QCOMPARE(texto("txtValor"), QStringLiteral("0,00"));
        QCOMPARE(texto("txtDepartamento"), servidor->conta().dsDepartamento);
        QCOMPARE(texto("txtusuario"), QStringLiteral("Usuario OnLine: ") + servidor->conta().usuario);
        QCOMPARE(janela->sbStatusBar->text(), QStringLiteral("Usuario: ") + servidor->conta().usuario);
    }

    void incluiNovoEAltera()
    {
        digita("txtNome", QStringLiteral("Joana Conceição"));
        digita("txtValor", QStringLiteral("1.250,5"));
        comando("btnIncluir");
        QCOMPARE(titulos(), QStringList{QStringLiteral("SALVOU: Registro SALVO com sucesso")});
        const qint32 numero = texto("txtNFicha").toInt();
        QCOMPARE(numero, 4);   // after the three demo sheets
        QCOMPARE(janela->membros.numeroFicha, 4);
        std::optional<clsAgenda> guardada = naServidor(numero);
        QVERIFY(guardada);
        QCOMPARE(guardada->nome, QStringLiteral("Joana Conceição"));
        QCOMPARE(guardada->endereco, QStringLiteral("."));
        QCOMPARE(guardada->cep, QStringLiteral("00000000"));
        QCOMPARE(guardada->Valor, 1250.5);
        QCOMPARE(guardada->Data, QDate::currentDate());
        QCOMPARE(guardada->setor, QString::number(servidor->conta().idDepartamento));
        QCOMPARE(guardada->usuario, QStringLiteral("Usuario OnLine: ") + servidor->conta().usuario);

        caixas->limpa();
        digita("txtendereco", QStringLiteral("Rua das Flores"));
        comando("btnSalvar");
        QCOMPARE(titulos(), QStringList{QStringLiteral("ALTERADO: Registro ALTERADO com sucesso")});
        QCOMPARE(texto("txtNFicha"), QStringLiteral("4"));
        guardada = naServidor(numero);
        QCOMPARE(guardada->endereco, QStringLiteral("Rua das Flores"));
        QCOMPARE(guardada->nome, QStringLiteral("Joana Conceição"));

        // A loaded sheet refuses "Incluir Novo" after writing its placeholders.
        caixas->limpa();
        caixa("txtbairro")->clear();
        comando("btnIncluir");
        QCOMPARE(titulos(), QStringList{QStringLiteral("Opção Inválida: Para que seja gerado um novo cadastro, limpe o formulario")});
        QCOMPARE(texto("txtbairro"), QStringLiteral("."));
    }

    // "." only separates thousands: an amount written with a decimal point is refused, not
    // read as a hundred times more.
    void valorNoFormatoDoOperador_data()
    {
        QTest::addColumn<QString>("digitado");
        QTest::addColumn<double>("guardado");   // negative: refused
        QTest::newRow("ponto decimal") << "25.50" << -1.0;
        QTest::newRow("ponto decimal sem milhar") << "1234.5" << -1.0;
        QTest::newRow("grupos curtos") << "1.2.3" << -1.0;
        QTest::newRow("milhar e decimais") << "1.234,50" << 1234.5;
        QTest::newRow("uma casa") << "25,5" << 25.5;
        QTest::newRow("sem milhar") << "1150,5" << 1150.5;
    }
    void valorNoFormatoDoOperador()
    {
        QFETCH(QString, digitado);
        QFETCH(double, guardado);
        digita("txtNome", QStringLiteral("Rita Valor"));
        digita("txtValor", digitado);
        const int antes = pedidosNoDiario();
        comando("btnIncluir");
        const QString erro = janela->ficha->controle<QLabel>(QStringLiteral("lblValorErro"))->text();
        if (guardado < 0) {
            QCOMPARE(erro, QStringLiteral("Valor numérico inválido"));
            QCOMPARE(titulos(), QStringList());
            QCOMPARE(pedidosNoDiario(), antes);   // nothing sent, nothing saved
            QCOMPARE(texto("txtNFicha"), QString());
            return;
        }
        QCOMPARE(erro, QString());
        QCOMPARE(titulos(), QStringList{QStringLiteral("SALVOU: Registro SALVO com sucesso")});
        const std::optional<clsAgenda> f = naServidor(texto("txtNFicha").toInt());
        QVERIFY(f);
        QCOMPARE(f->Valor, guardado);
    }

    void incluiCadastroDuasVezes()
    {
        for (int vez = 0; vez < 2; ++vez) {
            caixas->limpa();
            digita("txtNFicha", QStringLiteral("500"));
            digita("txtNome", QStringLiteral("Pedro Álvares"));
            comando("btnIncluir2");
            QCOMPARE(titulos(), QStringList{vez == 0 ? QStringLiteral("SALVOU: Registro de MEMBRO SALVO com sucesso")
                                                     : QStringLiteral("Duplicidade de Ficha: Ficha já Exixtente. Não foi Salvo")});
            QCOMPARE(texto("txtNFicha"), QString());
            QCOMPARE(texto("txtNome"), QString());
            QCOMPARE(janela->membros.numeroFicha, 0);
            QCOMPARE(QApplication::focusWidget(), caixa("txtNFicha"));
        }
        const std::optional<clsAgenda> guardada = naServidor(500);
        QVERIFY(guardada);
        QCOMPARE(guardada->nome, QStringLiteral("Pedro Álvares"));
        // "Incluir Cadastro" writes no date or status placeholders.
        QCOMPARE(guardada->status, QString());
    }

    void numeroDigitadoInvalido_data()
    {
        QTest::addColumn<QString>("numero");
        QTest::newRow("vazio") << QString();
        QTest::newRow("letras") << QStringLiteral("12a");
        QTest::newRow("grande") << QStringLiteral("99999999999");
    }
    void numeroDigitadoInvalido()
    {
        QFETCH(QString, numero);
        const int antes = pedidosNoDiario();
        digita("txtNFicha", numero);
        comando("btnIncluir2");
        QCOMPARE(caixas->caixas().size(), 1);
        QCOMPARE(caixas->caixas().first().titulo, QStringLiteral("Opção Inválida"));
        QCOMPARE(caixas->caixas().first().icone, Caixas::Icone::Aviso);
        QCOMPARE(pedidosNoDiario(), antes);

        caixas->limpa();
        janela->ficha->defineTexto(QStringLiteral("txtNFicha2"), numero.isEmpty() ? QStringLiteral("x") : numero);
        janela->Command1->click();
        QCOMPARE(caixas->caixas().size(), 1);
        QCOMPARE(caixas->caixas().first().titulo, QStringLiteral("Opção Inválida"));
        QCOMPARE(pedidosNoDiario(), antes);
    }

    void excluiComNaoEComSim()
    {
        comando("btnExcluir");
        QCOMPARE(titulos(), QStringList{QStringLiteral("Opção Inválida: Primeiro localize um cadastro")});

        digita("txtNome", QStringLiteral("Ana Souza"));
        comando("btnIncluir");
        const qint32 numero = janela->membros.numeroFicha;
        QVERIFY(numero > 0);

        caixas->limpa();
        const int antes = pedidosNoDiario();
        caixas->proximaResposta(Caixas::Resposta::Nao);
        comando("btnExcluir");
        QCOMPARE(titulos(), QStringList{QStringLiteral("Confirmar Exclusão...: Deseja realmente excluir a ficha de número: %1 ?").arg(numero)});
        QVERIFY(caixas->caixas().first().simNao);
        QCOMPARE(pedidosNoDiario(), antes);
        QCOMPARE(texto("txtNFicha"), QString::number(numero));

        caixas->limpa();
        caixas->proximaResposta(Caixas::Resposta::Sim);
        comando("btnExcluir");
        QCOMPARE(titulos().value(1), QStringLiteral("Excluiu: Registro excluido com sucesso"));
        QCOMPARE(texto("txtNFicha"), QString());
        QCOMPARE(texto("txtNome"), QString());
        QVERIFY(!naServidor(numero));
    }

    void verificaFicha()
    {
        // 14: the number is free.
        janela->ficha->defineTexto(QStringLiteral("txtNFicha2"), QStringLiteral("777"));
        janela->Command1->click();
        QCOMPARE(titulos(), QStringList{QStringLiteral("ZevorUzEdar: Ficha Autorizada para Cadastro.")});
        QCOMPARE(texto("txtNFicha2"), QString());

        // 13 with an ordinary name: the first member found ends the check.
        caixas->limpa();
        janela->ficha->defineTexto(QStringLiteral("txtNFicha2"), QStringLiteral("2"));
        janela->Command1->click();
        QCOMPARE(titulos(), QStringList{QStringLiteral("ZevorUzEdar: Membro já cadastrado.")});
        QCOMPARE(texto("txtNFicha2"), QString());
        QCOMPARE(janela->membros.numeroFicha, 0);
        QCOMPARE(texto("txtNome"), QString());
    }

    // A found member whose name does not fit the name box passes the check: the sheet on
    // screen must stay the loaded one, so a following alter changes it, not a new sheet.
    void verificaFichaSemCoincidenciaMantemAFicha()
    {
        clsAgenda longo;
        longo.numeroFicha = 900;
        longo.nome = QString(120, u'x');
        longo.departamento = globais().usuarioLogado->departamento;
        QVERIFY(Requisita(nullptr, janela->timerTimeOut, longo.toPipeStringWithCommand(8), {9}));

        digita("txtNome", QStringLiteral("Carla Dias"));
        comando("btnIncluir");
        const qint32 numero = janela->membros.numeroFicha;
        QVERIFY(numero > 0);
        caixas->limpa();

        janela->ficha->defineTexto(QStringLiteral("txtNFicha2"), QStringLiteral("900"));
        janela->Command1->click();
        QCOMPARE(titulos(), QStringList());
        QCOMPARE(janela->membros.numeroFicha, numero);

        digita("txtNome", QStringLiteral("Carla Dias Lima"));
        comando("btnSalvar");
        QCOMPARE(titulos(), QStringList{QStringLiteral("ALTERADO: Registro ALTERADO com sucesso")});
        QCOMPARE(naServidor(numero)->nome, QStringLiteral("Carla Dias Lima"));
    }

    void validacaoEMarcadores()
    {
        digita("txtData", QString());
        digita("txtValor", QStringLiteral("abc"));
        caixa("txtnascido")->clear();
        caixa("txtendereco")->clear();
        const int antes = pedidosNoDiario();
        comando("btnIncluir");
        QCOMPARE(janela->ficha->controle<QLabel>(QStringLiteral("lblDataErro"))->text(),
                 QStringLiteral("Campo obrigatório (dd/mm/yyyy)"));
        QCOMPARE(janela->ficha->controle<QLabel>(QStringLiteral("lblValorErro"))->text(),
                 QStringLiteral("Valor numérico inválido"));
        QCOMPARE(titulos(), QStringList());
        QCOMPARE(pedidosNoDiario(), antes);
        // The placeholders stay whatever the validation found.
        QCOMPARE(texto("txtendereco"), QStringLiteral("."));
        QCOMPARE(texto("txtcep"), QStringLiteral("00000-000"));
        QCOMPARE(texto("txtcodcong"), QStringLiteral("0"));
        QCOMPARE(texto("txtufcong"), QStringLiteral("SP"));
        QCOMPARE(texto("txtnascido"), QStringLiteral("__/__/____"));
        QCOMPARE(texto("txtstatus"), QStringLiteral("."));
        QCOMPARE(texto("txtlocal1"), QString());

        digita("txtData", QStringLiteral("31/02/2020"));
        digita("txtValor", QString());
        comando("btnSalvar");
        QCOMPARE(janela->ficha->controle<QLabel>(QStringLiteral("lblDataErro"))->text(),
                 QStringLiteral("Valor de data inválido"));
        QCOMPARE(janela->ficha->controle<QLabel>(QStringLiteral("lblValorErro"))->text(),
                 QStringLiteral("Campo obrigatório"));

        // "Incluir Cadastro" fails with the extra warning and writes no date placeholder.
        janela->btnLimparFormulario->click();
        caixa("txtnascido")->clear();
        digita("txtValor", QStringLiteral("x"));
        comando("btnIncluir2");
        QCOMPARE(titulos(), QStringList{QStringLiteral("Opção Inválida: Para que seja gerado um novo cadastro, limpe o formulario")});
        QCOMPARE(texto("txtnascido"), QString());
        QCOMPARE(texto("txtstatus"), QString());
        QCOMPARE(texto("txtcep"), QStringLiteral("00000-000"));
    }

    void separadorRecusadoNomeandoOCampo_data()
    {
        QTest::addColumn<QString>("campo");
        QTest::addColumn<QString>("valor");
        QTest::addColumn<QString>("nomeNaMensagem");
        QTest::newRow("barra no nome") << "txtNome" << "Ana|Maria" << "Nome";
        QTest::newRow("arrobas no bairro") << "txtbairro" << "Centro@@@x" << "Bairro";
    }
    void separadorRecusadoNomeandoOCampo()
    {
        QFETCH(QString, campo);
        QFETCH(QString, valor);
        QFETCH(QString, nomeNaMensagem);
        const int antes = pedidosNoDiario();
        digita(campo.toLatin1().constData(), valor);
        comando("btnIncluir");
        QCOMPARE(caixas->caixas().size(), 1);
        QCOMPARE(caixas->caixas().first().titulo, QStringLiteral("Campo Inválido"));
        QVERIFY2(caixas->caixas().first().texto.contains(u'"' + nomeNaMensagem + u'"'), qPrintable(caixas->caixas().first().texto));
        QCOMPARE(pedidosNoDiario(), antes);
        QCOMPARE(janela->membros.nome, QString());
    }

    void limparCadastroPreencheStatus()
    {
        digita("txtNome", QStringLiteral("Teste"));
        janela->ficha->defineTexto(QStringLiteral("txtsetornome"), QStringLiteral("SETOR X"));
        comando("btnlimpa");
        QCOMPARE(texto("txtNome"), QString());
        QCOMPARE(texto("txtstatus"), QStringLiteral("ATIVO"));
        QCOMPARE(texto("txtstatuscod"), QStringLiteral("1"));
        QCOMPARE(texto("txtsetornome"), QString());
        // An unknown key does nothing.
        janela->executaComando(QStringLiteral("btnLimpa"));
        QCOMPARE(texto("txtstatus"), QStringLiteral("ATIVO"));
        QCOMPARE(titulos(), QStringList());
    }

    void sairFechaSemPerguntarEVoltaCarregada()
    {
        digita("txtNFicha2", QStringLiteral("12"));
        comando("btnSair");
        QCOMPARE(titulos(), QStringList());
        QVERIFY(!janela->isVisible());
        QVERIFY(!entrada->login->conectado());
        janela->show();
        QCOMPARE(texto("txtNFicha2"), QString());
        QCOMPARE(texto("txtusuario"), QStringLiteral("Usuario OnLine: ") + servidor->conta().usuario);
    }

    void trocaParaRenovacaoECarteiras()
    {
        comando("btnRelatorio");
        QVERIFY(!janela->isVisible());
        QVERIFY(frmprincipal2::existente() && frmprincipal2::existente()->isVisible());
        frmprincipal2::existente()->hide();
        janela->show();
        comando("btnRelatorio2");
        QVERIFY(!janela->isVisible());
        QVERIFY2(frmPrincipal3::existente() && frmPrincipal3::existente()->isVisible(), "");
        QCOMPARE(titulos(), QStringList());
        delete frmprincipal2::existente();
        delete frmPrincipal3::existente();
    }

    void logoffDescartaAJanela()
    {
        QPointer<frmPrincipal> antiga = janela;
        comando("btnLogoff");
        QVERIFY(!globais().usuarioLogado);
        QVERIFY(entrada->login->isVisible());
        QTRY_VERIFY(!antiga);
        QCOMPARE(titulos(), QStringList());
        janela = nullptr;
    }
};

QTEST_MAIN(tst_frmPrincipal)
#include "tst_frmPrincipal.moc"
