#pragma once

// zelto-server's command line: the options it knows, the parser that reads them, and the
// few helpers every command writes with. Any command accepts any known option (one line of
// options may serve several commands); the command table says which ones each one reads.
//
// The syntax: `--nome VALOR` or `--nome=VALOR` (the next argument is the value whatever it
// looks like), a switch alone, `--help` or `-h` anywhere, and one command word. Reading
// stops at the first fault, which is said as the line reads from left to right.

#include <QHash>
#include <QString>
#include <QStringList>

#include <cstdio>
#include <span>

// Where the general --help describes an option; DoComando ones only in their commands' help.
enum class SecaoDaOpcao { Geral, Limites, DoComando };

struct OpcaoDaLinha {
    const char* nome;    // without the leading "--"
    const char* valor;   // the value's name in --help; nullptr for a switch
    const char* ajuda;
    SecaoDaOpcao secao;
};

// Every known option, in the order --help lists them.
std::span<const OpcaoDaLinha> opcoesDaLinha();
const OpcaoDaLinha* opcaoDaLinha(const QString& nome);

struct Argumentos {
    QString comando = QStringLiteral("servir");
    bool comandoDado = false;   // named on the line, not the default
    bool ajuda = false;         // --help or -h (what follows it is not read)
    QHash<QString, QString> opcoes;
    QString erro;

    QString valor(const char* nome, const QString& padrao = QString()) const
    {
        return opcoes.value(QString::fromLatin1(nome), padrao);
    }
    bool tem(const char* nome) const { return opcoes.contains(QString::fromLatin1(nome)); }
};

// What runs a command: its exit code.
using Executa = int(const Argumentos& a, const QString& banco);


// `lista` as QCoreApplication::arguments() gives it (the program first).
Argumentos leArgumentos(const QStringList& lista);

void escreve(FILE* saida, const QString& texto);
// "zelto-server: TEXTO" on standard error; returns the exit code of a failure, 1.
int erro(const QString& texto);
bool inteiro(const QString& texto, qint64 menor, qint64 maior, qint64& valor);
// "HOST:PORTA" (an IPv6 address in brackets) into its host and port; false when it is not one.
bool separaEnderecoEPorta(const QString& texto, QString& host, quint16& porta);
// The whole number given as --`nome` (`padrao` when absent) within [menor, maior]; false,
// said on standard error naming the option and its range, otherwise.
bool inteiroDaOpcao(const Argumentos& a, const char* nome, qint64 padrao, qint64 menor, qint64 maior, qint64& valor);
