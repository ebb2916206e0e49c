#pragma once
#include "protocol/clsAgenda.h"

#include <QList>
#include <QString>

class QPrinter;
class QWidget;

// The department report builder: lays a member list out as one block of fixed-width text
// (87 columns: seven of indent, then Data 12, Departamento 20, N.Ficha 8, Nome 30, Valor 10)
// and prints it through globais().impressora; also writes the department's CSV of names.
// A new one is made for each button press; it keeps nothing between calls.
class clsRelatorios {
public:
    // Prints the report with the total line "Total: R$ ...". False when anything fails on the
    // way (no printer-output object, no default printer, a printer error). `escolhida`: a
    // printer the operator picked instead of the default one; `dono` owns the box that tells
    // of a job left waiting in its queue (see ficouNaFila).
    bool totalPorIntervaloDeData(const QList<clsAgenda>& membrosCollection, const QPrinter* escolhida = nullptr,
                                 QWidget* dono = nullptr);
    // The same report, totalled as "Total do Dia: R$ ...".
    bool totalDoDia(const QList<clsAgenda>& membrosCollection);
    // After a print that returned true: the queue took the report but holds it (a paused
    // printer), and the operator has been told so. Not printed yet.
    bool ficouNaFila() const { return m_naFila; }

    // Writes "Nome;" and one name per line, every line ending in CR LF, as Windows-1252 bytes;
    // an existing file is replaced. False when the file cannot be written.
    bool exportDepartamentoCSV(const QList<clsAgenda>& membrosCollection, const QString& nomeArquivoSalvar);

    // The report text itself (lines joined by CR LF, no final CR LF), without printing it.
    static QString montaRelatorio(const QList<clsAgenda>& membrosCollection, const QString& rotuloTotal);
    // The CSV file's bytes.
    static QByteArray montaCSV(const QList<clsAgenda>& membrosCollection);
    // Writes `bytes` as the whole new content of `nomeArquivo`, replacing it only once all
    // was written. False on any failure.
    static bool gravaArquivo(const QString& nomeArquivo, const QByteArray& bytes);

private:
    // `texto` padded with spaces on the right, or cut, to exactly `largura` characters.
    static QString formataColuna(const QString& texto, int largura);
    bool imprime(const QList<clsAgenda>& membrosCollection, const QString& rotuloTotal, const QPrinter* escolhida,
                 QWidget* dono);
    bool m_naFila = false;
};
