// Following an accepted print job through its CUPS queue (IPP job and printer states).
#include "app/FilaDeImpressao.h"
#include "app/BibliotecaCups.h"

namespace FilaDeImpressao {

namespace {

struct Leitura {
    int trabalho = 0;   // job-state, 0 when unknown
    int fila = 0;       // printer-state
    QString mensagem;   // printer-state-message
};

ipp_t* pergunta(const BibliotecaCups::Funcoes& c, ipp_op_t operacao, const char* atributo,
                const QByteArray& endereco, const char* const* quais, int n)
{
    ipp_t* pedido = c.ippNewRequest(operacao);
    c.ippAddString(pedido, IPP_TAG_OPERATION, IPP_TAG_URI, atributo, nullptr, endereco.constData());
    c.ippAddString(pedido, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, c.cupsUser());
    c.ippAddStrings(pedido, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", n, nullptr, quais);
    return c.cupsDoRequest(CUPS_HTTP_DEFAULT, pedido, "/");
}

Leitura le(const BibliotecaCups::Funcoes& c, const QByteArray& enderecoDaFila, int numero)
{
    Leitura l;
    char enderecoDoTrabalho[HTTP_MAX_URI];
    c.httpAssembleURIf(HTTP_URI_CODING_ALL, enderecoDoTrabalho, sizeof enderecoDoTrabalho, "ipp", nullptr, "localhost", 0,
                     "/jobs/%d", numero);
    static const char* const doTrabalho[] = {"job-state"};
    if (ipp_t* r = pergunta(c, IPP_OP_GET_JOB_ATTRIBUTES, "job-uri", enderecoDoTrabalho, doTrabalho, 1)) {
        if (ipp_attribute_t* a = c.ippFindAttribute(r, "job-state", IPP_TAG_ENUM))
            l.trabalho = c.ippGetInteger(a, 0);
        c.ippDelete(r);
    }
    static const char* const daFila[] = {"printer-state", "printer-state-message"};
    if (ipp_t* r = pergunta(c, IPP_OP_GET_PRINTER_ATTRIBUTES, "printer-uri", enderecoDaFila, daFila, 2)) {
        if (ipp_attribute_t* a = c.ippFindAttribute(r, "printer-state", IPP_TAG_ENUM))
            l.fila = c.ippGetInteger(a, 0);
        if (ipp_attribute_t* a = c.ippFindAttribute(r, "printer-state-message", IPP_TAG_TEXT))
            l.mensagem = QString::fromUtf8(c.ippGetString(a, 0, nullptr)).trimmed();
        c.ippDelete(r);
    }
    return l;
}

// CUPS's own word for a queue paused without a reason says nothing the box does not.
QString motivoDe(const Leitura& l)
{
    return l.mensagem.compare(QLatin1String("Paused"), Qt::CaseInsensitive) == 0 ? QString() : l.mensagem;
}

} // namespace

Situacao acompanha(const QString& enderecoDaFila, int numero)
{
    // The job was submitted through the same table, so it is there; without it nothing can be
    // asked, and the job counts as going to paper as when the time is up.
    const BibliotecaCups::Funcoes* c = BibliotecaCups::funcoes();
    if (!c)
        return Situacao();
    const QByteArray endereco = enderecoDaFila.toUtf8();
    return acompanhaAteOPrazo([&]() -> std::optional<Situacao> {
        const Leitura l = le(*c, endereco, numero);
        if (l.trabalho == IPP_JSTATE_COMPLETED)
            return Situacao();
        if (l.trabalho == IPP_JSTATE_CANCELED || l.trabalho == IPP_JSTATE_ABORTED)
            return Situacao{Destino::Perdido, false, l.mensagem};
        if (l.fila == IPP_PSTATE_STOPPED || l.trabalho == IPP_JSTATE_STOPPED)
            return Situacao{Destino::Espera, true, motivoDe(l)};
        if (l.trabalho == IPP_JSTATE_HELD)
            return Situacao{Destino::Espera, false, QString()};
        return std::nullopt;
    });
}

} // namespace FilaDeImpressao
