// The seal of a desk's copy (see Selo.h).
#include "desconectado/Selo.h"

#include <sodium.h>

namespace {

bool custoBaixo = false;

bool iniciaSodium()
{
    static const bool ok = sodium_init() >= 0;
    return ok;
}

} // namespace

void Selo::defineCustoBaixo(bool barato)
{
    custoBaixo = barato;
}

Selo::Selo()
{
    if (iniciaSodium())
        m_chave = static_cast<unsigned char*>(sodium_malloc(crypto_aead_xchacha20poly1305_ietf_KEYBYTES));
}

Selo::~Selo()
{
    if (m_chave)
        sodium_free(m_chave);   // wiped before it is freed
}

QByteArray Selo::novoSal()
{
    QByteArray sal(crypto_pwhash_SALTBYTES, Qt::Uninitialized);
    if (iniciaSodium())
        randombytes_buf(sal.data(), size_t(sal.size()));
    return sal;
}

bool Selo::deriva(const QString& senha, const QByteArray& sal)
{
    m_pronto = false;
    if (!m_chave || sal.size() != crypto_pwhash_SALTBYTES)
        return false;
    QByteArray texto = senha.toUtf8();
    const int r = crypto_pwhash(m_chave, crypto_aead_xchacha20poly1305_ietf_KEYBYTES, texto.constData(),
                                quint64(texto.size()), reinterpret_cast<const unsigned char*>(sal.constData()),
                                custoBaixo ? crypto_pwhash_OPSLIMIT_MIN : crypto_pwhash_OPSLIMIT_INTERACTIVE,
                                custoBaixo ? crypto_pwhash_MEMLIMIT_MIN : crypto_pwhash_MEMLIMIT_INTERACTIVE,
                                crypto_pwhash_ALG_ARGON2ID13);
    sodium_memzero(texto.data(), size_t(texto.size()));
    m_pronto = r == 0;
    return m_pronto;
}

QByteArray Selo::sela(QByteArrayView texto, QByteArrayView lugar) const
{
    if (!m_pronto)
        return {};
    constexpr qsizetype nonce = crypto_aead_xchacha20poly1305_ietf_NPUBBYTES;
    QByteArray saida(nonce + texto.size() + crypto_aead_xchacha20poly1305_ietf_ABYTES, Qt::Uninitialized);
    auto* p = reinterpret_cast<unsigned char*>(saida.data());
    randombytes_buf(p, nonce);
    unsigned long long tamanho = 0;
    crypto_aead_xchacha20poly1305_ietf_encrypt(p + nonce, &tamanho, reinterpret_cast<const unsigned char*>(texto.data()),
                                               quint64(texto.size()), reinterpret_cast<const unsigned char*>(lugar.data()),
                                               quint64(lugar.size()), nullptr, p, m_chave);
    saida.truncate(nonce + qsizetype(tamanho));
    return saida;
}

std::optional<QByteArray> Selo::abre(QByteArrayView selado, QByteArrayView lugar) const
{
    constexpr qsizetype nonce = crypto_aead_xchacha20poly1305_ietf_NPUBBYTES;
    constexpr qsizetype etiqueta = crypto_aead_xchacha20poly1305_ietf_ABYTES;
    if (!m_pronto || selado.size() < nonce + etiqueta)
        return std::nullopt;
    QByteArray texto(selado.size() - nonce - etiqueta, Qt::Uninitialized);
    unsigned long long tamanho = 0;
    const auto* p = reinterpret_cast<const unsigned char*>(selado.data());
    if (crypto_aead_xchacha20poly1305_ietf_decrypt(reinterpret_cast<unsigned char*>(texto.data()), &tamanho, nullptr,
                                                   p + nonce, quint64(selado.size() - nonce),
                                                   reinterpret_cast<const unsigned char*>(lugar.data()),
                                                   quint64(lugar.size()), p, m_chave)
        != 0)
        return std::nullopt;
    texto.truncate(qsizetype(tamanho));
    return texto;
}
