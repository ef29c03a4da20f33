// The automation interface's requests, handled in process: addressing, kinds,
// queued clicks, message boxes and errors. The wire itself is covered end to end.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QJsonArray>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLocalSocket>
#include <QPushButton>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QVBoxLayout>
#include <QSortFilterProxyModel>
#include <QStandardItemModel>
#include <QTableView>
#include <QFileInfo>

#include "ui/LogTextBox.h"
#include "ui/MsgBox.h"
#include "ui/ParameterPages.h"
#include "ui/NetLogWindow.h"
#include "ui/LogLines.h"
#include "ui/AutomationServer.h"

namespace {
QJsonObject Req(AutomationServer& s, const QString& op, QJsonObject fields = {}) {
    fields[QStringLiteral("op")] = op;
    return s.handle(fields);
}
QJsonObject Get(AutomationServer& s, const QString& path) {
    return Req(s, QStringLiteral("get"), {{QStringLiteral("path"), path}});
}
}  // namespace

class TestAutomation : public QObject {
    Q_OBJECT
    QDialog* console_ = nullptr;
    NetLogWindow* netLog_ = new NetLogWindow;   // exists, hidden
    ParameterPages* pages_ = nullptr;
    int clicks_ = 0;

private slots:
    void initTestCase() {
        console_ = new QDialog;
        console_->setObjectName(QStringLiteral("FrmInfrared"));
        console_->setWindowTitle(QStringLiteral("HT6630-QN无线室温采集终端串口通信配置"));
        auto* lay = new QVBoxLayout(console_);
        pages_ = new ParameterPages(console_);
        lay->addWidget(pages_);
        auto* check = new QCheckBox(QStringLiteral("显示报文"), console_);
        check->setObjectName(QStringLiteral("CheckShow"));
        check->setChecked(true);
        lay->addWidget(check);
        auto* list = new QListWidget(console_);
        list->setObjectName(QStringLiteral("List1"));
        list->addItems({QStringLiteral("2012345678901"), QStringLiteral("2012345678902")});
        lay->addWidget(list);
        connect(list, &QListWidget::itemClicked, this, [this](QListWidgetItem*) { ++clicks_; });
        auto* bar = new QStatusBar(console_);
        bar->setObjectName(QStringLiteral("StatusBar1"));
        auto* p1 = new QLabel(QStringLiteral("TCP服务已启动!"));
        auto* p2 = new QLabel(QStringLiteral("panel 2"));
        bar->addWidget(p1);
        bar->addWidget(p2);
        lay->addWidget(bar);
        connect(pages_->button(QStringLiteral("cmdIpR")), &QPushButton::clicked, this, [this] { ++clicks_; });
        console_->show();
    }
    void cleanupTestCase() {
        delete console_;
        delete netLog_;
    }

    void windowsAndErrors() {
        AutomationServer s;
        const QJsonArray wins = Req(s, QStringLiteral("windows")).value(QStringLiteral("windows")).toArray();
        QStringList names;
        for (const auto& w : wins) names << w.toObject().value(QStringLiteral("name")).toString();
        QVERIFY(names.contains(QStringLiteral("FrmInfrared")));
        QVERIFY(names.contains(QStringLiteral("frmInfo")));
        QCOMPARE(Req(s, QStringLiteral("ping")).value(QStringLiteral("ok")).toBool(), true);
        QJsonObject r = Get(s, QStringLiteral("frmInfo/txtFoo"));
        QCOMPARE(r.value(QStringLiteral("ok")).toBool(), false);
        QCOMPARE(r.value(QStringLiteral("error")).toString(), QStringLiteral("no such control: frmInfo/txtFoo"));
        r = Get(s, QStringLiteral("frmNothing/txtFoo"));
        QCOMPARE(r.value(QStringLiteral("error")).toString(), QStringLiteral("no such window: frmNothing"));
        QCOMPARE(Req(s, QStringLiteral("dance")).value(QStringLiteral("ok")).toBool(), false);
        r = Req(s, QStringLiteral("set"), {{QStringLiteral("path"), QStringLiteral("FrmInfrared/cmdIpR")},
                                           {QStringLiteral("text"), QStringLiteral("x")}});
        QCOMPARE(r.value(QStringLiteral("ok")).toBool(), false);
        r = Req(s, QStringLiteral("select"), {{QStringLiteral("path"), QStringLiteral("FrmInfrared/Combo1")},
                                              {QStringLiteral("index"), 5}});
        QCOMPARE(r.value(QStringLiteral("ok")).toBool(), false);
        QCOMPARE(Req(s, QStringLiteral("answer")).value(QStringLiteral("error")).toString(),
                 QStringLiteral("no message box is open"));
    }

