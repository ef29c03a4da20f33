#include "ui/MsgBox.h"

#include <QAbstractButton>

#include "ui/DisplayLanguage.h"
#include "ui/MsgBoxLog.h"

const QString kAppTitle = QStringLiteral("HT6630-QN无线室温采集终端测试软件V1.0");

namespace {
QList<MsgBoxRecord>& Log() {
    static QList<MsgBoxRecord> log;
    return log;
}

QMessageBox::Icon ToQtIcon(BoxIcon icon) {
    switch (icon) {
        case BoxIcon::Critical: return QMessageBox::Critical;
        case BoxIcon::Exclamation: return QMessageBox::Warning;
        case BoxIcon::Information: return QMessageBox::Information;
        case BoxIcon::Question: return QMessageBox::Question;
        case BoxIcon::None: break;
    }
    return QMessageBox::NoIcon;
}

QString IconName(BoxIcon icon) {
    switch (icon) {
        case BoxIcon::Critical: return QStringLiteral("critical");
        case BoxIcon::Exclamation: return QStringLiteral("warning");
        case BoxIcon::Information: return QStringLiteral("information");
        case BoxIcon::Question: return QStringLiteral("question");
        case BoxIcon::None: break;
    }
    return QStringLiteral("none");
}

BoxIcon FromCatalogueIcon(ht6630::MsgIcon icon) {
    switch (icon) {
        case ht6630::MsgIcon::Critical: return BoxIcon::Critical;
        case ht6630::MsgIcon::Exclamation: return BoxIcon::Exclamation;
        case ht6630::MsgIcon::Information: return BoxIcon::Information;
        case ht6630::MsgIcon::Question: return BoxIcon::Question;
        case ht6630::MsgIcon::None: break;
    }
    return BoxIcon::None;
}
}  // namespace

QString StandardButtonName(QMessageBox::StandardButton button) {
    switch (button) {
        case QMessageBox::Ok: return QStringLiteral("OK");
        case QMessageBox::Cancel: return QStringLiteral("Cancel");
        case QMessageBox::Yes: return QStringLiteral("Yes");
        case QMessageBox::No: return QStringLiteral("No");
        case QMessageBox::Abort: return QStringLiteral("Abort");
        case QMessageBox::Retry: return QStringLiteral("Retry");
        case QMessageBox::Ignore: return QStringLiteral("Ignore");
        default: break;
    }
    return QString::number(int(button));
}

const QList<MsgBoxRecord>& MsgBoxLog() { return Log(); }

QList<MsgBoxRecord> OpenMsgBoxes() {
    QList<MsgBoxRecord> open;
    for (const auto& r : Log())
        if (r.box) open.append(r);
    return open;
}

QMessageBox::StandardButton MsgBox(QWidget* parent, const QString& text, const QString& title,
                                   BoxIcon icon, QMessageBox::StandardButtons buttons) {
    const QString shownText = Shown(text), shownTitle = Shown(title);
    QMessageBox box(ToQtIcon(icon), shownTitle, shownText, buttons, parent);
    MsgBoxRecord rec;
    rec.text = shownText;
    rec.title = shownTitle;
    rec.icon = IconName(icon);
    // Buttons in the order "OK", "Cancel", "Yes", "No", then any others.
    const QMessageBox::StandardButton order[] = {QMessageBox::Ok, QMessageBox::Cancel, QMessageBox::Yes,
                                                 QMessageBox::No};
    for (auto b : order)
        if (buttons.testFlag(b)) rec.buttons << StandardButtonName(b);
    for (QAbstractButton* b : box.buttons()) {
        const auto sb = box.standardButton(b);
        const QString name = StandardButtonName(sb);
        if (!rec.buttons.contains(name)) rec.buttons << name;
    }
    rec.box = &box;
    Log().append(rec);
    const qsizetype index = Log().size() - 1;
    box.exec();
    Log()[index].box.clear();
    QAbstractButton* pressed = box.clickedButton();
    if (!pressed) return QMessageBox::NoButton;
    return box.standardButton(pressed);
}

void ShowCheckFailure(QWidget* parent, const ht6630::CheckFailure& failure) {
    MsgBox(parent, QString::fromStdString(failure.text),
           failure.useAppTitle ? kAppTitle : QString::fromStdString(failure.title),
           FromCatalogueIcon(failure.icon));
}
