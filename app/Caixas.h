#pragma once
#include <QList>
#include <QString>
#include <functional>

class QWidget;

// Every message box of the program goes through here, never through QMessageBox directly,
// so that tests can read what was shown and answer in advance instead of blocking.
namespace Caixas {

enum class Icone { Nenhum, Erro, Aviso, Informacao, Pergunta };
enum class Resposta { Ok, Sim, Nao };

// Room a title bar takes besides its title (icon, close and other buttons), in pixels: a box
// is never narrower than its title plus this.
inline constexpr int folgaDoTitulo = 160;

// Shows a box with OK, or with Yes and No (No preselected) when `simNao`.
Resposta mostra(QWidget* dono, const QString& texto, const QString& titulo, Icone icone,
                bool simNao = false);

struct Registro {
    QString texto;
    QString titulo;
    Icone icone;
    bool simNao;
};

// Test hook: while installed, boxes are recorded instead of shown; Yes/No boxes take the
// next queued answer (No when none is queued).
class Gravador {
public:
    Gravador();
    ~Gravador();
    Gravador(const Gravador&) = delete;
    Gravador& operator=(const Gravador&) = delete;

    void proximaResposta(Resposta r) { m_respostas.append(r); }
    const QList<Registro>& caixas() const { return m_caixas; }
    void limpa() { m_caixas.clear(); }
    // Called with every recorded box, e.g. to check the state of the program at that moment.
    std::function<void(const Registro&)> aoMostrar;

private:
    friend Resposta mostra(QWidget*, const QString&, const QString&, Icone, bool);
    QList<Registro> m_caixas;
    QList<Resposta> m_respostas;
};

} // namespace Caixas
