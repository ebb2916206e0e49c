#pragma once
// Plain-wire requests for the server tests, over a socket the test holds itself.
#include "protocol/Wire.h"
#include "support/Pedidos.h"
#include "support/ServidorReal.h"

#include <QTcpSocket>

// Connected and greeted with "2".
inline bool conecta(QTcpSocket& s, const ServidorReal& servidor)
{
    s.connectToHost(servidor.host(), servidor.porta());
    return s.waitForConnected(5000) && s.waitForReadyRead(5000) && s.readAll() == "2";
}

// One plain-wire request; reads until the reply is 0, or starts with `inicio` and holds
// `barras` bars, or the connection ends.
inline QByteArray pede(QTcpSocket& s, const QString& mensagem, const QByteArray& inicio, qsizetype barras)
{
    s.write(Wire::codifica(mensagem));
    QByteArray r;
    while (r != "0" && (!r.startsWith(inicio) || r.count('|') < barras) && s.waitForReadyRead(10'000))
        r += s.readAll();
    return r;
}

// The test account's login; its reply.
inline QByteArray login(QTcpSocket& s)
{
    return pede(s, pedidoDeLogin(), "4|", 4);
}
