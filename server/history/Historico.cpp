// The history table (see Historico.h).
#include "server/history/Historico.h"
#include "protocol/FormatoBR.h"
#include "server/store/Banco.h"
#include "server/history/CadeiaDoHistorico.h"

#include <QRegularExpression>
#include <QSqlQuery>
#include <QVariant>

#include <pwd.h>
#include <unistd.h>

namespace Acao {
QString inclusao() { return QStringLiteral("inclusão"); }
QString alteracao() { return QStringLiteral("alteração"); }
QString exclusao() { return QStringLiteral("exclusão"); }
QString consulta() { return QStringLiteral("consulta da ficha"); }
QString busca() { return QStringLiteral("busca"); }
QString historico() { return QStringLiteral("consulta do histórico"); }
QString copia() { return QStringLiteral("cópia para trabalho desconectado"); }
QString login() { return QStringLiteral("login"); }
QString loginRecusado() { return QStringLiteral("login recusado"); }
QString logoff() { return QStringLiteral("logoff"); }
QString comando() { return QStringLiteral("comando"); }
QString retencao() { return QStringLiteral("retenção"); }
QString titular() { return QStringLiteral("dados exportados para o titular"); }
QString eliminacao() { return QStringLiteral("eliminação a pedido do titular"); }
QString migracao() { return QStringLiteral("migração da cadeia"); }
} // namespace Acao

namespace {

// The key of the advisory lock every appending transaction takes on PostgreSQL ("zelto").
constexpr qint64 travaDoHistorico = 0x7a656c746f;

const QString colunas = QStringLiteral("id, quando, operador, iddepartamento, endereco, acao, numeroficha, alteracoes, detalhe, "
                                       "sal, digesto, hash_antigo, hash");

RegistroDoHistorico registroDe(const QSqlQuery& q)
{
    RegistroDoHistorico r;
    r.id = q.value(0).toLongLong();
    r.quandoMs = q.value(1).toLongLong();
    r.operador = q.value(2).toString();
    r.idDepartamento = q.value(3).toInt();
    r.endereco = q.value(4).toString();
    r.acao = q.value(5).toString();
    r.numeroFicha = q.value(6).toInt();
    r.alteracoes = HistoricoGravado::alteracoesDoTexto(q.value(7).toString());
    r.detalhe = q.value(8).toString();
    r.sal = q.value(9).toString();
    r.digesto = q.value(10).toString();
    r.hashAntigo = q.value(11).toString();
    r.hash = q.value(12).toString();
    return r;
}

QString codifica(const QString& t)
{
    return QString::fromLatin1(t.toUtf8().toPercentEncoding());
}

QString decodifica(QStringView t)
{
    return QString::fromUtf8(QByteArray::fromPercentEncoding(t.toLatin1()));
}

// A field as people read it: dates and amounts in Brazilian format.
QString valorDoCampo(const clsAgenda& f, const CampoDaFicha& campo)
{
    switch (campo.tipo) {
    case CampoDaFicha::Tipo::Inteiro:
        return QString::number(f.numeroFicha);
    case CampoDaFicha::Tipo::Data:
        return FormatoBR::formataData(f.Data);
    case CampoDaFicha::Tipo::Valor:
        return FormatoBR::formataValor(f.Valor);
    case CampoDaFicha::Tipo::Texto:
        return f.*campo.texto;
    }
    return {};
}

// The fields that differ, old -> new (a sheet missing on one side counts as all blank).
} // namespace

QList<Historico::Alteracao> HistoricoGravado::diferencas(const std::optional<clsAgenda>& antes, const std::optional<clsAgenda>& depois)
{
    QList<Historico::Alteracao> saida;
    for (const CampoDaFicha& campo : clsAgenda::campos()) {
        if (campo.tipo == CampoDaFicha::Tipo::Inteiro)
            continue;
        const QString a = antes ? valorDoCampo(*antes, campo) : QString();
        const QString d = depois ? valorDoCampo(*depois, campo) : QString();
        if (a != d)
            saida.append({QString::fromLatin1(campo.nome), a, d});
    }
    return saida;
}


