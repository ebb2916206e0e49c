// The registry server's listener: accepting connections, what one client may take from the others, and the workers.
#pragma once
#include "server/Atendente.h"
#include "server/store/Cadastro.h"
#include "server/ConexaoDoCliente.h"
#include "server/Diario.h"
#include "server/history/Historico.h"
#include "server/network/Limites.h"
#include "server/OpcoesDoServidor.h"
#include "server/Sessoes.h"
#include "server/TrabalhoNoBanco.h"

#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QSslConfiguration>
#include <QPointer>
#include <QSet>
#include <QThreadPool>

#include <map>
#include <memory>
#include <optional>

class Banco;
class Oficina;
namespace Tls {
class Ouvinte;
}
class Vazao;
class QTcpServer;

// The registry server: accepts connections (each a ConexaoDoCliente, which greets, reads,
// frames and writes) and serves their requests.
//
// The loop only reads, frames and writes. The store's work runs on the workers of an
// Oficina (a writer that commits the changes queued so far as one batch, readers for
// searches and login look-ups, each with its own database connection); password checks run
// on a small pool of their own. A long search reply is read from the store and written in
// bounded pieces, in parts that never wait on the client (see Escoamento): memory stays
// bounded, and other connections are served meanwhile. Nothing on the loop waits on the
// database: the sessions a negotiation, a login or a farewell touches are read and written on
// a worker too, and a database that stops answering is found by VigiaDoBanco.
// A connection without a session gets 0 for everything but the login.
//
// The limits are kept here: how many connections at once and from one address, the oldest
// not logged in given up for a new one when the ceiling is reached, how large a request may
// grow before a login, how many logins an address may try, how many password checks may
// wait; a limit hit is one line in the log at most once a second for each kind.
class Servidor : public QObject {
    Q_OBJECT
public:
    using Opcoes = OpcoesDoServidor;

    Servidor(Banco& armazem, Opcoes opcoes, QObject* pai = nullptr);
    ~Servidor() override;

    // Starts the workers and listens; false (with `erro`) when either fails.
    bool escuta(QString& erro);
    QHostAddress enderecoOuvindo() const;
    quint16 portaOuvindo() const;

private:
    void aceita();
    void erroAoAceitar();
    bool fechaMaisAntigaSemLogin();
    void atendeBusca(ConexaoDoCliente& c, QByteArray pedido);
    void partes(const QPointer<ConexaoDoCliente>& conexao, const std::shared_ptr<Vazao>& vazao,
                const std::shared_ptr<Atendente::Lista>& lista, const QByteArray& pedido, const Portador& portador, qint64 chegou);
    void atendeLogin(ConexaoDoCliente& c, const QByteArray& bytes);
    void atendeHistorico(ConexaoDoCliente& c, QByteArray pedido);
    // The changes since a number (protocol/Sincronia.h), in parts like a long search.
    void partesDasMudancas(const QPointer<ConexaoDoCliente>& conexao, const std::shared_ptr<Vazao>& vazao,
                           const std::shared_ptr<Atendente::ListaDeMudancas>& lista, const QByteArray& pedido, const Portador& portador,
                           qint64 chegou);
    // A history row for a login, a refused one or a log-off: stored with the writer's next batch.
    void registraAcesso(const QString& acao, const QString& usuario, qint32 idDepartamento, const QString& endereco,
                        const QString& detalhe);
    void loginConferido(ConexaoDoCliente& c, const QString& usuario, const std::optional<Departamento>& dep, qint64 chegouNs);
    // Wall-clock time: sessions are shared with other servers through the database.
    static qint64 agoraMs();

    // What a connection says (its signals).
    void avisa(const QString& tipo, const QString& linha);
    void autenticou(ConexaoDoCliente& c);
    void saiu(ConexaoDoCliente& c);
    void sessaoEncerrada(const QString& chave);
    void atende(ConexaoDoCliente& c, int codigoPedido, QByteArray pedido);
    void fechou(ConexaoDoCliente& c);
    // Work on a reader for a request of `c`; `depois` runs only while `c` is still connected.
    void noBanco(ConexaoDoCliente* c, std::function<void(Banco&)> tarefa, std::function<void()> depois);

    Banco& m_armazem;
    Opcoes m_opcoes;
    Tls::Ouvinte* m_servidor;
    Sessoes m_sessoes;
    TentativasDeLogin m_tentativas;
    QElapsedTimer m_relogio;
    QSslConfiguration m_tls;   // null without a certificate
    TamanhoDoPedido m_tamanhos;
    TrabalhoNoBanco m_trabalho;
    ConexaoDoCliente::Ambiente m_ambiente;
    QThreadPool m_conferencias;
    std::unique_ptr<Oficina> m_oficina;

    // Resource limits.
    int m_tetoDeConexoes = 0;
    quint64 m_chegadas = 0;                        // connections accepted so far
    QSet<ConexaoDoCliente*> m_conexoes;            // open
    QHash<QString, int> m_porEndereco;             // open connections per address
    std::map<quint64, ConexaoDoCliente*> m_semLogin;   // not logged in, oldest first
    std::shared_ptr<FilaDeSenhas> m_filaDeSenhas;  // shared with the checks under way
    BaldeDeLogins m_baldes;
    AvisosDeLimite m_avisos;
    bool m_aceitarPausado = false;
};
