#include "ui/TerminalsWindow.h"

#include "ui/DisplayLanguage.h"

#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QHeaderView>
#include <QSortFilterProxyModel>
#include <QThread>

#include <memory>

#include "core/ReadingsExport.h"
#include "core/ReadingsStore.h"
#include "core/TerminalRoster.h"
#include "ui/ChartWindow.h"
#include "ui/ColumnWidths.h"
#include "ui/TerminalsModel.h"
#include "ui_TerminalsWindow.h"

namespace {
constexpr int kFlushBeforeExportMs = 5000;
QString StoredText(const QDateTime& t) { return t.toString(QStringLiteral("yyyy-MM-dd'T'HH:mm:ss")); }
}  // namespace

TerminalsWindow::TerminalsWindow(core::TerminalRoster& roster, core::ReadingsStore& store, QWidget* parent)
    : QWidget(parent, Qt::Window), ui_(new Ui::TerminalsWindowForm), roster_(roster), store_(store),
      model_(new TerminalsModel(roster, this)), proxy_(new QSortFilterProxyModel(this)) {
    ui_->setupUi(this);
    proxy_->setSourceModel(model_);
    proxy_->setSortRole(TerminalsModel::SortRole);
    proxy_->setFilterKeyColumn(-1);
    proxy_->setFilterCaseSensitivity(Qt::CaseInsensitive);
    ui_->tblTerminals->setModel(proxy_);
    ui_->tblTerminals->sortByColumn(TerminalsModel::BarCode, Qt::AscendingOrder);
    // Fixed row heights and column widths: 10,000 rows lay out without measuring each.
    ui_->tblTerminals->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    ui_->tblTerminals->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    ui_->tblTerminals->verticalHeader()->hide();
    // Each column as wide as its header or its widest kind of cell, in either language.
    const QString time = QStringLiteral("0000-00-00 00:00:00");
    FitColumnsToTexts(ui_->tblTerminals, {{TerminalsModel::BarCode, QStringLiteral("0000000000000")},
                                          {TerminalsModel::Online, Shown(QStringLiteral("离线"))},
                                          {TerminalsModel::Overdue, Shown(QStringLiteral("逾期"))},
                                          {TerminalsModel::Channel, QStringLiteral("tcp")},
                                          {TerminalsModel::Peer, QStringLiteral("255.255.255.255:65535")},
                                          {TerminalsModel::FirstSeen, time},
                                          {TerminalsModel::LastSeen, time},
                                          {TerminalsModel::Firmware, QStringLiteral("V00.00")},
                                          {TerminalsModel::RecordTime, time}});

    const QDateTime now = QDateTime::currentDateTime();
    ui_->dtFrom->setDateTime(now.addDays(-1));
    ui_->dtTo->setDateTime(now);
    ui_->dtFrom->setEnabled(false);
    ui_->dtTo->setEnabled(false);
    connect(ui_->chkFrom, &QCheckBox::toggled, ui_->dtFrom, &QWidget::setEnabled);
    connect(ui_->chkTo, &QCheckBox::toggled, ui_->dtTo, &QWidget::setEnabled);

    connect(ui_->txtFilter, &QLineEdit::textChanged, proxy_, &QSortFilterProxyModel::setFilterFixedString);
    connect(ui_->txtFilter, &QLineEdit::textChanged, this, &TerminalsWindow::updateCount);
    connect(proxy_, &QAbstractItemModel::rowsInserted, this, &TerminalsWindow::updateCount);
    connect(proxy_, &QAbstractItemModel::dataChanged, this, &TerminalsWindow::updateCount);
    connect(ui_->tblTerminals, &QTableView::doubleClicked, this, [this](const QModelIndex& i) {
        openChart(model_->barCodeAt(proxy_->mapToSource(i).row()));
    });
    connect(ui_->cmdChart, &QPushButton::clicked, this, [this] {
        const QModelIndex i = ui_->tblTerminals->currentIndex();
        if (i.isValid()) openChart(model_->barCodeAt(proxy_->mapToSource(i).row()));
    });
    connect(ui_->cmdExport, &QPushButton::clicked, this, &TerminalsWindow::askExportFile);
    updateCount();
}

TerminalsWindow::~TerminalsWindow() {
    if (worker_) worker_->wait();
    delete ui_;
}

void TerminalsWindow::updateCount() {
    int online = 0;
    for (int i = 0; i < model_->rowCount(); ++i) online += roster_.row(i).online;
    ui_->lblCount->setText(Shown(QStringLiteral("显示 %1 / 共 %2 个终端，在线 %3"))
                               .arg(proxy_->rowCount()).arg(model_->rowCount()).arg(online));
}

QStringList TerminalsWindow::exportBarCodes() const {
    QStringList codes;
    const QModelIndexList selected = ui_->tblTerminals->selectionModel()->selectedRows();
    for (const QModelIndex& i : selected) codes.append(model_->barCodeAt(proxy_->mapToSource(i).row()));
    if (codes.isEmpty() && !proxy_->filterRegularExpression().pattern().isEmpty()) {
        for (int r = 0; r < proxy_->rowCount(); ++r)
            codes.append(model_->barCodeAt(proxy_->mapToSource(proxy_->index(r, 0)).row()));
        // A filter that shows nothing exports nothing (an empty list would mean all).
        if (codes.isEmpty()) codes.append(QStringLiteral("-"));
    }
    return codes;
}

void TerminalsWindow::askExportFile() {
    // Non-blocking: the data centres go on while the operator chooses a file.
    auto* dialog = new QFileDialog(this, Shown(QStringLiteral("导出CSV")),
                                   QDir(QDir::homePath()).filePath(QStringLiteral("readings.csv")),
                                   QStringLiteral("CSV (*.csv)"));
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setDefaultSuffix(QStringLiteral("csv"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QFileDialog::fileSelected, this, &TerminalsWindow::exportTo);
    dialog->open();
}

void TerminalsWindow::exportTo(const QString& filePath) {
    if (worker_ || filePath.isEmpty()) return;
    const QStringList codes = exportBarCodes();
    const QString from = ui_->chkFrom->isChecked() ? StoredText(ui_->dtFrom->dateTime()) : QString();
    const QString to = ui_->chkTo->isChecked() ? StoredText(ui_->dtTo->dateTime()) : QString();
    const bool excel = ui_->chkExcel->isChecked();
    core::ReadingsStore* store = &store_;
    auto result = std::make_shared<core::ExportResult>();
    worker_ = QThread::create([=] {
        store->flush(kFlushBeforeExportMs);
        *result = core::ExportCsvFile(store->path(), codes, from, to, filePath, excel);
    });
    worker_->setParent(this);
    ui_->cmdExport->setEnabled(false);
    ui_->lblStatus->setText(Shown(QStringLiteral("正在导出…")));
    connect(worker_, &QThread::finished, this, [this, result, filePath] {
        worker_->deleteLater();
        worker_ = nullptr;
        ui_->cmdExport->setEnabled(true);
        const QString text = result->ok ? Shown(QStringLiteral("已导出 %1 条读数到 %2")).arg(result->readings).arg(filePath)
                                        : Shown(QStringLiteral("导出失败：") + result->error);
        ui_->lblStatus->setText(text);
        emit exportFinished(result->ok, text);
    });
    worker_->start();
}

// The chart reads the file itself, on its own worker, and again as the store commits
// new readings; it deletes itself when closed.
void TerminalsWindow::openChart(const QString& barCode) {
    if (barCode.isEmpty()) return;
    auto* chart = new ChartWindow(store_, barCode, this);
    chart->show();
}
