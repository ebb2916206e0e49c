#include "connection/Figura.h"

#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

Figura::Figura(QWidget* parent) : QLabel(parent) {}

void Figura::mousePressEvent(QMouseEvent* evento)
{
    m_pressionada = evento->button() == Qt::LeftButton;
    QLabel::mousePressEvent(evento);
}

void Figura::mouseReleaseEvent(QMouseEvent* evento)
{
    const bool clique = m_pressionada && evento->button() == Qt::LeftButton && rect().contains(evento->position().toPoint());
    m_pressionada = false;
    QLabel::mouseReleaseEvent(evento);
    if (clique && isEnabled())
        emit clicked();
}

namespace Desenhos {

namespace {
const QColor azulEscuro(0, 0, 128);
const QColor azul(30, 70, 160);

QFont fonte(int pontos, bool negrito)
{
    QFont f(QStringLiteral("Arial"), pontos);
    f.setStyleHint(QFont::SansSerif);
    f.setBold(negrito);
    return f;
}

QPixmap tela(int largura, int altura)
{
    QPixmap p(largura, altura);
    p.fill(Qt::transparent);
    return p;
}
} // namespace

QPixmap logotipo(int lado)
{
    QPixmap p = tela(lado, lado);
    QPainter g(&p);
    g.setRenderHint(QPainter::Antialiasing);
    QRadialGradient fundo(lado * 0.35, lado * 0.35, lado * 0.7);
    fundo.setColorAt(0, QColor(90, 140, 230));
    fundo.setColorAt(1, azulEscuro);
    g.setBrush(fundo);
    g.setPen(QPen(QColor(200, 170, 60), lado / 24.0));
    g.drawEllipse(QRectF(2, 2, lado - 4, lado - 4));
    g.setPen(Qt::white);
    g.setFont(fonte(qMax(8, lado * 2 / 5), true));
    g.drawText(QRect(0, 0, lado, lado), Qt::AlignCenter, QStringLiteral("Z"));
    return p;
}

QPixmap faixaDoTitulo(int largura, int altura)
{
    QPixmap p = tela(largura, altura);
    QPainter g(&p);
    g.setRenderHint(QPainter::Antialiasing);
    QLinearGradient fundo(0, 0, largura, 0);
    fundo.setColorAt(0, azulEscuro);
    fundo.setColorAt(1, QColor(60, 110, 200));
    g.fillRect(p.rect(), fundo);
    g.setPen(Qt::white);
    g.setFont(fonte(qMax(8, altura * 2 / 5), true));
    g.drawText(p.rect().adjusted(12, 0, -12, 0), Qt::AlignVCenter | Qt::AlignLeft, QStringLiteral("ZeltoSystem"));
    g.setFont(fonte(qMax(7, altura / 4), false));
    g.drawText(p.rect().adjusted(12, 0, -12, -4), Qt::AlignBottom | Qt::AlignRight, QStringLiteral("On-Line 2.8"));
    return p;
}

QPixmap botaoConectar(int largura, int altura)
{
    QPixmap p = tela(largura, altura);
    QPainter g(&p);
    g.setRenderHint(QPainter::Antialiasing);
    QLinearGradient fundo(0, 0, 0, altura);
    fundo.setColorAt(0, QColor(110, 190, 110));
    fundo.setColorAt(1, QColor(30, 120, 40));
    g.setBrush(fundo);
    g.setPen(QPen(QColor(20, 80, 30), 1.5));
    g.drawRoundedRect(QRectF(1, 1, largura - 2, altura - 2), 8, 8);
    // a key
    const qreal r = altura * 0.18;
    const QPointF centro(altura * 0.42, altura / 2.0);
    g.setPen(QPen(Qt::white, altura * 0.08));
    g.setBrush(Qt::NoBrush);
    g.drawEllipse(centro, r, r);
    g.drawLine(QPointF(centro.x() + r, centro.y()), QPointF(centro.x() + r * 3.2, centro.y()));
    g.drawLine(QPointF(centro.x() + r * 2.6, centro.y()), QPointF(centro.x() + r * 2.6, centro.y() + r));
    g.setFont(fonte(qMax(8, altura / 3), true));
    g.drawText(QRect(int(altura * 1.1), 0, largura - int(altura * 1.1), altura), Qt::AlignCenter,
               QStringLiteral("Conectar"));
    return p;
}

QPixmap suporte(int lado)
{
    QPixmap p = tela(lado, lado);
    QPainter g(&p);
    g.setRenderHint(QPainter::Antialiasing);
    g.setBrush(QColor(240, 180, 40));
    g.setPen(QPen(QColor(150, 100, 0), 1.5));
    g.drawEllipse(QRectF(2, 2, lado - 4, lado - 4));
    g.setPen(Qt::white);
    g.setFont(fonte(qMax(8, lado / 2), true));
    g.drawText(QRect(0, 0, lado, lado), Qt::AlignCenter, QStringLiteral("?"));
    return p;
}

QPixmap site(int lado)
{
    QPixmap p = tela(lado, lado);
    QPainter g(&p);
    g.setRenderHint(QPainter::Antialiasing);
    const QRectF bola(2, 2, lado - 4, lado - 4);
    g.setBrush(QColor(70, 140, 220));
    g.setPen(QPen(azulEscuro, 1.5));
    g.drawEllipse(bola);
    g.setBrush(Qt::NoBrush);
    g.setPen(QPen(Qt::white, 1.2));
    g.drawEllipse(bola.adjusted(lado * 0.28, 0, -lado * 0.28, 0));
    g.drawLine(QPointF(bola.center().x(), bola.top()), QPointF(bola.center().x(), bola.bottom()));
    g.drawLine(QPointF(bola.left(), bola.center().y()), QPointF(bola.right(), bola.center().y()));
    g.drawLine(QPointF(bola.left() + lado * 0.1, bola.top() + lado * 0.3),
               QPointF(bola.right() - lado * 0.1, bola.top() + lado * 0.3));
    g.drawLine(QPointF(bola.left() + lado * 0.1, bola.bottom() - lado * 0.3),
               QPointF(bola.right() - lado * 0.1, bola.bottom() - lado * 0.3));
    return p;
}

} // namespace Desenhos
