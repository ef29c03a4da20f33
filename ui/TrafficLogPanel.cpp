#include "ui/TrafficLogPanel.h"

#include "ui/DisplayLanguage.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QTime>

#include "protocol/TrafficLine.h"
#include "ui/FrameDetailWindow.h"
#include "ui/LogTextBox.h"

namespace {
constexpr qsizetype kAutoClearAbove = 7000;   // characters held before an auto-clear
}

TrafficLogPanel::TrafficLogPanel(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("TrafficLogPanel"));
    lblBaoWen_ = new QLabel(Shown(QStringLiteral("通讯报文")), this);
    lblBaoWen_->setObjectName(QStringLiteral("lblBaoWen"));
    txtBaoWen_ = new LogTextBox(this);
    txtBaoWen_->setObjectName(QStringLiteral("txtBaoWen"));
    CheckShow_ = new QCheckBox(Shown(QStringLiteral("显示报文")), this);
    CheckShow_->setObjectName(QStringLiteral("CheckShow"));
    CheckShow_->setChecked(true);
    CheckClear_ = new QCheckBox(Shown(QStringLiteral("自动清空")), this);
    CheckClear_->setObjectName(QStringLiteral("CheckClear"));
    CheckClear_->setChecked(true);
    CmdClear_ = new QPushButton(Shown(QStringLiteral("清空报文")), this);
    CmdClear_->setObjectName(QStringLiteral("CmdClear"));

    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->addWidget(lblBaoWen_, 0, 0);
    grid->addWidget(CheckShow_, 0, 1);
    grid->addWidget(CheckClear_, 0, 2);
    grid->addWidget(CmdClear_, 0, 3);
    grid->addWidget(txtBaoWen_, 1, 0, 1, 4);
    grid->setColumnStretch(0, 1);

    connect(CmdClear_, &QPushButton::clicked, this, [this] { txtBaoWen_->setText(QString()); });

    writeTimer_.setSingleShot(true);
    writeTimer_.setInterval(40);
    connect(&writeTimer_, &QTimer::timeout, this, &TrafficLogPanel::writePending);
    txtBaoWen_->setPendingSource([this] { writePending(); });
    DecodeOnDoubleClick(txtBaoWen_);
}

LogTextBox* TrafficLogPanel::txtBaoWen() const { return txtBaoWen_; }
QCheckBox* TrafficLogPanel::CheckShow() const { return CheckShow_; }
QCheckBox* TrafficLogPanel::CheckClear() const { return CheckClear_; }
QPushButton* TrafficLogPanel::CmdClear() const { return CmdClear_; }

void TrafficLogPanel::append(const QByteArray& bytes, bool sent) {
    // A check box's value: 0 unticked, 1 ticked, 2 greyed.
    if (static_cast<int>(CheckShow_->checkState()) < 1) return;
    pending_.push_back({bytes, sent, QTime::currentTime().toString(QStringLiteral("hh:mm:ss")).toStdString()});
    if (!writeTimer_.isActive()) writeTimer_.start();
}

void TrafficLogPanel::writePending() {
    writeTimer_.stop();
    std::vector<PendingLine> lines;
    lines.swap(pending_);
    for (const PendingLine& line : lines) writeLine(line);
}

void TrafficLogPanel::writeLine(const PendingLine& l) {
    if (static_cast<int>(CheckClear_->checkState()) > 0 && txtBaoWen_->length() > kAutoClearAbove)
        txtBaoWen_->setText(QString());
    if (l.bytes.isEmpty()) return;
    const auto* data = reinterpret_cast<const std::uint8_t*>(l.bytes.constData());
    const std::string line =
        ht6630::TrafficLine(ht6630::ByteView(data, static_cast<std::size_t>(l.bytes.size())), l.sent, l.time);
    // Straight into the box's UTF-8 text: a large block's line is never converted twice.
    txtBaoWen_->appendUtf8(line);
}
