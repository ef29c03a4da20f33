#pragma once
// The TCP data-centre window: a view of the TCP engine. Its online and offline
// lists replay the engine's list changes; its buttons start, stop and configure.
#include <memory>

#include "core/TcpDataCentre.h"
#include "ui/DataCentreWindow.h"
#include "ui/IndexedList.h"

class NetLogWindow;
namespace Ui { class TcpDataCentreWindow; }


class TcpDataCentreWindow : public DataCentreWindow {
    Q_OBJECT
public:
    // Connection events go to `netLog` (none when null).
    TcpDataCentreWindow(core::ConsoleSession& session, NetLogWindow* netLog, QWidget* parent = nullptr);
    ~TcpDataCentreWindow() override;

    core::TcpDataCentre& engine() const override { return *engine_; }
    const core::ConnectionTable& table() const { return engine_->table(); }
    quint16 listeningPort() const { return engine_->listeningPort(); }

    // Handlers, by their control names.
    void CmdYes_Click();
    void CmdNo_Click();
    void M_QDFW_Click();
    void M_DKFW_Click();
    void M_Exit_Click();
    void WinsockInfo_Click();
    void List1_Click();
    void Command1_Click();

private:
    void showListChange(core::TerminalList list, core::ListOp op, const QString& text);

    NetLogWindow* netLog_;
    std::unique_ptr<Ui::TcpDataCentreWindow> ui_;
    core::TcpDataCentre* engine_ = nullptr;
    std::unique_ptr<IndexedList> List1_;
    std::unique_ptr<IndexedList> List2_;
    bool listUpdating_ = false;
};

