// The files of a SQLite registry: owner, mode and the system's refusals (see ArquivosDoRegistro.h).
#include "server/store/ArquivosDoRegistro.h"

#include <QDir>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ArquivosDoRegistro {

QString motivo(const QString& caminho, int erro)
{
    const QString pasta = QFileInfo(caminho).absolutePath();
    QString texto;
    switch (erro) {
    case EACCES:
    case EPERM:
        texto = QStringLiteral("sem permissão (%1 está com %2; rode o comando com o usuário dono)")
                    .arg(QFileInfo::exists(caminho) ? caminho : pasta, donoEModo(QFileInfo::exists(caminho) ? caminho : pasta));
        break;
    case ENOENT:
        texto = QFileInfo(pasta).isDir() ? QStringLiteral("a pasta %1 não aceita arquivos novos").arg(pasta)
                                         : QStringLiteral("a pasta %1 não existe").arg(pasta);
        break;
    case ENOTDIR: texto = QStringLiteral("%1 não é uma pasta").arg(pasta); break;
    case EEXIST: texto = QStringLiteral("já existe"); break;
    case EROFS: texto = QStringLiteral("o sistema de arquivos é somente leitura"); break;
    case ENOSPC: texto = QStringLiteral("o disco está cheio"); break;
    case EDQUOT: texto = QStringLiteral("a cota de disco acabou"); break;
    case EISDIR: texto = QStringLiteral("é uma pasta"); break;
    default: texto = QStringLiteral("erro do sistema %1 (%2)").arg(erro).arg(QString::fromLocal8Bit(std::strerror(erro)));
    }
    return caminho + QStringLiteral(": ") + texto;
}

bool criaReservado(const QString& caminho, QString& porque)
{
    const int fd = ::open(QFile::encodeName(caminho).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) {
        porque = errno == EEXIST ? QStringLiteral("%1 já existe; a cópia só é gravada num arquivo novo").arg(caminho)
                                 : motivo(caminho, errno);
        return false;
    }
    // The umask may only have taken bits away; 0600 exactly, whatever it was.
    ::fchmod(fd, 0600);
    ::close(fd);
    return true;
}

bool entregaAoDonoDaPasta(const QString& caminho, QString& porque)
{
    struct stat pasta {};
    if (::geteuid() != 0 || ::stat(QFile::encodeName(QFileInfo(caminho).absolutePath()).constData(), &pasta) != 0 || pasta.st_uid == 0)
        return true;
    for (const QString& sufixo : {QString(), QStringLiteral("-wal"), QStringLiteral("-shm")}) {
        const QByteArray nome = QFile::encodeName(caminho + sufixo);
        if (::chown(nome.constData(), pasta.st_uid, pasta.st_gid) != 0 && errno != ENOENT) {
            porque = motivo(caminho + sufixo, errno);
            return false;
        }
    }
    return true;
}

QString donoEModo(const QString& caminho)
{
    struct stat s {};
    if (::stat(QFile::encodeName(caminho).constData(), &s) != 0)
        return QStringLiteral("?");
    const passwd* u = ::getpwuid(s.st_uid);
    const QString dono = u ? QString::fromLocal8Bit(u->pw_name) : QString::number(s.st_uid);
    const group* g = ::getgrgid(s.st_gid);
    const QString grupo = g ? QString::fromLocal8Bit(g->gr_name) : QString::number(s.st_gid);
    return QStringLiteral("%1:%2 %3").arg(dono, grupo).arg(s.st_mode & 07777, 4, 8, QLatin1Char('0'));
}

} // namespace ArquivosDoRegistro
