// The hash chain over the history's rows (see CadeiaDoHistorico.h).
#include "server/history/CadeiaDoHistorico.h"
#include "server/store/Banco.h"
#include "server/history/Historico.h"

#include <QHash>
#include <QRegularExpression>

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

QString blake2b(const QByteArray& bytes, const QByteArray& chave = QByteArray())
{
    unsigned char hash[32];
    crypto_generichash(hash, sizeof hash, reinterpret_cast<const unsigned char*>(bytes.constData()), size_t(bytes.size()),
                       chave.isEmpty() ? nullptr : reinterpret_cast<const unsigned char*>(chave.constData()), size_t(chave.size()));
    return QString::fromLatin1(QByteArray(reinterpret_cast<const char*>(hash), sizeof hash).toHex());
}

// Who, when, from where and what: the columns an erasure keeps.
void juntaOQueFica(QByteArray& bytes, const QString& anterior, const RegistroDoHistorico& r)
{
    junta(bytes, anterior.toLatin1());
    junta(bytes, QByteArray::number(r.id));
    junta(bytes, QByteArray::number(r.quandoMs));
    junta(bytes, r.operador.toUtf8());
    junta(bytes, QByteArray::number(r.idDepartamento));
    junta(bytes, r.endereco.toUtf8());
    junta(bytes, r.acao.toUtf8());
    junta(bytes, QByteArray::number(r.numeroFicha));
}

} // namespace

QString marcaDeValor()
{
    return QStringLiteral("[eliminado]");
}

QString marcaDoDetalhe(qint64 idDaEliminacao)
{
    return QStringLiteral("[eliminado pela linha %1]").arg(idDaEliminacao);
}

bool eliminada(const RegistroDoHistorico& r, qint64& idDaEliminacao)
{
    // Only a row without its salt can be one (and --verificar asks this of every row).
    if (!r.sal.isEmpty())
        return false;
    static const QRegularExpression padrao(QStringLiteral("^\\[eliminado pela linha (\\d{1,18})\\]$"));
    const QRegularExpressionMatch m = padrao.match(r.detalhe);
    if (!m.hasMatch())
        return false;
    idDaEliminacao = m.captured(1).toLongLong();
    return true;
}

QString digesto(const QString& sal, const RegistroDoHistorico& r)
{
    QByteArray bytes;
    junta(bytes, HistoricoGravado::textoDasAlteracoes(r.alteracoes).toUtf8());
    junta(bytes, r.detalhe.toUtf8());
    return blake2b(bytes, QByteArray::fromHex(sal.toLatin1()));
}

QString elo(const QString& anterior, const RegistroDoHistorico& r)
{
    QByteArray bytes;
    bytes.reserve(256);
    juntaOQueFica(bytes, anterior, r);
    QStringList campos;
    for (const Historico::Alteracao& a : r.alteracoes)
        campos << a.campo;
    junta(bytes, campos.join(u',').toUtf8());
    junta(bytes, r.digesto.toLatin1());
    junta(bytes, r.hashAntigo.toLatin1());
    return blake2b(bytes);
}

void sela(const QString& anterior, RegistroDoHistorico& r)
{
    QByteArray sal(16, Qt::Uninitialized);
    randombytes_buf(sal.data(), size_t(sal.size()));
    r.sal = QString::fromLatin1(sal.toHex());
    r.digesto = digesto(r.sal, r);
    r.hash = elo(anterior, r);
}

QString eloDaRegraAnterior(const QString& anterior, const RegistroDoHistorico& r)
{
    QByteArray bytes;
    bytes.reserve(256 + r.detalhe.size());
    juntaOQueFica(bytes, anterior, r);
    junta(bytes, HistoricoGravado::textoDasAlteracoes(r.alteracoes).toUtf8());
    junta(bytes, r.detalhe.toUtf8());
    return blake2b(bytes);
}

