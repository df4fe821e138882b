#include "tray/AskTexts.h"

#include "model/TimeRequest.h"
#include "model/WeekUsage.h"
#include "tray/TrayTexts.h"

namespace vantrel {

namespace {

std::wstring MinutesText(int minutes) {
    return std::to_wstring(minutes) + (minutes == 1 ? L" minute" : L" minutes");
}

std::wstring StateText(const TUserFigures& figures, int askedAt) {
    switch (static_cast<TRequestState>(figures.RequestState)) {
    case TRequestState::Waiting:
        return L"You asked for " + MinutesText(figures.RequestMinutes) +
               (askedAt >= 0 ? L" at " + TimeOfDayText(askedAt, figures.Clock24) : L"") +
               L". Your parent has not answered yet.";
    case TRequestState::Granted:
        return L"Your parent gave you " + MinutesText(figures.RequestGranted) + L" more.";
    case TRequestState::Denied:
        return figures.RequestReply.empty()
                   ? L"Your parent said not now."
                   : L"Your parent said not now: \"" + figures.RequestReply + L"\"";
    case TRequestState::Withdrawn:
        return L"You took your request back.";
    case TRequestState::Expired:
        return L"Your request ended with the day before your parent answered it.";
    case TRequestState::None:
        break;
    }
    return L"You have not asked for more time today.";
}

} // namespace

TAskView AskViewOf(const TUserFigures* figures, int askedAt) {
    TAskView view;
    if (!figures) {
        view.State = L"Vantrel is not counting your time right now, so there is nobody to ask. "
                     L"Try again in a minute.";
        return view;
    }
    if (!figures->Limited) {
        view.State = L"You have no time limit, so there is no need to ask for more time.";
        return view;
    }
    view.State = StateText(*figures, askedAt);
    view.CanWithdraw = figures->RequestState == static_cast<int>(TRequestState::Waiting);
    view.Most = figures->RequestMost > 0 ? figures->RequestMost : 0;
    if (view.Most == 0) {
        view.Left = L"Your parent has turned off asking for more time.";
    } else if (figures->RequestsLeft <= 0) {
        view.Left = L"You cannot ask again today.";
    } else {
        view.CanAsk = true;
        view.Left =
            figures->RequestsLeft == 1
                ? L"You can ask 1 more time today."
                : L"You can ask " + std::to_wstring(figures->RequestsLeft) + L" more times today.";
        if (view.CanWithdraw)
            view.Left += L" A new request replaces the one waiting.";
    }
    if (view.CanAsk)
        for (int amount : kAskAmounts)
            if (amount <= view.Most)
                view.Amounts.push_back(amount);
    view.ShowCode = figures->CodesPaired;
    if (view.ShowCode && figures->CodesLocked > 0) {
        view.CodeLocked = true;
        view.CodeNote = L"Too many wrong codes. You can enter a code again in " +
                        MinutesText(figures->CodesLocked) + L".";
    }
    return view;
}

int ParseAskAmount(const std::wstring& text, int most) {
    size_t begin = text.find_first_not_of(L' ');
    size_t end = text.find_last_not_of(L' ');
    if (begin == std::wstring::npos)
        return 0;
    const std::wstring digits = text.substr(begin, end - begin + 1);
    if (digits.empty() || digits.size() > 4)
        return 0;
    int value = 0;
    for (wchar_t c : digits) {
        if (c < L'0' || c > L'9')
            return 0;
        value = value * 10 + (c - L'0');
    }
    return value >= 1 && value <= most ? value : 0;
}

std::wstring CleanReason(const std::wstring& text) {
    std::wstring reason;
    for (wchar_t c : text)
        if (!(c < L' ' || c == 0x7F || (c >= 0x80 && c < 0xA0) || c == 0x2028 || c == 0x2029))
            reason += c;
    if (reason.size() > static_cast<size_t>(kMaxReasonLength))
        reason.resize(static_cast<size_t>(kMaxReasonLength));
    // A surrogate cut in half would be no character at all.
    if (!reason.empty() && reason.back() >= 0xD800 && reason.back() < 0xDC00)
        reason.pop_back();
    const size_t begin = reason.find_first_not_of(L' ');
    if (begin == std::wstring::npos)
        return {};
    return reason.substr(begin, reason.find_last_not_of(L' ') - begin + 1);
}

std::string ParseCodeText(const std::wstring& text) {
    std::string code;
    for (wchar_t c : text) {
        if (c == L' ')
            continue;
        if (c < L'0' || c > L'9' || code.size() == 6)
            return {};
        code += static_cast<char>(c);
    }
    return code.size() == 6 ? code : std::string();
}

std::wstring AskResultText(TAskKind kind, TAskOutcome outcome, const TAskAnswer& answer, int most) {
    if (outcome == TAskOutcome::NoService)
        return L"Vantrel did not answer. Try again in a minute.";
    if (outcome == TAskOutcome::BadAnswer)
        return L"Vantrel gave an answer this program does not understand. Try again in a "
               L"minute.";
    switch (answer.Refusal) {
    case TAskRefusal::None:
        if (kind == TAskKind::Withdraw)
            return L"You took your request back.";
        if (kind == TAskKind::Code)
            return answer.Minutes > 0
                       ? L"The code worked: you got " + MinutesText(answer.Minutes) + L" more."
                       : L"The code worked.";
        return L"Your request was sent. You will see the answer here.";
    case TAskRefusal::Malformed:
        return L"Vantrel did not understand the request. Try again.";
    case TAskRefusal::Busy:
        return L"Vantrel is busy. Try again in a minute.";
    case TAskRefusal::NotLimited:
        return L"You have no time limit, so there is no need to ask for more time.";
    case TAskRefusal::NotAllowed:
        return L"Your parent has turned off asking for more time.";
    case TAskRefusal::TooMany:
        return L"You have used up your requests for today.";
    case TAskRefusal::BadAmount:
        return most > 0 ? L"That is too much to ask for at once. You can ask for up to " +
                              MinutesText(most) + L"."
                        : L"That is too much to ask for at once.";
    case TAskRefusal::NothingOpen:
        return L"There is no request waiting to take back.";
    case TAskRefusal::NoCodes:
        return L"Codes from your parent's phone are not set up.";
    case TAskRefusal::WrongCode:
        return L"That code did not work. Check it with your parent and try again.";
    case TAskRefusal::Locked:
        return answer.Minutes > 0 ? L"Too many wrong codes. You can enter a code again in " +
                                        MinutesText(answer.Minutes) + L"."
                                  : L"Too many wrong codes. You can enter a code again later.";
    case TAskRefusal::Failed:
        return L"Vantrel could not keep your request. Try again in a minute.";
    }
    return L"Vantrel did not answer. Try again in a minute.";
}

std::wstring TAnswerTeller::Next(const TUserFigures& figures) {
    const bool news = FKnown && figures.RequestSerial > FSerial;
    FKnown = true;
    FSerial = figures.RequestSerial;
    if (!news)
        return {};
    switch (static_cast<TRequestState>(figures.RequestState)) {
    case TRequestState::Granted:
        return L"You got " + std::to_wstring(figures.RequestGranted) +
               (figures.RequestGranted == 1 ? L" more minute" : L" more minutes");
    case TRequestState::Denied:
        return figures.RequestReply.empty() ? L"Not now" : L"Not now: " + figures.RequestReply;
    default:
        return {};
    }
}

} // namespace vantrel
