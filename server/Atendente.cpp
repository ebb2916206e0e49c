#include "server/Atendente.h"
#include "protocol/ErroDeExecucao.h"
#include "protocol/FormatoBR.h"
#include "protocol/Historico.h"
#include "protocol/Sincronia.h"
#include "protocol/Wire.h"
#include "protocol/clsAgenda.h"
#include "protocol/clsFiltroBusca.h"
#include "protocol/modCommands.h"
#include "server/store/Banco.h"
#include "server/store/LinhaDaFicha.h"
#include "server/Sessoes.h"

#include <cmath>

namespace {

using Resposta = Atendente::Resposta;

const QByteArray falha = QByteArrayLiteral("0");

Resposta falhou(const QString& porque)
{
    return {falha, porque, false};
}

// "code|" + the sheet's stored text + the department's two pieces: the reply for one sheet.
QByteArray umaFicha(int codigo, const QByteArray& fio, qint32 idDepartamento, const QString& dsDepartamento)
{
    QByteArray r = QByteArray::number(codigo);
    r.reserve(r.size() + 1 + fio.size() + 12 + dsDepartamento.size());
    r += '|';
    r += fio;
    r += QByteArray::number(idDepartamento);
    r += '|';
    r += Wire::codifica(dsDepartamento);
    return r;
}

// What a sheet must be before it is stored: a sane amount, no field beyond the limit, and no
// "@@@" in any field (lists join sheets with it, so one such sheet would break every list of
// its department).
QString problemaDaFicha(const clsAgenda& f)
{
    if (!std::isfinite(f.Valor) || std::fabs(f.Valor) > 1e13)
        return QStringLiteral("valor fora do intervalo");
    for (const CampoDaFicha& campo : clsAgenda::campos()) {
        if (campo.tipo != CampoDaFicha::Tipo::Texto)
            continue;
        const QString& texto = f.*campo.texto;
        if (texto.size() > Atendente::maiorCampo)
            return QStringLiteral("campo %1 longo demais").arg(QString::fromLatin1(campo.nome));
        if (texto.contains(QLatin1String("@@@")))
            return QStringLiteral("campo %1 com o separador de listas").arg(QString::fromLatin1(campo.nome));
        // No store keeps it the same way (PostgreSQL refuses it in text): refused alike.
        if (texto.contains(QChar(0)))
            return QStringLiteral("caractere NUL no campo %1").arg(QString::fromLatin1(campo.nome));
    }
    return QString();
}

// Runs a change inside its own savepoint: all of it or nothing of it.
// A change that met a deadlock with another server's transaction is rolled back to its
// savepoint and run again (the other one has gone on meanwhile).
// `fecho`, when set, runs last inside the savepoint: what it writes stays with the change, and
// when it fails the change goes too.
template <class Alteracao>
Resposta numPonto(Banco& banco, Alteracao alteracao, const std::function<bool(Resposta&)>& fecho = {})
{
    for (int tentativa = 0;; ++tentativa) {
        if (!banco.marcaPonto())
            return falhou(QStringLiteral("erro do banco: ") + banco.ultimoErro());
        Resposta r = alteracao();
        if (r.bytes != falha && fecho && !fecho(r))
            r = falhou(QStringLiteral("erro do banco: ") + banco.ultimoErro());
        if (r.bytes != falha && banco.liberaPonto())
            return r;
        const bool deNovo = r.bytes == falha && banco.falhaPassageira() && tentativa < 5;
        banco.voltaAoPonto();
        if (deNovo)
            continue;
        if (r.bytes != falha)
            r = falhou(QStringLiteral("erro do banco: ") + banco.ultimoErro());
        r.alterou = false;
        return r;
    }
}

RegistroDoHistorico registroDe(const QString& acao, const QString& usuario, qint32 dep, const Portador& portador, qint64 agoraMs, qint32 numero)
{
    RegistroDoHistorico r;
    r.quandoMs = agoraMs;
    r.operador = usuario;
    r.idDepartamento = dep;
    r.endereco = portador.endereco;
    r.acao = acao;
    r.numeroFicha = numero;
    return r;
}

QString textoDoFiltro(const clsFiltroBusca& f)
{
    QStringList partes;
    if (f.numeroFicha != 0)
        partes << QStringLiteral("ficha %1").arg(f.numeroFicha);
    if (!f.nome.isEmpty())
        partes << QStringLiteral("nome contém \"%1\"").arg(f.nome);
    if (f.dataInicial.isValid() && f.dataInicial != FormatoBR::dataZero())
        partes << QStringLiteral("desde %1").arg(FormatoBR::formataData(f.dataInicial));
    if (f.dataFinal.isValid() && f.dataFinal != FormatoBR::dataZero())
        partes << QStringLiteral("até %1").arg(FormatoBR::formataData(f.dataFinal));
    return partes.isEmpty() ? QStringLiteral("todas as fichas") : partes.join(QStringLiteral(", "));
}

Resposta erroDoBanco(const Banco& banco)
{
    return falhou(QStringLiteral("erro do banco: ") + banco.ultimoErro());
}

} // namespace

