// ht6630-frame: builds, checks and describes HT6630-QN frames from the command line.
//
//   ht6630-frame crc HEX...
//   ht6630-frame request OPERATION [--barcode B] [--set FIELD=VALUE]... [--infrared]
//   ht6630-frame decode HEX...
//
// Exit codes: 0 success, 2 refused value or bad input.
#include <cstdio>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "protocol/Bytes.h"
#include "protocol/Catalogue.h"
#include "protocol/FieldNames.h"
#include "protocol/FrameDescription.h"
#include "protocol/Frame.h"

namespace {

using namespace ht6630;

constexpr int kExitRefused = 2;

const char* const kHelp = R"(ht6630-frame: frames of the HT6630-QN room-temperature terminal

Usage:
  ht6630-frame crc HEX...
      Prints the CRC-16/MODBUS of the bytes as 4 upper-case hex digits.
  ht6630-frame request OPERATION [--barcode B] [--set FIELD=VALUE]... [--infrared]
      Builds the request frame of OPERATION, named by its operation name
      (e.g. 设置心跳包时间间隔) or its button (e.g. cmdHear), after the same value
      checks the console runs. Prints the frame as upper-case hex bytes.
      --barcode B   the 13-digit bar code of the target terminal (address "0"+B);
                    not used by cmdBarCodeR and cmdBarCodeW, which go to 99999999999999
      --set F=V     a console field: txtBarCode (the new bar code of cmdBarCodeW),
                    txtIp(0)..txtIp(4), txtSpareIp(0)..txtSpareIp(4), txtCJ, txtSC,
                    txtHeartbeat, Combo1=0|1, optEnabled=0|1|none, opSleep=0|1|none,
                    txtDate(0)..txtDate(3), Txtrq(0)..Txtrq(5)
      --infrared    the serial form: 201 zero bytes, then the frame
  ht6630-frame decode HEX...
      Identifies the frame and prints its fields; a CRC mismatch is reported.
  ht6630-frame --help
      This text.

HEX is hex text such as "51 56 04" or 515604; several arguments are joined.
A refused value prints the console's message text on standard error; bad input
prints a message there too. Both exit with code 2.

Operations:
)";

const char* const kExamples = R"(
Examples:
  ht6630-frame crc 31 32 33 34 35 36 37 38 39
      4B37
  ht6630-frame request cmdHear --barcode 2012345678901 --set txtHeartbeat=60
      51 56 0A 02 01 23 45 67 89 01 00 02 04 3C AE 13 0D
  ht6630-frame request 读取条形码 --infrared
  ht6630-frame request cmdTime --barcode 2012345678901 --set 'Txtrq(0)=24' --set 'Txtrq(1)=05' \
      --set 'Txtrq(2)=17' --set 'Txtrq(3)=08' --set 'Txtrq(4)=30' --set 'Txtrq(5)=00'
  ht6630-frame decode 71 76 79 02 01 23 45 67 89 01 00 06 03 00 FF 9C 01 C8 ...
)";

int Fail(const std::string& message) {
    std::cerr << "ht6630-frame: " << message << "\n";
    return kExitRefused;
}

void PrintHelp() {
    std::cout << kHelp;
    for (const auto& e : Catalogue())
        std::cout << "  " << e.button << std::string(15 - e.button.size(), ' ') << e.name << "\n";
    std::cout << kExamples;
}

// Joins the arguments and reads them as hex bytes; a message on failure.
std::optional<std::string> ReadHexArguments(const std::vector<std::string>& args, Bytes& out) {
    if (args.empty()) return std::string("no bytes given (expected hex text such as \"51 56 04\")");
    std::string joined;
    for (const auto& a : args) {
        for (char c : a) {
            const bool hex = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
            const bool blank = c == ' ' || c == '\t' || c == '\r' || c == '\n';
            if (!hex && !blank) return "not hex text: \"" + a + "\"";
        }
        joined += a;
        joined += ' ';
    }
    if (!ParseHex(joined, out)) return std::string("odd number of hex digits");
    return std::nullopt;
}