    void kindsAndArrays() {
        AutomationServer s;
        QJsonObject r = Get(s, QStringLiteral("FrmInfrared/txtIp(3)"));
        QCOMPARE(r.value(QStringLiteral("kind")).toString(), QStringLiteral("text"));
        QCOMPARE(r.value(QStringLiteral("name")).toString(), QStringLiteral("txtIp_3"));
        r = Get(s, QStringLiteral("FrmInfrared/Option5(0)"));
        QCOMPARE(r.value(QStringLiteral("kind")).toString(), QStringLiteral("option"));
        QCOMPARE(r.value(QStringLiteral("checked")).toBool(), true);
        QCOMPARE(r.value(QStringLiteral("text")).toString(), QStringLiteral("系统时间"));
        r = Get(s, QStringLiteral("FrmInfrared/Tim"));
        QCOMPARE(r.value(QStringLiteral("kind")).toString(), QStringLiteral("timer"));
        QCOMPARE(r.value(QStringLiteral("running")).toBool(), true);
        r = Get(s, QStringLiteral("FrmInfrared/SSTab1"));
        QCOMPARE(r.value(QStringLiteral("kind")).toString(), QStringLiteral("tabs"));
        QCOMPARE(r.value(QStringLiteral("tabs")).toArray().at(2).toString(), QStringLiteral("实时温度湿度"));
        QCOMPARE(r.value(QStringLiteral("index")).toInt(), 0);
        r = Get(s, QStringLiteral("FrmInfrared/Combo1"));
        QCOMPARE(r.value(QStringLiteral("kind")).toString(), QStringLiteral("combo"));
        QCOMPARE(r.value(QStringLiteral("items")).toArray(), (QJsonArray{"TCP", "UDP"}));
        QCOMPARE(r.value(QStringLiteral("text")).toString(), QStringLiteral("TCP"));
        r = Get(s, QStringLiteral("FrmInfrared/CheckShow"));
        QCOMPARE(r.value(QStringLiteral("kind")).toString(), QStringLiteral("check"));
        QCOMPARE(r.value(QStringLiteral("value")).toInt(), 1);
        r = Get(s, QStringLiteral("FrmInfrared/cmdCJR"));
        QCOMPARE(r.value(QStringLiteral("kind")).toString(), QStringLiteral("button"));
        QCOMPARE(r.value(QStringLiteral("text")).toString(), QStringLiteral("参数读取"));
        QCOMPARE(r.value(QStringLiteral("enabled")).toBool(), true);
        r = Get(s, QStringLiteral("FrmInfrared/StatusBar1"));
        QCOMPARE(r.value(QStringLiteral("kind")).toString(), QStringLiteral("statusbar"));
        QCOMPARE(r.value(QStringLiteral("panels")).toArray(), (QJsonArray{"TCP服务已启动!", "panel 2"}));
        r = Get(s, QStringLiteral("FrmInfrared"));
        QCOMPARE(r.value(QStringLiteral("kind")).toString(), QStringLiteral("window"));
        QCOMPARE(r.value(QStringLiteral("title")).toString(), QStringLiteral("HT6630-QN无线室温采集终端串口通信配置"));
        r = Get(s, QStringLiteral("FrmInfrared/List1"));
        QCOMPARE(r.value(QStringLiteral("kind")).toString(), QStringLiteral("list"));
        QCOMPARE(r.value(QStringLiteral("index")).toInt(), -1);
    }

    void controlsOfAWindowOpenedOverAnother() {
        // A window opened over the console is the console's child object; each keeps its
        // own controls, and a path names the control of that window only.
        AutomationServer s;
        auto* child = new QDialog(console_);
        child->setObjectName(QStringLiteral("FrmSetPort"));
        auto* edit = new QLineEdit(child);
        edit->setObjectName(QStringLiteral("TxtStatus"));
        edit->setText(QStringLiteral("child"));
        auto* tim = new QTimer(child);
        tim->setObjectName(QStringLiteral("TimChild"));
        QCOMPARE(Get(s, QStringLiteral("FrmSetPort/TxtStatus")).value(QStringLiteral("text")).toString(),
                 QStringLiteral("child"));
        QJsonObject r = Get(s, QStringLiteral("FrmInfrared/TxtStatus"));
        QCOMPARE(r.value(QStringLiteral("error")).toString(), QStringLiteral("no such control: FrmInfrared/TxtStatus"));
        r = Get(s, QStringLiteral("FrmInfrared/TimChild"));
        QCOMPARE(r.value(QStringLiteral("error")).toString(), QStringLiteral("no such control: FrmInfrared/TimChild"));
        QCOMPARE(Get(s, QStringLiteral("FrmSetPort/TimChild")).value(QStringLiteral("kind")).toString(),
                 QStringLiteral("timer"));
        delete child;
    }