Resposta Atendente::atende(int codigo, QStringView mensagem, const Portador& portador, qint64 agoraMs)
{
    m_departamento = 0;
    Resposta r = atendeCodigo(codigo, mensagem, portador, agoraMs);
    r.departamento = m_departamento;
    return r;
}

Resposta Atendente::atendeCodigo(int codigo, QStringView mensagem, const Portador& portador, qint64 agoraMs)
{
    try {
        switch (codigo) {
        case Codigo::Salva:
            return salva(mensagem, portador, agoraMs);
        case Codigo::Inclui:
            return inclui(mensagem, portador, agoraMs);
        case Codigo::Exclui:
            return exclui(mensagem, portador, agoraMs);
        case Codigo::Busca:
            return busca(mensagem, portador, agoraMs);
        case Sincronia::codigoDaMudanca:
            return mudancaNaFila(mensagem, portador, agoraMs);
        case Sincronia::codigoDoGrupo:
            return grupoNaFila(mensagem, portador, agoraMs);
        default:
            return falhou(QStringLiteral("pedido desconhecido"));
        }
    } catch (const ErroDeExecucao& e) {
        return falhou(QStringLiteral("pedido malformado (%1)").arg(e.origem()));
    }
}

bool Atendente::registra(RegistroDoHistorico registro)
{
    if (!m_detalheDaMudanca.isEmpty())
        registro.detalhe = m_detalheDaMudanca;
    return HistoricoGravado(m_banco).acrescenta(registro);
}

std::optional<QString> Atendente::fichaAutorizada(QStringView mensagem, const Portador& portador, qint64 agoraMs, clsAgenda& f,
                                                  QString& usuario)
{
    f.fromPipeStringWithCommand(mensagem);
    m_departamento = f.departamento.idDepartamento;
    const auto ds = m_sessoes.autoriza(portador, f.departamento.idDepartamento, agoraMs, &m_banco, &usuario);
    if (ds)
        f.departamento.dsDepartamento = *ds;
    return ds;
}

Resposta Atendente::salva(QStringView mensagem, const Portador& portador, qint64 agoraMs)
{
    clsAgenda f;
    QString usuario;
    const auto ds = fichaAutorizada(mensagem, portador, agoraMs, f, usuario);
    if (!ds)
        return falhou(QStringLiteral("sem sessão para o departamento"));
    if (f.numeroFicha < 0)
        return falhou(QStringLiteral("número de ficha negativo"));
    if (const QString p = problemaDaFicha(f); !p.isEmpty())
        return falhou(p);
    const qint32 dep = f.departamento.idDepartamento;
    return numPonto(m_banco, [&]() -> Resposta {
        QString desfecho;
        QByteArray fio;
        RegistroDoHistorico registro;
        if (f.numeroFicha == 0) {
            clsAgenda nova = f;
            if (!m_fichas.insereNova(dep, nova, fio))
                return erroDoBanco(m_banco);
            desfecho = QStringLiteral("ficha nova gravada");
            registro = registroDe(Acao::inclusao(), usuario, dep, portador, agoraMs, nova.numeroFicha);
            registro.alteracoes = HistoricoGravado::diferencas(std::nullopt, nova);
        } else {
            std::optional<clsAgenda> antes;
            if (!m_fichas.ficha(dep, f.numeroFicha, antes))
                return erroDoBanco(m_banco);
            fio = LinhaDaFicha::fioDe(f);
            bool inseriu = false;
            if (!antes && !m_fichas.insereSeLivre(dep, f, fio, inseriu))
                return erroDoBanco(m_banco);
            // Taken meanwhile by another server: the save alters it, as it would have.
            if (!inseriu && !antes && !m_fichas.ficha(dep, f.numeroFicha, antes))
                return erroDoBanco(m_banco);
            if (!inseriu && !m_fichas.atualiza(dep, f, fio))
                return erroDoBanco(m_banco);
            desfecho = inseriu ? QStringLiteral("ficha gravada no número pedido") : QStringLiteral("ficha alterada");
            registro = registroDe(inseriu ? Acao::inclusao() : Acao::alteracao(), usuario, dep, portador, agoraMs, f.numeroFicha);
            registro.alteracoes = HistoricoGravado::diferencas(antes, f);
        }
        if (!registra(std::move(registro)))
            return erroDoBanco(m_banco);
        // The reply is the sheet as stored: the same text a search will return.
        return {umaFicha(Codigo::Salvo, fio, dep, *ds), desfecho, true};
    }, m_fechoDaMudanca);
}

