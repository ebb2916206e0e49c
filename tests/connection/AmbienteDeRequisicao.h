#pragma once
// The scripted server, the login window and the recorded boxes the request-cycle tests share.
#include "ServidorRoteirizado.h"
#include "app/Caixas.h"
#include "app/modGlobais.h"
#include "connection/Requisicao.h"
#include "connection/frmLogin.h"
#include "protocol/clsAgenda.h"
#include "protocol/clsUsuario.h"

#include <QTimer>

#include <optional>

using Roteiro = ServidorRoteirizado::Roteiro;
Q_DECLARE_METATYPE(ServidorRoteirizado::Roteiro)

inline const QString pedidoDeLogin = QStringLiteral("3|ana|segredo|0|");
inline const QString respostaDeLogin = QStringLiteral("4|ana|segredo|3|Tesouraria");

inline QString listaDeFichas(int quantas)
{
    QList<clsAgenda> fichas;
    for (int i = 1; i <= quantas; ++i) {
        clsAgenda a;
        a.numeroFicha = i;
        a.nome = QStringLiteral("Membro %1 Conceição").arg(i);
        a.departamento.idDepartamento = 3;
        a.departamento.dsDepartamento = QStringLiteral("Tesouraria");
        fichas.append(a);
    }
    return clsAgenda::collectionToPipeStringWithCommand(fichas, 13);
}

// A scripted server, the login window pointed at it (its poll stopped: the tests connect
// through the requests themselves), recorded boxes and a window timer to lend the wait.
struct Ambiente {
    ServidorRoteirizado servidor;
    Caixas::Gravador caixas;
    QTimer timerTimeOut;
    frmLogin* login = nullptr;

    explicit Ambiente(int timeOutSegundos = 1)
    {
        globais().timeOutSegundos = qint16(timeOutSegundos);
        globais().keepAliveSegundos = 0;
        frmLogin::defineServidorParaTeste(servidor.host(), servidor.porta());
        frmLogin::esqueceServidoresSimples();
        login = frmLogin::instancia();
        login->Timer1->stop();
    }
    ~Ambiente()
    {
        delete login;
        defineSilenciosDaResposta(2, 25, 1000);
        defineLimiteDeFichas(200'000);
        simulaFaltaDeMemoriaAcimaDe(0);
        globais().maximoRespostaBytes = 0;
        globais().usuarioLogado.reset();
    }
    // The operator of respostaDeLogin, as a login leaves it.
    void entra()
    {
        clsUsuario u;
        u.fromPipeStringWithCommand(respostaDeLogin);
        globais().usuarioLogado = u;
    }
    std::optional<RespostaDoServidor> pede(const QString& mensagem, std::initializer_list<int> esperados)
    {
        return Requisita(nullptr, &timerTimeOut, mensagem, esperados);
    }
    QStringList titulos() const
    {
        QStringList t;
        for (const auto& c : caixas.caixas())
            t.append(c.titulo);
        return t;
    }
};

