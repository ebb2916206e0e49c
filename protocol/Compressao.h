#pragma once
// Packed pieces of framed replies: what our server packs and our client unpacks (zstd).
#include <QByteArray>
#include <QByteArrayView>

// Once both sides agreed on `capacidade` (only together with the framing, protocol/Quadros.h),
// a piece of a reply may go packed: "z<length>:<bytes>", the bytes one whole zstd frame that
// names its unpacked size and carries a checksum. Each piece unpacks on its own, so a reply is
// still written while its rows are read. Requests are never packed (a login carries a password,
// and requests are short); replies to a login never either (see server/ConexaoDoCliente).
namespace Compressao {

inline constexpr char capacidade[] = "zstd";
inline constexpr char marca = 'z';
// Pieces shorter than this go plain: packing them saves no round trip.
inline constexpr qsizetype menorPedaco = 1024;
// The most one packed piece may hold, packed or unpacked. The server's pieces are far smaller
// (server/OpcoesDoServidor.h); a piece that says more is refused before anything is allocated.
inline constexpr qsizetype maiorPedaco = 4 << 20;

// One piece of a reply for a connection that agreed: packed and marked when that makes it
// shorter, plain (Quadros::quadro) otherwise. Empty `dados` gives nothing, as Quadros::quadro.
QByteArray quadro(QByteArrayView dados);

// Unpacks the bytes of one packed piece into `saida`. False, with `saida` empty, when they are
// no single well-formed frame, its checksum fails, or it says or holds more than `maiorPedaco`.
bool desempacota(QByteArrayView empacotado, QByteArray& saida);

// Gathers the bytes of packed pieces as the framed reader hands them out and unpacks each one
// once whole. Bounded: a piece over `maiorPedaco` fails as it grows.
class Desempacotador {
public:
    // `parte` of a packed piece, `ultima` at its end. False once the piece cannot be unpacked;
    // when it is whole, `pronto()` holds what it unpacked to.
    bool acrescenta(QByteArrayView parte, bool ultima);
    QByteArrayView pronto() const { return m_pronto; }
    void reinicia();

private:
    QByteArray m_empacotado;
    QByteArray m_pronto;
};

} // namespace Compressao
