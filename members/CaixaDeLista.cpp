#include "members/CaixaDeLista.h"

#include <QKeyEvent>
#include <QTimer>
#include <QLineEdit>
#include <QWheelEvent>

CaixaDeLista::CaixaDeLista(QWidget* parent) : QComboBox(parent)
{
    setEditable(true);
    setInsertPolicy(QComboBox::NoInsert);
    setMaxVisibleItems(16);
    // The operator's typing must never be completed into another item's text.
    setCompleter(nullptr);
    connect(this, &QComboBox::activated, this, [this](int i) {
        if (m_listaAberta)
            emit itemEscolhido(i);
    });
}

void CaixaDeLista::defineTravado(bool travado)
{
    m_travado = travado;
    if (QLineEdit* e = lineEdit())
        e->setReadOnly(travado);
}

void CaixaDeLista::substituiItens(const QStringList& itens)
{
    const QString texto = currentText();
    const bool bloqueado = blockSignals(true);
    clear();
    addItems(itens);
    setCurrentIndex(-1);
    setEditText(texto);
    blockSignals(bloqueado);
}

void CaixaDeLista::showPopup()
{
    emit abrindoLista();
    m_listaAberta = true;
    QComboBox::showPopup();
}

void CaixaDeLista::hidePopup()
{
    QComboBox::hidePopup();
    // The choice is announced right after the list closes: keep the mark until then.
    QTimer::singleShot(0, this, [this] { m_listaAberta = false; });
}

void CaixaDeLista::focusInEvent(QFocusEvent* e)
{
    QComboBox::focusInEvent(e);
    emit recebeuFoco();
}

void CaixaDeLista::keyPressEvent(QKeyEvent* e)
{
    // Locked: only the keys that open the list or move the focus get through.
    if (m_travado) {
        switch (e->key()) {
        case Qt::Key_F4:
        case Qt::Key_Tab:
        case Qt::Key_Backtab:
            break;
        case Qt::Key_Down:
        case Qt::Key_Up:
            if (e->modifiers() & Qt::AltModifier)
                break;
            e->accept();
            return;
        default:
            e->accept();
            return;
        }
    }
    QComboBox::keyPressEvent(e);
}

void CaixaDeLista::wheelEvent(QWheelEvent* e)
{
    if (m_travado) {
        e->ignore();
        return;
    }
    QComboBox::wheelEvent(e);
}
