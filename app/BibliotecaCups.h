#pragma once
#include <QString>

#include <cups/cups.h>

// libcups, loaded when a print job first needs it rather than when the program starts: linked
// in, it brings a dozen libraries of its own (TLS, service discovery, ...) into every start of
// the client, which prints far less often than it starts. The cups headers give the types and
// constants; every function is called through the table below.
//
//     QString motivo;
//     const BibliotecaCups::Funcoes* cups = BibliotecaCups::funcoes(&motivo);
//     if (!cups) return motivo;   // no libcups here: the operator's words for it
//     cups->cupsPrintFile2(CUPS_HTTP_DEFAULT, ...);
//
// Loaded once and kept for the rest of the program (a table handed out stays valid). When it
// cannot be loaded nothing is kept, so a libcups installed meanwhile is taken at the next job.
namespace BibliotecaCups {

struct Funcoes {
    // Submitting a job to a queue (TrabalhoDeImpressao).
    decltype(&::cupsGetNamedDest) cupsGetNamedDest;
    decltype(&::cupsFreeDests) cupsFreeDests;
    decltype(&::cupsAddOption) cupsAddOption;
    decltype(&::cupsGetOption) cupsGetOption;
    decltype(&::cupsFreeOptions) cupsFreeOptions;
    decltype(&::cupsPrintFile2) cupsPrintFile2;
    decltype(&::cupsLastErrorString) cupsLastErrorString;
    // Following it through the queue with IPP requests (FilaDeImpressao).
    decltype(&::cupsUser) cupsUser;
    decltype(&::cupsDoRequest) cupsDoRequest;
    decltype(&::httpAssembleURIf) httpAssembleURIf;
    decltype(&::ippNewRequest) ippNewRequest;
    decltype(&::ippAddString) ippAddString;
    decltype(&::ippAddStrings) ippAddStrings;
    decltype(&::ippFindAttribute) ippFindAttribute;
    decltype(&::ippGetInteger) ippGetInteger;
    decltype(&::ippGetString) ippGetString;
    decltype(&::ippDelete) ippDelete;
    // Reading a queue's jobs back (the tests' private print server).
    decltype(&::httpConnect2) httpConnect2;
    decltype(&::httpClose) httpClose;
    decltype(&::cupsGetJobs2) cupsGetJobs2;
    decltype(&::cupsFreeJobs) cupsFreeJobs;
};

// The table, loading libcups on the first call. Null when it cannot be loaded or lacks one of
// the functions; then `motivo`, when given, gets the reason in one line, as the operator reads
// it after "A impressora padrão não aceitou a página".
const Funcoes* funcoes(QString* motivo = nullptr);

// Test hook: while alive, libcups is looked for under another name (a library that is not
// there, or one that is not libcups), as on a machine without it. The table loaded before
// comes back when it ends.
class OutroNome {
public:
    OutroNome(const QString& nome, int versao);
    ~OutroNome();
    OutroNome(const OutroNome&) = delete;
    OutroNome& operator=(const OutroNome&) = delete;

private:
    QString m_nome;
    int m_versao;
    const Funcoes* m_tabela;
};

} // namespace BibliotecaCups
