// Where a connection's database work runs.
#pragma once
#include <QObject>

#include <functional>

class Banco;
class Oficina;

// On the listener's readers while they run; once they have stopped (the server going down, a
// connection's farewell still to store), at once on the store the listener was given.
class TrabalhoNoBanco {
public:
    // `laco`: an object of the loop's thread, where `depois` runs.
    TrabalhoNoBanco(Banco& armazem, QObject* laco) : m_armazem(armazem), m_laco(laco) {}

    // The workers to use from now on; null when they have stopped.
    void defineOficina(Oficina* oficina) { m_oficina = oficina; }

    // Runs `tarefa` with a database connection, then `depois` (when given) on the loop while
    // `contexto` is still there.
    void executa(QObject* contexto, std::function<void(Banco&)> tarefa, std::function<void()> depois) const;

private:
    Banco& m_armazem;
    QObject* m_laco;
    Oficina* m_oficina = nullptr;
};
