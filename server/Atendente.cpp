#include "server/Atendente.h"
#include "protocol/ErroDeExecucao.h"
#include "protocol/clsAgenda.h"
#include "protocol/clsFiltroBusca.h"
#include "protocol/modCommands.h"
#include "server/Armazem.h"
#include "server/Sessoes.h"

#include <cmath>

namespace {

using Resposta = Atendente::Resposta;

Resposta falhou(const QString& porque)
{
    return {MontaComando(Codigo::Falha), porque, false};
}

// What a sheet must be before it is stored: a sane amount and no field beyond the limit.
QString problemaDaFicha(const clsAgenda& f)
{
    if (!std::isfinite(f.Valor) || std::fabs(f.Valor) > 1e13)
        return QStringLiteral("valor fora do intervalo");
    for (const CampoDaFicha& campo : clsAgenda::campos())
        if (campo.tipo == CampoDaFicha::Tipo::Texto && (f.*campo.texto).size() > Atendente::maiorCampo)
            return QStringLiteral("campo %1 longo demais").arg(QString::fromLatin1(campo.nome));
    return QString();
}

// Runs a change inside its own savepoint: all of it or nothing of it.
template <class Alteracao>
Resposta numPonto(Armazem& armazem, Alteracao alteracao)
{
    if (!armazem.marcaPonto())
        return falhou(QStringLiteral("erro do banco: ") + armazem.ultimoErro());
    Resposta r = alteracao();
    if (r.texto == MontaComando(Codigo::Falha) || !armazem.liberaPonto()) {
        armazem.voltaAoPonto();
        if (r.texto != MontaComando(Codigo::Falha))
            r = falhou(QStringLiteral("erro do banco: ") + armazem.ultimoErro());
        r.alterou = false;
    }
    return r;
}

Resposta erroDoBanco(const Armazem& armazem)
{
    return falhou(QStringLiteral("erro do banco: ") + armazem.ultimoErro());
}

} // namespace

Resposta Atendente::atende(int codigo, QStringView mensagem, const QHostAddress& endereco, qint64 agoraMs)
{
    try {
        switch (codigo) {
        case Codigo::Salva:
            return salva(mensagem, endereco, agoraMs);
        case Codigo::Inclui:
            return inclui(mensagem, endereco, agoraMs);
        case Codigo::Exclui:
            return exclui(mensagem, endereco, agoraMs);
        case Codigo::Busca:
            return busca(mensagem, endereco, agoraMs);
        default:
            return falhou(QStringLiteral("pedido desconhecido"));
        }
    } catch (const ErroDeExecucao& e) {
        return falhou(QStringLiteral("pedido malformado (%1)").arg(e.origem()));
    }
}

Resposta Atendente::salva(QStringView mensagem, const QHostAddress& endereco, qint64 agoraMs)
{
    clsAgenda f;
    f.fromPipeStringWithCommand(mensagem);
    const auto ds = m_sessoes.autoriza(endereco, f.departamento.idDepartamento, agoraMs);
    if (!ds)
        return falhou(QStringLiteral("sem sessão para o departamento"));
    f.departamento.dsDepartamento = *ds;
    if (f.numeroFicha < 0)
        return falhou(QStringLiteral("número de ficha negativo"));
    if (const QString p = problemaDaFicha(f); !p.isEmpty())
        return falhou(p);
    const qint32 dep = f.departamento.idDepartamento;
    return numPonto(m_armazem, [&]() -> Resposta {
        QString desfecho;
        if (f.numeroFicha == 0) {
            if (!m_armazem.proximoNumero(dep, f.numeroFicha) || !m_armazem.insere(dep, f))
                return erroDoBanco(m_armazem);
            desfecho = QStringLiteral("ficha nova gravada");
        } else {
            bool existe = false;
            if (!m_armazem.existe(dep, f.numeroFicha, existe))
                return erroDoBanco(m_armazem);
            if (existe ? !m_armazem.atualiza(dep, f) : !m_armazem.insere(dep, f))
                return erroDoBanco(m_armazem);
            desfecho = existe ? QStringLiteral("ficha alterada") : QStringLiteral("ficha gravada no número pedido");
        }
        return {f.toPipeStringWithCommand(Codigo::Salvo), desfecho, true};
    });
}

