#include "ui/SetPortDialog.h"

#include "ui/DisplayLanguage.h"

#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>
#include <QPointer>
#include <QSerialPort>

#include "ui/MsgBox.h"
#include "ui_SetPortDialog.h"

namespace {

// A small switch drawn by us: a rounded track with the knob left (off) or right (on).
QPixmap SwitchPicture(bool on) {
    QPixmap pm(32, 32);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(60, 60, 60), 1.5));
    p.setBrush(on ? QColor(40, 170, 60) : QColor(170, 170, 170));
    p.drawRoundedRect(QRectF(2, 9, 28, 14), 7, 7);
    p.setBrush(Qt::white);
    p.drawEllipse(QRectF(on ? 17 : 3, 10, 12, 12));
    return pm;
}

// The dialog's decorative picture: a serial connector.
QPixmap ConnectorPicture() {
    QPixmap pm(48, 48);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(40, 60, 110), 2));
    p.setBrush(QColor(120, 150, 210));
    QPolygonF shell;
    shell << QPointF(4, 14) << QPointF(44, 14) << QPointF(38, 34) << QPointF(10, 34);
    p.drawPolygon(shell);
    p.setBrush(QColor(30, 30, 30));
    for (int i = 0; i < 5; ++i) p.drawEllipse(QPointF(11 + i * 6.5, 21), 1.6, 1.6);
    for (int i = 0; i < 4; ++i) p.drawEllipse(QPointF(14 + i * 6.5, 28), 1.6, 1.6);
    return pm;
}

}  // namespace

SetPortDialog::SetPortDialog(core::ConsoleSession& session, core::SerialLink& link, QWidget* parent)
    : QDialog(parent), session_(session), link_(link), ui(new Ui::SetPortDialog) {
    ui->setupUi(this);
    setObjectName(QStringLiteral("FrmSetPort"));
    ui->ImgSwitchon->setPixmap(SwitchPicture(true));
    ui->ImgSwitchoff->setPixmap(SwitchPicture(false));
    ui->Image1->setPixmap(ConnectorPicture());
    QPalette pal = ui->TxtStatus->palette();
    pal.setColor(QPalette::Base, palette().color(QPalette::Window));
    ui->TxtStatus->setPalette(pal);
    // The design texts before the lists are filled at load.
    ui->CboDatabit->setEditText(QStringLiteral("8"));
    ui->CboStopbit->setEditText(QStringLiteral("1"));

    for (QComboBox* combo : {ui->CboCom, ui->CboBaudrate, ui->CboDatabit, ui->CboParitybit, ui->CboStopbit}) {
        // Only a click on a list entry is a choice. Typed text stays as typed: it is
        // not completed from the list, not added to it, and Enter neither applies
        // it nor presses a button of the dialog.
        combo->setInsertPolicy(QComboBox::NoInsert);
        combo->setCompleter(nullptr);
        if (combo->lineEdit() != nullptr) combo->lineEdit()->installEventFilter(this);
        connect(combo, &QComboBox::activated, this, [this](int) { comboChosen(); });
    }
    connect(ui->CmdSwitch, &QPushButton::clicked, this, &SetPortDialog::cmdSwitchClicked);
    connect(ui->CmdCancel, &QPushButton::clicked, this, &QDialog::reject);
}

SetPortDialog::~SetPortDialog() { delete ui; }

