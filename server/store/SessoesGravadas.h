#pragma once
// The rows of the sessoes table: the sessions as the database keeps them, seen by every server
// on that database. Sessoes decides what a session means; this unit only reads and writes its
// rows. A session is kept under its key (the hash of the secret; the secret itself is never
// stored); `endereco` is Sessoes::chave's text, for the administrator's list and for the shared
// sessions of the per-address rule (`compartilhada`). Times are ms since the epoch.
//
// Every operation returns false on a database failure; the Banco's `ultimoErro()` tells which.
#include <QList>
#include <QString>

#include <optional>

class Banco;

// One open session as the database keeps it.
struct SessaoGravada {
    QString endereco;
    QString usuario;
    qint32 idDepartamento = 0;
    qint64 abertaEmMs = 0;
    qint64 ultimaAtividadeMs = 0;
    bool compartilhada = false;   // shared by the plain-wire connections of its address
};

class SessoesGravadas {
public:
    explicit SessoesGravadas(Banco& banco) : m_banco(banco) {}

    bool abreSessao(const QString& chave, const QString& endereco, const QString& usuario, bool compartilhada, qint64 agoraMs);
    // The department's description when the session `chave` is live (active since
    // `desdeMs`) and belongs to an enabled operator of that department; failing that, when
    // `endereco` is not empty, when a shared session of that address is (active since
    // `enderecoDesdeMs`; `doEndereco` then set). Only reads: `ultimaMs` gets the oldest last
    // activity of what it found, for the caller to decide when to write the clock back;
    // `usuario`, when given, the session's operator.
    bool autorizaSessao(const QString& chave, const QString& endereco, qint32 idDepartamento, qint64 desdeMs,
                        qint64 enderecoDesdeMs, std::optional<QString>& descricao, bool& doEndereco, qint64& ultimaMs,
                        QString* usuario = nullptr);
    // Sets the idle clock of the session `alvo` (or, `doEndereco`, of the shared sessions of
    // the address `alvo`) to `quandoMs` where it is older.
    bool tocaSessao(const QString& alvo, bool doEndereco, qint64 quandoMs);
    // The department's description when `usuario` is an enabled operator of that department.
    bool operadorNoDepartamento(const QString& usuario, qint32 idDepartamento, std::optional<QString>& descricao);
    // Whether `chave` is a live session (active since `desdeMs`) of an enabled operator.
    bool sessaoViva(const QString& chave, qint64 desdeMs, bool& viva);
    // The department of the operator whose session `chave` is (none when there is no such session).
    bool departamentoDaSessao(const QString& chave, std::optional<qint32>& dep);
    // `usuario`, `endereco` (when given): whose session it was, empty when there was none.
    bool encerraSessao(const QString& chave, QString* usuario = nullptr, QString* endereco = nullptr);
    // Ends the sessions of one operator (every operator when empty); `quantas` ended.
    bool encerraSessoes(const QString& usuario, qint64& quantas);
    bool esqueceSessoesVencidas(qint64 antesDeMs);
    bool sessoes(QList<SessaoGravada>& saida);

private:
    Banco& m_banco;
};
