#include "ui/ParameterPages.h"

#include <QComboBox>
#include <QDateTime>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTimer>
#include <QValidator>
#include <QVBoxLayout>

#include "ui_ParameterPages.h"

using ht6630::Op;

struct ParameterPages::Ui : public ::Ui::ParameterPagesForm {
    QTimer* Tim = nullptr;
};

namespace {
struct ButtonOp {
    const char* name;
    Op op;
};
constexpr ButtonOp kButtons[] = {
    {"cmdBarCodeR", Op::ReadBarCode},  {"cmdBarCodeW", Op::SetBarCode},   {"cmdIpR", Op::ReadIp},
    {"cmdIpW", Op::SetIp},             {"cmdSpareIpR", Op::ReadSpareIp},  {"cmdSpareIpW", Op::SetSpareIp},
    {"cmdShowPra", Op::ReadLive},      {"cmdCJR", Op::ReadAll},           {"cmdCJW", Op::SetAcquisition},
    {"cmdSCW", Op::SetUpload},         {"cmdCommType", Op::SetCommType},  {"cmdHear", Op::SetHeartbeat},
    {"cmdSetSilence", Op::SetSilence}, {"cmdSleep", Op::SetSleep},        {"cmdTime", Op::SetClock},
};

std::string Std(const QLineEdit* e) { return e ? e->text().toStdString() : std::string(); }
QString Q(const std::string& s) { return QString::fromStdString(s); }

// Chooses option 0 or 1 of a pair, or leaves both unchosen for -1.
void ChoosePair(QRadioButton* a, QRadioButton* b, int index) {
    if (index == 0) {
        a->setChecked(true);
    } else if (index == 1) {
        b->setChecked(true);
    } else {
        a->setAutoExclusive(false);
        b->setAutoExclusive(false);
        a->setChecked(false);
        b->setChecked(false);
        a->setAutoExclusive(true);
        b->setAutoExclusive(true);
    }
}
int ChosenOfPair(const QRadioButton* a, const QRadioButton* b) {
    return a->isChecked() ? 0 : (b->isChecked() ? 1 : -1);
}

// The bar code's 13-character limit. Every button trims the blanks (spaces) around
// the bar code before it uses it, so the limit counts the text without them: a
// 13-digit bar code typed or pasted between blanks is taken whole, a 14th character
// is refused. Like a length limit it applies to what the operator types; texts that
// a response writes into the field are not checked.
class BarCodeLimit : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString& input, int&) const override {
        qsizetype b = 0, e = input.size();
        while (b < e && input.at(b) == QLatin1Char(' ')) ++b;
        while (e > b && input.at(e - 1) == QLatin1Char(' ')) --e;
        return e - b <= ParameterPages::kBarCodeLength ? Acceptable : Invalid;
    }
};
}  // namespace

ParameterPages::ParameterPages(QWidget* parent) : QWidget(parent), ui_(new Ui) {
    setObjectName(QStringLiteral("ParameterPages"));
    // The form's root is this widget; its layout holds the bar-code row and the tabs.
    ui_->setupUi(this);
    setObjectName(QStringLiteral("ParameterPages"));
    layout()->setContentsMargins(0, 0, 0, 0);
    ui_->txtBarCode->setValidator(new BarCodeLimit(ui_->txtBarCode));

    ui_->Tim = new QTimer(this);
    ui_->Tim->setObjectName(QStringLiteral("Tim"));
    ui_->Tim->setInterval(1000);
    connect(ui_->Tim, &QTimer::timeout, this, [this] {
        // yy-mm-dd and hh-mm-ss (24-hour), characters 1-2, 4-5, 7-8 into Txtrq(0..5).
        const QDateTime now = QDateTime::currentDateTime();
        QString d = now.date().toString(QStringLiteral("yy-MM-dd"));
        if (d.size() != 8) d.prepend(QLatin1Char('0'));
        QString t = now.time().toString(QStringLiteral("HH-mm-ss"));
        if (t.size() != 8) t.prepend(QLatin1Char('0'));
        QLineEdit* f[6] = {ui_->Txtrq_0, ui_->Txtrq_1, ui_->Txtrq_2, ui_->Txtrq_3, ui_->Txtrq_4, ui_->Txtrq_5};
        for (int i = 0; i < 3; ++i) f[i]->setText(d.mid(3 * i, 2));
        for (int i = 0; i < 3; ++i) f[3 + i]->setText(t.mid(3 * i, 2));
    });
    // Clock source: "自定义时间" stops the copy, "系统时间" starts it, whether the
    // operator or a program step chooses the option.
    connect(ui_->Option5_1, &QRadioButton::toggled, this, [this](bool on) {
        if (on) ui_->Tim->stop();
    });
    connect(ui_->Option5_0, &QRadioButton::toggled, this, [this](bool on) {
        if (on) ui_->Tim->start();
    });

    for (const auto& b : kButtons) {
        QPushButton* btn = button(QString::fromLatin1(b.name));
        const Op op = b.op;
        connect(btn, &QPushButton::clicked, this, [this, op] { emit requestClicked(op); });
    }
    resetToLoadState();
}

ParameterPages::~ParameterPages() { delete ui_; }

QTabWidget* ParameterPages::tabs() const { return ui_->SSTab1; }
QWidget* ParameterPages::barCodeGroup() const { return ui_->grpBarCode; }
QComboBox* ParameterPages::Combo1() const { return ui_->Combo1; }
QTimer* ParameterPages::Tim() const { return ui_->Tim; }

QRadioButton* ParameterPages::Option5(int i) const { return i == 0 ? ui_->Option5_0 : ui_->Option5_1; }

