// The administration commands: each opens the store, does one thing to its departments,
// operators, sessions or sheets, and says what it did on standard output.
#include "server/admin/ComandosDeAdministracao.h"
#include "server/store/ArquivosDoRegistro.h"
#include "server/store/Banco.h"
#include "server/store/Cadastro.h"
#include "server/store/Copia.h"
#include "server/Diario.h"
#include "server/admin/Esquema.h"
#include "server/store/FichasDemo.h"
#include "server/store/FichasGravadas.h"
#include "server/admin/LinhaDeComando.h"
#include "server/Senhas.h"
#include "server/store/SessoesGravadas.h"

#include <QDateTime>
#include <QFileInfo>
#include <QStringDecoder>

#include <algorithm>
#include <cstdio>
#include <limits>
#include <optional>
#include <termios.h>
#include <unistd.h>

namespace {

constexpr qint64 maiorId = std::numeric_limits<qint32>::max();   // department numbers are 32-bit on the wire

// NUL, ESC, line breaks and the like: no login types them, and `listar` would print them raw.
bool temControle(const QString& texto)
{
    return std::any_of(texto.cbegin(), texto.cend(), [](QChar c) { return c.category() == QChar::Other_Control; });
}

// One line of standard input, without echo when it is a terminal. `utf8` says whether its
// bytes were UTF-8: a Latin-1 terminal's "ç" would be kept as U+FFFD, which no login types.
bool leLinha(QString& linha, bool semEco, bool& utf8)
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
    QStringDecoder decodificador(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    linha = decodificador(bytes);
    utf8 = !decodificador.hasError();
    return c != EOF || !bytes.isEmpty();
}

bool leSenha(QString& senha, bool& utf8)
{
    const bool terminal = isatty(STDIN_FILENO);
    if (terminal)
        escreve(stderr, QStringLiteral("Senha: "));
    if (!leLinha(senha, true, utf8) || senha.isEmpty())
        return false;
    if (terminal) {
        QString outra;
        bool outraUtf8 = true;
        escreve(stderr, QStringLiteral("Repita a senha: "));
        if (!leLinha(outra, true, outraUtf8) || outra != senha) {
            erro(QStringLiteral("as senhas não conferem"));
            return false;
        }
    }
    return true;
}

// The new password from standard input, checked and hashed at --custo-senha; empty (said
// on standard error) when there is none fit to keep.
QString hashDaSenhaLida(const Argumentos& a)
{
    QString senha;
    bool utf8 = true;
    if (!leSenha(senha, utf8)) {
        erro(QStringLiteral("nenhuma senha lida da entrada padrão"));
        return {};
    }
    if (!utf8) {
        erro(QStringLiteral("a senha lida não é UTF-8 (o terminal usa outra codificação?); ninguém conseguiria entrar com ela"));
        return {};
    }
    if (senha.contains(u'|') || senha.size() > 20) {
        erro(QStringLiteral("a senha tem no máximo 20 caracteres e nenhum \"|\" (limites da tela de login)"));
        return {};
    }
    if (temControle(senha)) {
        erro(QStringLiteral("a senha não pode ter caracteres de controle (não se digitam na tela de login)"));
        return {};
    }
    if (senha.size() < 8 || senha.trimmed().isEmpty()) {
        erro(QStringLiteral("a senha precisa ter pelo menos 8 caracteres e não pode ser só espaços"));
        return {};
    }
    const QString custo = a.valor("custo-senha", QStringLiteral("interativo"));
    if (custo != QLatin1String("interativo") && custo != QLatin1String("minimo")) {
        erro(QStringLiteral("--custo-senha aceita interativo (padrão) ou minimo"));
        return {};
    }
    const QString hash = Senhas::gera(senha, custo == QLatin1String("minimo"));
    if (hash.isEmpty())
        erro(QStringLiteral("não foi possível calcular o hash da senha"));
    return hash;
}

// Why a department's or operator's name given on the line is refused; empty when it is fit.
// A byte that was no UTF-8 reaches here as U+FFFD.
QString nomeRecusado(const QString& nome, const char* oQue)
{
    if (nome.contains(QChar::ReplacementCharacter))
        return QStringLiteral("%1 não é UTF-8 válido (o terminal usa outra codificação?)").arg(QString::fromUtf8(oQue));
    if (temControle(nome))
        return QStringLiteral("%1 não pode ter caracteres de controle (tabulação, quebra de linha, ESC...)").arg(QString::fromUtf8(oQue));
    return {};
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

// A department's name with these would break the lists of sheets on the wire.
bool quebraAsListas(const QString& nome)
{
    return nome.contains(u'|') || nome.contains(QLatin1String("@@@")) || nome.startsWith(u'@') || nome.endsWith(u'@');
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

// One operator named by --usuario: `muda` is the store's call, `feito` the line said after.
template <typename Muda>
int mudaOperador(const Argumentos& a, const QString& banco, Muda muda, const QString& feito)
{
    const QString usuario = a.valor("usuario").trimmed();
    if (usuario.isEmpty())
        return erro(QStringLiteral("uso: zelto-server %1 --db CONEXÃO --usuario NOME").arg(a.comando));
    Banco armazem(banco);
    if (!abreArmazem(armazem, false))
        return 1;
    bool achou = false;
    if (!muda(armazem, usuario, achou))
        return erro(armazem.ultimoErro());
    if (!achou)
        return erro(QStringLiteral("o operador %1 não existe").arg(usuario));
    escreve(stdout, feito.arg(usuario));
    return 0;
}

} // namespace

bool abreArmazem(Banco& armazem, bool criar)
{
    const QString arquivo = armazem.conexao().startsWith(QLatin1String("sqlite:")) ? armazem.conexao().mid(7) : QString();
    const bool arquivoNovo = criar && !arquivo.isEmpty() && !QFileInfo::exists(arquivo);
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
    // What the migration found (a history whose chain already failed) reaches the log.
    for (const QString& aviso : esquema.avisos())
        registraNoDiario(aviso);
    // Made by root in the service's folder, it would stay root's and the service could not write.
    QString porque;
    if (arquivoNovo && !ArquivosDoRegistro::entregaAoDonoDaPasta(arquivo, porque)) {
        erro(QStringLiteral("banco: %1 (rode o comando como o dono da pasta, p.ex. sudo -u %2 zelto-server ...)")
                 .arg(porque, ArquivosDoRegistro::donoEModo(QFileInfo(arquivo).absolutePath()).section(u':', 0, 0)));
        return false;
    }
    return true;
}

int Comando::criarBanco(const Argumentos&, const QString& banco)
{
    Banco armazem(banco);
    if (!abreArmazem(armazem, true))
        return 1;
    escreve(stdout, QStringLiteral("Banco pronto: %1\n").arg(armazem.descricao()));
    return 0;
}

int Comando::departamento(const Argumentos& a, const QString& banco)
{
    qint64 n = 0;
    if (!a.tem("id") || a.valor("nome").trimmed().isEmpty())
        return erro(QStringLiteral("uso: zelto-server departamento --db CONEXÃO --id N --nome TEXTO"));
    if (!inteiroDaOpcao(a, "id", 0, 1, maiorId, n))
        return 1;
    const QString nome = a.valor("nome").trimmed();
    if (quebraAsListas(nome))
        return erro(QStringLiteral("o nome do departamento não pode ter \"|\" nem \"@@@\", "
                                   "nem começar ou terminar com \"@\" (quebraria as listas de fichas)"));
    if (const QString motivo = nomeRecusado(nome, "o nome do departamento"); !motivo.isEmpty())
        return erro(motivo);
    Banco armazem(banco);
    if (!abreArmazem(armazem, false))
        return 1;
    QList<Departamento> deps;
    if (!Cadastro(armazem).departamentos(deps) || !Cadastro(armazem).gravaDepartamento({qint32(n), nome}))
        return erro(armazem.ultimoErro());
    // A rename changes what every operator of that department sees: say it from what to what.
    const auto antes = std::find_if(deps.cbegin(), deps.cend(), [&](const Departamento& d) { return d.id == n; });
    if (antes != deps.cend() && antes->descricao != nome)
        escreve(stdout, QStringLiteral("Departamento %1 renomeado de \"%2\" para \"%3\".\n").arg(n).arg(antes->descricao, nome));
    else
        escreve(stdout, QStringLiteral("Departamento %1 gravado.\n").arg(n));
    return 0;
}

int Comando::operador(const Argumentos& a, const QString& banco)
{
    const QString usuario = a.valor("usuario").trimmed();
    const bool comDepartamento = a.tem("departamento");
    qint64 n = 0;
    if (usuario.isEmpty())
        return erro(QStringLiteral("uso: zelto-server operador --db CONEXÃO --usuario NOME [--departamento N]  (senha pela entrada padrão)"));
    if (comDepartamento && !inteiroDaOpcao(a, "departamento", 0, 1, maiorId, n))
        return 1;
    if (usuario.contains(u'|') || usuario.size() > 20)
        return erro(QStringLiteral("o nome de usuário tem no máximo 20 caracteres e nenhum \"|\""));
    if (const QString motivo = nomeRecusado(usuario, "o nome de usuário"); !motivo.isEmpty())
        return erro(motivo);
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
    const QString hash = hashDaSenhaLida(a);
    if (hash.isEmpty())
        return 1;
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

int Comando::desativarOperador(const Argumentos& a, const QString& banco)
{
    return mudaOperador(
        a, banco, [](Banco& armazem, const QString& usuario, bool& achou) { return Cadastro(armazem).ativaOperador(usuario, false, achou); },
        QStringLiteral("Operador %1 desativado; sessões encerradas.\n"));
}

int Comando::ativarOperador(const Argumentos& a, const QString& banco)
{
    return mudaOperador(
        a, banco, [](Banco& armazem, const QString& usuario, bool& achou) { return Cadastro(armazem).ativaOperador(usuario, true, achou); },
        QStringLiteral("Operador %1 ativado.\n"));
}

int Comando::removerOperador(const Argumentos& a, const QString& banco)
{
    return mudaOperador(
        a, banco, [](Banco& armazem, const QString& usuario, bool& achou) { return Cadastro(armazem).removeOperador(usuario, achou); },
        QStringLiteral("Operador %1 removido; sessões encerradas.\n"));
}

int Comando::sessoes(const Argumentos&, const QString& banco)
{
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

int Comando::encerrarSessoes(const Argumentos& a, const QString& banco)
{
    Banco armazem(banco);
    if (!abreArmazem(armazem, false))
        return 1;
    qint64 quantas = 0;
    if (!SessoesGravadas(armazem).encerraSessoes(a.valor("usuario").trimmed(), quantas))
        return erro(armazem.ultimoErro());
    escreve(stdout, QStringLiteral("%1 sessão(ões) encerrada(s).\n").arg(quantas));
    return 0;
}

int Comando::backup(const Argumentos& a, const QString& banco)
{
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

int Comando::listar(const Argumentos&, const QString& banco)
{
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

int Comando::verificar(const Argumentos&, const QString& banco)
{
    Banco armazem(banco);
    if (!abreArmazem(armazem, false))
        return 1;
    QList<Departamento> deps;
    QList<QPair<qint32, qint32>> fichas;
    if (!Cadastro(armazem).departamentos(deps) || !FichasGravadas(armazem).fichasComSeparador(fichas))
        return erro(armazem.ultimoErro());
    QString texto;
    for (const Departamento& d : deps)
        if (quebraAsListas(d.descricao))
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

int Comando::demo(const Argumentos& a, const QString& banco)
{
    qint64 n = 0, m = 0;
    if (!inteiroDaOpcao(a, "fichas", 300, 0, 1'000'000, n) || !inteiroDaOpcao(a, "semente", 1, 0, 0xFFFFFFFFLL, m))
        return 1;
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

int Comando::gerarFichas(const Argumentos& a, const QString& banco)
{
    qint64 n = 0, m = 0, semente = 1;
    if (!a.tem("departamento") || !a.tem("quantidade"))
        return erro(QStringLiteral("uso: zelto-server gerar-fichas --db CONEXÃO --departamento N --quantidade N [--semente N]"));
    if (!inteiroDaOpcao(a, "departamento", 0, 1, maiorId, n) || !inteiroDaOpcao(a, "quantidade", 0, 1, 1'000'000, m)
        || !inteiroDaOpcao(a, "semente", 1, 0, 0xFFFFFFFFLL, semente))
        return 1;
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
