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

#include "serial/ComPorts.h"
#include "serial/FrmSetPort.h"
#include "serial/LineSettings.h"
#include "serial/ReceivePath.h"
#include "shell/app/WindowHooks.h"
#include "shell/modDtu.h"

// The serial console is not part of these tests; blocks handed on are counted.
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
        QCOMPARE(serial::ParseSerialPortsList("/dev/pts/7:/dev/pts/9"), QStringList({"/dev/pts/7", "/dev/pts/9"}));
        QCOMPARE(serial::ParseSerialPortsList("/a::/c"), QStringList({"/a", "", "/c"}));   // positions kept
        QStringList many;
        for (int i = 0; i < 20; ++i) many << QString("/dev/x%1").arg(i);
        const QStringList cut = serial::ParseSerialPortsList(many.join(':'));
        QCOMPARE(cut.size(), 16);
        QCOMPARE(cut.last(), QString("/dev/x15"));
    }
    void orderDevices() {
        const QStringList ordered = serial::OrderSerialDevices(
            {"/dev/ttyS1", "/dev/ttyUSB10", "/dev/ttyS0", "/dev/ttyACM0", "/dev/ttyUSB2", "/dev/ttyS10", "/dev/ttyS2"});
        QCOMPARE(ordered, QStringList({"/dev/ttyACM0", "/dev/ttyUSB2", "/dev/ttyUSB10", "/dev/ttyS0", "/dev/ttyS1",
                                       "/dev/ttyS2", "/dev/ttyS10"}));
        // The order does not depend on the order the system lists them in.
        QCOMPARE(serial::OrderSerialDevices({"/dev/ttyS2", "/dev/ttyS10", "/dev/ttyS1", "/dev/ttyUSB10", "/dev/ttyS0",
                                             "/dev/ttyUSB2", "/dev/ttyACM0"}),
                 ordered);
    }
    void comNumbers() {
        QCOMPARE(serial::ComNumberOfText("COM1"), 1);
        QCOMPARE(serial::ComNumberOfText("COM12"), 12);
        QCOMPARE(serial::ComNumberOfText("COM123"), 12);   // characters 4 and 5 only
        QCOMPARE(serial::ComNumberOfText(""), 0);
        QCOMPARE(serial::ComNumberOfText("COMx"), 0);
    }
    void bindingFromEnvironment() {
        qputenv("HT6630_SERIAL_PORTS", "/dev/pts/7::/dev/pts/9");
        serial::RefreshComBinding();
        QCOMPARE(serial::ComDevicePath(1), QString("/dev/pts/7"));
        QCOMPARE(serial::ComDevicePath(2), QString());
        QCOMPARE(serial::ComDevicePath(3), QString("/dev/pts/9"));
        QCOMPARE(serial::ComDevicePath(4), QString());   // nothing else
        QCOMPARE(serial::ComDevicePath(0), QString());
        qunsetenv("HT6630_SERIAL_PORTS");
    }
    void settingsString() {
        QCOMPARE(serial::PortSettingsString("2400", "E", "8", "1"), QString("2400,E,8,1"));
        QCOMPARE(serial::PortSettingsString("9600", "N", "7", "1.5"), QString("9600,N,7,1.5"));
    }
    void lineSettings() {
        auto s = serial::ParseLineSettings("2400", "E", "8", "1");
        QVERIFY(s);
        QCOMPARE(s->baud, 2400);
        QCOMPARE(s->parity, QSerialPort::EvenParity);
        QCOMPARE(s->dataBits, QSerialPort::Data8);
        QCOMPARE(s->stopBits, QSerialPort::OneStop);
        const std::pair<const char*, QSerialPort::Parity> parities[] = {
            {"N", QSerialPort::NoParity}, {"O", QSerialPort::OddParity}, {"S", QSerialPort::SpaceParity},
            {"M", QSerialPort::MarkParity}};
        for (auto [letter, parity] : parities) QCOMPARE(serial::ParseLineSettings("300", letter, "6", "2")->parity, parity);
        QCOMPARE(serial::ParseLineSettings("256000", "E", "7", "1.5")->stopBits, QSerialPort::OneAndHalfStop);
        QCOMPARE(serial::ParseLineSettings("256000", "E", "6", "2")->dataBits, QSerialPort::Data6);
        QVERIFY(!serial::ParseLineSettings("fast", "E", "8", "1"));
        QVERIFY(!serial::ParseLineSettings("", "E", "8", "1"));
        QVERIFY(!serial::ParseLineSettings("2400", "", "8", "1"));
        QVERIFY(!serial::ParseLineSettings("2400", "Q", "8", "1"));
        QVERIFY(!serial::ParseLineSettings("2400", "E", "x8", "1"));
        QVERIFY(!serial::ParseLineSettings("2400", "E", "9", "1"));
        QVERIFY(!serial::ParseLineSettings("2400", "E", "8", "3"));
    }
    void applyOnAPseudoTerminal() {
        Pty pty;
        QVERIFY(!pty.path.isEmpty());
        qputenv("HT6630_SERIAL_PORTS", (pty.path + ":/dev/ht6630-none").toLocal8Bit());
        serial::RefreshComBinding();
        QSerialPort port;
        // Even parity and 7 data bits are set while closed: a pty takes them then.
        QVERIFY(serial::ApplyPortSettings(&port, 1, "9600", "E", "7", "1"));
        QVERIFY(port.isOpen());
        QVERIFY(!serial::ApplyPortSettings(&port, 2, "9600", "E", "8", "1"));   // no such device
        QVERIFY(!port.isOpen());                                                 // closed by the attempt
        QVERIFY(!serial::ApplyPortSettings(&port, 0, "9600", "E", "8", "1"));
        QVERIFY(!serial::ApplyPortSettings(&port, 1, "9600", "E", "eight", "1"));
        QVERIFY(!port.isOpen());
        QVERIFY(serial::ApplyPortSettings(&port, 1, "2400", "E", "8", "1"));
        port.close();
        qunsetenv("HT6630_SERIAL_PORTS");
    }
    void dialogProbeAndTooltips() {
        Pty a, b;
        qputenv("HT6630_SERIAL_PORTS", (a.path + ":/dev/ht6630-none:" + b.path).toLocal8Bit());
        QSerialPort port;
        modDtu::SetMSComm1(&port);
        modDtu::PortOpened = false;
        {
            serial::FrmSetPort dlg;
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
        modDtu::SetMSComm1(nullptr);
        qunsetenv("HT6630_SERIAL_PORTS");
    }
    void typedComboTextIsNotAChoice() {
        Pty a;
        qputenv("HT6630_SERIAL_PORTS", a.path.toLocal8Bit());
        QSerialPort port;
        modDtu::SetMSComm1(&port);
        modDtu::PortOpened = false;
        {
            serial::FrmSetPort dlg;
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
            QCOMPARE(modDtu::PortOpened, false);
            // The next choice from a list reads the typed text.
            auto* stop = dlg.findChild<QComboBox*>("CboStopbit");
            stop->setCurrentIndex(2);
            emit stop->activated(2);
            QCOMPARE(port.baudRate(), 9600);
            QCOMPARE(port.stopBits(), QSerialPort::TwoStop);
        }
        port.close();
        modDtu::SetMSComm1(nullptr);
        qunsetenv("HT6630_SERIAL_PORTS");
    }
    void receivePathQuietRuleAndCap() {
        Pty pty;
        qputenv("HT6630_SERIAL_PORTS", pty.path.toLocal8Bit());
        serial::RefreshComBinding();
        QSerialPort port;
        modDtu::SetMSComm1(&port);
        serial::AttachReceivePath();
        modDtu::ChannelName.clear();   // blocks are counted in RecvLen and then dropped
        QVERIFY(serial::ApplyPortSettings(&port, 1, "2400", "E", "8", "1"));

        // Until a request has raised the receive threshold nothing is handed on.
        serial::SetRThreshold(0);
        modDtu::RecvLen = -1;
        pty.write(QByteArray(5, 'x'));
        QTest::qWait(900);
        QCOMPARE(modDtu::RecvLen, qint16(-1));
        QCOMPARE(port.bytesAvailable(), qint64(0));
        serial::SetRThreshold(1);

        modDtu::RecvLen = -1;
        QElapsedTimer clock;
        clock.start();
        pty.write(QByteArray(10, 'a'));
        QTest::qWait(300);
        pty.write(QByteArray(10, 'b'));
        const qint64 lastByte = clock.elapsed();
        QTRY_COMPARE_WITH_TIMEOUT(modDtu::RecvLen, qint16(20), 3000);
        const qint64 quiet = clock.elapsed() - lastByte;
        QVERIFY2(quiet >= 590 && quiet < 900, qPrintable(QString::number(quiet)));
        QCOMPARE(modDtu::RecvBuf, QByteArray(10, 'a') + QByteArray(10, 'b'));

        // A stream without a pause is cut at 32,767 bytes; the rest follows after the quiet time.
        modDtu::RecvLen = -1;
        QByteArray big(40000, 'z');
        for (int off = 0; off < big.size(); off += 4000) pty.write(big.mid(off, 4000));
        QTRY_COMPARE_WITH_TIMEOUT(modDtu::RecvLen, qint16(32767), 3000);
        QTRY_COMPARE_WITH_TIMEOUT(modDtu::RecvLen, qint16(40000 - 32767), 3000);

        port.close();
        modDtu::SetMSComm1(nullptr);
        qunsetenv("HT6630_SERIAL_PORTS");
    }
    void receivePathClosesALostDevice() {
        auto* pty = new Pty;
        qputenv("HT6630_SERIAL_PORTS", pty->path.toLocal8Bit());
        serial::RefreshComBinding();
        QSerialPort port;
        modDtu::SetMSComm1(&port);
        serial::AttachReceivePath();
        QVERIFY(serial::ApplyPortSettings(&port, 1, "2400", "E", "8", "1"));
        QSignalSpy errors(&port, &QSerialPort::errorOccurred);
        delete pty;   // the device side goes away
        QTRY_VERIFY_WITH_TIMEOUT(!port.isOpen(), 3000);
        const int seen = errors.count();
        QTest::qWait(200);
        QCOMPARE(errors.count(), seen);   // no more reports once closed
        QVERIFY(seen < 1000);
        modDtu::SetMSComm1(nullptr);
        qunsetenv("HT6630_SERIAL_PORTS");
    }
};

QTEST_MAIN(TstSerialPorts)
#include "tst_serial_ports.moc"
