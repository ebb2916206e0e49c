// A connected session whose link drops, with the mode on: the member window goes on saving into
// the desk's copy; a save whose reply the cut took is not applied twice; a server that does not
// take part in the exchange of copies is asked nothing of it.
#include "Escritorio.h"
#include "ServidorRoteirizado.h"
#include "app/Frminicial.h"
#include "connection/Conexao.h"
#include "desconectado/Diario.h"
#include "members/FormularioFicha.h"
#include "members/frmPrincipal.h"
#include "protocol/Sincronia.h"

#include <QLabel>
#include <QLineEdit>

namespace {

qsizetype pendentes()
{
    CopiaSelada* c = TrabalhoDesconectado::copia();
    return c ? Diario(*c).quantas() : -1;
}

// The member window of the login just made, shown.
frmPrincipal* janelaDeMembros(Escritorio& e)
{
    frmPrincipal* janela = e.entrada.login ? e.entrada.login->janelaMembros() : nullptr;
    if (janela)
        janela->show();
    return janela;
}

void digita(frmPrincipal* janela, const char* campo, const QString& texto, bool limpa = true)
{
    QLineEdit* caixa = janela->ficha->controle<QLineEdit>(QString::fromLatin1(campo));
    if (limpa)
        caixa->clear();
    digitaTexto(caixa, texto);
}

const QString avisoDaQueda = QStringLiteral(
    "Trabalho Desconectado: A ligação com o servidor caiu. O trabalho segue desconectado, na cópia deste computador: "
    "o que for gravado fica guardado e vai ao servidor na próxima entrada com ele de volta.");

} // namespace

class tst_LigacaoQueCai : public QObject {
    Q_OBJECT
private slots:
    void corteDuranteADigitacao();
    void corteDuranteAGravacao();
    void semAModoNadaMuda();
    void servidorSemAsCopias();
};

void tst_LigacaoQueCai::corteDuranteADigitacao()
{
    Escritorio e(10);
    QVERIFY2(e.inicia(), qPrintable(e.erro));
    QVERIFY(e.entra());
    frmPrincipal* janela = janelaDeMembros(e);
    QVERIFY(janela);
    Frminicial* menu = e.entrada.login->menuPrincipal();
    QVERIFY(menu->lblDesconectado->isHidden());

    // A new sheet half typed when the link drops; the secretary finishes it and includes it.
    digita(janela, "txtNome", QStringLiteral("Joana "));
    e.rede->corta();
    // (Typing takes a while: the program sees the connection go meanwhile.)
    QTRY_VERIFY(!conexaoExistente()->conectada());
    digita(janela, "txtNome", QStringLiteral("Sem Ligação"), false);
    digita(janela, "txtendereco", QStringLiteral("Rua do Corte"));
    QVERIFY(disparaComando(janela->toolMenu, QStringLiteral("btnIncluir")));
    QCOMPARE(titulosETextos(e.caixas), (QStringList{avisoDaQueda, QStringLiteral("SALVOU: Registro SALVO com sucesso")}));
    QCOMPARE(janela->ficha->texto(QStringLiteral("txtNFicha")), QStringLiteral("-1"));   // provisional
    QVERIFY(TrabalhoDesconectado::semConexao());
    QCOMPARE(pendentes(), 1);
    QCOMPARE(e.noBanco(QStringLiteral("SELECT COUNT(*) FROM fichas")).toInt(), 10);
    QTRY_VERIFY_WITH_TIMEOUT(menu->lblDesconectado->isVisibleTo(menu), 5000);
    QVERIFY(menu->lblDesconectado->text().contains(QStringLiteral(" - 1 mudança(s) a enviar")));
    QCOMPARE(menu->sbStatusBarPainel1->text(), QStringLiteral("Usuario Desconectado: operador"));

    // The next save is the copy's at once: no second notice.
    e.caixas.limpa();
    digita(janela, "txtbairro", QStringLiteral("Centro"));
    QVERIFY(disparaComando(janela->toolMenu, QStringLiteral("btnSalvar")));
    QCOMPARE(titulosETextos(e.caixas), QStringList{QStringLiteral("ALTERADO: Registro ALTERADO com sucesso")});
    QCOMPARE(pendentes(), 2);

    // Back: the next login sends both, once, and the sheet gets its number.
    e.rede->restaura();
    e.sai();
    QVERIFY(e.entra());
    QVERIFY2(e.caixas.caixas().isEmpty(), qPrintable(titulosETextos(e.caixas).join(u'\n')));
    QCOMPARE(pendentes(), 0);
    QCOMPARE(e.noBanco(QStringLiteral("SELECT COUNT(*) FROM fichas WHERE nome = 'Joana Sem Ligação' AND bairro = 'Centro'")).toInt(), 1);
    QCOMPARE(e.noBanco(QStringLiteral("SELECT COUNT(*) FROM fichas")).toInt(), 11);
}

