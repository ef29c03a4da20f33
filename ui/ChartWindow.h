#pragma once
// The curves of one terminal's readings (frmChart), opened from the terminal list
// with the readings file and the bar code, or from the fleet window with nothing
// but the readings it is given. The readings are read on a worker thread, and
// again (the newer ones only) each time the store commits a batch; closing the
// window deletes it, and the destructor stops the read and waits for the worker,
// so a late result never reaches a deleted window.
#include <QString>
#include <QWidget>

#include <atomic>
#include <memory>

namespace Ui { class ChartWindow; }
namespace core { class ReadingsStore; struct TerminalSeries; struct TerminalSeriesLoad; }
class QThread;
class ReadingsChart;

class ChartWindow : public QWidget {
    Q_OBJECT
public:
    // The file's readings, read once.
    ChartWindow(const QString& dbPath, const QString& barCode, QWidget* parent = nullptr);
    // The store's readings, followed as the store commits new ones; the store outlives the window.
    ChartWindow(core::ReadingsStore& store, const QString& barCode, QWidget* parent = nullptr);
    // No file: the readings come through addReadings().
    ChartWindow(const QString& barCode, QWidget* parent = nullptr);
    ~ChartWindow() override;

    // The chart view's picture as a PNG file; false when it could not be written.
    bool savePng(const QString& path);

    // Newer readings (or earlier ones a terminal uploads late) join the curves.
    void addReadings(const core::TerminalSeries& readings);

    bool isLoaded() const { return loaded_; }   // the read has ended: readings, none, or an error
    ReadingsChart* chart() const { return chart_; }

signals:
    void loaded();

private:
    void setUp();
    // Reads the file's readings after `afterTime` ("" for all) on a worker.
    void startLoad(const QString& afterTime);
    void loadNewer();
    void showLoad(core::TerminalSeriesLoad& load);
    void rangeChosen();
    void showInfo();
    void cmdSavePngClicked();

    std::unique_ptr<Ui::ChartWindow> ui_;
    ReadingsChart* chart_;
    const QString barCode_;
    std::atomic<bool> cancel_ = false;
    QString dbPath_;
    QThread* worker_ = nullptr;
    bool newerWaiting_ = false;   // a commit came while the worker read
    bool loaded_ = false;
    QString error_;
};
