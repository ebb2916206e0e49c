#pragma once
// Whether the registry's store takes writes (the disk may be full or read-only): known to the
// whole process, said in the log once when writes start failing and once when they are taken
// again, never once per request. Reading never depends on it.
#include <QString>

#include <functional>

namespace EstadoDeGravacao {

using Diario = std::function<void(const QString&)>;

// A write failed because the store took no more (disk full, read-only file or database);
// `porque` is the store's own error. Logged through `diario` when it is the first such.
void recusou(const Diario& diario, const QString& porque);
// A change reached the store: logged when writes had been failing.
void aceitou(const Diario& diario);
bool aceitando();

} // namespace EstadoDeGravacao
