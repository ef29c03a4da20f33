// The data centres' plain logic: connection index rules, the indexed lists, the
// configuration buttons' texts and the port-number readings.
#include <QListWidget>
#include <QtTest>

#include "core/BarCodeList.h"
#include "core/ConnectionTable.h"
#include "core/RequestTexts.h"
#include "ui/IndexedList.h"

using ht6630::Op;
using ht6630::dialogue::Channel;

class TstServerLogic : public QObject {
    Q_OBJECT
private slots:
    void indicesAreReusedLowestFirstAndConnCountNeverFalls() {
        core::ConnectionTable t;
        QCOMPARE(*t.allocate(), 1);
        QCOMPARE(*t.allocate(), 2);
        QCOMPARE(*t.allocate(), 3);
        t.setBarCode(2, "2000000000002");
        QCOMPARE(t.releaseByPeer(3), QString());
        QCOMPARE(t.releaseByPeer(2), QString("2000000000002"));
        QCOMPARE(t.clientBarCode()[2], QString());
        QVERIFY(t.slotFree()[2] && t.slotFree()[3]);
        QCOMPARE(*t.allocate(), 2);          // lowest freed first
        QCOMPARE(*t.allocate(), 3);
        QCOMPARE(*t.allocate(), 4);          // none free: ConnCount + 1
        QCOMPARE(t.connCount(), 4);
        QCOMPARE(int(t.slotFree().size()), 5);
        QCOMPARE(int(t.clientBarCode().size()), 5);
    }

    void stopDoesNotFreeItsIndicesButKeepsEarlierFreedOnes() {
        core::ConnectionTable t;
        for (int k = 0; k < 3; ++k) t.allocate();
        t.setBarCode(1, "A");
        t.releaseByPeer(2);                  // freed by its peer before the stop
        const std::vector<int> closed = t.stopAll();
        QCOMPARE(closed, (std::vector<int>{1, 3}));
        QCOMPARE(t.clientBarCode()[1], QString());
        QVERIFY(!t.slotFree()[1] && t.slotFree()[2] && !t.slotFree()[3]);
        QCOMPARE(t.loadedCount(), 0);
        // Menu stop only: the index freed earlier is still reused.
        QCOMPARE(*t.allocate(), 2);
        QCOMPARE(*t.allocate(), 4);
        // The stop button also shrinks the arrays: nothing is free any more.
        t.releaseByPeer(2);
        t.stopAll();
        t.shrinkToFirst();
        QCOMPARE(int(t.slotFree().size()), 1);
        QCOMPARE(int(t.clientBarCode().size()), 1);
        QCOMPARE(*t.allocate(), 5);
        QCOMPARE(int(t.slotFree().size()), 6);
    }

    void indicesStopAt32767() {
        core::ConnectionTable t;
        for (int i = 1; i <= core::ConnectionTable::kMaxIndex; ++i) QCOMPARE(*t.allocate(), i);
        QVERIFY(!t.allocate().has_value());
        QCOMPARE(t.connCount(), core::ConnectionTable::kMaxIndex);
        t.releaseByPeer(40);
        QCOMPARE(*t.allocate(), 40);         // a freed index is still available
        QVERIFY(!t.allocate().has_value());
    }

    void dispatchFindsTheLowestLoadedConnectionOfABarCode() {
        core::ConnectionTable t;
        for (int k = 0; k < 4; ++k) t.allocate();
        t.setBarCode(1, "B1");
        t.setBarCode(3, "B3");
        t.setBarCode(4, "B3");
        QCOMPARE(*t.firstLoadedWith("B3"), 3);
        QCOMPARE(*t.firstLoadedWith(""), 2);   // a connection that has not registered
        QVERIFY(!t.firstLoadedWith("B9"));
        t.releaseByPeer(3);
        QCOMPARE(*t.firstLoadedWith("B3"), 4);
        t.setBarCode(4, "B1");                 // re-registration moves it
        QVERIFY(!t.firstLoadedWith("B3"));
        QCOMPARE(*t.firstLoadedWith("B1"), 1);
        t.stopAll();
        QVERIFY(!t.firstLoadedWith("B1"));
        QVERIFY(!t.firstLoadedWith(""));
    }

    // The engine's list and the window's list box replay the same steps: both keep
    // insertion order, remove the first equal entry, and agree after every step.
    void listsKeepInsertionOrderAndRemoveFirstEqual() {
        QListWidget w;
        IndexedList view(&w);
        core::BarCodeList list;
        auto both = [&](auto step) {
            step(view);
            step(list);
            QCOMPARE(list.texts(), view.texts());
            QCOMPARE(list.count(), w.count());
        };
        both([](auto& l) { l.append("a"); });
        both([](auto& l) { l.appendUnique("b"); });
        both([](auto& l) { l.appendUnique("a"); });
        both([](auto& l) { l.append("a"); });
        both([](auto& l) { l.append("c"); });
        QCOMPARE(list.texts(), QStringList({"a", "b", "a", "c"}));
        both([](auto& l) { QVERIFY(l.removeFirst("a")); });
        QCOMPARE(list.texts(), QStringList({"b", "a", "c"}));
        both([](auto& l) { QVERIFY(!l.removeFirst("zz")); });
        both([](auto& l) { l.append("b"); });
        both([](auto& l) { QCOMPARE(l.removeAll("b"), 2); });
        QCOMPARE(list.texts(), QStringList({"a", "c"}));
        QVERIFY(!list.contains("b") && !view.contains("b"));
        QVERIFY(list.contains("c") && view.contains("c"));
        both([](auto& l) { l.clear(); });
        QVERIFY(!list.contains("a"));
        both([](auto& l) { l.appendUnique("a"); });
        QCOMPARE(list.texts(), QStringList({"a"}));
    }

    void buttonTextsDifferOnlyWhereTheConsolesDo() {
        QCOMPARE(core::TextsFor(Op::SetUpload, Channel::Tcp).queued,
                 QString("提示信息:准备设置上传数据时间间隔。。。"));
        QCOMPARE(core::TextsFor(Op::SetUpload, Channel::Udp).sending,
                 QString("提示信息:正在配置上传数据时间间隔。。。"));
        QCOMPARE(core::TextsFor(Op::ReadAll, Channel::Tcp).sending,
                 QString("提示信息:正在读取读取室温采集终端配置参数。。。"));
        QCOMPARE(core::TextsFor(Op::ReadIp, Channel::Udp).queued,
                 QString("提示信息:准备读取Velmar内部IP和端口。。。"));
        QCOMPARE(core::TextsFor(Op::SetSilence, Channel::Tcp).sending,
                 QString("提示信息:正在配置静默参数。。。"));
        for (const auto& e : ht6630::Catalogue())
            if (e.op != Op::SetUpload)
                QCOMPARE(core::TextsFor(e.op, Channel::Tcp).queued,
                         core::TextsFor(e.op, Channel::Udp).queued);
    }

    void portTextsReadAsTheStartButtonReadsThem() {
        QCOMPARE(*core::NumericValue(" 2020 "), 2020.0);
        QCOMPARE(*core::NumericValue("2.5e1"), 25.0);
        QVERIFY(!core::NumericValue(""));
        QVERIFY(!core::NumericValue("20a"));
        QVERIFY(!core::NumericValue("."));
        QCOMPARE(*core::RoundToInt32(2020.5), 2020);   // half to even
        QCOMPARE(*core::RoundToInt32(2021.5), 2022);
        QVERIFY(!core::RoundToInt32(3e9));
    }
};

QTEST_MAIN(TstServerLogic)
#include "tst_server_logic.moc"
