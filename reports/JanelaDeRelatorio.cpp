#include "reports/JanelaDeRelatorio.h"

#include "app/Visualizacao.h"

#include <QFont>
#include <QPushButton>
#include <QWidget>

namespace JanelaDeRelatorio {

void prepara(QWidget* janela, const char* nome, const QString& titulo)
{
    janela->setAttribute(Qt::WA_DeleteOnClose);
    janela->setObjectName(QString::fromLatin1(nome));
    janela->setWindowTitle(titulo);
    QFont fonte(QStringLiteral("Arial"));
    fonte.setStyleHint(QFont::SansSerif);
    fonte.setPointSize(9);
    janela->setFont(fonte);
}

QPushButton* botao(QWidget* janela, const QString& texto, const char* nome)
{
    auto* b = new QPushButton(texto, janela);
    b->setObjectName(QString::fromLatin1(nome));
    return b;
}

BotoesComuns botoesComuns(QWidget* janela, const QString& oQueVisualiza)
{
    BotoesComuns b{botao(janela, Visualizacao::rotulo(), "btnVisualizar"),
                   botao(janela, QStringLiteral("Exportar para Arquivo ..."), "btnExportarCSV"),
                   botao(janela, QStringLiteral("Fechar"), "btnFechar")};
    b.visualizar->setShortcut(Visualizacao::atalho());
    b.visualizar->setToolTip(Visualizacao::dica(oQueVisualiza));
    return b;
}

} // namespace JanelaDeRelatorio
