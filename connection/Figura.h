#pragma once
#include <QLabel>

// A picture the operator can click (the login, support and web site pictures). Does
// nothing while disabled.
class Figura : public QLabel {
    Q_OBJECT
public:
    explicit Figura(QWidget* parent = nullptr);

signals:
    void clicked();

protected:
    void mousePressEvent(QMouseEvent* evento) override;
    void mouseReleaseEvent(QMouseEvent* evento) override;

private:
    bool m_pressionada = false;
};

// The drawn pictures of the login window and the main menu.
namespace Desenhos {
QPixmap logotipo(int lado);                                  // round "Z" seal
QPixmap faixaDoTitulo(int largura, int altura);              // "ZeltoSystem On-Line" band
QPixmap botaoConectar(int largura, int altura);              // login picture
QPixmap suporte(int lado);                                   // support picture
QPixmap site(int lado);                                      // web site picture
} // namespace Desenhos
