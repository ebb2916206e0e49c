#include "connection/Requisicao.h"

std::optional<RespostaDoServidor> Requisita(QWidget*, QTimer*, const QString&, std::initializer_list<int>)
{
    return std::nullopt;   // placeholder until the connection is built
}
