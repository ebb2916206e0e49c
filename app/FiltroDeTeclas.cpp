#include "app/FiltroDeTeclas.h"
#include "app/modUtil.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPointer>

namespace FiltroDeTeclas {

namespace {

class FiltroDaCaixa : public QObject {
public:
    FiltroDaCaixa(QLineEdit* caixa, Filtro filtro) : QObject(caixa), m_caixa(caixa), m_filtro(std::move(filtro))
    {
        setObjectName(QStringLiteral("FiltroDeTeclas"));
        // Composed input and drops would bypass the key events: keys only.
        caixa->setAttribute(Qt::WA_InputMethodEnabled, false);
        caixa->setAcceptDrops(false);
        caixa->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* alvo, QEvent* evento) override
    {
        if (alvo != m_caixa)
            return false;
        switch (evento->type()) {
        case QEvent::KeyPress:
            return tecla(static_cast<QKeyEvent*>(evento));
        case QEvent::ContextMenu:
            menu(static_cast<QContextMenuEvent*>(evento));
            return true;
        case QEvent::MouseButtonRelease:
            if (static_cast<QMouseEvent*>(evento)->button() == Qt::MiddleButton) {
                if (m_filtro(CodigoDeTecla::CtrlV) != 0 && !m_caixa->isReadOnly())
                    cola(QClipboard::Selection);
                return true;
            }
            return false;
        default:
            return false;
        }
    }

private:
    static bool navegacao(int tecla)
    {
        switch (tecla) {
        case Qt::Key_Delete: case Qt::Key_Left: case Qt::Key_Right: case Qt::Key_Up: case Qt::Key_Down:
        case Qt::Key_Home: case Qt::Key_End: case Qt::Key_PageUp: case Qt::Key_PageDown:
        case Qt::Key_Tab: case Qt::Key_Backtab: case Qt::Key_Return: case Qt::Key_Enter:
        case Qt::Key_Escape: case Qt::Key_Insert:
            return true;
        default:
            return false;
        }
    }

    bool tecla(QKeyEvent* e)
    {
        if (e == QKeySequence::Paste) {
            if (m_filtro(CodigoDeTecla::CtrlV) != 0 && !m_caixa->isReadOnly())
                cola(QClipboard::Clipboard);
            return true;
        }
        if (e == QKeySequence::Copy)
            return m_filtro(CodigoDeTecla::CtrlC) == 0;
        if (e == QKeySequence::Cut)   // Ctrl+X: the control code 24, which no filter accepts
            return m_filtro(24) == 0;
        const QString texto = e->text();
        if (navegacao(e->key()) || texto.isEmpty())
            return false;
        QString resultado;
        for (QChar c : texto) {
            const char16_t r = m_filtro(c.unicode());
            if (r != 0)
                resultado += QChar(r);
        }
        if (resultado == texto)
            return false;            // the box handles the key itself
        if (!resultado.isEmpty() && !m_caixa->isReadOnly())
            m_caixa->insert(resultado);
        return true;
    }

    // Pasted text goes through the filter as if typed; control characters never get in.
    void cola(QClipboard::Mode modo)
    {
        const QString texto = QApplication::clipboard()->text(modo);
        QString aceito;
        for (QChar c : texto) {
            if (c.unicode() < 32)
                continue;
            const char16_t r = m_filtro(c.unicode());
            if (r >= 32)
                aceito += QChar(r);
        }
        if (!aceito.isEmpty())
            m_caixa->insert(aceito);
    }

    void menu(QContextMenuEvent* e)
    {
        QPointer<QMenu> menu = m_caixa->createStandardContextMenu();
        if (!menu)
            return;
        const bool podeColar = m_filtro(CodigoDeTecla::CtrlV) != 0;
        const bool podeCopiar = m_filtro(CodigoDeTecla::CtrlC) != 0;
        for (QAction* acao : menu->actions()) {
            const QString nome = acao->objectName();
            if (nome == u"edit-paste") {
                acao->disconnect();
                acao->setEnabled(podeColar && acao->isEnabled());
                QObject::connect(acao, &QAction::triggered, this, [this] { cola(QClipboard::Clipboard); });
            } else if ((nome == u"edit-copy" || nome == u"edit-cut") && !podeCopiar) {
                acao->setEnabled(false);
            }
        }
        menu->exec(e->globalPos());
        delete menu;
    }

    QLineEdit* m_caixa;
    Filtro m_filtro;
};

} // namespace

void instala(QLineEdit* caixa, Filtro filtro)
{
    if (!caixa)
        return;
    if (QObject* anterior = caixa->findChild<QObject*>(QStringLiteral("FiltroDeTeclas"), Qt::FindDirectChildrenOnly))
        delete anterior;
    new FiltroDaCaixa(caixa, std::move(filtro));
}

void instalaNumerico(QLineEdit* caixa, Numerico o)
{
    instala(caixa, [o](char16_t t) {
        return FiltraNumerico(t, o.barra, o.hifen, o.virgula, o.ponto, o.espaco, o.doisPontos, o.ctrlC, o.ctrlV);
    });
}

void instalaAlfabetico(QLineEdit* caixa, Alfabetico o)
{
    instala(caixa, [o](char16_t t) {
        return FiltraAlfabetico(t, o.digitos, o.barra, o.hifen, o.virgula, o.ponto, o.espaco, o.ctrlC, o.ctrlV,
                                o.maiusculas);
    });
}

} // namespace FiltroDeTeclas
