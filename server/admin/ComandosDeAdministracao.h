#pragma once

// The administration commands: the store's departments, operators, sessions, copies and
// demo sheets, each run once from the command line. Each returns the process exit code and
// says what went wrong on standard error.

#include "server/admin/LinhaDeComando.h"

class Banco;

namespace Comando {
// Each one: int (const Argumentos& a, const QString& banco), as the command table calls it.
Executa criarBanco, departamento, operador, desativarOperador, ativarOperador, removerOperador, sessoes,
    encerrarSessoes, backup, listar, verificar, demo, gerarFichas;
}

// Opens the store (`criar`: making the tables; else bringing an older one up to date);
// false, said on standard error, when it cannot. `servir` opens its store the same way.
bool abreArmazem(Banco& armazem, bool criar);
