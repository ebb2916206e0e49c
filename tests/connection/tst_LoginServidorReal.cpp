#include "ServidorReal.h"
#include "support/AmbienteDeTeste.h"
#include "app/BancoLocal.h"
#include "app/Caixas.h"
#include "app/Frminicial.h"
#include "app/modGlobais.h"
#include "connection/Requisicao.h"
#include "connection/frmLogin.h"
#include "members/frmPrincipal.h"
#include "protocol/clsAgenda.h"
#include "protocol/clsFiltroBusca.h"
#include "protocol/Quadros.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QTcpSocket>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTemporaryDir>
#include <QtTest>

// The whole way in, against the registry server itself.
class tst_LoginServidorReal : public QObject {
    Q_OBJECT
private slots:
    // The member window made at login reads the local lookup file: give it one.
    void initTestCase()
    {
        QVERIFY(m_local.isValid());
        const QString erro = criaBancoLocalDeTeste(m_local);
        QVERIFY2(erro.isEmpty(), qPrintable(erro));
    }

    void loginEBusca()
    {
        ServidorReal servidor(3);
        QVERIFY2(servidor.inicia(), qPrintable(servidor.erro()));
        QTemporaryDir pasta;
        Caixas::Gravador caixas;
        globais().timeOutSegundos = 10;
        globais().keepAliveSegundos = 30;
        globais().arquivoConfiguracao = pasta.filePath(QStringLiteral("config.ini"));
        frmLogin::defineServidorParaTeste(servidor.host(), servidor.porta());
        frmLogin* login = frmLogin::abre();

        QTRY_VERIFY_WITH_TIMEOUT(login->txtUsuario->isEnabled(), 10000);
        QCOMPARE(login->Label2->text(), QStringLiteral("SERVIDOR ON-LINE"));

        // A wrong password first, then the right one.
        QTest::keyClicks(login->txtUsuario, servidor.conta().usuario);
        QTest::keyClicks(login->txtSenha, QStringLiteral("errada"));
        QTest::keyClick(login->txtSenha, Qt::Key_Return);
        QCOMPARE(caixas.caixas().size(), 1);
        QCOMPARE(caixas.caixas().first().titulo, QStringLiteral("Login Negado"));
        QVERIFY(!globais().usuarioLogado);
        caixas.limpa();

        login->txtSenha->clear();
        QTest::keyClicks(login->txtSenha, servidor.conta().senha);
        QTest::keyClick(login->txtSenha, Qt::Key_Return);
        QVERIFY2(caixas.caixas().isEmpty(), qPrintable(caixas.caixas().value(0).texto));
        QVERIFY(globais().usuarioLogado);
        QCOMPARE(globais().usuarioLogado->usuario, servidor.conta().usuario);
        QCOMPARE(globais().usuarioLogado->departamento.dsDepartamento, servidor.conta().dsDepartamento);
        QVERIFY(!login->isVisible());
        QVERIFY(login->menuPrincipal()->isVisible());
        QCOMPARE(login->menuPrincipal()->sbStatusBarPainel1->text(),
                 QStringLiteral("Usuario OnLine: ") + servidor.conta().usuario);

        // A search of the department's sheets on the same connection.
        clsFiltroBusca filtro;
        filtro.departamento = globais().usuarioLogado->departamento;
        QTimer timer;
        const auto resposta = Requisita(nullptr, &timer, filtro.toPipeStringWithCommand(12), {13, 14});
        QVERIFY2(resposta, qPrintable(caixas.caixas().value(0).titulo));
        QCOMPARE(resposta->codigo, 13);
        QCOMPARE(clsAgenda::collectionFromPipeStringWithCommand(resposta->texto).size(), 3);

        QPointer<Frminicial> menu = login->menuPrincipal();
        QPointer<frmPrincipal> membros = login->janelaMembros();
        delete login;
        delete menu;
        delete membros;
    }

