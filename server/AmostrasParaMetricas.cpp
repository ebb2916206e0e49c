// What the metrics show that no request counts, sampled by the loop.
#include "server/AmostrasParaMetricas.h"
#include "server/store/Banco.h"
#include "server/history/CadeiaDoHistorico.h"
#include "server/Diario.h"
#include "server/history/Historico.h"
#include "server/monitoring/Metricas.h"
#include "server/SaudeDoServidor.h"
#include "server/store/SessoesGravadas.h"

#include <QDateTime>
#include <QSqlQuery>
#include <QVariant>
#include <QTimer>

namespace {

constexpr qint64 sondaS = 5;
constexpr qint64 contagemS = 60;

qint64 agoraMs()
{
    return QDateTime::currentMSecsSinceEpoch();
}

// Walks the rows appended since the last pass: each must come next to the one before it and
// carry its link. The first pass starts at the row before the head, so a long history costs
// nothing here (`historico --verificar` walks it all). False at a database failure or a
// break, which is said in the log once.
bool verificaACabeca(Banco& banco, AmostrasParaMetricas::Cabeca& cabeca)
{
    HistoricoGravado historico(banco);
    QList<RegistroDoHistorico> linhas;
    if (cabeca.id < 0) {
        qint64 maior = 0;
        if (!banco.paraCadaLinha(QStringLiteral("SELECT MAX(id) FROM historico"), {}, [&](const QSqlQuery& q) { maior = q.value(0).toLongLong(); }))
            return false;
        if (maior > 1 && !historico.fatia(maior - 2, 1, linhas))
            return false;
        cabeca.id = linhas.isEmpty() ? 0 : linhas.first().id;   // 0: the chain's first row links to nothing
        cabeca.hash = linhas.isEmpty() ? QString() : linhas.first().hash;
    }
    for (;;) {
        if (!historico.fatia(cabeca.id, 1000, linhas))
            return false;
        if (linhas.isEmpty())
            return !cabeca.quebrada;
        for (const RegistroDoHistorico& r : std::as_const(linhas)) {
            // The hash covers the values through their digest: a row that keeps its salt must match it too.
            if ((cabeca.id > 0 && r.id != cabeca.id + 1) || CadeiaDoHistorico::elo(cabeca.hash, r) != r.hash
                || (!r.sal.isEmpty() && CadeiaDoHistorico::digesto(r.sal, r) != r.digesto)) {
                if (!std::exchange(cabeca.quebrada, true))
                    registraNoDiario(QStringLiteral("histórico: a linha %1 não segue a cadeia (alterada, removida ou incluída à mão); "
                                                    "veja zelto-server historico --verificar")
                                         .arg(r.id));
                return false;
            }
            cabeca.id = r.id;
            cabeca.hash = r.hash;
        }
    }
}

} // namespace

AmostrasParaMetricas::AmostrasParaMetricas(Fontes fontes, QObject* pai)
    : QObject(pai),
      m_fontes(std::move(fontes)),
      m_relogio(new QTimer(this)),
      m_sondando(std::make_shared<std::atomic<bool>>(false)),
      m_contando(std::make_shared<std::atomic<bool>>(false)),
      m_verificando(std::make_shared<std::atomic<bool>>(false)),
      m_cabeca(std::make_shared<Cabeca>())
{
    m_relogio->setTimerType(Qt::CoarseTimer);
    connect(m_relogio, &QTimer::timeout, this, &AmostrasParaMetricas::amostra);
    m_relogio->start(1000);
    amostra();
}

AmostrasParaMetricas::~AmostrasParaMetricas() = default;

void AmostrasParaMetricas::amostra()
{
    Metricas::defineConexoes(m_fontes.conexoes());
    const qint64 s = m_segundos++;
    if (s % sondaS == 0) {
        pergunta(m_sondando, [](Banco& banco) {
            if (SaudeDoServidor::doBanco(banco) == Saude::Estado::BancoFora)
                return;
            Metricas::bancoRespondeu(agoraMs());
            QList<SessaoGravada> sessoes;
            if (SessoesGravadas(banco).sessoes(sessoes))
                Metricas::defineSessoes(sessoes.size());
        });
        // Only this pass's worker touches the head (a pass still under way is not asked again).
        pergunta(m_verificando, [cabeca = m_cabeca](Banco& banco) {
            if (verificaACabeca(banco, *cabeca))
                Metricas::historicoVerificado(agoraMs());
        });
    }
    if (s % contagemS == 0)
        pergunta(m_contando, [](Banco& banco) {
            qint64 linhas = 0;
            if (HistoricoGravado(banco).contaLinhas(linhas))
                Metricas::defineHistorico(linhas);
        });
}

void AmostrasParaMetricas::pergunta(std::shared_ptr<std::atomic<bool>> emCurso, std::function<void(Banco&)> tarefa)
{
    if (emCurso->exchange(true))
        return;
    m_fontes.noBanco([emCurso, tarefa = std::move(tarefa)](Banco& banco) {
        tarefa(banco);
        emCurso->store(false);
    });
}
