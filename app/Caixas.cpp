#include "app/Caixas.h"

#include <QAbstractButton>
#include <QGridLayout>
#include <QMessageBox>
#include <QSpacerItem>

namespace Caixas {

namespace {
Gravador* gravadorAtivo = nullptr;

QMessageBox::Icon paraQt(Icone icone)
{
    switch (icone) {
    case Icone::Erro:
        return QMessageBox::Critical;
    case Icone::Aviso:
        return QMessageBox::Warning;
    case Icone::Informacao:
        return QMessageBox::Information;
    case Icone::Pergunta:
        return QMessageBox::Question;
    case Icone::Nenhum:
        break;
    }
    return QMessageBox::NoIcon;
}
// A box narrower than its title has the title cut by the window manager ("Quer sair do
// sistema ?" under "ZeltoSystem On-Line"). The box is made as wide as the title in the title
// bar's (bold) font plus room for the bar's icon and buttons.
void alargaParaOTitulo(QMessageBox& caixa, const QString& titulo)
{
    QFont fonteDoTitulo = caixa.font();
    fonteDoTitulo.setBold(true);
    const int largura = QFontMetrics(fonteDoTitulo).horizontalAdvance(titulo) + folgaDoTitulo;
    if (auto* grade = qobject_cast<QGridLayout*>(caixa.layout()))
        grade->addItem(new QSpacerItem(largura, 0, QSizePolicy::Minimum, QSizePolicy::Minimum), grade->rowCount(), 0, 1,
                       grade->columnCount());
}

} // namespace

Gravador::Gravador() { gravadorAtivo = this; }
Gravador::~Gravador()
{
    if (gravadorAtivo == this)
        gravadorAtivo = nullptr;
}

Resposta mostra(QWidget* dono, const QString& texto, const QString& titulo, Icone icone, bool simNao)
{
    if (Gravador* g = gravadorAtivo) {
        const Registro registro{texto, titulo, icone, simNao};
        g->m_caixas.append(registro);
        if (g->aoMostrar)
            g->aoMostrar(registro);
        if (!simNao)
            return Resposta::Ok;
        return g->m_respostas.isEmpty() ? Resposta::Nao : g->m_respostas.takeFirst();
    }
    QMessageBox caixa(paraQt(icone), titulo, texto,
                      simNao ? (QMessageBox::Yes | QMessageBox::No) : QMessageBox::Ok, dono);
    if (simNao) {
        caixa.setDefaultButton(QMessageBox::No);
        caixa.setEscapeButton(QMessageBox::No);
        caixa.button(QMessageBox::Yes)->setText(QStringLiteral("&Sim"));
        caixa.button(QMessageBox::No)->setText(QStringLiteral("&Não"));
    }
    alargaParaOTitulo(caixa, titulo);
    const int r = caixa.exec();
    if (!simNao)
        return Resposta::Ok;
    return r == QMessageBox::Yes ? Resposta::Sim : Resposta::Nao;
}

} // namespace Caixas
