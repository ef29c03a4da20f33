#pragma once
// The curves of one terminal's readings (frmChart), opened from the terminal list
// with the readings file and the bar code. The readings are read on a worker
// thread; closing the window deletes it, and the destructor stops the read and
// waits for the worker, so a late result never reaches a deleted window.
#include <QString>
#include <QWidget>

#include <atomic>
#include <memory>

namespace Ui { class ChartWindow; }
namespace core { struct TerminalSeriesLoad; }
class QThread;
class ReadingsChart;

class ChartWindow : public QWidget {
    Q_OBJECT
public:
    ChartWindow(const QString& dbPath, const QString& barCode, QWidget* parent = nullptr);
    ~ChartWindow() override;

    // The chart view's picture as a PNG file; false when it could not be written.
    bool savePng(const QString& path);

    bool isLoaded() const { return loaded_; }   // the read has ended: readings, none, or an error
    ReadingsChart* chart() const { return chart_; }

signals:
    void loaded();

private:
    void showLoad(core::TerminalSeriesLoad& load);
    void rangeChosen();
    void showInfo();
    void cmdSavePngClicked();

    std::unique_ptr<Ui::ChartWindow> ui_;
    ReadingsChart* chart_;
    const QString barCode_;
    std::atomic<bool> cancel_ = false;
    QThread* worker_ = nullptr;
    bool loaded_ = false;
    QString error_;
};
