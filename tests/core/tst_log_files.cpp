// Log files on a real disk: lines land in today's folder in order, a full file
// is rotated without losing or repeating a byte, and a folder that cannot be
// made is reported and the lines written once it can.
#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include "core/LogFiles.h"

namespace {
QByteArray Read(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}
}  // namespace

class TestLogFiles : public QObject {
    Q_OBJECT
private slots:
    void linesInOrderAndRotated() {
        QTemporaryDir dir;
        core::LogFiles logs(dir.filePath("Logs"));
        logs.setRotateBytes(100);
        QByteArray all;
        for (int i = 0; i < 10; ++i) {
            const QByteArray line = QByteArray("RX: 51 56 01 ") + QByteArray::number(i).rightJustified(3, '0') +
                                    QByteArray(11, '.') + "\r\n";   // 30 bytes
            all += line;
            logs.append(QStringLiteral("tcp-traffic"), line);
        }
        logs.append(QStringLiteral("network"), "连接     08:30:00\r\n");
        QVERIFY(logs.flush());
        const QDir today(logs.todaysFolder());
        QCOMPARE(today.dirName(), QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd")));
        QCOMPARE(Read(today.filePath("network.log")), QByteArray("连接     08:30:00\r\n"));
        // 30-byte lines, 100-byte files: three lines a file, the oldest file numbered highest.
        QByteArray joined;
        for (const char* name : {"tcp-traffic.3.log", "tcp-traffic.2.log", "tcp-traffic.1.log", "tcp-traffic.log"}) {
            const QByteArray part = Read(today.filePath(name));
            QVERIFY2(part.size() <= 100, name);
            joined += part;
        }
        QCOMPARE(joined, all);
    }

    void refusedFolderIsReportedAndResumed() {
        QTemporaryDir dir;
        const QString blocker = dir.filePath("Logs");
        QFile file(blocker);   // a file where the folder should be
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        core::LogFiles logs(blocker);
        QSignalSpy status(&logs, &core::LogFiles::statusChanged);
        logs.append(QStringLiteral("network"), "one\r\n");
        QVERIFY(status.wait(5000));
        QVERIFY(status.last().at(0).toString().startsWith(QStringLiteral("提示信息:日志无法写入：")));
        logs.append(QStringLiteral("network"), "two\r\n");

        QVERIFY(QFile::remove(blocker));
        QTRY_VERIFY_WITH_TIMEOUT(!status.isEmpty() && status.last().at(0).toString().isEmpty(), 5000);
        QVERIFY(logs.flush());
        QCOMPARE(Read(QDir(logs.todaysFolder()).filePath("network.log")), QByteArray("one\r\ntwo\r\n"));
    }
};

QTEST_GUILESS_MAIN(TestLogFiles)
#include "tst_log_files.moc"
