// The yardstick of bench_partida: the smallest Qt Widgets program that shows a window.
#include <QApplication>
#include <QLabel>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QLabel rotulo(QStringLiteral("Zelto"));
    rotulo.show();
    return app.exec();
}
