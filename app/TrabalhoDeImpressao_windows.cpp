// A print job handed to the Windows spooler: drawn straight on the printer (the spooler takes
// the job when the painter ends), then found in the printer's queue by its document name and
// followed there.
#include "app/TrabalhoDeImpressao.h"
#include "app/FilaDeImpressao.h"
#include "app/FilaDoSpooler.h"

#include <QPrinter>
#include <QPrinterInfo>

void TrabalhoDeImpressao::preparaNoSistema(const QPageLayout& pagina)
{
    const QPrinterInfo info = QPrinterInfo::printerInfo(m_fila);
    if (info.isNull())
        return;
    m_impressora = std::make_unique<QPrinter>(info, QPrinter::HighResolution);
    if (pagina.isValid())
        m_impressora->setPageLayout(pagina);
    // The name the spooler shows for the job, and the one it is found by afterwards.
    m_impressora->setDocName(m_titulo);
    m_impressora->setCreator(QStringLiteral("Zelto"));
    if (m_copias > 1)
        m_impressora->setCopyCount(m_copias);
}

QString TrabalhoDeImpressao::submeteAoSistema(QWidget* dono)
{
    // The spooler refused the document (StartDoc or EndDoc failed) while it was drawn.
    if (m_impressora->printerState() == QPrinter::Error || m_impressora->printerState() == QPrinter::Aborted)
        return QStringLiteral("O sistema de impressão recusou o trabalho");
    const unsigned long numero = FilaDoSpooler::trabalhoPeloNome(m_fila, m_titulo);
    // Already out of the queue: nothing left to follow.
    if (numero == 0)
        return QString();
    m_numero = int(numero);
    return conclui(FilaDoSpooler::acompanha(m_fila, numero), dono);
}
