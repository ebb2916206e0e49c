#pragma once
#include <QDialog>

class PainelFiltroBusca;
class ListaDeResultados;
class QPushButton;
class SlotDeBusca;

// " Localiza Membros": the renewal window's search. One filter, two search slots:
//   - slot 1 ("Localizar_01", lstResultados): "OK" or a double click makes the chosen member
//     the renewal window's sheet (`membros`, AtualizaGUI); "OK" leaves the dialog open;
//   - slot 2 ("Localizar_02", lstResultados2): a single click shows the chosen member's card
//     data in the renewal window's card strip (AtualizaGUI2) and closes the dialog; the sheet
//     on screen and `membros` stay as they were.
// A first-slot search closes the member window first. Both slots wait on the renewal
// window's timer and search its operator's department.
//
//     frmlocalizarcarteira::mostra(this);     // modal, owned by the renewal window
//     frmlocalizarcarteira::mostra(nullptr);  // modal, without owner ("Membros")
class frmlocalizarcarteira : public QDialog {
    Q_OBJECT
public:
    explicit frmlocalizarcarteira(QWidget* parent = nullptr);

    // Creates the dialog and shows it modally; it is destroyed when closed, so every
    // opening starts with empty fields and lists.
    static void mostra(QWidget* dono);

    PainelFiltroBusca* frameFiltroPesquisa;
    QPushButton* btnLocalizar;
    ListaDeResultados* lstResultados;
    QPushButton* btnLocalizar2;
    ListaDeResultados* lstResultados2;
    QPushButton* btnOk;
    QPushButton* btnCancelar;
    SlotDeBusca* busca;    // slot 1: membrosEncontrados
    SlotDeBusca* busca2;   // slot 2: its membrosEncontrados is the dialog's membrosEncontrados2

protected:
    // Clicks anywhere in the lists (an empty list included) reach their handlers.
    bool eventFilter(QObject* objeto, QEvent* evento) override;

private:
    void btnOk_Click();
    void lstResultados_DblClick();
    void lstResultados2_Click();
};
