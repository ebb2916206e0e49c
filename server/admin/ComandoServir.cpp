// The `servir` command: reads the listener's options and limits, opens the store and serves
// the clients until SIGTERM or SIGINT; and `certificado`, its TLS certificate's fingerprint.
#include "server/admin/ComandoServir.h"
#include "server/store/ArquivosDoRegistro.h"
#include "server/store/Banco.h"
#include "server/admin/ComandosDeAdministracao.h"
#include "server/admin/EloNoDiario.h"
#include "server/store/EnderecoPg.h"
#include "server/monitoring/AvisosAoSystemd.h"
#include "server/admin/LinhaDeComando.h"
#include "server/SaudeDoServidor.h"
#include "server/Servidor.h"
#include "server/monitoring/ServidorDeMetricas.h"
#include "server/network/Tls.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>
#include <QSslCertificate>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <malloc.h>
#include <pwd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// SIGTERM and SIGINT end the loop cleanly: the handler only writes a byte to a socket pair
// the loop watches.
int paresDeSinal[2] = {-1, -1};

void aoSinal(int)
{
    const char b = 1;
    [[maybe_unused]] const auto n = ::write(paresDeSinal[0], &b, 1);
}

void instalaSinais()
{
    struct sigaction acao {};
    acao.sa_handler = aoSinal;
    sigemptyset(&acao.sa_mask);
    acao.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &acao, nullptr);
    sigaction(SIGINT, &acao, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    // A file-size limit reached by the database is a failed write (the change answered 0),
    // not the end of the server.
    std::signal(SIGXFSZ, SIG_IGN);
}

// --listen or --metricas; false (said on standard error) when it is no address and port.
bool endereco(const char* opcao, const QString& escuta, QHostAddress& endereco, quint16& porta)
{
    QString host;
    if (!separaEnderecoEPorta(escuta, host, porta)) {
        erro(QStringLiteral("--%1 espera ENDEREÇO:PORTA, recebeu \"%2\"").arg(QLatin1String(opcao), escuta));
        return false;
    }
    if (!endereco.setAddress(host)) {
        erro(QStringLiteral("endereço inválido em --%1: \"%2\"").arg(QLatin1String(opcao), host));
        return false;
    }
    return true;
}

// A fractional option within [menor, maior]: below it a wait is shorter than a request takes
// (the lower bounds still let tests expire things within a second or two), above it a typo;
// nan and inf are no numbers. False, said on standard error with the range, otherwise.
bool fracionaria(const Argumentos& a, const char* nome, const char* padrao, double menor, double maior, const char* faixa,
                 double& valor)
{
    bool ok = false;
    valor = a.valor(nome, QLatin1String(padrao)).toDouble(&ok);
    if (ok && valor >= menor && valor <= maior)
        return true;
    erro(QStringLiteral("--%1 espera um número de %2 (use ponto para frações)").arg(QLatin1String(nome), QLatin1String(faixa)));
    return false;
}

