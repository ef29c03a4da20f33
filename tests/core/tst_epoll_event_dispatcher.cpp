// The epoll event dispatcher under Qt's own objects: timers in order and stopped when
// killed, sockets that read and write through their notifiers, a wake-up from another
// thread ending a wait that has no timer, and sockets dropped while others are ready.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>

#include <memory>
#include <thread>
#include <vector>

#include "core/EpollEventDispatcher.h"

class TestEpollDispatcher : public QObject {
    Q_OBJECT
private slots:
    void timersFireInOrderAndStopWhenKilled() {
        QVERIFY(dynamic_cast<core::EpollEventDispatcher*>(QAbstractEventDispatcher::instance()));
        std::vector<int> order;
        for (int ms : {30, 10, 20, 0}) QTimer::singleShot(ms, this, [&order, ms] { order.push_back(ms); });
        int ticks = 0;
        QTimer repeating;
        repeating.setTimerType(Qt::PreciseTimer);
        connect(&repeating, &QTimer::timeout, this, [&] { ++ticks; });
        repeating.start(5);
        QTRY_COMPARE_WITH_TIMEOUT(order.size(), std::size_t(4), 2000);
        QCOMPARE(order, (std::vector<int>{0, 10, 20, 30}));
        QTRY_VERIFY_WITH_TIMEOUT(ticks >= 5, 2000);
        QVERIFY(repeating.remainingTime() >= 0);
        repeating.stop();
        const int stoppedAt = ticks;
        QTest::qWait(50);
        QCOMPARE(ticks, stoppedAt);
    }

    void socketsCarryABulkEcho() {
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost));
        connect(&server, &QTcpServer::newConnection, this, [&] {
            QTcpSocket* peer = server.nextPendingConnection();
            connect(peer, &QTcpSocket::readyRead, peer, [peer] { peer->write(peer->readAll()); });
        });
        QTcpSocket client;
        client.connectToHost(QHostAddress::LocalHost, server.serverPort());
        QByteArray sent(4 << 20, '\0');
        for (qsizetype i = 0; i < sent.size(); ++i) sent[i] = char(i * 7 + i / 1000);
        QByteArray got;
        connect(&client, &QTcpSocket::readyRead, this, [&] { got += client.readAll(); });
        QTRY_VERIFY_WITH_TIMEOUT(client.state() == QAbstractSocket::ConnectedState, 5000);
        client.write(sent);   // more than the kernel takes at once: the write notifier carries the rest
        QTRY_COMPARE_WITH_TIMEOUT(got.size(), sent.size(), 10000);
        QVERIFY(got == sent);
    }

    void wakeUpFromAnotherThreadEndsAWaitWithoutTimers() {
        QEventLoop loop;
        bool lost = false;
        std::thread poster([&loop] {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            QMetaObject::invokeMethod(&loop, [&loop] { loop.quit(); }, Qt::QueuedConnection);
        });
        QTimer::singleShot(5000, &loop, [&] {   // only if the wake-up is lost
            lost = true;
            loop.quit();
        });
        loop.exec();
        poster.join();
        QVERIFY(!lost);
    }

    void socketsDroppedWhileOthersAreReady() {
        // The server aborts every connection as its first bytes arrive, while many
        // clients' sockets are ready in the same pass: a dropped socket's notifiers
        // must never be reached afterwards (ASan watches this).
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost));
        int dropped = 0;
        connect(&server, &QTcpServer::newConnection, this, [&] {
            while (QTcpSocket* peer = server.nextPendingConnection()) {
                connect(peer, &QTcpSocket::readyRead, peer, [peer, &dropped] {
                    ++dropped;
                    peer->abort();
                    peer->deleteLater();
                });
            }
        });
        constexpr int kClients = 200;
        std::vector<std::unique_ptr<QTcpSocket>> clients;
        int closed = 0;
        for (int i = 0; i < kClients; ++i) {
            auto c = std::make_unique<QTcpSocket>();
            QTcpSocket* raw = c.get();
            connect(raw, &QTcpSocket::connected, raw, [raw] { raw->write("hello"); });
            connect(raw, &QTcpSocket::disconnected, this, [&closed] { ++closed; });
            raw->connectToHost(QHostAddress::LocalHost, server.serverPort());
            clients.push_back(std::move(c));
        }
        QTRY_COMPARE_WITH_TIMEOUT(dropped, kClients, 10000);
        QTRY_COMPARE_WITH_TIMEOUT(closed, kClients, 10000);
    }
};

int main(int argc, char** argv) {
    QCoreApplication::setEventDispatcher(new core::EpollEventDispatcher);
    QCoreApplication app(argc, argv);
    TestEpollDispatcher test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_epoll_event_dispatcher.moc"
