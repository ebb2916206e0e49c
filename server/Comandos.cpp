#include "server/Comandos.h"
#include "server/Banco.h"
#include "server/Cadastro.h"
#include "server/Copia.h"
#include "server/Esquema.h"
#include "server/FichasDemo.h"
#include "server/FichasGravadas.h"
#include "server/SessoesGravadas.h"
#include "server/Senhas.h"
#include "server/Servidor.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFileInfo>
#include <QSocketNotifier>
#include <QTextStream>

#include <csignal>
#include <malloc.h>
#include <cstdio>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

namespace {

const char* const ajuda = R"(Uso: zelto-server [COMANDO] [OPÇÕES]

Servidor do registro de membros Zelto: atende os clientes pela rede e guarda as fichas
num banco de dados.

Comandos:
  servir                 (o padrão) atende os clientes até receber SIGTERM ou SIGINT.
                         Ao ficar pronto escreve em stderr a linha
                         "zelto-server: ouvindo em ENDEREÇO:PORTA".
  criar-banco            cria o banco e as tabelas (não apaga nada que já exista).
  departamento           inclui ou renomeia um departamento: --id N --nome TEXTO.
  operador               inclui um operador (--usuario NOME --departamento N) ou troca a
                         senha de um que já existe (--departamento só se for mudar). A senha
                         é lida da entrada padrão (uma linha; no terminal é pedida duas vezes,
                         sem eco), nunca da linha de comando. Trocar a senha encerra na hora
                         as sessões do operador, em todos os servidores do banco.
                         Com --custo-senha minimo o hash sai barato: só para bancos de teste.
  desativar-operador     --usuario NOME: recusa os logins do operador e encerra as sessões
                         dele na hora; os pedidos seguintes recebem 0.
  ativar-operador        --usuario NOME: volta a aceitar os logins do operador.
  remover-operador       --usuario NOME: apaga o operador e encerra as sessões dele.
  sessoes                lista as sessões abertas (endereço, operador, departamento, horários).
  encerrar-sessoes       encerra as sessões de --usuario NOME (de todos, sem --usuario).
  backup                 --para ARQUIVO: cópia consistente do banco SQLite num arquivo novo,
                         feita com o servidor atendendo. Para PostgreSQL use pg_dump.
  listar                 mostra os departamentos (com o número de fichas) e os operadores.
  verificar              procura no banco o que quebraria as listas de fichas: nomes de
                         departamento com "|" ou "@@@", ou que começam ou terminam com "@",
                         e fichas com "@@@" num campo. Termina com 0 se nada achar, 1 se achar.
  demo                   cria um banco de demonstração: departamento 1 "Secretaria Geral",
                         operador "admin" com senha "admin" e --fichas N fichas (300 se omitido).
                         Recusa um arquivo SQLite que já exista e qualquer banco que já
                         tenha departamentos, operadores ou fichas.
  gerar-fichas           acrescenta --quantidade N fichas de demonstração ao departamento
                         --departamento N (números a seguir do maior existente).

Opções:
  --db CONEXÃO           o banco: sqlite:CAMINHO (padrão sqlite:zelto-registro.db) ou
                         postgresql://USUÁRIO@SERVIDOR:PORTA/BANCO. Sem --db vale a variável
                         ZELTO_DB. Não ponha a senha do PostgreSQL aqui (a linha de comando
                         aparece no ps): ela vem de PGPASSFILE ou ~/.pgpass (ou PGPASSWORD);
                         um serviço de pg_service.conf serve com ?service=NOME. Outras opções
                         aceitas depois de "?": host (pasta do soquete Unix), port, sslmode,
                         sslrootcert, sslcert, sslkey, connect_timeout, passfile,
                         application_name.
  --listen END:PORTA     onde atender (padrão 127.0.0.1:9998; porta 0 = uma porta livre).
  --sessao-horas H       horas sem pedidos após as quais uma sessão expira
                         (padrão 12; aceita frações).
  --sessao-por-endereco  regra antiga, só para escritórios que ainda usam o cliente original
                         (que não combina sessão): um login desse cliente abre uma sessão para
                         o ENDEREÇO inteiro, que dura até expirar. RISCO: qualquer programa no
                         computador do operador, ou em qualquer computador atrás do mesmo NAT,
                         lê, grava e exclui fichas como ele, sem login. Desligada (padrão), a
                         sessão desse cliente vale só para a conexão em que ele fez login.
  --silencio-ms N        silêncio, em ms, esperado depois que a última parte de um pedido
                         começa a chegar, antes de atendê-lo (padrão 2). Um pedido cuja
                         última parte já é a descrição inteira do departamento da sessão
                         é atendido na hora.
  --espera-ms N          silêncio, em ms, após o qual um pedido ao qual faltam partes é
                         recusado com 0 (padrão 300).
  --fila-conexoes N      conexões que o sistema guarda esperando ser aceitas (backlog de
                         listen; padrão 1024, de 1 a 65535).
  --leitores N           quantas conexões ao banco atendem buscas e logins em paralelo
                         (padrão 2, de 1 a 64); as alterações têm uma conexão só delas.
  --semente N            semente das fichas de demonstração (padrão 1).
  --help                 mostra esta ajuda.

Limites (o que um cliente pode tomar dos outros; cada vez que um é atingido o diário diz,
no máximo uma linha por segundo de cada tipo). "Com login" é a conexão em que um login foi
aceito, que retomou uma sessão viva com o segredo, ou que teve um pedido atendido por uma
sessão.
  --conexoes-max N       conexões abertas ao mesmo tempo (padrão 0 = o limite de arquivos
                         abertos, que o servidor eleva ao máximo permitido ao iniciar, menos
                         uma reserva para o banco; um valor maior que esse é reduzido a
                         ele). Ao chegar nele, a conexão sem login mais antiga é encerrada
                         para dar lugar à nova; se todas têm login, a nova é recusada.
  --conexoes-por-endereco N
                         conexões abertas de um mesmo endereço (padrão 64; uma rede com NAT
                         mostra todos os seus computadores com um endereço só). As demais
                         são fechadas sem o "2".
  --sem-login-s S        segundos até fechar uma conexão sem login (padrão 60; aceita
                         frações). O keep-alive não adia este prazo; cada login tentado, sim.
  --ociosa-horas H       horas sem nenhuma mensagem (o keep-alive conta) até fechar uma
                         conexão com login (padrão 2; aceita frações). O cliente Zelto se
                         reconecta sozinho no pedido seguinte.
  --pedido-sem-login-kib N
                         KiB de um pedido ainda incompleto numa conexão sem login (padrão
                         16, de 2 a 1024; um login tem menos de 2 KiB). Acima disso: 0 e a
                         conexão é fechada. Conexões com login (ou que retomaram uma sessão
                         viva) podem mandar pedidos de até 1 MiB; com --sessao-por-endereco,
                         também as novas de um endereço com login recente.
  --fila-senhas N        conferências de senha esperando ou em curso (padrão 16); com a
                         fila cheia o login recebe 0 na hora.
  --senhas-por-endereco N
                         quantas dessas podem ser de um mesmo endereço (padrão 2).
  --rajada-logins N      tentativas de login que um endereço pode fazer de uma vez, com
                         qualquer nome de usuário (padrão 20) ...
  --logins-por-minuto N  ... e depois por minuto (padrão 20). Acima disso: 0 na hora. Um
                         login aceito não gasta do endereço.

Regras do atendimento: cada conexão recebe "2" ao ser aceita e uma resposta por pedido; o
keep-alive "1" nunca é respondido. Um login aceito abre uma sessão da conexão, guardada no
banco (vale em todos os servidores do mesmo banco e depois de um reinício): pedidos de uma
conexão sem sessão, ou para um departamento que não é o do operador da sessão, recebem 0.
O cliente Zelto combina a sessão ao conectar e a retoma com um segredo ao reconectar, sem
novo login; o Logoff a encerra no servidor. Um cliente que não combina nada tem a sessão só
enquanto durar a conexão do login (veja --sessao-por-endereco). Se a conexão com o banco cair, os pedidos recebem 0 na hora e o
servidor a reabre sozinho assim que o banco voltar; o diário avisa se demorar. Logins errados repetidos para o mesmo usuário e endereço são
retardados (só para aquele endereço: a senha certa vinda de outro computador entra). As buscas devolvem as fichas em ordem crescente de número.

Enquadramento combinado (só entre o cliente Zelto e este servidor): logo depois do "2", o
cliente pode mandar "99|zelto|1|quadros" (código, nome, versão, capacidades separadas por
vírgula). O servidor responde "99|zelto|1|" seguido das capacidades que aceita, e a partir
daí toda mensagem, nos dois sentidos, vai em pedaços "<tamanho>:<bytes>" (tamanho em
decimal) e termina com o pedaço vazio "0:". Assim o fim de cada resposta está nos próprios
bytes, sem esperar silêncio, e uma resposta longa sai em partes enquanto é lida do banco.
Um cliente que não pede isso recebe exatamente o protocolo simples de sempre.
Sessão combinada: entre as capacidades, "sessao" (conexão nova) ou "sessao=SEGREDO"
(reconexão); o servidor responde "sessao=SEGREDO": o mesmo, se ele nomeia uma sessão viva (a
conexão já está nela), ou um novo, que o próximo login da conexão usa. "encerrar=SEGREDO"
encerra aquela sessão (Logoff). O segredo são 32 bytes aleatórios em hexadecimal; o banco e
o diário guardam só um hash dele.
)";

