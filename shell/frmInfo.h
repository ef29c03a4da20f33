#pragma once
// The network log window "网络连接日志": one text box txtBaoWen that collects the
// TCP data centre's connection events. It exists once, is created on first use,
// and closing it only hides it.
class QWidget;
class QDialog;
class LogTextBox;

// The window (created on first use).
QDialog* FrmInfo();
// Its text box, for modDtu::WriteNetLog(message, NetLogBox()).
LogTextBox* NetLogBox();
// Shows the window modally over `parent` (returns when the operator closes it).
void ShowFrmInfo(QWidget* parent);
