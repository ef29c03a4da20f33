// The data centres' plain logic: connection index rules, the indexed lists, the
// configuration buttons' texts and the port-number readings.
#include <QListWidget>
#include <QtTest>

#include "server/ConnectionTable.h"
#include "server/IndexedList.h"
#include "server/RequestTexts.h"

using ht6630::Op;
using ht6630::dialogue::Channel;

class TstServerLogic : public QObject {
    Q_OBJECT
private slots:
    void indicesAreReusedLowestFirstAndConnCountNeverFalls() {
        ConnectionTable t;
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
        ConnectionTable t;
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
        ConnectionTable t;
        for (int i = 1; i <= ConnectionTable::kMaxIndex; ++i) QCOMPARE(*t.allocate(), i);
        QVERIFY(!t.allocate().has_value());
        QCOMPARE(t.connCount(), ConnectionTable::kMaxIndex);
        t.releaseByPeer(40);
        QCOMPARE(*t.allocate(), 40);         // a freed index is still available
        QVERIFY(!t.allocate().has_value());
    }

    void dispatchFindsTheLowestLoadedConnectionOfABarCode() {
        ConnectionTable t;
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

    void indexedListKeepsInsertionOrderAndRemovesFirstEqual() {
        QListWidget w;
        IndexedList l(&w);
        l.append("a");
        l.appendUnique("b");
        l.appendUnique("a");
        l.append("a");
        l.append("c");
        QCOMPARE(l.texts(), QStringList({"a", "b", "a", "c"}));
        QVERIFY(l.removeFirst("a"));
        QCOMPARE(l.texts(), QStringList({"b", "a", "c"}));
        QVERIFY(!l.removeFirst("zz"));
        l.append("b");
        QCOMPARE(l.removeAll("b"), 2);
        QCOMPARE(l.texts(), QStringList({"a", "c"}));
        QVERIFY(!l.contains("b"));
        QVERIFY(l.contains("c"));
        l.clear();
        QCOMPARE(w.count(), 0);
        QVERIFY(!l.contains("a"));
        l.appendUnique("a");
        QCOMPARE(l.texts(), QStringList({"a"}));
    }

    void buttonTextsDifferOnlyWhereTheConsolesDo() {
        QCOMPARE(server::TextsFor(Op::SetUpload, Channel::Tcp).queued,
                 QString("提示信息:准备设置上传数据时间间隔。。。"));
        QCOMPARE(server::TextsFor(Op::SetUpload, Channel::Udp).sending,
                 QString("提示信息:正在配置上传数据时间间隔。。。"));
        QCOMPARE(server::TextsFor(Op::ReadAll, Channel::Tcp).sending,
                 QString("提示信息:正在读取读取室温采集终端配置参数。。。"));
        QCOMPARE(server::TextsFor(Op::ReadIp, Channel::Udp).queued,
                 QString("提示信息:准备读取Velmar内部IP和端口。。。"));
        QCOMPARE(server::TextsFor(Op::SetSilence, Channel::Tcp).sending,
                 QString("提示信息:正在配置静默参数。。。"));
        for (const auto& e : ht6630::Catalogue())
            if (e.op != Op::SetUpload)
                QCOMPARE(server::TextsFor(e.op, Channel::Tcp).queued,
                         server::TextsFor(e.op, Channel::Udp).queued);
    }

    void portTextsReadAsTheStartButtonReadsThem() {
        QCOMPARE(*server::NumericValue(" 2020 "), 2020.0);
        QCOMPARE(*server::NumericValue("2.5e1"), 25.0);
        QVERIFY(!server::NumericValue(""));
        QVERIFY(!server::NumericValue("20a"));
        QVERIFY(!server::NumericValue("."));
        QCOMPARE(*server::RoundToInt32(2020.5), 2020);   // half to even
        QCOMPARE(*server::RoundToInt32(2021.5), 2022);
        QVERIFY(!server::RoundToInt32(3e9));
        QCOMPARE(server::LeadingValue(" 20 20x"), 2020.0);
        QCOMPARE(server::LeadingValue(""), 0.0);
        QCOMPARE(server::LeadingValue("abc"), 0.0);
        QCOMPARE(server::LeadingValue("-5"), -5.0);
    }
};

QTEST_MAIN(TstServerLogic)
#include "tst_server_logic.moc"