struct Argumentos {
    QString comando = QStringLiteral("servir");
    QHash<QString, QString> opcoes;
    QString erro;

    QString valor(const char* nome, const QString& padrao = QString()) const
    {
        return opcoes.value(QString::fromLatin1(nome), padrao);
    }
    bool tem(const char* nome) const { return opcoes.contains(QString::fromLatin1(nome)); }
};

Argumentos leArgumentos(const QStringList& lista)
{
    static const QStringList conhecidas = {QStringLiteral("db"), QStringLiteral("listen"), QStringLiteral("sessao-horas"),
                                           QStringLiteral("silencio-ms"), QStringLiteral("espera-ms"), QStringLiteral("id"),
                                           QStringLiteral("nome"), QStringLiteral("usuario"), QStringLiteral("departamento"),
                                           QStringLiteral("fichas"), QStringLiteral("quantidade"), QStringLiteral("semente"),
                                           QStringLiteral("custo-senha"), QStringLiteral("fila-conexoes"), QStringLiteral("leitores"),
                                           QStringLiteral("para"),
                                           // resource limits
                                           QStringLiteral("conexoes-max"), QStringLiteral("conexoes-por-endereco"),
                                           QStringLiteral("sem-login-s"), QStringLiteral("ociosa-horas"),
                                           QStringLiteral("pedido-sem-login-kib"), QStringLiteral("fila-senhas"),
                                           QStringLiteral("senhas-por-endereco"), QStringLiteral("rajada-logins"),
                                           QStringLiteral("logins-por-minuto")};
    // Options that take no value.
    static const QStringList sinais = {QStringLiteral("sessao-por-endereco")};
    Argumentos a;
    bool temComando = false;
    for (qsizetype i = 1; i < lista.size(); ++i) {
        const QString arg = lista[i];
        if (arg == QLatin1String("--help") || arg == QLatin1String("-h")) {
            a.comando = QStringLiteral("ajuda");
            return a;
        }
        if (arg.startsWith(QLatin1String("--"))) {
            QString nome = arg.mid(2), valor;
            const qsizetype igual = nome.indexOf(u'=');
            if (sinais.contains(nome)) {
                a.opcoes.insert(nome, QStringLiteral("1"));
                continue;
            }
            if (igual >= 0) {
                valor = nome.mid(igual + 1);
                nome.truncate(igual);
            } else if (i + 1 < lista.size()) {
                valor = lista[++i];
            } else {
                a.erro = QStringLiteral("falta o valor de --%1").arg(nome);
                return a;
            }
            if (!conhecidas.contains(nome)) {
                a.erro = QStringLiteral("opção desconhecida --%1").arg(nome);
                return a;
            }
            a.opcoes.insert(nome, valor);
        } else if (!temComando) {
            a.comando = arg;
            temComando = true;
        } else {
            a.erro = QStringLiteral("argumento inesperado \"%1\"").arg(arg);
            return a;
        }
    }
    return a;
}

