// A double-click on a traffic-log line opens the frame decoded field by field:
// the kind, the fields, the CRC verdict; "复制为十六进制" copies the bytes as shown.
// Lines that are not traffic lines open nothing.
#include <QApplication>
#include <QClipboard>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>

#include "ui/FrameDetailWindow.h"
#include "ui/LogTextBox.h"
#include "ui/TrafficLogPanel.h"

namespace {

QMap<QString, QString> Fields(QTableWidget* t) {
    QMap<QString, QString> out;
    for (int r = 0; r < t->rowCount(); ++r)
        if (!t->item(r, 0)->text().isEmpty()) out.insert(t->item(r, 0)->text(), t->item(r, 1)->text());
    return out;
}

FrameDetailWindow* OpenedOn(TrafficLogPanel& panel, int line) {
    LogTextBox* box = panel.txtBaoWen();
    box->lineCount();   // brings the pending lines in
    emit box->lineDoubleClicked(line);
    return panel.findChild<FrameDetailWindow*>();
}

}  // namespace

class TestFrameDetail : public QObject {
    Q_OBJECT
private slots:
    void decodedFieldsCrcAndCopy() {
        TrafficLogPanel panel;
        // A read request (good CRC), a request whose payload no longer fits its CRC, a heart-beat reply.
        panel.append(QByteArray::fromHex("51560499999999999999990001" "00e2100d"), true);
        panel.append(QByteArray::fromHex("51560a02012345678901000204" "3dae130d"), false);
        panel.append(QByteArray::fromHex("717671020123456789010003000000" "67c20d"), false);

        FrameDetailWindow* w = OpenedOn(panel, 1);
        QVERIFY(w);
        auto* table = w->findChild<QTableWidget*>(QStringLiteral("tblFields"));
        QCOMPARE(w->objectName(), QStringLiteral("frmFrame"));
        QMap<QString, QString> f = Fields(table);
        QCOMPARE(f.value(QStringLiteral("kind")), QStringLiteral("request"));
        QCOMPARE(f.value(QStringLiteral("crc")), QStringLiteral("mismatch (expected D36F, found 13AE)"));
        w->findChild<QPushButton*>(QStringLiteral("cmdCopyHex"))->click();
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("51 56 0A 02 01 23 45 67 89 01 00 02 04 3D AE 13 0D"));
        delete w;

        w = OpenedOn(panel, 2);
        QVERIFY(w);
        f = Fields(w->findChild<QTableWidget*>(QStringLiteral("tblFields")));
        QCOMPARE(f.value(QStringLiteral("kind")), QStringLiteral("reply"));
        QCOMPARE(f.value(QStringLiteral("crc")), QStringLiteral("ok"));
        delete w;

        LogTextBox other;   // the network log's lines are not frames
        other.appendText(QStringLiteral("断开2012345678901     08:30:00\r\n"));
        DecodeOnDoubleClick(&other);
        emit other.lineDoubleClicked(0);
        QVERIFY(!other.findChild<FrameDetailWindow*>());
    }
};

QTEST_MAIN(TestFrameDetail)
#include "tst_frame_detail.moc"
