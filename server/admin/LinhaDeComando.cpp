// zelto-server's command line: the table of known options and the parser that reads them.
#include "server/admin/LinhaDeComando.h"

#include <algorithm>

namespace {

using enum SecaoDaOpcao;

const OpcaoDaLinha opcoes[] = {
    {"db", "CONEXÃO",
     "o banco: sqlite:CAMINHO (padrão sqlite:zelto-registro.db) ou postgresql://USUÁRIO@SERVIDOR:PORTA/BANCO. Sem --db vale "
     "a variável ZELTO_DB. Não ponha a senha do PostgreSQL aqui (a linha de comando aparece no ps): ela vem de PGPASSFILE ou "
     "~/.pgpass (ou PGPASSWORD); um serviço de pg_service.conf serve com ?service=NOME. Outras opções aceitas depois de \"?\": "
     "host (pasta do soquete Unix), port, sslmode, sslrootcert, sslcert, sslkey, connect_timeout, passfile, application_name.",
     Geral},
    {"listen", "END:PORTA", "onde atender (padrão 127.0.0.1:9998; porta 0 = uma porta livre).", Geral},
    {"sessao-horas", "H", "horas sem pedidos após as quais uma sessão expira (padrão 12, de 0,0002 a 720; aceita frações com ponto).", Geral},
    {"sessao-por-endereco", nullptr,
     "regra antiga, só para escritórios que ainda usam o cliente original (que não combina sessão): um login desse cliente "
     "abre uma sessão para o ENDEREÇO inteiro, que dura até expirar. RISCO: qualquer programa no computador do operador, ou "
     "em qualquer computador atrás do mesmo NAT, lê, grava e exclui fichas como ele, sem login. Desligada (padrão), a sessão "
     "desse cliente vale só para a conexão em que ele fez login.",
     Geral},
    {"tls-certificado", "ARQUIVO",
     "o certificado TLS do servidor (PEM; o pacote cria um autoassinado em /etc/zelto/servidor.crt). Com ele e --tls-chave "
     "o servidor oferece TLS: o cliente Zelto cifra a conexão antes do login; o cliente original continua sem TLS.",
     Geral},
    {"tls-chave", "ARQUIVO", "a chave privada do certificado (PEM sem senha, RSA ou EC; root:zelto-server 0640).", Geral},
    {"exigir-tls", nullptr,
     "recusa o login sem TLS, menos o feito deste mesmo computador (127.0.0.1/::1). Para servidores na internet, quando "
     "todos os escritórios já usam o cliente Zelto; o cliente original deixa de entrar.",
     Geral},
    {"silencio-ms", "N",
     "silêncio, em ms, esperado depois que a última parte de um pedido começa a chegar, antes de atendê-lo (padrão 2). Um "
     "pedido cuja última parte já é a descrição inteira do departamento da sessão é atendido na hora.",
     Geral},
    {"espera-ms", "N", "silêncio, em ms, após o qual um pedido ao qual faltam partes é recusado com 0 (padrão 300).", Geral},
    {"fila-conexoes", "N", "conexões que o sistema guarda esperando ser aceitas (backlog de listen; padrão 1024, de 1 a 65535).",
     Geral},
    {"leitores", "N",
     "quantas conexões ao banco atendem buscas e logins em paralelo (padrão 2, de 1 a 64); as alterações têm uma conexão só "
     "delas.",
     Geral},
    {"metricas", "END:PORTA",
     "serve as métricas no formato do Prometheus em http://END:PORTA/metrics (desligado sem esta opção). Deixe em 127.0.0.1 "
     "ou atrás do firewall: quem alcança o endereço vê o movimento do servidor.",
     Geral},
    {"lento-ms", "N",
     "um pedido que demora mais que N ms deixa uma linha \"pedido lento\" no diário: tipo, departamento, duração, linhas e "
     "conexão, sem nenhum valor do pedido (padrão 500; 0 desliga).",
     Geral},
    {"semente", "N", "semente das fichas de demonstração (padrão 1).", Geral},
    {"help", nullptr, "mostra esta ajuda.", Geral},

    {"conexoes-max", "N",
     "conexões abertas ao mesmo tempo (padrão 0 = o limite de arquivos abertos, que o servidor eleva ao máximo permitido ao "
     "iniciar, menos uma reserva para o banco; um valor maior que esse é reduzido a ele). Ao chegar nele, a conexão sem "
     "login mais antiga é encerrada para dar lugar à nova; se todas têm login, a nova é recusada.",
     Limites},
    {"conexoes-por-endereco", "N",
     "conexões abertas de um mesmo endereço (padrão 64; uma rede com NAT mostra todos os seus computadores com um endereço "
     "só). As demais são fechadas sem o \"2\".",
     Limites},
    {"sem-login-s", "S",
     "segundos até fechar uma conexão sem login (padrão 60; aceita frações). O keep-alive não adia este prazo; cada login "
     "tentado, sim.",
     Limites},
    {"ociosa-horas", "H",
     "horas sem nenhuma mensagem (o keep-alive conta) até fechar uma conexão com login (padrão 2, de 0,0002 a 500; aceita "
     "frações). O cliente "
     "Zelto se reconecta sozinho no pedido seguinte.",
     Limites},
    {"sem-ler-s", "S",
     "segundos que uma resposta pode esperar sem que o cliente leia nada dela até a conexão ser fechada (padrão 60, de 0,1 a "
     "86400; aceita frações). Uma resposta longa que espera não ocupa nenhuma conexão ao banco.",
     Limites},
    {"pedido-sem-login-kib", "N",
     "KiB de um pedido ainda incompleto numa conexão sem login (padrão 16, de 2 a 1024; um login tem menos de 2 KiB). Acima "
     "disso: 0 e a conexão é fechada. Conexões com login (ou que retomaram uma sessão viva) podem mandar pedidos de até 1 "
     "MiB; com --sessao-por-endereco, também as novas de um endereço com login recente.",
     Limites},
    {"fila-senhas", "N", "conferências de senha esperando ou em curso (padrão 16); com a fila cheia o login recebe 0 na hora.",
     Limites},
    {"senhas-por-endereco", "N", "quantas dessas podem ser de um mesmo endereço (padrão 2).", Limites},
    {"rajada-logins", "N",
     "tentativas de login que um endereço pode fazer de uma vez, com qualquer nome de usuário (padrão 20) ...", Limites},
    {"logins-por-minuto", "N",
     "... e depois por minuto (padrão 20). Acima disso: 0 na hora. Um login aceito não gasta do endereço.", Limites},

    {"id", "N", "o número do departamento (de 1 em diante).", DoComando},
    {"tls", nullptr,
     "pergunta dentro do TLS; com --tls-certificado ARQUIVO, só aceita o servidor que apresenta aquele certificado.", DoComando},
    {"prazo-s", "S", "segundos de espera pela resposta (padrão 3, de 0,1 a 60).", DoComando},
    {"nome", "TEXTO", "o nome do departamento.", DoComando},
    {"usuario", "NOME", "o nome de usuário do operador.", DoComando},
    {"departamento", "N", "o número do departamento.", DoComando},
    {"custo-senha", "CUSTO", "interativo (padrão) ou minimo: o custo do hash da senha; minimo só para bancos de teste.",
     DoComando},
    {"para", "ARQUIVO", "o arquivo novo que recebe a cópia.", DoComando},
    {"fichas", "N", "quantas fichas de demonstração (padrão 300).", DoComando},
    {"quantidade", "N", "quantas fichas acrescentar.", DoComando},
    {"ficha", "N", "o número da ficha (com --departamento, a daquele departamento).", DoComando},
    {"operador", "NOME", "só as linhas desse operador (ou conta do sistema, para os comandos).", DoComando},
    {"desde", "DATA", "só as linhas a partir desse dia (dd/MM/aaaa, UTC).", DoComando},
    {"ate", "DATA", "só as linhas até esse dia, inclusive (dd/MM/aaaa, UTC).", DoComando},
    {"csv", nullptr, "escreve em CSV (separado por \";\", com cabeçalho) em vez de texto.", DoComando},
    {"verificar", nullptr,
     "confere a cadeia do histórico: diz a primeira linha alterada, removida ou incluída à mão e termina com 1; com a "
     "cadeia íntegra, termina com 0 e mostra o último elo.",
     DoComando},
    {"apagar-ate", "DATA",
     "retenção: apaga as linhas do histórico até esse dia, inclusive (dd/MM/aaaa, UTC, antes de hoje). O próprio comando fica "
     "registrado e a cadeia continua verificável.",
     DoComando},
    {"elo", "HASH",
     "diz se um elo anotado (o \"último elo\" de um dia, do diário do servidor ou de um e-mail) ainda está na cadeia e em "
     "que linha; termina com 0 se está e a cadeia confere até ele, com 1 se não.",
     DoComando},
    {"eliminar", nullptr,
     "com titular --ficha N --departamento N: a pedido do membro, troca por marcas todos os valores pessoais do histórico "
     "daquela ficha (e o filtro das buscas que o nomeavam); ficam quem, quando, de onde, o quê e o número. A cadeia continua "
     "verificável e a eliminação fica registrada.",
     DoComando},
    {"excluir-ficha", nullptr, "com --eliminar: exclui também a ficha, se ainda existir (sem ela, a eliminação é recusada).",
     DoComando},
};

} // namespace

