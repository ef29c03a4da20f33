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

namespace {
std::string ChoiceText(int choice) { return choice < 0 ? "none" : std::to_string(choice); }
}  // namespace

std::vector<std::pair<std::string, std::string>> NamedFieldInputs(const FieldInputs& in, Op op) {
    std::vector<std::pair<std::string, std::string>> out;
    switch (op) {
    case Op::SetBarCode: out.emplace_back("txtBarCode", in.barCode); break;
    case Op::SetIp: Indexed(out, "txtIp", in.dataCentre); break;
    case Op::SetSpareIp: Indexed(out, "txtSpareIp", in.spareCentre); break;
    case Op::SetAcquisition: out.emplace_back("txtCJ", in.acquisitionMinutes); break;
    case Op::SetUpload: out.emplace_back("txtSC", in.uploadMinutes); break;
    case Op::SetCommType:
        if (in.commType == 0 || in.commType == 1) out.emplace_back("Combo1", std::to_string(in.commType));
        break;
    case Op::SetHeartbeat: out.emplace_back("txtHeartbeat", in.heartbeatSeconds); break;
    case Op::SetSilence:
        out.emplace_back("optEnabled", ChoiceText(in.silenceChoice));
        Indexed(out, "txtDate", in.silenceDates);
        break;
    case Op::SetSleep: out.emplace_back("opSleep", ChoiceText(in.sleepChoice)); break;
    case Op::SetClock: Indexed(out, "Txtrq", in.clock); break;
    default: break;
    }
    return out;
}

bool SetFieldValue(FieldValues& v, std::string_view field, std::string_view value) {
    std::string_view name;
    int index = -1;
    if (!SplitIndexed(field, name, index)) return false;
    const std::string text(value);
    auto choice = [&](std::optional<int>& target, bool allowNone) {
        if (value == "0" || value == "1") target = value[0] - '0';
        else if (allowNone && value == "none") target = -1;
        else return false;
        return true;
    };
    auto element = [&](auto& target, std::size_t i) {
        if (!target.has_value()) target.emplace();
        (*target)[i] = text;
        return true;
    };
    if (index < 0) {
        if (name == "txtBarCode") return (v.barCode = text), true;
        if (name == "txtTemp") return (v.temperature = text), true;
        if (name == "txtHumi") return (v.humidity = text), true;
        if (name == "txtVer") return (v.firmware = text), true;
        if (name == "txtCJ") return (v.acquisitionMinutes = text), true;
        if (name == "txtSC") return (v.uploadMinutes = text), true;
        if (name == "txtHeartbeat") return (v.heartbeatSeconds = text), true;
        if (name == "Combo1") return choice(v.commType, false);
        if (name == "optEnabled") return choice(v.silenceChoice, true);
        return false;
    }
    const auto i = static_cast<std::size_t>(index);
    if (name == "txtIp" && i < 5) return element(v.dataCentre, i);
    if (name == "txtSpareIp" && i < 5) return element(v.spareCentre, i);
    if (name == "txtDate" && i < 4) return element(v.silenceDates, i);
    if (name == "Txtrq" && i < 6) return element(v.clock, i);
    return false;
}

}  // namespace ht6630