QString HistoricoGravado::textoDasAlteracoes(const QList<Historico::Alteracao>& alteracoes)
{
    QStringList trincas;
    for (const Historico::Alteracao& a : alteracoes)
        trincas << codifica(a.campo) + u',' + codifica(a.antes) + u',' + codifica(a.depois);
    return trincas.join(u';');
}

QList<Historico::Alteracao> HistoricoGravado::alteracoesDoTexto(const QString& texto)
{
    QList<Historico::Alteracao> saida;
    for (QStringView trinca : QStringView(texto).split(u';', Qt::SkipEmptyParts)) {
        const QList<QStringView> partes = trinca.split(u',');
        if (partes.size() == 3)
            saida.append({decodifica(partes[0]), decodifica(partes[1]), decodifica(partes[2])});
    }
    return saida;
}

QString HistoricoGravado::contaDoSistema()
{
    const uid_t uid = geteuid();
    if (const passwd* p = getpwuid(uid))
        return QString::fromLocal8Bit(p->pw_name);
    return QStringLiteral("uid %1").arg(uid);
}

bool HistoricoGravado::leAncora(const QString& detalhe, qint64& id, QString& hash)
{
    static const QRegularExpression padrao(QStringLiteral("^ancora=(\\d+):([0-9a-f]{64})"));
    const QRegularExpressionMatch m = padrao.match(detalhe);
    if (!m.hasMatch())
        return false;
    id = m.captured(1).toLongLong();
    hash = m.captured(2);
    return true;
}

bool HistoricoGravado::reservaACadeia()
{
    return !m_banco.ehPostgres() || m_banco.altera(QStringLiteral("SELECT pg_advisory_xact_lock(?)"), {travaDoHistorico});
}

bool HistoricoGravado::cabeca(qint64& id, QString& hash)
{
    QSqlQuery* q = m_banco.consulta(QStringLiteral("SELECT id, hash FROM historico ORDER BY id DESC LIMIT 1"), {});
    if (!q)
        return false;
    id = 0;
    hash.clear();
    if (q->next()) {
        id = q->value(0).toLongLong();
        hash = q->value(1).toString();
    }
    q->finish();
    return true;
}

bool HistoricoGravado::acrescentaNaTransacao(QList<RegistroDoHistorico>& registros)
{
    // Another server (or a command) appending waits here until this transaction ends.
    if (!reservaACadeia())
        return false;
    qint64 id = 0;
    QString anterior;
    if (!cabeca(id, anterior))
        return false;
    if (id == 0) {
        // Only a retention's anchor is left of a chain whose rows all went.
        QList<std::pair<qint64, QString>> lista;
        if (!ancoras(lista))
            return false;
        for (const auto& [ancora, hash] : lista)
            if (ancora > id) {
                id = ancora;
                anterior = hash;
            }
    }
    for (RegistroDoHistorico& r : registros) {
        r.id = ++id;
        r.hashAntigo.clear();
        CadeiaDoHistorico::sela(anterior, r);
        anterior = r.hash;
        if (!m_banco.altera(QStringLiteral("INSERT INTO historico (%1) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)").arg(colunas),
                            {r.id, r.quandoMs, Banco::texto(r.operador), r.idDepartamento, Banco::texto(r.endereco), Banco::texto(r.acao),
                             r.numeroFicha, Banco::texto(textoDasAlteracoes(r.alteracoes)), Banco::texto(r.detalhe), r.sal, r.digesto,
                             Banco::texto(r.hashAntigo), r.hash}))
            return false;
    }
    return true;
}

bool HistoricoGravado::acrescenta(QList<RegistroDoHistorico>& registros)
{
    if (registros.isEmpty())
        return true;
    if (m_banco.emTransacao())
        return acrescentaNaTransacao(registros);
    if (!m_banco.iniciaTransacao())
        return false;
    if (!acrescentaNaTransacao(registros) || !m_banco.confirmaTransacao()) {
        m_banco.desfazTransacao();
        return false;
    }
    return true;
}