std::span<const OpcaoDaLinha> opcoesDaLinha()
{
    return opcoes;
}

const OpcaoDaLinha* opcaoDaLinha(const QString& nome)
{
    const auto o = std::find_if(std::cbegin(opcoes), std::cend(opcoes),
                                [&](const OpcaoDaLinha& o) { return nome == QLatin1String(o.nome); });
    return o == std::cend(opcoes) ? nullptr : o;
}

Argumentos leArgumentos(const QStringList& lista)
{
    Argumentos a;
    for (qsizetype i = 1; i < lista.size(); ++i) {
        const QString& arg = lista[i];
        if (arg == QLatin1String("--help") || arg == QLatin1String("-h")) {
            a.ajuda = true;
            return a;
        }
        if (!arg.startsWith(QLatin1String("--"))) {
            if (a.comandoDado) {
                a.erro = QStringLiteral("argumento inesperado \"%1\"").arg(arg);
                return a;
            }
            a.comando = arg;
            a.comandoDado = true;
            continue;
        }
        QString nome = arg.mid(2), valor;
        if (const OpcaoDaLinha* o = opcaoDaLinha(nome); o && !o->valor) {
            a.opcoes.insert(nome, QStringLiteral("1"));
            continue;
        }
        // The missing value is said before the unknown name: "--nome" last on the line
        // always was "falta o valor".
        if (const qsizetype igual = nome.indexOf(u'='); igual >= 0) {
            valor = nome.mid(igual + 1);
            nome.truncate(igual);
        } else if (i + 1 < lista.size()) {
            valor = lista[++i];
        } else {
            a.erro = QStringLiteral("falta o valor de --%1").arg(nome);
            return a;
        }
        if (const OpcaoDaLinha* o = opcaoDaLinha(nome); !o || !o->valor) {
            a.erro = QStringLiteral("opção desconhecida --%1").arg(nome);
            return a;
        }
        a.opcoes.insert(nome, valor);
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

bool separaEnderecoEPorta(const QString& texto, QString& host, quint16& porta)
{
    const qsizetype doisPontos = texto.lastIndexOf(u':');
    qint64 numero = 0;
    if (doisPontos <= 0 || !inteiro(texto.mid(doisPontos + 1), 0, 65535, numero))
        return false;
    host = texto.left(doisPontos);
    if (host.startsWith(u'[') && host.endsWith(u']'))
        host = host.mid(1, host.size() - 2);
    porta = quint16(numero);
    return !host.isEmpty();
}

bool inteiroDaOpcao(const Argumentos& a, const char* nome, qint64 padrao, qint64 menor, qint64 maior, qint64& valor)
{
    if (inteiro(a.valor(nome, QString::number(padrao)), menor, maior, valor))
        return true;
    erro(QStringLiteral("--%1 espera um número de %2 a %3").arg(QLatin1String(nome)).arg(menor).arg(maior));
    return false;
}
