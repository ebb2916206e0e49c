#pragma once
// Benchmark set-up shared by the client benchmarks: log in to the real server through the
// request cycle, without the login window, so that what is timed afterwards is the client's
// own path and nothing else (no keep-alive, no poll of the login window, a generous time-out).
#include "ServidorReal.h"
#include "app/modGlobais.h"
#include "connection/Requisicao.h"
#include "connection/frmLogin.h"
#include "protocol/clsUsuario.h"

#include <QTimer>

#include <cstdio>
#include <optional>

// The operator the server returned, or nothing (the reason written to standard error).
inline std::optional<clsUsuario> entraDireto(ServidorReal& servidor, QTimer* timerTimeOut)
{
    if (!servidor.inicia()) {
        std::fprintf(stderr, "server: %s\n", qPrintable(servidor.erro()));
        return std::nullopt;
    }
    globais().timeOutSegundos = 30;
    globais().keepAliveSegundos = 0;
    frmLogin::defineServidorParaTeste(servidor.host(), servidor.porta());
    frmLogin::instancia()->Timer1->stop();
    clsUsuario u;
    u.usuario = servidor.conta().usuario;
    u.senha = servidor.conta().senha;
    const auto r = Requisita(nullptr, timerTimeOut, u.toPipeStringWithCommand(3), {4});
    if (!r) {
        std::fprintf(stderr, "login failed\n");
        return std::nullopt;
    }
    clsUsuario logado;
    logado.fromPipeStringWithCommand(r->texto);
    return logado;
}
