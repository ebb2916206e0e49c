// What the registry server is told at its start: where it listens, its timings and its limits.
#pragma once
#include <QHostAddress>
#include <QString>

struct OpcoesDoServidor {
    QHostAddress endereco = QHostAddress::LocalHost;
    quint16 porta = 9998;
    // Quiet after the last piece of a request begins, when that piece might still be
    // growing (a request ending on its department's whole description is served at once).
    int silencioMs = 2;
    int esperaIncompletaMs = 300;    // quiet after which a request still missing pieces is refused
    qint64 sessaoMs = 12LL * 3600'000;
    qsizetype maiorPedido = 1 << 20;
    int filaDeConexoes = 1024;       // listen backlog: connections the system holds before we accept them
    int leitores = 2;                // reader workers (each one database connection)
    int lentoMs = 500;               // a request slower than this is one more log line (0: none)
    bool metricas = false;           // metrics are served: the loop samples what they show
    qsizetype pedacoDeResposta = 256 << 10;   // a long reply is written in pieces of about this size
    // A connection's budget: bytes of one reply read but not yet taken by the system, beyond
    // which its worker stops reading and leaves the thread until the client takes them.
    qsizetype emTransito = 2 << 20;
    // The original client's rule, for offices that still run it: a plain-wire login opens
    // a session for its whole address (every program there, or behind the same NAT, is
    // then that operator until the session expires). Off: it lasts as its connection.
    bool sessaoPorEndereco = false;
    // TLS: the certificate and key files (PEM; none: the server does not offer TLS), and
    // whether a login must come encrypted (from anywhere but this machine).
    QString tlsCertificado;
    QString tlsChave;
    bool exigirTls = false;

    // What one client can take from the others. Logged in = a login accepted on the
    // connection, a live session resumed with its secret, or a request served under one.
    int limiteDeConexoes = 0;          // open connections at most; 0 = from the open-file limit
    int conexoesPorEndereco = 64;      // open connections from one address at most
    int semLoginMs = 60'000;           // a connection not logged in is closed after this (keep-alives do not count)
    qint64 ociosaMs = 2 * 3600'000LL;  // a logged-in connection is closed after this without messages
    int semLerMs = 60'000;             // a connection whose reply waits is closed after this with nothing of it taken
    qsizetype maiorPedidoSemLogin = 16 << 10;   // unfinished request a connection not logged in may hold
    int filaDeSenhas = 16;             // password checks waiting or under way at most
    int senhasPorEndereco = 2;         // of those, from one address
    int rajadaDeLogins = 20;           // login attempts one address may make at once
    int loginsPorMinuto = 20;          // and then a minute
};
