// The parameter pages: names, captions, limits, inputs/apply, clearing before a
// request, the clock options and timer, and the request signals.
#include <QComboBox>
#include <QDate>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QVBoxLayout>

#include "ui/ParameterPages.h"

using ht6630::Op;
Q_DECLARE_METATYPE(ht6630::Op)

namespace {
QStringList Labels(const QWidget* w) {
    QStringList l;
    for (auto* lb : w->findChildren<QLabel*>()) l << lb->text();
    return l;
}
}  // namespace

class TestPages : public QObject {
    Q_OBJECT
private slots:
    void layoutNamesAndCaptions() {
        ParameterPages p;
        QTabWidget* t = p.tabs();
        QCOMPARE(t->count(), 3);
        QCOMPARE(t->tabText(0), QStringLiteral("基本参数设置"));
        QCOMPARE(t->tabText(1), QStringLiteral("采集终端参数配置"));
        QCOMPARE(t->tabText(2), QStringLiteral("实时温度湿度"));
        QCOMPARE(t->currentIndex(), 0);
        const QStringList labels = Labels(&p);
        for (const char* s : {"13位条形码：", "IP：", ".", "端口：", "备用IP：", "备用端口：", "标志位:", "起始月:",
                              "起始日:", "中止月:", "中止日:", "采集器程序版本号(只读)：", "数据采集间隔时间(分钟)：",
                              "数据上传时间(分钟)：", "通讯类型：", "心跳包时间间隔(秒)：", "年", "月", "日", "时",
                              "分", "秒", "当前温度:", "℃", "当前湿度:", "%"})
            QVERIFY2(labels.contains(QString::fromUtf8(s)), s);
        QStringList groups;
        for (auto* g : p.findChildren<QGroupBox*>()) groups << g->title();
        for (const char* s : {"静默参数", "其它参数", "实时时间"}) QVERIFY2(groups.contains(QString::fromUtf8(s)), s);
        const std::pair<const char*, const char*> buttons[] = {
            {"cmdBarCodeR", "读取"}, {"cmdBarCodeW", "设置"}, {"cmdIpR", "读取"}, {"cmdIpW", "设置"},
            {"cmdSpareIpR", "读取"}, {"cmdSpareIpW", "设置"}, {"cmdSetSilence", "设置"}, {"cmdCJW", "设置"},
            {"cmdSCW", "设置"}, {"cmdCommType", "设置"}, {"cmdHear", "设置"}, {"cmdCJR", "参数读取"},
            {"cmdSleep", "设置"}, {"cmdTime", "设置"}, {"cmdShowPra", "读取"}};
        for (auto [name, text] : buttons) {
            QPushButton* b = p.button(QString::fromLatin1(name));
            QVERIFY2(b, name);
            QCOMPARE(b->text(), QString::fromUtf8(text));
        }
        const std::pair<const char*, const char*> options[] = {
            {"optEnabled_0", "禁用"}, {"optEnabled_1", "启用"}, {"opSleep_0", "立即休眠"},
            {"opSleep_1", "立即上传"}, {"Option5_0", "系统时间"}, {"Option5_1", "自定义时间"}};
        for (auto [name, text] : options) {
            QRadioButton* r = p.radio(QString::fromLatin1(name));
            QVERIFY2(r, name);
            QCOMPARE(r->text(), QString::fromUtf8(text));
        }
        QVERIFY(p.lineEdit(QStringLiteral("txtBarCode"))->validator());   // 13 characters besides blanks
        for (int i = 0; i < 4; ++i) {
            QCOMPARE(p.lineEdit(QStringLiteral("txtIp_%1").arg(i))->maxLength(), 3);
            QCOMPARE(p.lineEdit(QStringLiteral("txtSpareIp_%1").arg(i))->maxLength(), 3);
            QVERIFY(p.lineEdit(QStringLiteral("txtDate_%1").arg(i)));
        }
        QCOMPARE(p.lineEdit(QStringLiteral("txtIp_4"))->maxLength(), 5);
        QCOMPARE(p.lineEdit(QStringLiteral("txtSpareIp_4"))->maxLength(), 5);
        for (int i = 0; i < 6; ++i) QVERIFY(p.lineEdit(QStringLiteral("Txtrq_%1").arg(i)));
        for (const char* n : {"txtVer", "txtCJ", "txtSC", "txtHeartbeat", "txtTemp", "txtHumi"})
            QVERIFY2(p.lineEdit(QString::fromLatin1(n)), n);
        QVERIFY(p.lineEdit(QStringLiteral("txtVer"))->isReadOnly());
        QVERIFY(!p.lineEdit(QStringLiteral("txtCJ"))->isReadOnly());
    }

