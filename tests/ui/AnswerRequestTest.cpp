// The users' requests for more time in the main window: their rows and the status bar, the
// "Answer request..." command with its real dialog (grant, deny, a request replaced while it
// was shown, the rules), and "/answer <user>" from the command line and from a second start.
#include "DialogDriver.h"
#include "MainFormSupport.h"

#include "model/TimeRequest.h"
#include "ui/dialogs/AnswerRequestForm.h"

namespace vantrel::testing {
namespace {

using Steps = TModalSteps;
using AF = TAnswerRequestForm;
constexpr TMainCommand kAnswer = TMainCommand::AMEditAnswerRequest;

// A request as the service writes it when the user asks on KIDS-PC at 9:30 UTC of the day.
TTimeRequest Ask(const std::wstring& user, int minutes, int day = kTestDayOfYear,
                 const std::wstring& reason = L"homework") {
    TTimeRequest request;
    ReadTimeRequest(HKEY_LOCAL_MACHINE, user, request);
    SYSTEMTIME at = TestToday();
    at.wHour = 9;
    at.wMinute = 30;
    FILETIME asked{};
    SystemTimeToFileTime(&at, &asked);
    EXPECT_EQ(AskForTime(request, TRequestRules{}, minutes, reason, L"KIDS-PC", asked, day, 2026),
              TRequestRefusal::None);
    EXPECT_EQ(WriteTimeRequest(HKEY_LOCAL_MACHINE, user, request), ERROR_SUCCESS);
    return request;
}

TTimeRequest Stored(const std::wstring& user) {
    TTimeRequest request;
    EXPECT_TRUE(ReadTimeRequest(HKEY_LOCAL_MACHINE, user, request));
    return request;
}

class AnswerRequests : public MainFormTest {
protected:
    AF& Dialog() { return App->AnswerRequestForm; }

