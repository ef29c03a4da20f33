// The serial console stays open on Escape: closing it unloads it (its fields and
// traffic log are lost), which only the close box may do.
#include <QLineEdit>
#include <QtTest>

#include "ui/SerialConsoleWindow.h"
#include "ui/ParameterPages.h"

class TstSerialConsoleKeys : public QObject {
    Q_OBJECT
private slots:
    void escapeDoesNotCloseTheConsole() {
        core::ConsoleSession session;
        core::SerialLink link(session);
        SerialConsoleWindow console(session, link);
        console.show();
        QVERIFY(QTest::qWaitForWindowExposed(&console) || console.isVisible());
        QLineEdit* bar = console.pages()->lineEdit(QStringLiteral("txtBarCode"));
        bar->setText(QStringLiteral("2012345678901"));
        QTest::keyClick(bar, Qt::Key_Escape);
        QTest::keyClick(&console, Qt::Key_Escape);
        QVERIFY(console.isVisible());
        QCOMPARE(console.result(), int(QDialog::Rejected));
        QCOMPARE(bar->text(), QStringLiteral("2012345678901"));
        console.close();   // the close box still closes it
        QVERIFY(!console.isVisible());
    }
};

QTEST_MAIN(TstSerialConsoleKeys)
#include "tst_serial_console_keys.moc"
