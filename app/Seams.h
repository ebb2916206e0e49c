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
// The default printer, or null when the machine has none. In tests, a PDF printer writing
// to the file the hook names (one file per job: the hook's path gets "-2", "-3"... after the first).
std::unique_ptr<QPrinter> padrao();

// The printer a print preview starts with: the default printer, or a PDF printer when the
// machine has none (and always under the test hook, so a test never depends on the machine).
std::unique_ptr<QPrinter> paraVisualizar();

class Gravador {
public:
    explicit Gravador(QString arquivoPdf);   // empty path: behave as a machine with no printer
    ~Gravador();
    QString arquivoPdf;
    QStringList trabalhos;   // the PDF files written so far, one per job
};
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
