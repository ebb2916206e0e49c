#pragma once
// Placeholder until the login window is built.
#include <QWidget>

class frmLogin : public QWidget {
    Q_OBJECT
public:
    explicit frmLogin(QWidget* parent = nullptr);
    // Creates the one login window of the run (its load steps run) and shows it.
    static frmLogin* abre();
    static frmLogin* instancia();
};
