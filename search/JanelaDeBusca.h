#pragma once
// What the search dialogs share: their buttons, the "OK" / "Cancelar" line, and the whole
// one-list window of the member and congregation searches.
#include <QDialog>

class PainelFiltroBusca;
class QGroupBox;
class QHBoxLayout;
class ListaDeResultados;
class QLabel;
class QPushButton;

namespace PecasDeBusca {

// A button named `nome` that Enter in the filter boxes does not press.
QPushButton* botao(QWidget* dono, const QString& nome, const QString& legenda);

// "OK" (btnOk) and "Cancelar" (btnCancelar) at the right of one line; "Cancelar" rejects
// the dialog.
QHBoxLayout* linhaOkCancelar(QDialog* dialogo, QPushButton*& btnOk, QPushButton*& btnCancelar);

} // namespace PecasDeBusca

// The one-list search window: the filter (frameFiltroPesquisa), "Localizar" (btnLocalizar),
// the "Resultados" frame with its list (lstResultados), "OK" and "Cancelar", and a status bar
// (sbStatusBar) whose line (lblStatus) tells how many sheets a list brought, or, while a long
// one arrives, how many have come. What the list and "OK" do is the window's own.
class JanelaDeBusca : public QDialog {
    Q_OBJECT
public:
    JanelaDeBusca(QWidget* parent, const QString& nome, const QString& titulo);

    PainelFiltroBusca* frameFiltroPesquisa;
    QPushButton* btnLocalizar;
    QGroupBox* frameResultados;
    ListaDeResultados* lstResultados;
    QPushButton* btnOk;
    QPushButton* btnCancelar;
    QLabel* lblStatus;

protected:
    // Shows a new `Janela` modally, owned by `dono`; it is destroyed when closed, so every
    // opening starts empty.
    template <class Janela>
    static void mostraNova(QWidget* dono)
    {
        auto* janela = new Janela(dono);
        janela->setAttribute(Qt::WA_DeleteOnClose);
        janela->exec();
    }
};
