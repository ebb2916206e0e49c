#include "members/PedidosDaFicha.h"
#include "app/Caixas.h"
#include "connection/Requisicao.h"
#include "members/FormularioFicha.h"
#include "protocol/modCommands.h"

#include <QDateTime>
#include <QDateTimeEdit>
#include <QPointer>

namespace PedidosDaFicha {

void opcaoInvalida(QWidget* dono, const QString& texto)
{
    Caixas::mostra(dono, texto, QStringLiteral("Opção Inválida"), Caixas::Icone::Aviso);
}

bool EnviaSalvar(QWidget* dono, QTimer* timerTimeOut, clsAgenda& membros)
{
    const std::optional<RespostaDoServidor> resposta =
        Requisita(dono, timerTimeOut, membros.toPipeStringWithCommand(Codigo::Salva), {Codigo::Salvo});
    if (!resposta)
        return false;
    clsAgenda gravado;
    gravado.fromPipeStringWithCommand(resposta->texto);
    if (gravado.numeroFicha != membros.numeroFicha) {
        Caixas::mostra(dono, QStringLiteral("Registro SALVO com sucesso"), QStringLiteral("SALVOU"),
                       Caixas::Icone::Informacao);
        membros.numeroFicha = gravado.numeroFicha;
    } else {
        Caixas::mostra(dono, QStringLiteral("Registro ALTERADO com sucesso"), QStringLiteral("ALTERADO"),
                       Caixas::Icone::Informacao);
    }
    return true;
}

bool salvaDoFormulario(QWidget* dono, FormularioFicha& ficha, QTimer* timerTimeOut, clsAgenda& membros,
                       unsigned acao)
{
    const bool novo = acao == AcaoDaFicha::IncluiNovo;
    if (novo) {
        ficha.escreveMarcadores(acao);
    } else if (auto* data = ficha.controle<QDateTimeEdit>(QStringLiteral("txtdatausuario"))) {
        data->setDateTime(QDateTime::currentDateTime());
    }
    if (!ficha.ValidaFormulario())
        return false;
    // A new sheet gets its number from the server; an altered one must have been loaded.
    const bool semNumero = ficha.texto(QStringLiteral("txtNFicha")).isEmpty();
    if (semNumero != novo) {
        opcaoInvalida(dono, novo ? QStringLiteral("Para que seja gerado um novo cadastro, limpe o formulario")
                                 : QStringLiteral("Primeiro localize um cadastro"));
        return false;
    }
    if (!ficha.verificaSeparadores(acao, dono))
        return false;
    ficha.copiaPara(membros, acao);
    const QPointer<QWidget> janela(dono);
    EnviaSalvar(dono, timerTimeOut, membros);
    return !janela.isNull();
}

bool confirmaExclusao(QWidget* dono, const clsAgenda& membros)
{
    if (membros.numeroFicha == 0) {
        opcaoInvalida(dono, QStringLiteral("Primeiro localize um cadastro"));
        return false;
    }
    return Caixas::mostra(dono,
                          QStringLiteral("Deseja realmente excluir a ficha de número: ") +
                              QString::number(membros.numeroFicha) + QStringLiteral(" ?"),
                          QStringLiteral("Confirmar Exclusão..."), Caixas::Icone::Pergunta, true) ==
           Caixas::Resposta::Sim;
}

bool EnviaExcluir(QWidget* dono, QTimer* timerTimeOut, const clsAgenda& membros)
{
    const std::optional<RespostaDoServidor> resposta =
        Requisita(dono, timerTimeOut, membros.toPipeStringWithCommand(Codigo::Exclui), {Codigo::Excluido});
    if (!resposta)
        return false;
    Caixas::mostra(dono, QStringLiteral("Registro excluido com sucesso"), QStringLiteral("Excluiu"),
                   Caixas::Icone::Informacao);
    return true;
}

} // namespace PedidosDaFicha
