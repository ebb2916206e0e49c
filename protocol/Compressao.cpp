// Packed pieces of framed replies: what our server packs and our client unpacks (zstd).
#include "protocol/Compressao.h"
#include "protocol/Quadros.h"

#include <zstd.h>

#include <memory>

namespace Compressao {

namespace {

// Level 1: on member lists it packs as well as zlib's default level at several times its speed,
// and the time to pack is time the reply waits.
constexpr int nivel = 1;

struct LiberaCCtx {
    void operator()(ZSTD_CCtx* c) const { ZSTD_freeCCtx(c); }
};
struct LiberaDCtx {
    void operator()(ZSTD_DCtx* d) const { ZSTD_freeDCtx(d); }
};

// One context per thread, made once: each piece would otherwise allocate its own.
ZSTD_CCtx* contextoDeEmpacotar()
{
    thread_local std::unique_ptr<ZSTD_CCtx, LiberaCCtx> c = [] {
        std::unique_ptr<ZSTD_CCtx, LiberaCCtx> novo(ZSTD_createCCtx());
        if (novo) {
            ZSTD_CCtx_setParameter(novo.get(), ZSTD_c_compressionLevel, nivel);
            ZSTD_CCtx_setParameter(novo.get(), ZSTD_c_checksumFlag, 1);
            ZSTD_CCtx_setParameter(novo.get(), ZSTD_c_contentSizeFlag, 1);
        }
        return novo;
    }();
    return c.get();
}

ZSTD_DCtx* contextoDeDesempacotar()
{
    thread_local std::unique_ptr<ZSTD_DCtx, LiberaDCtx> d(ZSTD_createDCtx());
    return d.get();
}

} // namespace

QByteArray quadro(QByteArrayView dados)
{
    ZSTD_CCtx* c = contextoDeEmpacotar();
    if (dados.size() < menorPedaco || dados.size() > maiorPedaco || !c)
        return Quadros::quadro(dados);
    QByteArray empacotado(qsizetype(ZSTD_compressBound(size_t(dados.size()))), Qt::Uninitialized);
    const size_t n = ZSTD_compress2(c, empacotado.data(), size_t(empacotado.size()), dados.data(), size_t(dados.size()));
    if (ZSTD_isError(n) || qsizetype(n) >= dados.size())
        return Quadros::quadro(dados);
    empacotado.truncate(qsizetype(n));
    return marca + Quadros::quadro(empacotado);
}

bool desempacota(QByteArrayView empacotado, QByteArray& saida)
{
    saida.clear();
    const size_t tamanho = size_t(empacotado.size());
    // Exactly one frame, nothing after it; its unpacked size said up front and within bounds,
    // so the room for it is known before any byte is unpacked (and no unpacking can exceed it).
    if (empacotado.size() > maiorPedaco || ZSTD_findFrameCompressedSize(empacotado.data(), tamanho) != tamanho)
        return false;
    const unsigned long long dito = ZSTD_getFrameContentSize(empacotado.data(), tamanho);
    if (dito == ZSTD_CONTENTSIZE_UNKNOWN || dito == ZSTD_CONTENTSIZE_ERROR || dito == 0
        || dito > static_cast<unsigned long long>(maiorPedaco))
        return false;
    ZSTD_DCtx* d = contextoDeDesempacotar();
    if (!d)
        return false;
    saida.resize(qsizetype(dito));
    const size_t n = ZSTD_decompressDCtx(d, saida.data(), size_t(saida.size()), empacotado.data(), tamanho);
    if (ZSTD_isError(n) || n != dito) {
        saida.clear();
        return false;
    }
    return true;
}

bool Desempacotador::acrescenta(QByteArrayView parte, bool ultima)
{
    m_pronto.clear();
    if (m_empacotado.size() + parte.size() > maiorPedaco) {
        m_empacotado.clear();
        return false;
    }
    m_empacotado += parte;
    if (!ultima)
        return true;
    const bool ok = desempacota(m_empacotado, m_pronto);
    m_empacotado.clear();
    return ok;
}

void Desempacotador::reinicia()
{
    m_empacotado.clear();
    m_pronto.clear();
}

} // namespace Compressao
