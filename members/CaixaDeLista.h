#pragma once
#include <QComboBox>

// An editable drop-down list that can be locked (the operator can open the list but not type
// or scroll a value in) and that says when its list is about to open, so a window can fill
// the list at that moment. Choosing an item emits QComboBox::activated as usual.
class CaixaDeLista : public QComboBox {
    Q_OBJECT
public:
    explicit CaixaDeLista(QWidget* parent = nullptr);

    bool travado() const { return m_travado; }
    void defineTravado(bool travado);

    // Replaces the items, keeping the text typed in the box.
    void substituiItens(const QStringList& itens);

    void showPopup() override;

signals:
    void abrindoLista();
    void recebeuFoco();

protected:
    void focusInEvent(QFocusEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void wheelEvent(QWheelEvent* e) override;

private:
    bool m_travado = false;
};
