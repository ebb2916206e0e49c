#pragma once
#include <QByteArray>
#include <QString>
#include <exception>

// The one run-time error of the system: conversions, missing record pieces and other
// failures are raised as this and shown by the window handler that catches them.
class ErroDeExecucao : public std::exception {
public:
    ErroDeExecucao(QString origem, QString descricao);

    const QString& origem() const noexcept { return m_origem; }
    const QString& descricao() const noexcept { return m_descricao; }
    const char* what() const noexcept override { return m_what.constData(); }

private:
    QString m_origem;
    QString m_descricao;
    QByteArray m_what;
};
