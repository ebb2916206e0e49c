#pragma once
#include "protocol/clsAgenda.h"

#include <QDate>
#include <QList>
#include <QString>
#include <optional>

// "Aniversariantes do Mês": the members of a department whose birth date (`nascido`) falls in
// a month, ordered by day then name, with the age they turn that year; sheets whose birth
// date is missing, a placeholder or not a date are kept in a list apart, never dropped.
// Built from the whole-department search the CSV export already makes (code 12).
namespace Aniversariantes {

struct Aniversariante {
    int dia = 0;
    QString nome;
    int idade = 0;          // the age turned in the report's year (may be 0 or less for a
                            // year before the birth)
    QString congregacao;    // IGREJA
    QString telefone;       // "(DD) number": the home phone, or the mobile when there is none
    qint32 numeroFicha = 0;
};

struct SemData {
    qint32 numeroFicha = 0;
    QString nome;
    QString nascido;        // as stored
    QString congregacao;
    QString telefone;
};

struct Lista {
    int mes = 1;
    int ano = 2000;
    QString departamento;
    QList<Aniversariante> aniversariantes;
    QList<SemData> semData;
};

// The birth date `nascido` holds ("dd/mm/aaaa", or "d/m/aaaa"; surrounding spaces ignored), or nothing when
// it is empty, a placeholder, not a real date, or after `hoje`.
std::optional<QDate> dataDeNascimento(const QString& nascido, const QDate& hoje);

// The month's birthdays among `membros`, with the ages turned in `ano`; a birth date after
// `hoje` is not a usable one.
Lista monta(const QList<clsAgenda>& membros, int mes, int ano, const QDate& hoje);

// "Janeiro" ... "Dezembro".
QString nomeDoMes(int mes);

// The printed report: fixed-width lines joined by CR LF, as the department report is printed.
QString texto(const Lista& lista);

// The CSV file: "Dia;Nome;Idade;Congregação;Telefone;Nascido em", then one line per birthday,
// then one per sheet without a usable birth date (day and age empty); ";" separated, every
// line ending in CR LF, Windows-1252. A ";" inside a value is written as "," so that it cannot
// split the columns.
QByteArray csv(const Lista& lista);

} // namespace Aniversariantes
