#pragma once
// The traffic-log panel every console carries: "通讯报文", txtBaoWen, CheckShow,
// CheckClear and CmdClear.
#include <QByteArray>
#include <QTimer>
#include <QWidget>

#include <string>
#include <vector>

class LogTextBox;
class QCheckBox;
class QPushButton;
class QLabel;

class TrafficLogPanel : public QWidget {
    Q_OBJECT
public:
    explicit TrafficLogPanel(QWidget* parent = nullptr);
    LogTextBox* txtBaoWen() const;
    QCheckBox* CheckShow() const;
    QCheckBox* CheckClear() const;
    QPushButton* CmdClear() const;
    // ShowBaoWen's rules: show box, auto-clear above 7000 characters, preamble hiding.
    // The line is written a moment later (at most 40 ms), with the time it came,
    // so that a burst of frames, or one huge block, never holds up the handling
    // of what arrives meanwhile; anything that reads the box sees it at once.
    void append(const QByteArray& bytes, bool sent);

private:
    struct PendingLine {
        QByteArray bytes;
        bool sent;
        std::string time;
    };
    void writePending();
    void writeLine(const PendingLine& line);

    std::vector<PendingLine> pending_;
    QTimer writeTimer_;
    LogTextBox* txtBaoWen_;
    QCheckBox* CheckShow_;
    QCheckBox* CheckClear_;
    QPushButton* CmdClear_;
    QLabel* lblBaoWen_;
};
