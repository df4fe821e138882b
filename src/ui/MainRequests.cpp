// The main window and the users' requests for more time: the open ones on their rows and in the
// status bar, and the "Answer request..." command, which grants (bonus time, as the bonus
// commands give it) or denies a request and writes the answer beside the user's settings, in
// this computer's registry first and then in the network store, as the settings are written.
#include "ui/MainForm.h"

#include "model/Clock.h"
#include "model/Constants.h"
#include "ui/controls/MessageBox.h"
#include "ui/dialogs/AnswerRequestForm.h"

#include <algorithm>
#include <cwchar>

namespace vantrel {

namespace {

// How long the window's thread waits for a network store that does not answer.
constexpr DWORD kRequestConnectMs = 2000;

constexpr wchar_t kStatusFormula[] = L"Time limit + Bonus time - Time usage = Time remaining";

FILETIME UtcFileTime() {
    const SYSTEMTIME utc = UtcNow();
    FILETIME now{};
    SystemTimeToFileTime(&utc, &now);
    return now;
}

} // namespace

std::wstring OpenRequestsText(const std::vector<TOpenRequest>& requests) {
    if (requests.empty())
        return std::wstring();
    if (requests.size() == 1)
        return requests[0].User + L" asks for " + std::to_wstring(requests[0].Minutes) +
               L" more minutes";
    return std::to_wstring(requests.size()) + L" requests for more time";
}

void TMainForm::ReadOpenRequests() {
    FOpenRequests.clear();
    if (FUsers) {
        TRegRoot root;
        // While the network store does not answer, what this computer holds.
        if (Prefs.UseRemoteRegistry)
            FRequestConnect.Connect(Prefs.RemoteRegistry, kRequestConnectMs, root);
        const SYSTEMTIME now = LocalNow();
        for (int i = 0; i < FUsers->Count(); ++i) {
            const std::wstring& name = FUsers->Items(i).Username;
            TTimeRequest request;
            if (!ReadTimeRequest(root.Get(), name, request))
                continue;
            // One left waiting from an earlier day has expired: it is not open.
            ExpireRequest(request, DayOfYearOf(now), now.wYear);
            if (request.State == TRequestState::Waiting && request.Minutes > 0)
                FOpenRequests.push_back({name, request.Minutes});
        }
    }
    FUserList.SetOpenRequests(FOpenRequests);
    UpdateRequestStatus();
}

void TMainForm::UpdateRequestStatus() {
    if (!StatusBar)
        return;
    const std::wstring asks = OpenRequestsText(FOpenRequests);
    const std::wstring text = asks.empty() ? std::wstring(kStatusFormula) : asks;
    wchar_t shown[256] = {};
    SendMessageW(StatusBar, SB_GETTEXTW, 0, reinterpret_cast<LPARAM>(shown));
    if (text != shown)
        SendMessageW(StatusBar, SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

bool TMainForm::SelectedUserAsks() const {
    if (!FUsers)
        return false;
    const TQorUser* user = FUserList.SelectedUser();
    if (!user)
        return false;
    return std::any_of(FOpenRequests.begin(), FOpenRequests.end(), [&](const TOpenRequest& r) {
        return _wcsicmp(r.User.c_str(), user->Username.c_str()) == 0;
    });
}

bool ReadAccountName(const wchar_t* text, size_t length, std::wstring& name) {
    constexpr size_t kLongest = 256;
    std::wstring read;
    for (size_t i = 0; i < length && text[i]; ++i) {
        const wchar_t c = text[i];
        if (read.size() >= kLongest || c < L' ' || c == 0x7F ||
            std::wcschr(L"\\\"/[]:|<>+=;,?*", c))
            return false;
        read += c;
    }
    if (read.find_first_not_of(L" .") == std::wstring::npos)
        return false;
    name = read;
    return true;
}

bool TMainForm::AnswerRequestOf(const std::wstring& user) {
    if (!IsOpen() || FUserList.RowCount() != FUsers->Count() || !FUserList.SelectUser(user))
        return false;
    ListViewUsersSelectItem();
    // Opened from the window's own loop: the caller may be another program waiting for its
    // message to return, or the start-up before the first showing.
    FPendingAnswer = user;
    PostMessageW(Handle(), kCatchUpMessage, 0, 0);
    return true;
}

void TMainForm::TakePendingAnswer() {
    // A dialog, a box or a menu open now: once it has closed (WM_ENABLE, the menu's end).
    if (FPendingAnswer.empty() || !IsOpen() || !IsWindowEnabled(Handle()) || FInMenuLoop)
        return;
    const std::wstring user = std::move(FPendingAnswer);
    FPendingAnswer.clear();
    if (!FUserList.SelectUser(user))
        return;
    ListViewUsersSelectItem();
    if (IsIconic(Handle()))
        ShowWindow(Handle(), SW_RESTORE);
    SetForegroundWindow(Handle());
    if (SelectedUserAsks())
        ActionManager.ExecuteHandler(Action(TMainCommand::AMEditAnswerRequest));
    else
        ShowMessage(Handle(), user + L" has no request waiting for an answer.",
                    TMsgKind::Information);
}

void TMainForm::AMEditAnswerRequestExecute() {
    TQorUser* user = SelectedUser();
    if (!user || !AnswerRequestForm)
        return;
    const std::wstring name = user->Username;
    const bool remote = Prefs.UseRemoteRegistry;
    TRegRoot root;
    if (remote &&
        FRequestConnect.Connect(Prefs.RemoteRegistry, kRequestConnectMs, root) != ERROR_SUCCESS) {
        ShowMessage(Handle(),
                    L"The network store cannot be reached: requests cannot be answered now.",
                    TMsgKind::Warning);
        return;
    }
    // The request and the rules as the store holds them now.
    TAnswerView view;
    view.User = name;
    view.Now = LocalNow();
    view.Clock24 = Prefs.Use24HourClock;
    ReadTimeRequest(root.Get(), name, view.Request);
    ExpireRequest(view.Request, DayOfYearOf(view.Now), view.Now.wYear);
    if (view.Request.State != TRequestState::Waiting) {
        ShowMessage(Handle(),
                    name + L" has no request waiting any more: it was answered, withdrawn or "
                           L"expired meanwhile.",
                    TMsgKind::Information);
        if (IsOpen())
            RefreshUserList();
        return;
    }
    view.Rules = ReadRequestRules(root.Get(), name);
    // What today's bonus can still take: limit and bonus stay within a day.
    view.MostGrant = std::max(1, 1440 - SaturatedInt(user->TodaysTotal()));
    AnswerRequestForm->Prepare(view);
    const int result = AnswerRequestForm->ShowModal();
    if ((result != IDOK && result != TAnswerRequestForm::IdDeny) || !IsOpen())
        return;
    const TAnswer answer = AnswerRequestForm->Answer();
    if (answer == TAnswer::None)
        return;
    user = SelectedUser();
    if (!user || _wcsicmp(user->Username.c_str(), name.c_str()) != 0)
        return;

    // The rules first: they stand whatever became of the request.
    if (AnswerRequestForm->RulesChanged()) {
        const TRequestRules rules = AnswerRequestForm->Rules();
        const LONG local = WriteRequestRules(HKEY_LOCAL_MACHINE, name, rules);
        const LONG stored = remote ? WriteRequestRules(root.Get(), name, rules) : local;
        if (stored != ERROR_SUCCESS) {
            ShowMessage(Handle(), L"Could not save the rules of " + name + L"'s requests.",
                        TMsgKind::Warning);
            if (!IsOpen())
                return;
        }
    }

    // Read fresh: the user may have withdrawn the request, or replaced it with another one,
    // while the dialog was open; only the request shown is answered.
    TTimeRequest fresh;
    ReadTimeRequest(root.Get(), name, fresh);
    const SYSTEMTIME now = LocalNow();
    const FILETIME utc = UtcFileTime();
    const bool same = fresh.Serial == view.Request.Serial;
    if (!same || AnswerRequest(fresh, AnswerRequestForm->GrantMinutes(), AnswerRequestForm->Reply(),
                               utc, DayOfYearOf(now), now.wYear) != TRequestRefusal::None) {
        ShowMessage(Handle(),
                    name +
                        L"'s request was withdrawn, replaced or expired while it was shown: "
                        L"it was not answered" +
                        (answer == TAnswer::Grant ? L" and no time was given." : L"."),
                    TMsgKind::Warning);
        NotifyAndRefresh();
        return;
    }
    if (answer == TAnswer::Grant && !AddBonus(*user, AnswerRequestForm->GrantMinutes())) {
        // The bonus did not reach the store: the request waits on.
        NotifyAndRefresh();
        return;
    }
    if (!IsOpen())
        return;
    const LONG local = WriteTimeRequest(HKEY_LOCAL_MACHINE, name, fresh);
    const LONG stored = remote ? WriteTimeRequest(root.Get(), name, fresh) : local;
    if (stored != ERROR_SUCCESS)
        ShowMessage(Handle(),
                    L"Could not save the answer to " + name + L"'s request" +
                        (answer == TAnswer::Grant ? L"; the bonus time was given." : L"."),
                    TMsgKind::Warning);
    NotifyAndRefresh();
}

} // namespace vantrel
