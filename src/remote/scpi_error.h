#pragma once

#include <cstddef>
#include <deque>
#include <string>
#include <string_view>

namespace velquor::remote {

// The SCPI-1999 error numbers this instrument reports.
namespace err {
inline constexpr int kNone = 0;
inline constexpr int kCommand = -100;
inline constexpr int kInvalidCharacter = -101;
inline constexpr int kSyntax = -102;
inline constexpr int kInvalidSeparator = -103;
inline constexpr int kDataType = -104;
inline constexpr int kParameterNotAllowed = -108;
inline constexpr int kMissingParameter = -109;
inline constexpr int kHeaderSeparator = -111;
inline constexpr int kMnemonicTooLong = -112;
inline constexpr int kUndefinedHeader = -113;
inline constexpr int kHeaderSuffixOutOfRange = -114;
inline constexpr int kInvalidCharacterInNumber = -121;
inline constexpr int kExponentTooLarge = -123;
inline constexpr int kTooManyDigits = -124;
inline constexpr int kNumericNotAllowed = -128;
inline constexpr int kInvalidSuffix = -131;
inline constexpr int kSuffixTooLong = -134;
inline constexpr int kSuffixNotAllowed = -138;
inline constexpr int kInvalidCharacterData = -141;
inline constexpr int kCharacterDataTooLong = -144;
inline constexpr int kCharacterDataNotAllowed = -148;
inline constexpr int kInvalidString = -151;
inline constexpr int kStringNotAllowed = -158;
inline constexpr int kInvalidBlock = -161;
inline constexpr int kBlockNotAllowed = -168;
inline constexpr int kInvalidExpression = -171;
inline constexpr int kExpressionNotAllowed = -178;
inline constexpr int kInitIgnored = -213;
inline constexpr int kSettingsConflict = -221;
inline constexpr int kDataOutOfRange = -222;
inline constexpr int kIllegalParameterValue = -224;
inline constexpr int kDataStale = -230;
inline constexpr int kHardware = -240;
inline constexpr int kHardwareMissing = -241;
inline constexpr int kDeviceSpecific = -300;
inline constexpr int kSelfTestFailed = -330;
inline constexpr int kQueueOverflow = -350;
inline constexpr int kInputOverrun = -363;
}  // namespace err

// The standard text of an error number ("Undefined header"); "Unknown error" otherwise.
const char* ErrorText(int code);

// The Event Status Register bit an error sets: CME, EXE, DDE or QYE (0 for none).
int EsrBitOf(int code);

// One queued error as SYSTem:ERRor? reports it.
struct ErrorEntry {
    int code = 0;
    std::string detail;
};

// `-113,"Undefined header;FOO"`: the detail follows the text inside the quotes.
// Quotes in the detail are doubled and bytes outside printable ASCII shown as '?',
// so the reply stays one well-formed string whatever a client typed.
std::string FormatError(const ErrorEntry& entry);

// A client's error queue: oldest first, 30 entries. When full, the newest entry
// becomes -350 "Queue overflow" and later errors are lost until it is read.
class ErrorQueue {
public:
    static constexpr std::size_t kCapacity = 30;
    // The longest detail kept; the rest of a hostile detail is cut.
    static constexpr std::size_t kMaxDetail = 80;

    void Push(int code, std::string_view detail = {});
    // The oldest entry, or 0 "No error" when empty.
    ErrorEntry Pop();
    std::size_t Count() const { return entries_.size(); }
    bool Empty() const { return entries_.empty(); }
    void Clear() { entries_.clear(); }

private:
    std::deque<ErrorEntry> entries_;
};

}  // namespace velquor::remote
