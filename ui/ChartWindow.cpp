#include "ui/ChartWindow.h"

#include "ui/DisplayLanguage.h"

#include <QDateTime>
#include <QFileDialog>
#include <QLineSeries>
#include <QPixmap>
#include <QThread>

#include "core/ReadingsStore.h"
#include "core/TerminalSeriesLoader.h"
#include "ui/MsgBox.h"
#include "ui/ReadingsChart.h"
#include "ui_ChartWindow.h"

ChartWindow::ChartWindow(const QString& dbPath, const QString& barCode, QWidget* parent)
    : QWidget(parent, Qt::Window), ui_(std::make_unique<Ui::ChartWindow>()), barCode_(barCode), dbPath_(dbPath) {
    setUp();
    startLoad(QString());
}

ChartWindow::ChartWindow(core::ReadingsStore& store, const QString& barCode, QWidget* parent)
    : ChartWindow(store.path(), barCode, parent) {
    // Emitted on the store's writer thread: queued to this window, dropped with it.
    connect(&store, &core::ReadingsStore::batchCommitted, this, [this](int readings) {
        if (readings > 0) loadNewer();
    });
}

ChartWindow::ChartWindow(const QString& barCode, QWidget* parent)
    : QWidget(parent, Qt::Window), ui_(std::make_unique<Ui::ChartWindow>()), barCode_(barCode) {
    setUp();
    loaded_ = true;
    chart_->setTitle(Shown(QStringLiteral("没有读数")));
    ui_->lblChartInfo->setText(Shown(QStringLiteral("等待终端 %1 的读数…")).arg(barCode));
}

void ChartWindow::setUp() {
    ui_->setupUi(this);
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(Shown(QStringLiteral("温湿度曲线 - ")) + barCode_);
    chart_ = new ReadingsChart;
    ui_->chartView->setChart(chart_);   // the view owns the chart
    ui_->optAll->setChecked(true);
    for (QRadioButton* option : {ui_->optDay, ui_->optWeek, ui_->optAll})
        connect(option, &QRadioButton::toggled, this, [this](bool on) {
            if (on) rangeChosen();
        });
    connect(ui_->cmdSavePng, &QPushButton::clicked, this, &ChartWindow::cmdSavePngClicked);
    connect(chart_, &ReadingsChart::redrawn, this, &ChartWindow::showInfo);
    ui_->lblChartInfo->setText(Shown(QStringLiteral("正在读取终端 %1 的读数…")).arg(barCode_));
}

// The worker posts its result to this window; the destructor waits for it,
// and a result still queued then is dropped with the window's events.
void ChartWindow::startLoad(const QString& afterTime) {
    const QString dbPath = dbPath_, barCode = barCode_;
    const bool first = afterTime.isEmpty() && !loaded_;
    worker_ = QThread::create([this, dbPath, barCode, afterTime, first] {
        auto load = std::make_shared<core::TerminalSeriesLoad>(core::LoadTerminalSeries(dbPath, barCode, &cancel_, afterTime));
        if (cancel_) return;
        QMetaObject::invokeMethod(this, [this, load, first] {
            if (first) showLoad(*load);
            else if (load->error.isEmpty()) addReadings(load->series);
        }, Qt::QueuedConnection);
    });
    worker_->setParent(this);
    connect(worker_, &QThread::finished, this, [this, w = worker_] {
        w->deleteLater();
        if (worker_ == w) worker_ = nullptr;
        if (newerWaiting_) loadNewer();
    });
    worker_->start();
}

void ChartWindow::loadNewer() {
    newerWaiting_ = worker_ != nullptr || !loaded_;
    if (newerWaiting_) return;   // after the read under way
    const auto& times = chart_->readings().timesMs;
    startLoad(times.empty() ? QStringLiteral("0000") : QDateTime::fromMSecsSinceEpoch(times.back()).toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")));
}

ChartWindow::~ChartWindow() {
    cancel_ = true;   // the read stops at its next step, a busy wait included
    if (worker_) worker_->wait();
}

void ChartWindow::addReadings(const core::TerminalSeries& readings) {
    chart_->addReadings(readings);
    if (chart_->readings().size() > 0) chart_->setTitle(QString());
}

void ChartWindow::showLoad(core::TerminalSeriesLoad& load) {
    error_ = load.error;
    loaded_ = true;
    chart_->setReadings(std::move(load.series));   // redraws, which shows the counts
    if (chart_->readings().size() == 0) chart_->setTitle(error_.isEmpty() ? Shown(QStringLiteral("没有读数")) : QString());
    emit loaded();
}

void ChartWindow::rangeChosen() {
    chart_->setRange(ui_->optDay->isChecked()    ? ChartRange::Day
                     : ui_->optWeek->isChecked() ? ChartRange::Week
                                                 : ChartRange::All);
}

void ChartWindow::showInfo() {
    if (!loaded_) return;   // "reading…" stays until the result is in
    QString text;
    if (!error_.isEmpty())
        text = Shown(QStringLiteral("无法显示读数：") + error_);
    else if (chart_->readings().size() == 0)
        text = Shown(QStringLiteral("读数库中没有终端 %1 的读数")).arg(barCode_);
    else
        text = Shown(QStringLiteral("共 %1 条读数，本范围 %2 条，绘出 %3 点"))
                   .arg(chart_->readings().size())
                   .arg(chart_->readingsInRange())
                   .arg(chart_->temperatureSeries()->count() + chart_->humiditySeries()->count());
    ui_->lblChartInfo->setText(text);
}

bool ChartWindow::savePng(const QString& path) { return ui_->chartView->grab().save(path, "PNG"); }

void ChartWindow::cmdSavePngClicked() {
    const QString path = QFileDialog::getSaveFileName(this, Shown(QStringLiteral("保存为PNG")), barCode_ + QStringLiteral(".png"),
                                                      Shown(QStringLiteral("PNG 图片 (*.png)")));
    if (path.isEmpty()) return;
    if (!savePng(path)) MsgBox(this, QStringLiteral("无法保存图片：") + path, kAppTitle, BoxIcon::Exclamation);
}
