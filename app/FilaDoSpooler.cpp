// The Windows spooler's printer and job states, read through winspool.
#include "app/FilaDoSpooler.h"

#include <QStringList>
#include <QVarLengthArray>

#include <windows.h>
#include <winspool.h>

namespace FilaDoSpooler {

namespace {

struct Motivo {
    unsigned long bit;
    const char* texto;
};

// The printer states that stop it, in the words the operator reads in the box.
const Motivo motivosDaImpressora[] = {
    {PRINTER_STATUS_OFFLINE, "a impressora está desligada ou desconectada"},
    {PRINTER_STATUS_PAPER_OUT, "a impressora está sem papel"},
    {PRINTER_STATUS_PAPER_JAM, "o papel atolou na impressora"},
    {PRINTER_STATUS_PAPER_PROBLEM, "a impressora tem um problema com o papel"},
    {PRINTER_STATUS_DOOR_OPEN, "a tampa da impressora está aberta"},
    {PRINTER_STATUS_NO_TONER, "a impressora está sem tinta ou toner"},
    {PRINTER_STATUS_OUTPUT_BIN_FULL, "a bandeja de saída da impressora está cheia"},
    {PRINTER_STATUS_USER_INTERVENTION, "a impressora pede a atenção de alguém"},
    {PRINTER_STATUS_NOT_AVAILABLE, "a impressora não está disponível"},
    {PRINTER_STATUS_ERROR, "a impressora está em erro"},
};

const Motivo motivosDoTrabalho[] = {
    {JOB_STATUS_OFFLINE, "a impressora está desligada ou desconectada"},
    {JOB_STATUS_PAPEROUT, "a impressora está sem papel"},
    {JOB_STATUS_USER_INTERVENTION, "a impressora pede a atenção de alguém"},
    {JOB_STATUS_ERROR, "a impressora está em erro"},
};

template <size_t N>
QString motivoDe(unsigned long status, const Motivo (&tabela)[N])
{
    for (const Motivo& m : tabela)
        if (status & m.bit)
            return QString::fromUtf8(m.texto);
    return QString();
}

struct Impressora {
    HANDLE h = nullptr;
    explicit Impressora(const QString& nome)
    {
        std::wstring w = nome.toStdWString();
        if (!OpenPrinterW(w.data(), &h, nullptr))
            h = nullptr;
    }
    ~Impressora()
    {
        if (h)
            ClosePrinter(h);
    }
};

Leitura le(HANDLE h, unsigned long numero)
{
    Leitura l;
    DWORD precisa = 0;
    GetJobW(h, numero, 1, nullptr, 0, &precisa);
    if (precisa > 0) {
        QVarLengthArray<BYTE, 1024> memoria(precisa);
        if (GetJobW(h, numero, 1, memoria.data(), precisa, &precisa)) {
            const auto* j = reinterpret_cast<const JOB_INFO_1W*>(memoria.data());
            l.trabalhoNaFila = true;
            l.statusDoTrabalho = j->Status;
            if (j->pStatus)
                l.textoDoTrabalho = QString::fromWCharArray(j->pStatus).trimmed();
        }
    }
    precisa = 0;
    GetPrinterW(h, 2, nullptr, 0, &precisa);
    if (precisa > 0) {
        QVarLengthArray<BYTE, 4096> memoria(precisa);
        if (GetPrinterW(h, 2, memoria.data(), precisa, &precisa)) {
            const auto* p = reinterpret_cast<const PRINTER_INFO_2W*>(memoria.data());
            l.statusDaImpressora = p->Status;
            l.atributosDaImpressora = p->Attributes;
        }
    }
    return l;
}

} // namespace

std::optional<FilaDeImpressao::Situacao> interpreta(const Leitura& l)
{
    using FilaDeImpressao::Destino;
    using FilaDeImpressao::Situacao;
    // Gone from the queue: printed (the spooler keeps no finished job unless told to).
    if (!l.trabalhoNaFila || (l.statusDoTrabalho & (JOB_STATUS_PRINTED | JOB_STATUS_COMPLETE)))
        return Situacao{};
    if (l.statusDoTrabalho & (JOB_STATUS_DELETING | JOB_STATUS_DELETED | JOB_STATUS_BLOCKED_DEVQ))
        return Situacao{Destino::Perdido, false, l.textoDoTrabalho};
    // Paused by someone: the box says so, nothing to add (as CUPS's bare "Paused").
    if (l.statusDaImpressora & PRINTER_STATUS_PAUSED)
        return Situacao{Destino::Espera, true, QString()};
    if (l.atributosDaImpressora & PRINTER_ATTRIBUTE_WORK_OFFLINE)
        return Situacao{Destino::Espera, true, QStringLiteral("a impressora está marcada para usar off-line")};
    QString motivo = motivoDe(l.statusDaImpressora, motivosDaImpressora);
    if (motivo.isEmpty())
        motivo = motivoDe(l.statusDoTrabalho, motivosDoTrabalho);
    if (!motivo.isEmpty()) {
        if (!l.textoDoTrabalho.isEmpty())
            motivo += QStringLiteral(" (%1)").arg(l.textoDoTrabalho);
        return Situacao{Destino::Espera, true, motivo};
    }
    if (l.statusDoTrabalho & JOB_STATUS_PAUSED)
        return Situacao{Destino::Espera, false, QString()};
    return std::nullopt;
}

unsigned long trabalhoPeloNome(const QString& impressora, const QString& documento)
{
    const Impressora p(impressora);
    if (!p.h)
        return 0;
    DWORD precisa = 0, quantos = 0;
    EnumJobsW(p.h, 0, 0xFFFF, 1, nullptr, 0, &precisa, &quantos);
    if (precisa == 0)
        return 0;
    QVarLengthArray<BYTE, 4096> memoria(precisa);
    if (!EnumJobsW(p.h, 0, 0xFFFF, 1, memoria.data(), precisa, &precisa, &quantos))
        return 0;
    const auto* jobs = reinterpret_cast<const JOB_INFO_1W*>(memoria.data());
    unsigned long maior = 0;
    for (DWORD i = 0; i < quantos; ++i)
        if (jobs[i].pDocument && QString::fromWCharArray(jobs[i].pDocument) == documento && jobs[i].JobId > maior)
            maior = jobs[i].JobId;
    return maior;
}

FilaDeImpressao::Situacao acompanha(const QString& impressora, unsigned long numero)
{
    const Impressora p(impressora);
    if (!p.h || numero == 0)
        return {};
    return FilaDeImpressao::acompanhaAteOPrazo([&] { return interpreta(le(p.h, numero)); });
}

} // namespace FilaDoSpooler
