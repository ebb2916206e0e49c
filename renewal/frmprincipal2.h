#pragma once
// Placeholder: the window is built in its own subsystem.

#include <QMainWindow>

class frmprincipal2 : public QMainWindow {
    Q_OBJECT
public:
    explicit frmprincipal2(QWidget* parent = nullptr);
};
