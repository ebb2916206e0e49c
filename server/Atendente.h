#pragma once
#include <QByteArray>
#include <QString>
#include <QStringView>

#include <functional>

#include "protocol/clsFiltroBusca.h"
#include "server/store/FichasGravadas.h"
#include "server/store/Mudancas.h"
#include "server/history/Historico.h"
#include "server/Sessoes.h"

class Banco;

// Turns one complete request (saves, inclusions, deletions, searches) into its one reply.
// Runs inside the transaction the server opens around a batch of requests; each change sits
// in a savepoint of its own, so a failed request leaves nothing behind and does not spoil
// the others. Logins are the server's business (their password check runs off the loop).
// Each change leaves its history row in its own savepoint, so it is stored if and only if its
// row is. A read never writes: its row goes to `registraLeitura`, which hands it to the writer.
class Atendente {
public:
    Atendente(Banco& banco, Sessoes& sessoes) : m_banco(banco), m_fichas(banco), m_sessoes(sessoes) {}

    struct Resposta {
        QByteArray bytes;   // the reply message, as it goes on the wire
        QString desfecho;   // what happened, for the log: never member data
        bool alterou = false;
        // For the slow-request line: the department the request named (0: none), the rows a
        // list returned (-1: as the reply's code says).
        qint32 departamento = 0;
        qint64 linhas = -1;
    };

    Resposta atende(int codigo, QStringView mensagem, const Portador& portador, qint64 agoraMs);

    // Where the rows of reads go (none kept when unset).
    void defineRegistroDeLeituras(std::function<void(RegistroDoHistorico)> registra) { m_registraLeitura = std::move(registra); }

    // A sheet's history for our client (protocol/Historico.h): the rows of the operator's own
    // department, newest first; 0 without a session, or when the department has no such sheet.
    Resposta historico(QStringView mensagem, const Portador& portador, qint64 agoraMs);
    static constexpr int maiorHistorico = 2000;
    // A long search between its parts: what it looks for and where it stopped.
    struct Lista {
        qint32 idDepartamento = 0;
        clsFiltroBusca filtro;
        QByteArray departamento;   // the pieces following each sheet
        FichasGravadas::Trecho trecho;
        qsizetype achadas = 0;
        // Who asked, for the history row written when the list ends.
        QString usuario;
        Portador portador;
        qint64 agoraMs = 0;
        bool pausada() const { return trecho.pausou; }
    };

    // A search whose reply may be long. The reply's first bytes go out through `entrega` in
    // pieces of about `pedaco` bytes as the rows are read; the returned reply holds what is
    // left to send (the whole reply when it was short). `comecou` tells whether any piece went
    // out: a failure after that cannot be told with code 0 any more.
    // With `lista`, `entrega` may ask (through `lista->trecho.pausar`) to stop after a piece:
    // the reply returned is then empty, `lista->pausada()`, and `continuaBusca` goes on later,
    // on any thread's Atendente.
    Resposta buscaEmPartes(QStringView mensagem, const Portador& portador, qint64 agoraMs, qsizetype pedaco,
                           const std::function<bool(QByteArray&&)>& entrega, bool& comecou, Lista* lista = nullptr);
    Resposta continuaBusca(Lista& lista, qsizetype pedaco, const std::function<bool(QByteArray&&)>& entrega);

    // What an office that works disconnected asks (protocol/Sincronia.h), defined in
    // AtendenteDaSincronia.cpp. The changes to the session's department since N, read in parts
    // like a long search (pausing through `lista.leitura.pausar`):
    struct ListaDeMudancas {
        qint32 idDepartamento = 0;
        QByteArray departamento;   // the pieces following each sheet
        Mudancas::Leitura leitura;
        QString usuario;
        Portador portador;
        qint64 agoraMs = 0;
        bool pausada() const { return leitura.pausou; }
    };
    Resposta mudancasEmPartes(QStringView mensagem, const Portador& portador, qint64 agoraMs, qsizetype pedaco,
                              const std::function<bool(QByteArray&&)>& entrega, bool& comecou, ListaDeMudancas& lista);
    Resposta continuaMudancas(ListaDeMudancas& lista, qsizetype pedaco, const std::function<bool(QByteArray&&)>& entrega,
                              bool* comecou = nullptr);
    // A queued change, applied once: in the writer's batch, like any change.
    Resposta mudancaNaFila(QStringView mensagem, const Portador& portador, qint64 agoraMs);
    Resposta grupoNaFila(QStringView mensagem, const Portador& portador, qint64 agoraMs);

    // Longest text accepted in one field of a sheet; the client's boxes hold far less.
    static constexpr qsizetype maiorCampo = 10'000;

private:
    // The sheet a change carries, read into `f`; its department's name (set in `f` too) when
    // the requester has a session there, with the operator's name in `usuario`.
    std::optional<QString> fichaAutorizada(QStringView mensagem, const Portador& portador, qint64 agoraMs, clsAgenda& f, QString& usuario);
    Resposta atendeCodigo(int codigo, QStringView mensagem, const Portador& portador, qint64 agoraMs);
    Resposta salva(QStringView mensagem, const Portador& portador, qint64 agoraMs);
    Resposta inclui(QStringView mensagem, const Portador& portador, qint64 agoraMs);
    Resposta exclui(QStringView mensagem, const Portador& portador, qint64 agoraMs);
    Resposta busca(QStringView mensagem, const Portador& portador, qint64 agoraMs);
    Resposta fimDaBusca(const Lista& lista, QByteArray resto);

    bool registra(RegistroDoHistorico registro);

    Banco& m_banco;
    qint32 m_departamento = 0;   // named by the request under way
    // While a queued change runs: what its history row adds (when it was made), and what must be
    // kept in the change's own savepoint or the change not kept at all (its id and answer).
    QString m_detalheDaMudanca;
    std::function<bool(Resposta&)> m_fechoDaMudanca;
    FichasGravadas m_fichas;
    Sessoes& m_sessoes;
    std::function<void(RegistroDoHistorico)> m_registraLeitura;
};
