// Work while disconnected, the whole way, against the real server through a link the test
// cuts: the deployment's switch, the login into the copy, changes queued and sent once, cuts
// in the first copy and in the replay, the program killed in the replay, a conflict between
// two desks, an operator the server no longer knows.
#include "Escritorio.h"
#include "app/Frminicial.h"
#include "desconectado/Diario.h"
#include "desconectado/frmConflitos.h"
#include "protocol/Compressao.h"
#include "reports/BuscaDeMembros.h"
#include "protocol/Historico.h"
#include "protocol/Quadros.h"
#include "protocol/Sincronia.h"
#include "protocol/Wire.h"
#include "protocol/clsFiltroBusca.h"
#include "protocol/clsUsuario.h"
#include "protocol/modCommands.h"

#include <QDir>
#include <QLabel>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
#include <QTableWidget>

namespace {

QString buscaTudo(const QString& nome = QString(), qint32 numero = 0)
{
    clsFiltroBusca f;
    f.nome = nome;
    f.numeroFicha = numero;
    f.departamento.idDepartamento = 1;
    f.departamento.dsDepartamento = QStringLiteral("Secretaria");
    return f.toPipeStringWithCommand(Codigo::Busca);
}

// The sheet `numero` as the server or the copy gives it.
std::optional<clsAgenda> fichaPedida(Escritorio& e, qint32 numero)
{
    const auto r = e.pede(buscaTudo(QString(), numero), {Codigo::Encontrados, Codigo::NadaEncontrado});
    if (!r || r->codigo != Codigo::Encontrados)
        return std::nullopt;
    const QList<clsAgenda> l = clsAgenda::collectionFromPipeStringWithCommand(r->texto);
    return l.size() == 1 ? std::optional(l.first()) : std::nullopt;
}

bool salva(Escritorio& e, clsAgenda& f)
{
    const auto r = e.pede(f.toPipeStringWithCommand(Codigo::Salva), {Codigo::Salvo});
    if (r)
        f.fromPipeStringWithCommand(r->texto);
    return r.has_value();
}

// Searches of the department report: all, a part of a name, a range of registration dates.
QList<clsFiltroBusca> filtrosDoRelatorio()
{
    QList<clsFiltroBusca> filtros;
    for (int i = 0; i < 4; ++i) {
        clsFiltroBusca f;
        f.departamento = globais().usuarioLogado->departamento;
        filtros << f;
    }
    filtros[1].nome = QStringLiteral("ana");
    filtros[2].dataInicial = QDate(2000, 1, 1);
    filtros[3].dataFinal = QDate(1995, 12, 31);
    return filtros;
}

QList<qint32> numerosDoRelatorio(const clsFiltroBusca& filtro)
{
    QTimer timer;
    QList<qint32> numeros;
    if (const auto lista = BuscaMembros(nullptr, &timer, filtro))
        for (const clsAgenda& f : *lista)
            numeros << f.numeroFicha;
    else
        numeros << -1;
    return numeros;
}

qsizetype pendentes()
{
    CopiaSelada* c = TrabalhoDesconectado::copia();
    return c ? Diario(*c).quantas() : -1;
}

} // namespace

class tst_TrabalhoDesconectado : public QObject {
    Q_OBJECT
private slots:
    void chaveDaImplantacao_data();
    void chaveDaImplantacao();
    void entradaSemConexao();
    void copiaDoOperadorRecusado_data();
    void copiaDoOperadorRecusado();
    void corteNaPrimeiraCopia();
    void milMudancasInterrompidas_data();
    void milMudancasInterrompidas();
    void programaTerminaSemLogoff();
    void conflitoEntreDuasMesas_data();
    void conflitoEntreDuasMesas();
};

void tst_TrabalhoDesconectado::chaveDaImplantacao_data()
{
    QTest::addColumn<QByteArray>("implantacao");
    QTest::addColumn<bool>("ligado");
    QTest::newRow("sem a chave") << QByteArray() << false;
    QTest::newRow("desligado") << QByteArray("trabalhoDesconectado=nao\n") << false;
    QTest::newRow("ligado") << QByteArray("trabalhoDesconectado=sim\n") << true;
}

