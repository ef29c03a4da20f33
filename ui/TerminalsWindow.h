#pragma once
// The terminals view: every terminal ever seen, live, sortable and filtered;
// a double-click opens a terminal's chart; the selected terminals' readings
// (or all shown) export to CSV over an optional time range.
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QWidget>

namespace core { class TerminalRoster; class ReadingsStore; }
namespace Ui { class TerminalsWindowForm; }
class QSortFilterProxyModel;
class QThread;
class TerminalsModel;

class TerminalsWindow : public QWidget {
    Q_OBJECT
public:
    // The store is flushed before an export so the file holds what the view shows;
    // it must outlive the window.
    TerminalsWindow(core::TerminalRoster& roster, core::ReadingsStore& store, QWidget* parent = nullptr);
    ~TerminalsWindow() override;   // waits for an export still writing

    TerminalsModel* model() const { return model_; }
    // The bar codes an export covers: the selected rows, or every row the filter shows.
    QStringList exportBarCodes() const;
    // Starts writing the CSV file on a worker; the status line says how it ended.
    void exportTo(const QString& filePath);
    bool exporting() const { return worker_ != nullptr; }
    void openChart(const QString& barCode);

signals:
    void exportFinished(bool ok, const QString& text);

private:
    void askExportFile();
    void updateCount();

    Ui::TerminalsWindowForm* ui_;
    core::TerminalRoster& roster_;
    core::ReadingsStore& store_;
    TerminalsModel* model_;
    QSortFilterProxyModel* proxy_;
    QThread* worker_ = nullptr;
};
