#pragma once
// The answers a desk's copy gives while the program works disconnected, in the server's own
// reply texts, so the windows make their requests as always: a search (12) reads the copy;
// a save (6), an inclusion (8) or a deletion (10) goes to the journal (Diario.h), durable
// before the reply that the window reports as saved. Any other request gets code 0.
#include <QString>
#include <utility>

class CopiaSelada;

namespace RespostasDaCopia {

std::pair<int, QString> responde(CopiaSelada& copia, const QString& mensagem, qint64 agoraMs);

} // namespace RespostasDaCopia
