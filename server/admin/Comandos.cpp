// zelto-server's commands: the table (one row each: name, its paragraph in --help, the
// options it reads, the function that runs it), the --help made from it, and the dispatch.
#include "server/admin/Comandos.h"
#include "server/admin/ComandoServir.h"
#include "server/admin/ComandosDeAdministracao.h"
#include "server/admin/ComandoSaude.h"
#include "server/admin/ComandosDoHistorico.h"
#include "server/admin/LinhaDeComando.h"
#include "server/Senhas.h"

#include <QCoreApplication>

#include <algorithm>

namespace {

const ComandoDoServidor comandos[] = {
    {"servir",
     "(o padrão) atende os clientes até receber SIGTERM ou SIGINT. Ao ficar pronto escreve em stderr a linha "
     "\"zelto-server: ouvindo em ENDEREÇO:PORTA\".",
     "db listen sessao-horas sessao-por-endereco silencio-ms espera-ms fila-conexoes leitores conexoes-max "
     "conexoes-por-endereco sem-login-s ociosa-horas sem-ler-s pedido-sem-login-kib fila-senhas senhas-por-endereco rajada-logins "
     "logins-por-minuto tls-certificado tls-chave exigir-tls metricas lento-ms",
     Comando::servir},
    {"saude",
     "pergunta a um servidor em execução (--listen END:PORTA) se ele atende, pelo próprio protocolo e sem login, e escreve "
     "uma linha. Termina com 0 se atende (o banco responde e aceita gravações), 1 se responde mas não atende (banco fora do "
     "ar, somente leitura, servidor encerrando), 2 se não responde dentro do prazo e 3 se os argumentos estão errados, como "
     "o pg_isready. Não diz nada sobre membros nem operadores.",
     "listen tls tls-certificado prazo-s", Comando::saude},
    {"certificado",
     "mostra a impressão digital SHA-256 do certificado TLS (--tls-certificado, padrão /etc/zelto/servidor.crt) na forma "
     "que o implantacao.ini dos clientes espera (certificado=...).",
     "tls-certificado", Comando::certificado},
    {"criar-banco", "cria o banco e as tabelas (não apaga nada que já exista).", "db", Comando::criarBanco},
    {"departamento", "inclui ou renomeia um departamento: --id N --nome TEXTO.", "db id nome", Comando::departamento},
    {"operador",
     "inclui um operador (--usuario NOME --departamento N) ou troca a senha de um que já existe (--departamento só se for "
     "mudar). A senha é lida da entrada padrão (uma linha; no terminal é pedida duas vezes, sem eco), nunca da linha de "
     "comando. Trocar a senha encerra na hora as sessões do operador, em todos os servidores do banco. Com --custo-senha "
     "minimo o hash sai barato: só para bancos de teste.",
     "db usuario departamento custo-senha", Comando::operador},
    {"desativar-operador",
     "--usuario NOME: recusa os logins do operador e encerra as sessões dele na hora; os pedidos seguintes recebem 0.",
     "db usuario", Comando::desativarOperador},
    {"ativar-operador", "--usuario NOME: volta a aceitar os logins do operador.", "db usuario", Comando::ativarOperador},
    {"remover-operador", "--usuario NOME: apaga o operador e encerra as sessões dele.", "db usuario", Comando::removerOperador},
    {"sessoes", "lista as sessões abertas (endereço, operador, departamento, horários).", "db", Comando::sessoes},
    {"encerrar-sessoes", "encerra as sessões de --usuario NOME (de todos, sem --usuario).", "db usuario",
     Comando::encerrarSessoes},
    {"backup",
     "--para ARQUIVO: cópia consistente do banco SQLite num arquivo novo, feita com o servidor atendendo. Para PostgreSQL "
     "use pg_dump.",
     "db para", Comando::backup},
    {"listar", "mostra os departamentos (com o número de fichas) e os operadores.", "db", Comando::listar},
    {"verificar",
     "procura no banco o que quebraria as listas de fichas: nomes de departamento com \"|\" ou \"@@@\", ou que começam ou "
     "terminam com \"@\", e fichas com \"@@@\" num campo. Termina com 0 se nada achar, 1 se achar.",
     "db", Comando::verificar},
    {"historico",
     "mostra o histórico (quem fez o quê, quando e de onde: inclusões, alterações com os valores antigos e novos, "
     "exclusões com a ficha como era, consultas, buscas, logins, logoffs e comandos), do mais antigo ao mais novo, "
     "filtrado por --ficha, --operador, --departamento, --desde e --ate; --csv para planilha. --verificar confere a "
     "cadeia de hashes; --elo HASH diz se um elo anotado ainda está nela; --apagar-ate DATA apaga as linhas antigas "
     "(retenção).",
     "db ficha operador departamento desde ate csv verificar elo apagar-ate", Comando::historico},
    {"titular",
     "--ficha N [--departamento N] --para ARQUIVO: tudo o que o registro guarda sobre um membro (a ficha e todo o "
     "histórico dela) num arquivo de texto legível e num CSV ao lado (ARQUIVO.csv, ou x.csv para x.txt), legíveis só pelo dono (modo 0600) e nunca sobre um arquivo existente. Com --eliminar (e --departamento), "
     "em vez disso, apaga a pedido do membro os valores pessoais do histórico da ficha já excluída (--excluir-ficha a exclui "
     "antes).",
     "db ficha departamento para eliminar excluir-ficha", Comando::titular},
    {"demo",
     "cria um banco de demonstração: departamento 1 \"Secretaria Geral\", operador \"admin\" com senha \"admin\" e --fichas "
     "N fichas (300 se omitido). Recusa um arquivo SQLite que já exista e qualquer banco que já tenha departamentos, "
     "operadores ou fichas.",
     "db fichas semente", Comando::demo},
    {"gerar-fichas",
     "acrescenta --quantidade N fichas de demonstração ao departamento --departamento N (números a seguir do maior "
     "existente).",
     "db departamento quantidade semente", Comando::gerarFichas},
};

// What --help says besides the rows, a paragraph a string.
const char* const apresentacao =
    "Servidor do registro de membros Zelto: atende os clientes pela rede e guarda as fichas num banco de dados.";
const char* const sobreLimites =
    "Limites (o que um cliente pode tomar dos outros; cada vez que um é atingido o diário diz, no máximo uma linha por "
    "segundo de cada tipo). \"Com login\" é a conexão em que um login foi aceito, que retomou uma sessão viva com o "
    "segredo, ou que teve um pedido atendido por uma sessão.";
const char* const regras[] = {
    "Regras do atendimento: cada conexão recebe \"2\" ao ser aceita e uma resposta por pedido; o keep-alive \"1\" nunca é "
    "respondido. Um login aceito abre uma sessão da conexão, guardada no banco (vale em todos os servidores do mesmo banco "
    "e depois de um reinício): pedidos de uma conexão sem sessão, ou para um departamento que não é o do operador da "
    "sessão, recebem 0. O cliente Zelto combina a sessão ao conectar e a retoma com um segredo ao reconectar, sem novo "
    "login; o Logoff a encerra no servidor. Um cliente que não combina nada tem a sessão só enquanto durar a conexão do "
    "login (veja --sessao-por-endereco). Se a conexão com o banco cair, os pedidos recebem 0 na hora e o servidor a reabre "
    "sozinho assim que o banco voltar; o diário avisa se demorar. Logins errados repetidos para o mesmo usuário e endereço "
    "são retardados (só para aquele endereço: a senha certa vinda de outro computador entra). As buscas devolvem as fichas "
    "em ordem crescente de número.",
    "Enquadramento combinado (só entre o cliente Zelto e este servidor): logo depois do \"2\", o cliente pode mandar "
    "\"99|zelto|1|quadros\" (código, nome, versão, capacidades separadas por vírgula). O servidor responde \"99|zelto|1|\" "
    "seguido das capacidades que aceita, e a partir daí toda mensagem, nos dois sentidos, vai em pedaços "
    "\"<tamanho>:<bytes>\" (tamanho em decimal) e termina com o pedaço vazio \"0:\". Assim o fim de cada resposta está nos "
    "próprios bytes, sem esperar silêncio, e uma resposta longa sai em partes enquanto é lida do banco. Um cliente que não "
    "pede isso recebe exatamente o protocolo simples de sempre.",
    "Sessão combinada: entre as capacidades, \"sessao\" (conexão nova) ou \"sessao=SEGREDO\" (reconexão); o servidor "
    "responde \"sessao=SEGREDO\": o mesmo, se ele nomeia uma sessão viva (a conexão já está nela), ou um novo, que o "
    "próximo login da conexão usa. \"encerrar=SEGREDO\" encerra aquela sessão (Logoff). O segredo são 32 bytes aleatórios "
    "em hexadecimal; o banco e o diário guardam só um hash dele.",
    "Saúde: \"99|zelto|1|saude\" (o comando saude) recebe só \"99|zelto|1|saude=ESTADO\" (serve, banco-fora, "
    "somente-leitura ou encerrando), sem login e sem nada sobre membros ou operadores.",
};

constexpr qsizetype largura = 94;   // columns of --help
constexpr qsizetype coluna = 25;    // where a row's description starts

// `texto` broken at spaces into lines that end by `largura`, every line starting `recuo`
// columns in (the caller writes what stands before the first one).
QString quebra(const char* texto, qsizetype recuo)
{
    QString saida, linha;
    for (const QString& palavra : QString::fromUtf8(texto).split(u' ', Qt::SkipEmptyParts)) {
        if (!linha.isEmpty() && recuo + linha.size() + 1 + palavra.size() > largura) {
            saida += linha + u'\n' + QString(recuo, u' ');
            linha.clear();
        }
        linha += (linha.isEmpty() ? QString() : QStringLiteral(" ")) + palavra;
    }
    return saida + linha + u'\n';
}

// "  ROTULO   description…"; a label too wide for its column stands on a line of its own.
QString linhaDaLista(const QString& rotulo, const char* texto)
{
    const QString esquerda = QStringLiteral("  ") + rotulo;
    const QString inicio = esquerda.size() + 2 <= coluna ? esquerda.leftJustified(coluna) : esquerda + u'\n' + QString(coluna, u' ');
    return inicio + quebra(texto, coluna);
}

QString linhaDaOpcao(const OpcaoDaLinha& o)
{
    QString rotulo = QStringLiteral("--") + QLatin1String(o.nome);
    if (o.valor)
        rotulo += u' ' + QString::fromUtf8(o.valor);
    return linhaDaLista(rotulo, o.ajuda);
}

QString opcoesDaSecao(SecaoDaOpcao secao)
{
    QString texto;
    for (const OpcaoDaLinha& o : opcoesDaLinha())
        if (o.secao == secao)
            texto += linhaDaOpcao(o);
    return texto;
}

QString ajudaGeral()
{
    QString texto = QStringLiteral("Uso: zelto-server [COMANDO] [OPÇÕES]\n\n") + quebra(apresentacao, 0) + QStringLiteral("\nComandos:\n");
    for (const ComandoDoServidor& c : comandos)
        texto += linhaDaLista(QLatin1String(c.nome), c.ajuda);
    texto += QStringLiteral("\nOpções:\n") + opcoesDaSecao(SecaoDaOpcao::Geral);
    texto += u'\n' + quebra(sobreLimites, 0) + opcoesDaSecao(SecaoDaOpcao::Limites);
    for (const char* paragrafo : regras)
        texto += u'\n' + quebra(paragrafo, 0);
    return texto;
}

QString ajudaDoComando(const ComandoDoServidor& c)
{
    QString texto = QStringLiteral("Uso: zelto-server %1 [OPÇÕES]\n  ").arg(QLatin1String(c.nome)) + quebra(c.ajuda, 2)
        + QStringLiteral("\nOpções:\n");
    for (const QString& nome : QString::fromLatin1(c.opcoes).split(u' ', Qt::SkipEmptyParts))
        if (const OpcaoDaLinha* o = opcaoDaLinha(nome))
            texto += linhaDaOpcao(*o);
    return texto + linhaDaOpcao(*opcaoDaLinha(QStringLiteral("help")));
}

const ComandoDoServidor* comandoChamado(const QString& nome)
{
    const auto c = std::find_if(std::cbegin(comandos), std::cend(comandos),
                                [&](const ComandoDoServidor& c) { return nome == QLatin1String(c.nome); });
    return c == std::cend(comandos) ? nullptr : c;
}

} // namespace

