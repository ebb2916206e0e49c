// The range of each calibration setting that keeps the card texts on the printable page.
#include "cards/FaixaDaCalibracao.h"

#include "app/Seams.h"

#include <QLocale>
#include <QPageLayout>
#include <QPrinter>

#include <algorithm>
#include <cmath>
#include <limits>

using ImpressaoCarteiras::ConfiguracaoInvalida;
using ImpressaoCarteiras::LeConfiguracao;

namespace FaixaDaCalibracao {

namespace {

constexpr double twipsPorMm = 1440.0 / 25.4;
constexpr double twipsPorPonto = 20.0;
// A text must start inside the area: its last twip is the farthest it may start.
constexpr double ultimoTwip = 1.0;

// The offsets (twips) that keep every `valores` * escala inside 0..limite.
Faixa doDeslocamento(const QList<double>& valores, double escala, double limite)
{
    if (valores.isEmpty())
        return {-std::numeric_limits<double>::max(), std::numeric_limits<double>::max()};
    const auto [menor, maior] = std::minmax_element(valores.begin(), valores.end());
    return {-escala * *menor, limite - ultimoTwip - escala * *maior};
}

// Narrows `f` to the scales that keep every `valores` * escala + deslocamento inside 0..limite.
void restringeEscala(Faixa& f, const QList<double>& valores, double deslocamento, double limite)
{
    const double fim = limite - ultimoTwip;
    for (const double v : valores) {
        if (v == 0) {
            if (deslocamento < 0 || deslocamento > fim)
                f = {1, 0};
        } else if (v > 0) {
            f.minimo = std::max(f.minimo, -deslocamento / v);
            f.maximo = std::min(f.maximo, (fim - deslocamento) / v);
        } else {
            f.minimo = std::max(f.minimo, (fim - deslocamento) / v);
            f.maximo = std::min(f.maximo, -deslocamento / v);
        }
    }
}

double valorDe(const QString& nome, const Calibracao& c)
{
    return nome == Calibracao::nomeX() ? c.deslocamentoX : nome == Calibracao::nomeY() ? c.deslocamentoY : c.escala;
}

} // namespace

QList<QPointF> posicoes(const LeConfiguracao& configuracao, int quantidade)
{
    QList<QPointF> lista;
    for (int carteira = 1; carteira <= quantidade; ++carteira) {
        for (const CampoDaCarteira& campo : camposDaCarteira()) {
            const auto x = Calibracao::numero(configuracao(colunaDoCampo(campo, carteira)));
            const auto y = Calibracao::numero(configuracao(linhaDoCampo(campo, carteira)));
            if (x && y)
                lista.append(QPointF(*x, *y));
        }
    }
    return lista;
}

QSizeF areaDaImpressoraPadrao()
{
    return Impressoras::paraVisualizar()->pageLayout().paintRect(QPageLayout::Point).size() * twipsPorPonto;
}

Faixa faixa(const QString& nome, const Calibracao& c, const QList<QPointF>& posicoes, const QSizeF& area)
{
    QList<double> xs, ys;
    for (const QPointF& p : posicoes) {
        xs.append(p.x());
        ys.append(p.y());
    }
    if (nome == Calibracao::nomeX() || nome == Calibracao::nomeY()) {
        const bool x = nome == Calibracao::nomeX();
        const Faixa f = doDeslocamento(x ? xs : ys, c.escala, x ? area.width() : area.height());
        return {f.minimo / twipsPorMm, f.maximo / twipsPorMm};
    }
    Faixa f{Calibracao::escalaMinima, Calibracao::escalaMaxima};
    restringeEscala(f, xs, c.deslocamentoX * twipsPorMm, area.width());
    restringeEscala(f, ys, c.deslocamentoY * twipsPorMm, area.height());
    return f;
}

std::optional<QString> primeiraFora(const Calibracao& c, const QList<QPointF>& posicoes, const QSizeF& area)
{
    // An offset that is off the page even unscaled is named first; else the scale, when it is
    // what carries texts off; else an offset that does not fit this scale.
    Calibracao semEscala = c;
    semEscala.escala = 1;
    for (const QString& nome : {Calibracao::nomeX(), Calibracao::nomeY()})
        if (!faixa(nome, semEscala, posicoes, area).contem(valorDe(nome, c)))
            return nome;
    for (const QString& nome : {Calibracao::nomeEscala(), Calibracao::nomeX(), Calibracao::nomeY()})
        if (!faixa(nome, c, posicoes, area).contem(valorDe(nome, c)))
            return nome;
    return std::nullopt;
}

QString legenda(const QString& nome)
{
    return nome == Calibracao::nomeX()   ? QStringLiteral("deslocamento horizontal")
           : nome == Calibracao::nomeY() ? QStringLiteral("deslocamento vertical")
                                         : QStringLiteral("escala");
}

QString padrao(const QString& nome)
{
    return nome == Calibracao::nomeEscala() ? QStringLiteral("1") : QStringLiteral("0");
}

QString emTexto(const QString& nome, const Faixa& f)
{
    if (f.vazia())
        return QStringLiteral("com este papel e os demais valores da calibração, nenhum valor cabe");
    const bool escala = nome == Calibracao::nomeEscala();
    const int casas = escala ? 2 : 1;
    const double passo = std::pow(10.0, casas);
    // Rounded inwards: every value shown fits.
    const double minimo = std::ceil(f.minimo * passo - 1e-9) / passo + 0.0;
    const double maximo = std::floor(f.maximo * passo + 1e-9) / passo + 0.0;
    const QLocale br(QLocale::Portuguese, QLocale::Brazil);
    return QStringLiteral("com este papel, deve ficar entre %1 e %2%3")
        .arg(br.toString(minimo == 0 ? 0.0 : minimo, 'f', casas), br.toString(maximo == 0 ? 0.0 : maximo, 'f', casas),
             escala ? QString() : QStringLiteral(" mm"));
}

std::optional<ConfiguracaoInvalida> confere(const LeConfiguracao& configuracao, int quantidade, const QSizeF& area)
{
    const std::optional<Calibracao> c = Calibracao::le(configuracao, nullptr);
    if (!c)
        return std::nullopt;   // Calibracao::le tells what is wrong with it
    const QList<QPointF> lista = posicoes(configuracao, quantidade);
    const std::optional<QString> nome = primeiraFora(*c, lista, area);
    if (!nome)
        return std::nullopt;
    const QString valor = configuracao(*nome);
    return ConfiguracaoInvalida{
        0, *nome, valor,
        QStringLiteral("A calibração \"%1\" (%2) tem o valor \"%3\", que põe textos das carteirinhas fora da área "
                       "imprimível da página; %4.\nCorrija-a em Configurações da Carteirinha de Membros. Nada foi "
                       "impresso.")
            .arg(*nome, legenda(*nome), valor, emTexto(*nome, faixa(*nome, *c, lista, area)))};
}

} // namespace FaixaDaCalibracao
