// The console's start-up: database, then the main window.
#include <QApplication>

#include <cstdio>

#include "core/Database.h"
#include "core/TcpDataCentre.h"
#include "ui/AutomationServer.h"
#include "ui/MainWindow.h"
#include "ui/MsgBox.h"
#include "ui/RepaintThrottle.h"

int main(int argc, char** argv) {
    // The two answers a program gives without starting (no display needed).
    for (int i = 1; i < argc; ++i) {
        const QByteArray a(argv[i]);
        if (a == "--help" || a == "-h") {
            std::printf("Usage: ht6630-console\nThe HT6630-QN terminal console: serial configuration and the TCP and UDP\n"
                        "data centres. Data/data.mdb beside the program holds its settings.\n");
            return 0;
        }
        if (a == "--version") {
            std::printf("ht6630-console 1.0\n");
            return 0;
        }
    }
    // The TCP data centre may hold thousands of connections.
    core::RaiseOpenFileLimit();
    // Qt's own event dispatcher: glib's keeps socket notifiers in a list that is
    // searched on every read-notifier toggle, which costs O(connections) per read.
    if (!qEnvironmentVariableIsSet("QT_NO_GLIB")) qputenv("QT_NO_GLIB", "1");
    // Every frame reads the local time, and each reading re-examines the zone file
    // (a stat call) unless TZ names it: name the system's zone once.
    if (!qEnvironmentVariableIsSet("TZ")) qputenv("TZ", ":/etc/localtime");
    QApplication app(argc, argv);
    app.setQuitOnLastWindowClosed(false);
    RepaintThrottle::install(&app);
    StartAutomationFromEnvironment(&app);

    const core::DbOpenResult db = core::OpenDbConn(QCoreApplication::applicationDirPath());
    if (!db.ok) {
        MsgBox(nullptr, QStringLiteral("错误号：%1\n错误描述：%2").arg(db.number, db.description), kAppTitle,
               BoxIcon::Critical);
        return 1;
    }

    MainWindow main;
    main.show();
    return app.exec();
}
