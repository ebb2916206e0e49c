// The journal of a desk that works disconnected (see Diario.h).
#include "desconectado/Diario.h"
#include "desconectado/CopiaSelada.h"
#include "protocol/ErroDeExecucao.h"
#include "protocol/Sincronia.h"
#include "protocol/modCommands.h"

#include <QDataStream>
#include <QIODevice>
#include <QSqlQuery>
#include <QUuid>

namespace {

QByteArray lugarDaEntrada(const QString& id)
{
    return "diario|" + id.toLatin1();
}

QByteArray lugarDoConflito(const QString& id)
{
    return "conflito|" + id.toLatin1();
}

QByteArray serializa(const QStringList& partes)
{
    QByteArray b;
    QDataStream s(&b, QIODevice::WriteOnly);
    s << partes;
    return b;
}

QStringList desserializa(const QByteArray& b)
{
    QStringList partes;
    QDataStream s(b);
    s >> partes;
    return s.status() == QDataStream::Ok ? partes : QStringList();
}

bool executa(QSqlDatabase& banco, const QString& sql, const QVariantList& valores, qsizetype* linhas = nullptr)
{
    QSqlQuery q(banco);
    if (!q.prepare(sql))
        return false;
    for (const QVariant& v : valores)
        q.addBindValue(v);
    if (!q.exec())
        return false;
    if (linhas)
        *linhas = q.numRowsAffected();
    return true;
}

// A sheet out of a reply "<code>|<sheet>"; nothing when it is not one.
std::optional<clsAgenda> fichaDaResposta(const QString& resposta)
{
    try {
        clsAgenda f;
        f.fromPipeStringWithCommand(resposta);
        return f;
    } catch (const ErroDeExecucao&) {
        return std::nullopt;
    }
}

} // namespace

QString EntradaDoDiario::pedido() const
{
    clsAgenda f = ficha;
    f.numeroFicha = numero < 0 ? 0 : numero;
    return f.toPipeStringWithCommand(codigo);
}

QString Diario::novoId()
{
    // 32 hex digits: unique across desks without asking anyone, and idValido's shape.
    return QUuid::createUuid().toString(QUuid::Id128);
}

bool Diario::registra(int codigo, clsAgenda& ficha, qint64 feitaEmMs)
{
    if (codigo != Codigo::Salva && codigo != Codigo::Inclui && codigo != Codigo::Exclui)
        return false;
    if (!m_copia.comeca())
        return false;
    QSqlDatabase& banco = m_copia.banco();
    bool ok = true;
    qint64 base = 0;
    bool registrar = true;
    if (codigo == Codigo::Salva && ficha.numeroFicha == 0) {
        ficha.numeroFicha = m_copia.proximoProvisorio();
        ok = m_copia.grava(ficha, 0);
    } else if (codigo == Codigo::Exclui && ficha.numeroFicha < 0) {
        // Never sent: it and its changes just go.
        ok = m_copia.exclui(ficha.numeroFicha)
             && executa(banco, QStringLiteral("DELETE FROM diario WHERE numero = ?"), {ficha.numeroFicha});
        registrar = false;
    } else if (codigo == Codigo::Exclui) {
        base = qMax<qint64>(0, m_copia.versao(ficha.numeroFicha));
        ok = m_copia.exclui(ficha.numeroFicha);
    } else {
        base = ficha.numeroFicha < 0 ? 0 : qMax<qint64>(0, m_copia.versao(ficha.numeroFicha));
        ok = m_copia.grava(ficha, base);
    }
    if (ok && registrar) {
        const QString id = novoId();
        const QByteArray dados = serializa({QString::number(codigo), QString::number(feitaEmMs), ficha.toPipeString()});
        ok = executa(banco, QStringLiteral("INSERT INTO diario (id, numero, base, dados) VALUES (?, ?, ?, ?)"),
                     {id, ficha.numeroFicha, base, m_copia.selo().sela(dados, lugarDaEntrada(id))});
    }
    if (!ok || !m_copia.confirma()) {
        m_copia.desfaz();
        return false;
    }
    return true;
}

bool Diario::registraLeitura(qint32 numero, qint64 feitaEmMs)
{
    const QByteArray dados = serializa({QString::number(numero), QString::number(feitaEmMs)});
    return executa(m_copia.banco(), QStringLiteral("INSERT INTO leituras (dados) VALUES (?)"),
                   {m_copia.selo().sela(dados, "leitura")});
}

bool Diario::leEntrada(qint64 ordem, const QString& id, qint32 numero, qint64 base, const QByteArray& selado,
                       EntradaDoDiario& e) const
{
    const auto dados = m_copia.selo().abre(selado, lugarDaEntrada(id));
    if (!dados)
        return false;
    const QStringList partes = desserializa(*dados);
    if (partes.size() != 3)
        return false;
    e.ordem = ordem;
    e.id = id;
    e.numero = numero;
    e.base = base;
    e.codigo = partes[0].toInt();
    e.feitaEmMs = partes[1].toLongLong();
    try {
        e.ficha.fromPipeString(partes[2]);
    } catch (const ErroDeExecucao&) {
        return false;
    }
    return Sincronia::idValido(id);
}

