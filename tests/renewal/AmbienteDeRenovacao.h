#pragma once
// What the renewal tests share: an operator logged in on a server (the real one or a scripted
// one), recorded message boxes, and readers for what the operator sees.
#include "ServidorReal.h"
#include "app/Caixas.h"
#include "app/modGlobais.h"
#include "connection/Requisicao.h"
#include "connection/frmLogin.h"
#include "protocol/clsAgenda.h"
#include "protocol/clsFiltroBusca.h"
#include "protocol/clsUsuario.h"
#include "protocol/modCommands.h"

#include <QProcess>
#include <QStringList>
#include <QTimer>
#include <QtTest>

// Types `texto` into `w` key by key, accented letters included (keyClicks takes ASCII only).
inline void digita(QWidget* w, const QString& texto)
{
    for (const QChar c : texto) {
        if (c.unicode() < 128)
            QTest::keyClick(w, char(c.unicode()));
        else
            QTest::sendKeyEvent(QTest::Click, w, Qt::Key(c.toUpper().unicode()), QString(c), Qt::NoModifier);
    }
}

// The login window pointed at `host:porta`, its poll stopped (requests connect themselves).
inline frmLogin* apontaLogin(const QString& host, quint16 porta)
{
    globais().timeOutSegundos = 10;
    globais().keepAliveSegundos = 0;
    frmLogin::defineServidorParaTeste(host, porta);
    frmLogin* login = frmLogin::instancia();
    login->Timer1->stop();
    return login;
}

// An operator without a server behind it (windows that only refresh).
inline void operadorFicticio()
{
    clsUsuario u;
    u.usuario = QStringLiteral("ana");
    u.departamento.idDepartamento = 3;
    u.departamento.dsDepartamento = QStringLiteral("Tesouraria");
    globais().usuarioLogado = u;
}

inline QStringList titulosDasCaixas(const Caixas::Gravador& caixas)
{
    QStringList t;
    for (const Caixas::Registro& r : caixas.caixas())
        t.append(r.titulo);
    return t;
}

// The real server with a logged-in operator: the session the windows' requests need.
struct SessaoReal {
    ServidorReal servidor;
    frmLogin* login = nullptr;
    QTimer timer;

    explicit SessaoReal(int fichasDemo) : servidor(fichasDemo) {}
    ~SessaoReal() { delete login; }

    // Empty text when the server runs and the operator is logged in; otherwise why not.
    QString entra()
    {
        if (!servidor.inicia())
            return servidor.erro();
        login = apontaLogin(servidor.host(), servidor.porta());
        clsUsuario u;
        u.usuario = servidor.conta().usuario;
        u.senha = servidor.conta().senha;
        const auto r = Requisita(nullptr, &timer, u.toPipeStringWithCommand(Codigo::Login), {Codigo::LoginAceito});
        if (!r)
            return QStringLiteral("login recusado");
        clsUsuario aceito;
        aceito.fromPipeStringWithCommand(r->texto);
        globais().usuarioLogado = aceito;
        return QString();
    }

    // The sheets of the operator's department with sheet number `numero` (empty: none).
    QList<clsAgenda> fichas(qint32 numero)
    {
        clsFiltroBusca f;
        f.numeroFicha = numero;
        f.departamento.idDepartamento = globais().usuarioLogado->departamento.idDepartamento;
        const auto r = Requisita(nullptr, &timer, f.toPipeStringWithCommand(Codigo::Busca),
                                 {Codigo::Encontrados, Codigo::NadaEncontrado});
        if (!r || r->codigo != Codigo::Encontrados)
            return {};
        return clsAgenda::collectionFromPipeStringWithCommand(r->texto);
    }
};

// The text of a printed PDF, as laid out on the page.
inline QString textoDoPdf(const QString& arquivo)
{
    QProcess p;
    p.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), arquivo, QStringLiteral("-")});
    if (!p.waitForFinished(30000) || p.exitCode() != 0)
        return QString();
    return QString::fromUtf8(p.readAllStandardOutput());
}
