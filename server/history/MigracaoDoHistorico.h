#pragma once
// Schema 6: the history's chain moves to the rule with the values' digest (CadeiaDoHistorico).
//
// The rule chosen for the rows written before: the whole chain is checked under the old rule
// first, then every row gets its salt and digest and is chained again under the new rule,
// keeping its old hash in `hash_antigo` (which the new hash covers), so a link noted before
// the migration is still found by `historico --elo`. The migration's own row records how
// many rows moved and the old chain's head, or what was already wrong with it. Re-chaining
// instead of keeping the old rule for old rows is what lets an old row be erased too: under
// the old rule its values sit in its hash, and erasing them would break the chain for good.
//
// A chain that already failed is migrated all the same (the registry must keep serving) and
// reported: in `avisos`, which reach the log, and in the migration's row, for good.
#include <QStringList>

class Banco;

namespace MigracaoDoHistorico {

// Runs inside the schema's migration transaction; false on a database failure.
bool paraODigesto(Banco& banco, QStringList& avisos);

} // namespace MigracaoDoHistorico
