#pragma once
#include <QComboBox>

// An editable drop-down list that can be locked (the operator can open the list but not type
// or scroll a value in) and that says when its list is about to open, so a window can fill
// the list at that moment. `itemEscolhido` is emitted only when the operator picks an item in
// the open list; typing an item's text and leaving the box is not a choice.
class CaixaDeLista : public QComboBox {
    Q_OBJECT
public:
    explicit CaixaDeLista(QWidget* parent = nullptr);

    bool travado() const { return m_travado; }
    void defineTravado(bool travado);

    // Replaces the items, keeping the text typed in the box.
    void substituiItens(const QStringList& itens);

    void showPopup() override;
    void hidePopup() override;

signals:
    void abrindoLista();
    void itemEscolhido(int indice);
    void recebeuFoco();

protected:
    void focusInEvent(QFocusEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void wheelEvent(QWheelEvent* e) override;

private:
    bool m_travado = false;
    bool m_listaAberta = false;
};
