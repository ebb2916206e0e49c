#pragma once
// What the department report and the birthday windows share: a window of its own above the
// member window that goes when closed, the house font, and the buttons both have.
#include <QString>

class QPushButton;
class QWidget;

namespace JanelaDeRelatorio {

// Deleted on close, named `nome` (tests find it by that name), titled, Arial 9 (or the
// Arial-metric font the system has).
void prepara(QWidget* janela, const char* nome, const QString& titulo);

// A button named `nome` (the control's name the tests drive).
QPushButton* botao(QWidget* janela, const QString& texto, const char* nome);

// The three buttons both windows have: "Visualizar Impressão" (with its shortcut and a tip
// naming `oQueVisualiza`), "Exportar para Arquivo ..." and "Fechar".
struct BotoesComuns {
    QPushButton* visualizar;
    QPushButton* exportarCSV;
    QPushButton* fechar;
};
BotoesComuns botoesComuns(QWidget* janela, const QString& oQueVisualiza);

} // namespace JanelaDeRelatorio