Resposta Atendente::inclui(QStringView mensagem, const Portador& portador, qint64 agoraMs)
{
    clsAgenda f;
    QString usuario;
    const auto ds = fichaAutorizada(mensagem, portador, agoraMs, f, usuario);
    if (!ds)
        return falhou(QStringLiteral("sem sessão para o departamento"));
    if (f.numeroFicha <= 0)
        return falhou(QStringLiteral("número de ficha ausente"));
    if (const QString p = problemaDaFicha(f); !p.isEmpty())
        return falhou(p);
    const qint32 dep = f.departamento.idDepartamento;
    return numPonto(m_banco, [&]() -> Resposta {
        QByteArray guardada;
        if (!m_fichas.fioDaFicha(dep, f.numeroFicha, guardada))
            return erroDoBanco(m_banco);
        if (!guardada.isEmpty()) {
            // Same number back: the client tells the operator the sheet already exists.
            return {umaFicha(Codigo::Incluido, guardada, dep, *ds), QStringLiteral("ficha já existente"), false};
        }
        bool inseriu = false;
        if (!m_fichas.insereSeLivre(dep, f, LinhaDaFicha::fioDe(f), inseriu))
            return erroDoBanco(m_banco);
        if (!inseriu) {
            // Included meanwhile by another server: this one lost, as if it had come second.
            if (!m_fichas.fioDaFicha(dep, f.numeroFicha, guardada))
                return erroDoBanco(m_banco);
            return {umaFicha(Codigo::Incluido, guardada, dep, *ds), QStringLiteral("ficha já existente"), false};
        }
        RegistroDoHistorico registro = registroDe(Acao::inclusao(), usuario, dep, portador, agoraMs, f.numeroFicha);
        registro.alteracoes = HistoricoGravado::diferencas(std::nullopt, f);
        if (!registra(std::move(registro)))
            return erroDoBanco(m_banco);
        // Number 0 back is how the client learns the sheet was stored.
        clsAgenda resposta = f;
        resposta.numeroFicha = 0;
        return {umaFicha(Codigo::Incluido, LinhaDaFicha::fioDe(resposta), dep, *ds), QStringLiteral("ficha incluída"), true};
    }, m_fechoDaMudanca);
}

Resposta Atendente::exclui(QStringView mensagem, const Portador& portador, qint64 agoraMs)
{
    clsAgenda f;
    QString usuario;
    if (!fichaAutorizada(mensagem, portador, agoraMs, f, usuario))
        return falhou(QStringLiteral("sem sessão para o departamento"));
    if (f.numeroFicha <= 0)
        return falhou(QStringLiteral("nada a excluir"));
    const qint32 dep = f.departamento.idDepartamento;
    return numPonto(m_banco, [&]() -> Resposta {
        // The sheet as it was goes into the history with its deletion.
        std::optional<clsAgenda> antes;
        if (!m_fichas.ficha(dep, f.numeroFicha, antes))
            return erroDoBanco(m_banco);
        bool excluiu = false;
        if (!m_fichas.exclui(dep, f.numeroFicha, excluiu))
            return erroDoBanco(m_banco);
        if (!excluiu)
            return falhou(QStringLiteral("nada a excluir"));
        RegistroDoHistorico registro = registroDe(Acao::exclusao(), usuario, dep, portador, agoraMs, f.numeroFicha);
        registro.alteracoes = HistoricoGravado::diferencas(antes, std::nullopt);
        if (!registra(std::move(registro)))
            return erroDoBanco(m_banco);
        return {QByteArray::number(Codigo::Excluido), QStringLiteral("ficha excluída"), true};
    }, m_fechoDaMudanca);
}

Resposta Atendente::busca(QStringView mensagem, const Portador& portador, qint64 agoraMs)
{
    bool comecou = false;
    return buscaEmPartes(mensagem, portador, agoraMs, 0, {}, comecou);
}

