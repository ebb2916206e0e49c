// A member's values erased from the history on their request (see EliminacaoDoTitular.h).
#include "server/history/EliminacaoDoTitular.h"
#include "server/store/Banco.h"
#include "server/history/CadeiaDoHistorico.h"
#include "server/store/FichasGravadas.h"
#include "server/store/Mudancas.h"
#include "server/history/Historico.h"
#include "server/store/LinhaDaFicha.h"

#include <QDateTime>
#include <QRegularExpression>
#include <QSqlQuery>

namespace EliminacaoDoTitular {

namespace {

// The names the sheet had, folded as a search folds them.
QStringList nomesDaFicha(const std::optional<clsAgenda>& ficha, const QList<RegistroDoHistorico>& linhas)
{
    QStringList nomes;
    const auto junta = [&](const QString& nome) {
        const QString dobrado = LinhaDaFicha::dobraParaBusca(nome).trimmed();
        if (!dobrado.isEmpty() && !nomes.contains(dobrado))
            nomes << dobrado;
    };
    if (ficha)
        junta(ficha->nome);
    for (const RegistroDoHistorico& r : linhas)
        for (const Historico::Alteracao& a : r.alteracoes)
            if (a.campo == QLatin1String("nome")) {
                junta(a.antes);
                junta(a.depois);
            }
    return nomes;
}

// Whether a search's filter (its detail, as the server wrote it) named the member.
bool nomeia(const QString& detalhe, const QStringList& nomes)
{
    static const QRegularExpression padrao(QStringLiteral("nome contém \"(.*)\"(?:, |; )"));
    const QRegularExpressionMatch m = padrao.match(detalhe);
    if (!m.hasMatch())
        return false;
    const QString filtro = LinhaDaFicha::dobraParaBusca(m.captured(1)).trimmed();
    if (filtro.isEmpty())
        return false;
    for (const QString& nome : nomes)
        if (filtro.contains(nome) || (filtro.size() >= 3 && nome.contains(filtro)))
            return true;
    return false;
}

bool apaga(Banco& banco, const RegistroDoHistorico& r, qint64 idDaEliminacao)
{
    QList<Historico::Alteracao> marcas = r.alteracoes;
    for (Historico::Alteracao& a : marcas)
        a.antes = a.depois = CadeiaDoHistorico::marcaDeValor();
    return banco.altera(QStringLiteral("UPDATE historico SET alteracoes = ?, detalhe = ?, sal = ? WHERE id = ?"),
                        {Banco::texto(HistoricoGravado::textoDasAlteracoes(marcas)), CadeiaDoHistorico::marcaDoDetalhe(idDaEliminacao),
                         QStringLiteral(""), r.id});
}

// The freed space overwritten, outside any transaction; what could not be done, said.
QString sobrescreveOLiberado(Banco& banco)
{
    if (banco.ehPostgres()) {
        // A rewrite of the two tables: the dead versions of the rows are not copied.
        const bool ok = banco.executaDireto(QStringLiteral("SET lock_timeout = 60000"))
            && banco.executaDireto(QStringLiteral("VACUUM FULL historico")) && banco.executaDireto(QStringLiteral("VACUUM FULL fichas"))
            && banco.executaDireto(QStringLiteral("VACUUM FULL mudancas_aplicadas"));
        return ok ? QString()
                  : QStringLiteral("as versões antigas das linhas podem seguir nas páginas das tabelas até um \"VACUUM FULL historico, "
                                   "fichas, mudancas_aplicadas\" (%1)")
                        .arg(banco.ultimoErro());
    }
    const auto checkpoint = [&] {
        QSqlQuery* q = banco.consulta(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"), {});
        const bool completo = q && q->next() && q->value(0).toInt() == 0;
        if (q)
            q->finish();
        return completo;
    };
    if (!checkpoint() || !banco.executaDireto(QStringLiteral("VACUUM")) || !checkpoint())
        return QStringLiteral("o arquivo do banco (ou o seu -wal) ainda pode guardar os valores antigos em páginas livres: repita "
                              "a eliminação com o servidor parado (%1)")
            .arg(banco.ultimoErro().isEmpty() ? QStringLiteral("outra conexão estava lendo") : banco.ultimoErro());
    return QString();
}

} // namespace

bool elimina(Banco& banco, const Pedido& p, Resultado& resultado, QString& recusa)
{
    resultado = {};
    recusa.clear();
    // Whatever SQLite frees from here on is overwritten with zeros. On PostgreSQL a scan of a
    // long history's searches may take longer than a request's statement is allowed.
    if (!banco.executaDireto(banco.ehPostgres() ? QStringLiteral("SET statement_timeout = 0") : QStringLiteral("PRAGMA secure_delete = ON")))
        return false;
    if (!banco.iniciaTransacao())
        return false;
    const auto desfaz = [&] {
        banco.desfazTransacao();
        return false;
    };
    const auto recusada = [&](const QString& porque) {
        recusa = porque;
        return desfaz();
    };
    HistoricoGravado historico(banco);
    FichasGravadas fichas(banco);
    std::optional<clsAgenda> ficha;
    QList<qint32> deps;
    if (!historico.reservaACadeia() || !fichas.ficha(p.idDepartamento, p.numeroFicha, ficha)
        || !historico.departamentosDaFicha(p.numeroFicha, deps))
        return desfaz();
    if (!deps.contains(p.idDepartamento)) {
        if (deps.isEmpty())
            return recusada(QStringLiteral("a ficha %1 não existe nem aparece no histórico").arg(p.numeroFicha));
        QStringList outros;
        for (qint32 d : std::as_const(deps))
            outros << QString::number(d);
        return recusada(QStringLiteral("a ficha %1 não é do departamento %2 (existe ou existiu só no departamento %3): nada foi eliminado")
                            .arg(p.numeroFicha)
                            .arg(p.idDepartamento)
                            .arg(outros.join(QStringLiteral(", "))));
    }
    if (ficha && !p.excluirFicha)
        return recusada(QStringLiteral("a ficha %1 do departamento %2 ainda existe: exclua-a antes, ou peça a exclusão junto com "
                                       "--excluir-ficha")
                            .arg(p.numeroFicha)
                            .arg(p.idDepartamento));

    const qint64 agoraMs = QDateTime::currentMSecsSinceEpoch();
    const auto linhaDoComando = [&](const QString& acao) {
        RegistroDoHistorico r;
        r.quandoMs = agoraMs;
        r.operador = p.conta;
        r.idDepartamento = p.idDepartamento;
        r.acao = acao;
        r.numeroFicha = p.numeroFicha;
        return r;
    };
    if (ficha) {
        bool excluiu = false;
        // Its row holds no value: they would only be erased a moment later.
        QList<RegistroDoHistorico> exclusao{linhaDoComando(Acao::exclusao())};
        exclusao.first().detalhe = QStringLiteral("excluída pelo comando de eliminação");
        if (!fichas.exclui(p.idDepartamento, p.numeroFicha, excluiu) || !historico.acrescentaNaTransacao(exclusao))
            return desfaz();
        resultado.fichaExcluida = excluiu;
    }
    // The answers kept for an office's queued changes carried the sheet too.
    if (!Mudancas(banco).esqueceFicha(p.idDepartamento, p.numeroFicha))
        return desfaz();

    QList<RegistroDoHistorico> linhas;
    HistoricoGravado::Filtro filtro;
    filtro.numeroFicha = p.numeroFicha;
    filtro.idDepartamento = p.idDepartamento;
    QList<RegistroDoHistorico> buscas;
    if (!historico.lista(filtro, [&](const RegistroDoHistorico& r) { linhas.append(r); }))
        return desfaz();
    const QStringList nomes = nomesDaFicha(ficha, linhas);
    if (!banco.paraCadaLinha(QStringLiteral("SELECT id, detalhe FROM historico WHERE numeroficha = 0 AND iddepartamento = ? AND acao = ? "
                                            "AND detalhe LIKE ?"),
                             {p.idDepartamento, Acao::busca(), QStringLiteral("%nome contém%")}, [&](const QSqlQuery& q) {
                                 if (nomeia(q.value(1).toString(), nomes)) {
                                     RegistroDoHistorico r;
                                     r.id = q.value(0).toLongLong();
                                     buscas.append(r);
                                 }
                             }))
        return desfaz();

    qint64 cabeca = 0;
    QString hash;
    if (!historico.cabeca(cabeca, hash))
        return desfaz();
    const qint64 e = cabeca + 1;
    for (const RegistroDoHistorico& r : std::as_const(linhas)) {
        qint64 jaPor = 0;
        if (r.acao == Acao::eliminacao() || CadeiaDoHistorico::eliminada(r, jaPor))
            continue;
        if (!apaga(banco, r, e))
            return desfaz();
        ++resultado.linhasDaFicha;
    }
    for (const RegistroDoHistorico& r : std::as_const(buscas)) {
        if (!apaga(banco, r, e))
            return desfaz();
        ++resultado.buscas;
    }
    if (resultado.linhasDaFicha + resultado.buscas == 0)
        return recusada(QStringLiteral("o histórico da ficha %1 do departamento %2 já foi eliminado: nada a eliminar")
                            .arg(p.numeroFicha)
                            .arg(p.idDepartamento));
    QList<RegistroDoHistorico> propria{linhaDoComando(Acao::eliminacao())};
    propria.first().detalhe = QStringLiteral("%1 linha(s) eliminada(s): %2 da ficha, %3 busca(s) que a nomeavam")
                                  .arg(resultado.linhasDaFicha + resultado.buscas)
                                  .arg(resultado.linhasDaFicha)
                                  .arg(resultado.buscas);
    if (!historico.acrescentaNaTransacao(propria))
        return desfaz();
    if (propria.first().id != e)
        return desfaz() || banco.falha(QStringLiteral("eliminação"), QStringLiteral("a cadeia cresceu durante a eliminação"));
    if (!banco.confirmaTransacao())
        return desfaz();
    resultado.idDaEliminacao = e;
    resultado.aviso = sobrescreveOLiberado(banco);
    return true;
}

} // namespace EliminacaoDoTitular
