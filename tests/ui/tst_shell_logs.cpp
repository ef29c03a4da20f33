// The traffic-log panel, the exact-text log box and the network-log line format.
#include <QCheckBox>
#include <QDialog>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QTextBlock>

#include "ui/LogTextBox.h"
#include "ui/TrafficLogPanel.h"
#include "ui/NetLogWindow.h"
#include "ui/LogLines.h"

namespace {

// The hex part of a traffic line, built independently of the panel's code.
QString Hex(const QByteArray& b) {
    QString s;
    for (unsigned char c : b) s += QStringLiteral("%1 ").arg(c, 2, 16, QLatin1Char('0')).toUpper();
    return s;
}

// Checks `line` is prefix + hex + five spaces + hh:mm:ss + CR LF.
void CheckLine(const QString& line, const QString& prefix, const QByteArray& shown) {
    const QString head = prefix + Hex(shown) + QStringLiteral("     ");
    QVERIFY2(line.startsWith(head), qPrintable(line.left(80)));
    const QString tail = line.mid(head.size());
    QCOMPARE(tail.size(), 10);
    QVERIFY2(QRegularExpression(QStringLiteral("^([01]\\d|2[0-3]):[0-5]\\d:[0-5]\\d\\r\\n$")).match(tail).hasMatch(),
             qPrintable(tail));
}
}  // namespace

class TestLogs : public QObject {
    Q_OBJECT
private slots:
    void panelControls() {
        TrafficLogPanel p;
        QCOMPARE(p.CheckShow()->text(), QStringLiteral("显示报文"));
        QCOMPARE(p.CheckClear()->text(), QStringLiteral("自动清空"));
        QCOMPARE(p.CmdClear()->text(), QStringLiteral("清空报文"));
        QVERIFY(p.CheckShow()->isChecked());
        QVERIFY(p.CheckClear()->isChecked());
        QCOMPARE(p.txtBaoWen()->objectName(), QStringLiteral("txtBaoWen"));
        auto* lbl = p.findChild<QWidget*>(QStringLiteral("lblBaoWen"));
        QVERIFY(lbl);
        QCOMPARE(lbl->property("text").toString(), QStringLiteral("通讯报文"));
    }

    void lineFormatAndDirection() {
        TrafficLogPanel p;
        const QByteArray frame = QByteArray::fromHex("515604999999999999990001" "00e2100d");
        ShowBaoWen(frame, &p, true);
        CheckLine(p.txtBaoWen()->text(), QStringLiteral("TX: "), frame);
        QVERIFY(p.txtBaoWen()->text().startsWith(
            QStringLiteral("TX: 51 56 04 99 99 99 99 99 99 99 00 01 00 E2 10 0D      ")));
        const QString first = p.txtBaoWen()->text();
        const QByteArray odd = QByteArray::fromHex("0aff00");
        ShowBaoWen(odd, &p, false);
        QVERIFY(p.txtBaoWen()->text().startsWith(first));
        CheckLine(p.txtBaoWen()->text().mid(first.size()), QStringLiteral("RX: "), odd);
        QVERIFY(p.txtBaoWen()->text().mid(first.size()).startsWith(QStringLiteral("RX: 0A FF 00      ")));
    }

    void preambleHiddenOnlyWhenSentAndLonger() {
        QByteArray pre(201, '\0');
        const QByteArray frame = QByteArray::fromHex("51560b0201234567890100020" "50b1234" "0d").left(16);
        QCOMPARE(frame.size(), 16);
        const QByteArray sent217 = pre + frame;
        {
            TrafficLogPanel p;
            p.append(sent217, true);
            CheckLine(p.txtBaoWen()->text(), QStringLiteral("TX: "), frame);   // 16 bytes shown
        }
        {
            TrafficLogPanel p;
            p.append(sent217, false);
            CheckLine(p.txtBaoWen()->text(), QStringLiteral("RX: "), sent217);   // all 217
        }
        {
            TrafficLogPanel p;
            QByteArray exactly201(201, '\x11');
            p.append(exactly201, true);
            CheckLine(p.txtBaoWen()->text(), QStringLiteral("TX: "), exactly201);
        }
        {
            TrafficLogPanel p;
            QByteArray b202(201, '\0');
            b202.append('\x7e');
            p.append(b202, true);
            CheckLine(p.txtBaoWen()->text(), QStringLiteral("TX: "), QByteArray("\x7e"));
        }
    }

