// The metrics text's histograms, escaping and omissions, and the overdue judgement
// over the held terminals.
#include <QtTest>

#include "HeldTerminals.h"
#include "ServiceMetrics.h"
#include "core/LatenessHistogram.h"

using service::HeldTerminals;

class ServiceOpsTest : public QObject {
    Q_OBJECT
private slots:
    // What a real run cannot show cheaply: the buckets at their edges, the sum, a
    // label escaped, and the lines left out without a channel, a broker or a read log.
    void rendered() {
        core::LatenessHistogram replies, loop;
        for (int i = 0; i < 3; ++i) replies.add(500'000);   // 0.5 ms
        replies.add(42'300'000);
        replies.add(12'000'000'000LL);
        service::MetricCounters counters;
        service::MetricsSnapshot m;
        m.node = QStringLiteral("a\"b");
        m.tcp = true;
        m.counters = &counters;
        m.replyLateness = &replies;
        m.loopLateness = &loop;
        const QByteArray text = service::RenderMetrics(m);
        for (const char* line : {"node=\"a\\\"b\"} 1\n", "ht6630_reply_lateness_seconds_bucket{le=\"0.001\"} 3\n",
                                 "ht6630_reply_lateness_seconds_bucket{le=\"0.02\"} 3\n",
                                 "ht6630_reply_lateness_seconds_bucket{le=\"0.05\"} 4\n",
                                 "ht6630_reply_lateness_seconds_bucket{le=\"10\"} 4\n",
                                 "ht6630_reply_lateness_seconds_bucket{le=\"+Inf\"} 5\n",
                                 "ht6630_reply_lateness_seconds_sum 12.0438\n", "ht6630_reply_lateness_seconds_count 5\n"})
            QVERIFY2(text.contains(line), line);
        for (const char* absent : {"channel=\"udp\"", "broker_connected", "commands_total"})
            QVERIFY2(!text.contains(absent), absent);
        m.mqtt = true;
        QVERIFY(service::RenderMetrics(m).contains("ht6630_broker_connected 0\n"));
        QVERIFY(!service::RenderMetrics(m).contains("readings_waiting"));
        m.readingsWaiting = 8;
        QVERIFY(service::RenderMetrics(m).contains("ht6630_readings_waiting 8\n"));
    }

    // Past three observed heart-beat intervals, or a fixed silence; back when it reports.
    void overdue() {
        HeldTerminals held;
        const QString a = QStringLiteral("2012345678901"), b = QStringLiteral("2012345678902");
        held.online(a, QStringLiteral("tcp"), QStringLiteral("127.0.0.1:4000"), QDateTime(), 0);
        held.online(b, QStringLiteral("udp"), QStringLiteral("127.0.0.1:4001"), QDateTime(), 0);
        for (qint64 t : {1000, 2000}) QVERIFY(!held.heard(a, HeldTerminals::Frame::Heartbeat, t));
        QCOMPARE(held.sweep(5000, 0), QStringList());   // three intervals of 1 s exactly
        QCOMPARE(held.sweep(5001, 0), QStringList{a});
        QCOMPARE(held.sweep(6000, 0), QStringList());   // said once
        QCOMPARE(held.overdue(), 1);
        // Back: the silence was no interval.
        QVERIFY(held.heard(a, HeldTerminals::Frame::Heartbeat, 9000));
        QVERIFY(!held.heard(a, HeldTerminals::Frame::Heartbeat, 10000));
        QCOMPARE(held.find(a)->beats.intervals, 2);
        QCOMPARE(*held.find(a)->beats.meanSeconds(), 1.0);
        QCOMPARE(held.overdue(), 0);
        // An interval the terminal reported wins over the observed one (b's is not known: 3 x 240 s).
        held.reportedHeartbeat(a, 30);
        QCOMPARE(held.sweep(100'000, 0), QStringList());
        QCOMPARE(held.sweep(100'001, 0), QStringList{a});
        QCOMPARE(held.sweep(720'000, 0), QStringList());
        QCOMPARE(held.sweep(720'001, 0), QStringList{b});
        QCOMPARE(held.overdue(), 2);
        held.offline(a);
        QCOMPARE(held.overdue(), 1);
        QVERIFY(!held.heard(a, HeldTerminals::Frame::Upload, 720'002));   // no longer held

        // A fixed silence stands for three heart beats.
        HeldTerminals fixed;
        fixed.online(a, QStringLiteral("tcp"), QString(), QDateTime(), 0);
        for (qint64 t : {1000, 2000}) fixed.heard(a, HeldTerminals::Frame::Heartbeat, t);
        QCOMPARE(fixed.sweep(2400, 400), QStringList());
        QCOMPARE(fixed.sweep(2401, 400), QStringList{a});
    }
};

QTEST_APPLESS_MAIN(ServiceOpsTest)
#include "tst_service_ops.moc"
