// A label isolated from its layout: its text changes no longer make the window
// recompute its layout, and it still fills the place the layout gives it.
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <QtTest>

#include "ui/LayoutIsolation.h"

namespace {

class LayoutRequestCounter : public QObject {
public:
    int count = 0;

protected:
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::LayoutRequest) ++count;
        return false;
    }
};

struct Window {
    QWidget w;
    QLabel* label;
    QPushButton* button;
    Window() {
        auto* lay = new QVBoxLayout(&w);
        button = new QPushButton(QStringLiteral("启动服务"), &w);
        label = new QLabel(QStringLiteral("系统提示"), &w);
        label->setObjectName(QStringLiteral("LblInf"));
        lay->addWidget(button);
        lay->addWidget(label);
        w.resize(400, 120);
    }
    // Changes the text 50 times, alternating lengths, letting the events run.
    int layoutRequestsWhileChanging() {
        QTest::qWait(50);   // what showing the window left pending is done first
        LayoutRequestCounter counter;
        w.installEventFilter(&counter);
        for (int i = 0; i < 50; ++i) {
            label->setText(i % 2 ? QStringLiteral("提示信息:应答心跳包成功！") : QStringLiteral("提示信息:正在处理"));
            QCoreApplication::processEvents();
        }
        w.removeEventFilter(&counter);
        return counter.count;
    }
};

}  // namespace

class TstLayoutIsolation : public QObject {
    Q_OBJECT
private slots:
    void textChangesReachTheWindowLayoutOnlyWithoutIsolation() {
        Window plain;
        plain.w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&plain.w));
        QVERIFY(plain.layoutRequestsWhileChanging() >= 25);

        Window isolated;
        QWidget* host = IsolateFromLayout(isolated.label);
        QVERIFY(host);
        isolated.w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&isolated.w));
        QCOMPARE(isolated.layoutRequestsWhileChanging(), 0);
        QCOMPARE(isolated.label->text(), QStringLiteral("提示信息:应答心跳包成功！"));
    }

    void theLabelFillsItsPlaceAndStaysFindableByName() {
        Window win;
        QWidget* host = IsolateFromLayout(win.label);
        win.w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&win.w));
        QCOMPARE(win.w.findChild<QLabel*>(QStringLiteral("LblInf")), win.label);
        QCOMPARE(win.label->geometry(), host->rect());
        QVERIFY(win.label->isVisible());
        QVERIFY(host->geometry().top() >= win.button->geometry().bottom());   // same place in the layout
        win.w.resize(600, 140);
        QTRY_COMPARE(win.label->width(), host->width());
        QVERIFY(host->width() > 500);
    }

    void aLabelOutsideAnyLayoutIsLeftAlone() {
        QWidget w;
        auto* label = new QLabel(QStringLiteral("x"), &w);
        QCOMPARE(IsolateFromLayout(label), nullptr);
        QCOMPARE(label->parentWidget(), &w);
    }
};

QTEST_MAIN(TstLayoutIsolation)
#include "tst_layout_isolation.moc"
