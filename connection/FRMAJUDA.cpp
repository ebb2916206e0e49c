#include "connection/FRMAJUDA.h"
#include "app/Implantacao.h"

#include <QLabel>
#include <QVBoxLayout>

FRMAJUDA::FRMAJUDA(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("FRMAJUDA"));
    setWindowTitle(QStringLiteral(" HELP DESK"));
    setModal(true);
    setFixedSize(340, 220);

    QFont fonte(QStringLiteral("Arial"), 10);
    fonte.setStyleHint(QFont::SansSerif);
    QFont titulo = fonte;
    titulo.setPointSize(13);
    titulo.setBold(true);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 16, 20, 16);
    auto rotulo = [&](const char* nome, const QString& texto, const QFont& f) {
        auto* l = new QLabel(texto, this);
        l->setObjectName(QString::fromLatin1(nome));
        l->setFont(f);
        l->setAlignment(Qt::AlignCenter);
        l->setTextInteractionFlags(Qt::TextSelectableByMouse);
        layout->addWidget(l);
        return l;
    };
    lblTitulo = rotulo("lblTitulo", QStringLiteral("SUPORTE ZELTO ON-LINE"), titulo);
    QPalette azul = lblTitulo->palette();
    azul.setColor(QPalette::WindowText, QColor(0, 0, 128));
    lblTitulo->setPalette(azul);
    layout->addSpacing(8);
    lblEmail = rotulo("lblEmail", Implantacao::suporteEmail(), fonte);
    lblFone1 = rotulo("lblFone1", Implantacao::suporteFone1(), fonte);
    lblFone2 = rotulo("lblFone2", Implantacao::suporteFone2(), fonte);
    lblFone3 = rotulo("lblFone3", Implantacao::suporteFone3(), fonte);
}
