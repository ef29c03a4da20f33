#pragma once
// The record of every message box shown through MsgBox, for the automation interface.
#include <QList>
#include <QMessageBox>
#include <QPointer>
#include <QString>
#include <QStringList>

struct MsgBoxRecord {
    QString text;
    QString title;
    QString icon;              // "critical", "warning", "information", "question", "none"
    QStringList buttons;       // "OK", "Cancel", "Yes", "No", ...
    QPointer<QMessageBox> box; // set while the box is open
};

// Every box shown since start, oldest first.
const QList<MsgBoxRecord>& MsgBoxLog();
// The boxes open now, oldest first.
QList<MsgBoxRecord> OpenMsgBoxes();
// The name the automation interface uses for a standard button ("OK", "Yes", ...).
QString StandardButtonName(QMessageBox::StandardButton button);