    std::wstring StatusText() {
        wchar_t text[256] = {};
        SendMessageW(Form().StatusBar, SB_GETTEXTW, 0, reinterpret_cast<LPARAM>(text));
        return text;
    }
    static DWORD Bonus(const std::wstring& user) {
        DWORD value = 0xDEADBEEF;
        ReadStoredDword(UserKey(user), L"BonusTime", value);
        return value;
    }
    // The command run on `row` while `steps` drive its dialog; the dialog's result, 0 when it
    // did not show.
    int Answer(int row, std::vector<Steps::TStep> steps) {
        SelectRow(row);
        bool shown = false;
        steps.insert(steps.begin(), [&shown] { shown = true; });
        Steps::Run(Dialog(), std::move(steps), [&] {
            Form().ActionManager.Execute(Form().Action(kAnswer));
            return 0;
        });
        return shown ? Dialog().ModalResult() : 0;
    }
    Steps::TStep Type(int id, const std::wstring& text) {
        return [this, id, text] { Dialog().SetControlText(id, text); };
    }
    Steps::TStep Click(int id) {
        return [this, id] { SendMessageW(Dialog().Control(id), BM_CLICK, 0, 0); };
    }
};

// Only a request that waits today shows: on its row, in the status bar and as the enabled
// command; the rows' reading after the service's news brings new ones along.
TEST_F(AnswerRequests, RowsAndStatusBarShowOpenRequests) {
    Accounts = {L"amy", L"ben", L"cat"};
    for (const wchar_t* user : {L"amy", L"ben", L"cat"})
        SeedUser(user, true, 120);
    Ask(L"amy", 30);
    Ask(L"ben", 45, kTestDayOfYear - 1); // yesterday's: expired
    TTimeRequest answered = Ask(L"cat", 20);
    FILETIME now{};
    ASSERT_EQ(AnswerRequest(answered, 20, L"", now, kTestDayOfYear, 2026), TRequestRefusal::None);
    ASSERT_EQ(WriteTimeRequest(HKEY_LOCAL_MACHINE, L"cat", answered), ERROR_SUCCESS);
    Start();

    EXPECT_EQ(Cell(0, 0), L"amy (asks 30 min)");
    EXPECT_EQ(Cell(1, 0), L"ben");
    EXPECT_EQ(Cell(2, 0), L"cat");
    EXPECT_EQ(StatusText(), L"amy asks for 30 more minutes");
    const struct {
        int Row;
        bool Enabled;
    } rows[] = {{-1, false}, {0, true}, {1, false}, {2, false}};
    for (const auto& r : rows) {
        SelectRow(r.Row);
        EXPECT_EQ(r.Enabled, MenuEnabled(kAnswer)) << r.Row;
        EXPECT_EQ(r.Enabled, ToolEnabled(kAnswer)) << r.Row;
        EXPECT_EQ(r.Enabled, PopupEnabled(kAnswer)) << r.Row;
    }

    // The service writes a request and reads the settings again: its news makes the rows read
    // everything they show, the requests too.
    Ask(L"ben", 15);
    Form().RereadRowsAtNextUpdate();
    Form().LiveUpdate();
    EXPECT_EQ(Cell(1, 0), L"ben (asks 15 min)");
    EXPECT_EQ(StatusText(), L"2 requests for more time");
    SelectRow(1);
    EXPECT_TRUE(MenuEnabled(kAnswer));
}

// Grant gives the bonus as the bonus commands do (onto the bonus stored now), writes the
// request as granted with the reply, and tells the service; the row and status bar clear.
TEST_F(AnswerRequests, GrantGivesBonusAndAnswersTheRequest) {
    ASSERT_TRUE(StartStandIn());
    Accounts = {L"amy"};
    SeedUser(L"amy", true, 120, 10);
    Ask(L"amy", 30, kTestDayOfYear, L"finish my project");
    Start();
    ASSERT_TRUE(PumpUntil([&] { return StandIn.Command("stats").find("clients=1") == 0; }));

    std::wstring asks, reason, from, minutes;
    EXPECT_EQ(Answer(0, {[&] {
                             asks = Dialog().ControlText(AF::IdAsks);
                             reason = Dialog().ControlText(AF::IdReason);
                             from = Dialog().ControlText(AF::IdAskedFrom);
                             minutes = Dialog().ControlText(AF::IdMinutes);
                             ExpectSoundLayout(Dialog());
                             // A bonus given elsewhere meanwhile counts.
                             SeedUser(L"amy", true, 120, 25);
                         },
                         Type(AF::IdMinutes, L"45"), Type(AF::IdReply, L"Well done"),
                         [] { Steps::Key(VK_RETURN); }}),
              IDOK);
    EXPECT_EQ(asks, L"amy asks for 30 more minutes");
    EXPECT_EQ(reason, L"\u201Cfinish my project\u201D");
    EXPECT_EQ(from, L"Asked on KIDS-PC, 9:30 a.m.");
    EXPECT_EQ(minutes, L"30");
    EXPECT_EQ(Bonus(L"amy"), 70u);
    const TTimeRequest request = Stored(L"amy");
    EXPECT_EQ(request.State, TRequestState::Granted);
    EXPECT_EQ(request.Granted, 45);
    EXPECT_EQ(request.Reply, L"Well done");
    EXPECT_FALSE(Dialog().IsControlShown(AF::IdCodes));
    EXPECT_EQ(Cell(0, 0), L"amy");
    EXPECT_EQ(StatusText(), L"Time limit + Bonus time - Time usage = Time remaining");
    EXPECT_TRUE(Messages.empty());
    ASSERT_TRUE(PumpUntil([&] { return StandInMessages() > 0; }));
    EXPECT_EQ(StandIn.Command("last"), "40, QORsvc");
}

// A request withdrawn or replaced while the dialog showed it is not answered, and no time is
// given; an amount beyond the bonus's bound keeps the dialog open.
TEST_F(AnswerRequests, RequestChangedMeanwhileIsNotAnswered) {
    Accounts = {L"amy"};
    SeedUser(L"amy", true, 1400, 0);
    Ask(L"amy", 30);
    Start();

    int boxes = 0;
    EXPECT_EQ(Answer(0, {Type(AF::IdMinutes, L"41"), [] { Steps::Key(VK_RETURN); },
                         [&] { boxes = static_cast<int>(Messages.size()); },
                         [] { Ask(L"amy", 60, kTestDayOfYear, L"another one"); },
                         Type(AF::IdMinutes, L"40"), [] { Steps::Key(VK_RETURN); }}),
              IDOK);
    // 1400 + 41 would pass the day's 1440 minutes.
    EXPECT_EQ(boxes, 1);
    ASSERT_EQ(Messages.size(), 2u);
    EXPECT_EQ(Messages[0].Text, L"Enter the minutes to give, from 1 to 40.");
    EXPECT_EQ(Messages[1].Text, L"amy's request was withdrawn, replaced or expired while it was "
                                L"shown: it was not answered and no time was given.");
    EXPECT_EQ(Bonus(L"amy"), 0u);
    const TTimeRequest request = Stored(L"amy");
    EXPECT_EQ(request.State, TRequestState::Waiting);
    EXPECT_EQ(request.Minutes, 60);
    EXPECT_EQ(Cell(0, 0), L"amy (asks 60 min)");
}

// Deny writes the reply and gives nothing; the rules changed in the dialog are stored; the
// day's wrong codes and the lock show.
TEST_F(AnswerRequests, DenyWithReplyAndNewRules) {
    Accounts = {L"amy"};
    SeedUser(L"amy", true, 120, 0);
    TTimeRequest asked = Ask(L"amy", 30);
    asked.WrongCodes = 3;
    SYSTEMTIME until = UtcNow();
    until.wHour = 23;
    SystemTimeToFileTime(&until, &asked.CodesLockedUntil);
    ASSERT_EQ(WriteTimeRequest(HKEY_LOCAL_MACHINE, L"amy", asked), ERROR_SUCCESS);
    Start();

    std::wstring codes;
    EXPECT_EQ(Answer(0, {[&] { codes = Dialog().ControlText(AF::IdCodes); },
                         Type(AF::IdReply, L"Not now: dinner"), Type(AF::IdPerDay, L"21"),
                         Click(AF::IdDeny), Type(AF::IdPerDay, L"3"),
                         Type(AF::IdMostMinutes, L"45"), Click(AF::IdDeny)}),
              AF::IdDeny);
    EXPECT_EQ(codes, L"3 wrong codes today; code entry locked until 11:00 p.m.");
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(Messages[0].Text, L"Enter a number of requests per day from 0 to 20.");
    const TTimeRequest request = Stored(L"amy");
    EXPECT_EQ(request.State, TRequestState::Denied);
    EXPECT_EQ(request.Granted, 0);
    EXPECT_EQ(request.Reply, L"Not now: dinner");
    EXPECT_EQ(request.WrongCodes, 3);
    EXPECT_EQ(Bonus(L"amy"), 0u);
    const TRequestRules rules = ReadRequestRules(HKEY_LOCAL_MACHINE, L"amy");
    EXPECT_EQ(rules.PerDay, 3);
    EXPECT_EQ(rules.MostMinutes, 45);
}

// With a network store the request is read there, whichever computer it was asked on, and the
// answer goes to this computer's registry first and then to the network store, as the settings
// do.
TEST_F(AnswerRequests, NetworkStoreHoldsTheRequestAndTakesTheAnswer) {
    static constexpr wchar_t kNetwork[] = L"Software\\VantrelTestAnswerNetwork";
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, kNetwork);
    Accounts = {L"amy"};
    SeedUser(L"amy", true, 120, 0);
    HKEY network = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE,
                              (std::wstring(kNetwork) + L"\\" + UserKey(L"amy")).c_str(), 0,
                              nullptr, 0, KEY_ALL_ACCESS, nullptr, &network, nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegCopyTreeW(HKEY_LOCAL_MACHINE, UserKey(L"amy").c_str(), network), ERROR_SUCCESS);
    RegCloseKey(network);
    HKEY root = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, kNetwork, 0, KEY_ALL_ACCESS, &root), ERROR_SUCCESS);
    // Asked on another computer: only the network store holds it.
    TTimeRequest asked;
    FILETIME at{};
    ASSERT_EQ(AskForTime(asked, TRequestRules{}, 25, L"", L"OTHER-PC", at, kTestDayOfYear, 2026),
              TRequestRefusal::None);
    ASSERT_EQ(WriteTimeRequest(root, L"amy", asked), ERROR_SUCCESS);
    SeedPrefs(false, true, L"FARAWAY");
    SetRemoteRegistrySeam([&](const std::wstring&, HKEY* connected) {
        return RegOpenKeyExW(HKEY_LOCAL_MACHINE, kNetwork, 0, KEY_ALL_ACCESS, connected);
    });
    Start();
    EXPECT_EQ(Cell(0, 0), L"amy (asks 25 min)");

    EXPECT_EQ(Answer(0, {[] { Steps::Key(VK_RETURN); }}), IDOK);
    for (HKEY store : {root, HKEY_LOCAL_MACHINE}) {
        TTimeRequest answered;
        EXPECT_TRUE(ReadTimeRequest(store, L"amy", answered));
        EXPECT_EQ(answered.State, TRequestState::Granted) << (store == root);
        EXPECT_EQ(answered.Granted, 25) << (store == root);
    }
    DWORD bonus = 0;
    ReadStoredDword(std::wstring(kNetwork) + L"\\" + UserKey(L"amy"), L"BonusTime", bonus);
    EXPECT_EQ(bonus, 25u);
    EXPECT_TRUE(Messages.empty());
    EXPECT_EQ(Cell(0, 0), L"amy");
    RegCloseKey(root);
    App.reset();
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, kNetwork);
}

