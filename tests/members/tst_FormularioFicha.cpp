#include "support/AmbienteDeTeste.h"
#include "members/CaixaDeLista.h"
#include "members/FormularioFicha.h"
#include "protocol/FormatoBR.h"

#include <QDateTimeEdit>
#include <QAbstractItemView>
#include <QLabel>
#include <QWindow>
#include <QtTest/qtestspontaneevent.h>

// The sheet form and the lookups of the member window, without a server: the record
// mapping both ways, the refresh failure path, the drop-downs and the close box.
// The close box: a close event from the window system.
static void caixaDeFechar(QWidget* janela)
{
    QCloseEvent evento;
    QSpontaneKeyEvent::setSpontaneous(&evento);
    QApplication::sendEvent(janela->windowHandle(), &evento);
}

class tst_FormularioFicha : public QObject {
    Q_OBJECT

    std::unique_ptr<EntradaDeTeste> entrada;   // only its folder and lookup file are used
    std::unique_ptr<Caixas::Gravador> caixas;
    frmPrincipal* janela = nullptr;

    QString texto(const char* nome) { return janela->ficha->texto(QString::fromLatin1(nome)); }
    void define(const char* nome, const QString& t) { janela->ficha->defineTexto(QString::fromLatin1(nome), t); }
    CaixaDeLista* lista(const char* nome) { return janela->ficha->controle<CaixaDeLista>(QString::fromLatin1(nome)); }

private slots:
    void init()
    {
        entrada = std::make_unique<EntradaDeTeste>();
        QCOMPARE(entrada->preparaBancoLocal(), QString());
        caixas = std::make_unique<Caixas::Gravador>();
        clsUsuario u;
        u.usuario = QStringLiteral("operador");
        u.departamento.idDepartamento = 7;
        u.departamento.dsDepartamento = QStringLiteral("Secretaria");
        globais().usuarioLogado = u;
        janela = new frmPrincipal;
        janela->show();
        QCOMPARE(caixas->caixas().size(), 0);
    }
    void cleanup()
    {
        delete janela;
        caixas.reset();
        entrada.reset();
        globais().usuarioLogado.reset();
    }

    void registroParaTelaEVolta()
    {
        clsAgenda r;
        r.numeroFicha = 1532;
        r.nome = QStringLiteral("Lúcia Ávila");
        r.cep = QStringLiteral("01234567");
        r.telResidencial = QStringLiteral("1134567890");
        r.telComercial = QStringLiteral("2");
        r.Data = QDate(2021, 3, 5);
        r.Valor = 1234.5;
        r.nascido = QStringLiteral("5/3/1970");
        r.niver = QStringLiteral("outro");
        r.datacas = QStringLiteral("__/__/____");
        r.ocorrencia = QStringLiteral("ocorrência");
        r.obs = QStringLiteral("observação");
        r.setor = QStringLiteral("3");
        janela->membros = r;
        janela->AtualizaGUI();
        QCOMPARE(janela->membros.departamento.idDepartamento, 7);
        QCOMPARE(texto("txtNFicha"), QStringLiteral("1532"));
        QCOMPARE(texto("txtTelResDDD"), QStringLiteral("11"));
        QCOMPARE(texto("txtTelRes"), QStringLiteral("34567890"));
        QCOMPARE(texto("txtTelComDDD"), QStringLiteral("2"));
        QCOMPARE(texto("txtTelCom"), QString());
        QCOMPARE(texto("txtData"), QStringLiteral("05/03/2021"));
        QCOMPARE(texto("txtValor"), QStringLiteral("1.234,50"));
        QCOMPARE(texto("txtnascido"), QStringLiteral("05/03/1970"));
        QCOMPARE(texto("txtdatacas"), QStringLiteral("__/__/____"));
        QCOMPARE(texto("txtOcorrencia"), QStringLiteral("observação"));
        QCOMPARE(texto("txtDepartamento"), QStringLiteral("Secretaria"));

        // Back into the record through "Alterar Cadastro"'s copy.
        define("txtcep", QStringLiteral("04567-890"));
        define("txtTelComDDD", QStringLiteral("21"));
        define("txtTelCom", QStringLiteral("87654321"));
        define("txtOcorrencia", QStringLiteral("nova"));
        janela->ficha->copiaPara(janela->membros, AcaoDaFicha::Altera);
        const clsAgenda& m = janela->membros;
        QCOMPARE(m.numeroFicha, 1532);
        QCOMPARE(m.cep, QStringLiteral("04567890"));
        QCOMPARE(m.telResidencial, QStringLiteral("1134567890"));
        QCOMPARE(m.telComercial, QStringLiteral("2187654321"));
        QCOMPARE(m.nascido, QStringLiteral("05/03/1970"));
        QCOMPARE(m.niver, QStringLiteral("05/03/1970"));
        QCOMPARE(m.ocorrencia, QStringLiteral("nova"));
        QCOMPARE(m.obs, QStringLiteral("nova"));
        QCOMPARE(m.Valor, 1234.5);
        QCOMPARE(m.setornome, QStringLiteral("Secretaria"));
        QCOMPARE(m.registro, QStringLiteral("MEMBROS"));
        QCOMPARE(m.datausuario, FormatoBR::formataData(QDate::currentDate()));
        QCOMPARE(m.datausuariohora.size(), 8);
    }

