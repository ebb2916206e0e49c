#pragma once
#include <QString>
#include <memory>

class QPageLayout;
class QPrinter;
class QTemporaryDir;
class QWidget;
namespace FilaDeImpressao {
struct Situacao;
}

// One print job on the default printer, under the title the print queue shows
// ("Carteirinhas", "Relatório do Departamento", a window's name). Draw on impressora() with a
// QPainter and end the painter; then envia() hands the pages to the print system and tells
// whether it took them. QPrinter's own state cannot tell: the pages reach the print system
// only after the painter has ended, and a queue that refuses them answers only then.
//
//     TrabalhoDeImpressao trabalho(QStringLiteral("Carteirinhas"));
//     if (!trabalho.impressora()) ...                 // no default printer
//     QPainter p(trabalho.impressora()); ...; p.end();
//     if (const QString recusa = trabalho.envia(); !recusa.isEmpty()) ...   // tell the operator
//
// Every print of the program (report, cards, window images, a preview's print button) goes
// through here. Under the test hook (Impressoras::Gravador) the pages go to the hook's PDF file
// instead, and the hook may answer with a refusal.
class TrabalhoDeImpressao {
public:
    // On the default printer, or on `escolhida` (a printer the operator picked, with its page
    // and copies) when that is a real one. The hook ignores `escolhida`.
    explicit TrabalhoDeImpressao(const QString& titulo, const QPrinter* escolhida = nullptr);
    ~TrabalhoDeImpressao();
    TrabalhoDeImpressao(const TrabalhoDeImpressao&) = delete;
    TrabalhoDeImpressao& operator=(const TrabalhoDeImpressao&) = delete;

    // Null when the machine has no default printer (or the job could not be prepared).
    QPrinter* impressora() const { return m_impressora.get(); }
    // The same, but when there is none the operator is told so ("Nada foi impresso") in a box
    // owned by `dono`.
    QPrinter* impressoraOuAvisa(QWidget* dono) const;
    const QString& titulo() const { return m_titulo; }

    // Submits what was drawn, once, and follows it a few seconds. Empty when the print system
    // accepted the job; otherwise the print system's reason (or ours) in one line, a job it
    // gave up at once included. A job accepted but left waiting in its queue (paused printer,
    // held job) is not cancelled: a box owned by `dono` (or the active window) tells the
    // operator, and ficouNaFila() says so.
    QString envia(QWidget* dono = nullptr);
    bool ficouNaFila() const { return m_naFila; }
    // The print system's number for the accepted job (0 before, or under the test hook).
    int numero() const { return m_numero; }

private:
    // The pages as a PDF file, for the test hook and for CUPS.
    void preparaPdf(const QPageLayout& pagina);
    // What differs between print systems (TrabalhoDeImpressao_cups.cpp, _windows.cpp): the
    // printer the pages are drawn on, and handing them over and following them.
    void preparaNoSistema(const QPageLayout& pagina);
    QString submeteAoSistema(QWidget* dono);
    // What the operator learns of a job the print system took: nothing when it goes to
    // paper, a box when it waits, the reason when it was given up.
    QString conclui(const FilaDeImpressao::Situacao& situacao, QWidget* dono);

    QString m_titulo;
    QString m_fila;       // the default printer's queue ("fila" or "fila/instancia"; the printer's name on Windows)
    std::unique_ptr<QTemporaryDir> m_pasta;
    QString m_arquivo;    // the pages, as PDF, until they are submitted ("" when drawn on the printer itself)
    std::unique_ptr<QPrinter> m_impressora;
    bool m_enviado = false;
    bool m_naFila = false;
    int m_numero = 0;
    int m_copias = 1;
};
