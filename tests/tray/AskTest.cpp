#include "model/Constants.h"
#include "model/Registry.h"
#include "model/TimeRequest.h"
#include "tray/AskClient.h"
#include "tray/AskTexts.h"
#include "tray/AskWindow.h"
#include "tray/RequestNews.h"
#include "tray/TrayApp.h"
#include "TraySupport.h"

#include <sddl.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace vantrel {
namespace {

TUserFigures RequestFigures(TRequestState state, int minutes = 30, int granted = 0,
                            const std::wstring& reply = L"") {
    TUserFigures f = TimeLeftFigures();
    f.RequestState = static_cast<int>(state);
    f.RequestMinutes = minutes;
    f.RequestGranted = granted;
    f.RequestReply = reply;
    f.RequestsLeft = 3;
    f.RequestMost = 45;
    return f;
}

TEST(AskViewTest, TheRequestsStatesFromTheFigures) {
    struct TCase {
        const char* Name;
        TUserFigures Figures;
        int AskedAt;
        std::wstring State;
        bool CanAsk;
        bool CanWithdraw;
    };
    const std::vector<TCase> cases = {
        {"none", RequestFigures(TRequestState::None), -1,
         L"You have not asked for more time today.", true, false},
        {"waiting", RequestFigures(TRequestState::Waiting, 30), 19 * 60 + 5,
         L"You asked for 30 minutes at 19:05. Your parent has not answered yet.", true, true},
        {"waiting, time unknown", RequestFigures(TRequestState::Waiting, 1), -1,
         L"You asked for 1 minute. Your parent has not answered yet.", true, true},
        {"granted", RequestFigures(TRequestState::Granted, 30, 20), -1,
         L"Your parent gave you 20 minutes more.", true, false},
        {"denied with a reply", RequestFigures(TRequestState::Denied, 30, 0, L"dinner first"), -1,
         L"Your parent said not now: \"dinner first\"", true, false},
        {"denied", RequestFigures(TRequestState::Denied), -1, L"Your parent said not now.", true,
         false},
        {"withdrawn", RequestFigures(TRequestState::Withdrawn), -1, L"You took your request back.",
         true, false},
        {"expired", RequestFigures(TRequestState::Expired), -1,
         L"Your request ended with the day before your parent answered it.", true, false},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        const TAskView view = AskViewOf(&c.Figures, c.AskedAt);
        EXPECT_EQ(c.State, view.State);
        EXPECT_EQ(c.CanAsk, view.CanAsk);
        EXPECT_EQ(c.CanWithdraw, view.CanWithdraw);
        // Amounts above the most the parent allows are not offered.
        EXPECT_EQ((std::vector<int>{15, 30}), view.Amounts);
        EXPECT_EQ(L"You can ask 3 more times today.", view.Left.substr(0, 31));
        EXPECT_FALSE(view.ShowCode);
    }
}

TEST(AskViewTest, WhatCanBeAskedAndEntered) {
    TUserFigures used = RequestFigures(TRequestState::Denied);
    used.RequestsLeft = 0;
    TUserFigures off = RequestFigures(TRequestState::None);
    off.RequestMost = 0;
    TUserFigures codes = RequestFigures(TRequestState::Waiting);
    codes.CodesPaired = true;
    TUserFigures locked = codes;
    locked.CodesLocked = 12;
    TUserFigures unlimited = RequestFigures(TRequestState::None);
    unlimited.Limited = false;

    EXPECT_FALSE(AskViewOf(&used).CanAsk);
    EXPECT_EQ(L"You cannot ask again today.", AskViewOf(&used).Left);
    EXPECT_TRUE(AskViewOf(&used).Amounts.empty());
    EXPECT_FALSE(AskViewOf(&off).CanAsk);
    EXPECT_EQ(L"Your parent has turned off asking for more time.", AskViewOf(&off).Left);
    EXPECT_TRUE(AskViewOf(&codes).ShowCode);
    EXPECT_FALSE(AskViewOf(&codes).CodeLocked);
    EXPECT_TRUE(AskViewOf(&locked).CodeLocked);
    EXPECT_EQ(L"Too many wrong codes. You can enter a code again in 12 minutes.",
              AskViewOf(&locked).CodeNote);
    EXPECT_FALSE(AskViewOf(&unlimited).CanAsk);
    EXPECT_FALSE(AskViewOf(nullptr).CanAsk);
    EXPECT_FALSE(AskViewOf(nullptr).ShowCode);

    EXPECT_EQ(30, ParseAskAmount(L" 30 ", 45));
    EXPECT_EQ(45, ParseAskAmount(L"45", 45));
    for (const wchar_t* bad : {L"46", L"0", L"", L"-5", L"3O", L"1e2", L"99999"})
        EXPECT_EQ(0, ParseAskAmount(bad, 45)) << bad;
    EXPECT_EQ(L"a b", CleanReason(L" a\x85 b\t "));
    EXPECT_EQ(100u, CleanReason(std::wstring(120, L'x')).size());
    EXPECT_EQ("123456", ParseCodeText(L"123 456"));
    for (const wchar_t* bad : {L"12345", L"1234567", L"12345a", L""})
        EXPECT_EQ("", ParseCodeText(bad));
}

TEST(AskViewTest, EachAnswerIsToldOncePerSerial) {
    TAnswerTeller teller;
    TUserFigures f = RequestFigures(TRequestState::Granted, 30, 30);
    f.RequestSerial = 4;
    EXPECT_EQ(L"", teller.Next(f)); // from before the start
    f.RequestState = static_cast<int>(TRequestState::Waiting);
    f.RequestSerial = 5;
    EXPECT_EQ(L"", teller.Next(f)); // a new request is no answer
    f.RequestState = static_cast<int>(TRequestState::Granted);
    f.RequestSerial = 6;
    EXPECT_EQ(L"You got 30 more minutes", teller.Next(f));
    EXPECT_EQ(L"", teller.Next(f)); // the same figures read again
    f.RequestState = static_cast<int>(TRequestState::Denied);
    f.RequestReply = L"homework first";
    f.RequestSerial = 8;
    EXPECT_EQ(L"Not now: homework first", teller.Next(f));
    f.RequestReply.clear();
    f.RequestSerial = 9;
    EXPECT_EQ(L"Not now", teller.Next(f));
}

// A service of the test on a pipe of its own: it reads one message and answers `answer` (or
// nothing, with `silent`).
class TTestAskServer {
public:
    // Owned by the Administrators as the service's pipe is, or, as a program of a user's would
    // be, by this process's own user.
    TTestAskServer(std::string answer, bool silent = false, bool userOwned = false)
        : FAnswer(std::move(answer)), FSilent(silent) {
        Name = L"QorAskTest" + std::to_wstring(GetCurrentProcessId()) + L"_" +
               std::to_wstring(++Count());
        const std::wstring path = L"\\\\.\\pipe\\" + Name;
        std::wstring sddl = L"O:BAD:(A;;GA;;;WD)";
        if (userOwned) {
            HANDLE token = nullptr;
            OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token);
            BYTE buffer[256];
            DWORD size = 0;
            GetTokenInformation(token, TokenUser, buffer, sizeof(buffer), &size);
            CloseHandle(token);
            LPWSTR text = nullptr;
            ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, &text);
            sddl = L"O:" + std::wstring(text) + L"D:(A;;GA;;;WD)";
            LocalFree(text);
        }
        PSECURITY_DESCRIPTOR security = nullptr;
        ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1,
                                                             &security, nullptr);
        SECURITY_ATTRIBUTES attributes{sizeof(attributes), security, FALSE};
        FPipe.Reset(CreateNamedPipeW(path.c_str(), PIPE_ACCESS_DUPLEX,
                                     PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT, 1, 4096,
                                     4096, 0, &attributes));
        LocalFree(security);
        FThread = std::thread([this] { Serve(); });
    }
    ~TTestAskServer() {
        FDone.store(true);
        // A client that gave up leaves the server waiting: a connection of our own ends it.
        HANDLE poke = CreateFileW((L"\\\\.\\pipe\\" + Name).c_str(), GENERIC_READ | GENERIC_WRITE,
                                  0, nullptr, OPEN_EXISTING, 0, nullptr);
        if (poke != INVALID_HANDLE_VALUE)
            CloseHandle(poke);
        FThread.join();
    }
    std::wstring Name;
    std::string Received;

