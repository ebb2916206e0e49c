#pragma once
#include "protocol/clsAgenda.h"
#include "protocol/clsFiltroBusca.h"

#include <QList>
#include <optional>

class QTimer;
class QWidget;

// The member search the report and the CSV export run (code 12; replies 13 and 14).
// Returns the list found; an empty list after "Nenhum Registro" (reply 14); nothing when the
// request failed (time-out, server failure, unknown reply, connection down - each already
// reported by the request cycle) or when `dono` was closed during the wait.
// Raises ErroDeExecucao when the reply cannot be read.
std::optional<QList<clsAgenda>> BuscaMembros(QWidget* dono, QTimer* timerTimeOut, const clsFiltroBusca& filtro);

// The "Exportar para Arquivo ..." button of the report and renewal windows: asks for a file
// (cancelling says nothing), searches every member of the department `idDepartamento`, and
// writes their names (clsRelatorios::exportDepartamentoCSV), telling the operator where the
// file went or that it could not be written. Any other failure is shown through ExibeErro.
// The wait runs the event loop: a caller that does more afterwards must check that it still
// exists (QPointer).
void ExportaDepartamentoCSV(QWidget* dono, QTimer* timerTimeOut, qint32 idDepartamento);
