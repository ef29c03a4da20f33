#pragma once
// The traffic-log panel every console carries: "通讯报文", txtBaoWen, CheckShow,
// CheckClear and CmdClear.
#include <QWidget>

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
    void append(const QByteArray& bytes, bool sent);
private:
    LogTextBox* txtBaoWen_;
    QCheckBox* CheckShow_;
    QCheckBox* CheckClear_;
    QPushButton* CmdClear_;
    QLabel* lblBaoWen_;
};
