#pragma once
// Placeholder: the window is built in its own subsystem.

#include <QDialog>

class FrmConfig : public QDialog {
    Q_OBJECT
public:
    explicit FrmConfig(QWidget* parent = nullptr);
};
