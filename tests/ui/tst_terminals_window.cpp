// The terminals view: numeric columns sort as numbers, the filter decides what an
// export covers (a filter that shows nothing exports nothing), a selection wins,
// an export started from the window writes the store's readings to a file, and an
// overdue terminal's row is marked; in English no header or cell is cut.
#include <QBrush>
#include <QHeaderView>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

#include "core/ReadingsStore.h"
#include "core/TerminalRoster.h"
#include "ui/TerminalsModel.h"
#include "ui/DisplayLanguage.h"
#include "ui/TerminalsWindow.h"

namespace {

ht6630::RoomUpload Upload(const std::string& barCode, int records) {
    ht6630::RoomUpload u;
    u.barCode = barCode;
    u.batteryCentivolts = 368;
    for (int i = 0; i < records; ++i)
        u.records.push_back({ht6630::CivilTime{2024, 5, 17, i, 0, 0}, 215, 456});
    return u;
}

}  // namespace

class TestTerminalsWindow : public QObject {
    Q_OBJECT
private slots:
    void sortFilterSelectAndExport() {
        QTemporaryDir dir;
        core::ReadingsStore store(dir.filePath("readings.db"));
        core::TerminalRoster roster;
        const QDateTime now = QDateTime::currentDateTime();
        for (auto [bar, n] : {std::pair{"2012345678901", 9}, {"2012345678902", 10}, {"2012345678903", 2}}) {
            store.addRoomUpload(Upload(bar, n), core::Channel::Tcp, now);
            roster.noteUpload(Upload(bar, n), core::Channel::Tcp, now);
        }
        TerminalsWindow w(roster, store);
        w.model()->refresh();
        auto* table = w.findChild<QTableView*>(QStringLiteral("tblTerminals"));
        auto* filter = w.findChild<QLineEdit*>(QStringLiteral("txtFilter"));
        QCOMPARE(table->model()->rowCount(), 3);

        table->sortByColumn(TerminalsModel::Readings, Qt::DescendingOrder);
        QCOMPARE(table->model()->index(0, TerminalsModel::Readings).data().toString(), QStringLiteral("10"));
        QCOMPARE(table->model()->index(1, TerminalsModel::Readings).data().toString(), QStringLiteral("9"));

        QCOMPARE(w.exportBarCodes(), QStringList());   // nothing chosen: every terminal
        filter->setText(QStringLiteral("78902"));
        QCOMPARE(table->model()->rowCount(), 1);
        QCOMPARE(w.exportBarCodes(), QStringList{QStringLiteral("2012345678902")});
        filter->setText(QStringLiteral("no such terminal"));
        QCOMPARE(w.exportBarCodes().size(), 1);
        QVERIFY(!w.exportBarCodes().first().startsWith(QStringLiteral("2012")));
        filter->clear();
        table->selectRow(2);   // the fewest readings, sorted last
        QCOMPARE(w.exportBarCodes(), QStringList{QStringLiteral("2012345678903")});

        QSignalSpy done(&w, &TerminalsWindow::exportFinished);
        w.exportTo(dir.filePath("out.csv"));
        QVERIFY(done.wait(10000));
        QVERIFY(done.at(0).at(0).toBool());
        QFile f(dir.filePath("out.csv"));
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = f.readAll().split('\n');
        QCOMPARE(lines.size(), 1 + 2 + 1);   // header, two readings, the empty piece after the last CR LF
        QCOMPARE(lines[1], QByteArray("2012345678903,2024-05-17T00:00:00,21.5,45.6,3.68,TCP\r"));

        // An overdue terminal: marked in its column and by its row's background, sorted first.
        roster.sweepOverdue(now.addSecs(3 * 240 + 1).toMSecsSinceEpoch());
        w.model()->refresh();
        table->sortByColumn(TerminalsModel::Overdue, Qt::DescendingOrder);
        QCOMPARE(table->model()->headerData(TerminalsModel::Overdue, Qt::Horizontal).toString(), QStringLiteral("逾期"));
        roster.noteUpload(Upload("2012345678902", 10), core::Channel::Tcp, now.addSecs(3 * 240 + 1));
        roster.sweepOverdue(now.addSecs(3 * 240 + 2).toMSecsSinceEpoch());
        w.model()->refresh();
        QCOMPARE(table->model()->index(0, TerminalsModel::Overdue).data().toString(), QStringLiteral("逾期"));
        QCOMPARE(table->model()->index(1, TerminalsModel::Overdue).data().toString(), QStringLiteral("逾期"));
        QCOMPARE(table->model()->index(2, TerminalsModel::Overdue).data().toString(), QString());
        QCOMPARE(table->model()->index(2, TerminalsModel::BarCode).data().toString(), QStringLiteral("2012345678902"));
        QVERIFY(table->model()->index(0, TerminalsModel::Temperature).data(Qt::BackgroundRole).canConvert<QBrush>());
        QVERIFY(!table->model()->index(2, TerminalsModel::Temperature).data(Qt::BackgroundRole).isValid());
        table->sortByColumn(TerminalsModel::Readings, Qt::DescendingOrder);

        // The chart button opens the current terminal's chart on the store's file.
        table->setCurrentIndex(table->model()->index(0, 0));
        w.findChild<QPushButton*>(QStringLiteral("cmdChart"))->click();
        auto* chart = w.findChild<QWidget*>(QStringLiteral("frmChart"));
        QVERIFY(chart);
        QVERIFY(chart->windowTitle().endsWith(QStringLiteral("2012345678902")));
    }

    // Last: the English catalogue stays installed for the rest of the run.
    void englishHeadersAndCellsFitTheirColumns() {
        QVERIFY(InstallDisplayLanguage(*qApp, DisplayLanguage::English));
        QTemporaryDir dir;
        core::ReadingsStore store(dir.filePath("readings.db"));
        core::TerminalRoster roster;
        const QDateTime now = QDateTime::currentDateTime();
        roster.noteUpload(Upload("2012345678901", 3), core::Channel::Tcp, now);
        TerminalsWindow w(roster, store);
        w.model()->refresh();
        auto* table = w.findChild<QTableView*>(QStringLiteral("tblTerminals"));
        const QFontMetrics header(table->horizontalHeader()->font()), cell(table->font());
        QStringList titles;
        for (int c = 0; c < TerminalsModel::ColumnCount; ++c) {
            const QString title = table->model()->headerData(c, Qt::Horizontal).toString();
            titles << title;
            // The text, the sort mark beside it and the header's margins.
            QVERIFY2(table->columnWidth(c) >= header.horizontalAdvance(title) + 20, qPrintable(title));
            const QString text = table->model()->index(0, c).data().toString();
            QVERIFY2(table->columnWidth(c) >= cell.horizontalAdvance(text) + 6, qPrintable(title + QStringLiteral(": ") + text));
        }
        QVERIFY2(titles.contains(QStringLiteral("Program version")), qPrintable(titles.join(QLatin1Char('|'))));
        QVERIFY2(titles.contains(QStringLiteral("Temperature (℃)")), qPrintable(titles.join(QLatin1Char('|'))));
    }
};

QTEST_MAIN(TestTerminalsWindow)
#include "tst_terminals_window.moc"