    void atualizacaoSemOperadorMostraOErro()
    {
        define("txtNome", QStringLiteral("Alguém"));
        define("txtsetornome", QStringLiteral("SETOR"));
        globais().usuarioLogado.reset();
        janela->AtualizaGUI();
        QCOMPARE(caixas->caixas().size(), 1);
        QCOMPARE(caixas->caixas().first().titulo, QStringLiteral("Erro no Aplicativo"));
        QCOMPARE(texto("txtNome"), QString());
        QCOMPARE(texto("txtsetornome"), QString());
        QCOMPARE(texto("txtnascido"), FormatoBR::formataData(QDate::currentDate()));
    }

    void congregacaoPreencheOsVizinhos()
    {
        CaixaDeLista* igreja = lista("txtIGREJA");
        for (int vez = 0; vez < 2; ++vez) {
            igreja->showPopup();
            igreja->hidePopup();
        }
        QCOMPARE(igreja->count(), 15);
        QCOMPARE(igreja->itemText(0), QStringLiteral("Templo Sede"));
        const int santana = igreja->findText(QStringLiteral("Congregação Sant'Ana"));
        QVERIFY(santana > 0);
        // Typing a name fills nothing; choosing from the list does.
        define("txtIGREJA", QStringLiteral("Congregação Sant'Ana"));
        QCOMPARE(texto("txtcodcong"), QString());
        // Picked in the open list with the mouse.
        igreja->showPopup();
        QAbstractItemView* vista = igreja->view();
        const QModelIndex item = vista->model()->index(santana, 0);
        vista->scrollTo(item);
        QTest::mouseClick(vista->viewport(), Qt::LeftButton, {}, vista->visualRect(item).center());
        QTRY_COMPARE(texto("txtcodcong"), QStringLiteral("5"));
        QCOMPARE(texto("txtIGREJA"), QStringLiteral("Congregação Sant'Ana"));
        QCOMPARE(texto("txtcodcong"), QStringLiteral("5"));
        QCOMPARE(texto("txtsetor"), QStringLiteral("3"));
        QCOMPARE(texto("txtsetornome"), QStringLiteral("SETOR NORTE"));
        QCOMPARE(texto("txtcidadecong"), QStringLiteral("São Paulo"));
        QCOMPARE(texto("txtufcong"), QStringLiteral("SP"));
        QVERIFY(!igreja->travado());
    }

    void statusTravaEDestravaNoFoco()
    {
        CaixaDeLista* status = lista("txtstatus");
        emit status->abrindoLista();
        QCOMPARE(status->itemText(0), QStringLiteral("ATIVO"));
        const int falecido = status->findText(QStringLiteral("FALECIDO"));
        emit status->itemEscolhido(falecido);
        QCOMPARE(texto("txtstatuscod"), QStringLiteral("6"));
        QVERIFY(status->travado());
        QTest::keyClicks(status, QStringLiteral("xyz"));
        QCOMPARE(texto("txtstatus"), QStringLiteral("FALECIDO"));
        QApplication::setActiveWindow(janela);
        QVERIFY(QTest::qWaitForWindowActive(janela));
        janela->ficha->controle(QStringLiteral("txtNome"))->setFocus();
        status->setFocus();
        QVERIFY(!status->travado());
    }

    void caixaDeFecharPergunta()
    {
        Encerramento::Gravador fim;
        caixas->proximaResposta(Caixas::Resposta::Nao);
        caixaDeFechar(janela);
        QCOMPARE(caixas->caixas().size(), 1);
        QCOMPARE(caixas->caixas().first().titulo, QStringLiteral("Sair..."));
        QCOMPARE(caixas->caixas().first().texto, QStringLiteral("Deseja realmente encerrar o programa ?"));
        QVERIFY(janela->isVisible());
        QCOMPARE(fim.pedidos, 0);
        // Closing by the program asks nothing.
        janela->close();
        QCOMPARE(caixas->caixas().size(), 1);
        janela->show();

        caixas->proximaResposta(Caixas::Resposta::Sim);
        caixaDeFechar(janela);
        QCOMPARE(caixas->caixas().size(), 2);
        QVERIFY(!janela->isVisible());
        QCOMPARE(fim.pedidos, 1);
    }
};

QTEST_MAIN(tst_FormularioFicha)
#include "tst_FormularioFicha.moc"
