#pragma once
// The TCP data-centre window: a view of the TCP engine. Its online and offline
// lists replay the engine's list changes; its buttons start, stop and configure.
#include <memory>

#include "core/TcpDataCentre.h"
#include "server/DataCentreConsole.h"
#include "server/IndexedList.h"

namespace Ui { class frmServerInfrared_TCP; }

namespace server {

class frmServerInfrared_TCP : public DataCentreConsole {
    Q_OBJECT
public:
    frmServerInfrared_TCP(core::ConsoleSession& session, QWidget* parent = nullptr);
    ~frmServerInfrared_TCP() override;

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

    std::unique_ptr<Ui::frmServerInfrared_TCP> ui_;
    core::TcpDataCentre* engine_ = nullptr;
    std::unique_ptr<IndexedList> List1_;
    std::unique_ptr<IndexedList> List2_;
    bool listUpdating_ = false;
};

}  // namespace server
