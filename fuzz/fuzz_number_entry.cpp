// Number entry and the request payloads on arbitrary typed texts.
//
// The input is split at 0x00 bytes into texts, which fill the console fields in
// turn; the last byte chooses the operation and the option groups.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "protocol/Catalogue.h"
#include "protocol/NumberEntry.h"

namespace {

void Check(bool ok) {
    if (!ok) __builtin_trap();
}

// A numeric text read by the C library, for comparison.
double ReferenceValue(std::string_view text) {
    std::string t(text);
    for (char& c : t)
        if (c == 'd' || c == 'D') c = 'e';
    return std::strtod(t.c_str(), nullptr);
}

void CheckText(const std::string& text) {
    using namespace ht6630;
    const double value = ValueOf(text);
    Check(!std::isnan(value));
    if (IsNumeric(text)) {
        const double reference = ReferenceValue(text);
        if (std::isinf(reference) || std::fabs(reference) >= 1e-300) Check(value == reference);
    }
    if (IsPlainDigits(text)) Check(IsNumeric(text) && value >= 0);
    const double rounded = RoundHalfEven(value);
    if (std::isfinite(value)) Check(std::fabs(rounded - value) <= 0.5 && rounded == std::floor(rounded));
    const auto trimmed = Trim(text);
    Check(trimmed.size() <= text.size());
    Check(trimmed.empty() || (trimmed.front() != ' ' && trimmed.back() != ' '));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace ht6630;
    if (size == 0) return 0;
    const std::uint8_t selector = data[size - 1];
    std::vector<std::string> texts(1);
    for (std::size_t i = 0; i + 1 < size; ++i) {
        if (data[i] == 0) texts.emplace_back();
        else texts.back().push_back(static_cast<char>(data[i]));
    }
    for (const auto& t : texts) CheckText(t);

    FieldInputs in;
    std::size_t next = 0;
    auto take = [&]() -> std::string { return texts[next++ % texts.size()]; };
    in.barCode = take();
    for (auto& f : in.dataCentre) f = take();
    for (auto& f : in.spareCentre) f = take();
    in.acquisitionMinutes = take();
    in.uploadMinutes = take();
    in.heartbeatSeconds = take();
    for (auto& f : in.silenceDates) f = take();
    for (auto& f : in.clock) f = take();
    in.commType = static_cast<int>((selector >> 4) % 3) - 1;
    in.silenceChoice = static_cast<int>((selector >> 6) % 3) - 1;
    in.sleepChoice = static_cast<int>((selector >> 2) % 3) - 1;

    const auto& entry = Catalogue()[selector % 15];
    const PayloadResult r = BuildPayload(entry.op, in);
    if (r.failure) {
        Check(r.payload.empty() && !r.failure->text.empty());
        Check((entry.op == Op::SetClock) == !r.failure->useAppTitle);
    } else {
        Check(static_cast<int>(r.payload.size()) == entry.requestLength);
        if (entry.op == Op::SetClock)
            for (const auto& t : in.clock) Check(IsPlainDigits(t));
        if (entry.op == Op::SetAcquisition) {
            const unsigned v = r.payload[1] * 256u + r.payload[2];
            Check(v >= 1 && v <= 1440);
        }
        if (entry.op == Op::SetHeartbeat) Check(r.payload[1] >= 30 && r.payload[1] <= 240);
    }
    (void)CheckTargetBarCode(in.barCode, EmptyTargetMessage(entry.op));
    (void)TerminalAddress(in.barCode);
    return 0;
}
