#pragma once
// The window tests' way in: an operator logged in through the login window against a server
// (the real one or a scripted one), the member window the login created, and the program's
// own copy of the lookup file.
//
//     entrada = std::make_unique<EntradaDeTeste>();
//     caixas = std::make_unique<Caixas::Gravador>();          // boxes of the login recorded too
//     janela = entrada->entraNoServidor(*servidor);           // starts it, logs its operator in
//     QVERIFY2(janela, qPrintable(entrada->erro));
#include "support/ServidorReal.h"
#include "app/BancoLocal.h"
#include "app/Caixas.h"
#include "app/Frminicial.h"
#include "app/Implantacao.h"
#include "app/Seams.h"
#include "app/modGlobais.h"
#include "connection/frmLogin.h"
#include "members/frmPrincipal.h"

#include <QAction>
#include <QFile>
#include <QLineEdit>
#include <QPointer>
#include <QTemporaryDir>
#include <QToolBar>
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

// Builds the lookup file `nome` in `pasta` from the shipped seeds and makes it the program's;
// returns an error text or empty.
inline QString criaBancoLocalDeTeste(const QTemporaryDir& pasta, const QString& nome = QStringLiteral("ruduza.db"))
{
    const QString destino = pasta.filePath(nome);
    BancoLocal::defineCaminhoParaTeste(destino);
    return BancoLocal::criaDeSementes(
        destino, BancoLocal::sementesPadrao(qEnvironmentVariable("ZELTO_SOURCE_DIR") + QStringLiteral("/data")));
}

// Triggers the toolbar action keyed (QAction::data) `chave`, as a click on it would; false
// when the toolbar has none.
inline bool disparaComando(QToolBar* barra, const QString& chave)
{
    for (QAction* a : barra->actions())
        if (a->data().toString() == chave) {
            a->trigger();
            return true;
        }
    return false;
}

// Writes a deployment file with `linhas` (section Implantacao) in `pasta` and makes it the
// program's; returns what it refused (nothing, for a test's own lines).
inline QStringList carregaImplantacaoDeTeste(const QTemporaryDir& pasta, const QByteArray& linhas)
{
    QFile f(pasta.filePath(QStringLiteral("implantacao.ini")));
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return {f.errorString()};
    f.write("[Implantacao]\n" + linhas);
    f.close();
    return Implantacao::carrega(f.fileName());
}

// "título: texto" of every recorded box, in order.
inline QStringList titulosETextos(const Caixas::Gravador& caixas)
{
    QStringList t;
    for (const Caixas::Registro& r : caixas.caixas())
        t << r.titulo + QStringLiteral(": ") + r.texto;
    return t;
}

struct EntradaDeTeste {
    QTemporaryDir pasta;
    frmLogin* login = nullptr;
    QString erro;   // why the last preparaEEntra / entraNoServidor gave no window

    // Builds the lookup file from the shipped seeds; returns an error text or empty.
    QString preparaBancoLocal() { return criaBancoLocalDeTeste(pasta); }

    // The lookup file, then the login: the member window, or null with `erro` saying why.
    frmPrincipal* preparaEEntra(const QString& host, quint16 porta, const QString& usuario, const QString& senha,
                                int timeOutSegundos = 10)
    {
        erro = preparaBancoLocal();
        if (!erro.isEmpty())
            return nullptr;
        frmPrincipal* janela = entra(host, porta, usuario, senha, timeOutSegundos);
        if (!janela)
            erro = QStringLiteral("o login de %1 em %2:%3 falhou").arg(usuario, host).arg(porta);
        return janela;
    }

    // Starts the real server, then preparaEEntra with its operator.
    frmPrincipal* entraNoServidor(ServidorReal& servidor)
    {
        if (!servidor.inicia()) {
            erro = servidor.erro();
            return nullptr;
        }
        return preparaEEntra(servidor.host(), servidor.porta(), servidor.conta().usuario, servidor.conta().senha);
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
