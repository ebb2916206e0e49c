#pragma once
// An office for the tests of work while disconnected: the real server, the link to it through
// a relay the test cuts and restores, the deployment with the mode on, a desk's own folder of
// copies, and the login window driven as the secretary drives it.
//
//     Escritorio e(50);                       // 50 sheets in department 1
//     QVERIFY2(e.inicia(), qPrintable(e.erro));
//     QVERIFY(e.entra());                     // connected: the copy is made
//     e.sai();  e.rede->corta();
//     QVERIFY(e.entra());                     // disconnected, on the copy
#include "support/AmbienteDeTeste.h"
#include "support/Retransmissor.h"
#include "support/ServidorReal.h"
#include "app/Implantacao.h"
#include "connection/Requisicao.h"
#include "desconectado/CopiaSelada.h"
#include "desconectado/Selo.h"
#include "desconectado/TrabalhoDesconectado.h"

#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <memory>

struct Escritorio {
    explicit Escritorio(int fichas, const QByteArray& implantacao = "trabalhoDesconectado=sim\n")
        : servidor(fichas), m_implantacao(implantacao)
    {
    }
    ~Escritorio()
    {
        TrabalhoDesconectado::encerra();
        Implantacao::restauraPadroes();
        CopiaSelada::definePastaParaTeste(QString());
    }

    ServidorReal servidor;
    std::unique_ptr<Retransmissor> rede;
    EntradaDeTeste entrada;
    Caixas::Gravador caixas;
    QTemporaryDir mesas;
    QString erro;

    bool inicia()
    {
        Selo::defineCustoBaixo(true);
        if (!servidor.inicia()) {
            erro = servidor.erro();
            return false;
        }
        rede = std::make_unique<Retransmissor>(servidor.porta());
        const QStringList problemas = carregaImplantacaoDeTeste(entrada.pasta, m_implantacao);
        erro = problemas.join(u'\n');
        if (erro.isEmpty())
            erro = entrada.preparaBancoLocal();
        usaMesa(QStringLiteral("mesa1"));
        return erro.isEmpty();
    }

    // Another desk of the same office: its own folder of copies.
    void usaMesa(const QString& nome) { CopiaSelada::definePastaParaTeste(mesas.filePath(nome)); }

    // The login as the secretary does it; true when someone is logged in after it.
    bool entra(const QString& senha = QString(), const QString& usuario = QString())
    {
        const QString u = usuario.isEmpty() ? servidor.conta().usuario : usuario;
        const QString s = senha.isEmpty() ? servidor.conta().senha : senha;
        caixas.limpa();
        if (!entrada.login)
            return entrada.entra(QStringLiteral("127.0.0.1"), rede->porta(), u, s) != nullptr;
        frmLogin* login = entrada.login;
        if (!QTest::qWaitFor([&] { return login->txtUsuario->isEnabled(); }, 10000))
            return false;
        login->txtUsuario->clear();
        login->txtSenha->clear();
        QTest::keyClicks(login->txtUsuario, u);
        QTest::keyClicks(login->txtSenha, s);
        QTest::keyClick(login->txtSenha, Qt::Key_Return);
        return globais().usuarioLogado.has_value();
    }

    void sai()
    {
        if (entrada.login && globais().usuarioLogado)
            entrada.login->Logoff();
        QCoreApplication::processEvents();
    }

    // A request as the windows make it (answered by the server or, disconnected, by the copy).
    std::optional<RespostaDoServidor> pede(const QString& mensagem, std::initializer_list<int> esperados)
    {
        QTimer timer;
        return Requisita(nullptr, &timer, mensagem, esperados);
    }

    QVariant noBanco(const QString& sql)
    {
        QVariant v;
        servidor.executaNoBanco({sql}, &v);
        return v;
    }

private:
    QByteArray m_implantacao;
};
