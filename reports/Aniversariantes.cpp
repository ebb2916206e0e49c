#include "reports/Aniversariantes.h"

#include "app/modUtil.h"
#include "protocol/Wire.h"

#include <QCollator>
#include <QLocale>
#include <algorithm>

namespace Aniversariantes {

namespace {

const QString fimDeLinha = QStringLiteral("\r\n");
const QString recuo(7, u' ');
const QString regua(80, u'-');

// A column of `largura` characters whose last one is always a space: a long name or
// congregation is cut short of the next column instead of running into it.
QString coluna(const QString& texto, int largura)
{
    return texto.left(largura - 1).leftJustified(largura, u' ');
}

bool vazioOuMarcador(const QString& t)
{
    const QString s = t.trimmed();
    return s.isEmpty() || s == QLatin1String(".");
}

QString telefoneDe(const clsAgenda& m)
{
    const QString numero = !vazioOuMarcador(m.telResidencial) ? m.telResidencial.trimmed()
                           : !vazioOuMarcador(m.fone)         ? m.fone.trimmed()
                                                              : QString();
    if (numero.size() <= 2)
        return numero;
    return QStringLiteral("(%1) %2").arg(ExtraiDDD(numero), ExtraiTelefone(numero));
}

QString congregacaoDe(const clsAgenda& m)
{
    return vazioOuMarcador(m.IGREJA) ? QString() : m.IGREJA.trimmed();
}

QString semPontoEVirgula(QString t)
{
    return t.replace(u';', u',').replace(u'\r', u' ').replace(u'\n', u' ');
}

} // namespace

std::optional<QDate> dataDeNascimento(const QString& nascido, const QDate& hoje)
{
    // Day and month may come without their leading zero ("5/3/1970"), as the sheet window
    // accepts them; the year has its four digits.
    const QStringList partes = nascido.trimmed().split(u'/');
    if (partes.size() != 3)
        return std::nullopt;
    const auto digitos = [](const QString& t, int minimo, int maximo) {
        return t.size() >= minimo && t.size() <= maximo
               && std::all_of(t.begin(), t.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
    };
    if (!digitos(partes[0], 1, 2) || !digitos(partes[1], 1, 2) || !digitos(partes[2], 4, 4))
        return std::nullopt;
    const QDate d(partes[2].toInt(), partes[1].toInt(), partes[0].toInt());
    if (!d.isValid() || d > hoje)
        return std::nullopt;
    return d;
}

QString nomeDoMes(int mes)
{
    static const char* const nomes[] = {"Janeiro", "Fevereiro", "Março", "Abril", "Maio", "Junho",
                                        "Julho", "Agosto", "Setembro", "Outubro", "Novembro", "Dezembro"};
    return mes >= 1 && mes <= 12 ? QString::fromUtf8(nomes[mes - 1]) : QString();
}

Lista monta(const QList<clsAgenda>& membros, int mes, int ano, const QDate& hoje)
{
    Lista lista;
    lista.mes = mes;
    lista.ano = ano;
    for (const clsAgenda& m : membros) {
        if (lista.departamento.isEmpty())
            lista.departamento = m.departamento.dsDepartamento;
        const std::optional<QDate> nascimento = dataDeNascimento(m.nascido, hoje);
        if (!nascimento) {
            lista.semData.append({m.numeroFicha, m.nome, m.nascido, congregacaoDe(m), telefoneDe(m)});
            continue;
        }
        if (nascimento->month() != mes)
            continue;
        lista.aniversariantes.append({nascimento->day(), m.nome, lista.ano - nascimento->year(), congregacaoDe(m),
                                      telefoneDe(m), m.numeroFicha});
    }

    // Names in Portuguese dictionary order (accents and case do not push a name to the end).
    QCollator ordem{QLocale(QLocale::Portuguese, QLocale::Brazil)};
    ordem.setCaseSensitivity(Qt::CaseInsensitive);
    std::stable_sort(lista.aniversariantes.begin(), lista.aniversariantes.end(),
                     [&](const Aniversariante& a, const Aniversariante& b) {
                         if (a.dia != b.dia)
                             return a.dia < b.dia;
                         const int c = ordem.compare(a.nome, b.nome);
                         return c != 0 ? c < 0 : a.numeroFicha < b.numeroFicha;
                     });
    std::stable_sort(lista.semData.begin(), lista.semData.end(), [&](const SemData& a, const SemData& b) {
        const int c = ordem.compare(a.nome, b.nome);
        return c != 0 ? c < 0 : a.numeroFicha < b.numeroFicha;
    });
    return lista;
}

QString texto(const Lista& lista)
{
    QString t;
    for (int i = 0; i < 4; ++i)
        t += fimDeLinha;
    t += recuo + QStringLiteral("Aniversariantes do Mês: %1 de %2").arg(nomeDoMes(lista.mes)).arg(lista.ano);
    if (!lista.departamento.isEmpty())
        t += QStringLiteral(" - ") + lista.departamento;
    t += fimDeLinha;
    t += recuo + regua + fimDeLinha;
    t += recuo + coluna(QStringLiteral("Dia"), 5) + coluna(QStringLiteral("Nome"), 30) + coluna(QStringLiteral("Idade"), 6)
         + coluna(QStringLiteral("Congregação"), 20) + coluna(QStringLiteral("Telefone"), 19) + fimDeLinha;
    t += recuo + regua + fimDeLinha;
    for (const Aniversariante& a : lista.aniversariantes) {
        t += recuo + coluna(QStringLiteral("%1").arg(a.dia, 2, 10, QLatin1Char('0')), 5) + coluna(a.nome, 30)
             + coluna(QString::number(a.idade), 6) + coluna(a.congregacao, 20) + coluna(a.telefone, 19) + fimDeLinha;
    }
    t += recuo + regua + fimDeLinha;
    t += recuo + QStringLiteral("Total: %1 aniversariante%2").arg(lista.aniversariantes.size())
                     .arg(lista.aniversariantes.size() == 1 ? QString() : QStringLiteral("s"));
    if (!lista.semData.isEmpty()) {
        t += fimDeLinha + fimDeLinha;
        t += recuo + QStringLiteral("Fichas sem data de nascimento válida: %1").arg(lista.semData.size()) + fimDeLinha;
        t += recuo + regua + fimDeLinha;
        t += recuo + coluna(QStringLiteral("N.Ficha"), 8) + coluna(QStringLiteral("Nome"), 30)
             + coluna(QStringLiteral("Nascido em"), 12) + coluna(QStringLiteral("Congregação"), 15)
             + coluna(QStringLiteral("Telefone"), 15) + fimDeLinha;
        t += recuo + regua + fimDeLinha;
        for (const SemData& s : lista.semData) {
            const QString nascido = s.nascido.trimmed().isEmpty() ? QStringLiteral("(vazia)") : s.nascido.trimmed();
            t += recuo + coluna(QString::number(s.numeroFicha), 8) + coluna(s.nome, 30) + coluna(nascido, 12)
                 + coluna(s.congregacao, 15) + coluna(s.telefone, 15) + fimDeLinha;
        }
        t += recuo + regua;
    }
    return t;
}

QByteArray csv(const Lista& lista)
{
    QString t = QStringLiteral("Dia;Nome;Idade;Congregação;Telefone;Nascido em") + fimDeLinha;
    for (const Aniversariante& a : lista.aniversariantes) {
        t += QString::number(a.dia) + u';' + semPontoEVirgula(a.nome) + u';' + QString::number(a.idade) + u';'
             + semPontoEVirgula(a.congregacao) + u';' + semPontoEVirgula(a.telefone) + u';'
             + QStringLiteral("%1/%2/%3").arg(a.dia, 2, 10, QLatin1Char('0')).arg(lista.mes, 2, 10, QLatin1Char('0'))
                   .arg(lista.ano - a.idade)
             + fimDeLinha;
    }
    for (const SemData& s : lista.semData) {
        t += u';' + semPontoEVirgula(s.nome) + u';' + u';' + semPontoEVirgula(s.congregacao) + u';'
             + semPontoEVirgula(s.telefone) + u';' + semPontoEVirgula(s.nascido) + fimDeLinha;
    }
    return Wire::codifica(t);
}

} // namespace Aniversariantes