Resposta Atendente::inclui(QStringView mensagem, const QHostAddress& endereco, qint64 agoraMs)
{
    clsAgenda f;
    f.fromPipeStringWithCommand(mensagem);
    const auto ds = m_sessoes.autoriza(endereco, f.departamento.idDepartamento, agoraMs);
    if (!ds)
        return falhou(QStringLiteral("sem sessão para o departamento"));
    f.departamento.dsDepartamento = *ds;
    if (f.numeroFicha <= 0)
        return falhou(QStringLiteral("número de ficha ausente"));
    if (const QString p = problemaDaFicha(f); !p.isEmpty())
        return falhou(p);
    const qint32 dep = f.departamento.idDepartamento;
    return numPonto(m_armazem, [&]() -> Resposta {
        std::optional<clsAgenda> guardada;
        if (!m_armazem.ficha(dep, f.numeroFicha, guardada))
            return erroDoBanco(m_armazem);
        if (guardada) {
            // Same number back: the client tells the operator the sheet already exists.
            guardada->departamento.dsDepartamento = *ds;
            return {guardada->toPipeStringWithCommand(Codigo::Incluido), QStringLiteral("ficha já existente"), false};
        }
        if (!m_armazem.insere(dep, f))
            return erroDoBanco(m_armazem);
        // Number 0 back is how the client learns the sheet was stored.
        clsAgenda resposta = f;
        resposta.numeroFicha = 0;
        return {resposta.toPipeStringWithCommand(Codigo::Incluido), QStringLiteral("ficha incluída"), true};
    });
}

Resposta Atendente::exclui(QStringView mensagem, const QHostAddress& endereco, qint64 agoraMs)
{
    clsAgenda f;
    f.fromPipeStringWithCommand(mensagem);
    if (!m_sessoes.autoriza(endereco, f.departamento.idDepartamento, agoraMs))
        return falhou(QStringLiteral("sem sessão para o departamento"));
    if (f.numeroFicha <= 0)
        return falhou(QStringLiteral("nada a excluir"));
    const qint32 dep = f.departamento.idDepartamento;
    return numPonto(m_armazem, [&]() -> Resposta {
        bool excluiu = false;
        if (!m_armazem.exclui(dep, f.numeroFicha, excluiu))
            return erroDoBanco(m_armazem);
        if (!excluiu)
            return falhou(QStringLiteral("nada a excluir"));
        return {MontaComando(Codigo::Excluido), QStringLiteral("ficha excluída"), true};
    });
}

Resposta Atendente::busca(QStringView mensagem, const QHostAddress& endereco, qint64 agoraMs)
{
    clsFiltroBusca filtro;
    filtro.fromPipeStringWithCommand(mensagem);
    const auto ds = m_sessoes.autoriza(endereco, filtro.departamento.idDepartamento, agoraMs);
    if (!ds)
        return falhou(QStringLiteral("sem sessão para o departamento"));
    QList<clsAgenda> achadas;
    if (!m_armazem.busca(filtro.departamento.idDepartamento, filtro, achadas))
        return erroDoBanco(m_armazem);
    if (achadas.isEmpty())
        return {MontaComando(Codigo::NadaEncontrado), QStringLiteral("nenhuma ficha encontrada"), false};
    for (clsAgenda& f : achadas)
        f.departamento.dsDepartamento = *ds;
    return {clsAgenda::collectionToPipeStringWithCommand(achadas, Codigo::Encontrados),
            QStringLiteral("%1 ficha(s) encontrada(s)").arg(achadas.size()), false};
}
