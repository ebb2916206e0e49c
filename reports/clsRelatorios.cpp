#include "reports/clsRelatorios.h"

#include "app/modGlobais.h"
#include "protocol/FormatoBR.h"
#include "protocol/Wire.h"
#include "reports/clsImpressora.h"

#include <QSaveFile>

namespace {

const QString fimDeLinha = QStringLiteral("\r\n");
const QString recuo(7, u' ');
const QString regua(80, u'-');

} // namespace

QString clsRelatorios::formataColuna(const QString& texto, int largura)
{
    if (texto.size() >= largura)
        return texto.left(largura);
    return texto.leftJustified(largura, u' ');
}

QString clsRelatorios::montaRelatorio(const QList<clsAgenda>& membrosCollection, const QString& rotuloTotal)
{
    QString texto;
    texto.reserve(90 * (membrosCollection.size() + 12));

    for (int i = 0; i < 4; ++i)
        texto += fimDeLinha;
    texto += recuo + regua + fimDeLinha;
    texto += recuo + formataColuna(QStringLiteral("Data"), 12) + formataColuna(QStringLiteral("Departamento"), 20)
        + formataColuna(QStringLiteral("N.Ficha"), 8) + formataColuna(QStringLiteral("Nome"), 30)
        + formataColuna(QStringLiteral("Valor"), 10) + fimDeLinha;
    texto += recuo + regua + fimDeLinha;
    texto += fimDeLinha;

    double total = 0;
    for (const clsAgenda& membro : membrosCollection) {
        texto += recuo + formataColuna(FormatoBR::formataData(membro.Data), 12)
            + formataColuna(membro.departamento.dsDepartamento, 20)
            + formataColuna(QString::number(membro.numeroFicha), 8) + formataColuna(membro.nome, 30)
            + formataColuna(FormatoBR::formataValor(membro.Valor), 10) + fimDeLinha;
        total += membro.Valor;
    }

    texto += fimDeLinha;
    texto += recuo + regua + fimDeLinha;
    texto += recuo + rotuloTotal + QStringLiteral("R$ ") + FormatoBR::formataValor(total) + fimDeLinha;
    texto += recuo + regua;
    return texto;
}

bool clsRelatorios::imprime(const QList<clsAgenda>& membrosCollection, const QString& rotuloTotal,
                            const QPrinter* escolhida, QWidget* dono)
{
    m_naFila = false;
    try {
        const QString texto = montaRelatorio(membrosCollection, rotuloTotal);
        const std::shared_ptr<clsImpressora> impressora = globais().impressora;
        if (!impressora)
            return false;
        m_naFila = !impressora->Imprime(texto, QStringLiteral("Relatório do Departamento"), escolhida, dono);
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

bool clsRelatorios::totalPorIntervaloDeData(const QList<clsAgenda>& membrosCollection, const QPrinter* escolhida,
                                            QWidget* dono)
{
    return imprime(membrosCollection, QStringLiteral("Total: "), escolhida, dono);
}

bool clsRelatorios::totalDoDia(const QList<clsAgenda>& membrosCollection)
{
    return imprime(membrosCollection, QStringLiteral("Total do Dia: "), nullptr, nullptr);
}

QByteArray clsRelatorios::montaCSV(const QList<clsAgenda>& membrosCollection)
{
    QString texto = QStringLiteral("Nome;") + fimDeLinha;
    for (const clsAgenda& membro : membrosCollection)
        texto += membro.nome + fimDeLinha;
    return Wire::codifica(texto);
}

bool clsRelatorios::exportDepartamentoCSV(const QList<clsAgenda>& membrosCollection,
                                          const QString& nomeArquivoSalvar)
{
    try {
        return gravaArquivo(nomeArquivoSalvar, montaCSV(membrosCollection));
    } catch (const std::exception&) {
        return false;
    }
}

bool clsRelatorios::gravaArquivo(const QString& nomeArquivo, const QByteArray& bytes)
{
    if (nomeArquivo.isEmpty())
        return false;
    // Written beside the target and moved over it at the end, so a failed write never
    // leaves an existing file half replaced.
    QSaveFile arquivo(nomeArquivo);
    arquivo.setDirectWriteFallback(true);   // a writable file in a folder we cannot add to
    if (!arquivo.open(QIODevice::WriteOnly))
        return false;
    if (arquivo.write(bytes) != bytes.size()) {
        arquivo.cancelWriting();
        return false;
    }
    return arquivo.commit();
}
