#pragma once
// The accepted TCP connections, watched through one epoll descriptor and one socket
// notifier instead of one notifier per connection (Qt's own dispatcher polls every
// notifier on every event-loop pass, which costs O(connections) per pass).
//
// Each connection is a small object around a non-blocking descriptor: reads drain
// the socket into one block per readiness event; writes go out at once and whatever
// the kernel does not take waits in the connection's output queue, with EPOLLOUT
// registered only while that queue is not empty.
#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QString>

#include <functional>

class QSocketNotifier;

namespace core {

class EpollConnections;

class EpollConnection : public QObject {
    Q_OBJECT
public:
    ~EpollConnection() override;

    // True from the adoption until the peer's close, an error, or abort().
    bool isConnected() const { return fd_ >= 0 && !failed_; }
    // Queues the bytes; they leave at once as far as the kernel takes them.
    void write(const QByteArray& data);
    // Closes the descriptor at once; no handler is called for this connection afterwards.
    void abort();

    int tag = 0;   // the owner's number for this connection

private:
    friend class EpollConnections;
    EpollConnection(EpollConnections* owner, int fd, quint64 serial, QObject* parent);
    void flushOutput();
    void failLater(int err);

    EpollConnections* owner_;
    int fd_;
    quint64 serial_;
    QByteArray out_;
    qsizetype outPos_ = 0;
    bool watchingOut_ = false;
    bool failed_ = false;
};

class EpollConnections : public QObject {
    Q_OBJECT
public:
    struct Handlers {
        // Bytes that arrived (all that was readable at the time).
        std::function<void(EpollConnection*, const QByteArray&)> data;
        // The peer closed (orderly or reset).
        std::function<void(EpollConnection*)> closed;
        // Any other failure: the QAbstractSocket::SocketError number and its text.
        std::function<void(EpollConnection*, int code, const QString& text)> error;
    };

    explicit EpollConnections(QObject* parent = nullptr);
    ~EpollConnections() override;

    bool isValid() const { return epfd_ >= 0; }
    void setHandlers(Handlers h) { handlers_ = std::move(h); }
    // Takes over a connected descriptor (made non-blocking here). Null on failure; the
    // descriptor then stays the caller's.
    EpollConnection* adopt(int fd, QObject* parent);
    int count() const { return static_cast<int>(live_.size()); }

private:
    friend class EpollConnection;
    void onReady();
    void handle(EpollConnection* c, quint32 events);
    void watchOutput(EpollConnection* c, bool on);
    void forget(EpollConnection* c);
    void fail(EpollConnection* c, int err);

    int epfd_ = -1;
    QSocketNotifier* notifier_ = nullptr;
    quint64 nextSerial_ = 1;
    QHash<quint64, EpollConnection*> live_;
    Handlers handlers_;
};

}  // namespace core
