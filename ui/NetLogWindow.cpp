#include "ui/NetLogWindow.h"

#include "ui/DisplayLanguage.h"

#include <QCloseEvent>

#include "ui/LogLines.h"
#include "ui/LogTextBox.h"

// A top-level window of its own (no parent widget), so closing the console that
// opened it does not destroy the log.
NetLogWindow::NetLogWindow(QWidget*) : QDialog(nullptr) {
    setObjectName(QStringLiteral("frmInfo"));
    setWindowTitle(Shown(QStringLiteral("网络连接日志")));
    resize(685, 280);   // client area 10275 x 4200 twips
    box_ = new LogTextBox(this);
    box_->setObjectName(QStringLiteral("txtBaoWen"));
    box_->setGeometry(5, 14, 671, 248);   // 75, 210 twips from the top left; 10065 x 3720 twips
}

void NetLogWindow::write(const QString& message) { WriteNetLog(message, box_); }

void NetLogWindow::showModal() {
    if (isVisible()) return;
    setWindowModality(Qt::ApplicationModal);
    exec();
}

// The close box hides the window; it and its lines stay for the whole run.
void NetLogWindow::closeEvent(QCloseEvent* e) {
    e->ignore();
    done(QDialog::Rejected);   // hides and ends a modal exec()
}
