#pragma once
// Request texts the server tests send, built by the protocol's own classes.
#include "protocol/clsFiltroBusca.h"
#include "protocol/clsUsuario.h"
#include "protocol/modCommands.h"

#include <QDate>
#include <QString>

// A login (code 1); the defaults are ServidorReal's account.
inline QString pedidoDeLogin(const QString& usuario = QStringLiteral("operador"), const QString& senha = QStringLiteral("senha123"))
{
    clsUsuario u;
    u.usuario = usuario;
    u.senha = senha;
    return u.toPipeStringWithCommand(Codigo::Login);
}

// A search (code 12): sheet number (0 = any), part of the name, dates (invalid = open), department.
inline QString busca(qint32 numero, const QString& nome = QString(), const QDate& de = QDate(), const QDate& ate = QDate(),
                     qint32 dep = 1)
{
    clsFiltroBusca f;
    f.numeroFicha = numero;
    f.nome = nome;
    if (de.isValid())
        f.dataInicial = de;
    if (ate.isValid())
        f.dataFinal = ate;
    f.departamento.idDepartamento = dep;
    return f.toPipeStringWithCommand(Codigo::Busca);
}
