// The repaint throttle: a window changed many times within one interval is
// painted once now and once at the end of the interval, with its last state.
#include <QElapsedTimer>
#include <QLabel>
#include <QPaintEvent>
#include <QPointer>
#include <QtTest>

#include "ui/RepaintThrottle.h"

namespace {

class CountingLabel : public QLabel {
public:
    int paints = 0;
    QString paintedText;

protected:
    void paintEvent(QPaintEvent* e) override {
        ++paints;
        paintedText = text();
        QLabel::paintEvent(e);
    }
};

}  // namespace

class TstRepaintThrottle : public QObject {
    Q_OBJECT
private slots:
    void manyChangesInOneIntervalArePaintedTwiceAndEndWithTheLastState() {
        RepaintThrottle* throttle = RepaintThrottle::install(QCoreApplication::instance(), 500);
        CountingLabel w;
        w.resize(200, 40);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QTRY_VERIFY(w.paints > 0);
        QTest::qWait(550);   // the first request of the test goes through at once
        const int before = w.paints;

        // 30 changes, each followed by a turn of the event loop, within about 60 ms.
        QElapsedTimer t;
        t.start();
        for (int i = 0; i < 30; ++i) {
            w.setText(QString::number(i));
            QCoreApplication::processEvents();
            QTest::qWait(2);
        }
        QVERIFY2(t.elapsed() < 450, "the changes took longer than one interval");
        // The first change was painted at once; the rest wait for the interval's end.
        QCOMPARE(w.paints - before, 1);
        QTRY_COMPARE_WITH_TIMEOUT(w.paintedText, QStringLiteral("29"), 2000);
        QCOMPARE(w.paints - before, 2);
        // Held back once: the window asks again only after it has painted.
        QVERIFY(throttle->deferred() >= 1);
        delete throttle;
    }

    void aWindowThatGoesAwayWhileItsRepaintWaitsIsNotTouched() {
        RepaintThrottle* throttle = RepaintThrottle::install(QCoreApplication::instance(), 100);
        QPointer<CountingLabel> w = new CountingLabel;
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w));
        for (int i = 0; i < 5; ++i) {
            w->setText(QString::number(i));
            QCoreApplication::processEvents();
        }
        delete w;
        QTest::qWait(250);   // the gathered repaint would have come by now
        QVERIFY(w.isNull());
        delete throttle;
    }
};

QTEST_MAIN(TstRepaintThrottle)
#include "tst_repaint_throttle.moc"
