#pragma once
// A desk's sealed copy of its department: one SQLite file per operator in the user's data
// folder, every value sealed (desconectado/Selo.h) under a key derived from that operator's
// password. The file holds, in the clear, only sheet numbers, versions, the journal's ids and
// the salt; names, documents and every other value are sealed.
//
// It also keeps, sealed: a verifier made at the last connected login (a wrong password opens
// nothing), the time the server was last seen (a copy older than the deployment's days no
// longer opens), the number of the server's changes it is up to (protocol/Sincronia.h), and
// the operator as the server accepted them (for a disconnected login).
// The journal of changes made while disconnected lives in the same file (Diario.h).
#include "desconectado/Selo.h"
#include "protocol/clsAgenda.h"
#include "protocol/clsFiltroBusca.h"
#include "protocol/clsUsuario.h"

#include <QHash>
#include <QList>
#include <QSqlDatabase>
#include <QString>

#include <optional>

class CopiaSelada {
public:
    enum class Estado { Aberta, Inexistente, SenhaErrada, Vencida, Danificada };

    CopiaSelada();
    ~CopiaSelada();
    CopiaSelada(const CopiaSelada&) = delete;
    CopiaSelada& operator=(const CopiaSelada&) = delete;

    // Where the copy of `usuario` lives (its name does not tell whose it is).
    static QString arquivoDe(const QString& usuario);
    static bool existe(const QString& usuario);
    // Deletes the copy of `usuario` (journal and all), with SQLite's side files.
    static bool apaga(const QString& usuario);
    // The folder the copies go in (tests; empty: the user's data folder).
    static void definePastaParaTeste(const QString& pasta);
    // What the operator is told when a copy did not open.
    static QString mensagem(Estado estado);

    // A disconnected login: opens the copy of `usuario` when `senha` opens its verifier and
    // the server was seen less than `dias` days before `agoraMs`.
    Estado abre(const QString& usuario, const QString& senha, int dias, qint64 agoraMs);
    // A connected login the server accepted (`operador` as it replied): opens the copy, or
    // makes a new one when there is none or it does not open with this password (the one
    // the server holds now); the verifier is made again and the contact marked.
    Estado abreNoLogin(const clsUsuario& operador, const QString& senha, qint64 agoraMs);
    bool aberta() const { return m_banco.isOpen() && m_selo.pronto(); }
    void fecha();

    // The operator of the last connected login (department included).
    const clsUsuario& operador() const { return m_operador; }
    qint64 ultimoContatoMs() const { return m_contatoMs; }
    bool marcaContato(qint64 agoraMs);

    // One transaction around a run of changes (durable at `confirma`).
    bool comeca();
    bool confirma();
    void desfaz();

    // The number of the server's changes the copy is up to (0: no copy yet).
    qint64 numero() const { return m_numero; }
    bool defineNumero(qint64 numero);
    // Every sheet removed (a reply from 0 replaces the copy).
    bool esvazia();

    // A sheet as the server's list carries it (`fio`: its pieces, number first).
    bool gravaDoFio(qint32 numero, qint64 versao, const QString& fio);
    bool grava(const clsAgenda& ficha, qint64 versao);
    bool exclui(qint32 numero);
    // The sheet under number `de` (a provisional one) now has the server's number `para`.
    bool renumera(qint32 de, qint32 para, qint64 versao);
    std::optional<clsAgenda> ficha(qint32 numero) const;
    // The version the copy holds of a sheet, or -1 when it has none.
    qint64 versao(qint32 numero) const;
    qsizetype quantas() const { return m_nomes.size(); }
    // The sheets a search would return from the server (number, part of the name, dates),
    // ordered by number.
    QList<clsAgenda> busca(const clsFiltroBusca& filtro) const;
    // The next provisional number for a sheet made while disconnected (-1, -2, ...).
    qint32 proximoProvisorio();

    QSqlDatabase& banco() { return m_banco; }
    const Selo& selo() const { return m_selo; }

    // Sealed name-value pairs of the file (the journal keeps its own through here too).
    bool gravaValor(const QString& chave, const QByteArray& valor);
    std::optional<QByteArray> valor(const QString& chave) const;

private:
    bool abreArquivo(const QString& arquivo);
    bool criaTabelas();
    bool leEstado();
    bool carregaNomes();
    static QString dobra(QStringView nome);

    QString m_conexao;
    QSqlDatabase m_banco;
    Selo m_selo;
    QString m_usuario;
    clsUsuario m_operador;
    qint64 m_contatoMs = 0;
    qint64 m_numero = 0;
    QHash<qint32, QString> m_nomes;   // number -> the name folded for searches, in memory only
};
