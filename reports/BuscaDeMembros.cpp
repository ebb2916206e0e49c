#include "reports/BuscaDeMembros.h"

#include "app/Caixas.h"
#include "app/Seams.h"
#include "app/modGlobais.h"
#include "connection/Requisicao.h"
#include "protocol/modCommands.h"
#include "reports/clsRelatorios.h"

#include <QPointer>
#include <QWidget>

std::optional<QList<clsAgenda>> BuscaMembros(QWidget* dono, QTimer* timerTimeOut, const clsFiltroBusca& filtro)
{
    const std::optional<RespostaDoServidor> resposta =
        Requisita(dono, timerTimeOut, filtro.toPipeStringWithCommand(Codigo::Busca),
                  {Codigo::Encontrados, Codigo::NadaEncontrado});
    if (!resposta)
        return std::nullopt;
    if (resposta->codigo == Codigo::NadaEncontrado) {
        Caixas::mostra(dono, QStringLiteral("Nenhum registro foi encontrado atendendo o critério informado"),
                       QStringLiteral("Nenhum Registro"), Caixas::Icone::Informacao);
        return QList<clsAgenda>{};
    }
    return clsAgenda::collectionFromPipeStringWithCommand(resposta->texto);
}

void ExportaDepartamentoCSV(QWidget* dono, QTimer* timerTimeOut, qint32 idDepartamento)
{
    const QPointer<QWidget> janela(dono);
    const QString origem = dono ? QString::fromLatin1(dono->metaObject()->className()) : QStringLiteral("clsRelatorios");
    // Whatever goes wrong here is shown: a silent end would leave the operator believing a
    // file was written.
    protegido(dono, origem, [&] {
        const QString nomeArquivo = DialogoArquivo::salvar(dono, QStringLiteral("Salvar Relatorio do Departamento ..."),
                                                           QStringLiteral("Arquivo CSV (*.csv) | *.csv"));
        if (nomeArquivo.isEmpty())
            return;   // cancelled

        clsFiltroBusca filtro;
        filtro.departamento.idDepartamento = idDepartamento;
        const std::optional<QList<clsAgenda>> membros = BuscaMembros(dono, timerTimeOut, filtro);
        if (!janela || !membros || membros->isEmpty())
            return;

        if (clsRelatorios().exportDepartamentoCSV(*membros, nomeArquivo)) {
            Caixas::mostra(dono, QStringLiteral("Arquivo gerado em: ") + nomeArquivo,
                           QStringLiteral("Exportado com Sucesso"), Caixas::Icone::Informacao);
        } else {
            Caixas::mostra(dono,
                           QStringLiteral("O sistema não conseguiu exportar o relatório, verifique se você possui "
                                          "permissão de escrita na pasta selecionada."),
                           QStringLiteral("Erro ao Exportar Relatório"), Caixas::Icone::Erro);
        }
    });
}