void tst_TrabalhoDesconectado::chaveDaImplantacao()
{
    QFETCH(QByteArray, implantacao);
    QFETCH(bool, ligado);
    Escritorio e(5, implantacao);
    QVERIFY2(e.inicia(), qPrintable(e.erro));
    QVERIFY(e.entra());
    QVERIFY2(e.caixas.caixas().isEmpty(), qPrintable(titulosETextos(e.caixas).join(u'\n')));
    const QByteArray fio = e.rede->captura();

    // Off, the offer and the login are the bytes they always were, and nothing is kept.
    QStringList pedidas{QLatin1String(Quadros::capacidadeTls), QLatin1String(Quadros::capacidadeQuadros),
                        QLatin1String(Compressao::capacidade), QLatin1String(Historico::capacidade)};
    if (ligado)
        pedidas << QLatin1String(Sincronia::capacidade);
    pedidas << QLatin1String(Quadros::capacidadeSessao);
    QVERIFY2(fio.contains(Wire::codifica(Quadros::pedidoDeNegociacao(pedidas))), fio.left(200).constData());
    clsUsuario u;
    u.usuario = e.servidor.conta().usuario;
    u.senha = e.servidor.conta().senha;
    QVERIFY(fio.contains(Quadros::mensagem(Wire::codifica(u.toPipeStringWithCommand(Codigo::Login)))));
    QCOMPARE(fio.contains("sincronia"), ligado);
    QCOMPARE(fio.contains("17|0"), ligado);
    QCOMPARE(CopiaSelada::existe(e.servidor.conta().usuario), ligado);
    QCOMPARE(QDir(e.mesas.filePath(QStringLiteral("mesa1"))).exists(), ligado);

    // Off, a server that cannot be reached lets nobody in.
    e.sai();
    e.rede->corta();
    QCOMPARE(e.entra(), ligado);
}

