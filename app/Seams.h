#pragma once
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

class QPrinter;
class QWidget;

// The other things a test cannot click: the save dialog, the printer and ending the program.
// Each has a test hook that takes its place while installed.

namespace DialogoArquivo {
// The path chosen in a save dialog, or the empty text when the operator cancelled.
QString salvar(QWidget* dono, const QString& titulo, const QString& filtro,
               const QString& nomeSugerido = QString());

// "Arquivo CSV (*.csv)|*.csv" as Qt's dialogs take it: "Arquivo CSV (*.csv)".
QString filtroParaQt(const QString& filtro);

class Gravador {
public:
    Gravador();
    ~Gravador();
    void proximoArquivo(const QString& caminho) { m_arquivos.append(caminho); } // "" = cancel
    QStringList titulos;   // titles of the dialogs asked for
    QStringList filtros;
    QStringList m_arquivos;
};
} // namespace DialogoArquivo

namespace Impressoras {
// The printer a print preview starts with: the default printer, or a PDF printer when the
// machine has none (and always under the test hook below, so a test never depends on the
// machine). Nothing is submitted from it: the preview's own print and PDF buttons do that.
std::unique_ptr<QPrinter> paraVisualizar();

// Test hook for every print job (TrabalhoDeImpressao): while installed, the pages go to the
// PDF file it names instead of the print system (one file per accepted job: the path gets
// "-2", "-3"... after the first).
class Gravador {
public:
    explicit Gravador(QString arquivoPdf);   // empty path: behave as a machine with no printer
    ~Gravador();
    QString arquivoPdf;
    QString recusa;          // not empty: every job is refused with this reason
    QStringList trabalhos;   // the PDF files of the accepted jobs, in order
    QStringList titulos;     // the title of every job submitted, accepted or refused
};
Gravador* gravadorAtivo();
} // namespace Impressoras

namespace Encerramento {
// Ends the program at once, without any window's close handling. Under the test hook it
// only counts the request and returns, so callers return right after calling it.
void encerraAgora(int codigo = 0);

class Gravador {
public:
    Gravador();
    ~Gravador();
    int pedidos = 0;
};
} // namespace Encerramento