private:
    static int& Count() {
        static int count = 0;
        return count;
    }
    void Serve() {
        if (!ConnectNamedPipe(FPipe.Get(), nullptr) && GetLastError() != ERROR_PIPE_CONNECTED)
            return;
        char buffer[1024];
        DWORD read = 0;
        if (ReadFile(FPipe.Get(), buffer, sizeof(buffer), &read, nullptr))
            Received.assign(buffer, read);
        if (FSilent) {
            while (!FDone.load())
                Sleep(10);
            return;
        }
        DWORD written = 0;
        WriteFile(FPipe.Get(), FAnswer.data(), static_cast<DWORD>(FAnswer.size()), &written,
                  nullptr);
        FlushFileBuffers(FPipe.Get());
        DisconnectNamedPipe(FPipe.Get());
    }
    std::string FAnswer;
    bool FSilent;
    std::atomic<bool> FDone{false};
    THandle FPipe;
    std::thread FThread;
};

TEST(AskClientTest, SendsOneMessageAndShowsEachAnswer) {
    TAskMessage ask{TAskKind::Ask, 30, L"homework for tomorrow", ""};
    TAskMessage withdraw{TAskKind::Withdraw, 0, L"", ""};
    TAskMessage code{TAskKind::Code, 0, L"", "042917"};
    struct TCase {
        TAskMessage Message;
        std::string Sent;
        std::string Answer;
        std::wstring Shown;
    };
    const std::vector<TCase> cases = {
        {ask, "ASK 30 homework for tomorrow", "OK",
         L"Your request was sent. You will see the answer here."},
        {withdraw, "WITHDRAW", "OK", L"You took your request back."},
        {code, "CODE 042917", "OK 30", L"The code worked: you got 30 minutes more."},
        {ask, "ASK 30 homework for tomorrow", "NO busy",
         L"Vantrel is busy. Try again in a minute."},
        {ask, "ASK 30 homework for tomorrow", "NO too-many",
         L"You have used up your requests for today."},
        {ask, "ASK 30 homework for tomorrow", "NO amount",
         L"That is too much to ask for at once. You can ask for up to 45 minutes."},
        {ask, "ASK 30 homework for tomorrow", "NO not-allowed",
         L"Your parent has turned off asking for more time."},
        {withdraw, "WITHDRAW", "NO nothing-open", L"There is no request waiting to take back."},
        {code, "CODE 042917", "NO wrong-code",
         L"That code did not work. Check it with your parent and try again."},
        {code, "CODE 042917", "NO locked 12",
         L"Too many wrong codes. You can enter a code again in 12 minutes."},
        {code, "CODE 042917", "NO no-codes", L"Codes from your parent's phone are not set up."},
        {ask, "ASK 30 homework for tomorrow", "NO failed",
         L"Vantrel could not keep your request. Try again in a minute."},
        {ask, "ASK 30 homework for tomorrow", "YES PLEASE",
         L"Vantrel gave an answer this program does not understand. Try again in a minute."},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Answer);
        TTestAskServer server(c.Answer);
        const TAskResult result = CallAskPipe(server.Name, c.Message);
        EXPECT_EQ(c.Sent, server.Received);
        EXPECT_EQ(c.Shown, AskResultText(c.Message.Kind, result.Outcome, result.Answer, 45));
    }
}