void tst_TrabalhoDesconectado::entradaSemConexao()
{
    Escritorio e(30);
    QVERIFY2(e.inicia(), qPrintable(e.erro));
    QVERIFY(e.entra());
    QCOMPARE(TrabalhoDesconectado::copia()->quantas(), 30);
    QVERIFY(!TrabalhoDesconectado::semConexao());
    QVERIFY(e.entrada.login->menuPrincipal()->lblDesconectado->isHidden());
    // The report's searches, as the server answers them now.
    const QList<clsFiltroBusca> filtros = filtrosDoRelatorio();
    QList<QList<qint32>> doServidor;
    for (const clsFiltroBusca& f : filtros)
        doServidor << numerosDoRelatorio(f);
    e.sai();

    // The link drops. A wrong password opens nothing.
    e.rede->corta();
    QVERIFY(!e.entra(QStringLiteral("errada")));
    QCOMPARE(titulosETextos(e.caixas),
             QStringList{QStringLiteral("Trabalho Desconectado: ") + CopiaSelada::mensagem(CopiaSelada::Estado::SenhaErrada)});
    QVERIFY(!TrabalhoDesconectado::copia());
    QVERIFY(!e.entra(QString(), QStringLiteral("outro")));
    QCOMPARE(e.caixas.caixas().value(0).texto, CopiaSelada::mensagem(CopiaSelada::Estado::Inexistente));

    // The right one opens the copy; the main window says so.
    QVERIFY(e.entra());
    QVERIFY2(e.caixas.caixas().isEmpty(), qPrintable(titulosETextos(e.caixas).join(u'\n')));
    Frminicial* menu = e.entrada.login->menuPrincipal();
    QVERIFY(menu->isVisible());
    QVERIFY(menu->lblDesconectado->isVisibleTo(menu));
    QVERIFY2(menu->lblDesconectado->text().startsWith(QStringLiteral("TRABALHANDO DESCONECTADO desde ")),
             qPrintable(menu->lblDesconectado->text()));
    QCOMPARE(menu->sbStatusBarPainel1->text(), QStringLiteral("Usuario Desconectado: operador"));

    // The report reads the copy, and finds what the server found.
    for (qsizetype i = 0; i < filtros.size(); ++i)
        QCOMPARE(numerosDoRelatorio(filtros[i]), doServidor[i]);
    // (The filters narrow the list: a copy that ignored them would not pass.)
    QVERIFY2(std::any_of(doServidor.cbegin() + 1, doServidor.cend(), [](const QList<qint32>& l) { return !l.isEmpty() && l.size() < 30; }),
             qPrintable(QStringLiteral("%1 %2 %3").arg(doServidor[1].size()).arg(doServidor[2].size()).arg(doServidor[3].size())));

    // Searches read the copy; a save goes to the journal and is shown at once.
    const auto todas = e.pede(buscaTudo(), {Codigo::Encontrados, Codigo::NadaEncontrado});
    QVERIFY(todas);
    QCOMPARE(clsAgenda::collectionFromPipeStringWithCommand(todas->texto).size(), 30);
    std::optional<clsAgenda> tres = fichaPedida(e, 3);
    QVERIFY(tres);
    tres->nome = QStringLiteral("Nome Trocado Sem Conexao");
    QVERIFY(salva(e, *tres));
    clsAgenda nova = *tres;
    nova.numeroFicha = 0;
    nova.nome = QStringLiteral("Ficha Nova Sem Conexao");
    QVERIFY(salva(e, nova));
    QCOMPARE(nova.numeroFicha, -1);   // provisional
    QCOMPARE(fichaPedida(e, 3)->nome, QStringLiteral("Nome Trocado Sem Conexao"));
    const auto achada = e.pede(buscaTudo(QStringLiteral("nova sem")), {Codigo::Encontrados, Codigo::NadaEncontrado});
    QCOMPARE(clsAgenda::collectionFromPipeStringWithCommand(achada->texto).value(0).numeroFicha, -1);
    QCOMPARE(pendentes(), 2);
    QCOMPARE(e.noBanco(QStringLiteral("SELECT COUNT(*) FROM fichas")).toInt(), 30);
    QTRY_VERIFY_WITH_TIMEOUT(menu->lblDesconectado->text().contains(QStringLiteral(" - 2 mudança(s) a enviar")), 5000);
    QVERIFY(!menu->lblDesconectado->text().contains(QStringLiteral("VOLTOU")));

    // The link is back: the banner says so; the next login sends both, once; the new sheet
    // gets its number.
    e.rede->restaura();
    QTRY_VERIFY_WITH_TIMEOUT(menu->lblDesconectado->text().contains(QStringLiteral("O SERVIDOR VOLTOU")), 10000);
    QVERIFY(TrabalhoDesconectado::semConexao());
    e.sai();
    QVERIFY(e.entra());
    QVERIFY2(e.caixas.caixas().isEmpty(), qPrintable(titulosETextos(e.caixas).join(u'\n')));
    QCOMPARE(pendentes(), 0);
    QCOMPARE(e.noBanco(QStringLiteral("SELECT nome FROM fichas WHERE numeroficha = 3")).toString(),
             QStringLiteral("Nome Trocado Sem Conexao"));
    QCOMPARE(e.noBanco(QStringLiteral("SELECT COUNT(*) FROM fichas")).toInt(), 31);
    const qint32 numeroReal = e.noBanco(QStringLiteral("SELECT numeroficha FROM fichas WHERE nome = 'Ficha Nova Sem Conexao'")).toInt();
    QVERIFY(numeroReal > 30);
    CopiaSelada* copia = TrabalhoDesconectado::copia();
    QVERIFY(!copia->ficha(-1));
    QCOMPARE(copia->ficha(numeroReal)->nome, QStringLiteral("Ficha Nova Sem Conexao"));
    QCOMPARE(e.noBanco(QStringLiteral("SELECT COUNT(*) FROM mudancas_aplicadas")).toInt(), 2);
}

