// The exchange of a desk's copy and journal with the server (see Sincronizador.h).
#include "desconectado/Sincronizador.h"
#include "connection/Conexao.h"
#include "connection/Requisicao.h"
#include "desconectado/CopiaSelada.h"
#include "desconectado/Diario.h"
#include "protocol/ErroDeExecucao.h"
#include "protocol/Sincronia.h"
#include "protocol/Wire.h"
#include "protocol/clsFiltroBusca.h"
#include "protocol/modCommands.h"

#include <QDataStream>
#include <QSet>
#include <optional>
#include <QSqlQuery>

namespace {

// While the copy is brought up to date, a dropped link is the status line's news, not a box.
class Quieto {
public:
    Quieto()
    {
        if (Conexao* c = conexaoExistente())
            c->defineSondagem(true);
    }
    ~Quieto()
    {
        if (Conexao* c = conexaoExistente())
            c->defineSondagem(false);
    }
};

// Reads the changes' reply as it arrives: the head, then each item once the separator after
// it has come (the last one at the end).
class LeitorDeMudancas {
public:
    LeitorDeMudancas(CopiaSelada& copia, qint64 desde) : m_copia(copia), m_desde(desde) {}

    bool le(QByteArrayView tudo, bool fim)
    {
        static constexpr QByteArrayView separador("@@@");
        while (m_ok) {
            qsizetype proximo = tudo.indexOf(separador, m_cabecaLida ? m_posicao + 3 : m_posicao);
            if (proximo < 0) {
                if (!fim)
                    break;
                proximo = tudo.size();
            }
            if (!m_cabecaLida) {
                m_ok = leCabeca(tudo.first(proximo));
                m_cabecaLida = true;
            } else {
                m_ok = aplica(tudo.sliced(m_posicao + 3, proximo - m_posicao - 3));
            }
            m_posicao = proximo;
            if (proximo == tudo.size())
                break;
        }
        return m_ok;
    }

    bool cabecaLida() const { return m_cabecaLida; }
    qint64 numeroAgora() const { return m_agora; }
    qsizetype itens() const { return m_itens; }

private:
    bool leCabeca(QByteArrayView cabeca)
    {
        QList<Sincronia::Item> nenhum;
        if (!Sincronia::leListaDeMudancas(Wire::decodifica(cabeca), m_agora, nenhum))
            return false;
        // From 0, or from a number the server no longer has (it was restored from a copy),
        // the reply is the whole department: it replaces what the copy had.
        return m_desde != 0 && m_agora >= m_desde ? true : m_copia.esvazia();
    }

    bool aplica(QByteArrayView item)
    {
        QList<Sincronia::Item> itens;
        qint64 agora = 0;
        if (!Sincronia::leListaDeMudancas(QStringLiteral("18|0@@@") + Wire::decodifica(item), agora, itens) || itens.size() != 1)
            return false;
        const Sincronia::Item& i = itens.first();
        ++m_itens;
        return i.excluida ? m_copia.exclui(i.numero) : m_copia.gravaDoFio(i.numero, i.versao, i.ficha);
    }

    CopiaSelada& m_copia;
    qint64 m_desde;
    qint64 m_agora = 0;
    qsizetype m_posicao = 0;
    qsizetype m_itens = 0;
    bool m_cabecaLida = false;
    bool m_ok = true;
};

// The registry already holds what the entry asks for: sent once before a cut took its reply,
// or typed the same on another desk. Then it is no conflict: its reply is the registry's sheet
// (empty when there is nothing to reply with).
std::optional<QString> jaNoRegistro(const EntradaDoDiario& e, const QString& registro)
{
    if (e.codigo == Codigo::Exclui)
        return registro.isEmpty() ? std::optional(QString::number(Codigo::Excluido)) : std::nullopt;
    if (registro.isEmpty() || e.numero <= 0)
        return std::nullopt;
    try {
        const QList<clsAgenda> lista = clsAgenda::collectionFromPipeStringWithCommand(registro);
        if (lista.size() != 1 || lista.first().toPipeString() != e.ficha.toPipeString())
            return std::nullopt;
        return lista.first().toPipeStringWithCommand(e.codigo == Codigo::Salva ? Codigo::Salvo : Codigo::Incluido);
    } catch (const ErroDeExecucao&) {
        return std::nullopt;   // the conflict window shows what it can
    }
}

} // namespace

