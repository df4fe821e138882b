#include "ui/dialogs/AnswerRequestForm.h"

#include "model/Clock.h"
#include "ui/Fonts.h"
#include "ui/ServiceStatus.h"
#include "ui/controls/MessageBox.h"

#include <cwctype>

namespace vantrel {

namespace {

using namespace metrics;

constexpr int kClientWidth = 360;
constexpr int kWide = kClientWidth - 2 * kMargin;
constexpr int kLabelWidth = 170;
constexpr int kFieldLeft = kMargin + kLabelWidth + kRelatedGap;
constexpr int kFieldWidth = 60;
constexpr int kRangeLeft = kFieldLeft + kFieldWidth + kRelatedGap;

constexpr int kAsksTop = kMargin;
constexpr int kReasonTop = kAsksTop + kLabelHeight + kRelatedGap;
constexpr int kReasonHeight = 4 * 13 + 4; // the longest reason in wide letters
constexpr int kFromTop = kReasonTop + kReasonHeight + kRelatedGap;
constexpr int kCodesTop = kFromTop + kLabelHeight + kRelatedGap;
constexpr int kMinutesTop = kCodesTop + kLabelHeight + kUnrelatedGap;
constexpr int kReplyLabelTop = kMinutesTop + kRowHeight;
constexpr int kReplyTop = kReplyLabelTop + kLabelHeight + kRelatedGap;
constexpr int kLineTop = kReplyTop + kEditHeight + kUnrelatedGap;
constexpr int kRulesTop = kLineTop + kUnrelatedGap;
constexpr int kPerDayTop = kRulesTop + kLabelHeight + kRelatedGap + 2;
constexpr int kMostTop = kPerDayTop + kRowHeight;
constexpr int kClientHeight = ClientHeightWithButtonRow(kMostTop + kEditHeight);
// The label beside a field, lowered to the field's text.
constexpr int kLabelDrop = 3;

std::wstring LocalTimeText(const FILETIME& utc, const TAnswerView& view) {
    SYSTEMTIME system{};
    if (!FileTimeToSystemTime(&utc, &system))
        return L"?";
    return StatusTimeText(LocalTimeOf(system), view.Now, view.Clock24);
}

bool Empty(const FILETIME& time) {
    return time.dwLowDateTime == 0 && time.dwHighDateTime == 0;
}

// A whole number from a field, or false.
bool NumberOf(const std::wstring& text, int& value) {
    if (text.empty() || text.size() > 6)
        return false;
    value = 0;
    for (wchar_t c : text) {
        if (c < L'0' || c > L'9')
            return false;
        value = value * 10 + (c - L'0');
    }
    return true;
}

} // namespace

bool TAnswerRequestForm::Create(HWND owner) {
    if (Handle())
        return true;
    SetDialogFont(CreateSystemFont(WindowDpi(owner)).Get());
    return TModalDialog::Create(owner, L"Answer request", kClientWidth, kClientHeight);
}

void TAnswerRequestForm::CreateControls() {
    const int top = ButtonRowTop(kClientHeight);
    // A label stands right before its field in the order, so that screen readers name the
    // field by it.
    const TControlSpec table[] = {
        {L"STATIC", L"", SS_LEFT | SS_NOPREFIX, kMargin, kAsksTop, kWide, kLabelHeight, IdAsks, 0,
         TControlFont::Bold},
        {L"STATIC", L"", SS_LEFT | SS_NOPREFIX, kMargin, kReasonTop, kWide, kReasonHeight,
         IdReason},
        {L"STATIC", L"", SS_LEFT | SS_NOPREFIX, kMargin, kFromTop, kWide, kLabelHeight,
         IdAskedFrom},
        {L"STATIC", L"", SS_LEFT | SS_NOPREFIX, kMargin, kCodesTop, kWide, kLabelHeight, IdCodes},
        {L"STATIC", L"&Minutes to give:", SS_LEFT, kMargin, kMinutesTop + kLabelDrop, kLabelWidth,
         kLabelHeight, -1},
        {L"EDIT", L"", WS_TABSTOP | WS_BORDER | ES_NUMBER | ES_AUTOHSCROLL, kFieldLeft, kMinutesTop,
         kFieldWidth, kEditHeight, IdMinutes},
        {L"STATIC", L"&Reply (optional):", SS_LEFT, kMargin, kReplyLabelTop, kWide, kLabelHeight,
         -1},
        {L"EDIT", L"", WS_TABSTOP | WS_BORDER | ES_AUTOHSCROLL, kMargin, kReplyTop, kWide,
         kEditHeight, IdReply},
        {L"STATIC", L"", SS_ETCHEDHORZ, kMargin, kLineTop, kWide, 2, -1},
        {L"STATIC", L"The user's requests", SS_LEFT, kMargin, kRulesTop, kWide, kLabelHeight, -1, 0,
         TControlFont::Bold},
        {L"STATIC", L"Requests per &day (0 to 20):", SS_LEFT, kMargin, kPerDayTop + kLabelDrop,
         kLabelWidth, kLabelHeight, -1},
        {L"EDIT", L"", WS_TABSTOP | WS_BORDER | ES_NUMBER | ES_AUTOHSCROLL, kFieldLeft, kPerDayTop,
         kFieldWidth, kEditHeight, IdPerDay},
        {L"STATIC", L"Most minu&tes per request:", SS_LEFT, kMargin, kMostTop + kLabelDrop,
         kLabelWidth, kLabelHeight, -1},
        {L"EDIT", L"", WS_TABSTOP | WS_BORDER | ES_NUMBER | ES_AUTOHSCROLL, kFieldLeft, kMostTop,
         kFieldWidth, kEditHeight, IdMostMinutes},
        {L"BUTTON", L"&Grant", WS_TABSTOP | BS_DEFPUSHBUTTON, ButtonLeft(kClientWidth, 2), top,
         kButtonWidth, kButtonHeight, IDOK},
        {L"BUTTON", L"De&ny", WS_TABSTOP | BS_PUSHBUTTON, ButtonLeft(kClientWidth, 1), top,
         kButtonWidth, kButtonHeight, IdDeny},
        {L"BUTTON", L"Cancel", WS_TABSTOP | BS_PUSHBUTTON, ButtonLeft(kClientWidth, 0), top,
         kButtonWidth, kButtonHeight, IDCANCEL},
    };
    AddControls(table);
    SendMessageW(Control(IdReply), EM_LIMITTEXT, kMaxReplyLength, 0);
    SendMessageW(Control(IdMinutes), EM_LIMITTEXT, 4, 0);
    SendMessageW(Control(IdPerDay), EM_LIMITTEXT, 2, 0);
    SendMessageW(Control(IdMostMinutes), EM_LIMITTEXT, 4, 0);
}

std::wstring TAnswerRequestForm::AsksText(const TAnswerView& view) {
    return view.User + L" asks for " + std::to_wstring(view.Request.Minutes) + L" more minutes";
}

std::wstring TAnswerRequestForm::AskedFromText(const TAnswerView& view) {
    const std::wstring computer = view.Request.Computer.empty() ? L"?" : view.Request.Computer;
    return L"Asked on " + computer + L", " + LocalTimeText(view.Request.AskedAt, view);
}

std::wstring TAnswerRequestForm::CodesText(const TAnswerView& view) {
    const TTimeRequest& request = view.Request;
    const bool today = request.Day == DayOfYearOf(view.Now) && request.Year == view.Now.wYear;
    const int wrong = today ? request.WrongCodes : 0;
    bool locked = false;
    if (!Empty(request.CodesLockedUntil)) {
        SYSTEMTIME utc = UtcNow();
        FILETIME now{};
        SystemTimeToFileTime(&utc, &now);
        locked = CompareFileTime(&request.CodesLockedUntil, &now) > 0;
    }
    if (wrong <= 0 && !locked)
        return std::wstring();
    std::wstring text =
        std::to_wstring(wrong) + (wrong == 1 ? L" wrong code" : L" wrong codes") + L" today";
    if (locked)
        text += L"; code entry locked until " + LocalTimeText(request.CodesLockedUntil, view);
    return text;
}

void TAnswerRequestForm::Prepare(const TAnswerView& view) {
    FView = view;
    FShownRules = FRules = view.Rules;
    FAnswer = TAnswer::None;
    SetWindowTextW(Handle(), (L"Answer request of " + view.User).c_str());
    SetControlText(IdAsks, AsksText(view));
    SetControlText(IdReason, view.Request.Reason.empty()
                                 ? L"No reason given."
                                 : L"\u201C" + view.Request.Reason + L"\u201D");
    SetControlText(IdAskedFrom, AskedFromText(view));
    const std::wstring codes = CodesText(view);
    SetControlText(IdCodes, codes);
    ShowControl(IdCodes, !codes.empty());
    const int grant = std::max(1, std::min(view.Request.Minutes, view.MostGrant));
    SetControlText(IdMinutes, std::to_wstring(grant));
    SetControlText(IdReply, L"");
    SetControlText(IdPerDay, std::to_wstring(view.Rules.PerDay));
    SetControlText(IdMostMinutes, std::to_wstring(view.Rules.MostMinutes));
}

void TAnswerRequestForm::OnShow() {
    FocusOnShow(IdMinutes);
}

bool TAnswerRequestForm::TakeFields() {
    int perDay = 0;
    int most = 0;
    if (!NumberOf(ControlText(IdPerDay), perDay) || perDay > TRequestRules::kLargestPerDay) {
        ShowMessage(Handle(), L"Enter a number of requests per day from 0 to 20.",
                    TMsgKind::Warning);
        SetFocus(Control(IdPerDay));
        return false;
    }
    if (!NumberOf(ControlText(IdMostMinutes), most) || most < 1 || most > 1440) {
        ShowMessage(Handle(), L"Enter the most minutes per request, from 1 to 1440.",
                    TMsgKind::Warning);
        SetFocus(Control(IdMostMinutes));
        return false;
    }
    FRules.PerDay = perDay;
    FRules.MostMinutes = most;
    FReply = ControlText(IdReply);
    if (FReply.size() > static_cast<size_t>(kMaxReplyLength))
        FReply.resize(kMaxReplyLength);
    return true;
}

void TAnswerRequestForm::OnOK() {
    int minutes = 0;
    const int most = std::max(1, FView.MostGrant);
    if (!NumberOf(ControlText(IdMinutes), minutes) || minutes < 1 || minutes > most) {
        ShowMessage(Handle(),
                    L"Enter the minutes to give, from 1 to " + std::to_wstring(most) + L".",
                    TMsgKind::Warning);
        SetFocus(Control(IdMinutes));
        return;
    }
    if (!TakeFields())
        return;
    FGrant = minutes;
    FAnswer = TAnswer::Grant;
    EndModal(IDOK);
}

bool TAnswerRequestForm::OnCommand(int id, int code, HWND) {
    if (id != IdDeny || code != BN_CLICKED)
        return false;
    if (TakeFields()) {
        FGrant = 0;
        FAnswer = TAnswer::Deny;
        EndModal(IdDeny);
    }
    return true;
}

} // namespace vantrel