void tst_TrabalhoDesconectado::copiaDoOperadorRecusado_data()
{
    QTest::addColumn<QStringList>("comando");   // run on the server before the login
    QTest::addColumn<QString>("senha");
    QTest::addColumn<bool>("copiaFica");
    QTest::newRow("operador desativado") << QStringList{QStringLiteral("desativar-operador"), QStringLiteral("--usuario"), QStringLiteral("operador")}
                                         << QString() << false;
    QTest::newRow("operador removido") << QStringList{QStringLiteral("remover-operador"), QStringLiteral("--usuario"), QStringLiteral("operador")}
                                       << QString() << false;
    QTest::newRow("senha digitada errada") << QStringList() << QStringLiteral("senha124") << true;
}

void tst_TrabalhoDesconectado::copiaDoOperadorRecusado()
{
    QFETCH(QStringList, comando);
    QFETCH(QString, senha);
    QFETCH(bool, copiaFica);
    Escritorio e(3);
    QVERIFY2(e.inicia(), qPrintable(e.erro));
    QVERIFY(e.entra());
    e.sai();
    QVERIFY(CopiaSelada::existe(QStringLiteral("operador")));
    if (!comando.isEmpty())
        QVERIFY2(e.servidor.administra(comando), qPrintable(e.servidor.erro()));
    QVERIFY(!e.entra(senha));
    QCOMPARE(e.caixas.caixas().value(0).titulo, QStringLiteral("Login Negado"));
    QCOMPARE(CopiaSelada::existe(QStringLiteral("operador")), copiaFica);
    QCOMPARE(e.caixas.caixas().size(), copiaFica ? 1 : 2);
    // Gone, it does not open disconnected either.
    e.rede->corta();
    QCOMPARE(e.entra(), copiaFica);
}

void tst_TrabalhoDesconectado::corteNaPrimeiraCopia()
{
    Escritorio e(3000);
    QVERIFY2(e.inicia(), qPrintable(e.erro));
    // How much the server sends for a first copy, on another desk.
    e.usaMesa(QStringLiteral("medida"));
    const qint64 antes = e.rede->doServidor();
    QVERIFY(e.entra());
    const qint64 inteira = e.rede->doServidor() - antes;
    e.sai();
    // The link drops halfway through this desk's first copy: nothing of it is kept.
    e.usaMesa(QStringLiteral("mesa1"));
    e.rede->cortaApos(inteira / 2);
    QVERIFY(e.entra());
    QCOMPARE(e.caixas.caixas().value(0).titulo, QStringLiteral("Trabalho Desconectado"));
    QCOMPARE(TrabalhoDesconectado::copia()->numero(), 0);
    QCOMPARE(TrabalhoDesconectado::copia()->quantas(), 0);
    // An empty copy cannot carry the session: with the link still down, a search fails as it
    // always did instead of finding nothing.
    QVERIFY(!e.pede(buscaTudo(), {Codigo::Encontrados, Codigo::NadaEncontrado}));
    QVERIFY(!TrabalhoDesconectado::semConexao());
    e.sai();
    e.rede->restaura();
    QVERIFY(e.entra());
    QVERIFY2(e.caixas.caixas().isEmpty(), qPrintable(titulosETextos(e.caixas).join(u'\n')));
    QCOMPARE(TrabalhoDesconectado::copia()->quantas(), 3000);
    QVERIFY(TrabalhoDesconectado::copia()->numero() > 0);
    QCOMPARE(TrabalhoDesconectado::copia()->ficha(2999)->nome,
             e.noBanco(QStringLiteral("SELECT nome FROM fichas WHERE numeroficha = 2999")).toString());
}

// 1,000 changes made disconnected: each sheet changed five times over, every fiftieth change
// a new sheet. The last name typed for each sheet is noted in `ultimoNome`.
static void fazMilMudancas(Escritorio& e, int fichas, QHash<qint32, QString>& ultimoNome)
{
    e.sai();
    e.rede->corta();
    QVERIFY(e.entra());
    QVERIFY(TrabalhoDesconectado::semConexao());
    for (int i = 0; i < 1000; ++i) {
        const qint32 n = i % fichas + 1;
        std::optional<clsAgenda> f = fichaPedida(e, n);
        QVERIFY(f);
        if (i % 50 == 49) {
            f->numeroFicha = 0;
            f->nome = QStringLiteral("Nova %1").arg(i);
        } else {
            f->nome = QStringLiteral("Mudança %1").arg(i);
            ultimoNome.insert(n, f->nome);
        }
        QVERIFY(salva(e, *f));
    }
    QCOMPARE(pendentes(), 1000);
    e.sai();
}