    void loadState() {
        ParameterPages p;
        QCOMPARE(p.Combo1()->count(), 2);
        QCOMPARE(p.Combo1()->itemText(0), QStringLiteral("TCP"));
        QCOMPARE(p.Combo1()->itemText(1), QStringLiteral("UDP"));
        QCOMPARE(p.Combo1()->currentIndex(), 0);
        QVERIFY(p.Option5(0)->isChecked());
        QVERIFY(p.radio(QStringLiteral("opSleep_0"))->isChecked());
        QVERIFY(!p.radio(QStringLiteral("optEnabled_0"))->isChecked());
        QVERIFY(!p.radio(QStringLiteral("optEnabled_1"))->isChecked());
        QVERIFY(p.Tim()->isActive());
        QCOMPARE(p.Tim()->interval(), 1000);
        QCOMPARE(p.Tim()->objectName(), QStringLiteral("Tim"));
        // Back to the load state after changes.
        p.Option5(1)->click();
        p.Combo1()->setCurrentIndex(1);
        p.radio(QStringLiteral("optEnabled_1"))->click();
        p.lineEdit(QStringLiteral("txtCJ"))->setText(QStringLiteral("5"));
        p.resetToLoadState();
        QVERIFY(p.Tim()->isActive());
        QCOMPARE(p.Combo1()->count(), 2);
        QCOMPARE(p.Combo1()->currentIndex(), 0);
        QCOMPARE(p.inputs().silenceChoice, -1);
        p.clearAllFields();
        QCOMPARE(p.lineEdit(QStringLiteral("txtCJ"))->text(), QString());
    }

    void inputsAsTypedAndApply() {
        ParameterPages p;
        p.lineEdit(QStringLiteral("txtBarCode"))->setText(QStringLiteral(" 2012345678901"));
        for (int i = 0; i < 5; ++i) {
            p.lineEdit(QStringLiteral("txtIp_%1").arg(i))->setText(QString::number(10 + i));
            p.lineEdit(QStringLiteral("txtSpareIp_%1").arg(i))->setText(QString::number(20 + i));
        }
        p.lineEdit(QStringLiteral("txtCJ"))->setText(QStringLiteral(" 5 "));
        p.lineEdit(QStringLiteral("txtSC"))->setText(QStringLiteral("60"));
        p.lineEdit(QStringLiteral("txtHeartbeat"))->setText(QStringLiteral("120"));
        p.Combo1()->setCurrentIndex(1);
        p.radio(QStringLiteral("optEnabled_1"))->click();
        p.radio(QStringLiteral("opSleep_1"))->click();
        for (int i = 0; i < 4; ++i) p.lineEdit(QStringLiteral("txtDate_%1").arg(i))->setText(QString::number(i + 1));
        p.Option5(1)->click();
        for (int i = 0; i < 6; ++i) p.lineEdit(QStringLiteral("Txtrq_%1").arg(i))->setText(QString::number(30 + i));
        const ht6630::FieldInputs in = p.inputs();
        QCOMPARE(in.barCode, std::string(" 2012345678901"));   // as set, blanks kept for the buttons to trim
        QCOMPARE(in.dataCentre[4], std::string("14"));
        QCOMPARE(in.spareCentre[0], std::string("20"));
        QCOMPARE(in.acquisitionMinutes, std::string(" 5 "));
        QCOMPARE(in.uploadMinutes, std::string("60"));
        QCOMPARE(in.heartbeatSeconds, std::string("120"));
        QCOMPARE(in.commType, 1);
        QCOMPARE(in.silenceChoice, 1);
        QCOMPARE(in.sleepChoice, 1);
        QCOMPARE(in.silenceDates[3], std::string("4"));
        QCOMPARE(in.clock[5], std::string("35"));

        ht6630::FieldValues v;
        v.firmware = "V1.2";
        v.silenceChoice = -1;
        v.commType = 0;
        v.dataCentre = std::array<std::string, 5>{"192", "168", "1", "2", "2020"};
        v.clock = std::array<std::string, 6>{"24", "01", "02", "03", "04", "05"};
        p.apply(v);
        QCOMPARE(p.lineEdit(QStringLiteral("txtVer"))->text(), QStringLiteral("V1.2"));
        QCOMPARE(p.inputs().silenceChoice, -1);   // both unchosen
        QCOMPARE(p.Combo1()->currentIndex(), 0);
        QCOMPARE(p.lineEdit(QStringLiteral("txtIp_0"))->text(), QStringLiteral("192"));
        QCOMPARE(p.lineEdit(QStringLiteral("txtIp_4"))->text(), QStringLiteral("2020"));
        QCOMPARE(p.lineEdit(QStringLiteral("Txtrq_5"))->text(), QStringLiteral("05"));
        QCOMPARE(p.lineEdit(QStringLiteral("txtSpareIp_0"))->text(), QStringLiteral("20"));   // unset: left alone
        QCOMPARE(p.lineEdit(QStringLiteral("txtCJ"))->text(), QStringLiteral(" 5 "));
        ht6630::FieldValues on;
        on.silenceChoice = 0;
        p.apply(on);
        QCOMPARE(p.inputs().silenceChoice, 0);
        // After both were unchosen, the pair is exclusive again.
        p.radio(QStringLiteral("optEnabled_1"))->click();
        QCOMPARE(p.inputs().silenceChoice, 1);
        QVERIFY(!p.radio(QStringLiteral("optEnabled_0"))->isChecked());
    }

