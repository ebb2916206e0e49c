#pragma once
// A PostgreSQL primary and its synchronous standby, private clusters both (ClusterPostgres):
// the standby is a pg_basebackup of the primary streaming from it, and the primary commits
// nothing before the standby has it on disk (synchronous_standby_names = '*',
// synchronous_commit = on). Stopped, and their folders gone, with the object.
//
//     ParPostgres par;  par.inicia();  par.primario().criaBanco("r");
//     servidor --db par.conexao("r");    // both hosts, target_session_attrs=read-write
//     par.primario().derruba();  par.reserva().promove();
#include "ClusterPostgres.h"

#include <QString>

class ParPostgres {
public:
    ParPostgres();
    // The primary, then the standby; true once the standby is the synchronous one.
    bool inicia();
    // The roles as they were made: the standby may be promoted since.
    ClusterPostgres& primario() { return m_primario; }
    ClusterPostgres& reserva() { return m_reserva; }
    // The connection text zelto-server takes for `banco` on whichever host takes writes.
    QString conexao(const QString& banco) const;
    // Runs `sql` on `banco` of `cluster` and gives the first column of its first row as text
    // (empty on failure, with the reason in `erro()`).
    QString valor(ClusterPostgres& cluster, const QString& banco, const QString& sql);
    const QString& erro() const { return m_erro; }

private:
    ClusterPostgres m_primario;
    ClusterPostgres m_reserva;
    QString m_erro;
};
