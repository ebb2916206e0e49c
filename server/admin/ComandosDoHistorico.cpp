// The history's administration commands (see ComandosDoHistorico.h).
#include "server/admin/ComandosDoHistorico.h"
#include "protocol/FormatoBR.h"
#include "server/store/Banco.h"
#include "server/history/CadeiaDoHistorico.h"
#include "server/store/Cadastro.h"
#include "server/admin/ComandosDeAdministracao.h"
#include "server/history/EliminacaoDoTitular.h"
#include "server/admin/Esquema.h"
#include "server/store/FichasGravadas.h"
#include "server/history/Historico.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSqlQuery>
#include <QStringList>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <pwd.h>
#include <unistd.h>

namespace {

constexpr qint64 maiorId = std::numeric_limits<qint32>::max();

// Who ran the command: the system account, never anything typed on the line.
QString contaDoSistema()
{
    return HistoricoGravado::contaDoSistema();
}

QString quando(qint64 ms)
{
    return QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC).toString(QStringLiteral("dd/MM/yyyy HH:mm:ss"));
}

// A day given as dd/MM/yyyy; the message (in Portuguese) when it is none.
bool leData(const Argumentos& a, const char* nome, QDate& data, QString& porque)
{
    const QString texto = a.valor(nome).trimmed();
    data = QDate::fromString(texto, QStringLiteral("dd/MM/yyyy"));
    if (!data.isValid() || data.year() < 1970 || data.year() > 9999) {
        porque = QStringLiteral("--%1 espera uma data válida no formato dd/MM/aaaa (de 1970 em diante), não \"%2\"")
                     .arg(QLatin1String(nome), texto);
        return false;
    }
    return true;
}

qint64 inicioDoDia(const QDate& d)
{
    return QDateTime(d, QTime(0, 0), Qt::UTC).toMSecsSinceEpoch();
}

QString alteracoesLegiveis(const RegistroDoHistorico& r)
{
    QStringList partes;
    for (const Historico::Alteracao& a : r.alteracoes)
        partes << QStringLiteral("%1: \"%2\" → \"%3\"").arg(a.campo, a.antes, a.depois);
    return partes.join(QStringLiteral("; "));
}

QString campoCsv(const QString& t)
{
    if (!t.contains(u';') && !t.contains(u'"') && !t.contains(u'\n') && !t.contains(u'\r'))
        return t;
    QString c = t;
    c.replace(u'"', QStringLiteral("\"\""));
    return u'"' + c + u'"';
}

const QStringList cabecalhos{QStringLiteral("Data e hora (UTC)"), QStringLiteral("Operador"), QStringLiteral("Departamento"),
                             QStringLiteral("Endereço"),          QStringLiteral("Ação"),     QStringLiteral("Ficha"),
                             QStringLiteral("Alterações"),        QStringLiteral("Detalhes")};

QString linhaCsv(const RegistroDoHistorico& r)
{
    const QStringList c{quando(r.quandoMs), r.operador, QString::number(r.idDepartamento), r.endereco, r.acao,
                        r.numeroFicha ? QString::number(r.numeroFicha) : QString(), alteracoesLegiveis(r), r.detalhe};
    QStringList saida;
    for (const QString& t : c)
        saida << campoCsv(t);
    return saida.join(u';') + u'\n';
}

QString linhaDeTexto(const RegistroDoHistorico& r)
{
    QString t = QStringLiteral("%1  %2  %3  %4  %5  %6")
                    .arg(quando(r.quandoMs))
                    .arg(r.operador, -16)
                    .arg(r.idDepartamento, 12)
                    .arg(r.endereco, -15)
                    .arg(r.acao, -22)
                    .arg(r.numeroFicha ? QString::number(r.numeroFicha) : QStringLiteral("-"), 5);
    const QString alteracoes = alteracoesLegiveis(r);
    if (!alteracoes.isEmpty())
        t += QStringLiteral("  ") + alteracoes;
    if (!r.detalhe.isEmpty())
        t += QStringLiteral("  (") + r.detalhe + u')';
    return t + u'\n';
}