    void clearBeforeRequest() {
        ParameterPages p;
        auto fillAll = [&p] {
            for (QLineEdit* e : p.findChildren<QLineEdit*>()) e->setText(QStringLiteral("v"));
        };
        auto emptied = [&p] {
            QStringList names;
            for (QLineEdit* e : p.findChildren<QLineEdit*>())
                if (e->text().isEmpty() && !e->objectName().isEmpty()) names << e->objectName();
            names.sort();
            return names;
        };
        fillAll();
        p.clearBeforeRequest(Op::ReadBarCode);
        QCOMPARE(emptied(), QStringList{QStringLiteral("txtBarCode")});
        fillAll();
        p.clearBeforeRequest(Op::ReadIp);
        QCOMPARE(emptied(), (QStringList{"txtIp_0", "txtIp_1", "txtIp_2", "txtIp_3", "txtIp_4"}));
        fillAll();
        p.clearBeforeRequest(Op::ReadSpareIp);
        QCOMPARE(emptied().size(), 5);
        QVERIFY(emptied().first().startsWith(QStringLiteral("txtSpareIp_")));
        fillAll();
        p.clearBeforeRequest(Op::ReadLive);
        QCOMPARE(emptied(), (QStringList{"txtHumi", "txtTemp"}));
        for (Op op : {Op::SetBarCode, Op::SetIp, Op::SetSpareIp, Op::SetAcquisition, Op::SetUpload,
                      Op::SetCommType, Op::SetHeartbeat, Op::SetSilence, Op::SetSleep, Op::SetClock}) {
            fillAll();
            p.clearBeforeRequest(op);
            QCOMPARE(emptied(), QStringList());
        }
        QVERIFY(p.Tim()->isActive());
        fillAll();
        p.clearBeforeRequest(Op::ReadAll);
        QCOMPARE(emptied(), (QStringList{"Txtrq_0", "Txtrq_1", "Txtrq_2", "Txtrq_3", "Txtrq_4", "Txtrq_5", "txtCJ",
                                         "txtDate_0", "txtDate_1", "txtDate_2", "txtDate_3", "txtSC", "txtVer"}));
        QVERIFY(p.Option5(1)->isChecked());
        QVERIFY(!p.Tim()->isActive());
        // The clock fields stay empty: no tick copies the clock any more.
        QTest::qWait(1300);
        QCOMPARE(p.lineEdit(QStringLiteral("Txtrq_0"))->text(), QString());
    }

