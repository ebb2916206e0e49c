#include "cards/ImpressaoCarteiras.h"
#include "app/Caixas.h"
#include "app/Seams.h"
#include "app/Visualizacao.h"
#include "cards/Calibracao.h"
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

// A setting already checked; should it have changed since, the job stops with an error
// instead of printing at a made-up position.
double exige(const LeConfiguracao& configuracao, const QString& nome)
{
    const std::optional<double> n = numero(configuracao(nome));
    if (!n)
        throw ErroDeExecucao(origem, QStringLiteral("A configuração \"%1\" não é um número").arg(nome));
    return *n;
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

namespace {

// Layout and calibration of cards 1..quantidade usable, or the operator is told which is not.
bool confere(QWidget* dono, int quantidade, const LeConfiguracao& configuracao)
{
    // Every setting is converted before the first text, so a bad value never leaves half a
    // sheet of cards printed.
    if (const auto invalida = verificaConfiguracao(quantidade, configuracao)) {
        Caixas::mostra(dono, invalida->mensagem, tituloInvalida, Caixas::Icone::Aviso);
        return false;
    }
    ConfiguracaoInvalida calibracao;
    if (!Calibracao::le(configuracao, &calibracao)) {
        Caixas::mostra(dono, calibracao.mensagem, tituloInvalida, Caixas::Icone::Aviso);
        return false;
    }
    return true;
}

} // namespace

bool imprime(QWidget* dono, const QList<TextosDaCarteira>& carteiras, const LeConfiguracao& configuracao)
{
    const int quantidade = int(std::min<qsizetype>(carteiras.size(), carteirasPorFolha));
    if (!confere(dono, quantidade, configuracao))
        return false;

    std::unique_ptr<QPrinter> impressora = Impressoras::padrao();
    if (!impressora) {
        Caixas::mostra(dono, QStringLiteral("Não há impressora padrão instalada. Nada foi impresso."),
                       QStringLiteral("Impressora"), Caixas::Icone::Aviso);
        return false;
    }
    try {
        if (!pinta(*impressora, carteiras.mid(0, quantidade), configuracao)) {
            ExibeErro(origem, QStringLiteral("A impressora padrão não aceitou a página"), dono);
            return false;
        }
    } catch (const ErroDeExecucao& e) {
        ExibeErro(e, dono);
        return false;
    }
    return true;
}

void visualiza(QWidget* dono, const QList<TextosDaCarteira>& carteiras, const LeConfiguracao& configuracao)
{
    const int quantidade = int(std::min<qsizetype>(carteiras.size(), carteirasPorFolha));
    if (!confere(dono, quantidade, configuracao))
        return;
    const QList<TextosDaCarteira> estas = carteiras.mid(0, quantidade);
    Visualizacao::mostra(dono, QStringLiteral("Carteirinhas"),
                         [&](QPrinter& impressora) { return pinta(impressora, estas, configuracao); });
}

bool pinta(QPrinter& destino, const QList<TextosDaCarteira>& carteiras, const LeConfiguracao& configuracao)
{
    QPrinter* const impressora = &destino;
    const int quantidade = int(std::min<qsizetype>(carteiras.size(), carteirasPorFolha));
    const Calibracao calibracao = Calibracao::le(configuracao, nullptr).value_or(Calibracao());
    QPainter pintor;
    if (!pintor.begin(impressora))
        throw ErroDeExecucao(origem, QStringLiteral("Não foi possível iniciar a impressão na impressora padrão"));
    const double escala = impressora->resolution() / twipsPorPolegada;
    // An uncalibrated machine paints with no transformation at all: the page is the same
    // as before calibration existed, byte for byte.
    if (!calibracao.neutra())
        calibracao.aplica(pintor, impressora->resolution());
    for (int carteira = 1; carteira <= quantidade; ++carteira) {
        const TextosDaCarteira& textos = carteiras.at(carteira - 1);
        QFont fonte(QStringLiteral("Arial"));
        fonte.setStyleHint(QFont::SansSerif);
        fonte.setPointSizeF(exige(configuracao, fonteDaCarteira(carteira)));
        pintor.setFont(fonte);
        const double ascendente = QFontMetricsF(pintor.font(), impressora).ascent();
        for (int i = 0; i < camposPorCarteira; ++i) {
            const CampoDaCarteira& campo = camposDaCarteira()[size_t(i)];
            // Settings are read anew for every text: the layout may have changed since the last print.
            const Posicao p{exige(configuracao, colunaDoCampo(campo, carteira)),
                            exige(configuracao, linhaDoCampo(campo, carteira))};
            const QString& texto = textos[size_t(i)];
            if (texto.isEmpty())
                continue;
            // The row is the top of the text line; the painter writes on the baseline.
            pintor.drawText(QPointF(p.x * escala, p.y * escala + ascendente), texto);
        }
    }
    return pintor.end() && impressora->printerState() != QPrinter::Error;
}

} // namespace ImpressaoCarteiras