namespace {

// What an erased row must show: every value a mark, its erasure after it, of its sheet
// (or, for a search that named the member, of its department).
QString problemaDaEliminada(const RegistroDoHistorico& r, qint64 e, const QHash<qint64, HistoricoGravado::Eliminacao>& eliminacoes)
{
    const auto i = eliminacoes.constFind(e);
    const bool daFicha = i != eliminacoes.cend() && r.idDepartamento == i->idDepartamento
        && (r.numeroFicha == i->numeroFicha || (r.numeroFicha == 0 && r.acao == Acao::busca()));
    bool soMarcas = true;
    for (const Historico::Alteracao& a : r.alteracoes)
        soMarcas = soMarcas && a.antes == marcaDeValor() && a.depois == marcaDeValor();
    if (e <= r.id || !daFicha || !soMarcas)
        return QStringLiteral("a linha %1 teve os valores apagados à mão (não por uma eliminação registrada)").arg(r.id);
    return QString();
}

} // namespace

bool verifica(Banco& banco, Verificacao& v, Regra regra)
{
    v = {};
    HistoricoGravado historico(banco);
    QList<std::pair<qint64, QString>> ancoras;
    QList<HistoricoGravado::Eliminacao> lista;
    if (!historico.ancoras(ancoras) || (regra == Regra::Atual && !historico.eliminacoes(lista)))
        return false;
    QHash<qint64, QString> porId;
    for (const auto& [id, hash] : ancoras)
        porId.insert(id, hash);
    QHash<qint64, HistoricoGravado::Eliminacao> eliminacoes;
    for (const HistoricoGravado::Eliminacao& e : std::as_const(lista))
        eliminacoes.insert(e.id, e);
    QHash<qint64, qint64> marcadas;   // erasure row -> rows seen with its mark

    const auto ruim = [&](qint64 id, const QString& problema) {
        v.primeiraRuim = id;
        v.problema = problema;
        return true;
    };
    const QString alterada = QStringLiteral("a linha %1 foi alterada ou incluída à mão");
    qint64 anteriorId = 0;
    QString anterior;
    bool primeira = true, desdeOInicio = true;
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
                    desdeOInicio = false;
                }
            } else if (r.id != anteriorId + 1) {
                return ruim(r.id, r.id - anteriorId == 2 ? QStringLiteral("a linha %1 foi removida").arg(anteriorId + 1)
                                                         : QStringLiteral("as linhas %1 a %2 foram removidas").arg(anteriorId + 1).arg(r.id - 1));
            }
            if (regra == Regra::Anterior) {
                if (eloDaRegraAnterior(anterior, r) != r.hash)
                    return ruim(r.id, alterada.arg(r.id));
            } else {
                qint64 e = 0;
                if (eliminada(r, e)) {
                    if (const QString problema = problemaDaEliminada(r, e, eliminacoes); !problema.isEmpty())
                        return ruim(r.id, problema);
                    ++marcadas[e];
                } else if (r.sal.isEmpty() || digesto(r.sal, r) != r.digesto) {
                    return ruim(r.id, alterada.arg(r.id));
                }
                if (elo(anterior, r) != r.hash)
                    return ruim(r.id, alterada.arg(r.id));
                // Every row an erasure counted carries its mark (a retention may have taken some).
                if (const auto i = eliminacoes.constFind(r.id); i != eliminacoes.cend()) {
                    const qint64 vistas = marcadas.value(r.id);
                    if (desdeOInicio ? vistas != i->linhas : vistas > i->linhas)
                        return ruim(r.id, QStringLiteral("a eliminação da linha %1 registra %2 linha(s), mas %3 trazem a marca dela")
                                              .arg(r.id)
                                              .arg(i->linhas)
                                              .arg(vistas));
                }
            }
            anterior = r.hash;
            anteriorId = r.id;
            ++v.linhas;
        }
    }
    v.integra = true;
    v.ultimoElo = anterior;
    v.ultimoId = anteriorId;
    return true;
}

} // namespace CadeiaDoHistorico
