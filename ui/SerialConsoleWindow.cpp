#include "ui/SerialConsoleWindow.h"

#include "ui/DisplayLanguage.h"

#include <QApplication>
#include <QCheckBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QSerialPort>
#include <QSqlDatabase>
#include <QTabWidget>
#include <algorithm>
#include <exception>

#include "core/Database.h"
#include "protocol/Frame.h"
#include "protocol/SerialJudge.h"
#include "ui/LogTextBox.h"
#include "ui/MsgBox.h"
#include "ui/ParameterPages.h"
#include "ui/TrafficLogPanel.h"
#include "ui/LogLines.h"
#include "ui_SerialConsoleWindow.h"

namespace {

using ht6630::Op;

// When a button sets OpName.
enum class NameAt { First, AfterChecks, AfterBarCodeCheck };

struct RequestRow {
    Op op;
    NameAt nameAt;
    const char* emptyBarCodeMessage;   // nullptr: no bar-code check
    bool preamble;                     // MakeFrame_Infrared (true) or MakeFrame_Request
    const char* status;
};

// One row per button. For the reads without value checks, "after value checks"
// falls right after the fields are cleared, before the bar-code check.
const RequestRow kRequestRows[] = {
    {Op::ReadBarCode, NameAt::AfterChecks, nullptr, true, "提示信息:正在读取条形码。。。"},
    {Op::SetBarCode, NameAt::AfterBarCodeCheck, "请输入条形码", true, "提示信息:正在设置条形码。。。"},
    {Op::ReadIp, NameAt::AfterChecks, "请输入条形码", true, "提示信息:正在读取Velmar内部IP和端口。。。"},
    {Op::SetIp, NameAt::AfterChecks, "请输入条形码", true, "提示信息:正在设置Velmar内部IP和端口。。。"},
    {Op::ReadSpareIp, NameAt::AfterChecks, "请输入条形码", true, "提示信息:正在读取备用IP和端口。。。"},
    {Op::SetSpareIp, NameAt::AfterChecks, "请输入条形码", true, "提示信息:正在设置备用IP和端口。。。"},
    {Op::ReadLive, NameAt::AfterChecks, "请输入条形码", false, "提示信息:正在读取实时温度湿度。。。"},
    {Op::ReadAll, NameAt::AfterChecks, "请输入条形码", false, "提示信息:正在读取读取室温采集终端配置参数。。。"},
    {Op::SetAcquisition, NameAt::AfterChecks, "请输入条形码", false, "提示信息:正在设置采集数据时间间隔。。。"},
    {Op::SetUpload, NameAt::AfterChecks, "请输入条形码", true, "提示信息:正在配置上传数据时间间隔。。。"},
    {Op::SetCommType, NameAt::First, "请先读取或输入条形码", false, "提示信息:正在设置通讯类型。。。"},
    {Op::SetHeartbeat, NameAt::AfterChecks, "请输入条形码", false, "提示信息:正在设置心跳包时间间隔。。。"},
    {Op::SetSilence, NameAt::AfterChecks, "请输入条形码", true, "提示信息:正在配置静默参数。。。"},
    {Op::SetSleep, NameAt::First, "请输入条形码", false, "提示信息:正在设置是否休眠。。。"},
    {Op::SetClock, NameAt::AfterChecks, "请先读取或输入条形码", false, "提示信息:正在设置实时日期与时间。。。"},
};

const RequestRow* RowOf(Op op) {
    for (const RequestRow& r : kRequestRows)
        if (r.op == op) return &r;
    return nullptr;
}

QString OpNameOf(Op op) {
    const std::string_view name = ht6630::Entry(op).name;
    return QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size()));
}

std::string Utf8(const QString& s) { return s.toUtf8().toStdString(); }

QPixmap Decoration(QColor colour, int variant) {
    QPixmap pm(40, 40);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(colour.darker(150), 2));
    p.setBrush(colour);
    if (variant == 0) {
        p.drawRoundedRect(QRectF(6, 4, 28, 32), 4, 4);            // the terminal
        p.setBrush(Qt::white);
        p.drawRect(QRectF(11, 9, 18, 10));
    } else if (variant == 1) {
        for (int r = 6; r <= 18; r += 6) p.drawArc(QRectF(20 - r, 20 - r, 2 * r, 2 * r), 30 * 16, 120 * 16);
    } else {
        p.drawEllipse(QRectF(8, 8, 24, 24));                       // a thermometer bulb
        p.setBrush(Qt::white);
        p.drawRect(QRectF(18, 4, 4, 20));
    }
    return pm;
}

}  // namespace

