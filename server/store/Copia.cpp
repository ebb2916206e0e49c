// Backing up the registry (see Copia.h).
#include "server/store/Copia.h"
#include "server/store/ArquivosDoRegistro.h"
#include "server/store/Banco.h"

#include <QFile>
#include <QFileInfo>

bool copiaPara(Banco& banco, const QString& arquivo)
{
    if (banco.ehPostgres())
        return banco.falha(QStringLiteral("cópia"), QStringLiteral("para PostgreSQL use pg_dump (veja o README do servidor)"));
    if (QFileInfo::exists(arquivo))
        return banco.falha(QStringLiteral("cópia"), QStringLiteral("%1 já existe; a cópia só é gravada num arquivo novo").arg(arquivo));
    // Made here, empty and 0600, so the copy never has the registry's data open to every
    // account; SQLite then writes into it and keeps the mode.
    QString porque;
    if (!ArquivosDoRegistro::criaReservado(arquivo, porque))
        return banco.falha(QStringLiteral("cópia"), porque);
    // One read transaction over the whole database, written out compact: writers carry on
    // meanwhile (WAL) and the copy is what was committed when it began.
    if (banco.altera(QStringLiteral("VACUUM INTO ?"), {arquivo}))
        return true;
    const QString erro = banco.ultimoErro();
    QFile::remove(arquivo);
    return banco.falha(QStringLiteral("cópia"), QStringLiteral("não foi possível gravar %1 (%2)").arg(arquivo, erro));
}
