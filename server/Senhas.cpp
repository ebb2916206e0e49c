#include "server/Senhas.h"

#include <sodium.h>

#include <mutex>

namespace Senhas {

bool inicializa()
{
    return sodium_init() >= 0;
}

QString gera(const QString& senha, bool custoMinimo)
{
    const QByteArray utf8 = senha.toUtf8();
    char hash[crypto_pwhash_STRBYTES];
    if (crypto_pwhash_str(hash, utf8.constData(), quint64(utf8.size()), custoMinimo ? crypto_pwhash_OPSLIMIT_MIN : crypto_pwhash_OPSLIMIT_INTERACTIVE,
                          custoMinimo ? crypto_pwhash_MEMLIMIT_MIN : crypto_pwhash_MEMLIMIT_INTERACTIVE) != 0)
        return QString();
    return QString::fromLatin1(hash);
}

bool confere(const QString& hash, const QString& senha)
{
    const QByteArray h = hash.toLatin1();
    const QByteArray utf8 = senha.toUtf8();
    if (h.isEmpty() || h.size() >= crypto_pwhash_STRBYTES)
        return false;
    return crypto_pwhash_str_verify(h.constData(), utf8.constData(), quint64(utf8.size())) == 0;
}

void confereFicticio(const QString& senha)
{
    static std::once_flag feito;
    static QString ficticio;
    std::call_once(feito, [] { ficticio = gera(QStringLiteral("senha ficticia para nomes desconhecidos")); });
    confere(ficticio, senha);
}

} // namespace Senhas
