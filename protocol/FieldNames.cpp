#include "protocol/FieldNames.h"

namespace ht6630 {

namespace {

// Parses "name(i)" into name and index; index -1 when there is none.
bool SplitIndexed(std::string_view field, std::string_view& name, int& index) {
    index = -1;
    name = field;
    const auto open = field.find('(');
    if (open == std::string_view::npos) return true;
    if (field.size() < open + 3 || field.back() != ')') return false;
    const auto digits = field.substr(open + 1, field.size() - open - 2);
    if (digits.size() != 1 || digits[0] < '0' || digits[0] > '9') return false;
    name = field.substr(0, open);
    index = digits[0] - '0';
    return true;
}

void Indexed(std::vector<std::pair<std::string, std::string>>& out, const char* name, const auto& values) {
    for (std::size_t i = 0; i < values.size(); ++i) out.emplace_back(name + ("(" + std::to_string(i) + ")"), values[i]);
}

}  // namespace

std::optional<FieldNameError> SetInputField(FieldInputs& in, std::string_view field, std::string_view value) {
    const FieldNameError unknown{FieldNameError::Kind::UnknownField, {}};
    std::string_view name;
    int index = -1;
    if (!SplitIndexed(field, name, index)) return unknown;

    auto choice = [&](int& target, bool allowNone) -> std::optional<FieldNameError> {
        if (value == "0") target = 0;
        else if (value == "1") target = 1;
        else if (allowNone && (value == "none" || value == "-1")) target = -1;
        else
            return FieldNameError{FieldNameError::Kind::BadValue,
                                  "bad value \"" + std::string(value) + "\" for " + std::string(field) +
                                      (allowNone ? " (0, 1 or none)" : " (0 or 1)")};
        return std::nullopt;
    };
    auto text = [&](std::string& target) -> std::optional<FieldNameError> {
        target = std::string(value);
        return std::nullopt;
    };

    if (index < 0) {
        if (name == "txtBarCode") return text(in.barCode);
        if (name == "txtCJ") return text(in.acquisitionMinutes);
        if (name == "txtSC") return text(in.uploadMinutes);
        if (name == "txtHeartbeat") return text(in.heartbeatSeconds);
        if (name == "Combo1") return choice(in.commType, false);
        if (name == "optEnabled") return choice(in.silenceChoice, true);
        if (name == "opSleep") return choice(in.sleepChoice, true);
        return unknown;
    }
    const auto i = static_cast<std::size_t>(index);
    if (name == "txtIp" && i < in.dataCentre.size()) return text(in.dataCentre[i]);
    if (name == "txtSpareIp" && i < in.spareCentre.size()) return text(in.spareCentre[i]);
    if (name == "txtDate" && i < in.silenceDates.size()) return text(in.silenceDates[i]);
    if (name == "Txtrq" && i < in.clock.size()) return text(in.clock[i]);
    return unknown;
}

std::vector<std::pair<std::string, std::string>> NamedFieldValues(const FieldValues& f) {
    std::vector<std::pair<std::string, std::string>> out;
    if (f.barCode) out.emplace_back("txtBarCode", *f.barCode);
    if (f.dataCentre) Indexed(out, "txtIp", *f.dataCentre);
    if (f.spareCentre) Indexed(out, "txtSpareIp", *f.spareCentre);
    if (f.temperature) out.emplace_back("txtTemp", *f.temperature);
    if (f.humidity) out.emplace_back("txtHumi", *f.humidity);
    if (f.firmware) out.emplace_back("txtVer", *f.firmware);
    if (f.acquisitionMinutes) out.emplace_back("txtCJ", *f.acquisitionMinutes);
    if (f.uploadMinutes) out.emplace_back("txtSC", *f.uploadMinutes);
    if (f.commType) out.emplace_back("Combo1", std::to_string(*f.commType));
    if (f.heartbeatSeconds) out.emplace_back("txtHeartbeat", *f.heartbeatSeconds);
    if (f.silenceChoice) out.emplace_back("optEnabled", *f.silenceChoice < 0 ? "none" : std::to_string(*f.silenceChoice));
    if (f.silenceDates) Indexed(out, "txtDate", *f.silenceDates);
    if (f.clock) Indexed(out, "Txtrq", *f.clock);
    return out;
}

}  // namespace ht6630
