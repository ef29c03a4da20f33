#pragma once
// What the console's windows and engines share while the program runs: the
// operation requested last and the response length it expects (the serial link
// judges against it, and a data-centre request replaces it), the channel the
// serial console has claimed, the data-centre endpoint typed last, the terminal
// chosen in the TCP online list and the operator's port switch.
//
// One instance lives as long as the program (the application owns it) and is
// handed to every window and engine that takes part; it is never a global.
// A headless program makes its own.
#include <QString>

#include "DelayQueue.h"
#include <QtGlobal>

namespace core {

struct PendingOperation {
    QString name;          // the Chinese operation name, e.g. "设置心跳包时间间隔"
    qint16 expectLen = 0;  // length of the whole response frame it expects
};

struct ConsoleSession {
    PendingOperation pending;
    QString channelName;   // "Infrared" once the serial console has been opened
    QString localIp;       // the address a data-centre console serves on
    qint32 localPort = 0;  // the port a data-centre console serves on
    QString currentId;     // bar code chosen in the TCP console's online list
    bool portOpened = false;
    // The one precise queue every data-centre reply waits in. It outlives the
    // engines: a reply whose engine went away during its wait resumes, finds its
    // engine gone and does nothing.
    DelayQueue replyQueue;
};

}  // namespace core
