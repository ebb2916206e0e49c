#pragma once
// A blocking client of the registry server for tests and benchmarks: connects, takes the
// server's "2", talks the plain wire or agrees on frames, and reads whole framed replies.
// Every read waits at most its deadline. Nothing here uses Qt Test (benchmarks share it).
//
//     ClienteEmQuadros c(servidor, {"quadros", "historico"});   // connected and agreed
//     QVERIFY(c.entra(servidor.conta()));
//     QCOMPARE(c.pede(busca(7)), ...);                             // one framed reply, whole
#include "protocol/Historico.h"
#include "protocol/Quadros.h"
#include "support/ServidorReal.h"

#include <QByteArray>
#include <QList>
#include <QStringList>
#include <QTcpSocket>

class ClienteEmQuadros {
public:
    // Connects and reads the greeting; nothing is agreed yet (the plain wire).
    ClienteEmQuadros(const QString& host, quint16 porta);
    template <class Servidor>
    explicit ClienteEmQuadros(const Servidor& s) : ClienteEmQuadros(s.host(), s.porta())
    {
    }
    // The same, then the agreement on `capacidades`.
    template <class Servidor>
    ClienteEmQuadros(const Servidor& s, const QStringList& capacidades) : ClienteEmQuadros(s.host(), s.porta())
    {
        if (m_conectado)
            combina(capacidades);
    }
    ClienteEmQuadros(const ClienteEmQuadros&) = delete;
    ClienteEmQuadros& operator=(const ClienteEmQuadros&) = delete;

    bool conectado() const { return m_conectado; }     // connected and greeted with "2"
    bool enquadrado() const { return m_enquadrado; }   // frames agreed
    QTcpSocket& socket() { return m_socket; }

    // Asks for `capacidades` and returns the server's plain answer as it came (empty: none
    // within the deadline). Frames are on from then on when the answer grants them.
    QByteArray combina(const QStringList& capacidades = {QLatin1String(Quadros::capacidadeQuadros)}, int prazoMs = 5000);
    const QByteArray& combinado() const { return m_combinado; }

    void envia(const QByteArray& bytes);
    void enviaEmQuadro(const QString& mensagem);
    // Exactly `n` plain bytes (or fewer on a time-out or a close).
    QByteArray leCru(qsizetype n, int prazoMs = 5000);
    // The plain wire: what arrives until the line has been quiet for `quietoMs`.
    QByteArray ateSilencio(int quietoMs = 300, int prazoMs = 20000);
    // The next framed message; null on a time-out, a close or a broken frame.
    QByteArray mensagem(int prazoMs = 10000);
    // One framed request and its framed reply (null as for `mensagem`).
    QByteArray pede(const QString& mensagem, int prazoMs = 10000);
    // The same with the request already in the wire's bytes.
    QByteArray pedeCodificado(QByteArrayView bytes, int prazoMs = 10000);

    bool entra(const ServidorReal::Conta& conta);
    // A sheet's history (the capability agreed); `cru` gets the reply as it came.
    QList<Historico::Entrada> historico(qint32 numeroFicha, QByteArray* cru = nullptr);
    bool fechado(int prazoMs = 3000);

private:
    QTcpSocket m_socket;
    bool m_conectado = false;
    bool m_enquadrado = false;
    QByteArray m_combinado;
    Quadros::Leitor m_leitor;
    QByteArray m_corrente;
    QList<QByteArray> m_prontas;
};
