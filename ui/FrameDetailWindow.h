#pragma once
// A traffic-log line decoded: the frame's fields one per row (the protocol
// library's description: kind, addresses, values, CRC good or bad), the bytes
// above, and "复制为十六进制" to take them to the clipboard.
#include <QByteArray>
#include <QDialog>

namespace Ui { class FrameDetailWindowForm; }

class FrameDetailWindow : public QDialog {
    Q_OBJECT
public:
    FrameDetailWindow(const QByteArray& frame, bool sent, QWidget* parent = nullptr);
    ~FrameDetailWindow() override;

    // "51 56 0D …": the bytes as the traffic log shows them.
    QString hexText() const;

private:
    Ui::FrameDetailWindowForm* ui_;
    QByteArray frame_;
};

class LogTextBox;
// Double-clicking a traffic line of the box opens its decoded frame (other lines: nothing).
void DecodeOnDoubleClick(LogTextBox* box);