    // The session is the client's own: a dropped connection and a restarted server are
    // reconnected with its secret and no new login; Logoff ends it on the server, and the
    // old secret opens nothing afterwards.
    void reconexaoSemNovoLoginELogoffEncerra()
    {
        ServidorReal servidor(3);
        Caixas::Gravador caixas;
        EntradaDeTeste entrada;
        QVERIFY2(entrada.entraNoServidor(servidor), qPrintable(entrada.erro));
        frmLogin* login = entrada.login;
        QVERIFY(login->enquadrada());
        const QString segredo = login->segredoDaSessao();
        QVERIFY2(Quadros::pareceSegredo(segredo), qPrintable(segredo));
        const auto busca = [] {
            clsFiltroBusca filtro;
            filtro.departamento = globais().usuarioLogado->departamento;
            QTimer timer;
            const auto r = Requisita(nullptr, &timer, filtro.toPipeStringWithCommand(12), {13, 14});
            return r ? r->codigo : -1;
        };
        QCOMPARE(busca(), 13);

        login->EncerraConexaoNoServidor();   // the connection drops
        QVERIFY(!login->conectado());
        QCOMPARE(busca(), 13);
        QCOMPARE(login->segredoDaSessao(), segredo);

        QVERIFY2(servidor.reiniciaNaMesmaPorta(), qPrintable(servidor.erro()));
        QTRY_VERIFY_WITH_TIMEOUT(!login->conectado(), 5000);
        QCOMPARE(busca(), 13);
        QCOMPARE(login->segredoDaSessao(), segredo);
        QVERIFY2(caixas.caixas().isEmpty(), qPrintable(titulosETextos(caixas).join(u'\n')));

        login->Logoff();
        QVERIFY(login->segredoDaSessao().isEmpty());
        QVariant sessoes;
        QVERIFY(servidor.executaNoBanco({QStringLiteral("SELECT COUNT(*) FROM sessoes")}, &sessoes));
        QCOMPARE(sessoes.toInt(), 0);
        // The old secret, presented again, gets a new one and no rights.
        QTcpSocket s;
        s.connectToHost(servidor.host(), servidor.porta());
        QVERIFY(s.waitForConnected(5000) && s.waitForReadyRead(5000));
        QCOMPARE(s.readAll(), QByteArray("2"));
        s.write("99|zelto|1|sessao=" + segredo.toLatin1());
        QVERIFY(s.waitForReadyRead(5000));
        QTest::qWait(50);
        const QByteArray resposta = s.readAll();
        QVERIFY2(resposta.startsWith("99|zelto|1|sessao=") && !resposta.contains(segredo.toLatin1()), resposta.constData());
        clsFiltroBusca filtro;
        filtro.departamento.idDepartamento = servidor.conta().idDepartamento;
        s.write(filtro.toPipeStringWithCommand(12).toLatin1());
        QVERIFY(s.waitForReadyRead(5000));
        QCOMPARE(s.readAll(), QByteArray("0"));
        QVERIFY2(caixas.caixas().isEmpty(), qPrintable(titulosETextos(caixas).join(u'\n')));
    }

    // Logoff with the server gone: quiet and quick; the next login on a server back works.
    void logoffComServidorFora()
    {
        ServidorReal servidor(1);
        Caixas::Gravador caixas;
        EntradaDeTeste entrada;
        QVERIFY2(entrada.entraNoServidor(servidor), qPrintable(entrada.erro));
        frmLogin* login = entrada.login;
        QVERIFY(!login->segredoDaSessao().isEmpty());
        servidor.para();
        QElapsedTimer t;
        t.start();
        login->Logoff();
        QVERIFY2(t.elapsed() < 1500, qPrintable(QString::number(t.elapsed())));
        QVERIFY(login->segredoDaSessao().isEmpty());
        QVERIFY(login->isVisible());
        QVERIFY2(caixas.caixas().isEmpty(), qPrintable(titulosETextos(caixas).join(u'\n')));
    }