// The bar-code row may have been placed elsewhere by the console: search both.
template <typename T>
static T FindIn(const QWidget* pages, const QWidget* barCode, const QString& name) {
    if (T w = barCode->findChild<T>(name)) return w;
    return pages->findChild<T>(name);
}
QLineEdit* ParameterPages::lineEdit(const QString& objectName) const {
    return FindIn<QLineEdit*>(this, ui_->grpBarCode, objectName);
}
QPushButton* ParameterPages::button(const QString& objectName) const {
    return FindIn<QPushButton*>(this, ui_->grpBarCode, objectName);
}
QRadioButton* ParameterPages::radio(const QString& objectName) const {
    return FindIn<QRadioButton*>(this, ui_->grpBarCode, objectName);
}

void ParameterPages::placeBarCodeOnFirstPage() {
    auto* box = qobject_cast<QBoxLayout*>(ui_->tabBasic->layout());
    if (box) box->insertWidget(0, ui_->grpBarCode);
}

ht6630::FieldInputs ParameterPages::inputs() const {
    ht6630::FieldInputs in;
    in.barCode = Std(ui_->txtBarCode);
    for (int i = 0; i < 5; ++i) {
        in.dataCentre[i] = Std(lineEdit(QStringLiteral("txtIp_%1").arg(i)));
        in.spareCentre[i] = Std(lineEdit(QStringLiteral("txtSpareIp_%1").arg(i)));
    }
    in.acquisitionMinutes = Std(ui_->txtCJ);
    in.uploadMinutes = Std(ui_->txtSC);
    in.commType = ui_->Combo1->currentIndex();
    in.heartbeatSeconds = Std(ui_->txtHeartbeat);
    in.silenceChoice = ChosenOfPair(ui_->optEnabled_0, ui_->optEnabled_1);
    for (int i = 0; i < 4; ++i) in.silenceDates[i] = Std(lineEdit(QStringLiteral("txtDate_%1").arg(i)));
    in.sleepChoice = ChosenOfPair(ui_->opSleep_0, ui_->opSleep_1);
    for (int i = 0; i < 6; ++i) in.clock[i] = Std(lineEdit(QStringLiteral("Txtrq_%1").arg(i)));
    return in;
}

void ParameterPages::apply(const ht6630::FieldValues& v) {
    auto setArray = [this](const QString& prefix, const auto& arr) {
        for (std::size_t i = 0; i < arr.size(); ++i)
            if (QLineEdit* e = lineEdit(prefix + QString::number(i))) e->setText(Q(arr[i]));
    };
    if (v.barCode) ui_->txtBarCode->setText(Q(*v.barCode));
    if (v.dataCentre) setArray(QStringLiteral("txtIp_"), *v.dataCentre);
    if (v.spareCentre) setArray(QStringLiteral("txtSpareIp_"), *v.spareCentre);
    if (v.temperature) ui_->txtTemp->setText(Q(*v.temperature));
    if (v.humidity) ui_->txtHumi->setText(Q(*v.humidity));
    if (v.firmware) ui_->txtVer->setText(Q(*v.firmware));
    if (v.acquisitionMinutes) ui_->txtCJ->setText(Q(*v.acquisitionMinutes));
    if (v.uploadMinutes) ui_->txtSC->setText(Q(*v.uploadMinutes));
    if (v.heartbeatSeconds) ui_->txtHeartbeat->setText(Q(*v.heartbeatSeconds));
    if (v.commType) ui_->Combo1->setCurrentIndex(*v.commType);
    if (v.silenceChoice) ChoosePair(ui_->optEnabled_0, ui_->optEnabled_1, *v.silenceChoice);
    if (v.silenceDates) setArray(QStringLiteral("txtDate_"), *v.silenceDates);
    if (v.clock) setArray(QStringLiteral("Txtrq_"), *v.clock);
}

void ParameterPages::clearBeforeRequest(Op op) {
    auto clear = [this](const QString& prefix, int n) {
        for (int i = 0; i < n; ++i)
            if (QLineEdit* e = lineEdit(prefix + QString::number(i))) e->clear();
    };
    switch (op) {
        case Op::ReadBarCode: ui_->txtBarCode->clear(); break;
        case Op::ReadIp: clear(QStringLiteral("txtIp_"), 5); break;
        case Op::ReadSpareIp: clear(QStringLiteral("txtSpareIp_"), 5); break;
        case Op::ReadLive:
            ui_->txtTemp->clear();
            ui_->txtHumi->clear();
            break;
        case Op::ReadAll:
            ui_->txtVer->clear();
            ui_->txtCJ->clear();
            ui_->txtSC->clear();
            ui_->Option5_1->setChecked(true);   // stops the clock copy
            clear(QStringLiteral("Txtrq_"), 6);
            clear(QStringLiteral("txtDate_"), 4);
            break;
        default: break;
    }
}

void ParameterPages::setConfigMode(bool configMode) {
    for (const char* n : {"cmdBarCodeR", "cmdIpR", "cmdSpareIpR", "cmdBarCodeW", "cmdIpW", "cmdSpareIpW"})
        button(QString::fromLatin1(n))->setEnabled(configMode);
}

void ParameterPages::resetToLoadState() {
    ui_->Combo1->clear();
    ui_->Combo1->addItem(QStringLiteral("TCP"));
    ui_->Combo1->addItem(QStringLiteral("UDP"));
    ui_->Combo1->setCurrentIndex(0);
    ChoosePair(ui_->optEnabled_0, ui_->optEnabled_1, -1);
    ui_->opSleep_0->setChecked(true);
    ui_->Option5_0->setChecked(true);
    ui_->Tim->start();   // also when Option5(0) was chosen already
    ui_->SSTab1->setCurrentIndex(0);
}

void ParameterPages::clearAllFields() {
    for (QLineEdit* e : findChildren<QLineEdit*>()) e->clear();
    ui_->txtBarCode->clear();
}
