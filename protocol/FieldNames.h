#pragma once
// The consoles' field names (the parameter pages' controls, e.g. "txtHeartbeat",
// "txtIp(3)"): one table for every program that takes values by name (the frame
// tool's --set, the service's cmd messages) or shows decoded values by name.
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "protocol/Catalogue.h"
#include "protocol/Fields.h"

namespace ht6630 {

struct FieldNameError {
    enum class Kind { UnknownField, BadValue };
    Kind kind;
    std::string text;   // BadValue: e.g. "bad value \"2\" for Combo1 (0 or 1)"
};

// Puts `value` into the input named `field`: txtBarCode, txtIp(0)..txtIp(4),
// txtSpareIp(0)..txtSpareIp(4), txtCJ, txtSC, txtHeartbeat, Combo1=0|1,
// optEnabled=0|1|none, opSleep=0|1|none, txtDate(0)..txtDate(3), Txtrq(0)..Txtrq(5).
// Texts are kept as typed: the catalogue's checks judge them.
std::optional<FieldNameError> SetInputField(FieldInputs& in, std::string_view field, std::string_view value);

// The decoded values that are set, by name, in the parameter pages' order
// (txtTemp, txtHumi and txtVer show what only a response carries).
std::vector<std::pair<std::string, std::string>> NamedFieldValues(const FieldValues& values);

// The inputs a request of `op` takes, by name, as SetInputField reads them back
// (choices as "0", "1" or "none"; a choice of nothing for Combo1 is left out).
std::vector<std::pair<std::string, std::string>> NamedFieldInputs(const FieldInputs& inputs, Op op);

// Puts a decoded value published by name (NamedFieldValues' names and forms) back
// into `values`; false for a name or value it does not know.
bool SetFieldValue(FieldValues& values, std::string_view field, std::string_view value);

}  // namespace ht6630