bool HistoricoGravado::acrescenta(RegistroDoHistorico& registro)
{
    QList<RegistroDoHistorico> um{registro};
    if (!acrescenta(um))
        return false;
    registro = um.first();
    return true;
}

bool HistoricoGravado::daFicha(qint32 idDepartamento, qint32 numeroFicha, int limite, QList<RegistroDoHistorico>& saida)
{
    saida.clear();
    return m_banco.paraCadaLinha(QStringLiteral("SELECT %1 FROM historico WHERE numeroficha = ? AND iddepartamento = ? "
                                                "ORDER BY id DESC LIMIT ?")
                                     .arg(colunas),
                                 {numeroFicha, idDepartamento, limite}, [&](const QSqlQuery& q) { saida.append(registroDe(q)); });
}

bool HistoricoGravado::lista(const Filtro& f, const std::function<void(const RegistroDoHistorico&)>& porLinha)
{
    QString onde = QStringLiteral("quando >= ? AND quando <= ?");
    QList<QVariant> valores{f.desdeMs, f.ateMs};
    if (f.numeroFicha != 0) {
        onde += QStringLiteral(" AND numeroficha = ?");
        valores << f.numeroFicha;
    }
    if (f.idDepartamento != 0) {
        onde += QStringLiteral(" AND iddepartamento = ?");
        valores << f.idDepartamento;
    }
    if (!f.operador.isEmpty()) {
        onde += QStringLiteral(" AND operador = ?");
        valores << f.operador;
    }
    // A slice at a time: a listing of the whole table never sits in memory.
    qint64 depoisDe = std::numeric_limits<qint64>::min();
    for (;;) {
        QSqlQuery* q = m_banco.prepara(QStringLiteral("SELECT %1 FROM historico WHERE id > ? AND %2 ORDER BY id LIMIT 5000").arg(colunas, onde));
        if (!q)
            return false;
        q->bindValue(0, depoisDe);
        for (qsizetype i = 0; i < valores.size(); ++i)
            q->bindValue(int(i + 1), valores[i]);
        if (!m_banco.executa(q))
            return false;
        int lidas = 0;
        while (q->next()) {
            const RegistroDoHistorico r = registroDe(*q);
            depoisDe = r.id;
            ++lidas;
            porLinha(r);
        }
        q->finish();
        if (lidas < 5000)
            return true;
    }
}

bool HistoricoGravado::operadorConhecido(const QString& nome, bool& conhecido)
{
    if (!m_banco.temLinha(QStringLiteral("SELECT 1 FROM operadores WHERE usuario = ?"), {nome}, conhecido))
        return false;
    return conhecido || m_banco.temLinha(QStringLiteral("SELECT 1 FROM historico WHERE operador = ? LIMIT 1"), {nome}, conhecido);
}

bool HistoricoGravado::departamentosDaFicha(qint32 numeroFicha, QList<qint32>& saida)
{
    saida.clear();
    return m_banco.paraCadaLinha(QStringLiteral("SELECT iddepartamento FROM fichas WHERE numeroficha = ? UNION "
                                                "SELECT DISTINCT iddepartamento FROM historico WHERE numeroficha = ? ORDER BY 1"),
                                 {numeroFicha, numeroFicha}, [&](const QSqlQuery& q) { saida.append(q.value(0).toInt()); });
}

