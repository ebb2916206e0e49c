#include "app/Seams.h"

#include <QFileDialog>
#include <QPrinter>
#include <QPrinterInfo>

#include <cstdio>
#include <cstdlib>

namespace DialogoArquivo {
namespace {
Gravador* ativo = nullptr;
}

QString filtroParaQt(const QString& filtro)
{
    // The windows write filters as "description|pattern|description|pattern"; Qt wants
    // "description (pattern);;...". A description that already names its pattern keeps it.
    if (!filtro.contains(u'|'))
        return filtro;
    const QStringList partes = filtro.split(u'|');
    QStringList filtros;
    for (qsizetype i = 0; i < partes.size(); i += 2) {
        const QString descricao = partes[i].trimmed();
        const QString padrao = i + 1 < partes.size() ? partes[i + 1].trimmed() : QString();
        if (descricao.contains(u'(') || padrao.isEmpty())
            filtros.append(descricao);
        else
            filtros.append(QStringLiteral("%1 (%2)").arg(descricao, padrao));
    }
    return filtros.join(QStringLiteral(";;"));
}
Gravador::Gravador() { ativo = this; }
Gravador::~Gravador()
{
    if (ativo == this)
        ativo = nullptr;
}

QString salvar(QWidget* dono, const QString& titulo, const QString& filtro, const QString& nomeSugerido)
{
    if (ativo) {
        ativo->titulos.append(titulo);
        ativo->filtros.append(filtro);
        return ativo->m_arquivos.isEmpty() ? QString() : ativo->m_arquivos.takeFirst();
    }
    return QFileDialog::getSaveFileName(dono, titulo, nomeSugerido, filtroParaQt(filtro));
}
} // namespace DialogoArquivo

namespace Impressoras {
namespace {
Gravador* ativo = nullptr;
}
Gravador::Gravador(QString arquivo) : arquivoPdf(std::move(arquivo)) { ativo = this; }
Gravador::~Gravador()
{
    if (ativo == this)
        ativo = nullptr;
}

Gravador* gravadorAtivo()
{
    return ativo;
}
std::unique_ptr<QPrinter> paraVisualizar()
{
    const QPrinterInfo info = ativo ? QPrinterInfo() : QPrinterInfo::defaultPrinter();
    if (info.isNull()) {
        auto impressora = std::make_unique<QPrinter>(QPrinter::HighResolution);
        impressora->setOutputFormat(QPrinter::PdfFormat);
        return impressora;
    }
    return std::make_unique<QPrinter>(info, QPrinter::HighResolution);
}
} // namespace Impressoras

namespace Encerramento {
namespace {
Gravador* ativo = nullptr;
}
Gravador::Gravador() { ativo = this; }
Gravador::~Gravador()
{
    if (ativo == this)
        ativo = nullptr;
}

void encerraAgora(int codigo)
{
    if (ativo) {
        ++ativo->pedidos;
        return;
    }
    std::fflush(nullptr);
    std::_Exit(codigo);
}
} // namespace Encerramento
