#pragma once
#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <memory>

// A registry server that plays a script, for faults the real one never shows. It listens on
// 127.0.0.1 at a free port, in a thread of its own (so its pauses are real pauses for the
// client under test, whatever the test's thread is doing).
//
//     ServidorRoteirizado servidor;                               // greets each connection with "2"
//     servidor.aoProximoPedido(ServidorRoteirizado::emPedacos("4|ana|x|1|Sec", 1, 2));
//     servidor.aoProximoPedido(ServidorRoteirizado::silencio());
//     ... the client connects to servidor.porta() and sends requests ...
//     servidor.recebidas()   // every message received, in order ("3|ana|x|0|", "1", ...)
//
// Every message received takes the next script of the queue (none left: the default script,
// silence unless defineRoteiroPadrao says otherwise); keep-alives ("1") are recorded but take
// no script unless respondeKeepAlive(true). A message is what arrives until the line has been
// quiet for a few milliseconds. Text goes both ways as Windows-1252.
//
// The framing agreement of our own client ("99|zelto|1|quadros", protocol/Quadros.h) is
// not recorded and takes no script: by default it is answered "0", as a server that does not
// know it would. defineNegociacao chooses silence, or agreement: that connection's messages
// then arrive framed (recorded without their frames) and the scripts must send framed bytes
// (see emQuadros).
class ServidorRoteirizado {
public:
    struct Acao {
        enum class Tipo { Envia, Pausa, Fecha };
        Tipo tipo = Tipo::Envia;
        QByteArray bytes;        // Envia
        int pedaco = 0;          // Envia: bytes per write, 0 = all in one
        int pausaMs = 0;         // Envia: pause between pieces; Pausa: its length
    };
    using Roteiro = QList<Acao>;

    static Roteiro responde(const QString& texto);
    // In writes of `bytesPorPedaco` bytes with `pausaMs` between them.
    static Roteiro emPedacos(const QString& texto, int bytesPorPedaco, int pausaMs);
    static Roteiro atrasada(const QString& texto, int atrasoMs);
    static Roteiro silencio() { return {}; }
    static Roteiro lixo(const QByteArray& bytes);
    static Roteiro pausa(int ms);
    // Closes the connection (after whatever was sent before it).
    static Roteiro fecha();
    // Sends the first `bytes` bytes of `texto`, then closes the connection.
    static Roteiro derrubaNoMeio(const QString& texto, int bytes);
    // Framed reply: `texto` cut into frames of `bytesPorQuadro` (each frame written on its
    // own, `pausaMs` apart), then the end frame "0:".
    static Roteiro emQuadros(const QString& texto, int bytesPorQuadro = 0, int pausaMs = 0);

    enum class Negociacao { Recusa, Ignora, Aceita, AceitaEmpacotada };   // the last: "quadros,zstd"
    void defineNegociacao(Negociacao modo);
    // In agreement (Aceita), these capabilities are granted too when the client asks for them.
    void defineCapacidades(const QStringList& capacidades);
    // The capabilities the client asked for in its last agreement.
    QStringList capacidadesPedidas() const;
    int negociacoes() const;        // framing agreements asked for so far

    ServidorRoteirizado();
    ~ServidorRoteirizado();
    ServidorRoteirizado(const ServidorRoteirizado&) = delete;
    ServidorRoteirizado& operator=(const ServidorRoteirizado&) = delete;

    QString host() const { return QStringLiteral("127.0.0.1"); }
    quint16 porta() const;

    // What every new connection gets first. Default: "2". An empty script sends nothing.
    void definePrimeiraMensagem(const QString& texto);
    void defineAcolhida(const Roteiro& roteiro);
    void aoProximoPedido(const Roteiro& roteiro);
    void defineRoteiroPadrao(const Roteiro& roteiro);
    void respondeKeepAlive(bool sim);
    // How long the line must be quiet to end a received message (default 5 ms).
    void defineSilencioDeMensagem(int ms);

    QStringList recebidas() const;
    int conexoes() const;           // connections accepted so far
    int conexoesAbertas() const;    // connections open now
    // Runs the caller's event loop until `n` messages have been received or `ms` have passed.
    bool esperaRecebidas(int n, int ms = 5000) const;
    // Closes every open connection from the server side.
    void derrubaTodas();

    struct Nucleo;

private:
    std::unique_ptr<Nucleo> m_nucleo;
};