Resposta Atendente::buscaEmPartes(QStringView mensagem, const Portador& portador, qint64 agoraMs, qsizetype pedaco,
                                  const std::function<bool(QByteArray&&)>& entrega, bool& comecou, Lista* lista)
{
    comecou = false;
    Lista local;
    Lista& l = lista ? *lista : local;
    try {
        l.filtro.fromPipeStringWithCommand(mensagem);
    } catch (const ErroDeExecucao& e) {
        return falhou(QStringLiteral("pedido malformado (%1)").arg(e.origem()));
    }
    const auto ds = m_sessoes.autoriza(portador, l.filtro.departamento.idDepartamento, agoraMs, &m_banco, &l.usuario);
    if (!ds)
        return falhou(QStringLiteral("sem sessão para o departamento"));
    // Each stored sheet text is followed by the department's pieces, as the session knows them.
    l.idDepartamento = l.filtro.departamento.idDepartamento;
    l.departamento = QByteArray::number(l.idDepartamento) + '|' + Wire::codifica(*ds);
    l.trecho = {};
    l.achadas = 0;
    l.portador = portador;
    l.agoraMs = agoraMs;
    QByteArray r = QByteArray::number(Codigo::Encontrados) + '|';
    const auto passa = [&](QByteArray& bloco) {
        comecou = true;
        return entrega(std::exchange(bloco, QByteArray()));
    };
    if (!m_fichas.buscaEmPartes(l.idDepartamento, l.filtro, l.departamento, r, l.achadas, pedaco, passa, lista ? &l.trecho : nullptr))
        return erroDoBanco(m_banco);
    return fimDaBusca(l, std::move(r));
}

Resposta Atendente::continuaBusca(Lista& lista, qsizetype pedaco, const std::function<bool(QByteArray&&)>& entrega)
{
    // Sheets saved meanwhile above the last one sent come in this part; those below, not.
    lista.trecho.retomada = true;
    QByteArray r;
    const auto passa = [&](QByteArray& bloco) { return entrega(std::exchange(bloco, QByteArray())); };
    if (!m_fichas.buscaEmPartes(lista.idDepartamento, lista.filtro, lista.departamento, r, lista.achadas, pedaco, passa, &lista.trecho))
        return erroDoBanco(m_banco);
    return fimDaBusca(lista, std::move(r));
}

Resposta Atendente::fimDaBusca(const Lista& lista, QByteArray resto)
{
    if (lista.pausada())
        return {QByteArray(), QString(), false};
    if (m_registraLeitura) {
        const clsFiltroBusca& f = lista.filtro;
        RegistroDoHistorico registro = registroDe(f.numeroFicha != 0 ? Acao::consulta() : Acao::busca(), lista.usuario,
                                                  lista.idDepartamento, lista.portador, lista.agoraMs, f.numeroFicha);
        registro.detalhe = QStringLiteral("%1; %2 ficha(s) devolvida(s)").arg(textoDoFiltro(f)).arg(lista.achadas);
        m_registraLeitura(std::move(registro));
    }
    if (lista.achadas == 0)
        return {QByteArray::number(Codigo::NadaEncontrado), QStringLiteral("nenhuma ficha encontrada"), false};
    return {std::move(resto), QStringLiteral("%1 ficha(s) encontrada(s)").arg(lista.achadas), false};
}

Resposta Atendente::historico(QStringView mensagem, const Portador& portador, qint64 agoraMs)
{
    int numero = 0;
    if (!Historico::lePedido(mensagem, numero))
        return falhou(QStringLiteral("pedido malformado"));
    // The request names no department: the session's own is the only one it may see.
    const std::optional<qint32> dep = m_sessoes.departamentoDa(portador, &m_banco);
    QString usuario;
    if (!dep || !m_sessoes.autoriza(portador, *dep, agoraMs, &m_banco, &usuario))
        return falhou(QStringLiteral("sem sessão para o departamento"));
    QList<RegistroDoHistorico> linhas;
    if (!HistoricoGravado(m_banco).daFicha(*dep, numero, maiorHistorico, linhas))
        return erroDoBanco(m_banco);
    if (linhas.isEmpty()) {
        bool existe = false;
        if (!m_fichas.existe(*dep, numero, existe))
            return erroDoBanco(m_banco);
        if (!existe)
            return falhou(QStringLiteral("ficha %1 não existe no departamento").arg(numero));
    }
    QList<Historico::Entrada> entradas;
    entradas.reserve(linhas.size());
    for (const RegistroDoHistorico& l : std::as_const(linhas))
        entradas.append({QDateTime::fromMSecsSinceEpoch(l.quandoMs, Qt::UTC), l.operador, l.acao, l.alteracoes});
    if (m_registraLeitura)
        m_registraLeitura(registroDe(Acao::historico(), usuario, *dep, portador, agoraMs, numero));
    return {Historico::resposta(entradas).toUtf8(), QStringLiteral("histórico da ficha %1: %2 linha(s)").arg(numero).arg(entradas.size()), false,
            *dep, entradas.size()};
}
