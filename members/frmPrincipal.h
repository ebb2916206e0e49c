#pragma once
// Placeholder until the member window is built: the login creates it after a successful login.
#include "protocol/clsAgenda.h"

#include <QMainWindow>

class QTimer;

class frmPrincipal : public QMainWindow {
    Q_OBJECT
public:
    explicit frmPrincipal(QWidget* parent = nullptr);

    clsAgenda membros;
    QTimer* timerTimeOut;
};