void escreve(FILE* saida, const QString& texto)
{
    const QByteArray b = texto.toUtf8();
    std::fwrite(b.constData(), 1, size_t(b.size()), saida);
    std::fflush(saida);
}

int erro(const QString& texto)
{
    escreve(stderr, QStringLiteral("zelto-server: %1\n").arg(texto));
    return 1;
}

bool inteiro(const QString& texto, qint64 menor, qint64 maior, qint64& valor)
{
    bool ok = false;
    valor = texto.toLongLong(&ok);
    return ok && valor >= menor && valor <= maior;
}

// One line of standard input, without echo when it is a terminal.
bool leLinha(QString& linha, bool semEco)
{
    termios antes{};
    const bool terminal = semEco && isatty(STDIN_FILENO) && tcgetattr(STDIN_FILENO, &antes) == 0;
    if (terminal) {
        termios sem = antes;
        sem.c_lflag &= ~tcflag_t(ECHO);
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &sem);
    }
    QByteArray bytes;
    int c;
    while ((c = std::getchar()) != EOF && c != '\n')
        bytes += char(c);
    if (terminal) {
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &antes);
        escreve(stderr, QStringLiteral("\n"));
    }
    if (bytes.endsWith('\r'))
        bytes.chop(1);
    linha = QString::fromUtf8(bytes);
    return c != EOF || !bytes.isEmpty();
}

