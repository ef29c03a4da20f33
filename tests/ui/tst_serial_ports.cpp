// COM names and device paths, line settings, the settings dialog's probe and
// tooltips, and the receive path's quiet rule, on real pseudo-terminals.
#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QSerialPort>
#include <QSignalSpy>
#include <QtTest>
#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include "core/ComPorts.h"
#include "core/LineSettings.h"
#include "core/SerialLink.h"
#include "ui/SetPortDialog.h"

namespace {
struct Pty {
    int master = -1, slave = -1;
    QString path;
    Pty() {
        char name[256] = {};
        if (openpty(&master, &slave, name, nullptr, nullptr) == 0) {
            termios t{};
            tcgetattr(slave, &t);
            cfmakeraw(&t);
            tcsetattr(slave, TCSANOW, &t);
            path = QString::fromLocal8Bit(name);
        }
    }
    ~Pty() {
        if (master >= 0) ::close(master);
        if (slave >= 0) ::close(slave);
    }
    // Writes everything, letting the console's side drain the pty when it is full.
    void write(const QByteArray& b) const {
        fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
        qsizetype off = 0;
        for (int tries = 0; off < b.size() && tries < 2000; ++tries) {
            const ssize_t n = ::write(master, b.constData() + off, static_cast<size_t>(b.size() - off));
            if (n > 0) off += n;
            else QTest::qWait(2);
        }
        QCOMPARE(off, b.size());
    }
};
}  // namespace