bool HistoricoGravado::apagaAte(qint64 antesDeMs, RegistroDoHistorico& registro, qint64& apagadas)
{
    apagadas = 0;
    if (!m_banco.iniciaTransacao())
        return false;
    const auto desfaz = [&] {
        m_banco.desfazTransacao();
        return false;
    };
    // Held from here: no row is appended between the cut and the retention's own row.
    if (!reservaACadeia())
        return desfaz();
    // Only a run from the oldest row on goes: the first row at or after the date stops it,
    // whatever the clocks of several servers wrote after it.
    qint64 ate = 0;
    QString hash;
    {
        QSqlQuery* q = m_banco.consulta(QStringLiteral("SELECT id FROM historico WHERE quando >= ? ORDER BY id LIMIT 1"), {antesDeMs});
        if (!q)
            return desfaz();
        const bool haDepois = q->next();
        const qint64 primeiraQueFica = haDepois ? q->value(0).toLongLong() : std::numeric_limits<qint64>::max();
        q->finish();
        q = m_banco.consulta(QStringLiteral("SELECT id, hash FROM historico WHERE id < ? ORDER BY id DESC LIMIT 1"), {primeiraQueFica});
        if (!q)
            return desfaz();
        if (q->next()) {
            ate = q->value(0).toLongLong();
            hash = q->value(1).toString();
        }
        q->finish();
    }
    if (ate > 0 && !m_banco.altera(QStringLiteral("DELETE FROM historico WHERE id <= ?"), {ate}, &apagadas))
        return desfaz();
    if (ate > 0)
        registro.detalhe = QStringLiteral("ancora=%1:%2 %3").arg(ate).arg(hash, registro.detalhe).trimmed();
    QList<RegistroDoHistorico> um{registro};
    if (!acrescentaNaTransacao(um) || !m_banco.confirmaTransacao())
        return desfaz();
    registro = um.first();
    return true;
}

bool HistoricoGravado::fatia(qint64 depoisDe, int quantas, QList<RegistroDoHistorico>& saida)
{
    saida.clear();
    return m_banco.paraCadaLinha(QStringLiteral("SELECT %1 FROM historico WHERE id > ? ORDER BY id LIMIT ?").arg(colunas), {depoisDe, quantas},
                                 [&](const QSqlQuery& q) { saida.append(registroDe(q)); });
}

bool HistoricoGravado::ancoras(QList<std::pair<qint64, QString>>& saida)
{
    saida.clear();
    return m_banco.paraCadaLinha(QStringLiteral("SELECT detalhe FROM historico WHERE acao = ?"), {Acao::retencao()},
                                 [&](const QSqlQuery& q) {
                                     qint64 id = 0;
                                     QString hash;
                                     if (leAncora(q.value(0).toString(), id, hash))
                                         saida.append({id, hash});
                                 });
}

bool HistoricoGravado::eliminacoes(QList<Eliminacao>& saida)
{
    saida.clear();
    static const QRegularExpression padrao(QStringLiteral("^(\\d{1,12}) linha"));
    return m_banco.paraCadaLinha(QStringLiteral("SELECT id, numeroficha, iddepartamento, detalhe FROM historico WHERE acao = ?"),
                                 {Acao::eliminacao()}, [&](const QSqlQuery& q) {
                                     const QRegularExpressionMatch m = padrao.match(q.value(3).toString());
                                     saida.append({q.value(0).toLongLong(), q.value(1).toInt(), q.value(2).toInt(),
                                                   m.hasMatch() ? m.captured(1).toLongLong() : -1});
                                 });
}

bool HistoricoGravado::procuraElo(const QString& hash, std::optional<RegistroDoHistorico>& achado)
{
    achado.reset();
    return m_banco.paraCadaLinha(QStringLiteral("SELECT %1 FROM historico WHERE hash = ? OR hash_antigo = ? ORDER BY id LIMIT 1").arg(colunas),
                                 {hash, hash}, [&](const QSqlQuery& q) { achado = registroDe(q); });
}

bool HistoricoGravado::contaLinhas(qint64& quantas)
{
    QSqlQuery* q = m_banco.consulta(QStringLiteral("SELECT COUNT(*) FROM historico"), {});
    if (!q)
        return false;
    quantas = q->next() ? q->value(0).toLongLong() : 0;
    q->finish();
    return true;
}