bool leSenha(QString& senha)
{
    const bool terminal = isatty(STDIN_FILENO);
    if (terminal)
        escreve(stderr, QStringLiteral("Senha: "));
    if (!leLinha(senha, true) || senha.isEmpty())
        return false;
    if (terminal) {
        QString outra;
        escreve(stderr, QStringLiteral("Repita a senha: "));
        if (!leLinha(outra, true) || outra != senha) {
            erro(QStringLiteral("as senhas não conferem"));
            return false;
        }
    }
    return true;
}

bool abreArmazem(Banco& armazem, bool criar)
{
    Esquema esquema(armazem);
    // An existing database made by an earlier version is brought up to date first.
    if (!armazem.abre(criar) || (!criar && (!esquema.temEsquema() || !esquema.atualizaEsquema()))) {
        erro(armazem.ultimoErro());
        return false;
    }
    if (criar && !esquema.criaEsquema()) {
        erro(armazem.ultimoErro());
        return false;
    }
    return true;
}

// Says why on standard error when the department cannot be read or does not exist.
bool departamentoExiste(Banco& armazem, qint32 id)
{
    QList<Departamento> deps;
    if (!Cadastro(armazem).departamentos(deps)) {
        erro(armazem.ultimoErro());
        return false;
    }
    if (std::none_of(deps.cbegin(), deps.cend(), [&](const Departamento& d) { return d.id == id; })) {
        erro(QStringLiteral("o departamento %1 não existe").arg(id));
        return false;
    }
    return true;
}

bool geraFichas(Banco& armazem, qint32 departamento, int quantas, quint32 semente)
{
    qint32 numero = 0;
    if (!armazem.iniciaTransacao() || !FichasGravadas(armazem).proximoNumero(departamento, numero)) {
        erro(armazem.ultimoErro());
        return false;
    }
    for (clsAgenda f : FichasDemo::gera(quantas, semente)) {
        f.numeroFicha = numero++;
        if (!FichasGravadas(armazem).insere(departamento, f)) {
            erro(armazem.ultimoErro());
            armazem.desfazTransacao();
            return false;
        }
    }
    if (!armazem.confirmaTransacao()) {
        erro(armazem.ultimoErro());
        return false;
    }
    return true;
}

// SIGTERM and SIGINT end the loop cleanly: the handler only writes a byte to a socket pair
// the loop watches.
int paresDeSinal[2] = {-1, -1};

void aoSinal(int)
{
    const char b = 1;
    [[maybe_unused]] const auto n = ::write(paresDeSinal[0], &b, 1);
}