    void autoClearEdges_data() {
        QTest::addColumn<int>("held");
        QTest::addColumn<bool>("clearTicked");
        QTest::addColumn<bool>("expectCleared");
        QTest::newRow("7000 kept") << 7000 << true << false;
        QTest::newRow("7001 cleared") << 7001 << true << true;
        QTest::newRow("9000 unticked kept") << 9000 << false << false;
    }
    void autoClearEdges() {
        QFETCH(int, held);
        QFETCH(bool, clearTicked);
        QFETCH(bool, expectCleared);
        TrafficLogPanel p;
        p.CheckClear()->setChecked(clearTicked);
        const QString old = QString(held - 2, QLatin1Char('x')) + QStringLiteral("\r\n");
        p.txtBaoWen()->setText(old);
        QCOMPARE(p.txtBaoWen()->length(), held);
        const QByteArray b = QByteArray::fromHex("01");
        p.append(b, false);
        const QString text = p.txtBaoWen()->text();
        if (expectCleared) {
            CheckLine(text, QStringLiteral("RX: "), b);
        } else {
            QVERIFY(text.startsWith(old));
            CheckLine(text.mid(old.size()), QStringLiteral("RX: "), b);
        }
    }

    void greyedBoxesCountAsTicked() {
        TrafficLogPanel p;
        p.CheckClear()->setTristate(true);
        p.CheckClear()->setCheckState(Qt::PartiallyChecked);   // value 2 > 0
        p.txtBaoWen()->setText(QString(7001, QLatin1Char('y')));
        p.append(QByteArray("\x01", 1), true);
        QVERIFY(p.txtBaoWen()->text().startsWith(QStringLiteral("TX: 01 ")));
    }

    void showOffLogsNothingAndDoesNotClear() {
        TrafficLogPanel p;
        p.CheckShow()->setChecked(false);
        const QString old(8000, QLatin1Char('z'));
        p.txtBaoWen()->setText(old);
        p.append(QByteArray::fromHex("5156"), true);
        QCOMPARE(p.txtBaoWen()->text(), old);
    }

    void emptyArrayStillAutoClears() {
        TrafficLogPanel p;
        p.txtBaoWen()->setText(QString(7001, QLatin1Char('z')));
        p.append(QByteArray(), true);   // the clear comes before the empty check
        QCOMPARE(p.txtBaoWen()->text(), QString());
        p.txtBaoWen()->setText(QStringLiteral("abc"));
        p.append(QByteArray(), false);
        QCOMPARE(p.txtBaoWen()->text(), QStringLiteral("abc"));
        ShowBaoWen(QByteArray("\x01", 1), nullptr, true);   // no panel: nothing happens
    }

    void clearButtonEmptiesTheBox() {
        TrafficLogPanel p;
        p.append(QByteArray::fromHex("0102"), true);
        QVERIFY(!p.txtBaoWen()->text().isEmpty());
        QTest::mouseClick(p.CmdClear(), Qt::LeftButton);
        QCOMPARE(p.txtBaoWen()->text(), QString());
        QVERIFY(p.CheckShow()->isChecked());
        QVERIFY(p.CheckClear()->isChecked());
    }

    void longRunWithoutAutoClearKeepsEveryLine() {
        TrafficLogPanel p;
        p.CheckClear()->setChecked(false);
        const QByteArray b = QByteArray::fromHex("51560d");
        for (int i = 0; i < 2000; ++i) p.append(b, i % 2 == 0);
        const QString t = p.txtBaoWen()->text();
        QCOMPARE(t.count(QStringLiteral("\r\n")), 2000);
        QCOMPARE(t.count(QStringLiteral("TX: 51 56 0D      ")), 1000);
        QCOMPARE(t.count(QStringLiteral("RX: 51 56 0D      ")), 1000);
        QCOMPARE(p.txtBaoWen()->document()->blockCount(), 2001);   // the view holds the lines too
        QCOMPARE(p.txtBaoWen()->textCursor().position(), p.txtBaoWen()->document()->characterCount() - 1);
    }

    void logTextBoxKeepsExactText() {
        LogTextBox box;
        box.setText(QStringLiteral("a\r\nb"));
        box.appendText(QStringLiteral("c\r\n"));
        box.appendText(QStringLiteral("\rlone\n"));
        QCOMPARE(box.text(), QStringLiteral("a\r\nbc\r\n\rlone\n"));
        QCOMPARE(box.length(), 13);
        QCOMPARE(box.toPlainText(), QStringLiteral("a\nbc\nlone\n"));
        QVERIFY(box.textCursor().atEnd());
        // A change made to the view directly is taken over as the exact text.
        box.setPlainText(QStringLiteral("x\ny"));
        QCOMPARE(box.text(), QStringLiteral("x\ny"));
        box.appendText(QStringLiteral("z"));
        QCOMPARE(box.text(), QStringLiteral("x\nyz"));
    }

