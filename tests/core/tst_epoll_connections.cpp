// Accepted connections on one epoll descriptor, over a real socket pair: bytes the
// kernel does not take at once wait in order, a peer's bytes and close reach the
// handlers, and a write to a vanished peer is reported from the event loop.
#include <QtTest>

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include "core/EpollConnections.h"

using core::EpollConnection;
using core::EpollConnections;

namespace {

QByteArray Pattern(qsizetype n, int seed) {
    QByteArray b(n, Qt::Uninitialized);
    for (qsizetype i = 0; i < n; ++i) b[i] = static_cast<char>((i * 31 + seed) & 0xFF);
    return b;
}

// Reads what is there now from a non-blocking descriptor.
QByteArray ReadAvailable(int fd) {
    QByteArray got;
    char buf[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n <= 0) break;
        got.append(buf, n);
    }
    return got;
}

struct Pair {
    int ours = -1, peer = -1;
    Pair() {
        int sv[2];
        if (::socketpair(AF_UNIX, SOCK_STREAM, 0, sv) == 0) {
            ours = sv[0];
            peer = sv[1];
            ::fcntl(peer, F_SETFL, ::fcntl(peer, F_GETFL) | O_NONBLOCK);
        }
    }
    ~Pair() {
        if (peer >= 0) ::close(peer);
    }
};

}  // namespace

class TstEpollConnections : public QObject {
    Q_OBJECT
private slots:
    void bytesBeyondTheSocketBufferLeaveLaterInOrder() {
        EpollConnections set;
        QVERIFY(set.isValid());
        Pair p;
        QObject owner;
        EpollConnection* c = set.adopt(p.ours, &owner);
        QVERIFY(c);
        // Far more than a socket buffer holds, in three writes; the later ones queue behind.
        const QByteArray a = Pattern(3 << 20, 1), b = Pattern(1000, 2), d = Pattern(1 << 20, 3);
        c->write(a);
        c->write(b);
        c->write(d);
        const QByteArray want = a + b + d;
        QByteArray got;
        QElapsedTimer t;
        t.start();
        while (got.size() < want.size() && t.elapsed() < 10000) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
            got += ReadAvailable(p.peer);
        }
        QCOMPARE(got.size(), want.size());
        QVERIFY(got == want);
        QVERIFY(c->isConnected());
    }

    void arrivalsAndThePeersCloseReachTheHandlers() {
        EpollConnections set;
        Pair p;
        QObject owner;
        EpollConnection* c = set.adopt(p.ours, &owner);
        QVERIFY(c);
        QByteArray arrived;
        int closes = 0;
        EpollConnections::Handlers h;
        h.data = [&](EpollConnection*, const QByteArray& d) { arrived += d; };
        h.closed = [&](EpollConnection*) { ++closes; };
        set.setHandlers(std::move(h));
        QCOMPARE(::write(p.peer, "QV\x01", 3), ssize_t(3));
        QTRY_COMPARE(arrived, QByteArray("QV\x01"));
        ::close(p.peer);
        p.peer = -1;
        QTRY_COMPARE(closes, 1);
        QVERIFY(!c->isConnected());
        QCOMPARE(set.count(), 0);
    }

    void aWriteToAVanishedPeerIsReportedLaterNotDuringTheWrite() {
        EpollConnections set;
        Pair p;
        QObject owner;
        EpollConnection* c = set.adopt(p.ours, &owner);
        QVERIFY(c);
        int closes = 0;
        EpollConnections::Handlers h;
        h.closed = [&](EpollConnection*) { ++closes; };
        set.setHandlers(std::move(h));
        ::close(p.peer);
        p.peer = -1;
        c->write(QByteArray("qv\x71"));
        QCOMPARE(closes, 0);   // not from inside the caller's write
        QTRY_COMPARE(closes, 1);
        QCOMPARE(set.count(), 0);
    }
};

QTEST_MAIN(TstEpollConnections)
#include "tst_epoll_connections.moc"
