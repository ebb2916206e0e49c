// Where a connection's database work runs.
#include "server/TrabalhoNoBanco.h"
#include "server/Oficina.h"

#include <QPointer>

void TrabalhoNoBanco::executa(QObject* contexto, std::function<void(Banco&)> tarefa, std::function<void()> depois) const
{
    if (!m_oficina) {
        // Stopping: the workers are gone, and nobody is waiting any more.
        tarefa(m_armazem);
        return;
    }
    QPointer<QObject> quem(contexto);
    m_oficina->le([laco = m_laco, quem, tarefa = std::move(tarefa), depois = std::move(depois)](Banco& banco, Atendente&) {
        tarefa(banco);
        if (!depois)
            return;
        // Back on the loop's thread, where the context can be looked at safely.
        QMetaObject::invokeMethod(
            laco,
            [quem, depois] {
                if (quem)
                    depois();
            },
            Qt::QueuedConnection);
    });
}