TEST(AnswerCommandLine, TakesOneValidNameOnly) {
    const struct {
        const wchar_t* Line;
        const wchar_t* User; // nullptr: refused
    } cases[] = {
        {L"/answer amy", L"amy"},
        {L"-ANSWER \"Anna Berg\"", L"Anna Berg"},
        {L"", nullptr},
        {L"/answer", nullptr},
        {L"/answer amy ben", nullptr},
        {L"/other amy", nullptr},
        {L"/answer a\\b", nullptr},
        {L"/answer \"a\tb\"", nullptr},
        {L"/answer \" . \"", nullptr},
        {L"/answer a*", nullptr},
    };
    for (const auto& c : cases) {
        std::wstring user;
        EXPECT_EQ(c.User != nullptr, AnswerCommandLine(c.Line, user)) << c.Line;
        if (c.User) {
            EXPECT_EQ(c.User, user) << c.Line;
        }
    }
    std::wstring user;
    EXPECT_FALSE(AnswerCommandLine((L"/answer " + std::wstring(257, L'a')).c_str(), user));
}

// "/answer <user>" selects the user's row and opens the answer once the list is filled; a
// second start hands the name to the running window, which checks it against its rows.
TEST_F(AnswerRequests, AnswerFromTheCommandLineSelectsTheUser) {
    Accounts = {L"amy", L"ben", L"cat"};
    for (const wchar_t* user : {L"amy", L"ben", L"cat"})
        SeedUser(user, true, 120);
    Ask(L"cat", 30);
    Start();

    App->AnswerAtStart = L"CAT";
    int selected = -1;
    std::wstring asks;
    Steps::Run(Dialog(),
               {[&] {
                    selected = SelectedRow();
                    asks = Dialog().ControlText(AF::IdAsks);
                },
                [] { Steps::Key(VK_ESCAPE); }},
               [&] {
                   App->StartAnswer();
                   PumpUntil([&] { return !Form().PendingAnswer().size() && selected >= 0; });
                   return 0;
               });
    EXPECT_EQ(selected, 2);
    EXPECT_EQ(asks, L"cat asks for 30 more minutes");

    // The second start: through the window's own message, as another process sends it.
    SelectRow(0);
    EXPECT_FALSE(AnswerInRunningProgram(L"nobody"));
    EXPECT_EQ(SelectedRow(), 0);
    COPYDATASTRUCT bad{};
    bad.dwData = 1;
    bad.cbData = 8;
    bad.lpData = const_cast<wchar_t*>(L"cat");
    EXPECT_EQ(SendMessageW(Form().Handle(), WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&bad)), 0);
    EXPECT_TRUE(AnswerInRunningProgram(L"ben"));
    EXPECT_EQ(SelectedRow(), 1);
    // ben has no request waiting: a box says so, no dialog.
    ASSERT_TRUE(PumpUntil([&] { return !Messages.empty(); }));
    EXPECT_EQ(Messages[0].Text, L"ben has no request waiting for an answer.");
}

} // namespace
} // namespace vantrel::testing