QList<EntradaDoDiario> Diario::pendentes(qsizetype maximo) const
{
    QList<EntradaDoDiario> entradas;
    QSqlQuery q(m_copia.banco());
    q.prepare(QStringLiteral("SELECT ordem, id, numero, base, dados FROM diario ORDER BY ordem LIMIT ?"));
    q.addBindValue(maximo < 0 ? qint64(-1) : qint64(maximo));
    if (!q.exec())
        return entradas;
    while (q.next()) {
        EntradaDoDiario e;
        // An entry that does not open was not sealed by this operator: it is not sent.
        if (leEntrada(q.value(0).toLongLong(), q.value(1).toString(), q.value(2).toInt(), q.value(3).toLongLong(),
                      q.value(4).toByteArray(), e))
            entradas.append(std::move(e));
    }
    return entradas;
}

qsizetype Diario::quantas() const
{
    QSqlQuery q(m_copia.banco());
    return q.exec(QStringLiteral("SELECT COUNT(*) FROM diario")) && q.next() ? q.value(0).toLongLong() : 0;
}

qsizetype Diario::leituras() const
{
    QSqlQuery q(m_copia.banco());
    return q.exec(QStringLiteral("SELECT COUNT(*) FROM leituras")) && q.next() ? q.value(0).toLongLong() : 0;
}

bool Diario::aplicada(const EntradaDoDiario& e, qint64 versao, const QString& resposta)
{
    if (!m_copia.comeca())
        return false;
    QSqlDatabase& banco = m_copia.banco();
    bool ok = true;
    if (e.codigo == Codigo::Exclui) {
        ok = m_copia.exclui(e.numero);
    } else if (const std::optional<clsAgenda> guardada = fichaDaResposta(resposta); guardada && guardada->numeroFicha > 0) {
        // A provisional sheet now has its number: it, and the changes made to it since, take it.
        if (e.numero < 0)
            ok = m_copia.exclui(e.numero)
                 && executa(banco, QStringLiteral("UPDATE diario SET numero = ?, base = ? WHERE numero = ?"),
                            {guardada->numeroFicha, versao, e.numero});
        else
            ok = executa(banco, QStringLiteral("UPDATE diario SET base = ? WHERE numero = ? AND base = ? AND ordem > ?"),
                         {versao, e.numero, e.base, e.ordem});
        ok = ok && m_copia.grava(*guardada, versao);
    } else if (e.codigo == Codigo::Inclui) {
        // Number 0 back: stored as sent.
        ok = m_copia.grava(e.ficha, versao);
    }
    qsizetype linhas = 0;
    ok = ok && executa(banco, QStringLiteral("DELETE FROM diario WHERE id = ?"), {e.id}, &linhas) && linhas == 1;
    if (!ok || !m_copia.confirma()) {
        m_copia.desfaz();
        return false;
    }
    return true;
}

bool Diario::emConflito(const EntradaDoDiario& e, qint64 versao, const QString& registro)
{
    std::optional<clsAgenda> doRegistro;
    if (!registro.isEmpty()) {
        const QList<clsAgenda> lista = clsAgenda::collectionFromPipeStringWithCommand(registro);
        if (lista.size() != 1)
            return false;
        doRegistro = lista.first();
    }
    if (!m_copia.comeca())
        return false;
    const QByteArray dados = serializa({QString::number(e.codigo), QString::number(e.feitaEmMs), QString::number(e.base),
                                        e.ficha.toPipeString(), doRegistro ? doRegistro->toPipeString() : QString()});
    bool ok = executa(m_copia.banco(), QStringLiteral("INSERT OR REPLACE INTO conflitos (id, numero, dados) VALUES (?, ?, ?)"),
                      {e.id, e.numero, m_copia.selo().sela(dados, lugarDoConflito(e.id))});
    // The copy shows what the registry holds until the operator chooses.
    ok = ok && (doRegistro ? m_copia.grava(*doRegistro, versao) : m_copia.exclui(e.numero));
    qsizetype linhas = 0;
    ok = ok && executa(m_copia.banco(), QStringLiteral("DELETE FROM diario WHERE id = ?"), {e.id}, &linhas) && linhas == 1;
    if (!ok || !m_copia.confirma()) {
        m_copia.desfaz();
        return false;
    }
    return true;
}

QList<Conflito> Diario::conflitos() const
{
    QList<Conflito> lista;
    QSqlQuery q(m_copia.banco());
    if (!q.exec(QStringLiteral("SELECT id, numero, dados FROM conflitos ORDER BY rowid")))
        return lista;
    while (q.next()) {
        const QString id = q.value(0).toString();
        const auto dados = m_copia.selo().abre(q.value(2).toByteArray(), lugarDoConflito(id));
        const QStringList p = dados ? desserializa(*dados) : QStringList();
        if (p.size() != 5)
            continue;
        Conflito c;
        c.id = id;
        c.mudanca.id = id;
        c.mudanca.numero = q.value(1).toInt();
        c.mudanca.codigo = p[0].toInt();
        c.mudanca.feitaEmMs = p[1].toLongLong();
        c.mudanca.base = p[2].toLongLong();
        try {
            c.mudanca.ficha.fromPipeString(p[3]);
            c.excluidaNoRegistro = p[4].isEmpty();
            if (!c.excluidaNoRegistro)
                c.doRegistro.fromPipeString(p[4]);
        } catch (const ErroDeExecucao&) {
            continue;
        }
        lista.append(c);
    }
    return lista;
}

bool Diario::resolveConflito(const QString& id)
{
    return executa(m_copia.banco(), QStringLiteral("DELETE FROM conflitos WHERE id = ?"), {id});
}