class TstSerialPorts : public QObject {
    Q_OBJECT
private slots:
    void parseList() {
        QCOMPARE(core::ParseSerialPortsList("/dev/pts/7:/dev/pts/9"), QStringList({"/dev/pts/7", "/dev/pts/9"}));
        QCOMPARE(core::ParseSerialPortsList("/a::/c"), QStringList({"/a", "", "/c"}));   // positions kept
        QStringList many;
        for (int i = 0; i < 20; ++i) many << QString("/dev/x%1").arg(i);
        const QStringList cut = core::ParseSerialPortsList(many.join(':'));
        QCOMPARE(cut.size(), 16);
        QCOMPARE(cut.last(), QString("/dev/x15"));
    }
    void orderDevices() {
        const QStringList ordered = core::OrderSerialDevices(
            {"/dev/ttyS1", "/dev/ttyUSB10", "/dev/ttyS0", "/dev/ttyACM0", "/dev/ttyUSB2", "/dev/ttyS10", "/dev/ttyS2"});
        QCOMPARE(ordered, QStringList({"/dev/ttyACM0", "/dev/ttyUSB2", "/dev/ttyUSB10", "/dev/ttyS0", "/dev/ttyS1",
                                       "/dev/ttyS2", "/dev/ttyS10"}));
        // The order does not depend on the order the system lists them in.
        QCOMPARE(core::OrderSerialDevices({"/dev/ttyS2", "/dev/ttyS10", "/dev/ttyS1", "/dev/ttyUSB10", "/dev/ttyS0",
                                             "/dev/ttyUSB2", "/dev/ttyACM0"}),
                 ordered);
    }
    void comNumbers() {
        QCOMPARE(core::ComNumberOfText("COM1"), 1);
        QCOMPARE(core::ComNumberOfText("COM12"), 12);
        QCOMPARE(core::ComNumberOfText("COM123"), 12);   // characters 4 and 5 only
        QCOMPARE(core::ComNumberOfText(""), 0);
        QCOMPARE(core::ComNumberOfText("COMx"), 0);
    }
    void bindingFromEnvironment() {
        qputenv("HT6630_SERIAL_PORTS", "/dev/pts/7::/dev/pts/9");
        core::ComPortBinding binding;
        QCOMPARE(binding.devicePath(1), QString("/dev/pts/7"));
        QCOMPARE(binding.devicePath(2), QString());
        QCOMPARE(binding.devicePath(3), QString("/dev/pts/9"));
        QCOMPARE(binding.devicePath(4), QString());   // nothing else
        QCOMPARE(binding.devicePath(0), QString());
        qunsetenv("HT6630_SERIAL_PORTS");
    }
    void settingsString() {
        QCOMPARE(core::PortSettingsString("2400", "E", "8", "1"), QString("2400,E,8,1"));
        QCOMPARE(core::PortSettingsString("9600", "N", "7", "1.5"), QString("9600,N,7,1.5"));
    }
    void lineSettings() {
        auto s = core::ParseLineSettings("2400", "E", "8", "1");
        QVERIFY(s);
        QCOMPARE(s->baud, 2400);
        QCOMPARE(s->parity, QSerialPort::EvenParity);
        QCOMPARE(s->dataBits, QSerialPort::Data8);
        QCOMPARE(s->stopBits, QSerialPort::OneStop);
        const std::pair<const char*, QSerialPort::Parity> parities[] = {
            {"N", QSerialPort::NoParity}, {"O", QSerialPort::OddParity}, {"S", QSerialPort::SpaceParity},
            {"M", QSerialPort::MarkParity}};
        for (auto [letter, parity] : parities) QCOMPARE(core::ParseLineSettings("300", letter, "6", "2")->parity, parity);
        QCOMPARE(core::ParseLineSettings("256000", "E", "7", "1.5")->stopBits, QSerialPort::OneAndHalfStop);
        QCOMPARE(core::ParseLineSettings("256000", "E", "6", "2")->dataBits, QSerialPort::Data6);
        QVERIFY(!core::ParseLineSettings("fast", "E", "8", "1"));
        QVERIFY(!core::ParseLineSettings("", "E", "8", "1"));
        QVERIFY(!core::ParseLineSettings("2400", "", "8", "1"));
        QVERIFY(!core::ParseLineSettings("2400", "Q", "8", "1"));
        QVERIFY(!core::ParseLineSettings("2400", "E", "x8", "1"));
        QVERIFY(!core::ParseLineSettings("2400", "E", "9", "1"));
        QVERIFY(!core::ParseLineSettings("2400", "E", "8", "3"));
    }
    void applyOnAPseudoTerminal() {
        Pty pty;
        QVERIFY(!pty.path.isEmpty());
        QSerialPort port;
        // Even parity and 7 data bits are set while closed: a pty takes them then.
        QVERIFY(core::ApplyPortSettings(&port, pty.path, "9600", "E", "7", "1"));
        QVERIFY(port.isOpen());
        QVERIFY(!core::ApplyPortSettings(&port, "/dev/ht6630-none", "9600", "E", "8", "1"));   // no such device
        QVERIFY(!port.isOpen());                                                            // closed by the attempt
        QVERIFY(!core::ApplyPortSettings(&port, QString(), "9600", "E", "8", "1"));
        QVERIFY(!core::ApplyPortSettings(&port, pty.path, "9600", "E", "eight", "1"));
        QVERIFY(!port.isOpen());
        QVERIFY(core::ApplyPortSettings(&port, pty.path, "2400", "E", "8", "1"));
        port.close();
    }
    void dialogProbeAndTooltips() {
        Pty a, b;
        qputenv("HT6630_SERIAL_PORTS", (a.path + ":/dev/ht6630-none:" + b.path).toLocal8Bit());
        core::ConsoleSession session;
        core::SerialLink link(session);
        QSerialPort& port = *link.port();
        {
            SetPortDialog dlg(session, link);
            dlg.load();
            auto* com = dlg.findChild<QComboBox*>("CboCom");
            QCOMPARE(com->count(), 2);
            QCOMPARE(com->itemText(0), QString("COM1"));
            QCOMPARE(com->itemText(1), QString("COM3"));
            QCOMPARE(com->itemData(0, Qt::ToolTipRole).toString(), a.path);
            QCOMPARE(com->itemData(1, Qt::ToolTipRole).toString(), b.path);
            QCOMPARE(dlg.findChild<QLineEdit*>("TxtStatus")->text(), QString("STATUS：COM Port Cloced"));
            QVERIFY(port.isOpen());
            QVERIFY(a.path.endsWith(port.portName()));
            QCOMPARE(port.baudRate(), 2400);
            QCOMPARE(port.stopBits(), QSerialPort::OneStop);
        }
        port.close();
        qunsetenv("HT6630_SERIAL_PORTS");
    }
    void typedComboTextIsNotAChoice() {
        Pty a;
        qputenv("HT6630_SERIAL_PORTS", a.path.toLocal8Bit());
        core::ConsoleSession session;
        core::SerialLink link(session);
        QSerialPort& port = *link.port();
        {
            SetPortDialog dlg(session, link);
            dlg.load();
            dlg.show();
            QVERIFY(port.isOpen());
            auto* baud = dlg.findChild<QComboBox*>("CboBaudrate");
            QLineEdit* edit = baud->lineEdit();
            edit->selectAll();
            QTest::keyClicks(edit, "96");
            QCOMPARE(baud->currentText(), QString("96"));   // not completed from the list
            QTest::keyClick(edit, Qt::Key_Return);
            QTest::keyClicks(edit, "00");
            QTest::keyClick(edit, Qt::Key_Enter);
            QCOMPARE(baud->currentText(), QString("9600"));
            QCOMPARE(baud->count(), 13);                    // nothing added to the list
            QCOMPARE(port.baudRate(), 2400);                // Enter applies nothing
            QVERIFY(dlg.isVisible());                       // and presses no button
            QCOMPARE(session.portOpened, false);
            // The next choice from a list reads the typed text.
            auto* stop = dlg.findChild<QComboBox*>("CboStopbit");
            stop->setCurrentIndex(2);
            emit stop->activated(2);
            QCOMPARE(port.baudRate(), 9600);
            QCOMPARE(port.stopBits(), QSerialPort::TwoStop);
        }
        port.close();
        qunsetenv("HT6630_SERIAL_PORTS");
    }
    void receivePathQuietRuleAndCap() {
        Pty pty;
        qputenv("HT6630_SERIAL_PORTS", pty.path.toLocal8Bit());
        core::ConsoleSession session;   // no channel claimed: blocks are handed on, not judged
        core::SerialLink link(session);
        QSerialPort& port = *link.port();
        QSignalSpy blocks(&link, &core::SerialLink::blockReceived);
        QSignalSpy judged(&link, &core::SerialLink::blockJudged);
        QVERIFY(link.applySettings(1, "2400", "E", "8", "1"));

        // Until a request has raised the receive threshold nothing is handed on.
        QCOMPARE(link.receiveThreshold(), 0);
        pty.write(QByteArray(5, 'x'));
        QTest::qWait(900);
        QCOMPARE(blocks.count(), 0);
        QCOMPARE(port.bytesAvailable(), qint64(0));
        QVERIFY(link.send(QByteArray("\x51\x56", 2)));
        QCOMPARE(link.receiveThreshold(), 1);

        QElapsedTimer clock;
        clock.start();
        pty.write(QByteArray(10, 'a'));
        QTest::qWait(300);
        pty.write(QByteArray(10, 'b'));
        const qint64 lastByte = clock.elapsed();
        QTRY_COMPARE_WITH_TIMEOUT(blocks.count(), 1, 3000);
        const qint64 quiet = clock.elapsed() - lastByte;
        // Never before the quiet time; how soon after it is the machine's business.
        QVERIFY2(quiet >= 590, qPrintable(QString::number(quiet)));
        QCOMPARE(blocks.at(0).at(0).toByteArray(), QByteArray(10, 'a') + QByteArray(10, 'b'));
        QCOMPARE(judged.count(), 0);

        // A stream without a pause is cut at 32,767 bytes; the rest follows after the quiet time.
        QByteArray big(40000, 'z');
        for (int off = 0; off < big.size(); off += 4000) pty.write(big.mid(off, 4000));
        QTRY_COMPARE_WITH_TIMEOUT(blocks.count(), 2, 3000);
        QCOMPARE(blocks.at(1).at(0).toByteArray().size(), 32767);
        QTRY_COMPARE_WITH_TIMEOUT(blocks.count(), 3, 3000);
        QCOMPARE(blocks.at(2).at(0).toByteArray().size(), 40000 - 32767);

        // Once the serial console has claimed the channel, the request in flight gets
        // the judgement of the burst that follows it, and only that one.
        session.channelName = QStringLiteral("Infrared");
        session.pending.name = QStringLiteral("读取条形码");
        session.pending.expectLen = 24;
        QPointer<core::SerialRequest> request = link.send(QByteArray("\x51\x56", 2));
        QVERIFY(request);
        QSignalSpy answered(request.data(), &core::SerialRequest::judged);
        pty.write(QByteArray(3, 'q'));
        QTRY_COMPARE_WITH_TIMEOUT(judged.count(), 1, 3000);
        QCOMPARE(answered.count(), 1);
        QCOMPARE(answered.at(0).at(1).value<ht6630::SerialJudgement>().status,
                 judged.at(0).at(1).value<ht6630::SerialJudgement>().status);
        QTRY_VERIFY_WITH_TIMEOUT(!request, 2000);   // it goes away once reported

        port.close();
        qunsetenv("HT6630_SERIAL_PORTS");
    }
    void receivePathClosesALostDevice() {
        auto* pty = new Pty;
        qputenv("HT6630_SERIAL_PORTS", pty->path.toLocal8Bit());
        core::ConsoleSession session;
        core::SerialLink link(session);
        QSerialPort& port = *link.port();
        QSignalSpy lost(&link, &core::SerialLink::portLost);
        QVERIFY(link.applySettings(1, "2400", "E", "8", "1"));
        QSignalSpy errors(&port, &QSerialPort::errorOccurred);
        delete pty;   // the device side goes away
        QTRY_VERIFY_WITH_TIMEOUT(!port.isOpen(), 3000);
        const int seen = errors.count();
        QTest::qWait(200);
        QCOMPARE(errors.count(), seen);   // no more reports once closed
        QVERIFY(seen < 1000);
        QCOMPARE(lost.count(), 1);
        qunsetenv("HT6630_SERIAL_PORTS");
    }
};

QTEST_MAIN(TstSerialPorts)
#include "tst_serial_ports.moc"