void tst_LigacaoQueCai::corteDuranteAGravacao()
{
    Escritorio e(10);
    QVERIFY2(e.inicia(), qPrintable(e.erro));
    QVERIFY(e.entra());
    frmPrincipal* janela = janelaDeMembros(e);
    QVERIFY(janela);
    // Included while connected: the copy follows it at once.
    digita(janela, "txtNome", QStringLiteral("Pedro Conectado"));
    QVERIFY(disparaComando(janela->toolMenu, QStringLiteral("btnIncluir")));
    const qint32 numero = janela->membros.numeroFicha;
    QVERIFY(numero > 10);
    QVERIFY(TrabalhoDesconectado::copia()->ficha(numero));

    // An alteration reaches the server, and the link drops before its reply comes back.
    e.caixas.limpa();
    digita(janela, "txtendereco", QStringLiteral("Rua Nova 1"));
    e.rede->cortaApos(0);
    QVERIFY(disparaComando(janela->toolMenu, QStringLiteral("btnSalvar")));
    QVERIFY2(!titulosETextos(e.caixas).join(u'\n').contains(QStringLiteral("ALTERADO")), qPrintable(titulosETextos(e.caixas).join(u'\n')));
    QTRY_COMPARE_WITH_TIMEOUT(e.noBanco(QStringLiteral("SELECT endereco FROM fichas WHERE numeroficha = %1").arg(numero)).toString(),
                              QStringLiteral("Rua Nova 1"), 5000);

    // The secretary saves again: it goes to the journal.
    e.caixas.limpa();
    QVERIFY(disparaComando(janela->toolMenu, QStringLiteral("btnSalvar")));
    QCOMPARE(titulosETextos(e.caixas), (QStringList{avisoDaQueda, QStringLiteral("ALTERADO: Registro ALTERADO com sucesso")}));
    QCOMPARE(pendentes(), 1);

    // Back: the registry already holds it, so it is neither applied again nor a conflict.
    e.rede->restaura();
    e.sai();
    QVERIFY(e.entra());
    QVERIFY2(e.caixas.caixas().isEmpty(), qPrintable(titulosETextos(e.caixas).join(u'\n')));
    QCOMPARE(pendentes(), 0);
    QVERIFY(Diario(*TrabalhoDesconectado::copia()).conflitos().isEmpty());
    QCOMPARE(TrabalhoDesconectado::copia()->ficha(numero)->endereco, QStringLiteral("Rua Nova 1"));
    QCOMPARE(e.noBanco(QStringLiteral("SELECT COUNT(*) FROM fichas")).toInt(), 11);
    QVERIFY(e.servidor.administra({QStringLiteral("historico"), QStringLiteral("--verificar")}));
}

void tst_LigacaoQueCai::semAModoNadaMuda()
{
    Escritorio e(10, QByteArray());
    QVERIFY2(e.inicia(), qPrintable(e.erro));
    QVERIFY(e.entra());
    frmPrincipal* janela = janelaDeMembros(e);
    QVERIFY(janela);
    e.rede->corta();
    QTRY_VERIFY(!conexaoExistente()->conectada());
    digita(janela, "txtNome", QStringLiteral("Ninguém Guarda"));
    QVERIFY(disparaComando(janela->toolMenu, QStringLiteral("btnIncluir")));
    const QString vistas = titulosETextos(e.caixas).join(u'\n');
    QVERIFY2(!vistas.contains(QStringLiteral("SALVOU")) && !vistas.contains(QStringLiteral("Trabalho Desconectado")), qPrintable(vistas));
    QVERIFY(!TrabalhoDesconectado::semConexao());
    QCOMPARE(janela->ficha->texto(QStringLiteral("txtNome")), QStringLiteral("Ninguém Guarda"));   // still on screen
}

// A server that agrees the framing but not the exchange of copies: the login goes on, the copy
// is made empty, and no request of the exchange is sent.
void tst_LigacaoQueCai::servidorSemAsCopias()
{
    ServidorRoteirizado servidor;
    servidor.defineNegociacao(ServidorRoteirizado::Negociacao::Aceita);
    servidor.aoProximoPedido(ServidorRoteirizado::emQuadros(QStringLiteral("4|operador|senha123|1|Secretaria")));
    EntradaDeTeste entrada;
    Caixas::Gravador caixas;
    QTemporaryDir mesas;
    Selo::defineCustoBaixo(true);
    CopiaSelada::definePastaParaTeste(mesas.path());
    const QStringList problemas = carregaImplantacaoDeTeste(entrada.pasta, "trabalhoDesconectado=sim\n");
    QVERIFY2(problemas.isEmpty(), qPrintable(problemas.join(u'\n')));
    const bool entrou = entrada.preparaEEntra(servidor.host(), servidor.porta(), QStringLiteral("operador"), QStringLiteral("senha123"));
    const QStringList recebidas = servidor.recebidas();
    TrabalhoDesconectado::encerra();
    Implantacao::restauraPadroes();
    CopiaSelada::definePastaParaTeste(QString());

    QVERIFY2(entrou, qPrintable(entrada.erro));
    QVERIFY(servidor.capacidadesPedidas().contains(QLatin1String(Sincronia::capacidade)));
    QVERIFY2(caixas.caixas().isEmpty(), qPrintable(titulosETextos(caixas).join(u'\n')));
    for (const QString& r : recebidas)
        QVERIFY2(!r.startsWith(QStringLiteral("%1|").arg(Sincronia::codigoDasMudancas))
                     && !r.startsWith(QStringLiteral("%1|").arg(Sincronia::codigoDaMudanca)),
                 qPrintable(r));
}

QTEST_MAIN(tst_LigacaoQueCai)
#include "tst_ligacaoquecai.moc"