TEST(AskClientTest, NoServiceOrNoAnswerIsToldWithoutWaitingLong) {
    TAskMessage withdraw{TAskKind::Withdraw, 0, L"", ""};
    const TAskResult none = CallAskPipe(L"QorAskNobodyServesThis", withdraw);
    EXPECT_EQ(TAskOutcome::NoService, none.Outcome);
    EXPECT_EQ(L"Vantrel did not answer. Try again in a minute.",
              AskResultText(TAskKind::Withdraw, none.Outcome, none.Answer, 45));
    TTestAskServer silent("", true);
    EXPECT_EQ(TAskOutcome::NoService, CallAskPipe(silent.Name, withdraw).Outcome);
    EXPECT_EQ("WITHDRAW", silent.Received);
    // A program of a user's serving the name hears nothing: not even a code.
    TTestAskServer stranger("OK 30", false, true);
    const TAskMessage code{TAskKind::Code, 0, L"", "123456"};
    EXPECT_EQ(TAskOutcome::NoService, CallAskPipe(stranger.Name, code).Outcome);
    EXPECT_EQ("", stranger.Received);
}

// The window's buttons send what the fields hold, through a call on its own thread.
TEST(AskClientTest, TheWindowSendsWhatWasTyped) {
    TUserFigures f = RequestFigures(TRequestState::Waiting);
    f.CodesPaired = true;
    std::vector<TAskMessage> sent;
    TAskWindow window;
    window.OnSend = [&](const TAskMessage& m) { sent.push_back(m); };
    ASSERT_TRUE(window.Show(AskViewOf(&f)));
    window.SetAmountText(L"40");
    window.SetReasonText(L"  the last level\r\n ");
    SendMessageW(window.Handle(), WM_COMMAND, TAskWindow::kSendId, 0);
    window.SetAmountText(L"50"); // more than the 45 allowed: not sent
    SendMessageW(window.Handle(), WM_COMMAND, TAskWindow::kSendId, 0);
    EXPECT_NE(std::wstring::npos, window.Text().find(L"a number from 1 to 45"));
    SendMessageW(window.Handle(), WM_COMMAND, TAskWindow::kWithdrawId, 0);
    window.SetCodeText(L"654321");
    SendMessageW(window.Handle(), WM_COMMAND, TAskWindow::kCodeId, 0);
    ASSERT_EQ(3u, sent.size());
    EXPECT_EQ("ASK 40 the last level", FormatAskMessage(sent[0]));
    EXPECT_EQ("WITHDRAW", FormatAskMessage(sent[1]));
    EXPECT_EQ("CODE 654321", FormatAskMessage(sent[2]));
    // While a call runs nothing more goes out; a locked code entry sends nothing.
    window.SetBusy(true);
    SendMessageW(window.Handle(), WM_COMMAND, TAskWindow::kWithdrawId, 0);
    window.SetBusy(false);
    f.CodesLocked = 3;
    window.Update(AskViewOf(&f));
    window.SetCodeText(L"654321");
    SendMessageW(window.Handle(), WM_COMMAND, TAskWindow::kCodeId, 0);
    EXPECT_EQ(3u, sent.size());
    EXPECT_NE(std::wstring::npos, window.Text().find(L"again in 3 minutes"));
}