bool SetPortDialog::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress || event->type() == QEvent::ShortcutOverride) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if ((key == Qt::Key_Return || key == Qt::Key_Enter) && qobject_cast<QLineEdit*>(watched) != nullptr) {
            event->accept();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void SetPortDialog::load() {
    QSerialPort* port = link_.port();
    link_.binding().refresh();
    // Probe COM1..COM16: a port that opens is closed again and listed; one that does
    // not exist or is in use is left out without a message.
    for (int i = 1; i <= core::kMaxComPorts; ++i) {
        if (port == nullptr) break;
        if (port->isOpen()) port->close();
        const QString path = link_.binding().devicePath(i);
        if (path.isEmpty()) continue;
        port->setPortName(path);
        if (port->open(QIODevice::ReadWrite)) {
            port->close();
            ui->CboCom->addItem(QStringLiteral("COM%1").arg(i));
        }
    }
    updateDeviceTips();
    // Selecting the first entry counts as a choice: it applies the default settings.
    if (ui->CboCom->count() > 0) {
        ui->CboCom->setCurrentIndex(0);
        QPointer<SetPortDialog> self(this);
        comboChosen();
        if (!self) return;
    }
    const QString dataText = ui->CboDatabit->currentText();
    const QString stopText = ui->CboStopbit->currentText();
    ui->CboDatabit->addItems({QStringLiteral("8"), QStringLiteral("7"), QStringLiteral("6")});
    ui->CboStopbit->addItems({QStringLiteral("1"), QStringLiteral("1.5"), QStringLiteral("2")});
    ui->CboDatabit->setEditText(dataText);
    ui->CboStopbit->setEditText(stopText);
    showSwitchState(session_.portOpened);
}

void SetPortDialog::updateDeviceTips() {
    // The operator sees which device each COM name stands for.
    for (int i = 0; i < ui->CboCom->count(); ++i) {
        const QString path = link_.binding().devicePath(core::ComNumberOfText(ui->CboCom->itemText(i)));
        ui->CboCom->setItemData(i, path, Qt::ToolTipRole);
    }
    const QString current = link_.binding().devicePath(core::ComNumberOfText(ui->CboCom->currentText()));
    ui->CboCom->setToolTip(current);
}

bool SetPortDialog::applyFromCombos() {
    const int number = core::ComNumberOfText(ui->CboCom->currentText());
    const QString parityLetter = ui->CboParitybit->currentText().left(1);
    const bool ok = link_.applySettings(number, ui->CboBaudrate->currentText(), parityLetter,
                                        ui->CboDatabit->currentText(), ui->CboStopbit->currentText());
    updateDeviceTips();
    if (!ok) MsgBox(this, QStringLiteral("没有成功，请重试"), QStringLiteral("串口设置"), BoxIcon::Exclamation);
    return ok;
}

void SetPortDialog::comboChosen() { applyFromCombos(); }

void SetPortDialog::showOpenState() {
    const QString settings = core::PortSettingsString(ui->CboBaudrate->currentText(), ui->CboParitybit->currentText().left(1),
                                                ui->CboDatabit->currentText(), ui->CboStopbit->currentText());
    ui->TxtStatus->setText(Shown(QStringLiteral("STATUS：") + ui->CboCom->currentText() + QStringLiteral(" OPEND，") + settings));
    ui->TxtStatus->setToolTip(link_.binding().devicePath(core::ComNumberOfText(ui->CboCom->currentText())));
    ui->CmdSwitch->setText(Shown(QStringLiteral("关闭串口")));
    ui->ImgSwitchon->setVisible(true);
    ui->ImgSwitchoff->setVisible(false);
}

void SetPortDialog::showClosedState() {
    ui->TxtStatus->setText(Shown(QStringLiteral("STATUS：COM Port Cloced")));
    ui->TxtStatus->setToolTip(QString());
    ui->CmdSwitch->setText(Shown(QStringLiteral("打开串口")));
    ui->ImgSwitchon->setVisible(false);
    ui->ImgSwitchoff->setVisible(true);
}

void SetPortDialog::showSwitchState(bool opened) {
    if (opened) showOpenState();
    else showClosedState();
}

void SetPortDialog::cmdSwitchClicked() {
    QSerialPort* port = link_.port();
    if (session_.portOpened) {
        // ClosePort
        if (port != nullptr && port->isOpen()) port->close();
        showClosedState();
        session_.portOpened = false;
        return;
    }
    // OpenPort
    if (port != nullptr && port->isOpen()) port->close();
    QPointer<SetPortDialog> self(this);
    applyFromCombos();
    if (!self) return;
    showSwitchState(port != nullptr && port->isOpen());
    session_.portOpened = true;
    accept();
}

