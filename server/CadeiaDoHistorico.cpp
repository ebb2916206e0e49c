// The hash chain over the history's rows (see CadeiaDoHistorico.h).
#include "server/CadeiaDoHistorico.h"
#include "server/Banco.h"
#include "server/Historico.h"

#include <QHash>

#include <sodium.h>

namespace CadeiaDoHistorico {

namespace {

// Each part with its length in front, so no two different rows give the same bytes.
void junta(QByteArray& bytes, const QByteArray& parte)
{
    bytes += QByteArray::number(parte.size());
    bytes += ':';
    bytes += parte;
}

} // namespace

QString elo(const QString& anterior, const RegistroDoHistorico& r)
{
    QByteArray bytes;
    bytes.reserve(256 + r.detalhe.size());
    junta(bytes, anterior.toLatin1());
    junta(bytes, QByteArray::number(r.id));
    junta(bytes, QByteArray::number(r.quandoMs));
    junta(bytes, r.operador.toUtf8());
    junta(bytes, QByteArray::number(r.idDepartamento));
    junta(bytes, r.endereco.toUtf8());
    junta(bytes, r.acao.toUtf8());
    junta(bytes, QByteArray::number(r.numeroFicha));
    junta(bytes, HistoricoGravado::textoDasAlteracoes(r.alteracoes).toUtf8());
    junta(bytes, r.detalhe.toUtf8());
    unsigned char hash[32];
    crypto_generichash(hash, sizeof hash, reinterpret_cast<const unsigned char*>(bytes.constData()), size_t(bytes.size()), nullptr, 0);
    return QString::fromLatin1(QByteArray(reinterpret_cast<const char*>(hash), sizeof hash).toHex());
}

bool verifica(Banco& banco, Verificacao& v)
{
    v = {};
    HistoricoGravado historico(banco);
    QList<std::pair<qint64, QString>> ancoras;
    if (!historico.ancoras(ancoras))
        return false;
    QHash<qint64, QString> porId;
    for (const auto& [id, hash] : ancoras)
        porId.insert(id, hash);

    const auto ruim = [&](qint64 id, const QString& problema) {
        v.primeiraRuim = id;
        v.problema = problema;
        return true;
    };
    qint64 anteriorId = 0;
    QString anterior;
    bool primeira = true;
    QList<RegistroDoHistorico> fatia;
    for (;;) {
        if (!historico.fatia(anteriorId, 5000, fatia))
            return false;
        if (fatia.isEmpty())
            break;
        for (const RegistroDoHistorico& r : std::as_const(fatia)) {
            if (primeira) {
                primeira = false;
                if (r.id != 1) {
                    // The rows before it went by a retention, whose row says what the last one was.
                    if (!porId.contains(r.id - 1))
                        return ruim(r.id, r.id > 1 ? QStringLiteral("as linhas 1 a %1 foram removidas sem o comando de retenção").arg(r.id - 1)
                                                   : QStringLiteral("a linha %1 não pertence à cadeia (incluída à mão)").arg(r.id));
                    anterior = porId.value(r.id - 1);
                }
            } else if (r.id != anteriorId + 1) {
                return ruim(r.id, r.id - anteriorId == 2 ? QStringLiteral("a linha %1 foi removida").arg(anteriorId + 1)
                                                         : QStringLiteral("as linhas %1 a %2 foram removidas").arg(anteriorId + 1).arg(r.id - 1));
            }
            if (elo(anterior, r) != r.hash)
                return ruim(r.id, QStringLiteral("a linha %1 foi alterada ou incluída à mão").arg(r.id));
            anterior = r.hash;
            anteriorId = r.id;
            ++v.linhas;
        }
    }
    v.integra = true;
    v.ultimoElo = anterior;
    return true;
}

} // namespace CadeiaDoHistorico
