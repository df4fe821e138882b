#include "model/AskMessage.h"

#include "model/TimeRequest.h"

#include <windows.h>

namespace vantrel {

namespace {

const struct {
    TAskRefusal Refusal;
    const char* Word;
} kWords[] = {
    {TAskRefusal::Malformed, "malformed"},
    {TAskRefusal::Busy, "busy"},
    {TAskRefusal::NotLimited, "not-limited"},
    {TAskRefusal::NotAllowed, "not-allowed"},
    {TAskRefusal::TooMany, "too-many"},
    {TAskRefusal::BadAmount, "amount"},
    {TAskRefusal::NothingOpen, "nothing-open"},
    {TAskRefusal::NoCodes, "no-codes"},
    {TAskRefusal::WrongCode, "wrong-code"},
    {TAskRefusal::Locked, "locked"},
    {TAskRefusal::Failed, "failed"},
};

// A whole number of 1 to 4 digits without a leading zero, within [low, high].
bool ReadNumber(const std::string& text, int low, int high, int& value) {
    if (text.empty() || text.size() > 4 || text[0] == '0')
        return false;
    value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + (c - '0');
    }
    return value >= low && value <= high;
}

bool FromUtf8(const std::string& bytes, std::wstring& text) {
    text.clear();
    if (bytes.empty())
        return true;
    const int size = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data(),
                                         static_cast<int>(bytes.size()), nullptr, 0);
    if (size <= 0)
        return false;
    text.resize(static_cast<size_t>(size));
    return MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data(),
                               static_cast<int>(bytes.size()), &text[0], size) == size;
}

std::string ToUtf8(const std::wstring& text) {
    if (text.empty())
        return std::string();
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
    std::string bytes(size > 0 ? static_cast<size_t>(size) : 0, '\0');
    if (size > 0)
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &bytes[0], size,
                            nullptr, nullptr);
    return bytes;
}

bool FitReason(const std::wstring& reason) {
    if (reason.size() > static_cast<size_t>(kMaxReasonLength))
        return false;
    for (wchar_t c : reason) {
        if (c < L' ' || c == 0x7F || (c >= 0x80 && c < 0xA0) || c == 0x2028 || c == 0x2029)
            return false;
    }
    return true;
}

} // namespace

std::string FormatAskMessage(const TAskMessage& message) {
    switch (message.Kind) {
    case TAskKind::Withdraw:
        return "WITHDRAW";
    case TAskKind::Code:
        return "CODE " + message.Code;
    case TAskKind::Ask:
        break;
    }
    std::string text = "ASK " + std::to_string(message.Minutes);
    if (!message.Reason.empty())
        text += " " + ToUtf8(message.Reason);
    return text;
}

bool ParseAskMessage(const std::string& bytes, TAskMessage& message) {
    if (bytes.size() > kAskMessageMost)
        return false;
    TAskMessage read;
    if (bytes == "WITHDRAW") {
        read.Kind = TAskKind::Withdraw;
    } else if (bytes.compare(0, 5, "CODE ") == 0) {
        read.Kind = TAskKind::Code;
        read.Code = bytes.substr(5);
        if (read.Code.size() != 6 || read.Code.find_first_not_of("0123456789") != std::string::npos)
            return false;
    } else if (bytes.compare(0, 4, "ASK ") == 0) {
        read.Kind = TAskKind::Ask;
        const size_t space = bytes.find(' ', 4);
        const std::string number = bytes.substr(4, space == std::string::npos ? space : space - 4);
        if (!ReadNumber(number, 1, 1440, read.Minutes))
            return false;
        if (space != std::string::npos) {
            const std::string reason = bytes.substr(space + 1);
            if (reason.empty() || reason.front() == ' ' || reason.back() == ' ' ||
                !FromUtf8(reason, read.Reason) || !FitReason(read.Reason))
                return false;
        }
    } else {
        return false;
    }
    message = read;
    return true;
}

std::string FormatAskAnswer(const TAskAnswer& answer) {
    if (answer.Refusal == TAskRefusal::None)
        return answer.Minutes > 0 ? "OK " + std::to_string(answer.Minutes) : "OK";
    for (const auto& word : kWords) {
        if (word.Refusal == answer.Refusal) {
            std::string text = std::string("NO ") + word.Word;
            if (answer.Refusal == TAskRefusal::Locked)
                text += " " + std::to_string(answer.Minutes);
            return text;
        }
    }
    return "NO malformed";
}

bool ParseAskAnswer(const std::string& bytes, TAskAnswer& answer) {
    TAskAnswer read;
    if (bytes == "OK") {
        answer = read;
        return true;
    }
    if (bytes.compare(0, 3, "OK ") == 0) {
        if (!ReadNumber(bytes.substr(3), 1, 1440, read.Minutes))
            return false;
        answer = read;
        return true;
    }
    if (bytes.compare(0, 3, "NO ") != 0)
        return false;
    const std::string rest = bytes.substr(3);
    for (const auto& word : kWords) {
        const std::string name = word.Word;
        if (word.Refusal == TAskRefusal::Locked &&
            rest.compare(0, name.size() + 1, name + " ") == 0) {
            if (!ReadNumber(rest.substr(name.size() + 1), 1, 1440, read.Minutes))
                return false;
            read.Refusal = word.Refusal;
            answer = read;
            return true;
        }
        if (word.Refusal != TAskRefusal::Locked && rest == name) {
            read.Refusal = word.Refusal;
            answer = read;
            return true;
        }
    }
    return false;
}

} // namespace vantrel
