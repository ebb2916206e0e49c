// What an office that works disconnected asks of the registry (protocol/Sincronia.h): the
// changes to its department since the number it last saw, and each change it queued while
// disconnected, applied once, or refused as a conflict when the sheet changed meanwhile.
#include "server/Atendente.h"
#include "protocol/Sincronia.h"
#include "protocol/Wire.h"
#include "protocol/clsAgenda.h"
#include "protocol/modCommands.h"
#include "server/store/Banco.h"

#include <QDateTime>

namespace {

using Resposta = Atendente::Resposta;

Resposta falhou(const QString& porque)
{
    return {QByteArrayLiteral("0"), porque, false};
}

Resposta erroDoBanco(const Banco& banco)
{
    return falhou(QStringLiteral("erro do banco: ") + banco.ultimoErro());
}

// "20|<id>|A|<version>|" or "20|<id>|C|<version>|": what goes before the answer proper.
QByteArray cabecalho(const QString& id, bool conflito, qint64 versao)
{
    return Wire::codifica(Sincronia::desfecho({id, conflito, versao, QString()}));
}

// The sheet number a reply to a save or an inclusion starts with ("7|<number>|..."); 0 for none.
qint32 numeroDaResposta(const QByteArray& resposta)
{
    const qsizetype barra = resposta.indexOf('|');
    const qsizetype outra = barra < 0 ? -1 : resposta.indexOf('|', barra + 1);
    return outra < 0 ? 0 : resposta.mid(barra + 1, outra - barra - 1).toInt();
}

// While a queued change runs, the Atendente's change functions carry its id and its time.
struct MudancaEmCurso {
    QString& detalhe;
    std::function<bool(Resposta&)>& fecho;
    ~MudancaEmCurso()
    {
        detalhe.clear();
        fecho = {};
    }
};

} // namespace

Resposta Atendente::mudancasEmPartes(QStringView mensagem, const Portador& portador, qint64 agoraMs, qsizetype pedaco,
                                     const std::function<bool(QByteArray&&)>& entrega, bool& comecou, ListaDeMudancas& l)
{
    comecou = false;
    if (!Sincronia::lePedidoDasMudancas(mensagem, l.leitura.desde))
        return falhou(QStringLiteral("pedido malformado"));
    // The request names no department: the session's own is the only one it may read.
    const std::optional<qint32> dep = m_sessoes.departamentoDa(portador, &m_banco);
    const std::optional<QString> ds = dep ? m_sessoes.autoriza(portador, *dep, agoraMs, &m_banco, &l.usuario) : std::nullopt;
    if (!ds)
        return falhou(QStringLiteral("sem sessão para o departamento"));
    l.idDepartamento = *dep;
    l.departamento = QByteArray::number(*dep) + '|' + Wire::codifica(*ds);
    l.portador = portador;
    l.agoraMs = agoraMs;
    return continuaMudancas(l, pedaco, entrega, &comecou);
}

Resposta Atendente::continuaMudancas(ListaDeMudancas& l, qsizetype pedaco, const std::function<bool(QByteArray&&)>& entrega,
                                     bool* comecou)
{
    QByteArray r;
    const auto passa = [&](QByteArray& bloco) {
        if (comecou)
            *comecou = true;
        return entrega(std::exchange(bloco, QByteArray()));
    };
    if (!Mudancas(m_banco).leDesde(l.idDepartamento, l.departamento, l.leitura, r, pedaco, passa))
        return erroDoBanco(m_banco);
    if (l.pausada())
        return {QByteArray(), QString(), false};
    const QString desfecho =
        QStringLiteral("mudanças desde %1 até %2: %3 item(ns)").arg(l.leitura.desde).arg(l.leitura.numeroAgora).arg(l.leitura.itens);
    if (m_registraLeitura) {
        RegistroDoHistorico registro;
        registro.quandoMs = l.agoraMs;
        registro.operador = l.usuario;
        registro.idDepartamento = l.idDepartamento;
        registro.endereco = l.portador.endereco;
        registro.acao = Acao::copia();
        registro.detalhe = desfecho;
        m_registraLeitura(std::move(registro));
    }
    return {std::move(r), desfecho, false, l.idDepartamento, l.leitura.itens};
}

