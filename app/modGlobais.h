#pragma once
#include "protocol/ErroDeExecucao.h"
#include "protocol/clsUsuario.h"

#include <QString>
#include <functional>
#include <memory>
#include <optional>

class QWidget;
class clsImpressora;

// The state shared by the whole run (one instance, `globais()`).
struct EstadoGlobal {
    QString caminhoAplicacao;       // the program's folder, ending in a separator
    QString arquivoConfiguracao;    // caminhoAplicacao + "config.ini"
    QString hostRemoto;
    QString portaRemota;
    qint16 timeOutSegundos = 0;
    qint16 keepAliveSegundos = 0;
    std::shared_ptr<clsImpressora> impressora;

    QString respostaServidor;       // the last complete reply received
    bool tempoEsgotado = false;     // the current wait timed out

    std::optional<clsUsuario> usuarioLogado;
};

EstadoGlobal& globais();

// Shows a run-time error: its source, a line break, its description; "Erro no Aplicativo".
void ExibeErro(const ErroDeExecucao& erro, QWidget* dono = nullptr);
void ExibeErro(const QString& origem, const QString& descricao, QWidget* dono = nullptr);

// Runs an event handler's body and shows whatever it raises through ExibeErro, so no
// handler lets an error escape into the event loop. Returns false when something was raised.
bool protegido(QWidget* dono, const QString& origem, const std::function<void()>& corpo);
