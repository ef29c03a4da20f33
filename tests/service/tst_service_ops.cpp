// The overdue judgement over the held terminals.
#include <QtTest>

#include "HeldTerminals.h"

using service::HeldTerminals;

class ServiceOpsTest : public QObject {
    Q_OBJECT
private slots:
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
