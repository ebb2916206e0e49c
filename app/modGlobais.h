#pragma once
#include "protocol/ErroDeExecucao.h"
#include "protocol/clsUsuario.h"

#include <QString>
#include <functional>
#include <memory>
#include <optional>

class QLabel;
class QWidget;
class clsImpressora;

// The state shared by the whole run (one instance, `globais()`).
struct EstadoGlobal {
    QString caminhoAplicacao;       // the program's folder, ending in a separator
    QString arquivoConfiguracao;    // caminhoAplicacao + "config.ini", or the operator's own copy
    QString hostRemoto;
    QString portaRemota;
    qint16 timeOutSegundos = 0;
    qint16 keepAliveSegundos = 0;
    qint64 maximoRespostaBytes = 0;  // the longest reply taken; 0: the shipped default
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

// Reads the deployment file (Implantacao.h), then config.ini into globais(), and creates the
// shared printer output. Called once, first thing at start-up. config.ini is the one beside the
// program when that folder can be written and the program is not an installed copy; otherwise
// the operator's own (~/.config/zelto/config.ini), first copied from the packaged default. Time values that cannot be read are
// reported (one box, the first failure) and replaced by 10 s (time-out) and 30 s
// (keep-alive); readable ones are kept within 1..64 s (time-out) and 0..64 s (keep-alive,
// 0 = off; a negative one takes the 30 s default). The printer output is always created.
void CarregaConfiguracao();

// Test hook: the folder CarregaConfiguracao takes as the program's own (empty text = the real one).
void definePastaDoProgramaParaTeste(const QString& pasta);
// Test hook: the deployment file CarregaConfiguracao reads (empty text = the program's own).
void defineArquivoDeImplantacaoParaTeste(const QString& arquivo);

// Closes every top-level window in the order the application lists them, each running its
// own close handling, then ends the program. While it runs, encerrandoAplicacao() is true, so
// a window's close handler can tell this from the operator's close box and not ask again.
void EncerraAplicacao();
bool encerrandoAplicacao();

// Empties every label of `janela` tagged as an inline error label (property "tag" equal to
// "labelDeErro", exactly); every other control is left alone.
void LimpaLabelsDeErro(QWidget* janela);
void marcaComoLabelDeErro(QLabel* label);