// The tray sends from its window on a thread of its own and shows the service's answer there.
TEST(AskClientTest, TheTraySendsAndShowsTheAnswer) {
    SetNotifyIconSeam([](DWORD, const NOTIFYICONDATAW&) { return TRUE; });
    TTestAskServer server("NO busy");
    auto app = std::make_unique<TTrayApp>();
    app->SetAskPipe(server.Name);
    // A user without figures: the view is the test's own, and no reading replaces it.
    ASSERT_TRUE(app->Start(L"asktest_nobody"));
    TUserFigures f = RequestFigures(TRequestState::None);
    TAskWindow& window = app->AskWindow();
    ASSERT_TRUE(window.Show(AskViewOf(&f)));
    window.SetAmountText(L"15");
    SendMessageW(window.Handle(), WM_COMMAND, TAskWindow::kSendId, 0);
    EXPECT_NE(std::wstring::npos, window.Text().find(L"Sending..."));
    const DWORD start = GetTickCount();
    while (window.Text().find(L"Vantrel is busy. Try again in a minute.") == std::wstring::npos &&
           GetTickCount() - start < 8000) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&msg);
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    }
    EXPECT_NE(std::wstring::npos, window.Text().find(L"Vantrel is busy. Try again in a minute."));
    EXPECT_EQ("ASK 15", server.Received);
    app.reset();
    SetNotifyIconSeam(nullptr);
}

