// The console's start-up: database, then the main window.
#include "core/MqttConnection.h"
#include <QApplication>

#include <QDir>

#include <cstdio>
#include <optional>

#include "core/DataHome.h"
#include "core/Database.h"
#include "core/TcpDataCentre.h"
#include "ui/AutomationServer.h"
#include "ui/DisplayLanguage.h"
#include "ui/MainWindow.h"
#include "ui/MsgBox.h"
#include "ui/RepaintThrottle.h"

int main(int argc, char** argv) {
    // The two answers a program gives without starting (no display needed).
    std::optional<DisplayLanguage> language;   // --language: this run only
    for (int i = 1; i < argc; ++i) {
        const QByteArray a(argv[i]);
        if (a == "--language" || a.startsWith("--language=")) {
            const QByteArray code = a == "--language" ? (i + 1 < argc ? QByteArray(argv[++i]) : QByteArray())
                                                      : a.mid(int(sizeof "--language=") - 1);
            language = ParseDisplayLanguage(QString::fromUtf8(code));
            if (!language) {
                std::fprintf(stderr, "ht6630-console: --language takes zh or en, not \"%s\"\n", code.constData());
                return 2;
            }
            continue;
        }
        if (a == "--help" || a == "-h") {
            std::printf("Usage: ht6630-console [--language zh|en] [--help] [--version]\n"
                        "The HT6630-QN terminal console: reads and writes a terminal's parameters over a\n"
                        "serial (infrared) link and runs a TCP or UDP data centre terminals report to.\n"
                        "Data/ (data.mdb, readings.db, Logs/) is kept beside the program when that folder\n"
                        "can be written, else in ~/.local/share/ht6630-console.\n"
                        "--language zh|en  the windows' language for this run (Chinese by default;\n"
                        "                  the choice made in the menu is remembered in Data/console.ini)\n");
            return 0;
        }
        if (a == "--version") {
            std::printf("ht6630-console %s\n", HT6630_VERSION);
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
    const core::MqttLibrary mqtt;   // the fleet window's broker connection
    app.setQuitOnLastWindowClosed(false);
    RepaintThrottle::install(&app);
    StartAutomationFromEnvironment(&app);

    const QString programFolder = QCoreApplication::applicationDirPath();
    const QString home = core::DataHome(programFolder);
    QString error;
    if (home != programFolder && !core::EnsureDataMdb(home, &error))
        qWarning("cannot make %s/Data/data.mdb: %s", qPrintable(home), qPrintable(error));
    // The language comes first: every window is made in it.
    const QString settingsPath = QDir(home).filePath(QStringLiteral("Data/console.ini"));
    if (!InstallDisplayLanguage(app, language.value_or(RememberedDisplayLanguage(settingsPath))))
        qWarning("the English catalogue cannot be loaded: the windows stay in Chinese");
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
