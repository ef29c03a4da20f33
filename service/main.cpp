// ht6630-datacentre: the data centre as a service. TCP and UDP terminals are
// answered as the consoles answer them, their readings go to the readings store,
// and the log goes to standard error with journald's priority prefixes.
#include <QCoreApplication>
#include <QFileInfo>

#include <cstdio>

#include <mosquitto.h>

#include "DataCentreService.h"
#include "ServiceConfig.h"
#include "ServiceLog.h"
#include "SignalPipe.h"
#include "SystemdNotify.h"
#include "core/EpollEventDispatcher.h"

namespace {

constexpr char kHelp[] =
    "Usage: ht6630-datacentre --config PATH [--check-config]\n"
    "Runs the HT6630-QN data centre as a service: terminals report over TCP and/or\n"
    "UDP, are answered as the console answers them, and their readings are kept in\n"
    "the readings store.\n"
    "\n"
    "  --config PATH    the INI configuration file\n"
    "  --check-config   check the configuration and exit (0 good, 2 bad)\n"
    "  --help, --version\n"
    "\n"
    "Signals: SIGTERM/SIGINT stop (waiting replies leave, the store is flushed);\n"
    "SIGHUP reloads the reply delay, mode, retention, connection limit and log level.\n"
    "Exit codes: 0 stopped, 1 could not start, 2 bad arguments or configuration.\n";

// Qt's own messages (the readings store's, the engines') go through the same prefixes.
void QtMessage(QtMsgType type, const QMessageLogContext&, const QString& text) {
    service::LogLevel level = service::LogLevel::Info;
    if (type == QtDebugMsg) level = service::LogLevel::Debug;
    else if (type == QtWarningMsg) level = service::LogLevel::Warning;
    else if (type == QtCriticalMsg || type == QtFatalMsg) level = service::LogLevel::Error;
    const QByteArray line = service::ServiceLog::Line(level, text);
    std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), stderr);
}

int Usage(const QString& why) {
    std::fprintf(stderr, "ht6630-datacentre: %s\nTry 'ht6630-datacentre --help'.\n", qPrintable(why));
    return 2;
}

constexpr int kStopGraceMs = 1800;   // with the broker's share, the stop ends inside 3 s

// The MQTT library's process-wide set-up, for as long as main() runs.
struct MosquittoLibrary {
    MosquittoLibrary() { mosquitto_lib_init(); }
    ~MosquittoLibrary() { mosquitto_lib_cleanup(); }
};

}  // namespace

int main(int argc, char** argv) {
    QString configPath;
    bool checkOnly = false;
    for (int i = 1; i < argc; ++i) {
        const QString a = QString::fromLocal8Bit(argv[i]);
        if (a == QLatin1String("--help") || a == QLatin1String("-h")) {
            std::fputs(kHelp, stdout);
            return 0;
        } else if (a == QLatin1String("--version")) {
            std::printf("ht6630-datacentre %s\n", HT6630_VERSION);
            return 0;
        } else if (a == QLatin1String("--check-config")) {
            checkOnly = true;
        } else if (a == QLatin1String("--config")) {
            if (i + 1 >= argc) return Usage(QStringLiteral("--config needs a path"));
            configPath = QString::fromLocal8Bit(argv[++i]);
        } else {
            return Usage(QStringLiteral("unknown argument ") + a);
        }
    }
    if (configPath.isEmpty()) return Usage(QStringLiteral("--config PATH is required"));

    const service::ConfigResult loaded = service::LoadServiceConfig(configPath);
    if (!loaded.config) {
        std::fprintf(stderr, "<3>%s: %s\n", qPrintable(configPath), qPrintable(loaded.error));
        return 2;
    }
    if (checkOnly) {
        std::printf("%s: configuration is valid\n", qPrintable(configPath));
        return 0;
    }

    // Without TZ the C library looks at /etc/localtime again (a stat) on every
    // conversion to local time, hundreds a second under load. The zone is read once;
    // a changed zone takes a restart. Set before any thread starts.
    if (!qEnvironmentVariableIsSet("TZ") && QFileInfo::exists(QStringLiteral("/etc/localtime")))
        qputenv("TZ", ":/etc/localtime");
    const MosquittoLibrary mosquittoLibrary;
    qInstallMessageHandler(QtMessage);
    // The epoll dispatcher: a pass costs what is ready, timers sit in an ordered set.
    // HT6630_QT_DISPATCHER=1 keeps Qt's own (without glib, which takes a lock and walks
    // its sources per event).
    if (qEnvironmentVariableIntValue("HT6630_QT_DISPATCHER") == 1) {
        if (!qEnvironmentVariableIsSet("QT_NO_GLIB")) qputenv("QT_NO_GLIB", "1");
    } else {
        QCoreApplication::setEventDispatcher(new core::EpollEventDispatcher);
    }
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("ht6630-datacentre"));
    service::ServiceLog log;
    log.setLevel(loaded.config->logLevel);
    log.info(QStringLiteral("ht6630-datacentre %1 starting: node %2, configuration %3")
                 .arg(QString::fromLatin1(HT6630_VERSION), loaded.config->nodeName,
                      QFileInfo(configPath).absoluteFilePath()));

    service::SystemdNotify notify;
    service::SignalPipe signals_;
    if (!signals_.ok()) {
        log.error(QStringLiteral("cannot install the signal handlers"));
        return 1;
    }
    service::DataCentreService dc(*loaded.config, log);
    if (!dc.start()) return 1;
    notify.ready();
    notify.startWatchdog();
    log.info(QStringLiteral("ready"));

    QObject::connect(&signals_, &service::SignalPipe::reload, &dc, [&] {
        const service::ConfigResult next = service::LoadServiceConfig(configPath);
        if (!next.config) {
            log.error(QStringLiteral("reload refused, the running configuration stays: ") + next.error);
            return;
        }
        dc.reload(*next.config);
    });
    QObject::connect(&signals_, &service::SignalPipe::terminate, &dc, [&](int sig) {
        log.info(QStringLiteral("signal %1: stopping").arg(sig));
        notify.stopping();
        dc.stop(kStopGraceMs);
    });
    QObject::connect(&dc, &service::DataCentreService::stopped, &app, [&] {
        log.info(QStringLiteral("stopped"));
        app.quit();
    });
    return app.exec();
}
