#pragma once
// The seal of a desk's copy: a key derived from the operator's password (Argon2id, a random
// salt kept beside the copy) and each value sealed under it (XChaCha20-Poly1305, a fresh
// nonce per value). A value is bound to where it belongs (`lugar`: its table and row), so a
// sealed value moved to another row does not open there. The key lives in memory libsodium
// guards and is wiped with the object; the password is never kept.
#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <optional>

class Selo {
public:
    Selo();
    ~Selo();
    Selo(const Selo&) = delete;
    Selo& operator=(const Selo&) = delete;

    // A new random salt for a new copy.
    static QByteArray novoSal();
    // Derives the key from `senha` and `sal`; false when the salt has the wrong size or
    // memory for the derivation could not be had.
    bool deriva(const QString& senha, const QByteArray& sal);
    bool pronto() const { return m_pronto; }

    // nonce + ciphertext + tag.
    QByteArray sela(QByteArrayView texto, QByteArrayView lugar) const;
    // Nothing when the value was not sealed under this key for this place (or was altered).
    std::optional<QByteArray> abre(QByteArrayView selado, QByteArrayView lugar) const;

    // The cost of the derivation: libsodium's interactive limits as shipped; tests and
    // benchmarks take the lowest (`barato`) so that a login is quick.
    static void defineCustoBaixo(bool barato);

private:
    unsigned char* m_chave = nullptr;
    bool m_pronto = false;
};