    // A table reads as shown: visible columns' headers, rows in the sorted and filtered order.
    void tableReadsAsShown() {
        AutomationServer s;
        QStandardItemModel model(3, 3);
        model.setHorizontalHeaderLabels({QStringLiteral("条形码"), QStringLiteral("hidden"), QStringLiteral("温度")});
        const char* rows[3][3] = {{"2012345678903", "x", "21.5"}, {"2012345678901", "y", "-3.0"}, {"9000000000000", "z", "7"}};
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 3; ++c) model.setItem(r, c, new QStandardItem(QString::fromUtf8(rows[r][c])));
        QSortFilterProxyModel proxy;
        proxy.setSourceModel(&model);
        proxy.setFilterKeyColumn(0);
        proxy.setFilterFixedString(QStringLiteral("2012"));
        proxy.sort(0);
        auto* table = new QTableView(console_);
        table->setObjectName(QStringLiteral("tblProbe"));
        table->setModel(&proxy);
        table->setColumnHidden(1, true);
        const QJsonObject r = Get(s, QStringLiteral("FrmInfrared/tblProbe"));
        QCOMPARE(r.value(QStringLiteral("kind")).toString(), QStringLiteral("table"));
        QCOMPARE(r.value(QStringLiteral("columns")).toArray(), QJsonArray({QStringLiteral("条形码"), QStringLiteral("温度")}));
        QCOMPARE(r.value(QStringLiteral("rows")).toArray(),
                 QJsonArray({QJsonArray({QStringLiteral("2012345678901"), QStringLiteral("-3.0")}),
                             QJsonArray({QStringLiteral("2012345678903"), QStringLiteral("21.5")})}));
        delete table;
    }

    void hiddenLogTextIsExact() {
        AutomationServer s;
        netLog_->write(QStringLiteral("注册2012345678901"));
        const QJsonObject r = Get(s, QStringLiteral("frmInfo/txtBaoWen"));
        QCOMPARE(r.value(QStringLiteral("kind")).toString(), QStringLiteral("text"));
        QCOMPARE(r.value(QStringLiteral("text")).toString(), netLog_->box()->text());
        QVERIFY(r.value(QStringLiteral("text")).toString().endsWith(QStringLiteral("\r\n")));
        QCOMPARE(Get(s, QStringLiteral("frmInfo")).value(QStringLiteral("visible")).toBool(), false);
    }

    void setRunsChangeHandlers() {
        AutomationServer s;
        QLineEdit* e = pages_->lineEdit(QStringLiteral("txtCJ"));
        int changed = 0;
        auto c = connect(e, &QLineEdit::textChanged, this, [&] { ++changed; });
        const QJsonObject r = Req(s, QStringLiteral("set"), {{QStringLiteral("path"), QStringLiteral("FrmInfrared/txtCJ")},
                                                             {QStringLiteral("text"), QStringLiteral("15")}});
        QVERIFY(r.value(QStringLiteral("ok")).toBool());
        QCOMPARE(e->text(), QStringLiteral("15"));
        QCOMPARE(changed, 1);
        disconnect(c);
    }

    void clickAndSelectAreQueued() {
        AutomationServer s;
        clicks_ = 0;
        QVERIFY(Req(s, QStringLiteral("click"), {{QStringLiteral("path"), QStringLiteral("FrmInfrared/cmdIpR")}})
                    .value(QStringLiteral("ok")).toBool());
        QCOMPARE(clicks_, 0);   // answered before the handler runs
        QTRY_COMPARE(clicks_, 1);
        QVERIFY(Req(s, QStringLiteral("click"), {{QStringLiteral("path"), QStringLiteral("FrmInfrared/Option5(1)")}})
                    .value(QStringLiteral("ok")).toBool());
        QTRY_VERIFY(!pages_->Tim()->isActive());
        Req(s, QStringLiteral("click"), {{QStringLiteral("path"), QStringLiteral("FrmInfrared/Option5(0)")}});
        QTRY_VERIFY(pages_->Tim()->isActive());
        int activated = -1;
        connect(pages_->Combo1(), &QComboBox::activated, this, [&](int i) { activated = i; });
        Req(s, QStringLiteral("select"), {{QStringLiteral("path"), QStringLiteral("FrmInfrared/Combo1")},
                                          {QStringLiteral("index"), 1}});
        QTRY_COMPARE(activated, 1);
        QCOMPARE(pages_->Combo1()->currentIndex(), 1);
        clicks_ = 0;
        Req(s, QStringLiteral("select"), {{QStringLiteral("path"), QStringLiteral("FrmInfrared/List1")},
                                          {QStringLiteral("index"), 1}});
        QTRY_COMPARE(clicks_, 1);
        QCOMPARE(Get(s, QStringLiteral("FrmInfrared/List1")).value(QStringLiteral("text")).toString(),
                 QStringLiteral("2012345678902"));
    }

    void messageBoxesOverTheSocket() {
        // Through a real local socket, while a box's own modal loop runs.
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("auto.sock"));
        AutomationServer s;
        QVERIFY(s.listen(path));
        QCOMPARE(QFileInfo(path).permissions() & (QFileDevice::ReadOther | QFileDevice::WriteOther),
                 QFileDevice::Permissions());
        QLocalSocket client;
        client.connectToServer(path);
        QVERIFY(client.waitForConnected(2000));
        QStringList answers;
        connect(&client, &QLocalSocket::readyRead, this, [&] {
            while (client.canReadLine()) answers << QString::fromUtf8(client.readLine()).trimmed();
        });
        QTimer::singleShot(50, this, [&] {
            client.write("{\"op\":\"msgboxes\"}\n{\"op\":\"answer\",\"button\":\"No\"}\n");
        });
        const auto pressed = MsgBox(nullptr, QStringLiteral("请先停止服务!"), QStringLiteral("退出"),
                                    BoxIcon::Exclamation, QMessageBox::Yes | QMessageBox::No);
        QCOMPARE(pressed, QMessageBox::No);
        QTRY_COMPARE(answers.size(), 2);
        QCOMPARE(answers[0], QStringLiteral(
            "{\"boxes\":[{\"buttons\":[\"Yes\",\"No\"],\"icon\":\"warning\",\"text\":\"请先停止服务!\",\"title\":\"退出\"}],\"ok\":true}"));
        QCOMPARE(answers[1], QStringLiteral("{\"ok\":true}"));
        const QJsonArray log = Req(s, QStringLiteral("msglog")).value(QStringLiteral("boxes")).toArray();
        QCOMPARE(log.last().toObject().value(QStringLiteral("title")).toString(), QStringLiteral("退出"));
        QCOMPARE(Req(s, QStringLiteral("msgboxes")).value(QStringLiteral("boxes")).toArray().size(), 0);
    }

    void checkFailureBoxes() {
        AutomationServer s;
        QTimer::singleShot(30, this, [&] { Req(s, QStringLiteral("answer")); });
        ht6630::CheckFailure f{"条形码应该为13位", "ignored", ht6630::MsgIcon::Critical, true};
        ShowCheckFailure(nullptr, f);
        QTimer::singleShot(30, this, [&] { Req(s, QStringLiteral("answer")); });
        ShowCheckFailure(nullptr, ht6630::CheckFailure{"年份必须为两位数", "警告", ht6630::MsgIcon::None, false});
        const QJsonArray log = Req(s, QStringLiteral("msglog")).value(QStringLiteral("boxes")).toArray();
        QVERIFY(log.size() >= 2);
        const QJsonObject a = log.at(log.size() - 2).toObject(), b = log.last().toObject();
        QCOMPARE(a.value(QStringLiteral("title")).toString(), QStringLiteral("HT6630-QN无线室温采集终端测试软件V1.0"));
        QCOMPARE(a.value(QStringLiteral("icon")).toString(), QStringLiteral("critical"));
        QCOMPARE(a.value(QStringLiteral("buttons")).toArray(), QJsonArray{"OK"});
        QCOMPARE(b.value(QStringLiteral("title")).toString(), QStringLiteral("警告"));
        QCOMPARE(b.value(QStringLiteral("icon")).toString(), QStringLiteral("none"));
        QCOMPARE(b.value(QStringLiteral("text")).toString(), QStringLiteral("年份必须为两位数"));
    }
};

QTEST_MAIN(TestAutomation)
#include "tst_shell_automation.moc"