QString cabecalhoDeTexto()
{
    return QStringLiteral("%1  %2  %3  %4  %5  %6  %7\n")
        .arg(cabecalhos[0], -19)
        .arg(cabecalhos[1], -16)
        .arg(cabecalhos[2], 12)
        .arg(cabecalhos[3], -15)
        .arg(cabecalhos[4], -22)
        .arg(cabecalhos[5], 5)
        .arg(QStringLiteral("Alterações e detalhes"));
}

int verificaCadeia(Banco& armazem)
{
    CadeiaDoHistorico::Verificacao v;
    if (!CadeiaDoHistorico::verifica(armazem, v))
        return erro(armazem.ultimoErro());
    if (!v.integra) {
        escreve(stdout, QStringLiteral("HISTÓRICO ADULTERADO: %1 (%2 linha(s) anteriores conferem).\n").arg(v.problema).arg(v.linhas));
        return 1;
    }
    escreve(stdout, QStringLiteral("Histórico íntegro: %1 linha(s) conferem; último elo %2.\n").arg(v.linhas).arg(v.ultimoElo));
    return 0;
}

// Whether a link noted elsewhere is still in the chain, and where; 0 when it is and the chain
// verifies up to it.
int procuraElo(const QString& texto, Banco& armazem)
{
    const QString hash = texto.trimmed().toLower();
    static const QRegularExpression hex(QStringLiteral("^[0-9a-f]{64}$"));
    if (!hex.match(hash).hasMatch())
        return erro(QStringLiteral("--elo espera um hash de 64 algarismos hexadecimais, como \"historico --verificar\" e o diário o "
                                   "mostram, não \"%1\"").arg(texto));
    HistoricoGravado historico(armazem);
    std::optional<RegistroDoHistorico> achado;
    QList<std::pair<qint64, QString>> ancoras;
    CadeiaDoHistorico::Verificacao v;
    if (!historico.procuraElo(hash, achado) || !historico.ancoras(ancoras) || !CadeiaDoHistorico::verifica(armazem, v))
        return erro(armazem.ultimoErro());
    qint64 id = achado ? achado->id : 0;
    QString onde;
    if (achado)
        onde = QStringLiteral("é o da linha %1, de %2 UTC (%3)%4").arg(id).arg(quando(achado->quandoMs), achado->acao,
                   achado->hash == hash ? QString() : QStringLiteral(", pela regra da cadeia anterior à migração"));
    for (const auto& [ancora, elo] : ancoras)
        if (!achado && elo == hash) {
            id = ancora;
            onde = QStringLiteral("era o da linha %1, apagada pela retenção; a cadeia continua a partir dele").arg(ancora);
        }
    const QString hoje = v.ultimoId > 0 ? QStringLiteral("a cadeia hoje termina na linha %1 (último elo %2)").arg(v.ultimoId).arg(v.ultimoElo)
                                        : QStringLiteral("a cadeia está vazia");
    if (id == 0) {
        escreve(stdout, QStringLiteral("ELO AUSENTE: %1 não está no histórico: a linha que ele selava foi removida, ou a cadeia foi "
                                       "refeita depois dela; %2.\n")
                            .arg(hash, v.integra ? hoje : QStringLiteral("e a cadeia não confere: ") + v.problema));
        return 1;
    }
    if (!v.integra && v.primeiraRuim <= id) {
        escreve(stdout, QStringLiteral("ELO FORA DA CADEIA: %1 %2, mas a cadeia não confere até ele: %3.\n").arg(hash, onde, v.problema));
        return 1;
    }
    escreve(stdout, QStringLiteral("O elo %1 está na cadeia: %2; %3.%4\n")
                        .arg(hash, onde, hoje,
                             v.integra ? QString() : QStringLiteral(" ATENÇÃO: depois dele a cadeia não confere: ") + v.problema));
    return 0;
}

