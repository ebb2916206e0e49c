#include "app/Visualizacao.h"

#include "app/Caixas.h"
#include "app/Seams.h"
#include "app/modGlobais.h"
#include "protocol/ErroDeExecucao.h"

#include <QAction>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QToolBar>

namespace Visualizacao {

namespace {
const QString origem = QStringLiteral("Visualizar Impressão");

bool pintaProtegido(QWidget* dono, const Pintura& pinta, QPrinter& impressora)
{
    try {
        return pinta(impressora);
    } catch (const ErroDeExecucao& e) {
        ExibeErro(e, dono);
    } catch (const std::exception& e) {
        ExibeErro(origem, QString::fromLocal8Bit(e.what()), dono);
    }
    return false;
}
} // namespace

QString dica(const QString& oQue)
{
    return QStringLiteral("Visualizar Impressão (%1): mostra %2 antes de imprimir; de lá imprime-se em "
                          "qualquer impressora instalada ou salva-se em PDF")
        .arg(atalho().toString(QKeySequence::NativeText), oQue);
}

QAction* criaAcao(QWidget* dono, const QString& oQue, const std::function<void()>& aoDisparar)
{
    auto* acao = new QAction(rotulo(), dono);
    acao->setObjectName(QStringLiteral("acaoVisualizarImpressao"));
    acao->setShortcut(atalho());
    acao->setShortcutContext(Qt::WindowShortcut);
    acao->setToolTip(dica(oQue));
    acao->setStatusTip(dica(oQue));
    QObject::connect(acao, &QAction::triggered, dono, [aoDisparar] { aoDisparar(); });
    return acao;
}

bool salvaPdf(const QString& arquivo, const Pintura& pinta, const QPrinter* modelo)
{
    QPrinter pdf(QPrinter::HighResolution);
    pdf.setOutputFormat(QPrinter::PdfFormat);
    if (modelo) {
        pdf.setPageLayout(modelo->pageLayout());
        pdf.setDocName(modelo->docName());
    }
    pdf.setOutputFileName(arquivo);
    if (!pinta(pdf))
        return false;
    return pdf.printerState() != QPrinter::Error;
}

void mostra(QWidget* dono, const QString& titulo, const Pintura& pinta)
{
    const std::unique_ptr<QPrinter> impressora = Impressoras::paraVisualizar();
    impressora->setDocName(titulo);
    QPrintPreviewDialog dialogo(impressora.get(), dono);
    dialogo.setObjectName(QStringLiteral("dlgVisualizarImpressao"));
    dialogo.setWindowTitle(QStringLiteral("Visualizar Impressão - ") + titulo);
    QObject::connect(&dialogo, &QPrintPreviewDialog::paintRequested, &dialogo,
                     [&](QPrinter* p) { pintaProtegido(&dialogo, pinta, *p); });

    // The preview's own print button asks for a printer (or, with none, a file); this one
    // always saves a PDF, through the program's save dialog.
    if (auto* barra = dialogo.findChild<QToolBar*>()) {
        barra->addSeparator();
        QAction* salvar = barra->addAction(QStringLiteral("Salvar PDF ..."));
        salvar->setObjectName(QStringLiteral("acaoSalvarPdf"));
        salvar->setToolTip(QStringLiteral("Salva estas páginas num arquivo PDF"));
        QObject::connect(salvar, &QAction::triggered, &dialogo, [&] {
            QString arquivo = DialogoArquivo::salvar(&dialogo, QStringLiteral("Salvar PDF ..."),
                                                     QStringLiteral("Arquivo PDF (*.pdf)|*.pdf"),
                                                     titulo + QStringLiteral(".pdf"));
            if (arquivo.isEmpty())
                return;
            if (!arquivo.endsWith(QStringLiteral(".pdf"), Qt::CaseInsensitive))
                arquivo += QStringLiteral(".pdf");
            // One message says what went wrong: a file that cannot be written makes the
            // painting raise too.
            const auto semExcecao = [&](QPrinter& p) {
                try {
                    return pinta(p);
                } catch (const std::exception&) {
                    return false;
                }
            };
            if (salvaPdf(arquivo, semExcecao, impressora.get()))
                Caixas::mostra(&dialogo, QStringLiteral("Arquivo gerado em: ") + arquivo,
                               QStringLiteral("PDF Gerado"), Caixas::Icone::Informacao);
            else
                Caixas::mostra(&dialogo,
                               QStringLiteral("O sistema não conseguiu gravar o PDF em %1, verifique se você possui "
                                              "permissão de escrita na pasta selecionada.")
                                   .arg(arquivo),
                               QStringLiteral("Erro ao Salvar PDF"), Caixas::Icone::Erro);
        });
    }
    dialogo.exec();
}

} // namespace Visualizacao
