#pragma once
// A network of this test's own, for what needs an address that is not loopback ("another
// computer" as the server sees it): while the object lives, the test's thread (and every
// program it starts) is in a network namespace of its own, with loopback up and a veth pair
// 10.199.0.1 <-> 10.199.0.2. Needs root (CAP_SYS_ADMIN, as in CI) and the `ip` command;
// otherwise `erro()` says why and the test skips.
//
//     RedePrivada rede;
//     if (!rede.pronta())
//         QSKIP(qPrintable(rede.erro()));
//     servidor.defineEndereco(rede.enderecoDoServidor());   // started after: inside
#include <QString>

class RedePrivada {
public:
    RedePrivada();
    ~RedePrivada();   // back to the namespace the thread came from
    RedePrivada(const RedePrivada&) = delete;
    RedePrivada& operator=(const RedePrivada&) = delete;

    bool pronta() const { return m_erro.isEmpty(); }
    const QString& erro() const { return m_erro; }
    // The server's side of the pair; a client connecting to it comes from the other side.
    static QString enderecoDoServidor() { return QStringLiteral("10.199.0.2"); }
    static QString enderecoDoCliente() { return QStringLiteral("10.199.0.1"); }

private:
    int m_original = -1;   // the namespace the thread came from
    QString m_erro;
};