// The waits, the workers and the resource limits, checked in this order; false (said on
// standard error) at the first one out of range.
bool atendimento(const Argumentos& a, Servidor::Opcoes& opcoes)
{
    double sessao = 0;
    if (!fracionaria(a, "sessao-horas", "12", 0.0002, 720, "0,0002 a 720", sessao))
        return false;
    opcoes.sessaoMs = qint64(sessao * 3600'000.0);
    struct Inteira {
        const char* nome;
        qint64 padrao, menor, maior;
        int Servidor::Opcoes::*campo;
    };
    static const Inteira inteiras[] = {
        {"silencio-ms", 2, 0, 10'000, &Servidor::Opcoes::silencioMs},
        {"espera-ms", 300, 1, 600'000, &Servidor::Opcoes::esperaIncompletaMs},
        {"fila-conexoes", 1024, 1, 65535, &Servidor::Opcoes::filaDeConexoes},
        {"leitores", 2, 1, 64, &Servidor::Opcoes::leitores},
        {"lento-ms", 500, 0, 3'600'000, &Servidor::Opcoes::lentoMs},
        {"conexoes-max", 0, 0, 1 << 24, &Servidor::Opcoes::limiteDeConexoes},
        {"conexoes-por-endereco", 64, 1, 1 << 24, &Servidor::Opcoes::conexoesPorEndereco},
        {"fila-senhas", 16, 1, 100'000, &Servidor::Opcoes::filaDeSenhas},
        {"senhas-por-endereco", 2, 1, 100'000, &Servidor::Opcoes::senhasPorEndereco},
        {"rajada-logins", 20, 1, 1'000'000, &Servidor::Opcoes::rajadaDeLogins},
        {"logins-por-minuto", 20, 1, 1'000'000, &Servidor::Opcoes::loginsPorMinuto},
    };
    for (const Inteira& i : inteiras) {
        qint64 v = 0;
        if (!inteiro(a.valor(i.nome, QString::number(i.padrao)), i.menor, i.maior, v)) {
            erro(QStringLiteral("--%1 espera um número de %2 a %3").arg(QLatin1String(i.nome)).arg(i.menor).arg(i.maior));
            return false;
        }
        opcoes.*i.campo = int(v);
    }
    qint64 kib = 0;
    if (!inteiro(a.valor("pedido-sem-login-kib", QStringLiteral("16")), 2, 1024, kib)) {
        erro(QStringLiteral("--pedido-sem-login-kib espera um número de 2 a 1024"));
        return false;
    }
    opcoes.maiorPedidoSemLogin = qsizetype(kib) << 10;
    double segundos = 0, horas = 0, semLer = 0;
    if (!fracionaria(a, "sem-login-s", "60", 0.1, 86'400, "0,1 a 86400", segundos)
        || !fracionaria(a, "ociosa-horas", "2", 0.0002, 500, "0,0002 a 500", horas)
        || !fracionaria(a, "sem-ler-s", "60", 0.1, 86'400, "0,1 a 86400", semLer))
        return false;
    opcoes.semLoginMs = int(segundos * 1000.0);
    opcoes.semLerMs = int(semLer * 1000.0);
    opcoes.ociosaMs = qint64(horas * 3600'000.0);
    return true;
}

// The journal's first lines: the store and the address.
QString mostrado(const QHostAddress& endereco, quint16 porta)
{
    const QString host = endereco.protocol() == QAbstractSocket::IPv6Protocol ? QLatin1Char('[') + endereco.toString() + QLatin1Char(']')
                                                                               : endereco.toString();
    return host + QLatin1Char(':') + QString::number(porta);
}

void anuncia(const Servidor& servidor, const Banco& armazem)
{
    registraNoDiario(QStringLiteral("banco %1").arg(armazem.descricao()));
    registraNoDiario(QStringLiteral("ouvindo em %1").arg(mostrado(servidor.enderecoOuvindo(), servidor.portaOuvindo())));
}

// A write the store takes back: listening on a registry it cannot write would answer every
// change with 0.
bool gravaEDesfaz(Banco& armazem)
{
    if (!armazem.iniciaTransacao())
        return false;
    const bool gravou = armazem.executaDireto(QStringLiteral("CREATE TABLE prova_de_gravacao (x)"));
    armazem.desfazTransacao();
    return gravou;
}

int semGravacao(const QString& arquivo, const QString& causa)
{
    const passwd* eu = ::getpwuid(::geteuid());
    return erro(QStringLiteral("o servidor não pode gravar no banco %1 (%2; o servidor roda como %3): %4; corrija o dono ou o modo "
                               "do arquivo e da pasta, ou rode o servidor com o usuário dono")
                    .arg(arquivo, ArquivosDoRegistro::donoEModo(arquivo), eu ? QString::fromLocal8Bit(eu->pw_name) : QString::number(::geteuid()),
                         causa));
}

} // namespace

int Comando::certificado(const Argumentos& a, const QString&)
{
    const QString arquivo = a.valor("tls-certificado", QStringLiteral("/etc/zelto/servidor.crt"));
    QFile f(arquivo);
    if (!f.open(QIODevice::ReadOnly))
        return erro(QStringLiteral("não foi possível ler o certificado %1: %2").arg(arquivo, f.errorString()));
    const QList<QSslCertificate> cadeia = QSslCertificate::fromData(f.read(1 << 20), QSsl::Pem);
    if (cadeia.isEmpty() || cadeia.first().isNull())
        return erro(QStringLiteral("%1 não é um certificado PEM").arg(arquivo));
    escreve(stdout, QStringLiteral("certificado=%1\n").arg(Tls::impressao(cadeia.first())));
    return 0;
}

int Comando::servir(const Argumentos& a, const QString& banco)
{
    // A search of a large department builds a reply of several megabytes. Kept in the heap
    // instead of fresh mappings, the memory of one reply serves the next without the kernel
    // having to hand out (and zero) every page again.
    mallopt(M_MMAP_THRESHOLD, 64 << 20);
    mallopt(M_TRIM_THRESHOLD, 128 << 20);
    Servidor::Opcoes opcoes;
    const QString escuta = a.valor("listen", QStringLiteral("127.0.0.1:9998"));
    if (!endereco("listen", escuta, opcoes.endereco, opcoes.porta) || !atendimento(a, opcoes))
        return 1;
    QHostAddress enderecoDasMetricas;
    quint16 portaDasMetricas = 0;
    opcoes.metricas = a.tem("metricas");
    if (opcoes.metricas && !endereco("metricas", a.valor("metricas"), enderecoDasMetricas, portaDasMetricas))
        return 1;
    opcoes.sessaoPorEndereco = a.tem("sessao-por-endereco");
    opcoes.tlsCertificado = a.valor("tls-certificado");
    opcoes.tlsChave = a.valor("tls-chave");
    opcoes.exigirTls = a.tem("exigir-tls");
    // Before the store: a key the service cannot read is said at once, in plain words.
    if (!opcoes.tlsCertificado.isEmpty() || !opcoes.tlsChave.isEmpty()) {
        QSslConfiguration tls;
        QString motivo;
        if (!Tls::carrega(opcoes.tlsCertificado, opcoes.tlsChave, tls, motivo))
            return erro(motivo);
    }
    if (opcoes.sessaoPorEndereco)
        registraNoDiario(QStringLiteral("aviso: --sessao-por-endereco ligada: um login no protocolo simples vale para todo o endereço do "
                                        "cliente (qualquer programa naquele computador, ou atrás do mesmo NAT, age como o operador)"));

    // The service's connection text is on its command line (ps shows it to every account)
    // and in a configuration file: a password never belongs there.
    DestinoPg destinoPg;
    QString semDestino;
    if (ehConexaoPg(banco) && leDestinoPg(banco, destinoPg, semDestino) && destinoPg.temSenha)
        return erro(QStringLiteral("a senha do PostgreSQL não pode ir na conexão (--db ou ZELTO_DB aparecem no ps e em "
                                   "/etc/zelto/servidor.conf): ponha-a no ~/.pgpass da conta que roda o servidor (modo 0600) ou "
                                   "no arquivo que PGPASSFILE indica, e tire-a da conexão"));
    Banco armazem(banco);
    const QString arquivo = banco.startsWith(QLatin1String("sqlite:")) ? banco.mid(7) : QString();
    if (!arquivo.isEmpty() && QFileInfo::exists(arquivo) && ::access(QFile::encodeName(arquivo).constData(), W_OK) != 0)
        return semGravacao(arquivo, QStringLiteral("sem permissão de escrita"));
    if (!abreArmazem(armazem, false))
        return 1;
    if (!arquivo.isEmpty() && !gravaEDesfaz(armazem))
        return semGravacao(arquivo, QStringLiteral("uma gravação de prova falhou (%1)").arg(armazem.ultimoErro()));

    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, paresDeSinal) != 0)
        return erro(QStringLiteral("não foi possível preparar os sinais"));
    QSocketNotifier notificador(paresDeSinal[1], QSocketNotifier::Read);
    QObject::connect(&notificador, &QSocketNotifier::activated, qApp, [] {
        char b;
        [[maybe_unused]] const auto n = ::read(paresDeSinal[1], &b, 1);
        registraNoDiario(QStringLiteral("encerrando"));
        SaudeDoServidor::encerrando();
        AvisosAoSystemd::parando();
        QCoreApplication::quit();
    });
    instalaSinais();

    // The metrics' address first: one that cannot be had stops the start before any client is greeted.
    ServidorDeMetricas metricas;
    QString motivo;
    if (opcoes.metricas && !metricas.escuta(enderecoDasMetricas, portaDasMetricas, motivo))
        return erro(QStringLiteral("não foi possível servir as métricas em %1: %2").arg(a.valor("metricas"), motivo));
    Servidor servidor(armazem, opcoes);
    if (!servidor.escuta(motivo))
        return erro(QStringLiteral("não foi possível atender em %1: %2").arg(escuta, motivo));
    // The chain's head, at the start and every day after, into the log: a witness outside the database.
    EloNoDiario::registra(banco);
    anuncia(servidor, armazem);
    QTimer eloDoDia;
    QObject::connect(&eloDoDia, &QTimer::timeout, qApp, [banco] { EloNoDiario::registra(banco); });
    eloDoDia.start(std::chrono::milliseconds(EloNoDiario::intervaloMs));
    if (opcoes.metricas)
        registraNoDiario(QStringLiteral("métricas em http://%1/metrics").arg(mostrado(enderecoDasMetricas, metricas.porta())));
    AvisosAoSystemd::pronto(qApp);
    return QCoreApplication::exec();
}
