// How a member sheet lies in a row of the fichas table (see LinhaDaFicha.h).
#include "server/store/LinhaDaFicha.h"
#include "protocol/FormatoBR.h"
#include "protocol/Wire.h"
#include "server/store/Banco.h"

#include <QDate>
#include <QSqlQuery>
#include <QVariant>

namespace LinhaDaFicha {

using Tipo = CampoDaFicha::Tipo;

const Colunas& colunas()
{
    static const Colunas c = [] {
        Colunas c;
        for (const CampoDaFicha& campo : clsAgenda::campos()) {
            if (campo.tipo == Tipo::Inteiro)
                continue;
            c.nomes << QString::fromLatin1(campo.nome).toLower();
        }
        c.lista = c.nomes.join(QStringLiteral(", "));
        QStringList m, a;
        for (const QString& n : c.nomes) {
            m << QStringLiteral("?");
            a << n + QStringLiteral(" = ?");
        }
        c.marcadores = m.join(QStringLiteral(", "));
        c.atribuicoes = a.join(QStringLiteral(", "));
        return c;
    }();
    return c;
}

QString dataIso(const QDate& d)
{
    const QDate v = d.isValid() ? d : FormatoBR::dataZero();
    return QStringLiteral("%1-%2-%3")
        .arg(v.year(), 4, 10, QLatin1Char('0'))
        .arg(v.month(), 2, 10, QLatin1Char('0'))
        .arg(v.day(), 2, 10, QLatin1Char('0'));
}

void le(const QSqlQuery& q, clsAgenda& ficha, int primeira)
{
    int i = primeira;
    for (const CampoDaFicha& campo : clsAgenda::campos()) {
        const QVariant v = q.value(i++);
        switch (campo.tipo) {
        case Tipo::Inteiro:
            ficha.numeroFicha = v.toInt();
            break;
        case Tipo::Data:
            ficha.Data = QDate::fromString(v.toString(), Qt::ISODate);
            if (!ficha.Data.isValid())
                ficha.Data = FormatoBR::dataZero();
            break;
        case Tipo::Valor:
            ficha.Valor = v.toDouble();
            break;
        case Tipo::Texto:
            ficha.*campo.texto = v.toString();
            break;
        }
    }
}

void liga(QSqlQuery& q, const clsAgenda& ficha, const QByteArray& fio)
{
    int i = 0;
    q.bindValue(i++, dobraParaBusca(ficha.nome));
    q.bindValue(i++, fio.isEmpty() ? fioDe(ficha) : fio);
    for (const CampoDaFicha& campo : clsAgenda::campos()) {
        switch (campo.tipo) {
        case Tipo::Inteiro:
            break;
        case Tipo::Data:
            q.bindValue(i++, dataIso(ficha.Data));
            break;
        case Tipo::Valor:
            q.bindValue(i++, ficha.Valor);
            break;
        case Tipo::Texto:
            q.bindValue(i++, Banco::texto(ficha.*campo.texto));
            break;
        }
    }
}

QByteArray fioDe(const clsAgenda& ficha)
{
    // The record's own text with an empty department at the end ("...|0|"), which is cut off.
    clsAgenda semDepartamento = ficha;
    semDepartamento.departamento = clsDepartamento();
    if (!semDepartamento.Data.isValid())
        semDepartamento.Data = FormatoBR::dataZero();
    QString texto = semDepartamento.toPipeString();
    texto.chop(2);
    return Wire::codifica(texto);
}

QString dobraParaBusca(QStringView nome)
{
    const QString decomposto = nome.toString().normalized(QString::NormalizationForm_KD);
    QString sem;
    sem.reserve(decomposto.size());
    for (QChar c : decomposto) {
        const auto cat = c.category();
        if (cat == QChar::Mark_NonSpacing || cat == QChar::Mark_SpacingCombining || cat == QChar::Mark_Enclosing)
            continue;
        sem += c;
    }
    return sem.toCaseFolded().simplified();
}

} // namespace LinhaDaFicha
