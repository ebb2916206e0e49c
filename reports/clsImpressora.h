#pragma once
#include <QFont>
#include <QString>

class QPrinter;
class QWidget;

// Sends a block of text to the default printer as one job, in a fixed-pitch font, from the
// top-left corner of the printable area. One instance lives in globais().impressora.
class clsImpressora {
public:
    clsImpressora();

    // Prints the text; lines are separated by CR LF (a lone LF or CR also breaks the line)
    // and never wrapped. A text taller than a page continues on the following pages.
    // Raises ErroDeExecucao ("clsImpressora", "Erro ao realizar impressão") on any failure,
    // including a machine without a default printer and a queue that refuses the job.
    // `titulo` is the job's name in the print queue; `escolhida` a printer the operator
    // picked instead of the default one. Returns false when the job was accepted but waits in
    // its queue (a paused printer): the operator has been told so, in a box owned by `dono`.
    bool Imprime(const QString& TextoImpressao,
                 const QString& titulo = QStringLiteral("Relatório do Departamento"),
                 const QPrinter* escolhida = nullptr, QWidget* dono = nullptr);

    // The same job painted onto `impressora` (the default printer for Imprime, a preview or
    // a PDF for "Visualizar Impressão"). Raises as Imprime does.
    void ImprimeEm(QPrinter& impressora, const QString& TextoImpressao) const;

    // The font every job is printed in (10 pt "Lucida Console", or the system's monospace
    // face where that one is not installed).
    const QFont& fonte() const { return m_fonte; }

private:
    QFont m_fonte;
};
