#pragma once

// The administration commands: the store's departments, operators, sessions, copies and
// demo sheets, each run once from the command line. Each returns the process exit code and
// says what went wrong on standard error.

class Armazem;
class QString;
struct Argumentos;

namespace Comando {
int criarBanco(const Argumentos& a, const QString& banco);
int departamento(const Argumentos& a, const QString& banco);
int operador(const Argumentos& a, const QString& banco);
int desativarOperador(const Argumentos& a, const QString& banco);
int ativarOperador(const Argumentos& a, const QString& banco);
int removerOperador(const Argumentos& a, const QString& banco);
int sessoes(const Argumentos& a, const QString& banco);
int encerrarSessoes(const Argumentos& a, const QString& banco);
int backup(const Argumentos& a, const QString& banco);
int listar(const Argumentos& a, const QString& banco);
int verificar(const Argumentos& a, const QString& banco);
int demo(const Argumentos& a, const QString& banco);
int gerarFichas(const Argumentos& a, const QString& banco);
}

// Opens the store (`criar`: making the tables; else bringing an older one up to date);
// false, said on standard error, when it cannot. `servir` opens its store the same way.
bool abreArmazem(Armazem& armazem, bool criar);
