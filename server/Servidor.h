#pragma once
#include "server/Armazem.h"
#include "server/Atendente.h"
#include "server/Enquadramento.h"
#include "server/Sessoes.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QThreadPool>

class QTcpServer;
class QTcpSocket;
class QTimer;

// The registry server: accepts connections, greets each with "2", finds the requests in
// what arrives, answers each with one reply written at once, and never answers a keep-alive.
//
// One thread runs the loop. Requests that become ready together are served as one batch in
// one transaction (each change in a savepoint), and their replies leave only after the
// commit: an acknowledged change is on disk, and one disk sync serves the whole batch.
// The password checks of logins run on a small thread pool so they never stall the loop.
class Servidor : public QObject {
    Q_OBJECT
public:
    struct Opcoes {
        QHostAddress endereco = QHostAddress::LocalHost;
        quint16 porta = 9998;
        // Quiet after the last piece of a request begins, when that piece might still be
        // growing (a request ending on its department's whole description is served at once).
        int silencioMs = 2;
        int esperaIncompletaMs = 300;    // quiet after which a request still missing pieces is refused
        qint64 sessaoMs = 12LL * 3600'000;
        qsizetype maiorPedido = 1 << 20;
    };

    Servidor(Armazem& armazem, Opcoes opcoes, QObject* pai = nullptr);
    ~Servidor() override;

    bool escuta(QString& erro);
    QHostAddress enderecoOuvindo() const;
    quint16 portaOuvindo() const;

private:
    struct Conexao;
    struct Pedido {
        QPointer<QTcpSocket> socket;
        int codigo;
        QByteArray bytes;
        qint64 chegouNs;
        QHostAddress endereco;
    };

    void aceita();
    void chegaram(Conexao* c);
    void silencio(Conexao* c);
    bool terminaNaDescricao(const Conexao* c, const Enquadramento::Analise& a) const;
    void examina(Conexao* c);
    void enfileira(Conexao* c, int codigo, QByteArray bytes);
    void atendeLote();
    void atendeLogin(Conexao* c, const QByteArray& bytes);
    void loginConferido(QPointer<QTcpSocket> socket, QString usuario, std::optional<Departamento> dep, qint64 chegouNs);
    void responde(QTcpSocket* socket, int codigoPedido, const QByteArray& bytes, const QString& desfecho, qint64 chegouNs);
    Conexao* conexaoDe(QTcpSocket* socket) const;
    // Wall-clock time: sessions are shared with other servers through the database.
    static qint64 agoraMs();

    Armazem& m_armazem;
    Opcoes m_opcoes;
    QTcpServer* m_servidor;
    Sessoes m_sessoes;
    TentativasDeLogin m_tentativas;
    Atendente m_atendente;
    QElapsedTimer m_relogio;
    QList<Pedido> m_fila;
    bool m_loteAgendado = false;
    QThreadPool m_conferencias;
};

// One line on standard error: an ISO 8601 UTC timestamp, the program's name, the text with
// every control character escaped (so one event is always one line).
void registraNoDiario(const QString& linha);