Sincronizador::Resultado Sincronizador::atualizaCopia()
{
    Quieto quieto;
    m_itens = 0;
    m_bytes = 0;
    if (!m_copia.comeca())
        return Resultado::Falhou;
    LeitorDeMudancas leitor(m_copia, m_copia.numero());
    bool ok = true;
    const auto resposta = RequisitaEmBytes(nullptr, m_timer, Sincronia::pedidoDasMudancas(m_copia.numero()),
                                           {Sincronia::codigoDaListaDeMudancas}, [&](QByteArrayView tudo) {
                                               if (!tudo.isEmpty() && ok)
                                                   ok = leitor.le(tudo, false);
                                           });
    if (!resposta) {
        m_copia.desfaz();
        return Resultado::Interrompido;
    }
    m_bytes = resposta->bytes.size();
    ok = ok && leitor.le(resposta->bytes, true) && leitor.cabecaLida() && m_copia.defineNumero(leitor.numeroAgora());
    m_itens = leitor.itens();
    if (!ok || !m_copia.confirma()) {
        m_copia.desfaz();
        return Resultado::Falhou;
    }
    return Resultado::Completo;
}

Sincronizador::Resultado Sincronizador::reenviaDiario()
{
    Quieto quieto;
    m_aplicadas = 0;
    m_conflitos = 0;
    Diario diario(m_copia);
    // In groups, read again from the file after each: an answer may renumber or rebase the
    // entries after it, so a sheet goes once per group.
    for (;;) {
        const QList<EntradaDoDiario> proximas = diario.pendentes(Sincronia::maximoDoGrupo);
        if (proximas.isEmpty())
            return diario.quantas() == 0 ? Resultado::Completo : Resultado::Falhou;
        QList<EntradaDoDiario> grupo;
        QList<Sincronia::Mudanca> mudancas;
        QSet<qint32> fichas;
        qsizetype caracteres = 0;
        for (const EntradaDoDiario& e : proximas) {
            Sincronia::Mudanca m{e.id, e.base, e.feitaEmMs, e.pedido()};
            caracteres += m.pedido.size();
            if (fichas.contains(e.numero) || (!grupo.isEmpty() && caracteres > Sincronia::maximoDeCaracteresDoGrupo))
                break;
            fichas.insert(e.numero);
            grupo.append(e);
            mudancas.append(std::move(m));
        }
        const auto resposta = Requisita(nullptr, m_timer, Sincronia::pedidoDoGrupo(mudancas), {Sincronia::codigoDosDesfechos});
        if (!resposta)
            return Resultado::Interrompido;
        QList<Sincronia::Desfecho> desfechos;
        if (!Sincronia::leDesfechos(resposta->texto, desfechos) || desfechos.isEmpty() || desfechos.size() > grupo.size())
            return Resultado::Falhou;
        for (qsizetype i = 0; i < desfechos.size(); ++i) {
            Sincronia::Desfecho& d = desfechos[i];
            const EntradaDoDiario& e = grupo[i];
            if (d.id != e.id)
                return Resultado::Falhou;
            if (d.conflito)
                if (const std::optional<QString> igual = jaNoRegistro(e, d.resposta)) {
                    d.conflito = false;
                    d.resposta = *igual;
                }
            if (d.conflito ? !diario.emConflito(e, d.versao, d.resposta) : !diario.aplicada(e, d.versao, d.resposta))
                return Resultado::Falhou;
            ++(d.conflito ? m_conflitos : m_aplicadas);
        }
    }
}

Sincronizador::Resultado Sincronizador::enviaLeituras()
{
    Quieto quieto;
    QSqlQuery q(m_copia.banco());
    if (!q.exec(QStringLiteral("SELECT ordem, dados FROM leituras ORDER BY ordem")))
        return Resultado::Falhou;
    QList<std::pair<qint64, qint32>> leituras;
    while (q.next()) {
        const auto dados = m_copia.selo().abre(q.value(1).toByteArray(), "leitura");
        QStringList partes;
        if (dados) {
            QDataStream s(*dados);
            s >> partes;
        }
        leituras.append({q.value(0).toLongLong(), partes.isEmpty() ? 0 : partes.first().toInt()});
    }
    q.finish();
    for (const auto& [ordem, numero] : std::as_const(leituras)) {
        if (numero > 0) {
            clsFiltroBusca filtro;
            filtro.numeroFicha = numero;
            filtro.departamento = m_copia.operador().departamento;
            if (!Requisita(nullptr, m_timer, filtro.toPipeStringWithCommand(Codigo::Busca), {Codigo::Encontrados, Codigo::NadaEncontrado}))
                return Resultado::Interrompido;
        }
        QSqlQuery apaga(m_copia.banco());
        apaga.prepare(QStringLiteral("DELETE FROM leituras WHERE ordem = ?"));
        apaga.addBindValue(ordem);
        if (!apaga.exec())
            return Resultado::Falhou;
    }
    return Resultado::Completo;
}

Sincronizador::Resultado Sincronizador::sincroniza()
{
    for (auto passo : {&Sincronizador::atualizaCopia, &Sincronizador::reenviaDiario, &Sincronizador::enviaLeituras})
        if (const Resultado r = (this->*passo)(); r != Resultado::Completo)
            return r;
    return Resultado::Completo;
}
