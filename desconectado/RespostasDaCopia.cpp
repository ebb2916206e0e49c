// The answers of a desk's copy while disconnected (see RespostasDaCopia.h).
#include "desconectado/RespostasDaCopia.h"
#include "desconectado/CopiaSelada.h"
#include "desconectado/Diario.h"
#include "protocol/ErroDeExecucao.h"
#include "protocol/clsFiltroBusca.h"
#include "protocol/modCommands.h"

namespace RespostasDaCopia {

namespace {

const std::pair<int, QString> falha{Codigo::Falha, QStringLiteral("0")};

std::pair<int, QString> busca(CopiaSelada& copia, const QString& mensagem, qint64 agoraMs)
{
    clsFiltroBusca filtro;
    filtro.fromPipeStringWithCommand(mensagem);
    // Only the operator's own department is on the desk, as the server would allow.
    if (filtro.departamento.idDepartamento != copia.operador().departamento.idDepartamento)
        return {Codigo::NadaEncontrado, QString::number(Codigo::NadaEncontrado)};
    const QList<clsAgenda> achadas = copia.busca(filtro);
    if (achadas.isEmpty())
        return {Codigo::NadaEncontrado, QString::number(Codigo::NadaEncontrado)};
    // A sheet looked up by its number is a read the history will show.
    if (filtro.numeroFicha != 0)
        Diario(copia).registraLeitura(filtro.numeroFicha, agoraMs);
    return {Codigo::Encontrados, clsAgenda::collectionToPipeStringWithCommand(achadas, Codigo::Encontrados)};
}

std::pair<int, QString> muda(CopiaSelada& copia, int codigo, const QString& mensagem, qint64 agoraMs)
{
    clsAgenda ficha;
    ficha.fromPipeStringWithCommand(mensagem);
    if (ficha.departamento.idDepartamento != copia.operador().departamento.idDepartamento)
        return falha;
    if (codigo == Codigo::Inclui) {
        if (ficha.numeroFicha <= 0)
            return falha;
        // Same number back: the sheet exists (as the server says it).
        if (const auto existente = copia.ficha(ficha.numeroFicha))
            return {Codigo::Incluido, existente->toPipeStringWithCommand(Codigo::Incluido)};
    }
    if (codigo == Codigo::Exclui && !copia.ficha(ficha.numeroFicha))
        return falha;
    if (!Diario(copia).registra(codigo, ficha, agoraMs))
        return falha;
    switch (codigo) {
    case Codigo::Salva:
        return {Codigo::Salvo, ficha.toPipeStringWithCommand(Codigo::Salvo)};
    case Codigo::Inclui:
        ficha.numeroFicha = 0;
        return {Codigo::Incluido, ficha.toPipeStringWithCommand(Codigo::Incluido)};
    default:
        return {Codigo::Excluido, QString::number(Codigo::Excluido)};
    }
}

} // namespace

std::pair<int, QString> responde(CopiaSelada& copia, const QString& mensagem, qint64 agoraMs)
{
    try {
        const int codigo = LeComando(mensagem);
        switch (codigo) {
        case Codigo::Busca:
            return busca(copia, mensagem, agoraMs);
        case Codigo::Salva:
        case Codigo::Inclui:
        case Codigo::Exclui:
            return muda(copia, codigo, mensagem, agoraMs);
        default:
            return falha;
        }
    } catch (const ErroDeExecucao&) {
        return falha;
    }
}

} // namespace RespostasDaCopia
