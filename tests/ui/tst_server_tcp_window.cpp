// The TCP console's window handlers, driven directly: list clicks and the
// listening socket's errors.
#include <QFocusEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QTcpServer>
#include <QtTest>

#include "ui/TcpDataCentreWindow.h"
#include "ui/LogTextBox.h"
#include "ui/NetLogWindow.h"

class TstServerTcpWindow : public QObject {
    Q_OBJECT
    core::ConsoleSession session;
    NetLogWindow netLog;
private slots:
    void init() { session.currentId.clear(); }

    void keyboardFocusOnTheOnlineListChoosesNothing() {
        TcpDataCentreWindow w(session, &netLog);
        auto* List1 = w.findChild<QListWidget*>(QStringLiteral("List1"));
        auto* TxtDQID = w.findChild<QLineEdit*>(QStringLiteral("TxtDQID"));
        QVERIFY(List1 && TxtDQID);
        List1->addItem(QStringLiteral("2012345678901"));
        // Tabbing into the list makes its first row current without choosing it.
        QFocusEvent in(QEvent::FocusIn, Qt::TabFocusReason);
        QApplication::sendEvent(List1, &in);
        QCOMPARE(session.currentId, QString());
        QCOMPARE(TxtDQID->text(), QString());
        // A click on the entry chooses it.
        List1->setCurrentRow(0);
        emit List1->itemClicked(List1->item(0));
        QCOMPARE(session.currentId, QStringLiteral("2012345678901"));
        QCOMPARE(TxtDQID->text(), QStringLiteral("2012345678901"));
    }

    void anErrorOnTheListeningSocketIsLoggedOnly() {
        TcpDataCentreWindow w(session, &netLog);
        auto* listener = w.findChild<QTcpServer*>(QStringLiteral("wskServer_0"));
        QVERIFY(listener);
        const QString before = netLog.box()->text();
        emit listener->acceptError(QAbstractSocket::SocketResourceError);
        const QString added = netLog.box()->text().mid(before.size());
        QVERIFY2(QRegularExpression(QStringLiteral("^错误代码:%1 错误描述:[^\r\n]*     \\d\\d:\\d\\d:\\d\\d\r\n$")
                                        .arg(int(QAbstractSocket::SocketResourceError)))
                     .match(added)
                     .hasMatch(),
                 qPrintable(added));
        QVERIFY(w.findChild<QListWidget*>(QStringLiteral("List2"))->count() == 0);
    }
};

QTEST_MAIN(TstServerTcpWindow)
#include "tst_server_tcp_window.moc"