// Each applied once: none lost, none doubled, the last name of each sheet kept, the history's
// chain whole.
static void confereMilMudancas(Escritorio& e, int fichas, const QHash<qint32, QString>& ultimoNome)
{
    QCOMPARE(pendentes(), 0);
    QCOMPARE(e.noBanco(QStringLiteral("SELECT COUNT(*) FROM mudancas_aplicadas")).toInt(), 1000);
    QCOMPARE(e.noBanco(QStringLiteral("SELECT COUNT(*) FROM fichas WHERE nome LIKE 'Nova %'")).toInt(), 1000 / 50);
    QCOMPARE(e.noBanco(QStringLiteral("SELECT COUNT(*) FROM fichas")).toInt(), fichas + 1000 / 50);
    for (auto i = ultimoNome.cbegin(); i != ultimoNome.cend(); ++i)
        QCOMPARE(e.noBanco(QStringLiteral("SELECT nome FROM fichas WHERE numeroficha = %1").arg(i.key())).toString(), i.value());
    QVERIFY(e.servidor.administra({QStringLiteral("historico"), QStringLiteral("--verificar")}));
}

// Starts this test program as the desk's program (mesaFilha), on the desk "mesa1" of `e`.
static void iniciaMesaFilha(Escritorio& e, QProcess& programa)
{
    QProcessEnvironment ambiente = QProcessEnvironment::systemEnvironment();
    ambiente.insert(QStringLiteral("ZELTO_MESA_FILHA"), e.mesas.filePath(QStringLiteral("mesa1")));
    ambiente.insert(QStringLiteral("ZELTO_MESA_PORTA"), QString::number(e.rede->porta()));
    ambiente.insert(QStringLiteral("ZELTO_MESA_USUARIO"), e.servidor.conta().usuario);
    ambiente.insert(QStringLiteral("ZELTO_MESA_SENHA"), e.servidor.conta().senha);
    programa.setProcessEnvironment(ambiente);
    programa.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    programa.start(QCoreApplication::applicationFilePath(), {});
}

void tst_TrabalhoDesconectado::milMudancasInterrompidas_data()
{
    // How the replay is stopped the first time.
    QTest::addColumn<bool>("programaMorto");
    QTest::newRow("o enlace cai no meio") << false;
    QTest::newRow("o programa morto no meio (kill -9)") << true;
}

