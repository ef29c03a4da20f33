// The repaint throttle: a window changed many times within one interval is
// painted once now and once at the end of the interval, with its last state.
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
        RepaintThrottle* throttle = RepaintThrottle::install(QCoreApplication::instance(), 3000);
        CountingLabel w;
        w.resize(200, 40);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QTRY_VERIFY(w.paints > 0);
        QTest::qWait(3050);   // the first request of the test goes through at once
        const int before = w.paints;

        // 30 changes, each followed by a turn of the event loop, within about 60 ms: an
        // interval of 3 s holds them even on a loaded machine.
        for (int i = 0; i < 30; ++i) {
            w.setText(QString::number(i));
            QCoreApplication::processEvents();
            QTest::qWait(2);
        }
        // The first change was painted at once; the rest wait for the interval's end.
        QCOMPARE(w.paints - before, 1);
        QTRY_COMPARE_WITH_TIMEOUT(w.paintedText, QStringLiteral("29"), 6000);
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
        // A repaint is waiting for the window (else this case tests nothing) when it goes.
        QVERIFY(throttle->deferred() >= 1);
        delete w;
        QTest::qWait(250);   // the gathered repaint would have come by now (ASan: not to a freed window)
        delete throttle;
    }
};

QTEST_MAIN(TstRepaintThrottle)
#include "tst_repaint_throttle.moc"
