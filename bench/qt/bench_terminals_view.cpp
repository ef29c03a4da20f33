// The terminals view with 10,000 terminals, sorted by "last seen" (every update
// moves rows): the UI thread's cost of one refresh after every terminal reported
// once, against the reference of showing each report as it comes (one dataChanged
// per report), and the cost of one repaint of the table.
//
//   QT_QPA_PLATFORM=offscreen build/bin/bench_terminals_view [TERMINALS]
#include <QApplication>
#include <QElapsedTimer>
#include <QTableView>
#include <QTemporaryDir>

#include <cstdio>

#include "core/ReadingsStore.h"
#include "core/TerminalRoster.h"
#include "ui/TerminalsModel.h"
#include "ui/TerminalsWindow.h"

namespace {

ht6630::RoomUpload Upload(int terminal, int round) {
    ht6630::RoomUpload u;
    u.barCode = std::to_string(2012300000000LL + terminal);
    u.batteryCentivolts = 360 + terminal % 20;
    u.uploadTime = ht6630::CivilTime{2024, 5, 17, 8 + round / 60, round % 60, terminal % 60};
    u.records.push_back({u.uploadTime, 200 + terminal % 50, 450 + round % 50});
    return u;
}

// One report per terminal; `each` runs after every report.
template <class Each>
double Round(core::TerminalRoster& roster, int terminals, int round, Each each) {
    QElapsedTimer t;
    t.start();
    const QDateTime base = QDateTime::currentDateTime();
    for (int i = 0; i < terminals; ++i) {
        roster.noteUpload(Upload(i, round), core::Channel::Tcp, base.addMSecs(i));
        each();
    }
    return double(t.nsecsElapsed()) / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int terminals = argc > 1 ? std::atoi(argv[1]) : 10000;
    QTemporaryDir dir;
    core::ReadingsStore store(dir.filePath(QStringLiteral("readings.db")));
    core::TerminalRoster roster;
    TerminalsWindow window(roster, store);
    window.resize(1100, 560);
    window.show();
    auto* table = window.findChild<QTableView*>(QStringLiteral("tblTerminals"));
    table->sortByColumn(TerminalsModel::LastSeen, Qt::DescendingOrder);
    Round(roster, terminals, 0, [] {});
    window.model()->refresh();
    QCoreApplication::processEvents();

    const int rounds = 5;
    double batched = 0, paint = 0;
    for (int r = 1; r <= rounds; ++r) {
        batched += Round(roster, terminals, r, [] {});
        QElapsedTimer t;
        t.start();
        window.model()->refresh();            // what the 250 ms timer does
        table->viewport()->repaint();
        const double ms = double(t.nsecsElapsed()) / 1e6;
        batched += ms;
        paint += ms;
    }
    // The reference: every report shown at once (a dataChanged each, re-sorted each).
    const int referenceReports = std::min(terminals, 2000);
    double reference = Round(roster, referenceReports, rounds + 1, [&] { window.model()->refresh(); });
    reference *= double(terminals) / referenceReports;

    std::printf("{\"terminals\":%d,\"batched_ms_per_round\":%.1f,\"refresh_and_repaint_ms\":%.1f,"
                "\"reference_ms_per_round\":%.1f,\"reference_reports_measured\":%d,\"ratio\":%.3f}\n",
                terminals, batched / rounds, paint / rounds, reference, referenceReports,
                (batched / rounds) / reference);
    return 0;
}
