#include "cards/ImpressaoCarteiras.h"
#include "app/Caixas.h"
#include "app/Seams.h"
#include "app/modGlobais.h"
#include "protocol/FormatoBR.h"

#include <QFont>
#include <QFontMetricsF>
#include <QPainter>
#include <QPrinter>

namespace ImpressaoCarteiras {

namespace {

const QString tituloInvalida = QStringLiteral("Configuração Inválida");
const QString origem = QStringLiteral("Impressão de Carteirinhas");

constexpr double twipsPorPolegada = 1440.0;

std::optional<double> numero(const QString& texto)
{
    try {
        return FormatoBR::converteValor(texto, origem);
    } catch (const ErroDeExecucao&) {
        return std::nullopt;
    }
}

struct Posicao {
    double x, y;
};

} // namespace

std::optional<ConfiguracaoInvalida> verificaConfiguracao(int quantidade, const LeConfiguracao& configuracao)
{
    for (int carteira = 1; carteira <= quantidade; ++carteira) {
        const QString fonte = fonteDaCarteira(carteira);
        for (const CampoDaCarteira& campo : camposDaCarteira()) {
            for (const QString& nome : {colunaDoCampo(campo, carteira), linhaDoCampo(campo, carteira), fonte}) {
                const QString valor = configuracao(nome);
                const std::optional<double> n = numero(valor);
                if (!n) {
                    return ConfiguracaoInvalida{
                        carteira, nome, valor,
                        QStringLiteral("A configuração \"%1\" da carteirinha %2 tem o valor \"%3\", que não é "
                                       "um número.\nCorrija-a em Configurações da Carteirinha de Membros. "
                                       "Nada foi impresso.")
                            .arg(nome).arg(carteira, 2, 10, QLatin1Char('0')).arg(valor)};
                }
                if (nome == fonte && *n <= 0) {
                    return ConfiguracaoInvalida{
                        carteira, nome, valor,
                        QStringLiteral("A configuração \"%1\" da carteirinha %2 tem o valor \"%3\", que não é "
                                       "um tamanho de fonte válido.\nCorrija-a em Configurações da Carteirinha "
                                       "de Membros. Nada foi impresso.")
                            .arg(nome).arg(carteira, 2, 10, QLatin1Char('0')).arg(valor)};
                }
            }
        }
    }
    return std::nullopt;
}

bool imprime(QWidget* dono, const QList<TextosDaCarteira>& carteiras, const LeConfiguracao& configuracao)
{
    const int quantidade = int(std::min<qsizetype>(carteiras.size(), carteirasPorFolha));

    // Every setting is converted before the first text, so a bad value never leaves half a
    // sheet of cards printed.
    if (const auto invalida = verificaConfiguracao(quantidade, configuracao)) {
        Caixas::mostra(dono, invalida->mensagem, tituloInvalida, Caixas::Icone::Aviso);
        return false;
    }

    std::unique_ptr<QPrinter> impressora = Impressoras::padrao();
    if (!impressora) {
        Caixas::mostra(dono, QStringLiteral("Não há impressora padrão instalada. Nada foi impresso."),
                       QStringLiteral("Impressora"), Caixas::Icone::Aviso);
        return false;
    }
    QPainter pintor;
    if (!pintor.begin(impressora.get())) {
        ExibeErro(origem, QStringLiteral("Não foi possível iniciar a impressão na impressora padrão"), dono);
        return false;
    }
    const double escala = impressora->resolution() / twipsPorPolegada;
    for (int carteira = 1; carteira <= quantidade; ++carteira) {
        const TextosDaCarteira& textos = carteiras.at(carteira - 1);
        QFont fonte(QStringLiteral("Arial"));
        fonte.setStyleHint(QFont::SansSerif);
        fonte.setPointSizeF(*numero(configuracao(fonteDaCarteira(carteira))));
        pintor.setFont(fonte);
        const double ascendente = QFontMetricsF(pintor.font(), impressora.get()).ascent();
        for (int i = 0; i < camposPorCarteira; ++i) {
            const CampoDaCarteira& campo = camposDaCarteira()[size_t(i)];
            // Settings are read anew for every text: the layout may have changed since the last print.
            const Posicao p{*numero(configuracao(colunaDoCampo(campo, carteira))),
                            *numero(configuracao(linhaDoCampo(campo, carteira)))};
            const QString& texto = textos[size_t(i)];
            if (texto.isEmpty())
                continue;
            // The row is the top of the text line; the painter writes on the baseline.
            pintor.drawText(QPointF(p.x * escala, p.y * escala + ascendente), texto);
        }
    }
    if (!pintor.end() || impressora->printerState() == QPrinter::Error) {
        ExibeErro(origem, QStringLiteral("A impressora padrão não aceitou a página"), dono);
        return false;
    }
    return true;
}

} // namespace ImpressaoCarteiras
