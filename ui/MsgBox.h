#pragma once
// Every message box of the console goes through here, so that its text, title,
// icon and buttons are recorded for the automation interface.
#include <QMessageBox>
#include <QString>

#include "protocol/Catalogue.h"

// The application's title, used by boxes that carry "the application's title".
extern const QString kAppTitle;

enum class BoxIcon { None, Critical, Exclamation, Information, Question };

// Shows a modal box (nested loop of the box itself) and returns the button pressed.
QMessageBox::StandardButton MsgBox(QWidget* parent, const QString& text, const QString& title,
                                   BoxIcon icon,
                                   QMessageBox::StandardButtons buttons = QMessageBox::Ok);

// The box of a failed value check of the command catalogue.
void ShowCheckFailure(QWidget* parent, const ht6630::CheckFailure& failure);
