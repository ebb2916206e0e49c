#pragma once
// Placeholder: the window is built in its own subsystem.

#include <QMainWindow>

class frmPrincipal3 : public QMainWindow {
    Q_OBJECT
public:
    explicit frmPrincipal3(QWidget* parent = nullptr);
};
