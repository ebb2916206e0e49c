#pragma once
// Placeholder: the window is built in its own subsystem.

#include <QWidget>

class frmRelatorio : public QWidget {
    Q_OBJECT
public:
    explicit frmRelatorio(QWidget* parent = nullptr);
};
