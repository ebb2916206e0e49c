#pragma once
// A raw client of the registry server and the sheet helpers its tests share.
#include "protocol/Wire.h"
#include "protocol/clsAgenda.h"
#include "support/Pedidos.h"
#include "support/RespostaInteira.h"
#include "support/ServidorReal.h"

#include <QDate>
#include <QDeadlineTimer>
#include <QHostAddress>
#include <QTcpSocket>

#include <algorithm>
#include <memory>

// A client socket that sends raw bytes and reads one whole reply.
class Cliente {
public:
    explicit Cliente(const ServidorReal& servidor, const QString& origem = QStringLiteral("127.0.0.1"))
    {
        m_socket.bind(QHostAddress(origem));
        m_socket.connectToHost(servidor.host(), servidor.porta());
        m_conectado = m_socket.waitForConnected(5000);
        m_saudacao = le();
    }
    bool conectado() const { return m_conectado; }
    const QByteArray& saudacao() const { return m_saudacao; }

    void envia(const QByteArray& bytes)
    {
        m_socket.write(bytes);
        m_socket.waitForBytesWritten(5000);
    }
    QByteArray pede(const QString& mensagem)
    {
        envia(Wire::codifica(mensagem));
        return le();
    }
    // One reply: complete by its code's piece count, or after a short quiet for lists.
    QByteArray le(int prazoMs = 5000)
    {
        QByteArray r;
        QDeadlineTimer prazo(prazoMs);
        while (!prazo.hasExpired()) {
            r += m_socket.readAll();   // an event loop (qWait) may already have buffered it
            if (respostaInteira(r))
                return r;
            const bool lista = r.startsWith("13|");
            if (!m_socket.waitForReadyRead(lista ? 150 : int(std::max<qint64>(1, prazo.remainingTime())))) {
                if (lista || m_socket.state() != QAbstractSocket::ConnectedState)
                    return r;
                continue;
            }
        }
        return r + m_socket.readAll();
    }
    // The agreement right after the greeting, on the plain wire: "99|zelto|1|" + `capacidades`;
    // the server's answer.
    QByteArray combina(const QString& capacidades)
    {
        envia(Wire::codifica(QStringLiteral("99|zelto|1|") + capacidades));
        QByteArray r;
        if (m_socket.waitForReadyRead(5000))
            do
                r += m_socket.readAll();
            while (m_socket.waitForReadyRead(100));
        return r;
    }
    // The secret a "sessao" answer names (empty when none).
    static QString segredoDe(const QByteArray& resposta)
    {
        const qsizetype i = resposta.indexOf("sessao=");
        return i < 0 ? QString() : QString::fromLatin1(resposta.mid(i + 7, 64));
    }
    // Whatever arrives within `ms` (a keep-alive must get nothing).
    QByteArray nadaEm(int ms)
    {
        if (m_socket.bytesAvailable() == 0)
            m_socket.waitForReadyRead(ms);
        return m_socket.readAll();
    }
    bool fechadoPeloServidor(int ms = 3000)
    {
        if (m_socket.state() == QAbstractSocket::UnconnectedState)
            return true;
        return m_socket.waitForDisconnected(ms);
    }

private:
    QTcpSocket m_socket;
    bool m_conectado = false;
    QByteArray m_saudacao;
};

inline clsAgenda ficha(qint32 numero, const QString& nome, const QDate& data = QDate(2021, 5, 10), qint32 dep = 1)
{
    clsAgenda f;
    f.numeroFicha = numero;
    f.nome = nome;
    f.Data = data;
    f.Valor = 123.45;
    f.cidade = QStringLiteral("São Paulo");
    f.obs = QStringLiteral("anotação");
    f.status = QStringLiteral("ATIVO");
    f.statuscod = QStringLiteral("1");
    f.departamento.idDepartamento = dep;
    f.departamento.dsDepartamento = QStringLiteral("qualquer coisa");   // the server ignores it
    return f;
}

inline QList<clsAgenda> lista(const QByteArray& resposta)
{
    return clsAgenda::collectionFromPipeStringWithCommand(Wire::decodifica(resposta));
}

inline QList<qint32> numeros(const QByteArray& resposta)
{
    QList<qint32> n;
    for (const clsAgenda& f : lista(resposta))
        n << f.numeroFicha;
    return n;
}

inline clsAgenda uma(const QByteArray& resposta)
{
    clsAgenda f;
    f.fromPipeStringWithCommand(Wire::decodifica(resposta));
    return f;
}

// Sheets in the store behind `s`, read straight from its database.
inline qint64 fichasNoBanco(ServidorReal& s)
{
    return s.fichasNoBanco();
}

// Statements run straight on the store behind `s`; `ultimo` gets the last one's first value.
inline bool executaNoBanco(ServidorReal& s, const QStringList& comandos, QVariant* ultimo = nullptr)
{
    return s.executaNoBanco(comandos, ultimo);
}

// The server a test class shares: the test account (department 1) beside a second department
// with its own operator, and a client logged in as the first. Empty when all went well.
inline QString sobeServidorCompartilhado(std::unique_ptr<ServidorReal>& servidor, std::unique_ptr<Cliente>& cliente, int fichas = 0)
{
    servidor = std::make_unique<ServidorReal>(fichas);
    if (!servidor->inicia())
        return servidor->erro();
    if (!servidor->adicionaConta({2, QStringLiteral("Tesouraria"), QStringLiteral("tesoureiro"), QStringLiteral("moedas-de-ouro")}))
        return servidor->erro();
    cliente = std::make_unique<Cliente>(*servidor);
    const QByteArray r = cliente->pede(pedidoDeLogin(QStringLiteral("operador"), QStringLiteral("senha123")));
    return r.startsWith("4|") ? QString() : QStringLiteral("login: ") + QString::fromLatin1(r);
}

// The log carries no member data: names the tests use and the password never appear in it.
inline bool diarioSemDados(const ServidorReal& servidor)
{
    const QString diario = servidor.diario();
    return !diario.contains(QStringLiteral("Conceição")) && !diario.contains(QStringLiteral("senha123"));
}