std::span<const ComandoDoServidor> comandosDoServidor()
{
    return comandos;
}

int executaZeltoServer(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("zelto-server"));
    const Argumentos a = leArgumentos(QCoreApplication::arguments());
    if (!a.erro.isEmpty())
        return a.comando == QLatin1String("saude") ? Comando::saudeSemArgumentos(a.erro)
                                                   : erro(a.erro + QStringLiteral(" (veja zelto-server --help)"));
    const ComandoDoServidor* comando = comandoChamado(a.comando);
    if (a.ajuda || a.comando == QLatin1String("ajuda") || a.comando == QLatin1String("help")) {
        escreve(stdout, a.ajuda && a.comandoDado && comando ? ajudaDoComando(*comando) : ajudaGeral());
        return 0;
    }
    if (!Senhas::inicializa())
        return erro(QStringLiteral("libsodium não pôde ser iniciada"));
    if (!comando)
        return erro(QStringLiteral("comando desconhecido \"%1\" (veja zelto-server --help)").arg(a.comando));
    const QString banco = a.valor("db", qEnvironmentVariableIsEmpty("ZELTO_DB") ? QStringLiteral("sqlite:zelto-registro.db")
                                                                                 : qEnvironmentVariable("ZELTO_DB"));
    const int saida = comando->executa(a, banco);
    // Every administration command is a row of the history (serving is not one).
    if (comando->executa != Comando::servir && comando->executa != Comando::saude)
        registraComando(a, banco, saida);
    return saida;
}
