#include "cards/ImpressaoCarteiras.h"
#include "app/Caixas.h"
#include "app/Seams.h"
#include "app/TrabalhoDeImpressao.h"
#include "app/Visualizacao.h"
#include "cards/Calibracao.h"
#include "cards/FaixaDaCalibracao.h"
#include "app/modGlobais.h"
#include "protocol/FormatoBR.h"

#include <QFont>
#include <QFontMetricsF>
#include <QPageLayout>
#include <QPainter>
#include <QPrinter>

#include <cmath>

namespace ImpressaoCarteiras {

namespace {

const QString tituloInvalida = QStringLiteral("Configuração Inválida");
const QString tituloDoTrabalho = QStringLiteral("Carteirinhas");
const QString origem = QStringLiteral("Impressão de Carteirinhas");

constexpr double twipsPorPolegada = 1440.0;
constexpr double twipsPorPonto = 20.0;

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

// "A configuração "nomex2" (carteirinha 02, Nome, Coluna) tem o valor "1150.5", que ..."
ConfiguracaoInvalida invalida(int carteira, const QString& nome, const QString& caixa, const QString& valor,
                              const QString& motivo)
{
    return ConfiguracaoInvalida{
        carteira, nome, valor,
        QStringLiteral("A configuração \"%1\" (carteirinha %2, %3) tem o valor \"%4\", %5.\n"
                       "Corrija-a em Configurações da Carteirinha de Membros. Nada foi impresso.")
            .arg(nome, QStringLiteral("%1").arg(carteira, 2, 10, QLatin1Char('0')), caixa, valor, motivo)};
}

} // namespace

std::optional<ConfiguracaoInvalida> verificaConfiguracao(int quantidade, const LeConfiguracao& configuracao,
                                                         const QSizeF& areaEmTwips)
{
    const QString naoNumero = QStringLiteral("que não é um número (use \",\" para os decimais e \".\" só entre "
                                             "os milhares, como em 1.150,5)");
    for (int carteira = 1; carteira <= quantidade; ++carteira) {
        const QString fonte = fonteDaCarteira(carteira);
        for (const CampoDaCarteira& campo : camposDaCarteira()) {
            const QString legenda = QString::fromUtf8(campo.legenda).trimmed();
            const struct {
                QString nome;
                QString caixa;
                double limite;   // a position must be below it; 0 for the font size
            } valores[] = {
                {colunaDoCampo(campo, carteira), legenda + QStringLiteral(", Coluna"), areaEmTwips.width()},
                {linhaDoCampo(campo, carteira), legenda + QStringLiteral(", Linha"), areaEmTwips.height()},
                {fonte, QStringLiteral("Fonte"), 0},
            };
            for (const auto& v : valores) {
                const QString valor = configuracao(v.nome);
                const std::optional<double> n = numero(valor);
                if (!n)
                    return invalida(carteira, v.nome, v.caixa, valor, naoNumero);
                if (v.nome == fonte) {
                    if (*n < menorFonte || *n > maiorFonte)
                        return invalida(carteira, v.nome, v.caixa, valor,
                                        QStringLiteral("que não é um tamanho de fonte válido (de %1 a %2 pontos)")
                                            .arg(menorFonte)
                                            .arg(maiorFonte));
                } else if (areaEmTwips.isValid() && (*n < 0 || *n >= v.limite)) {
                    return invalida(carteira, v.nome, v.caixa, valor,
                                    QStringLiteral("que fica fora da área imprimível da página (de 0 a %1 twips)")
                                        .arg(FormatoBR::formataValor(std::floor(v.limite)).chopped(3)));
                }
            }
        }
    }
    return std::nullopt;
}

bool desenha(QPrinter& impressora, const QList<TextosDaCarteira>& carteiras, const LeConfiguracao& configuracao)
{
    const int quantidade = int(std::min<qsizetype>(carteiras.size(), carteirasPorFolha));
    QPainter pintor;
    if (!pintor.begin(&impressora))
        return false;
    const double escala = impressora.resolution() / twipsPorPolegada;
    // An uncalibrated machine paints with no transformation at all: the page is the same as
    // before calibration existed, byte for byte.
    const Calibracao calibracao = Calibracao::le(configuracao, nullptr).value_or(Calibracao());
    if (!calibracao.neutra())
        calibracao.aplica(pintor, impressora.resolution());
    for (int carteira = 1; carteira <= quantidade; ++carteira) {
        const TextosDaCarteira& textos = carteiras.at(carteira - 1);
        QFont fonte(QStringLiteral("Arial"));
        fonte.setStyleHint(QFont::SansSerif);
        fonte.setPointSizeF(numero(configuracao(fonteDaCarteira(carteira))).value_or(10.0));
        pintor.setFont(fonte);
        const double ascendente = QFontMetricsF(pintor.font(), &impressora).ascent();
        for (int i = 0; i < camposPorCarteira; ++i) {
            const CampoDaCarteira& campo = camposDaCarteira()[size_t(i)];
            // Settings are read anew for every text: the layout may have changed since the last print.
            const Posicao p{numero(configuracao(colunaDoCampo(campo, carteira))).value_or(0.0),
                            numero(configuracao(linhaDoCampo(campo, carteira))).value_or(0.0)};
            const QString& texto = textos[size_t(i)];
            if (texto.isEmpty())
                continue;
            // The row is the top of the text line; the painter writes on the baseline.
            pintor.drawText(QPointF(p.x * escala, p.y * escala + ascendente), texto);
        }
    }
    return pintor.end();
}

bool imprime(QWidget* dono, const QList<TextosDaCarteira>& carteiras, const LeConfiguracao& configuracao,
             const QPrinter* escolhida)
{
    const int quantidade = int(std::min<qsizetype>(carteiras.size(), carteirasPorFolha));
    auto avisa = [dono](const ConfiguracaoInvalida& i) {
        Caixas::mostra(dono, i.mensagem, tituloInvalida, Caixas::Icone::Aviso);
        return false;
    };

    // Every setting is converted before the first text, so a bad value never leaves half a
    // sheet of cards printed.
    if (const auto ruim = verificaConfiguracao(quantidade, configuracao))
        return avisa(*ruim);
    if (ConfiguracaoInvalida ruim; !Calibracao::le(configuracao, &ruim))
        return avisa(ruim);

    TrabalhoDeImpressao trabalho(tituloDoTrabalho, escolhida);
    QPrinter* const impressora = trabalho.impressoraOuAvisa(dono);
    if (!impressora)
        return false;
    // A text placed outside the printable area would be cut by the printer without a word.
    const QSizeF area = impressora->pageLayout().paintRect(QPageLayout::Point).size() * twipsPorPonto;
    if (const auto ruim = verificaConfiguracao(quantidade, configuracao, area))
        return avisa(*ruim);
    // So would a calibration that moves a text off the page: a blank page and no word.
    if (const auto ruim = FaixaDaCalibracao::confere(configuracao, quantidade, area))
        return avisa(*ruim);

    if (!desenha(*impressora, carteiras.mid(0, quantidade), configuracao)) {
        ExibeErro(origem, QStringLiteral("Não foi possível iniciar a impressão na impressora padrão"), dono);
        return false;
    }
    if (const QString recusa = trabalho.envia(dono); !recusa.isEmpty()) {
        ExibeErro(origem, QStringLiteral("A impressora padrão não aceitou a página (%1)").arg(recusa), dono);
        return false;
    }
    return true;
}

void visualiza(QWidget* dono, const QList<TextosDaCarteira>& carteiras, const LeConfiguracao& configuracao)
{
    const int quantidade = int(std::min<qsizetype>(carteiras.size(), carteirasPorFolha));
    // The checks of imprime, the printable area being that of the printer the preview starts with.
    const std::unique_ptr<QPrinter> modelo = Impressoras::paraVisualizar();
    const QSizeF area = modelo->pageLayout().paintRect(QPageLayout::Point).size() * twipsPorPonto;
    std::optional<ConfiguracaoInvalida> ruim = verificaConfiguracao(quantidade, configuracao, area);
    if (ConfiguracaoInvalida calibracao; !ruim && !Calibracao::le(configuracao, &calibracao))
        ruim = calibracao;
    if (!ruim)
        ruim = FaixaDaCalibracao::confere(configuracao, quantidade, area);
    if (ruim) {
        Caixas::mostra(dono, ruim->mensagem, tituloInvalida, Caixas::Icone::Aviso);
        return;
    }
    const QList<TextosDaCarteira> estas = carteiras.mid(0, quantidade);
    Visualizacao::mostra(
        dono, tituloDoTrabalho,
        [&](QPrinter& impressora) {
            if (!desenha(impressora, estas, configuracao))
                throw ErroDeExecucao(origem, QStringLiteral("Não foi possível desenhar as carteirinhas"));
            return true;
        },
        [&](const QPrinter* escolhida) { return imprime(dono, estas, configuracao, escolhida); });
}

} // namespace ImpressaoCarteiras
