// The deadline queue replies wait in: many waits, one timer; each resumes
// no earlier than its deadline, in deadline order, equal deadlines in the order
// they were started; a wait started while others resume still yields first.
#include <QCoroTask>
#include <QElapsedTimer>
#include <QTest>

#include <vector>

#include "core/DelayQueue.h"

namespace {
// The queue under test, made on first use by the test application.
core::DelayQueue& Queue() {
    static core::DelayQueue queue;
    return queue;
}
QCoro::Task<> Wait(double seconds, int id, std::vector<int>* order, QElapsedTimer* clock,
                   std::vector<qint64>* doneAt) {
    co_await Queue().wait(seconds);
    order->push_back(id);
    (*doneAt)[static_cast<std::size_t>(id)] = clock->nsecsElapsed();
}
// Waits, then starts a zero wait and notes whether it was still suspended.
QCoro::Task<> Outer(QCoro::Task<>* inner, bool* innerSuspended, std::vector<int>* order,
                    QElapsedTimer* clock, std::vector<qint64>* doneAt) {
    co_await Queue().wait(0.02);
    *inner = Wait(0, 1, order, clock, doneAt);
    *innerSuspended = order->empty();
    order->push_back(0);
}
}  // namespace

class TestDelayQueue : public QObject {
    Q_OBJECT
private slots:
    void resumesInDeadlineOrderNeverEarly() {
        constexpr int kN = 300;
        QElapsedTimer clock;
        clock.start();
        std::vector<int> order;
        std::vector<qint64> doneAt(kN, -1);
        std::vector<qint64> startedAt(kN, -1);
        std::vector<QCoro::Task<>> tasks;
        // Started longest first: deadlines run against the start order.
        for (int i = kN - 1; i >= 0; --i) {
            startedAt[static_cast<std::size_t>(i)] = clock.nsecsElapsed();
            tasks.push_back(Wait(0.05 + 0.002 * i, i, &order, &clock, &doneAt));
        }
        QCOMPARE(Queue().pending(), kN);
        QTRY_COMPARE_WITH_TIMEOUT(int(order.size()), kN, 10000);
        QCOMPARE(Queue().pending(), 0);
        // Resumed in deadline order. Deadlines are taken when each wait starts, so with
        // a slow start (a loaded machine, sanitizers) neighbours may legitimately swap:
        // compare the deadlines themselves, allowing for the moment between the note
        // of the start time and the call.
        const auto deadline = [&](int id) {
            return startedAt[static_cast<std::size_t>(id)] + qint64((0.05 + 0.002 * id) * 1e9);
        };
        for (int k = 1; k < kN; ++k) {
            const int a = order[static_cast<std::size_t>(k - 1)], b = order[static_cast<std::size_t>(k)];
            QVERIFY2(deadline(a) <= deadline(b) + 1'000'000, qPrintable(QStringLiteral("%1 before %2").arg(a).arg(b)));
        }
        for (int i = 0; i < kN; ++i) {
            const qint64 waited = doneAt[static_cast<std::size_t>(i)] - startedAt[static_cast<std::size_t>(i)];
            QVERIFY2(waited >= qint64((0.05 + 0.002 * i) * 1e9), qPrintable(QString::number(waited)));
        }
    }

    void equalDeadlinesKeepTheirStartOrder() {
        QElapsedTimer clock;
        clock.start();
        std::vector<int> order;
        std::vector<qint64> doneAt(100, -1);
        std::vector<QCoro::Task<>> tasks;
        for (int i = 0; i < 100; ++i) tasks.push_back(Wait(0, i, &order, &clock, &doneAt));
        QVERIFY(order.empty());   // nothing resumes inside the call
        QTRY_COMPARE_WITH_TIMEOUT(int(order.size()), 100, 5000);
        for (int i = 0; i < 100; ++i) QCOMPARE(order[static_cast<std::size_t>(i)], i);
    }

    void aWaitStartedWhileResumingYieldsFirst() {
        QElapsedTimer clock;
        clock.start();
        std::vector<int> order;
        std::vector<qint64> doneAt(3, -1);
        QCoro::Task<> inner;
        bool innerSuspended = false;
        auto outer = Outer(&inner, &innerSuspended, &order, &clock, &doneAt);
        QTRY_COMPARE_WITH_TIMEOUT(int(order.size()), 2, 5000);
        QVERIFY(innerSuspended);   // the zero wait yielded to the event loop
        QCOMPARE(order[0], 0);
        QCOMPARE(order[1], 1);
    }
};

QTEST_GUILESS_MAIN(TestDelayQueue)
#include "tst_delay_queue_order.moc"
