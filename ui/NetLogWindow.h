#pragma once
// The network log window "网络连接日志": one text box txtBaoWen that collects the
// TCP data centre's connection events. The main window keeps one for the whole
// run, hidden; closing it only hides it, so its lines are never lost.
#include <QDialog>

class LogTextBox;

class NetLogWindow : public QDialog {
    Q_OBJECT
public:
    explicit NetLogWindow(QWidget* parent = nullptr);
    LogTextBox* box() const { return box_; }
    // Appends "message     hh:mm:ss" as a line of its own.
    void write(const QString& message);
    // Shows the window modally (returns when the operator closes it).
    void showModal();

protected:
    void closeEvent(QCloseEvent* e) override;

private:
    LogTextBox* box_;
};
