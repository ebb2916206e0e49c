#pragma once
// Placeholder: the window is built in its own subsystem.

#include <QMainWindow>

class Frminicial : public QMainWindow {
    Q_OBJECT
public:
    explicit Frminicial(QWidget* parent = nullptr);
};
