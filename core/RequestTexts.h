#pragma once
// Status texts of the data-centre configuration requests and the reading of the
// consoles' port fields.
#include <QString>

#include <optional>

#include "protocol/Catalogue.h"
#include "protocol/Dialogue.h"

namespace core {

struct RequestTexts {
    QString queued;    // "准备…" : kept until the terminal's next upload end
    QString sending;   // "正在…" : sent now (TCP: also shown when no connection matched)
};
RequestTexts TextsFor(ht6630::Op op, ht6630::dialogue::Channel channel);

inline const QString kWaitHandshake = QStringLiteral("提示信息:请等待握手成功再操作。。。");

// A port text as the start button reads it: the number entry's reading when the
// whole text is numeric; empty when it is not.
std::optional<double> NumericValue(const QString& text);
// The rounded 32-bit value; empty when beyond the 32-bit range.
std::optional<qint32> RoundToInt32(double v);

}  // namespace core
