#pragma once
// The two sides a simulated terminal talks on: the serial line (as the device
// answering requests) and the data centre (as a TCP or UDP client).
#include <QHostAddress>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <qcoro/qcorotask.h>

#include <coroutine>
#include <deque>
#include <map>
#include <optional>
#include <random>
#include <string>

#include "Options.h"
#include "TerminalState.h"
#include "Traffic.h"

class QAbstractSocket;
class QSerialPort;
class QSocketNotifier;

namespace sim {

// How a frame goes on the wire under the active faults.
struct Shaped {
    std::vector<Bytes> pieces;   // written in order
    int pauseMs = 0;             // between pieces
    Bytes wire;                  // all pieces joined (what is logged)
};
Shaped Shape(Bytes frame, const Options& o, bool truncatable);
Bytes Garbage(std::mt19937& rng, int n);

class SerialSide : public QObject {
    Q_OBJECT
public:
    SerialSide(TerminalState* state, const Options& o, QObject* parent = nullptr);
    ~SerialSide() override;
    // Opens the pty pair or the device; false with a reason on failure.
    bool open(std::string* error);

signals:
    void failed(QString reason);

private:
    void onBytes(ByteView data);
    void handle(const Cutter::Block& b);
    bool writeOut(ByteView data);

    TerminalState* st_;
    const Options& o_;
    Cutter cutter_;
    Writer* writer_ = nullptr;
    QTimer stale_;
    std::mt19937 rng_;
    int master_ = -1, slave_ = -1;
    QSocketNotifier* notifier_ = nullptr;
    QSerialPort* port_ = nullptr;
    bool failedOnce_ = false;
};

class NetTerminal : public QObject {
    Q_OBJECT
public:
    NetTerminal(int index, const Options& o, const QHostAddress& host, quint16 port, bool tcp,
                QObject* parent = nullptr);
    TerminalState st;
    void start();                 // connect and play the dialogue
    void stop();                  // close quietly (end of run)
    long outstanding() const;     // answers still expected
    bool finished() const { return finished_; }
    bool failed() const { return failed_; }

signals:
    void done();

private:
    // Suspends the dialogue until wake() or the timeout (ms < 0: no timeout).
    struct Nap {
        NetTerminal* t;
        long ms;
        bool await_ready() const noexcept { return false; }
        void await_suspend(std::coroutine_handle<> h);
        void await_resume() const noexcept {}
    };
    void wake();
    QCoro::Task<> dialogue();
    QCoro::Task<bool> waitAnswer(std::string kind, long target);
    QCoro::Task<> uploadCycle();
    void onReadable();
    void handle(const Cutter::Block& b);
    // Sends a frame; `expect` names the answer kind awaited ("" for none).
    void send(const std::string& kind, Bytes frame, const std::string& expect, bool truncatable = false);
    void sendShaped(const std::string& kind, Shaped s, const std::vector<std::string>& sentKinds,
                    const std::vector<std::string>& expects);
    bool sinkWrite(ByteView data);
    void finish(bool ok, const std::string& reason);
    void onSocketError();
    void connectSocket();
    // --reconnect: the connection is gone; try again after a back-off, maybe at the spare centre.
    void reconnectLater(const std::string& why);

    struct Pending { std::string sentKind; double endAt; };
    int index_;
    const Options& o_;
    QHostAddress host_;               // where the connection goes now
    quint16 port_;
    const QHostAddress primaryHost_;  // the data centre; the spare one is in st.p
    const quint16 primaryPort_;
    const QHostAddress source_;       // --source: the local address the socket is bound to (null: any)
    bool tcp_;
    QAbstractSocket* sock_ = nullptr;
    Writer* writer_ = nullptr;
    Cutter cutter_;
    QTimer heartbeat_;
    QTimer connectTimeout_;
    QTimer napTimer_;
    std::coroutine_handle<> napper_;
    bool uploadNow_ = false;
    std::mt19937 rng_;
    std::map<std::string, std::deque<Pending>> pending_;
    std::map<std::string, long> answered_;
    bool connected_ = false, finished_ = false, failed_ = false, onceDone_ = false, closing_ = false;
    int generation_ = 0;               // counts connections: a dialogue ends when its connection does
    int failedAttempts_ = 0;           // since the last registration answered
    QTimer reconnectTimer_;
    std::optional<Bytes> awaitingAck_;   // the upload the next acknowledgement is for
    std::optional<Bytes> unacked_;     // the upload sent and not acknowledged yet
};

}  // namespace sim
