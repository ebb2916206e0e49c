#include "app/Caixas.h"
#include "app/modGlobais.h"

#include <exception>
#include <new>

EstadoGlobal& globais()
{
    static EstadoGlobal estado;
    return estado;
}

void ExibeErro(const QString& origem, const QString& descricao, QWidget* dono)
{
    Caixas::mostra(dono, origem + QStringLiteral("\r\n") + descricao, QStringLiteral("Erro no Aplicativo"),
                   Caixas::Icone::Erro);
}

void ExibeErro(const ErroDeExecucao& erro, QWidget* dono)
{
    ExibeErro(erro.origem(), erro.descricao(), dono);
}

bool protegido(QWidget* dono, const QString& origem, const std::function<void()>& corpo)
{
    try {
        corpo();
        return true;
    } catch (const ErroDeExecucao& erro) {
        ExibeErro(erro, dono);
    } catch (const std::bad_alloc&) {
        ExibeErro(origem, QStringLiteral("Memória insuficiente"), dono);
    } catch (const std::exception& erro) {
        ExibeErro(origem, QString::fromLocal8Bit(erro.what()), dono);
    }
    return false;
}
