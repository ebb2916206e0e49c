#pragma once
#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>

#include <cstddef>
#include <type_traits>

// The framing our client and our server agree on, per connection, on top of the plain wire.
//
// The plain wire has no end marker: a reply is known to be whole only by its shape and a
// quiet line. Our two programs agree on something better in one short exchange as the
// connection opens:
//
//     client: 99|zelto|1|quadros          (code, name, version, capabilities wanted, comma-separated)
//     server: 99|zelto|1|quadros          (the capabilities it takes; empty: none)
//
// (with a session: client "99|zelto|1|quadros,sessao[=<secret>]", server
// "99|zelto|1|quadros,sessao=<secret>"; see the capabilities below and server/Sessoes.h)
//
// Both are plain messages. Code 99 is outside the command table, so a server that does not
// know it answers with its failure code 0 (or says nothing) and the client carries on with
// the plain wire. A client that never asks gets exactly the plain wire.
//
// Once "quadros" is agreed, every message after the exchange, both ways, goes as pieces
// "<length>:<bytes>" (length in decimal ASCII, bytes as on the plain wire) and ends with the
// empty piece "0:". A reply may therefore be written while it is still being produced, and
// its end is known from the bytes alone. The version and capability fields leave room for
// what later connections may want to agree on.
//
// Encryption comes first when the client offers it: "99|zelto|1|tls,quadros,sessao" (never a
// secret beside "tls"). A server with a certificate answers "99|zelto|1|tls" and nothing else;
// both then start TLS on the same connection (the server's next bytes are its handshake), and
// the client makes the whole exchange above again inside it, as if the connection were new
// (without "tls"), except that inside TLS every message is framed, the exchange's two as well:
// the client sends its first request right behind its half without waiting for the answer.
// A server without a certificate ignores "tls" and answers as above.
//
// Our client sends its first offer as soon as the connection is up, before the "2" arrives:
// the server reads it after its "2", as any request.
// With "zstd" agreed as well, a piece of a reply may go packed, marked by a "z" before its
// length: "z<length>:<bytes>" (protocol/Compressao.h). A plain piece starts with a digit, so
// the two never mix up; a reader that did not agree on it takes the "z" as a broken stream.
namespace Quadros {

inline constexpr int codigoDeNegociacao = 99;
inline constexpr char nomeDoProtocolo[] = "zelto";
inline constexpr int versao = 1;
inline constexpr char capacidadeQuadros[] = "quadros";
// "sessao" (a fresh start) or "sessao=<secret>" (a reconnect): the server answers
// "sessao=<secret>", the same secret when it names a live session (the connection is in it,
// no login needed), a new one otherwise (the next login on the connection binds it).
inline constexpr char capacidadeSessao[] = "sessao";
// "tls": switch this connection to TLS now; alone in the server's answer (see above).
inline constexpr char capacidadeTls[] = "tls";
// "encerrar=<secret>": log-off; the server ends that session and answers "encerrar".
inline constexpr char capacidadeEncerrar[] = "encerrar";
// "saude" (the administration command's question "serving?") is protocol/Saude.h's.

// "99|zelto|1|" + capabilities joined by ",".
QString pedidoDeNegociacao(const QStringList& capacidades);
// The capabilities a negotiation message (request or reply) names; false when the text is
// not one (another code, another name, a version we do not speak, pieces missing or extra).
bool leNegociacao(QStringView mensagem, QStringList& capacidades);

// Whether a text has the shape of a session secret (64 lower-case hex digits).
bool pareceSegredo(QStringView texto);

// One piece of a message; an empty `dados` gives nothing (the end is `fim()`).
QByteArray quadro(QByteArrayView dados);
// What opens a piece of `tamanho` bytes (more than 0): "<length>:". Written before bytes
// that stay where they are, it frames them without copying them.
QByteArray cabecalho(qsizetype tamanho);
// The empty piece that ends a message.
QByteArray fim();
// A whole message in one piece followed by the end.
QByteArray mensagem(QByteArrayView dados);

// Takes framed bytes as they arrive, in any cut, and hands out the message bytes and the
// message ends in order. A length that is no number or over `maiorQuadro` is an error the
// connection cannot recover from: the reader stops and says so.
class Leitor {
public:
    explicit Leitor(qsizetype maiorQuadro = 64 << 20) : m_maiorQuadro(maiorQuadro) {}

    // Calls `dados(QByteArrayView)` for each run of message bytes and `fimDaMensagem()` at
    // each end, in the order they are in `entrada`. Returns false once the stream is broken.
    template <class AoDados, class AoFim>
    bool le(QByteArrayView entrada, AoDados&& dados, AoFim&& fimDaMensagem)
    {
        return le(entrada, dados, fimDaMensagem, nullptr);
    }
    // The same where packed pieces were agreed on: a marked piece's bytes go to
    // `empacotados(QByteArrayView parte, bool ultima)`, which returns false when they cannot
    // be unpacked (the stream is then broken).
    template <class AoDados, class AoFim, class AoEmpacotados>
    bool le(QByteArrayView entrada, AoDados&& dados, AoFim&& fimDaMensagem, AoEmpacotados&& empacotados)
    {
        constexpr bool aceitaMarca = !std::is_null_pointer_v<std::remove_cvref_t<AoEmpacotados>>;
        qsizetype i = 0;
        while (i < entrada.size() && !m_quebrado) {
            if (m_restante > 0) {
                const qsizetype n = qMin(m_restante, entrada.size() - i);
                m_restante -= n;
                if constexpr (aceitaMarca) {
                    if (m_marcado) {
                        if (!empacotados(entrada.sliced(i, n), m_restante == 0))
                            m_quebrado = true;
                        i += n;
                        continue;
                    }
                }
                dados(entrada.sliced(i, n));
                i += n;
                continue;
            }
            const char c = entrada[i++];
            if (c == ':') {
                // A marked piece is never empty: only a plain "0:" ends a message.
                if (!m_temDigito || (m_marca && m_comprimento == 0)) {
                    m_quebrado = true;
                    break;
                }
                m_marcado = m_marca;
                m_marca = false;
                m_restante = m_comprimento;
                m_comprimento = 0;
                m_temDigito = false;
                if (m_restante == 0)
                    fimDaMensagem();
            } else if (aceitaMarca && c == 'z' && !m_temDigito && !m_marca) {
                m_marca = true;
            } else if (c >= '0' && c <= '9' && !(m_temDigito && m_comprimento == 0)) {
                m_comprimento = m_comprimento * 10 + (c - '0');
                m_temDigito = true;
                if (m_comprimento > m_maiorQuadro)
                    m_quebrado = true;
            } else {
                m_quebrado = true;
            }
        }
        return !m_quebrado;
    }

    bool quebrado() const { return m_quebrado; }

private:
    qsizetype m_maiorQuadro;
    qsizetype m_restante = 0;
    qsizetype m_comprimento = 0;
    bool m_temDigito = false;
    bool m_marca = false;      // a "z" read before the length
    bool m_marcado = false;    // the piece being read is packed
    bool m_quebrado = false;
};

} // namespace Quadros