// The store of the test, with requests of users as the service writes them.
class ParentTray : public TrayClockTest {
protected:
    void TearDown() override {
        SetLaunchSeam(nullptr);
        SetNotifyIconSeam(nullptr);
        for (const wchar_t* name : {L"asktest_anna", L"asktest_ben", L"asktest_cleo"})
            RegDeleteTreeW(HKEY_LOCAL_MACHINE,
                           (std::wstring(std::wstring(kUsersKeyPath)) + name).c_str());
        TrayClockTest::TearDown();
    }
    void Put(const std::wstring& user, TRequestState state, DWORD serial, int day = 68,
             const std::wstring& reason = L"homework") {
        TRegKey key;
        ASSERT_EQ(ERROR_SUCCESS, key.Create(HKEY_LOCAL_MACHINE, std::wstring(kUsersKeyPath) + user,
                                            KEY_ALL_ACCESS));
        TTimeRequest r;
        r.State = state;
        r.Minutes = 30;
        r.Reason = reason;
        r.Computer = L"DESK";
        r.Day = day;
        r.Year = 2026;
        r.AskedThatDay = 1;
        r.Serial = serial;
        ASSERT_EQ(ERROR_SUCCESS, WriteTimeRequest(HKEY_LOCAL_MACHINE, user, r));
    }
};

TEST_F(ParentTray, TellsEachNewRequestOnce) {
    // Monday 9 March 2026 is day 68 of its year.
    Put(L"asktest_anna", TRequestState::Waiting, 3);
    Put(L"asktest_ben", TRequestState::Waiting, 5, 67); // yesterday's: expired
    Put(L"asktest_cleo", TRequestState::Granted, 7);
    TRequestTeller teller;
    std::vector<TWaitingRequest> news = teller.Next(WaitingRequests(HKEY_LOCAL_MACHINE, 68, 2026));
    ASSERT_EQ(1u, news.size());
    EXPECT_EQ(L"asktest_anna asks for 30 more minutes: homework", RequestNewsText(news[0]));
    EXPECT_TRUE(teller.Next(WaitingRequests(HKEY_LOCAL_MACHINE, 68, 2026)).empty());
    Put(L"asktest_anna", TRequestState::Waiting, 4, 68, L""); // a new one replaced it
    news = teller.Next(WaitingRequests(HKEY_LOCAL_MACHINE, 68, 2026));
    ASSERT_EQ(1u, news.size());
    EXPECT_EQ(L"asktest_anna asks for 30 more minutes", RequestNewsText(news[0]));

    // The administrator's tray: a balloon, whose click opens Vantrel at the request.
    std::vector<std::wstring> balloons;
    SetNotifyIconSeam([&](DWORD, const NOTIFYICONDATAW& data) {
        // Only this test's users: the store may hold others.
        if ((data.uFlags & NIF_INFO) && std::wstring(data.szInfo).rfind(L"asktest_", 0) == 0)
            balloons.push_back(data.szInfo);
        return TRUE;
    });
    std::vector<std::wstring> launched;
    SetLaunchSeam([&](const std::wstring& program, const std::wstring& arguments) {
        launched.push_back(program.substr(program.find_last_of(L'\\') + 1) + L" " + arguments);
        return true;
    });
    auto app = std::make_unique<TTrayApp>();
    ASSERT_TRUE(app->Start(L"asktest_parent", true));
    ASSERT_EQ(1u, balloons.size());
    EXPECT_EQ(L"asktest_anna asks for 30 more minutes", balloons[0]);
    app->LookForRequests();
    EXPECT_EQ(1u, balloons.size());
    SendMessageW(app->Handle(), WM_APP + 1, 0, MAKELPARAM(NIN_BALLOONUSERCLICK, 0));
    ASSERT_EQ(1u, launched.size());
    EXPECT_EQ(L"Vantrel.exe /answer \"asktest_anna\"", launched[0]);
    // An answered request is not told.
    Put(L"asktest_ben", TRequestState::Denied, 9);
    app->LookForRequests();
    EXPECT_EQ(1u, balloons.size());
    app.reset();
}

} // namespace
} // namespace vantrel
