// A certificate's SHA-256 fingerprint as people write it, and the remembered certificates.
#include "protocol/ImpressaoDigital.h"

#include <QList>
#include <algorithm>

namespace ImpressaoDigital {

QString normaliza(QStringView texto)
{
    QString hex;
    hex.reserve(64);
    int digitosNoPar = 0;
    for (const QChar c : texto.trimmed()) {
        const char16_t u = c.unicode();
        if ((u >= u'0' && u <= u'9') || (u >= u'a' && u <= u'f') || (u >= u'A' && u <= u'F')) {
            if (hex.size() == 64)
                return QString();
            hex += c.toLower();
            digitosNoPar = (digitosNoPar + 1) % 2;
        } else if ((u == u':' || u == u' ') && digitosNoPar == 0 && !hex.isEmpty()) {
            continue;   // between pairs only
        } else {
            return QString();
        }
    }
    return hex.size() == 64 ? hex : QString();
}

QString comDoisPontos(const QByteArray& sha256)
{
    return QString::fromLatin1(sha256.toHex(':').toUpper());
}

QHash<QString, QString> leConhecidos(const QByteArray& texto)
{
    QHash<QString, QString> conhecidos;
    for (const QByteArray& linha : texto.split('\n')) {
        const QList<QByteArray> partes = linha.trimmed().split(' ');
        if (partes.size() != 2 || partes[0].isEmpty() || !partes[0].contains(':'))
            continue;
        const QString impressao = normaliza(QString::fromLatin1(partes[1]));
        if (!impressao.isEmpty())
            conhecidos.insert(QString::fromUtf8(partes[0]), impressao);
    }
    return conhecidos;
}

QByteArray escreveConhecidos(const QHash<QString, QString>& conhecidos)
{
    QList<QString> servidores = conhecidos.keys();
    std::sort(servidores.begin(), servidores.end());
    QByteArray texto;
    for (const QString& s : servidores)
        texto += s.toUtf8() + ' ' + conhecidos.value(s).toLatin1() + '\n';
    return texto;
}

} // namespace ImpressaoDigital
