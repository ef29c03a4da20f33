// The console's start-up: database, then the main window.
#include <QApplication>
#include <QCommandLineParser>

#include "core/DataHome.h"
#include "core/Database.h"
#include "core/TcpDataCentre.h"
#include "ui/AutomationServer.h"
#include "ui/MainWindow.h"
#include "ui/MsgBox.h"
#include "ui/RepaintThrottle.h"

int main(int argc, char** argv) {
    // The TCP data centre may hold thousands of connections.
    core::RaiseOpenFileLimit();
    // Qt's own event dispatcher: glib's keeps socket notifiers in a list that is
    // searched on every read-notifier toggle, which costs O(connections) per read.
    if (!qEnvironmentVariableIsSet("QT_NO_GLIB")) qputenv("QT_NO_GLIB", "1");
    // Every frame reads the local time, and each reading re-examines the zone file
    // (a stat call) unless TZ names it: name the system's zone once.
    if (!qEnvironmentVariableIsSet("TZ")) qputenv("TZ", ":/etc/localtime");
    QApplication app(argc, argv);
    QCoreApplication::setApplicationVersion(QStringLiteral(HT6630_VERSION));
    {
        QCommandLineParser options;
        options.setApplicationDescription(QStringLiteral(
            "HT6630-QN terminal console: reads and writes a terminal's parameters over a serial\n"
            "(infrared) link and runs a TCP or UDP data centre terminals report to.\n"
            "Data/ (data.mdb, readings.db, Logs/) is kept beside the program when that folder\n"
            "can be written, else in ~/.local/share/ht6630-console."));
        options.addHelpOption();
        options.addVersionOption();
        options.process(app);   // --help and --version print and exit
    }
    app.setQuitOnLastWindowClosed(false);
    RepaintThrottle::install(&app);
    StartAutomationFromEnvironment(&app);

    const QString programFolder = QCoreApplication::applicationDirPath();
    const QString home = core::DataHome(programFolder);
    QString error;
    if (home != programFolder && !core::EnsureDataMdb(home, &error))
        qWarning("cannot make %s/Data/data.mdb: %s", qPrintable(home), qPrintable(error));
    const core::DbOpenResult db = core::OpenDbConn(home);
    if (!db.ok) {
        MsgBox(nullptr, QStringLiteral("错误号：%1\n错误描述：%2").arg(db.number, db.description), kAppTitle,
               BoxIcon::Critical);
        return 1;
    }

    MainWindow main(home);
    main.show();
    return app.exec();
}