    // The server closes idle connections (quickly before login, after a while once logged
    // in, here both shortened and no keep-alives sent): the operator notices nothing, the
    // next request goes out on a new connection.
    void servidorFechaOciosasEOClienteVolta()
    {
        ServidorReal servidor(3);
        servidor.defineArgumentos({QStringLiteral("--sem-login-s"), QStringLiteral("1"), QStringLiteral("--ociosa-horas"),
                                   QStringLiteral("0.0004")});   // 1.44 s
        QVERIFY2(servidor.inicia(), qPrintable(servidor.erro()));
        EntradaDeTeste entrada;   // a lookup file of its own (the earlier tests' are gone)
        QCOMPARE(entrada.preparaBancoLocal(), QString());
        QTemporaryDir pasta;
        Caixas::Gravador caixas;
        globais().timeOutSegundos = 10;
        globais().keepAliveSegundos = 0;
        globais().usuarioLogado.reset();
        globais().arquivoConfiguracao = pasta.filePath(QStringLiteral("config.ini"));
        frmLogin::defineServidorParaTeste(servidor.host(), servidor.porta());
        frmLogin* login = frmLogin::abre();
        QTRY_VERIFY_WITH_TIMEOUT(login->txtUsuario->isEnabled(), 10000);

        // The login window left open past the time allowed without a login.
        QTRY_VERIFY_WITH_TIMEOUT(servidor.diario().contains(QStringLiteral("sem login há")), 5000);
        QTRY_VERIFY_WITH_TIMEOUT(!login->conectado(), 3000);
        QTest::keyClicks(login->txtUsuario, servidor.conta().usuario);
        QTest::keyClicks(login->txtSenha, servidor.conta().senha);
        QTest::keyClick(login->txtSenha, Qt::Key_Return);
        QVERIFY2(caixas.caixas().isEmpty(), qPrintable(caixas.caixas().value(0).texto));
        QVERIFY(globais().usuarioLogado);

        // Logged in, then idle until the server lets the connection go.
        QTRY_VERIFY_WITH_TIMEOUT(servidor.diario().contains(QStringLiteral("sem mensagens há")), 6000);
        QTRY_VERIFY_WITH_TIMEOUT(!login->conectado(), 3000);
        clsFiltroBusca filtro;
        filtro.departamento = globais().usuarioLogado->departamento;
        QTimer timer;
        const auto resposta = Requisita(nullptr, &timer, filtro.toPipeStringWithCommand(12), {13, 14});
        QVERIFY2(resposta, qPrintable(caixas.caixas().value(0).texto));
        QCOMPARE(resposta->codigo, 13);
        QCOMPARE(clsAgenda::collectionFromPipeStringWithCommand(resposta->texto).size(), 3);
        QVERIFY2(caixas.caixas().isEmpty(), qPrintable(caixas.caixas().value(0).texto));

        // Once more, with a sheet larger than a connection not logged in may send (long name
        // and note): back in its session, the new connection takes it.
        QTRY_VERIFY_WITH_TIMEOUT(!login->conectado(), 6000);
        clsAgenda longa;
        longa.nome = QString(9'000, u'n');
        longa.obs = QString(9'000, u'x');
        longa.Data = QDate(2021, 5, 10);
        longa.status = QStringLiteral("ATIVO");
        longa.statuscod = QStringLiteral("1");
        longa.departamento = globais().usuarioLogado->departamento;
        const QString salva = longa.toPipeStringWithCommand(6);
        QVERIFY(salva.size() > 16 << 10);
        const auto salvo = Requisita(nullptr, &timer, salva, {7});
        QVERIFY2(salvo, qPrintable(caixas.caixas().value(0).texto));
        QVERIFY2(caixas.caixas().isEmpty(), qPrintable(caixas.caixas().value(0).texto));

        QPointer<Frminicial> menu = login->menuPrincipal();
        QPointer<frmPrincipal> membros = login->janelaMembros();
        delete login;
        delete menu;
        delete membros;
    }

private:
    QTemporaryDir m_local;
};

QTEST_MAIN(tst_LoginServidorReal)
#include "tst_LoginServidorReal.moc"
