#include "remote/scpi_error.h"

namespace velquor::remote {

const char* ErrorText(int code) {
    switch (code) {
        case 0:
            return "No error";
        case err::kCommand:
            return "Command error";
        case err::kInvalidCharacter:
            return "Invalid character";
        case err::kSyntax:
            return "Syntax error";
        case err::kInvalidSeparator:
            return "Invalid separator";
        case err::kDataType:
            return "Data type error";
        case err::kParameterNotAllowed:
            return "Parameter not allowed";
        case err::kMissingParameter:
            return "Missing parameter";
        case err::kHeaderSeparator:
            return "Header separator error";
        case err::kMnemonicTooLong:
            return "Program mnemonic too long";
        case err::kUndefinedHeader:
            return "Undefined header";
        case err::kHeaderSuffixOutOfRange:
            return "Header suffix out of range";
        case err::kInvalidCharacterInNumber:
            return "Invalid character in number";
        case err::kExponentTooLarge:
            return "Exponent too large";
        case err::kTooManyDigits:
            return "Too many digits";
        case err::kNumericNotAllowed:
            return "Numeric data not allowed";
        case err::kInvalidSuffix:
            return "Invalid suffix";
        case err::kSuffixTooLong:
            return "Suffix too long";
        case err::kSuffixNotAllowed:
            return "Suffix not allowed";
        case err::kInvalidCharacterData:
            return "Invalid character data";
        case err::kCharacterDataTooLong:
            return "Character data too long";
        case err::kCharacterDataNotAllowed:
            return "Character data not allowed";
        case err::kInvalidString:
            return "Invalid string data";
        case err::kStringNotAllowed:
            return "String data not allowed";
        case err::kInvalidBlock:
            return "Invalid block data";
        case err::kBlockNotAllowed:
            return "Block data not allowed";
        case err::kInvalidExpression:
            return "Invalid expression";
        case err::kExpressionNotAllowed:
            return "Expression data not allowed";
        case err::kInitIgnored:
            return "Init ignored";
        case err::kSettingsConflict:
            return "Settings conflict";
        case err::kDataOutOfRange:
            return "Data out of range";
        case err::kIllegalParameterValue:
            return "Illegal parameter value";
        case err::kDataStale:
            return "Data corrupt or stale";
        case err::kHardware:
            return "Hardware error";
        case err::kHardwareMissing:
            return "Hardware missing";
        case err::kDeviceSpecific:
            return "Device-specific error";
        case err::kSelfTestFailed:
            return "Self-test failed";
        case err::kQueueOverflow:
            return "Queue overflow";
        case err::kInputOverrun:
            return "Input buffer overrun";
        default:
            return "Unknown error";
    }
}

int EsrBitOf(int code) {
    if (code <= -100 && code >= -199)
        return 0x20;  // CME
    if (code <= -200 && code >= -299)
        return 0x10;  // EXE
    if ((code <= -300 && code >= -399) || code > 0)
        return 0x08;  // DDE
    if (code <= -400 && code >= -499)
        return 0x04;  // QYE
    return 0;
}

std::string FormatError(const ErrorEntry& entry) {
    std::string out = std::to_string(entry.code);
    out += ",\"";
    out += ErrorText(entry.code);
    if (!entry.detail.empty()) {
        out += ';';
        for (const char c : entry.detail) {
            const auto u = static_cast<unsigned char>(c);
            if (c == '"')
                out += "\"\"";
            else if (u < 0x20 || u > 0x7E)
                out += '?';
            else
                out += c;
        }
    }
    out += '"';
    return out;
}

void ErrorQueue::Push(int code, std::string_view detail) {
    if (entries_.size() >= kCapacity) {
        entries_.back() = ErrorEntry{err::kQueueOverflow, {}};
        return;
    }
    entries_.push_back(ErrorEntry{code, std::string(detail.substr(0, kMaxDetail))});
}

ErrorEntry ErrorQueue::Pop() {
    if (entries_.empty())
        return ErrorEntry{};
    ErrorEntry e = std::move(entries_.front());
    entries_.pop_front();
    return e;
}

}  // namespace velquor::remote
