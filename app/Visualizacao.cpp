// The print preview dialog, its "Salvar PDF" and its print button on the program's job path.
#include "app/Visualizacao.h"

#include "app/Caixas.h"
#include "app/Seams.h"
#include "app/TrabalhoDeImpressao.h"
#include "app/modGlobais.h"
#include "protocol/ErroDeExecucao.h"

#include <QAction>
#include <QActionGroup>
#include <QPrintDialog>
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

// Qt's own print button of the preview: the last of its toolbar, paired with the page set-up
// button in one group. Null when this Qt lays the toolbar out otherwise.
QAction* imprimirDoQt(QToolBar* barra)
{
    const QList<QAction*> acoes = barra->actions();
    QAction* ultima = acoes.isEmpty() ? nullptr : acoes.last();
    if (!ultima || !ultima->actionGroup() || ultima->actionGroup()->actions().size() != 2)
        return nullptr;
    return ultima;
}
} // namespace

bool imprime(QWidget* dono, const QString& titulo, const Pintura& pinta, const QPrinter* escolhida)
{
    TrabalhoDeImpressao trabalho(titulo, escolhida);
    QPrinter* const impressora = trabalho.impressoraOuAvisa(dono);
    if (!impressora)
        return false;
    if (!pintaProtegido(dono, pinta, *impressora))
        return false;
    if (const QString recusa = trabalho.envia(dono); !recusa.isEmpty()) {
        ExibeErro(origem, QStringLiteral("A impressora não aceitou a página (%1)").arg(recusa), dono);
        return false;
    }
    return true;
}

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

void mostra(QWidget* dono, const QString& titulo, const Pintura& pinta, const Impressao& imprimeNaJanela)
{
    const std::unique_ptr<QPrinter> impressora = Impressoras::paraVisualizar();
    impressora->setDocName(titulo);
    QPrintPreviewDialog dialogo(impressora.get(), dono);
    dialogo.setObjectName(QStringLiteral("dlgVisualizarImpressao"));
    dialogo.setWindowTitle(QStringLiteral("Visualizar Impressão - ") + titulo);
    QObject::connect(&dialogo, &QPrintPreviewDialog::paintRequested, &dialogo,
                     [&](QPrinter* p) { pintaProtegido(&dialogo, pinta, *p); });

    // The PDF goes through the program's save dialog ("Salvar PDF ...") or the print dialog's
    // "print to file"; one message says how it went.
    const auto gravaPdf = [&](QString arquivo) {
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
        if (salvaPdf(arquivo, semExcecao, impressora.get())) {
            Caixas::mostra(&dialogo, QStringLiteral("Arquivo gerado em: ") + arquivo, QStringLiteral("PDF Gerado"),
                           Caixas::Icone::Informacao);
            return true;
        }
        Caixas::mostra(&dialogo,
                       QStringLiteral("O sistema não conseguiu gravar o PDF em %1, verifique se você possui "
                                      "permissão de escrita na pasta selecionada.")
                           .arg(arquivo),
                       QStringLiteral("Erro ao Salvar PDF"), Caixas::Icone::Erro);
        return false;
    };

    auto* barra = dialogo.findChild<QToolBar*>();
    // Qt's print button would send the pages straight to the printer, past every check of the
    // job path: it asks for the printer, then the window's own print path sends the pages.
    if (QAction* imprimir = barra ? imprimirDoQt(barra) : nullptr) {
        QObject::disconnect(imprimir, nullptr, &dialogo, nullptr);
        imprimir->setObjectName(QStringLiteral("acaoImprimir"));
        QObject::connect(imprimir, &QAction::triggered, &dialogo, [&] {
            const QPrinter* escolhida = nullptr;
            if (!Impressoras::gravadorAtivo()) {
                QPrintDialog escolha(impressora.get(), &dialogo);
                escolha.setOption(QAbstractPrintDialog::PrintPageRange, false);   // every page goes
                if (escolha.exec() != QDialog::Accepted)
                    return;
                if (impressora->outputFormat() == QPrinter::PdfFormat) {
                    if (gravaPdf(impressora->outputFileName()))
                        dialogo.accept();
                    return;
                }
                escolhida = impressora.get();
            }
            const bool aceito = imprimeNaJanela ? imprimeNaJanela(escolhida)
                                                : imprime(&dialogo, titulo, pinta, escolhida);
            if (aceito)
                dialogo.accept();
        });
    }
    // This one always saves a PDF, through the program's save dialog.
    if (barra) {
        barra->addSeparator();
        QAction* salvar = barra->addAction(QStringLiteral("Salvar PDF ..."));
        salvar->setObjectName(QStringLiteral("acaoSalvarPdf"));
        salvar->setToolTip(QStringLiteral("Salva estas páginas num arquivo PDF"));
        QObject::connect(salvar, &QAction::triggered, &dialogo, [&] {
            const QString arquivo = DialogoArquivo::salvar(&dialogo, QStringLiteral("Salvar PDF ..."),
                                                           QStringLiteral("Arquivo PDF (*.pdf)|*.pdf"),
                                                           titulo + QStringLiteral(".pdf"));
            if (!arquivo.isEmpty())
                gravaPdf(arquivo);
        });
    }
    dialogo.exec();
}

} // namespace Visualizacao