SerialConsoleWindow::SerialConsoleWindow(core::ConsoleSession& session, core::SerialLink& link, QWidget* parent)
    : QDialog(parent), session_(session), link_(link), ui(new Ui::SerialConsoleWindow) {
    ui->setupUi(this);
    setObjectName(QStringLiteral("FrmInfrared"));
    ui->Image1->setPixmap(Decoration(QColor(80, 130, 200), 0));
    ui->Image2->setPixmap(Decoration(QColor(200, 90, 60), 1));
    ui->Image3->setPixmap(Decoration(QColor(220, 60, 60), 2));

    pages_ = new ParameterPages(this);
    pages_->setObjectName(QStringLiteral("ParameterPages"));
    ui->layoutFrame1->addWidget(pages_->barCodeGroup());
    pages_->tabs()->setObjectName(QStringLiteral("SSTab1"));
    ui->layoutFrame2->addWidget(pages_);   // the tabs; the bar-code group lives in Frame1

    panel_ = new TrafficLogPanel(ui->panelHost);
    ui->layoutPanel->addWidget(panel_);
    connect(panel_->CmdClear(), &QPushButton::clicked, this, [this] { panel_->txtBaoWen()->setText(QString()); });

    connect(pages_, &ParameterPages::requestClicked, this, &SerialConsoleWindow::requestClicked);
    loadStep();
}

SerialConsoleWindow::~SerialConsoleWindow() { delete ui; }

QLabel* SerialConsoleWindow::LblInf() const { return ui->LblInf; }

void SerialConsoleWindow::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void SerialConsoleWindow::loadStep() {
    // Empty the table TempData, then open its record set (nothing reads it).
    QSqlDatabase db = core::DbConn();
    if (db.isValid() && db.isOpen()) {
        QSqlQuery del(db);
        if (del.exec(QStringLiteral("delete from TempData"))) {
            tempData_ = QSqlQuery(db);
            tempData_.exec(QStringLiteral("select * from TempData"));
        }
    }
    pages_->resetToLoadState();
    pages_->tabs()->setCurrentIndex(0);
    ui->LblInf->setText(Shown(QStringLiteral("系统提示")));
}

bool SerialConsoleWindow::barCodeCheck(const QString& emptyMessage) {
    const std::string text = Utf8(pages_->lineEdit(QStringLiteral("txtBarCode"))->text());
    if (auto failure = ht6630::CheckTargetBarCode(text, Utf8(emptyMessage))) {
        ShowCheckFailure(this, *failure);
        return false;
    }
    return true;
}

void SerialConsoleWindow::requestClicked(Op op) {
    const RequestRow* row = RowOf(op);
    if (row == nullptr) return;
    QPointer<SerialConsoleWindow> self(this);
    const QString opName = OpNameOf(op);
    try {
        if (row->nameAt == NameAt::First) session_.pending.name = opName;
        pages_->clearBeforeRequest(op);

        ht6630::PayloadResult built;
        if (op == Op::SetBarCode) {
            // The bar code is this request's value: its check comes first.
            if (!barCodeCheck(QString::fromUtf8(row->emptyBarCodeMessage))) return;
            if (!self) return;
            session_.pending.name = opName;
            built = ht6630::BuildPayload(op, pages_->inputs());
            if (built.failure) {
                ShowCheckFailure(this, *built.failure);
                return;
            }
        } else {
            built = ht6630::BuildPayload(op, pages_->inputs());
            if (built.failure) {
                ShowCheckFailure(this, *built.failure);
                return;
            }
            if (row->nameAt == NameAt::AfterChecks) session_.pending.name = opName;
            if (row->emptyBarCodeMessage != nullptr) {
                if (!barCodeCheck(QString::fromUtf8(row->emptyBarCodeMessage))) return;
                if (!self) return;
            }
        }

        const ht6630::CatalogueEntry& entry = ht6630::Entry(op);
        const std::string address =
            ht6630::RequestAddress(op, Utf8(pages_->lineEdit(QStringLiteral("txtBarCode"))->text()));
        termAddr_ = QString::fromStdString(address);
        session_.pending.expectLen = static_cast<qint16>(entry.responseLength);

        const int length = static_cast<int>(built.payload.size());
        const ht6630::Bytes frame =
            row->preamble ? ht6630::MakeFrame_Infrared(entry.functionCode, address, length, built.payload)
                          : ht6630::MakeFrame_Request(entry.functionCode, address, length, built.payload);
        const QByteArray bytes(reinterpret_cast<const char*>(frame.data()), static_cast<qsizetype>(frame.size()));

        ShowBaoWen(bytes, panel_, true);

        // A port that is not open (never opened, or its device has gone) ends the
        // click here: nothing is written and the status label keeps its text.
        if (!link_.send(bytes)) return;
        ui->LblInf->setText(Shown(QString::fromUtf8(row->status)));
    } catch (const std::exception&) {
        // A request that cannot be built ends the click quietly.
    }
}

void SerialConsoleWindow::showJudgement(const QByteArray& block, const ht6630::SerialJudgement& j) {
    ui->LblInf->setText(QString());
    ShowBaoWen(block, panel_, false);
    if (!j.fields.empty()) pages_->apply(j.fields);
    ui->LblInf->setText(Shown(QString::fromUtf8(j.status.data(), static_cast<qsizetype>(j.status.size()))));
}
