// The reply queue: a wait resumes no earlier than asked, lets events run meanwhile, and waits
// started later never hold up one that started earlier (no nested loops).
#include <QCoroTask>
#include <QElapsedTimer>
#include <QTest>
#include <QTimer>

#include "core/DelayQueue.h"

namespace {
// The queue under test, made on first use by the test application.
core::DelayQueue& Queue() {
    static core::DelayQueue queue;
    return queue;
}
QCoro::Task<> TimedDelay(double seconds, QElapsedTimer* clock, qint64* doneAtMs) {
    co_await Queue().wait(seconds);
    *doneAtMs = clock->elapsed();
}
}  // namespace

class TestDelay : public QObject {
    Q_OBJECT
private slots:
    void resumesNoEarlierThanAsked() {
        for (double s : {0.05, 0.3, 0.6}) {
            QElapsedTimer clock;
            clock.start();
            qint64 done = -1;
            auto task = TimedDelay(s, &clock, &done);
            QCOMPARE(done, qint64(-1));   // suspended, not finished inside the call
            QTRY_VERIFY_WITH_TIMEOUT(done >= 0, 5000);
            QVERIFY2(done >= qint64(s * 1000), qPrintable(QString::number(done)));
            QVERIFY2(done < qint64(s * 1000) + 400, qPrintable(QString::number(done)));
        }
    }

    void zeroStillYields() {
        QElapsedTimer clock;
        clock.start();
        qint64 done = -1;
        auto task = TimedDelay(0, &clock, &done);
        QCOMPARE(done, qint64(-1));
        QTRY_VERIFY_WITH_TIMEOUT(done >= 0, 2000);
    }

    void eventsRunDuringTheWait() {
        QElapsedTimer clock;
        clock.start();
        qint64 done = -1;
        int ticks = 0;
        QTimer tick;
        tick.setInterval(50);
        connect(&tick, &QTimer::timeout, this, [&] { ++ticks; });
        tick.start();
        auto task = TimedDelay(0.5, &clock, &done);
        QTRY_VERIFY_WITH_TIMEOUT(done >= 0, 5000);
        QVERIFY2(ticks >= 5, qPrintable(QString::number(ticks)));
    }

    void laterLongWaitDoesNotHoldUpEarlierShortOne() {
        // A short wait starts first; a long one starts (from an event) while it
        // runs. With nested loops the short one could only return after the long one.
        QElapsedTimer clock;
        clock.start();
        qint64 shortDone = -1, longDone = -1;
        QCoro::Task<> longTask;
        auto shortTask = TimedDelay(0.1, &clock, &shortDone);
        QTimer::singleShot(20, this, [&] { longTask = TimedDelay(0.8, &clock, &longDone); });
        QTRY_VERIFY_WITH_TIMEOUT(longDone >= 0, 5000);
        QVERIFY(shortDone >= 100);
        QVERIFY2(shortDone < longDone, qPrintable(QStringLiteral("%1 %2").arg(shortDone).arg(longDone)));
        QVERIFY(longDone >= 820);
    }

    void manyWaitersEachOnTime() {
        QElapsedTimer clock;
        clock.start();
        constexpr int kN = 200;
        std::vector<qint64> done(kN, -1);
        std::vector<QCoro::Task<>> tasks;
        for (int i = 0; i < kN; ++i) tasks.push_back(TimedDelay(0.05 + 0.001 * i, &clock, &done[i]));
        QTRY_VERIFY_WITH_TIMEOUT(std::all_of(done.begin(), done.end(), [](qint64 d) { return d >= 0; }), 5000);
        for (int i = 0; i < kN; ++i) QVERIFY(done[i] >= 50 + i);
    }

    // A loop kept busy past a deadline shows as that wait's lateness.
    void latenessOfABlockedLoopIsKept() {
        const quint64 before = Queue().lateness().count();
        QElapsedTimer clock;
        clock.start();
        qint64 done = -1;
        auto task = TimedDelay(0.05, &clock, &done);
        QTimer::singleShot(10, this, [] {
            QElapsedTimer busy;
            busy.start();
            while (busy.elapsed() < 300) {}
        });
        QTRY_VERIFY_WITH_TIMEOUT(done >= 0, 5000);
        QCOMPARE(Queue().lateness().count(), before + 1);
        QVERIFY2(Queue().lateness().maxMs() >= 250, qPrintable(QString::number(Queue().lateness().maxMs())));
    }

    // Percentiles read as bucket edges: 1 ms steps, 10 ms steps, the maximum beyond 10 s.
    void latenessPercentiles() {
        core::LatenessHistogram h;
        QCOMPARE(h.percentileMs(0.99), 0.0);
        for (int i = 0; i < 97; ++i) h.add(500'000);   // 0.5 ms
        h.add(42'300'000);
        h.add(4'321'000'000LL);
        h.add(12'000'000'000LL);
        QCOMPARE(h.count(), quint64(100));
        QCOMPARE(h.percentileMs(0.5), 1.0);
        QCOMPARE(h.percentileMs(0.98), 43.0);
        QCOMPARE(h.percentileMs(0.99), 4330.0);
        QCOMPARE(h.percentileMs(1.0), 12000.0);
        QCOMPARE(h.maxMs(), 12000.0);
        // The cumulative counts an exported histogram shows, and its sum.
        QCOMPARE(h.countBelowMs(1), quint64(97));
        QCOMPARE(h.countBelowMs(42), quint64(97));
        QCOMPARE(h.countBelowMs(43), quint64(98));
        QCOMPARE(h.countBelowMs(4320), quint64(98));
        QCOMPARE(h.countBelowMs(4330), quint64(99));
        QCOMPARE(h.countBelowMs(10000), quint64(99));
        QCOMPARE(h.sumSeconds(), 97 * 0.0005 + 0.0423 + 4.321 + 12.0);
    }
};

QTEST_MAIN(TestDelay)
#include "tst_delay_queue_waits.moc"