    void logTextBoxCountsUtf16UnitsOfAnyText() {
        // Chinese (3 UTF-8 bytes, 1 unit), a character beyond the BMP (4 bytes, 2 units),
        // Latin-1 (2 bytes, 1 unit): lengths and positions are the text box's units.
        LogTextBox box;
        const QString line = QStringLiteral("断开") + QString::fromUcs4(U"\U0001F600") + QStringLiteral("é     09:15:02\r\n");
        box.appendText(line);
        box.appendText(line);
        QCOMPARE(box.text(), line + line);
        QCOMPARE(box.length(), 2 * line.size());
        QCOMPARE(box.document()->characterCount(), 2 * (line.size() - 1) + 1);
        QCOMPARE(box.textCursor().position(), 2 * (line.size() - 1));
        QCOMPARE(box.lineCount(), 3);
        QCOMPARE(box.lineText(1), line.chopped(2));
        QCOMPARE(box.lineText(2), QString());
        box.setText(line.left(4));
        QCOMPARE(box.length(), 4);
        QCOMPARE(box.lineText(0), line.left(4));
    }

    void boundedBoxKeepsNewestLinesAndSinksEveryLine() {
        LogTextBox box;
        box.setLineLimit(1000);
        QByteArray sunk;
        box.setSink([&](std::string_view piece) { sunk.append(piece.data(), qsizetype(piece.size())); });
        QString all;
        for (int i = 0; i < 2500; ++i) {
            const QString line = QStringLiteral("断开 %1\r\n").arg(i);
            all += line;
            box.appendText(line);
        }
        QCOMPARE(sunk, all.toUtf8());   // on disk: every line
        // On screen: at least the newest thousand lines (and the empty line after the last break).
        QVERIFY(box.lineCount() >= 1001 && box.lineCount() <= 1001 + 1000 / 8);
        QVERIFY(all.endsWith(box.text()));
        QCOMPARE(box.length(), box.text().size());
        QCOMPARE(box.lineText(box.lineCount() - 2), QStringLiteral("断开 2499"));
        QVERIFY(box.lineText(0).startsWith(QStringLiteral("断开 ")));
        QCOMPARE(box.document()->characterCount(), box.toPlainText().size() + 1);
    }

    void netLogLines() {
        LogTextBox box;
        WriteNetLog(QStringLiteral("注册2012345678901"), &box);
        WriteNetLog(QString(), &box);
        WriteNetLog(QStringLiteral("断开2012345678901"), &box);
        const QStringList lines = box.text().split(QStringLiteral("\r\n"));
        QCOMPARE(lines.size(), 4);
        QCOMPARE(lines[3], QString());
        const QRegularExpression re(QStringLiteral("^(.*)     (\\d\\d:\\d\\d:\\d\\d)$"));
        const QString msgs[3] = {QStringLiteral("注册2012345678901"), QString(), QStringLiteral("断开2012345678901")};
        for (int i = 0; i < 3; ++i) {
            const auto m = re.match(lines[i]);
            QVERIFY2(m.hasMatch(), qPrintable(lines[i]));
            QCOMPARE(m.captured(1), msgs[i]);   // exactly five spaces before the time
        }
        QCOMPARE(lines[1].size(), 13);   // "     hh:mm:ss"
        QVERIFY(box.textCursor().atEnd());
        WriteNetLog(QStringLiteral("x"), nullptr);
    }

    void netLogWindowLayout() {
        // Client area 10275 x 4200 twips; txtBaoWen 10065 x 3720 twips at 75, 210 twips.
        NetLogWindow w;
        QCOMPARE(w.objectName(), QStringLiteral("frmInfo"));
        QCOMPARE(w.windowTitle(), QStringLiteral("网络连接日志"));
        QCOMPARE(w.size(), QSize(685, 280));
        QCOMPARE(w.box()->objectName(), QStringLiteral("txtBaoWen"));
        QCOMPARE(w.box()->geometry(), QRect(5, 14, 671, 248));
    }
};

QTEST_MAIN(TestLogs)
#include "tst_shell_logs.moc"
