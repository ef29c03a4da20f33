#include "shell/frmInfo.h"

#include <QCloseEvent>
#include <QDialog>
#include <QPointer>

#include "shell/LogTextBox.h"

namespace {

class FrmInfoWindow : public QDialog {
public:
    FrmInfoWindow() : QDialog(nullptr) {
        setObjectName(QStringLiteral("frmInfo"));
        setWindowTitle(QStringLiteral("网络连接日志"));
        resize(685, 280);   // client area 10275 x 4200 twips
        box_ = new LogTextBox(this);
        box_->setObjectName(QStringLiteral("txtBaoWen"));
        box_->setGeometry(5, 14, 671, 248);   // 75, 210 twips from the top left; 10065 x 3720 twips
    }
    LogTextBox* box() const { return box_; }

protected:
    // The close box hides the window; it and its lines stay for the whole run.
    void closeEvent(QCloseEvent* e) override {
        e->ignore();
        done(QDialog::Rejected);   // hides and ends a modal exec()
    }

private:
    LogTextBox* box_;
};

QPointer<FrmInfoWindow> gWindow;

FrmInfoWindow* Window() {
    if (!gWindow) gWindow = new FrmInfoWindow;
    return gWindow;
}

}  // namespace

QDialog* FrmInfo() { return Window(); }
LogTextBox* NetLogBox() { return Window()->box(); }

void ShowFrmInfo(QWidget* parent) {
    FrmInfoWindow* w = Window();
    if (w->isVisible()) return;
    // Stays a top-level window of its own, so closing the console that opened it
    // does not destroy the log.
    Q_UNUSED(parent);
    w->setWindowModality(Qt::ApplicationModal);
    w->exec();
}
