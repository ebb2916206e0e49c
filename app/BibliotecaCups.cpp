// libcups loaded at run time, its functions resolved into one table.
#include "app/BibliotecaCups.h"

#include <QLibrary>

#include <memory>
#include <mutex>
#include <utility>
#include <vector>

namespace BibliotecaCups {

namespace {

struct Estado {
    std::mutex trava;
    QString nome = QStringLiteral("cups");   // libcups.so.2
    int versao = 2;
    const Funcoes* atual = nullptr;
    // Every table ever loaded: one handed out is never freed, as its library is never unloaded.
    std::vector<std::unique_ptr<Funcoes>> carregadas;
};

Estado& estado()
{
    static Estado e;
    return e;
}

template <typename F>
void resolve(QLibrary& biblioteca, F& funcao, const char* nome, QString& falta)
{
    funcao = reinterpret_cast<F>(biblioteca.resolve(nome));
    if (!funcao && falta.isEmpty())
        falta = QString::fromLatin1(nome);
}

// The name looked up is the member's own, so a row cannot pair a function with another's type.
#define RESOLVE(funcao) resolve(biblioteca, t->funcao, #funcao, falta)

std::unique_ptr<Funcoes> carrega(const QString& nome, int versao, QString& motivo)
{
    QLibrary biblioteca(nome, versao);
    if (!biblioteca.load()) {
        motivo = QStringLiteral("o sistema de impressão não está disponível: a biblioteca libcups não pôde ser "
                                "carregada (instale o pacote libcups2)");
        return nullptr;
    }
    auto t = std::make_unique<Funcoes>();
    QString falta;
    RESOLVE(cupsGetNamedDest);
    RESOLVE(cupsFreeDests);
    RESOLVE(cupsAddOption);
    RESOLVE(cupsGetOption);
    RESOLVE(cupsFreeOptions);
    RESOLVE(cupsPrintFile2);
    RESOLVE(cupsLastErrorString);
    RESOLVE(cupsUser);
    RESOLVE(cupsDoRequest);
    RESOLVE(httpAssembleURIf);
    RESOLVE(ippNewRequest);
    RESOLVE(ippAddString);
    RESOLVE(ippAddStrings);
    RESOLVE(ippFindAttribute);
    RESOLVE(ippGetInteger);
    RESOLVE(ippGetString);
    RESOLVE(ippDelete);
    RESOLVE(httpConnect2);
    RESOLVE(httpClose);
    RESOLVE(cupsGetJobs2);
    RESOLVE(cupsFreeJobs);
    if (!falta.isEmpty()) {
        motivo = QStringLiteral("o sistema de impressão não está disponível: a biblioteca libcups desta máquina não "
                                "tem a função %1 (atualize o pacote libcups2)")
                     .arg(falta);
        return nullptr;
    }
    return t;
}

#undef RESOLVE

} // namespace

const Funcoes* funcoes(QString* motivo)
{
    Estado& e = estado();
    const std::lock_guard<std::mutex> guarda(e.trava);
    if (!e.atual) {
        QString porque;
        std::unique_ptr<Funcoes> t = carrega(e.nome, e.versao, porque);
        if (!t) {
            if (motivo)
                *motivo = porque;
            return nullptr;
        }
        e.atual = t.get();
        e.carregadas.push_back(std::move(t));
    }
    return e.atual;
}

OutroNome::OutroNome(const QString& nome, int versao)
{
    Estado& e = estado();
    const std::lock_guard<std::mutex> guarda(e.trava);
    m_nome = std::exchange(e.nome, nome);
    m_versao = std::exchange(e.versao, versao);
    m_tabela = std::exchange(e.atual, nullptr);
}

OutroNome::~OutroNome()
{
    Estado& e = estado();
    const std::lock_guard<std::mutex> guarda(e.trava);
    e.nome = m_nome;
    e.versao = m_versao;
    e.atual = m_tabela;
}

} // namespace BibliotecaCups