    void clockOptionsDriveTheTimer() {
        ParameterPages p;
        QVERIFY(p.Tim()->isActive());
        p.Option5(1)->click();
        QVERIFY(!p.Tim()->isActive());
        p.Option5(0)->click();
        QVERIFY(p.Tim()->isActive());
        p.Option5(1)->setChecked(true);   // chosen by a program step
        QVERIFY(!p.Tim()->isActive());
        p.Option5(0)->setChecked(true);
        QVERIFY(p.Tim()->isActive());
    }

    void tickCopiesTheClock() {
        ParameterPages p;
        QLineEdit* f[6];
        for (int i = 0; i < 6; ++i) f[i] = p.lineEdit(QStringLiteral("Txtrq_%1").arg(i));
        QTRY_VERIFY_WITH_TIMEOUT(!f[5]->text().isEmpty(), 3000);
        const QDateTime now = QDateTime::currentDateTime();
        for (auto* e : f) QCOMPARE(e->text().size(), 2);
        const QDateTime shown(QDate(2000 + f[0]->text().toInt(), f[1]->text().toInt(), f[2]->text().toInt()),
                              QTime(f[3]->text().toInt(), f[4]->text().toInt(), f[5]->text().toInt()));
        QVERIFY(shown.isValid());
        const qint64 diff = shown.secsTo(now);
        QVERIFY2(diff >= 0 && diff <= 3, qPrintable(QString::number(diff)));
    }

    void buttonsEmitTheirRequests() {
        qRegisterMetaType<ht6630::Op>();
        ParameterPages p;
        QSignalSpy spy(&p, &ParameterPages::requestClicked);
        const std::pair<const char*, Op> expect[] = {
            {"cmdBarCodeR", Op::ReadBarCode},  {"cmdBarCodeW", Op::SetBarCode},   {"cmdIpR", Op::ReadIp},
            {"cmdIpW", Op::SetIp},             {"cmdSpareIpR", Op::ReadSpareIp},  {"cmdSpareIpW", Op::SetSpareIp},
            {"cmdShowPra", Op::ReadLive},      {"cmdCJR", Op::ReadAll},           {"cmdCJW", Op::SetAcquisition},
            {"cmdSCW", Op::SetUpload},         {"cmdCommType", Op::SetCommType},  {"cmdHear", Op::SetHeartbeat},
            {"cmdSetSilence", Op::SetSilence}, {"cmdSleep", Op::SetSleep},        {"cmdTime", Op::SetClock}};
        for (auto [name, op] : expect) {
            p.button(QString::fromLatin1(name))->click();
            QCOMPARE(spy.size(), 1);
            QCOMPARE(spy.takeFirst().at(0).value<ht6630::Op>(), op);
        }
    }

    void configModeAndBarCodePlacement() {
        QWidget frame;
        auto* lay = new QVBoxLayout(&frame);
        auto* p = new ParameterPages(&frame);
        lay->addWidget(p->barCodeGroup());   // a console places the bar-code row elsewhere
        lay->addWidget(p);
        QVERIFY(!p->isAncestorOf(p->barCodeGroup()));
        QVERIFY(p->lineEdit(QStringLiteral("txtBarCode")));
        p->setConfigMode(false);
        for (const char* n : {"cmdBarCodeR", "cmdIpR", "cmdSpareIpR", "cmdBarCodeW", "cmdIpW", "cmdSpareIpW"})
            QVERIFY2(!p->button(QString::fromLatin1(n))->isEnabled(), n);
        for (const char* n : {"cmdCJR", "cmdTime", "cmdShowPra", "cmdHear"})
            QVERIFY2(p->button(QString::fromLatin1(n))->isEnabled(), n);
        p->setConfigMode(true);
        QVERIFY(p->button(QStringLiteral("cmdBarCodeW"))->isEnabled());
        p->lineEdit(QStringLiteral("txtBarCode"))->setText(QStringLiteral("2012345678901"));
        QCOMPARE(p->inputs().barCode, std::string("2012345678901"));
        p->clearBeforeRequest(Op::ReadBarCode);
        QCOMPARE(p->lineEdit(QStringLiteral("txtBarCode"))->text(), QString());

        ParameterPages q;
        q.placeBarCodeOnFirstPage();
        QVERIFY(q.tabs()->widget(0)->isAncestorOf(q.barCodeGroup()));
    }
};

QTEST_MAIN(TestPages)
#include "tst_shell_pages.moc"