// The resource limits' options; false (said on standard error) when one is out of range.
bool limites(const Argumentos& a, Servidor::Opcoes& opcoes)
{
    struct Inteira {
        const char* nome;
        qint64 padrao, menor, maior;
        int Servidor::Opcoes::*campo;
    };
    static const Inteira inteiras[] = {
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
    bool ok = false;
    const double segundos = a.valor("sem-login-s", QStringLiteral("60")).toDouble(&ok);
    if (!ok || !(segundos >= 0.1 && segundos <= 86'400)) {
        erro(QStringLiteral("--sem-login-s espera um número de 0,1 a 86400 (use ponto para frações)"));
        return false;
    }
    opcoes.semLoginMs = int(segundos * 1000.0);
    const double horas = a.valor("ociosa-horas", QStringLiteral("2")).toDouble(&ok);
    if (!ok || !(horas > 0 && horas <= 500)) {
        erro(QStringLiteral("--ociosa-horas espera um número maior que 0 e até 500"));
        return false;
    }
    opcoes.ociosaMs = std::max<qint64>(100, qint64(horas * 3600'000.0));
    return true;
}

int servir(const Argumentos& a, const QString& banco)
{
    // A search of a large department builds a reply of several megabytes. Kept in the heap
    // instead of fresh mappings, the memory of one reply serves the next without the kernel
    // having to hand out (and zero) every page again.
    mallopt(M_MMAP_THRESHOLD, 64 << 20);
    mallopt(M_TRIM_THRESHOLD, 128 << 20);
    Servidor::Opcoes opcoes;
    const QString escuta = a.valor("listen", QStringLiteral("127.0.0.1:9998"));
    const qsizetype doisPontos = escuta.lastIndexOf(u':');
    qint64 porta = 0;
    if (doisPontos <= 0 || !inteiro(escuta.mid(doisPontos + 1), 0, 65535, porta))
        return erro(QStringLiteral("--listen espera ENDEREÇO:PORTA, recebeu \"%1\"").arg(escuta));
    QString host = escuta.left(doisPontos);
    if (host.startsWith(u'[') && host.endsWith(u']'))
        host = host.mid(1, host.size() - 2);
    if (!opcoes.endereco.setAddress(host))
        return erro(QStringLiteral("endereço inválido em --listen: \"%1\"").arg(host));
    opcoes.porta = quint16(porta);
    bool ok = true;
    const double horas = a.valor("sessao-horas", QStringLiteral("12")).toDouble(&ok);
    if (!ok || horas <= 0)
        return erro(QStringLiteral("--sessao-horas espera um número positivo"));
    opcoes.sessaoMs = qint64(horas * 3600'000.0);
    qint64 ms = 0;
    if (!inteiro(a.valor("silencio-ms", QStringLiteral("2")), 0, 10'000, ms))
        return erro(QStringLiteral("--silencio-ms espera um número de 0 a 10000"));
    opcoes.silencioMs = int(ms);
    if (!inteiro(a.valor("espera-ms", QStringLiteral("300")), 1, 600'000, ms))
        return erro(QStringLiteral("--espera-ms espera um número de 1 a 600000"));
    opcoes.esperaIncompletaMs = int(ms);
    if (!inteiro(a.valor("fila-conexoes", QStringLiteral("1024")), 1, 65535, ms))
        return erro(QStringLiteral("--fila-conexoes espera um número de 1 a 65535"));
    opcoes.filaDeConexoes = int(ms);
    if (!inteiro(a.valor("leitores", QStringLiteral("2")), 1, 64, ms))
        return erro(QStringLiteral("--leitores espera um número de 1 a 64"));
    opcoes.leitores = int(ms);
    if (!limites(a, opcoes))
        return 1;
    opcoes.sessaoPorEndereco = a.tem("sessao-por-endereco");
    if (opcoes.sessaoPorEndereco)
        registraNoDiario(QStringLiteral("aviso: --sessao-por-endereco ligada: um login no protocolo simples vale para todo o endereço do "
                                        "cliente (qualquer programa naquele computador, ou atrás do mesmo NAT, age como o operador)"));

    Banco armazem(banco);
    if (!abreArmazem(armazem, false))
        return 1;

    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, paresDeSinal) != 0)
        return erro(QStringLiteral("não foi possível preparar os sinais"));
    QSocketNotifier notificador(paresDeSinal[1], QSocketNotifier::Read);
    QObject::connect(&notificador, &QSocketNotifier::activated, qApp, [] {
        char b;
        [[maybe_unused]] const auto n = ::read(paresDeSinal[1], &b, 1);
        registraNoDiario(QStringLiteral("encerrando"));
        QCoreApplication::quit();
    });
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

    Servidor servidor(armazem, opcoes);
    QString motivo;
    if (!servidor.escuta(motivo))
        return erro(QStringLiteral("não foi possível atender em %1: %2").arg(escuta, motivo));
    const QHostAddress ouvindo = servidor.enderecoOuvindo();
    const QString mostrado = ouvindo.protocol() == QAbstractSocket::IPv6Protocol ? QLatin1Char('[') + ouvindo.toString() + QLatin1Char(']')
                                                                                  : ouvindo.toString();
    registraNoDiario(QStringLiteral("banco %1").arg(armazem.descricao()));
    if (banco.contains(u'@') && !banco.startsWith(QLatin1String("sqlite:")) && banco.section(u'@', 0, 0).section(QLatin1String("://"), 1).contains(u':'))
        registraNoDiario(QStringLiteral("aviso: a senha do banco está na linha de comando, visível no ps; prefira PGPASSFILE ou ~/.pgpass"));
    registraNoDiario(QStringLiteral("ouvindo em %1:%2").arg(mostrado).arg(servidor.portaOuvindo()));
    return QCoreApplication::exec();
}

} // namespace

int executaZeltoServer(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("zelto-server"));
    const Argumentos a = leArgumentos(QCoreApplication::arguments());
    if (!a.erro.isEmpty())
        return erro(a.erro + QStringLiteral(" (veja zelto-server --help)"));
    if (a.comando == QLatin1String("ajuda") || a.comando == QLatin1String("help")) {
        escreve(stdout, QString::fromUtf8(ajuda));
        return 0;
    }
    if (!Senhas::inicializa())
        return erro(QStringLiteral("libsodium não pôde ser iniciada"));
    const QString banco = a.valor("db", qEnvironmentVariableIsEmpty("ZELTO_DB") ? QStringLiteral("sqlite:zelto-registro.db")
                                                                                 : qEnvironmentVariable("ZELTO_DB"));
    qint64 n = 0, m = 0;

    if (a.comando == QLatin1String("servir"))
        return servir(a, banco);

    if (a.comando == QLatin1String("desativar-operador") || a.comando == QLatin1String("ativar-operador")
        || a.comando == QLatin1String("remover-operador")) {
        const QString usuario = a.valor("usuario").trimmed();
        if (usuario.isEmpty())
            return erro(QStringLiteral("uso: zelto-server %1 --db CONEXÃO --usuario NOME").arg(a.comando));
        Banco armazem(banco);
        if (!abreArmazem(armazem, false))
            return 1;
        bool achou = false;
        const bool ok = a.comando == QLatin1String("remover-operador")
            ? Cadastro(armazem).removeOperador(usuario, achou)
            : Cadastro(armazem).ativaOperador(usuario, a.comando == QLatin1String("ativar-operador"), achou);
        if (!ok)
            return erro(armazem.ultimoErro());
        if (!achou)
            return erro(QStringLiteral("o operador %1 não existe").arg(usuario));
        escreve(stdout, a.comando == QLatin1String("remover-operador")  ? QStringLiteral("Operador %1 removido; sessões encerradas.\n").arg(usuario)
                        : a.comando == QLatin1String("ativar-operador") ? QStringLiteral("Operador %1 ativado.\n").arg(usuario)
                                                                         : QStringLiteral("Operador %1 desativado; sessões encerradas.\n").arg(usuario));
        return 0;
    }

    if (a.comando == QLatin1String("sessoes")) {
        Banco armazem(banco);
        if (!abreArmazem(armazem, false))
            return 1;
        QList<SessaoGravada> lista;
        if (!SessoesGravadas(armazem).sessoes(lista))
            return erro(armazem.ultimoErro());
        const auto hora = [](qint64 ms) { return QDateTime::fromMSecsSinceEpoch(ms).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")); };
        QString texto = QStringLiteral("Sessões abertas: %1\n").arg(lista.size());
        for (const SessaoGravada& s : lista)
            texto += QStringLiteral("  %1  %2  departamento %3  aberta %4  último pedido %5%6\n")
                         .arg(s.usuario, -20)
                         .arg(s.endereco, -15)
                         .arg(s.idDepartamento)
                         .arg(hora(s.abertaEmMs), hora(s.ultimaAtividadeMs),
                              s.compartilhada ? QStringLiteral("  (de todo o endereço)") : QString());
        escreve(stdout, texto);
        return 0;
    }

    if (a.comando == QLatin1String("encerrar-sessoes")) {
        Banco armazem(banco);
        if (!abreArmazem(armazem, false))
            return 1;
        qint64 quantas = 0;
        if (!SessoesGravadas(armazem).encerraSessoes(a.valor("usuario").trimmed(), quantas))
            return erro(armazem.ultimoErro());
        escreve(stdout, QStringLiteral("%1 sessão(ões) encerrada(s).\n").arg(quantas));
        return 0;
    }

    if (a.comando == QLatin1String("backup")) {
        const QString destino = a.valor("para");
        if (destino.isEmpty())
            return erro(QStringLiteral("uso: zelto-server backup --db sqlite:CAMINHO --para ARQUIVO"));
        Banco armazem(banco);
        if (!abreArmazem(armazem, false))
            return 1;
        if (!copiaPara(armazem, destino))
            return erro(armazem.ultimoErro());
        escreve(stdout, QStringLiteral("Cópia gravada em %1.\n").arg(destino));
        return 0;
    }

    if (a.comando == QLatin1String("criar-banco")) {
        Banco armazem(banco);
        if (!abreArmazem(armazem, true))
            return 1;
        escreve(stdout, QStringLiteral("Banco pronto: %1\n").arg(armazem.descricao()));
        return 0;
    }

    if (a.comando == QLatin1String("departamento")) {
        if (!inteiro(a.valor("id"), 1, std::numeric_limits<qint32>::max(), n) || a.valor("nome").trimmed().isEmpty())
            return erro(QStringLiteral("uso: zelto-server departamento --db CONEXÃO --id N --nome TEXTO"));
        if (const QString nome = a.valor("nome").trimmed(); nome.contains(u'|') || nome.contains(QLatin1String("@@@"))
                                                             || nome.startsWith(u'@') || nome.endsWith(u'@'))
            return erro(QStringLiteral("o nome do departamento não pode ter \"|\" nem \"@@@\", "
                                       "nem começar ou terminar com \"@\" (quebraria as listas de fichas)"));
        Banco armazem(banco);
        if (!abreArmazem(armazem, false))
            return 1;
        if (!Cadastro(armazem).gravaDepartamento({qint32(n), a.valor("nome").trimmed()}))
            return erro(armazem.ultimoErro());
        escreve(stdout, QStringLiteral("Departamento %1 gravado.\n").arg(n));
        return 0;
    }

    if (a.comando == QLatin1String("operador")) {
        const QString usuario = a.valor("usuario").trimmed();
        const bool comDepartamento = a.tem("departamento");
        if (usuario.isEmpty() || (comDepartamento && !inteiro(a.valor("departamento"), 1, std::numeric_limits<qint32>::max(), n)))
            return erro(QStringLiteral("uso: zelto-server operador --db CONEXÃO --usuario NOME [--departamento N]  (senha pela entrada padrão)"));
        if (usuario.contains(u'|') || usuario.size() > 20)
            return erro(QStringLiteral("o nome de usuário tem no máximo 20 caracteres e nenhum \"|\""));
        Banco armazem(banco);
        if (!abreArmazem(armazem, false))
            return 1;
        std::optional<Operador> atual;
        if (!Cadastro(armazem).operador(usuario, atual))
            return erro(armazem.ultimoErro());
        if (!comDepartamento && !atual)
            return erro(QStringLiteral("o operador %1 não existe: para incluí-lo dê também --departamento N").arg(usuario));
        if (comDepartamento && !departamentoExiste(armazem, qint32(n)))
            return 1;
        QString senha;
        if (!leSenha(senha))
            return erro(QStringLiteral("nenhuma senha lida da entrada padrão"));
        if (senha.contains(u'|') || senha.size() > 20)
            return erro(QStringLiteral("a senha tem no máximo 20 caracteres e nenhum \"|\" (limites da tela de login)"));
        const QString custo = a.valor("custo-senha", QStringLiteral("interativo"));
        if (custo != QLatin1String("interativo") && custo != QLatin1String("minimo"))
            return erro(QStringLiteral("--custo-senha aceita interativo (padrão) ou minimo"));
        const QString hash = Senhas::gera(senha, custo == QLatin1String("minimo"));
        if (hash.isEmpty())
            return erro(QStringLiteral("não foi possível calcular o hash da senha"));
        bool novo = false, achou = false;
        qint64 encerradas = 0;
        if (!comDepartamento) {
            // A new password: that operator's sessions end at once, on every server.
            if (!Cadastro(armazem).trocaSenha(usuario, hash, achou))
                return erro(armazem.ultimoErro());
            escreve(stdout, QStringLiteral("Senha de %1 alterada; sessões encerradas.\n").arg(usuario));
            return 0;
        }
        if (!Cadastro(armazem).gravaOperador(usuario, hash, qint32(n), novo) || (!novo && !SessoesGravadas(armazem).encerraSessoes(usuario, encerradas)))
            return erro(armazem.ultimoErro());
        escreve(stdout, novo ? QStringLiteral("Operador %1 incluído.\n").arg(usuario)
                             : QStringLiteral("Senha e departamento de %1 alterados; sessões encerradas.\n").arg(usuario));
        return 0;
    }

    if (a.comando == QLatin1String("listar")) {
        Banco armazem(banco);
        if (!abreArmazem(armazem, false))
            return 1;
        QList<Departamento> deps;
        QList<Operador> ops;
        if (!Cadastro(armazem).departamentos(deps) || !Cadastro(armazem).operadores(ops))
            return erro(armazem.ultimoErro());
        QString texto = QStringLiteral("Departamentos:\n");
        for (const Departamento& d : deps) {
            qint64 fichas = 0;
            FichasGravadas(armazem).contaFichas(d.id, fichas);
            texto += QStringLiteral("  %1  %2  (%3 fichas)\n").arg(d.id, 4).arg(d.descricao).arg(fichas);
        }
        texto += QStringLiteral("Operadores:\n");
        for (const Operador& o : ops)
            texto += QStringLiteral("  %1  departamento %2 (%3)%4\n")
                         .arg(o.usuario, -20)
                         .arg(o.departamento.id)
                         .arg(o.departamento.descricao, o.ativo ? QString() : QStringLiteral("  DESATIVADO"));
        escreve(stdout, texto);
        return 0;
    }

    if (a.comando == QLatin1String("verificar")) {
        Banco armazem(banco);
        if (!abreArmazem(armazem, false))
            return 1;
        QList<Departamento> deps;
        QList<QPair<qint32, qint32>> fichas;
        if (!Cadastro(armazem).departamentos(deps) || !FichasGravadas(armazem).fichasComSeparador(fichas))
            return erro(armazem.ultimoErro());
        QString texto;
        for (const Departamento& d : deps)
            if (d.descricao.contains(u'|') || d.descricao.contains(QLatin1String("@@@")) || d.descricao.startsWith(u'@')
                || d.descricao.endsWith(u'@'))
                texto += QStringLiteral("  departamento %1: o nome quebra as listas; renomeie com "
                                        "zelto-server departamento --id %1 --nome ...\n")
                             .arg(d.id);
        for (const auto& [dep, numero] : fichas)
            texto += QStringLiteral("  departamento %1, ficha %2: um campo tem \"@@@\"; corrija a ficha no programa\n")
                         .arg(dep)
                         .arg(numero);
        if (texto.isEmpty()) {
            escreve(stdout, QStringLiteral("Nada no banco quebra as listas de fichas.\n"));
            return 0;
        }
        escreve(stdout, QStringLiteral("Encontrado o que quebra as listas de fichas:\n") + texto);
        return 1;
    }

    if (a.comando == QLatin1String("demo")) {
        if (!inteiro(a.valor("fichas", QStringLiteral("300")), 0, 1'000'000, n) || !inteiro(a.valor("semente", QStringLiteral("1")), 0, 0xFFFFFFFFLL, m))
            return erro(QStringLiteral("uso: zelto-server demo --db sqlite:CAMINHO [--fichas N] [--semente N]"));
        if (banco.startsWith(QLatin1String("sqlite:")) && QFileInfo::exists(banco.mid(7)))
            return erro(QStringLiteral("%1 já existe; a demonstração só cria um banco novo").arg(banco.mid(7)));
        Banco armazem(banco);
        if (!abreArmazem(armazem, true))
            return 1;
        // Never over a registry in use, whatever the store.
        bool temDados = false;
        if (!Cadastro(armazem).temDados(temDados))
            return erro(armazem.ultimoErro());
        if (temDados)
            return erro(QStringLiteral("o banco %1 já tem dados; a demonstração só usa um banco vazio").arg(armazem.descricao()));
        const QString hash = Senhas::gera(QStringLiteral("admin"));
        bool novo = false;
        if (hash.isEmpty() || !Cadastro(armazem).gravaDepartamento({1, QStringLiteral("Secretaria Geral")})
            || !Cadastro(armazem).gravaOperador(QStringLiteral("admin"), hash, 1, novo))
            return erro(armazem.ultimoErro());
        if (!geraFichas(armazem, 1, int(n), quint32(m)))
            return 1;
        escreve(stdout, QStringLiteral("Banco de demonstração criado: %1\n"
                                       "  departamento 1 \"Secretaria Geral\", %2 fichas\n"
                                       "  usuário: admin   senha: admin\n")
                            .arg(armazem.descricao())
                            .arg(n));
        return 0;
    }

    if (a.comando == QLatin1String("gerar-fichas")) {
        if (!inteiro(a.valor("departamento"), 1, std::numeric_limits<qint32>::max(), n)
            || !inteiro(a.valor("quantidade"), 1, 1'000'000, m))
            return erro(QStringLiteral("uso: zelto-server gerar-fichas --db CONEXÃO --departamento N --quantidade N [--semente N]"));
        qint64 semente = 1;
        if (!inteiro(a.valor("semente", QStringLiteral("1")), 0, 0xFFFFFFFFLL, semente))
            return erro(QStringLiteral("--semente espera um número"));
        Banco armazem(banco);
        if (!abreArmazem(armazem, false))
            return 1;
        if (!departamentoExiste(armazem, qint32(n)))
            return 1;
        if (!geraFichas(armazem, qint32(n), int(m), quint32(semente)))
            return 1;
        escreve(stdout, QStringLiteral("%1 fichas acrescentadas ao departamento %2.\n").arg(m).arg(n));
        return 0;
    }

    return erro(QStringLiteral("comando desconhecido \"%1\" (veja zelto-server --help)").arg(a.comando));
}
