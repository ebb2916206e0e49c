// Schema 6: the history's chain under the rule with the values' digest (see MigracaoDoHistorico.h).
#include "server/history/MigracaoDoHistorico.h"
#include "server/store/Banco.h"
#include "server/history/CadeiaDoHistorico.h"
#include "server/history/Historico.h"

#include <QDateTime>
#include <QHash>
#include <QSqlRecord>

namespace MigracaoDoHistorico {

bool paraODigesto(Banco& banco, QStringList& avisos)
{
    const QSqlRecord colunas = banco.db().record(QStringLiteral("historico"));
    for (const char* nova : {"sal", "digesto", "hash_antigo"})
        if (colunas.indexOf(QLatin1String(nova)) < 0
            && !banco.executaDireto(QStringLiteral("ALTER TABLE historico ADD COLUMN %1 TEXT NOT NULL DEFAULT ''").arg(QLatin1String(nova))))
            return false;

    CadeiaDoHistorico::Verificacao antes;
    if (!CadeiaDoHistorico::verifica(banco, antes, CadeiaDoHistorico::Regra::Anterior))
        return false;
    HistoricoGravado historico(banco);
    QList<std::pair<qint64, QString>> ancoras;
    if (!historico.ancoras(ancoras))
        return false;
    QHash<qint64, QString> porId;
    for (const auto& [id, hash] : ancoras)
        porId.insert(id, hash);

    // Chained again in order; a gap stays a gap (--verificar still names it).
    qint64 depoisDe = 0, linhas = 0;
    QString anterior;
    QList<RegistroDoHistorico> fatia;
    for (;;) {
        if (!historico.fatia(depoisDe, 5000, fatia))
            return false;
        if (fatia.isEmpty())
            break;
        for (RegistroDoHistorico& r : fatia) {
            if (linhas == 0 && r.id != 1)
                anterior = porId.value(r.id - 1);
            r.hashAntigo = r.hash;
            CadeiaDoHistorico::sela(anterior, r);
            if (!banco.altera(QStringLiteral("UPDATE historico SET sal = ?, digesto = ?, hash_antigo = ?, hash = ? WHERE id = ?"),
                              {r.sal, r.digesto, r.hashAntigo, r.hash, r.id}))
                return false;
            anterior = r.hash;
            depoisDe = r.id;
            ++linhas;
        }
    }
    if (linhas == 0)
        return true;

    RegistroDoHistorico r;
    r.quandoMs = QDateTime::currentMSecsSinceEpoch();
    r.operador = HistoricoGravado::contaDoSistema();
    r.acao = Acao::migracao();
    const QString oQueMudou = QStringLiteral("cadeia refeita com o digesto dos valores: %1 linha(s)").arg(linhas);
    r.detalhe = antes.integra ? QStringLiteral("%1; a cadeia anterior conferia, último elo %2").arg(oQueMudou, antes.ultimoElo)
                              : QStringLiteral("%1; A CADEIA ANTERIOR NÃO CONFERIA: %2").arg(oQueMudou, antes.problema);
    QList<RegistroDoHistorico> um{r};
    if (!historico.acrescentaNaTransacao(um))
        return false;
    if (!antes.integra)
        avisos << QStringLiteral("HISTÓRICO ADULTERADO antes da migração: %1 (%2 linha(s) anteriores conferiam). O histórico foi migrado "
                                 "assim mesmo; a linha %3 registra o problema.")
                      .arg(antes.problema)
                      .arg(antes.linhas)
                      .arg(um.first().id);
    else
        avisos << QStringLiteral("histórico migrado para a cadeia com o digesto dos valores: %1 linha(s); último elo da cadeia anterior %2")
                      .arg(linhas)
                      .arg(antes.ultimoElo);
    return true;
}

} // namespace MigracaoDoHistorico
