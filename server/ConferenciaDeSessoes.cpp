// What a connection's negotiation needs the database for (see ConferenciaDeSessoes.h).
#include "server/ConferenciaDeSessoes.h"
#include "protocol/Quadros.h"
#include "server/store/Banco.h"
#include "server/Sessoes.h"

ConferenciaDeSessoes ConferenciaDeSessoes::doPedido(const QStringList& pedidas, bool combinou)
{
    ConferenciaDeSessoes c;
    const QString sessao = QLatin1String(Quadros::capacidadeSessao);
    const QString encerrar = QLatin1String(Quadros::capacidadeEncerrar);
    for (const QString& pedida : pedidas) {
        const QString nome = pedida.section(u'=', 0, 0);
        const QString valor = pedida.section(u'=', 1);
        if (nome == sessao && !combinou) {
            combinou = true;
            if (Sessoes::pareceSegredo(valor))
                c.passos.append({true, Sessoes::chaveDoSegredo(valor)});
        } else if (nome == encerrar && Sessoes::pareceSegredo(valor)) {
            c.passos.append({false, Sessoes::chaveDoSegredo(valor)});
        }
    }
    return c;
}

void ConferenciaDeSessoes::confere(Sessoes& sessoes, Banco* banco, qint64 agoraMs)
{
    for (Passo& p : passos) {
        if (p.retomar) {
            p.ok = sessoes.viva(p.chave, agoraMs, banco, p.erro);
        } else {
            p.ok = sessoes.encerra(p.chave, banco);
            p.erro = !p.ok;
        }
        if (p.erro && banco)
            erroDoBanco = banco->ultimoErro();
    }
}

const ConferenciaDeSessoes::Passo* ConferenciaDeSessoes::acha(bool retomar, const QString& chave) const
{
    for (const Passo& p : passos)
        if (p.retomar == retomar && p.chave == chave)
            return &p;
    return nullptr;
}
