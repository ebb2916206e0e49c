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

#include <QLabel>
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

    // The server closes idle connections (quickly before login, after a while once logged
    // in, here both shortened and no keep-alives sent): the operator notices nothing, the
    // next request goes out on a new connection.
    void servidorFechaOciosasEOClienteVolta()
    {
        ServidorReal servidor(3);
        servidor.defineArgumentos({QStringLiteral("--sem-login-s"), QStringLiteral("1"), QStringLiteral("--ociosa-horas"),
                                   QStringLiteral("0.0004")});   // 1.44 s
        QVERIFY2(servidor.inicia(), qPrintable(servidor.erro()));
        QTemporaryDir pasta;
        Caixas::Gravador caixas;
        globais().timeOutSegundos = 10;
        globais().keepAliveSegundos = 0;
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