int apagaAte(const Argumentos& a, Banco& armazem)
{
    QDate ate;
    QString porque;
    if (!leData(a, "apagar-ate", ate, porque))
        return erro(porque);
    if (ate >= QDateTime::currentDateTimeUtc().date())
        return erro(QStringLiteral("--apagar-ate só aceita um dia anterior a hoje (UTC)"));
    RegistroDoHistorico r;
    r.quandoMs = QDateTime::currentMSecsSinceEpoch();
    r.operador = contaDoSistema();
    r.acao = Acao::retencao();
    r.detalhe = QStringLiteral("linhas até %1 apagadas").arg(ate.toString(QStringLiteral("dd/MM/yyyy")));
    qint64 apagadas = 0;
    if (!HistoricoGravado(armazem).apagaAte(inicioDoDia(ate.addDays(1)), r, apagadas))
        return erro(armazem.ultimoErro());
    escreve(stdout, QStringLiteral("%1 linha(s) do histórico apagada(s), até %2; a retenção ficou registrada.\n")
                        .arg(apagadas)
                        .arg(ate.toString(QStringLiteral("dd/MM/yyyy"))));
    return 0;
}

// A file only its owner may read, made new (an existing one is never overwritten).
bool criaArquivo(const QString& caminho, const QByteArray& bytes, QString& porque)
{
    const int fd = ::open(QFile::encodeName(caminho).constData(), O_WRONLY | O_CREAT | O_EXCL, 0600);
    if (fd < 0) {
        porque = QStringLiteral("não foi possível criar %1: %2").arg(caminho, QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    QFile f;
    const bool ok = f.open(fd, QIODevice::WriteOnly, QFileDevice::AutoCloseHandle) && f.write(bytes) == bytes.size() && f.flush();
    f.close();
    if (!ok) {
        porque = QStringLiteral("não foi possível gravar %1").arg(caminho);
        QFile::remove(caminho);
    }
    return ok;
}

} // namespace

int Comando::historico(const Argumentos& a, const QString& banco)
{
    HistoricoGravado::Filtro filtro;
    qint64 n = 0;
    if (a.tem("ficha")) {
        if (!inteiroDaOpcao(a, "ficha", 0, 1, maiorId, n))
            return 1;
        filtro.numeroFicha = qint32(n);
    }
    if (a.tem("departamento")) {
        if (!inteiroDaOpcao(a, "departamento", 0, 1, maiorId, n))
            return 1;
        filtro.idDepartamento = qint32(n);
    }
    QString porque;
    QDate desde, ate;
    if (a.tem("desde") && !leData(a, "desde", desde, porque))
        return erro(porque);
    if (a.tem("ate") && !leData(a, "ate", ate, porque))
        return erro(porque);
    if (desde.isValid() && ate.isValid() && desde > ate)
        return erro(QStringLiteral("--desde (%1) é depois de --ate (%2)").arg(a.valor("desde"), a.valor("ate")));
    if (desde.isValid())
        filtro.desdeMs = inicioDoDia(desde);
    if (ate.isValid())
        filtro.ateMs = inicioDoDia(ate.addDays(1)) - 1;
    filtro.operador = a.valor("operador").trimmed();
    if (a.tem("operador") && filtro.operador.isEmpty())
        return erro(QStringLiteral("--operador espera um nome"));
    if (int(a.tem("verificar")) + int(a.tem("apagar-ate")) + int(a.tem("elo")) > 1)
        return erro(QStringLiteral("use --verificar, --elo ou --apagar-ate, um de cada vez"));

    Banco armazem(banco);
    if (!abreArmazem(armazem, false))
        return 1;
    if (a.tem("verificar"))
        return verificaCadeia(armazem);
    if (a.tem("apagar-ate"))
        return apagaAte(a, armazem);
    if (a.tem("elo"))
        return procuraElo(a.valor("elo"), armazem);
    HistoricoGravado historico(armazem);
    if (!filtro.operador.isEmpty()) {
        bool conhecido = false;
        if (!historico.operadorConhecido(filtro.operador, conhecido))
            return erro(armazem.ultimoErro());
        if (!conhecido)
            return erro(QStringLiteral("operador desconhecido: \"%1\" (não é operador do registro nem aparece no histórico)").arg(filtro.operador));
    }
    const bool csv = a.tem("csv");
    escreve(stdout, csv ? cabecalhos.join(u';') + u'\n' : cabecalhoDeTexto());
    qint64 linhas = 0;
    QString bloco;
    const bool ok = historico.lista(filtro, [&](const RegistroDoHistorico& r) {
        bloco += csv ? linhaCsv(r) : linhaDeTexto(r);
        ++linhas;
        if (bloco.size() > 64 * 1024)
            escreve(stdout, std::exchange(bloco, QString()));
    });
    escreve(stdout, bloco);
    if (!ok)
        return erro(armazem.ultimoErro());
    if (!csv)
        escreve(stdout, QStringLiteral("%1 linha(s).\n").arg(linhas));
    return 0;
}

namespace {

int eliminaTitular(const Argumentos& a, const QString& banco)
{
    qint64 n = 0, d = 0;
    if (!a.tem("ficha") || !a.tem("departamento"))
        return erro(QStringLiteral("uso: zelto-server titular --db CONEXÃO --ficha N --departamento N --eliminar [--excluir-ficha]"));
    if (a.tem("para"))
        return erro(QStringLiteral("--eliminar não exporta: rode titular --para antes, se o membro quiser a cópia"));
    if (!inteiroDaOpcao(a, "ficha", 0, 1, maiorId, n) || !inteiroDaOpcao(a, "departamento", 0, 1, maiorId, d))
        return 1;
    Banco armazem(banco);
    if (!abreArmazem(armazem, false))
        return 1;
    EliminacaoDoTitular::Pedido pedido;
    pedido.numeroFicha = qint32(n);
    pedido.idDepartamento = qint32(d);
    pedido.excluirFicha = a.tem("excluir-ficha");
    pedido.conta = contaDoSistema();
    EliminacaoDoTitular::Resultado r;
    QString recusa;
    if (!EliminacaoDoTitular::elimina(armazem, pedido, r, recusa))
        return erro(recusa.isEmpty() ? armazem.ultimoErro() : recusa);
    escreve(stdout, QStringLiteral("%1Valores da ficha %2 (departamento %3) eliminados do histórico: %4 linha(s) da ficha e %5 busca(s) "
                                   "que a nomeavam; a eliminação é a linha %6.\n")
                        .arg(r.fichaExcluida ? QStringLiteral("Ficha excluída. ") : QString())
                        .arg(n)
                        .arg(d)
                        .arg(r.linhasDaFicha)
                        .arg(r.buscas)
                        .arg(r.idDaEliminacao));
    if (!r.aviso.isEmpty())
        return erro(QStringLiteral("ATENÇÃO: ") + r.aviso);
    return 0;
}

} // namespace

int Comando::titular(const Argumentos& a, const QString& banco)
{
    if (a.tem("eliminar"))
        return eliminaTitular(a, banco);
    if (a.tem("excluir-ficha"))
        return erro(QStringLiteral("--excluir-ficha só vale com --eliminar"));
    const QString para = a.valor("para");
    qint64 n = 0, d = 0;
    if (!a.tem("ficha") || para.isEmpty())
        return erro(QStringLiteral("uso: zelto-server titular --db CONEXÃO --ficha N [--departamento N] --para ARQUIVO"));
    if (!inteiroDaOpcao(a, "ficha", 0, 1, maiorId, n) || (a.tem("departamento") && !inteiroDaOpcao(a, "departamento", 0, 1, maiorId, d)))
        return 1;
    const QString csv = (para.endsWith(QLatin1String(".txt")) ? para.chopped(4) : para) + QStringLiteral(".csv");
    for (const QString& caminho : {para, csv})
        if (QFileInfo::exists(caminho))
            return erro(QStringLiteral("%1 já existe; escolha um arquivo novo").arg(caminho));
    Banco armazem(banco);
    if (!abreArmazem(armazem, false))
        return 1;
    HistoricoGravado historico(armazem);
    QList<qint32> deps;
    if (!historico.departamentosDaFicha(qint32(n), deps))
        return erro(armazem.ultimoErro());
    if (d != 0 && !deps.contains(qint32(d)))
        return erro(QStringLiteral("a ficha %1 não existe no departamento %2 nem aparece no histórico dele").arg(n).arg(d));
    if (d == 0 && deps.isEmpty())
        return erro(QStringLiteral("a ficha %1 não existe nem aparece no histórico").arg(n));
    if (d == 0 && deps.size() > 1) {
        QStringList lista;
        for (qint32 dep : std::as_const(deps))
            lista << QString::number(dep);
        return erro(QStringLiteral("há uma ficha %1 em mais de um departamento (%2): diga qual com --departamento").arg(n).arg(lista.join(QStringLiteral(", "))));
    }
    const qint32 dep = d != 0 ? qint32(d) : deps.first();

    std::optional<clsAgenda> ficha;
    QList<RegistroDoHistorico> linhas;
    HistoricoGravado::Filtro filtro;
    filtro.numeroFicha = qint32(n);
    filtro.idDepartamento = dep;
    if (!FichasGravadas(armazem).ficha(dep, qint32(n), ficha)
        || !historico.lista(filtro, [&](const RegistroDoHistorico& r) { linhas.append(r); }))
        return erro(armazem.ultimoErro());

    const QString agora = quando(QDateTime::currentMSecsSinceEpoch());
    QString texto = QStringLiteral("Dados guardados no registro sobre a ficha %1 do departamento %2\nGerado em %3 (UTC).\n\n")
                        .arg(n)
                        .arg(dep)
                        .arg(agora);
    QString planilha = QStringLiteral("Campo;Valor\n");
    if (ficha) {
        texto += QStringLiteral("A FICHA COMO ESTÁ HOJE\n");
        for (const Historico::Alteracao& c : HistoricoGravado::diferencas(std::nullopt, ficha)) {
            texto += QStringLiteral("  %1: %2\n").arg(c.campo, c.depois);
            planilha += campoCsv(c.campo) + u';' + campoCsv(c.depois) + u'\n';
        }
    } else {
        texto += QStringLiteral("A ficha não existe mais no registro (foi excluída); o histórico abaixo diz como era.\n");
    }
    texto += QStringLiteral("\nHISTÓRICO DA FICHA (%1 linha(s), do mais antigo ao mais novo)\n").arg(linhas.size()) + cabecalhoDeTexto();
    planilha += u'\n' + cabecalhos.join(u';') + u'\n';
    for (const RegistroDoHistorico& r : std::as_const(linhas)) {
        texto += linhaDeTexto(r);
        planilha += linhaCsv(r);
    }
    QString porque;
    if (!criaArquivo(para, texto.toUtf8(), porque))
        return erro(porque);
    if (!criaArquivo(csv, planilha.toUtf8(), porque)) {
        QFile::remove(para);
        return erro(porque);
    }
    // The export is part of the sheet's own history.
    RegistroDoHistorico r;
    r.quandoMs = QDateTime::currentMSecsSinceEpoch();
    r.operador = contaDoSistema();
    r.idDepartamento = dep;
    r.acao = Acao::titular();
    r.numeroFicha = qint32(n);
    r.detalhe = QStringLiteral("para %1").arg(QFileInfo(para).absoluteFilePath());
    if (!historico.acrescenta(r))
        return erro(armazem.ultimoErro());
    escreve(stdout, QStringLiteral("Dados da ficha %1 (departamento %2) gravados em %3 e %4.\n").arg(n).arg(dep).arg(para, csv));
    return 0;
}

void registraComando(const Argumentos& a, const QString& banco, int saida)
{
    Banco armazem(banco);
    if (!armazem.abre(false) || !Esquema(armazem).temEsquema())
        return;
    // Never into a store of another version: its table may not be there, or not be this one.
    QSqlQuery* q = armazem.consulta(QStringLiteral("SELECT MAX(versao) FROM versao_esquema"), {});
    if (!q || !q->next() || q->value(0).toInt() != Esquema::versaoDoEsquema)
        return;
    q->finish();
    QStringList nomes = a.opcoes.keys();
    std::sort(nomes.begin(), nomes.end());
    QString linha = a.comando;
    for (const QString& nome : std::as_const(nomes))
        if (nome != QLatin1String("db"))
            if (const OpcaoDaLinha* o = opcaoDaLinha(nome))
                linha += QStringLiteral(" --") + nome + (o->valor ? u' ' + a.opcoes.value(nome) : QString());
    RegistroDoHistorico r;
    r.quandoMs = QDateTime::currentMSecsSinceEpoch();
    r.operador = contaDoSistema();
    r.acao = Acao::comando();
    r.detalhe = QStringLiteral("%1; saída %2").arg(linha).arg(saida);
    HistoricoGravado(armazem).acrescenta(r);
}
