#pragma once
// The save and delete requests of a sheet window, with their messages, shared by the windows
// that edit one member sheet (`membros`). Each window keeps its own workflow around them
// (placeholders, validation, refresh); these only talk to the server and tell the operator.
//
//     if (PedidosDaFicha::salvaDoFormulario(this, *ficha, timerTimeOut, membros, AcaoDaFicha::Altera))
//         AtualizaGUI();                                                     // checks, then code 6
//     if (PedidosDaFicha::confirmaExclusao(this, membros)                    // refusal or question
//         && PedidosDaFicha::EnviaExcluir(this, timerTimeOut, membros))      // code 10
//         limpaFormulario();
#include "protocol/clsAgenda.h"

class FormularioFicha;
class QTimer;
class QWidget;

namespace PedidosDaFicha {

// "Opção Inválida" with the warning icon ("Primeiro localize um cadastro", ...).
void opcaoInvalida(QWidget* dono, const QString& texto);

// Code 6 with `membros`. Reply 7: "Registro SALVO com sucesso" when the returned sheet number
// differs from the one sent (`membros` then takes it), else "Registro ALTERADO com sucesso".
// False when nothing was saved (the request cycle has shown why).
bool EnviaSalvar(QWidget* dono, QTimer* timerTimeOut, clsAgenda& membros);

// "Incluir Novo" (AcaoDaFicha::IncluiNovo) and "Alterar Cadastro" (AcaoDaFicha::Altera) from the
// form: placeholders (new) or today's date as the operator's date (alter), the form's
// validation, the sheet-number rule (new: the box must be empty, "Para que seja gerado um novo
// cadastro, limpe o formulario"; alter: it must be filled, "Primeiro localize um cadastro"),
// no separator in any field; then the form goes into `membros` and EnviaSalvar sends it.
// True when the request went out and `dono` is still open: the window then refreshes.
bool salvaDoFormulario(QWidget* dono, FormularioFicha& ficha, QTimer* timerTimeOut, clsAgenda& membros,
                       unsigned acao);

// "Primeiro localize um cadastro" for a sheet without number, else the Yes/No question
// "Deseja realmente excluir a ficha de número: N ?"; true only on Yes.
bool confirmaExclusao(QWidget* dono, const clsAgenda& membros);

// Code 10 with `membros`. Reply 11: "Registro excluido com sucesso" and true.
bool EnviaExcluir(QWidget* dono, QTimer* timerTimeOut, const clsAgenda& membros);

} // namespace PedidosDaFicha
