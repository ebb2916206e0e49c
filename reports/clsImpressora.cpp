#include "reports/clsImpressora.h"

#include "app/TrabalhoDeImpressao.h"
#include "protocol/ErroDeExecucao.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPrinter>
#include <QRegularExpression>

namespace {

[[noreturn]] void falhou()
{
    throw ErroDeExecucao(QStringLiteral("clsImpressora"), QStringLiteral("Erro ao realizar impressão"));
}

} // namespace

clsImpressora::clsImpressora() : m_fonte(QStringLiteral("Lucida Console"))
{
    // Debian has no Lucida Console: the hints make fontconfig pick its monospace face
    // (DejaVu Sans Mono) instead of a proportional one, so the report columns stay aligned.
    m_fonte.setStyleHint(QFont::Monospace, QFont::PreferDefault);
    m_fonte.setFixedPitch(true);
    m_fonte.setPointSizeF(10.0f);
    m_fonte.setBold(false);
    m_fonte.setItalic(false);
    m_fonte.setUnderline(false);
    // Columns are counted in characters: no kerning and no ligatures between them.
    m_fonte.setKerning(false);
}

bool clsImpressora::Imprime(const QString& TextoImpressao, const QString& titulo, const QPrinter* escolhida,
                            QWidget* dono)
{
    TrabalhoDeImpressao trabalho(titulo, escolhida);
    QPrinter* const impressora = trabalho.impressora();
    if (!impressora)
        falhou();
    ImprimeEm(*impressora, TextoImpressao);
    // Only the print system's answer tells whether the report reached a queue that takes it.
    if (!trabalho.envia(dono).isEmpty())
        falhou();
    return !trabalho.ficouNaFila();
}

void clsImpressora::ImprimeEm(QPrinter& destino, const QString& TextoImpressao) const
{
    QPrinter* const impressora = &destino;
    // Portrait pages, positions in device pixels from the printable area's top-left corner.
    impressora->setPageOrientation(QPageLayout::Portrait);
    impressora->setFullPage(false);
    impressora->setCopyCount(1);

    QPainter pintor;
    if (!pintor.begin(impressora))
        falhou();
    pintor.setFont(m_fonte);

    const QFontMetricsF medidas(pintor.font(), impressora);
    const qreal alturaDaLinha = medidas.lineSpacing();
    const qreal alturaDaPagina = impressora->pageRect(QPrinter::DevicePixel).height();

    static const QRegularExpression quebra(QStringLiteral("\r\n|\n|\r"));
    const QStringList linhas = TextoImpressao.split(quebra);

    // The painter does not paginate: a line that would not fit whole goes to a new page.
    qreal y = 0;
    for (const QString& linha : linhas) {
        if (y > 0 && y + alturaDaLinha > alturaDaPagina) {
            if (!impressora->newPage()) {
                pintor.end();
                falhou();
            }
            y = 0;
        }
        if (!linha.isEmpty())
            pintor.drawText(QPointF(0, y + medidas.ascent()), linha);
        y += alturaDaLinha;
    }

    if (!pintor.end())
        falhou();
}
