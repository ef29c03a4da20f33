#pragma once
// The UDP data-centre window: a view of the UDP engine; CboId and Txtport show
// the sender of the last datagram and name the terminal requests go to.
#include <memory>

#include "core/UdpDataCentre.h"
#include "ui/DataCentreWindow.h"

namespace Ui { class UdpDataCentreWindow; }


class UdpDataCentreWindow : public DataCentreWindow {
    Q_OBJECT
public:
    UdpDataCentreWindow(core::ConsoleSession& session, QWidget* parent = nullptr);
    ~UdpDataCentreWindow() override;

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
    std::unique_ptr<Ui::UdpDataCentreWindow> ui_;
    core::UdpDataCentre* engine_ = nullptr;
};