Resposta Atendente::mudancaNaFila(QStringView mensagem, const Portador& portador, qint64 agoraMs)
{
    Sincronia::Mudanca m;
    if (!Sincronia::lePedidoDaMudanca(mensagem, m))
        return falhou(QStringLiteral("pedido malformado"));
    const int codigo = LeComando(m.pedido);
    clsAgenda f;
    QString usuario;
    const auto ds = fichaAutorizada(m.pedido, portador, agoraMs, f, usuario);
    if (!ds)
        return falhou(QStringLiteral("sem sessão para o departamento"));
    const qint32 dep = f.departamento.idDepartamento;
    Mudancas mudancas(m_banco);
    // The same id again (a journal replayed after a cut): the answer it got, nothing done.
    QByteArray anterior;
    if (!mudancas.respostaAplicada(dep, m.id, anterior))
        return erroDoBanco(m_banco);
    if (!anterior.isEmpty())
        return {anterior, QStringLiteral("mudança %1 já respondida: a mesma resposta, nada aplicado").arg(m.id), false};
    // A new sheet (saved under number 0) starts from nothing; any other must still be as it was.
    const bool nova = codigo == Codigo::Salva && f.numeroFicha == 0;
    qint64 atual = 0;
    if (!nova && !mudancas.versao(dep, f.numeroFicha, atual))
        return erroDoBanco(m_banco);
    if (!nova && atual != m.base) {
        // Not applied: the registry's sheet as it is now goes back (none when it was deleted).
        QByteArray fio;
        if (!m_fichas.fioDaFicha(dep, f.numeroFicha, fio))
            return erroDoBanco(m_banco);
        const QByteArray inicio = cabecalho(m.id, true, atual);
        const QByteArray corpo =
            fio.isEmpty() ? QByteArray() : QByteArray::number(Codigo::Encontrados) + '|' + fio + QByteArray::number(dep) + '|' + Wire::codifica(*ds);
        const QByteArray r = inicio + corpo;
        if (!m_banco.marcaPonto())
            return erroDoBanco(m_banco);
        if (!mudancas.registraAplicada(dep, m.id, f.numeroFicha, agoraMs, inicio, corpo) || !m_banco.liberaPonto()) {
            const Resposta erro = erroDoBanco(m_banco);
            m_banco.voltaAoPonto();
            return erro;
        }
        return {r, QStringLiteral("mudança %1 em conflito: feita sobre a versão %2, a ficha está na %3").arg(m.id).arg(m.base).arg(atual),
                false};
    }
    // Applied: the change, its history row and its id are kept together or not at all.
    MudancaEmCurso emCurso{m_detalheDaMudanca, m_fechoDaMudanca};
    m_detalheDaMudanca = QStringLiteral("feita sem conexão em %1 (mudança %2)")
                             .arg(QDateTime::fromMSecsSinceEpoch(m.feitaEmMs, Qt::UTC).toString(Qt::ISODate), m.id);
    m_fechoDaMudanca = [&](Resposta& r) {
        // Under the store's write lock the highest number is this change's own.
        qint64 versao = 0;
        if (r.alterou ? !mudancas.numeroAtual(versao) : !mudancas.versao(dep, f.numeroFicha, versao))
            return false;
        const QByteArray inicio = cabecalho(m.id, false, versao);
        const qint32 numero = f.numeroFicha != 0 ? f.numeroFicha : numeroDaResposta(r.bytes);
        if (!mudancas.registraAplicada(dep, m.id, numero, agoraMs, inicio, r.bytes))
            return false;
        r.bytes = inicio + r.bytes;
        r.desfecho = QStringLiteral("mudança %1: %2").arg(m.id, r.desfecho);
        return true;
    };
    switch (codigo) {
    case Codigo::Salva:
        return salva(m.pedido, portador, agoraMs);
    case Codigo::Inclui:
        return inclui(m.pedido, portador, agoraMs);
    default:
        return exclui(m.pedido, portador, agoraMs);
    }
}

Resposta Atendente::grupoNaFila(QStringView mensagem, const Portador& portador, qint64 agoraMs)
{
    QList<QStringView> pedidos;
    if (!Sincronia::lePedidoDoGrupo(mensagem, pedidos))
        return falhou(QStringLiteral("grupo de mudanças malformado"));
    // Each as it would be alone (its own savepoint, its own id), in order, up to the first
    // that gets no answer: the client sends that one and the rest again.
    QStringList respostas;
    QString parou;
    bool alterou = false;
    for (QStringView pedido : std::as_const(pedidos)) {
        const Resposta r = mudancaNaFila(pedido, portador, agoraMs);
        if (!r.bytes.startsWith(QByteArray::number(Sincronia::codigoDoDesfecho) + '|')) {
            parou = QStringLiteral("; parou em: ") + r.desfecho;
            break;
        }
        respostas << Wire::decodifica(r.bytes);
        alterou = alterou || r.alterou;
    }
    const QString desfecho = QStringLiteral("grupo de %1 mudanças, %2 respondidas%3").arg(pedidos.size()).arg(respostas.size()).arg(parou);
    if (respostas.isEmpty())
        return falhou(desfecho);
    return {Wire::codifica(Sincronia::desfechos(respostas)), desfecho, alterou};
}
