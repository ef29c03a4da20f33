#pragma once
// The UDP data-centre window: a view of the UDP engine; CboId and Txtport show
// the sender of the last datagram and name the terminal requests go to.
#include <memory>

#include "core/UdpDataCentre.h"
#include "server/DataCentreConsole.h"

namespace Ui { class frmServerInfrared_UDP; }

namespace server {

class frmServerInfrared_UDP : public DataCentreConsole {
    Q_OBJECT
public:
    frmServerInfrared_UDP(core::ConsoleSession& session, QWidget* parent = nullptr);
    ~frmServerInfrared_UDP() override;

    core::UdpDataCentre& engine() const override { return *engine_; }
    quint16 boundPort() const { return engine_->boundPort(); }

    void CmdYes_Click();
    void M_QDFW_Click();
    void CmdNo_Click();       // also M_DKFW
    void M_Exit_Click();
    // Makes CboId/Txtport the destination of requests; false when unusable.
    bool SetTerminalEndpoint();

protected:
    bool beforeRequest(ht6630::Op op) override;
    void afterOpName(ht6630::Op op) override;

private:
    std::unique_ptr<Ui::frmServerInfrared_UDP> ui_;
    core::UdpDataCentre* engine_ = nullptr;
};

}  // namespace server