// 1,000 changes queued; the replay is stopped in the middle by a cut, or by killing the
// program; the next login sends the rest, and what the server applied before is not applied again.
void tst_TrabalhoDesconectado::milMudancasInterrompidas()
{
    QFETCH(bool, programaMorto);
    constexpr int fichas = 200;
    Escritorio e(fichas);
    QVERIFY2(e.inicia(), qPrintable(e.erro));
    QVERIFY(e.entra());
    QHash<qint32, QString> ultimoNome;
    fazMilMudancas(e, fichas, ultimoNome);
    if (QTest::currentTestFailed())
        return;
    e.rede->restaura();
    const auto aplicadas = [&] { return e.noBanco(QStringLiteral("SELECT COUNT(*) FROM mudancas_aplicadas")).toInt(); };
    if (!programaMorto) {
        e.rede->cortaApos(100'000);
        QVERIFY(e.entra());
        QCOMPARE(e.caixas.caixas().value(0).titulo, QStringLiteral("Trabalho Desconectado"));
        const qsizetype restantes = pendentes();
        QVERIFY2(restantes > 0 && restantes < 1000, qPrintable(QString::number(restantes)));
        e.sai();
        e.rede->restaura();
    } else {
        // The same desk's program, in a process of its own, logs in and starts sending.
        QProcess programa;
        iniciaMesaFilha(e, programa);
        QVERIFY(programa.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(aplicadas() >= 300 || programa.state() == QProcess::NotRunning, 60000);
        programa.kill();
        QVERIFY(programa.waitForFinished());
    }
    const int antes = aplicadas();
    QVERIFY2(antes > 0 && antes < 1000, qPrintable(QString::number(antes)));

    // The next login on that desk: the rest goes, nothing twice.
    QVERIFY(e.entra());
    QVERIFY2(e.caixas.caixas().isEmpty(), qPrintable(titulosETextos(e.caixas).join(u'\n')));
    confereMilMudancas(e, fichas, ultimoNome);
}

// The program for milMudancasInterrompidas and programaTerminaSemLogoff: logs in on the desk
// named by the environment (its journal is sent at that login) and ends, as the program ends,
// when its event loop returns, without a log-off.
static int mesaFilha()
{
    Selo::defineCustoBaixo(true);
    EntradaDeTeste entrada;
    Caixas::Gravador caixas;
    if (!carregaImplantacaoDeTeste(entrada.pasta, "trabalhoDesconectado=sim\n").isEmpty() || !entrada.preparaBancoLocal().isEmpty())
        return 2;
    CopiaSelada::definePastaParaTeste(qEnvironmentVariable("ZELTO_MESA_FILHA"));
    QTimer::singleShot(0, [&] {
        const bool entrou = entrada.entra(QStringLiteral("127.0.0.1"), quint16(qEnvironmentVariableIntValue("ZELTO_MESA_PORTA")),
                                          qEnvironmentVariable("ZELTO_MESA_USUARIO"), qEnvironmentVariable("ZELTO_MESA_SENHA"));
        QCoreApplication::exit(entrou && TrabalhoDesconectado::copia() ? 0 : 1);
    });
    return QCoreApplication::exec();
}

void tst_TrabalhoDesconectado::programaTerminaSemLogoff()
{
    Escritorio e(5);
    QVERIFY2(e.inicia(), qPrintable(e.erro));
    QProcess programa;
    iniciaMesaFilha(e, programa);
    QVERIFY(programa.waitForFinished(60000));
    QCOMPARE(programa.exitStatus(), QProcess::NormalExit);
    QCOMPARE(programa.exitCode(), 0);
    QVERIFY(CopiaSelada::existe(e.servidor.conta().usuario));
}

void tst_TrabalhoDesconectado::conflitoEntreDuasMesas_data()
{
    QTest::addColumn<int>("codigoB");          // what the second desk did to the sheet
    QTest::addColumn<bool>("ficaODigitado");   // the operator ticks the office's name
    QTest::addColumn<bool>("confirma");        // the answer to "delete it all the same?"
    QTest::addColumn<QString>("noRegistro");   // the sheet's name in the end ("" deleted)
    QTest::newRow("alteração: fica o digitado") << int(Codigo::Salva) << true << false << "Nome da mesaB";
    QTest::newRow("alteração: fica o registro") << int(Codigo::Salva) << false << false << "Nome da mesaA";
    QTest::newRow("exclusão confirmada") << int(Codigo::Exclui) << false << true << "";
    QTest::newRow("exclusão recusada") << int(Codigo::Exclui) << false << false << "Nome da mesaA";
}

void tst_TrabalhoDesconectado::conflitoEntreDuasMesas()
{
    QFETCH(int, codigoB);
    QFETCH(bool, ficaODigitado);
    QFETCH(bool, confirma);
    QFETCH(QString, noRegistro);
    Escritorio e(10);
    QVERIFY2(e.inicia(), qPrintable(e.erro));
    for (const char* mesa : {"mesaA", "mesaB"}) {
        e.usaMesa(QLatin1String(mesa));
        QVERIFY(e.entra());
        e.sai();
    }
    e.rede->corta();
    for (const char* mesa : {"mesaA", "mesaB"}) {
        e.usaMesa(QLatin1String(mesa));
        QVERIFY(e.entra());
        std::optional<clsAgenda> f = fichaPedida(e, 5);
        QVERIFY(f);
        f->nome = QStringLiteral("Nome da ") + QLatin1String(mesa);
        f->profissao = QStringLiteral("Profissão da ") + QLatin1String(mesa);
        if (codigoB == Codigo::Exclui && QByteArrayView(mesa) == "mesaB")
            QVERIFY(e.pede(f->toPipeStringWithCommand(Codigo::Exclui), {Codigo::Excluido}));
        else
            QVERIFY(salva(e, *f));
        e.sai();
    }
    e.rede->restaura();
    e.usaMesa(QStringLiteral("mesaA"));
    QVERIFY(e.entra());
    QVERIFY2(e.caixas.caixas().isEmpty(), qPrintable(titulosETextos(e.caixas).join(u'\n')));
    e.sai();
    // The second desk's change started from the version the first one changed: not applied.
    e.usaMesa(QStringLiteral("mesaB"));
    QVERIFY(e.entra());
    QCOMPARE(e.caixas.caixas().size(), 1);
    QVERIFY2(e.caixas.caixas().first().texto.startsWith(QStringLiteral("1 mudança(s) feita(s) sem conexão não foram aplicadas")),
             qPrintable(e.caixas.caixas().first().texto));
    QCOMPARE(e.noBanco(QStringLiteral("SELECT nome FROM fichas WHERE numeroficha = 5")).toString(), QStringLiteral("Nome da mesaA"));
    CopiaSelada* copia = TrabalhoDesconectado::copia();
    QCOMPARE(copia->ficha(5)->nome, QStringLiteral("Nome da mesaA"));
    QCOMPARE(pendentes(), 0);
    QVERIFY(e.entrada.login->menuPrincipal()->mnuconflitos->isVisible());

    // The operator chooses in the conflict window.
    e.caixas.limpa();
    e.caixas.proximaResposta(confirma ? Caixas::Resposta::Sim : Caixas::Resposta::Nao);
    frmConflitos janela(*copia);
    janela.show();
    QCOMPARE(janela.lstConflitos->count(), 1);
    if (codigoB == Codigo::Salva) {
        // Field by field: the name and the profession differ, nothing else.
        QCOMPARE(janela.tblCampos->rowCount(), 2);
        QCOMPARE(janela.tblCampos->item(0, 0)->text(), QStringLiteral("nome"));
        QCOMPARE(janela.tblCampos->item(0, 1)->text(), QStringLiteral("Nome da mesaB"));
        QCOMPARE(janela.tblCampos->item(0, 2)->text(), QStringLiteral("Nome da mesaA"));
        if (ficaODigitado)
            janela.tblCampos->item(0, 1)->setCheckState(Qt::Checked);
    } else {
        QCOMPARE(janela.btnGravar->text(), QStringLiteral("Excluir"));
    }
    QTest::mouseClick(janela.btnGravar, Qt::LeftButton);
    QCOMPARE(e.caixas.caixas().size(), codigoB == Codigo::Exclui ? 1 : 0);
    const QVariant nome = e.noBanco(QStringLiteral("SELECT nome FROM fichas WHERE numeroficha = 5"));
    QCOMPARE(nome.isValid() ? nome.toString() : QString(), noRegistro);
    if (codigoB == Codigo::Salva)   // the profession stays the registry's
        QCOMPARE(e.noBanco(QStringLiteral("SELECT profissao FROM fichas WHERE numeroficha = 5")).toString(),
                 QStringLiteral("Profissão da mesaA"));
    // Chosen, it leaves the list; refused, it stays for later.
    QCOMPARE(janela.lstConflitos->count(), codigoB == Codigo::Exclui && !confirma ? 1 : 0);
}

QTEST_MAIN_WRAPPER(tst_TrabalhoDesconectado, QTEST_MAIN_SETUP() if (qEnvironmentVariableIsSet("ZELTO_MESA_FILHA")) return mesaFilha();)
#include "tst_trabalhodesconectado.moc"
