#pragma once
// The serial configuration console: reads and writes one terminal's parameters
// over the serial link. The main window keeps its single instance: loaded on
// first use (or when a response arrives), unloaded on close.
#include <QDialog>
#include <QSqlQuery>

#include "core/ConsoleSession.h"
#include "core/SerialLink.h"
#include "protocol/Catalogue.h"

namespace Ui { class SerialConsoleWindow; }
class ParameterPages;
class TrafficLogPanel;
class QLabel;


class SerialConsoleWindow : public QDialog {
    Q_OBJECT
public:
    SerialConsoleWindow(core::ConsoleSession& session, core::SerialLink& link, QWidget* parent = nullptr);
    ~SerialConsoleWindow() override;

    ParameterPages* pages() const { return pages_; }
    TrafficLogPanel* panel() const { return panel_; }
    QLabel* LblInf() const;
    const QString& TermAddr() const { return termAddr_; }

    // The request flow of one of the fifteen buttons.
    void requestClicked(ht6630::Op op);
    // A burst the link judged against the pending request: logged, fields and status shown.
    void showJudgement(const QByteArray& block, const ht6630::SerialJudgement& judgement);

protected:
    // Escape does not close the console: only its close box does.
    void keyPressEvent(QKeyEvent* event) override;

private:
    void loadStep();
    bool barCodeCheck(const QString& emptyMessage);

    core::ConsoleSession& session_;
    core::SerialLink& link_;
    Ui::SerialConsoleWindow* ui;
    ParameterPages* pages_ = nullptr;
    TrafficLogPanel* panel_ = nullptr;
    QString termAddr_;
    QSqlQuery tempData_;   // the TempData record set opened at load
};

