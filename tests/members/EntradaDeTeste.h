#pragma once
// Logs an operator in through the login window against a server (real or scripted) and
// hands over the member window the login created. Also gives the program its own copy of
// the lookup file.
#include "app/BancoLocal.h"
#include "app/Caixas.h"
#include "app/Frminicial.h"
#include "app/Seams.h"
#include "app/modGlobais.h"
#include "connection/frmLogin.h"
#include "members/frmPrincipal.h"

#include <QLineEdit>
#include <QPointer>
#include <QTemporaryDir>
#include <QtTest>

// Types text key by key, accented letters included (QTest::keyClicks takes ASCII only).
inline void digitaTexto(QWidget* w, const QString& texto)
{
    for (const QChar c : texto) {
        if (c.unicode() < 128) {
            QTest::keyClick(w, c.toLatin1());
        } else {
            QTest::sendKeyEvent(QTest::Press, w, Qt::Key_unknown, QString(c), Qt::NoModifier);
            QTest::sendKeyEvent(QTest::Release, w, Qt::Key_unknown, QString(c), Qt::NoModifier);
        }
    }
}

struct EntradaDeTeste {
    QTemporaryDir pasta;
    frmLogin* login = nullptr;

    // Builds the lookup file from the shipped seeds; returns an error text or empty.
    QString preparaBancoLocal()
    {
        const QString destino = pasta.filePath(QStringLiteral("ruduza.db"));
        BancoLocal::defineCaminhoParaTeste(destino);
        return BancoLocal::criaDeSementes(
            destino, BancoLocal::sementesPadrao(qEnvironmentVariable("ZELTO_SOURCE_DIR") + QStringLiteral("/data")));
    }

    // The member window after a successful login, or null.
    frmPrincipal* entra(const QString& host, quint16 porta, const QString& usuario, const QString& senha,
                        int timeOutSegundos = 10)
    {
        EstadoGlobal& g = globais();
        g.timeOutSegundos = qint16(timeOutSegundos);
        g.keepAliveSegundos = 0;
        g.usuarioLogado.reset();
        g.arquivoConfiguracao = pasta.filePath(QStringLiteral("config.ini"));
        frmLogin::defineServidorParaTeste(host, porta);
        login = frmLogin::abre();
        if (!QTest::qWaitFor([&] { return login->txtUsuario->isEnabled(); }, 10000))
            return nullptr;
        QTest::keyClicks(login->txtUsuario, usuario);
        QTest::keyClicks(login->txtSenha, senha);
        QTest::keyClick(login->txtSenha, Qt::Key_Return);
        if (!globais().usuarioLogado)
            return nullptr;
        frmPrincipal* p = login->janelaMembros();
        if (p)
            p->show();
        return p;
    }

    ~EntradaDeTeste()
    {
        if (!login)
            return;
        QPointer<Frminicial> menu = login->menuPrincipal();
        QPointer<frmPrincipal> membros = login->janelaMembros();
        delete login;
        delete menu;
        delete membros;
        globais().usuarioLogado.reset();
    }
};