int RunCrc(const std::vector<std::string>& args) {
    Bytes bytes;
    if (auto error = ReadHexArguments(args, bytes)) return Fail(*error);
    char text[8];
    std::snprintf(text, sizeof text, "%04X", Crc16Modbus(bytes));
    std::cout << text << "\n";
    return 0;
}

int RunDecode(const std::vector<std::string>& args) {
    Bytes bytes;
    if (auto error = ReadHexArguments(args, bytes)) return Fail(*error);
    std::string text = DescribeFrame(bytes);
    if (!text.empty() && text.back() != '\n') text.push_back('\n');
    std::cout << text;
    return 0;
}

// Sets one console field; a message when the field or its value is unknown.
std::optional<std::string> SetField(FieldInputs& in, std::string_view assignment) {
    const auto eq = assignment.find('=');
    if (eq == std::string_view::npos) return "--set needs FIELD=VALUE, got \"" + std::string(assignment) + "\"";
    const std::string_view field = assignment.substr(0, eq);
    const auto error = SetInputField(in, field, assignment.substr(eq + 1));
    if (!error) return std::nullopt;
    if (error->kind == FieldNameError::Kind::UnknownField) return "unknown field \"" + std::string(field) + "\" (see --help)";
    return error->text;
}

int Refused(const CheckFailure& failure) {
    std::cerr << failure.text << "\n";
    return kExitRefused;
}

int RunRequest(const std::vector<std::string>& args) {
    if (args.empty()) return Fail("request needs an OPERATION (see --help)");
    const CatalogueEntry* entry = FindEntry(args[0]);
    if (!entry) return Fail("unknown operation \"" + args[0] + "\" (see --help)");

    FieldInputs in;
    std::optional<std::string> barCode;
    bool infrared = false;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--infrared") {
            infrared = true;
        } else if (a == "--barcode" || a == "--set") {
            if (i + 1 >= args.size()) return Fail(a + " needs a value");
            const std::string& v = args[++i];
            if (a == "--barcode") {
                barCode = v;
            } else if (auto error = SetField(in, v)) {
                return Fail(*error);
            }
        } else if (a.rfind("--barcode=", 0) == 0) {
            barCode = a.substr(10);
        } else if (a.rfind("--set=", 0) == 0) {
            if (auto error = SetField(in, std::string_view(a).substr(6))) return Fail(*error);
        } else {
            return Fail("unknown argument \"" + a + "\" (see --help)");
        }
    }

    // The console's order: value checks first, then the target bar code.
    const PayloadResult result = BuildPayload(entry->op, in);
    if (result.failure) return Refused(*result.failure);
    if (!UsesBarCodeAddress(entry->op)) {
        if (auto failure = CheckTargetBarCode(barCode.value_or(std::string()), EmptyTargetMessage(entry->op)))
            return Refused(*failure);
    }
    const std::string address = RequestAddress(entry->op, barCode.value_or(std::string()));
    const int n = static_cast<int>(result.payload.size());
    const Bytes frame = infrared ? MakeFrame_Infrared(entry->functionCode, address, n, result.payload)
                                 : MakeFrame_Request(entry->functionCode, address, n, result.payload);
    std::cout << ToHexSpaced(frame) << "\n";
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) {
        std::cerr << "ht6630-frame: no subcommand given\n"
                     "usage: ht6630-frame crc HEX... | request OPERATION [options] | decode HEX... | --help | --version\n";
        return kExitRefused;
    }
    const std::string command = args.front();
    args.erase(args.begin());
    try {
        if (command == "--help" || command == "-h" || command == "help") {
            PrintHelp();
            return 0;
        }
        if (command == "--version") {
            std::printf("ht6630-frame %s\n", HT6630_VERSION);
            return 0;
        }
        if (command == "crc") return RunCrc(args);
        if (command == "request") return RunRequest(args);
        if (command == "decode") return RunDecode(args);
    } catch (const std::exception& e) {
        return Fail(e.what());
    }
    return Fail("unknown subcommand \"" + command + "\" (crc, request, decode, --help)");
}
