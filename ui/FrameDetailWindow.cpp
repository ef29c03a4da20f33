#include "ui/FrameDetailWindow.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QHeaderView>

#include "protocol/FrameDescription.h"
#include "protocol/TrafficLine.h"
#include "ui/LogTextBox.h"
#include "ui_FrameDetailWindow.h"

FrameDetailWindow::FrameDetailWindow(const QByteArray& frame, bool sent, QWidget* parent)
    : QDialog(parent), ui_(new Ui::FrameDetailWindowForm), frame_(frame) {
    ui_->setupUi(this);
    setAttribute(Qt::WA_DeleteOnClose);
    ui_->lblHex->setText((sent ? QStringLiteral("TX: ") : QStringLiteral("RX: ")) + hexText());
    const auto* data = reinterpret_cast<const std::uint8_t*>(frame_.constData());
    const QString description = QString::fromStdString(
        ht6630::DescribeFrame(ht6630::ByteView(data, std::size_t(frame_.size()))));
    // "key=value" lines; an upload's shown text follows as lines of its own.
    const QStringList lines = description.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ui_->tblFields->setRowCount(int(lines.size()));
    for (int row = 0; row < lines.size(); ++row) {
        QString line = lines[row];
        line.remove(QLatin1Char('\r'));
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        const bool field = eq > 0 && !line.left(eq).contains(QLatin1Char(' '));
        ui_->tblFields->setItem(row, 0, new QTableWidgetItem(field ? line.left(eq) : QString()));
        ui_->tblFields->setItem(row, 1, new QTableWidgetItem(field ? line.mid(eq + 1) : line));
    }
    ui_->tblFields->horizontalHeader()->setStretchLastSection(true);
    ui_->tblFields->verticalHeader()->hide();
    ui_->tblFields->resizeColumnToContents(0);
    connect(ui_->cmdCopyHex, &QPushButton::clicked, this, [this] {
        if (QClipboard* cb = QGuiApplication::clipboard()) cb->setText(hexText());
    });
    connect(ui_->cmdClose, &QPushButton::clicked, this, &QDialog::close);
}

FrameDetailWindow::~FrameDetailWindow() { delete ui_; }

QString FrameDetailWindow::hexText() const { return QString::fromLatin1(frame_.toHex(' ').toUpper()); }

void DecodeOnDoubleClick(LogTextBox* box) {
    QObject::connect(box, &LogTextBox::lineDoubleClicked, box, [box](qsizetype line) {
        const QByteArray text = box->lineText(line).toUtf8();
        const auto shown = ht6630::ParseTrafficLine(std::string_view(text.constData(), std::size_t(text.size())));
        if (!shown) return;
        const QByteArray frame(reinterpret_cast<const char*>(shown->bytes.data()), qsizetype(shown->bytes.size()));
        auto* w = new FrameDetailWindow(frame, shown->sent, box->window());
        w->show();
    });
}
