// One print job: the pages as PDF, submitted to the chosen queue and followed there.
#include "app/TrabalhoDeImpressao.h"
#include "app/Caixas.h"
#include "app/FilaDeImpressao.h"
#include "app/Seams.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QPrinter>
#include <QPrinterInfo>
#include <QTemporaryDir>

namespace {

// The name under which the hook keeps the n-th accepted job: "saida.pdf", "saida-2.pdf", ...
QString arquivoDoGravador(const QString& base, qsizetype jaGravados)
{
    if (jaGravados == 0)
        return base;
    const qsizetype ponto = base.lastIndexOf(u'.');
    const QString sufixo = QStringLiteral("-%1").arg(jaGravados + 1);
    return ponto > 0 ? base.left(ponto) + sufixo + base.mid(ponto) : base + sufixo;
}

} // namespace

TrabalhoDeImpressao::TrabalhoDeImpressao(const QString& titulo, const QPrinter* escolhida) : m_titulo(titulo)
{
    Impressoras::Gravador* gravador = Impressoras::gravadorAtivo();
    QPageLayout pagina;
    if (gravador) {
        if (gravador->arquivoPdf.isEmpty())
            return;   // the hook plays a machine without a printer
    } else if (escolhida && escolhida->outputFormat() == QPrinter::NativeFormat && !escolhida->printerName().isEmpty()) {
        m_fila = escolhida->printerName();
        pagina = escolhida->pageLayout();
        m_copias = escolhida->copyCount();
    } else {
        const QPrinterInfo info = QPrinterInfo::defaultPrinter();
        if (info.isNull())
            return;
        m_fila = info.printerName();
        // The page and its printable area are the default printer's own.
        pagina = QPrinter(info, QPrinter::HighResolution).pageLayout();
    }
    if (gravador)
        preparaPdf(pagina);
    else
        preparaNoSistema(pagina);
}

void TrabalhoDeImpressao::preparaPdf(const QPageLayout& pagina)
{
    m_pasta = std::make_unique<QTemporaryDir>();
    if (!m_pasta->isValid())
        return;
    m_arquivo = m_pasta->filePath(QStringLiteral("trabalho.pdf"));
    m_impressora = std::make_unique<QPrinter>(QPrinter::HighResolution);
    m_impressora->setOutputFormat(QPrinter::PdfFormat);
    if (pagina.isValid())
        m_impressora->setPageLayout(pagina);
    m_impressora->setOutputFileName(m_arquivo);
    m_impressora->setDocName(m_titulo);
    m_impressora->setCreator(QStringLiteral("Zelto"));
}

TrabalhoDeImpressao::~TrabalhoDeImpressao() = default;

QString TrabalhoDeImpressao::envia(QWidget* dono)
{
    if (m_enviado)
        return QStringLiteral("O trabalho já foi enviado");
    m_enviado = true;
    if (!m_impressora)
        return QStringLiteral("Não há impressora padrão instalada");
    // Pages drawn on the printer itself are checked by the print system's own submission.
    if (!m_arquivo.isEmpty() && (m_impressora->printerState() == QPrinter::Error || !QFileInfo(m_arquivo).isFile()))
        return QStringLiteral("A página não pôde ser preparada para a impressora");

    if (Impressoras::Gravador* gravador = Impressoras::gravadorAtivo()) {
        gravador->titulos.append(m_titulo);
        if (!gravador->recusa.isEmpty())
            return gravador->recusa;
        const QString destino = arquivoDoGravador(gravador->arquivoPdf, gravador->trabalhos.size());
        QFile::remove(destino);
        if (!QFile::copy(m_arquivo, destino))
            return QStringLiteral("Não foi possível gravar %1").arg(destino);
        gravador->trabalhos.append(destino);
        return QString();
    }

    return submeteAoSistema(dono);
}

QString TrabalhoDeImpressao::conclui(const FilaDeImpressao::Situacao& situacao, QWidget* dono)
{
    if (situacao.destino == FilaDeImpressao::Destino::Perdido) {
        return situacao.motivo.isEmpty()
                   ? QStringLiteral("o sistema de impressão abandonou o trabalho")
                   : QStringLiteral("o sistema de impressão abandonou o trabalho: %1").arg(situacao.motivo);
    }
    if (situacao.destino == FilaDeImpressao::Destino::Espera) {
        m_naFila = true;
        Caixas::mostra(dono ? dono : QApplication::activeWindow(),
                       FilaDeImpressao::textoDaEspera(situacao, m_fila, m_titulo),
                       FilaDeImpressao::tituloDaEspera(situacao), Caixas::Icone::Aviso);
    }
    return QString();
}

QPrinter* TrabalhoDeImpressao::impressoraOuAvisa(QWidget* dono) const
{
    if (!m_impressora)
        Caixas::mostra(dono, QStringLiteral("Não há impressora padrão instalada. Nada foi impresso."),
                       QStringLiteral("Impressora"), Caixas::Icone::Aviso);
    return m_impressora.get();
}
