// Backing up the registry (see Copia.h).
#include "server/Copia.h"
#include "server/Banco.h"

#include <QFileInfo>

bool copiaPara(Banco& banco, const QString& arquivo)
{
    if (banco.ehPostgres())
        return banco.falha(QStringLiteral("cópia"), QStringLiteral("para PostgreSQL use pg_dump (veja o README do servidor)"));
    if (QFileInfo::exists(arquivo))
        return banco.falha(QStringLiteral("cópia"), QStringLiteral("%1 já existe; a cópia só é gravada num arquivo novo").arg(arquivo));
    // One read transaction over the whole database, written out compact: writers carry on
    // meanwhile (WAL) and the copy is what was committed when it began.
    return banco.altera(QStringLiteral("VACUUM INTO ?"), {arquivo});
}
