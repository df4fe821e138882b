// The daily time limits dialog on real windows: a user's week into the grids and lists and
// back, the enabling rule, the presets and their questions, Cancel, the keyboard, both hour
// scales and the layout at 96 and 144 DPI; then its command in the running program, which
// saves, tells the service and refreshes the list only after OK.
#include "ui/dialogs/DailyTimeLimitsForm.h"

#include "DailyTimeLimitsSupport.h"
#include "DpiChildRun.h"
#include "MainFormSupport.h"
#include "controls/TestWindows.h"
#include "ui/Fonts.h"
#include "ui/controls/MessageBox.h"

#include <gtest/gtest.h>
#include <oleacc.h>

#include <algorithm>
#include <climits>
#include <string>
#include <vector>

namespace vantrel::testing {
namespace {

using TForm = TDailyTimeLimitsForm;

struct TDay {
    int Begin, End, Limit;
};

void SetWeek(TQorUser& user, const std::wstring& name, bool qorControl,
             const std::vector<TDay>& days) {
    user.Username = name;
    user.QorControl = qorControl;
    for (int day = 1; day <= 7; ++day) {
        const TDay& d = days[static_cast<size_t>(day - 1)];
        user.AllowBegin(day) = d.Begin;
        user.AllowEnd(day) = d.End;
        user.TimeLimit(day) = d.Limit;
    }
}

struct TQuestion {
    std::wstring Text;
    TMsgKind Kind;
    TMsgButtons Buttons;
};

class DailyTimeLimitsFormTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { SetProcessDPIAware(); }

    void SetUp() override {
        SetMessageBoxSeam(
            [this](HWND owner, const std::wstring& text, TMsgKind kind, TMsgButtons buttons) {
                Questions.push_back({text, kind, buttons});
                EXPECT_EQ(owner, Form.Handle());
                return Answer;
            });
        ASSERT_TRUE(Owner.Handle());
        ASSERT_TRUE(Form.Create(Owner.Handle(), &Prefs));
    }
    void TearDown() override {
        SetShift(false);
        SetMessageBoxSeam(nullptr);
    }

    int Show(std::vector<std::function<void()>> steps) {
        Steps.Run(std::move(steps));
        const int result = Form.ShowModal();
        EXPECT_TRUE(Steps.Idle()) << "the dialog ended before all its steps ran";
        return result;
    }
    void Click(int id) { SendMessageW(Form.Control(id), BM_CLICK, 0, 0); }
    // Picks a list entry as a user does: the selection, then the control's notification.
    void Pick(int weekday, int index) {
        HWND list = Form.Control(TForm::ListId(weekday));
        SendMessageW(list, CB_SETCURSEL, index, 0);
        SendMessageW(Form.Handle(), WM_COMMAND, MAKEWPARAM(TForm::ListId(weekday), CBN_SELCHANGE),
                     reinterpret_cast<LPARAM>(list));
    }
    LPARAM CellPoint(int weekday, int cell) {
        RECT rect = Form.Grid(weekday).CellRect(cell);
        return MAKELPARAM((rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2);
    }
    void Drag(int weekday, int from, int to) {
        HWND grid = Form.Grid(weekday).Handle();
        SendMessageW(grid, WM_LBUTTONDOWN, MK_LBUTTON, CellPoint(weekday, from));
        SendMessageW(grid, WM_MOUSEMOVE, MK_LBUTTON, CellPoint(weekday, to));
        SendMessageW(grid, WM_LBUTTONUP, 0, CellPoint(weekday, to));
    }
    std::wstring SelectedText(int weekday) {
        const TComboBox list = Form.List(weekday);
        return list.ItemText(list.Selected());
    }
    // Every control the check box governs is enabled (or disabled) with it.
    void ExpectUserDataEnabled(bool enabled) {
        const TControlGroup group = TForm::UserDataControls();
        for (int id : group.Ids())
            EXPECT_EQ(enabled, Form.IsControlEnabled(id)) << "control " << id;
        EXPECT_FALSE(Form.IsControlEnabled(TForm::IdEditAllowed));
        EXPECT_FALSE(Form.IsControlEnabled(TForm::IdEditBlocked));
        EXPECT_TRUE(Form.IsControlEnabled(TForm::IdCheckBoxActivateUser));
        EXPECT_TRUE(Form.IsControlEnabled(IDCANCEL));
    }

    // A showing with each scale, checked at the dialog's present DPI.
    void ExpectSaneAtEveryScale() {
        for (bool use24 : {false, true}) {
            SCOPED_TRACE(use24);
            Prefs.Use24HourClock = use24;
            EXPECT_EQ(IDCANCEL, Show({[&] {
                          ExpectSaneLayout(Form.Handle(), Form.Dpi());
                          const SIZE size = THourGrid::SizeFor(Form.Dpi());
                          for (int day = 1; day <= 7; ++day) {
                              const RECT grid =
                                  ClientBounds(Form.Handle(), Form.Grid(day).Handle());
                              EXPECT_EQ(size.cx, grid.right - grid.left);
                              EXPECT_EQ(size.cy, grid.bottom - grid.top);
                          }
                          Click(IDCANCEL);
                      }}));
        }
    }

    testwin::TTestWindow Owner{40, 40, 900, 600};
    TDialog<TForm> Form;
    TQorPrefs Prefs;
    TStepRunner Steps;
    int Answer = IDYES;
    std::vector<TQuestion> Questions;
};

TEST_F(DailyTimeLimitsFormTest, AUsersWeekGoesIntoTheGridsAndListsAndBackOut) {
    TQorUser& user = Form.QorUser();
    SetWeek(user, L"alice", true,
            {{8, 19, 60},
             {0, 24, 600},
             {23, 24, 30},
             {7, 20, 45},         // a limit none of the choices stands for
             {-3, 30, 0},         // a period beyond both ends of the day; no time at all
             {15, 10, -30},       // an inverted period; a negative limit
             {30, 40, INT_MIN}}); // a period after the day; the smallest limit there is
    user.BonusTime = 30;
    user.BonusDayOfYear = 341;
    const int shownBegin[7] = {8, 0, 23, 7, 0, 15, 23};
    const int shownEnd[7] = {19, 24, 24, 20, 24, 16, 24};
    const wchar_t* shownLimit[7] = {L"01:00", L"10:00",  L"00:30",       L"00:45",
                                    L"00:00", L"-00:30", L"-35791394:08"};
    const int listCount[7] = {13, 13, 13, 14, 14, 14, 14};
    bool okAtShow = true;
    bool okAfterDrag = false;
    EXPECT_EQ(IDOK, Show({[&] {
                              EXPECT_EQ(L"Activate computer time limit for user alice:",
                                        Form.ControlText(TForm::IdCheckBoxActivateUser));
                              EXPECT_TRUE(Form.IsChecked(TForm::IdCheckBoxActivateUser));
                              for (int day = 1; day <= 7; ++day) {
                                  SCOPED_TRACE(day);
                                  EXPECT_EQ(shownBegin[day - 1], Form.Grid(day).Begin());
                                  EXPECT_EQ(shownEnd[day - 1], Form.Grid(day).End());
                                  EXPECT_EQ(shownLimit[day - 1], SelectedText(day));
                                  EXPECT_EQ(listCount[day - 1], Form.List(day).Count());
                              }
                              okAtShow = Form.IsControlEnabled(IDOK);
                              Drag(1, 10, 12);
                              okAfterDrag = Form.IsControlEnabled(IDOK);
                          },
                          [&] { Click(IDOK); }}));
    EXPECT_FALSE(okAtShow);
    EXPECT_TRUE(okAfterDrag);
    // What the grids show is stored, clipped periods included; the extra entries keep their
    // values; the rest of the record is not the dialog's business.
    const TDay stored[7] = {{10, 13, 60}, {0, 24, 600},  {23, 24, 30},     {7, 20, 45},
                            {0, 24, 0},   {15, 16, -30}, {23, 24, INT_MIN}};
    for (int day = 1; day <= 7; ++day) {
        SCOPED_TRACE(day);
        EXPECT_EQ(stored[day - 1].Begin, user.AllowBegin(day));
        EXPECT_EQ(stored[day - 1].End, user.AllowEnd(day));
        EXPECT_EQ(stored[day - 1].Limit, user.TimeLimit(day));
    }
    EXPECT_TRUE(user.QorControl);
    EXPECT_EQ(L"alice", user.Username);
    EXPECT_EQ(30, user.BonusTime);
    EXPECT_EQ(341, user.BonusDayOfYear);

    // The list maps minutes and item indexes both ways; anything else is "no choice" and 120.
    for (int index = 0; index < TForm::kChoiceCount; ++index)
        EXPECT_EQ(index, TForm::MinutesToItemIndex(TForm::ItemIndexToMinutes(index)));
    EXPECT_EQ(-1, TForm::MinutesToItemIndex(45));
    EXPECT_EQ(-1, TForm::MinutesToItemIndex(0));
    EXPECT_EQ(120, TForm::ItemIndexToMinutes(-1));
    EXPECT_EQ(120, TForm::ItemIndexToMinutes(13));
}

TEST_F(DailyTimeLimitsFormTest, TheExtraEntryBelongsToItsDayAndUserAndGoesWhenAnotherIsPicked) {
    TQorUser& user = Form.QorUser();
    const std::vector<TDay> alice{{7, 20, 60},  {7, 20, 60},  {7, 20, 60}, {7, 20, 45},
                                  {7, 20, 120}, {7, 20, 120}, {7, 20, 120}};
    SetWeek(user, L"alice", true, alice);
    // Picked away and back again: the stored value is kept.
    EXPECT_EQ(IDOK, Show({[&] {
                              Pick(4, 3);
                              Pick(4, 13);
                          },
                          [&] { Click(IDOK); }}));
    EXPECT_EQ(45, user.TimeLimit(4));
    // Another entry picked: that one is stored, and the next showing has no extra entry.
    EXPECT_EQ(IDOK, Show({[&] { Pick(4, 1); }, [&] { Click(IDOK); }}));
    EXPECT_EQ(60, user.TimeLimit(4));
    EXPECT_EQ(IDCANCEL, Show({[&] {
                  EXPECT_EQ(13, Form.List(4).Count());
                  EXPECT_EQ(L"01:00", SelectedText(4));
                  Click(IDCANCEL);
              }}));

    // The second user after the first: nothing of the first remains.
    SetWeek(user, L"alice", true, alice);
    EXPECT_EQ(IDCANCEL, Show({[&] { Click(IDCANCEL); }}));
    TQorUser bob;
    bob.Username = L"bob";
    bob.TimeLimit(4) = 600;
    bob.AllowBegin(2) = 0;
    bob.AllowEnd(2) = 3;
    user.Assign(bob);
    EXPECT_EQ(IDCANCEL, Show({[&] {
                  EXPECT_EQ(L"Activate computer time limit for user bob:",
                            Form.ControlText(TForm::IdCheckBoxActivateUser));
                  EXPECT_FALSE(Form.IsChecked(TForm::IdCheckBoxActivateUser));
                  for (int day = 1; day <= 7; ++day) {
                      SCOPED_TRACE(day);
                      EXPECT_EQ(13, Form.List(day).Count());
                      EXPECT_EQ(day == 2 ? 0 : 7, Form.Grid(day).Begin());
                      EXPECT_EQ(day == 2 ? 3 : 20, Form.Grid(day).End());
                  }
                  EXPECT_EQ(L"01:00", SelectedText(1));
                  EXPECT_EQ(L"10:00", SelectedText(4));
                  EXPECT_EQ(L"02:00", SelectedText(7));
                  Click(IDCANCEL);
              }}));
    // A name with an ampersand is shown as it is, not as an access key.
    user.Username = L"Tom&Jerry";
    EXPECT_EQ(IDCANCEL, Show({[&] {
                  EXPECT_EQ(L"Activate computer time limit for user Tom&&Jerry:",
                            Form.ControlText(TForm::IdCheckBoxActivateUser));
                  Click(IDCANCEL);
              }}));
}

TEST_F(DailyTimeLimitsFormTest, TheCheckBoxEnablesTheScheduleAndOKWaitsForAChange) {
    TQorUser& user = Form.QorUser();
    user.Username = L"carol";
    user.QorControl = false;
    EXPECT_EQ(IDCANCEL, Show({[&] {
                                  ExpectUserDataEnabled(false);
                                  EXPECT_FALSE(Form.IsControlEnabled(IDOK));
                                  Click(TForm::IdCheckBoxActivateUser);
                                  EXPECT_TRUE(Form.IsChecked(TForm::IdCheckBoxActivateUser));
                                  ExpectUserDataEnabled(true);
                                  EXPECT_TRUE(Form.IsControlEnabled(IDOK));
                                  Click(TForm::IdCheckBoxActivateUser);
                                  ExpectUserDataEnabled(false);
                                  EXPECT_TRUE(Form.IsControlEnabled(IDOK));
                              },
                              [&] { Click(IDCANCEL); }}));
    // Checked from the start: everything enabled, and OK still waits for a change; a list
    // pick and a grid click each count as one.
    user.QorControl = true;
    bool endedWhileDisabled = true;
    bool okAfterPick = false;
    EXPECT_EQ(IDCANCEL, Show({[&] {
                                  ExpectUserDataEnabled(true);
                                  EXPECT_FALSE(Form.IsControlEnabled(IDOK));
                                  // Enter reaches the dialog whatever the state of OK.
                                  SendMessageW(Form.Handle(), WM_COMMAND, IDOK, 0);
                                  endedWhileDisabled = Form.ModalResult() != 0;
                                  Pick(3, 5);
                                  okAfterPick = Form.IsControlEnabled(IDOK);
                              },
                              [&] { Click(IDCANCEL); }}));
    EXPECT_FALSE(endedWhileDisabled);
    EXPECT_TRUE(okAfterPick);
    bool okAtShow = true;
    bool okAfterClick = false;
    EXPECT_EQ(IDOK, Show({[&] {
                  okAtShow = Form.IsControlEnabled(IDOK);
                  HWND grid = Form.Grid(6).Handle();
                  // A click on the cell that is already the whole run changes
                  // nothing, and still counts.
                  Form.Grid(6).SetPeriod(9, 10);
                  SendMessageW(grid, WM_LBUTTONDOWN, MK_LBUTTON, CellPoint(6, 9));
                  SendMessageW(grid, WM_LBUTTONUP, 0, CellPoint(6, 9));
                  okAfterClick = Form.IsControlEnabled(IDOK);
                  PressKey(VK_RETURN);
              }}));
    EXPECT_FALSE(okAtShow);
    EXPECT_TRUE(okAfterClick);
    EXPECT_EQ(9, user.AllowBegin(6));
    EXPECT_EQ(10, user.AllowEnd(6));
}

TEST_F(DailyTimeLimitsFormTest, EachPresetAsksAndChangesTheWeekOnlyOnYes) {
    struct TPreset {
        int Button;
        const wchar_t* Question;
        int Begin, End, LimitMonThu, LimitFriSun;
        const wchar_t *TextMonThu, *TextFriSun;
    };
    const TPreset presets[] = {
        {TForm::IdButtonStrict, L"Are you sure you want to revert to the strict values?", 8, 19, 60,
         60, L"01:00", L"01:00"},
        {TForm::IdButtonDefault, L"Are you sure you want to revert to default values?", 7, 20, 60,
         120, L"01:00", L"02:00"},
        {TForm::IdButtonLenient, L"Are you sure you want to revert to lenient values?", 6, 22, 120,
         240, L"02:00", L"04:00"},
    };
    TQorUser& user = Form.QorUser();
    for (const TPreset& preset : presets) {
        SCOPED_TRACE(preset.Button);
        SetWeek(user, L"dave", true, std::vector<TDay>(7, TDay{9, 11, 90}));
        user.BonusTime = 30;
        user.BonusDayOfYear = 341;
        Questions.clear();
        // No: the question, and nothing else.
        Answer = IDNO;
        EXPECT_EQ(IDCANCEL, Show({[&] {
                      Click(preset.Button);
                      ASSERT_EQ(1u, Questions.size());
                      EXPECT_EQ(preset.Question, Questions[0].Text);
                      EXPECT_EQ(TMsgKind::Confirm, Questions[0].Kind);
                      EXPECT_EQ(TMsgButtons::YesNo, Questions[0].Buttons);
                      EXPECT_TRUE(Form.IsChecked(TForm::IdCheckBoxActivateUser));
                      EXPECT_FALSE(Form.IsControlEnabled(IDOK));
                      for (int day = 1; day <= 7; ++day) {
                          EXPECT_EQ(9, Form.Grid(day).Begin());
                          EXPECT_EQ(11, Form.Grid(day).End());
                          EXPECT_EQ(L"01:30", SelectedText(day));
                      }
                      Click(IDCANCEL);
                  }}));
        // Yes: the preset's week on screen, the box checked (the preset itself turns the
        // limits off), everything enabled, OK too.
        Answer = IDYES;
        EXPECT_EQ(IDOK, Show({[&] {
                                  Click(preset.Button);
                                  EXPECT_EQ(2u, Questions.size());
                                  EXPECT_TRUE(Form.IsChecked(TForm::IdCheckBoxActivateUser));
                                  ExpectUserDataEnabled(true);
                                  EXPECT_TRUE(Form.IsControlEnabled(IDOK));
                                  for (int day = 1; day <= 7; ++day) {
                                      SCOPED_TRACE(day);
                                      EXPECT_EQ(preset.Begin, Form.Grid(day).Begin());
                                      EXPECT_EQ(preset.End, Form.Grid(day).End());
                                      EXPECT_EQ(day <= 4 ? preset.TextMonThu : preset.TextFriSun,
                                                SelectedText(day));
                                  }
                              },
                              [&] { Click(IDOK); }}));
        // OK keeps the preset, turns the limits on and, as intended, clears today's bonus.
        EXPECT_TRUE(user.QorControl);
        EXPECT_EQ(L"dave", user.Username);
        for (int day = 1; day <= 7; ++day) {
            EXPECT_EQ(preset.Begin, user.AllowBegin(day));
            EXPECT_EQ(preset.End, user.AllowEnd(day));
            EXPECT_EQ(day <= 4 ? preset.LimitMonThu : preset.LimitFriSun, user.TimeLimit(day));
        }
        EXPECT_EQ(0, user.BonusTime);
        EXPECT_EQ(0, user.BonusDayOfYear);
    }
}

TEST_F(DailyTimeLimitsFormTest, CancelEscapeAndTheCloseBoxLeaveTheCopyAsItWas) {
    TQorUser& user = Form.QorUser();
    SetWeek(user, L"erin", false, std::vector<TDay>(7, TDay{7, 20, 60}));
    auto changeEverything = [&] {
        Click(TForm::IdCheckBoxActivateUser);
        Drag(1, 2, 5);
        Pick(2, 12);
    };
    auto expectUnchanged = [&] {
        EXPECT_FALSE(user.QorControl);
        EXPECT_EQ(7, user.AllowBegin(1));
        EXPECT_EQ(20, user.AllowEnd(1));
        EXPECT_EQ(60, user.TimeLimit(2));
    };
    EXPECT_EQ(IDCANCEL, Show({changeEverything, [&] { Click(IDCANCEL); }}));
    expectUnchanged();
    EXPECT_EQ(IDCANCEL, Show({changeEverything, [&] { PressKey(VK_ESCAPE); }}));
    expectUnchanged();
    EXPECT_EQ(IDCANCEL,
              Show({changeEverything, [&] { PostMessageW(Form.Handle(), WM_CLOSE, 0, 0); }}));
    expectUnchanged();
    // The next showing shows the copy again, not what was left on screen.
    EXPECT_EQ(IDCANCEL, Show({[&] {
                  EXPECT_FALSE(Form.IsChecked(TForm::IdCheckBoxActivateUser));
                  EXPECT_EQ(7, Form.Grid(1).Begin());
                  EXPECT_EQ(L"01:00", SelectedText(2));
                  Click(IDCANCEL);
              }}));
}

TEST_F(DailyTimeLimitsFormTest, WorksFromTheKeyboardAlone) {
    TQorUser& user = Form.QorUser();
    SetWeek(user, L"frank", false, std::vector<TDay>(7, TDay{7, 20, 60}));
    const HWND box = Form.Control(TForm::IdCheckBoxActivateUser);
    std::vector<HWND> expected;
    for (int day = 1; day <= 7; ++day) {
        expected.push_back(Form.Grid(day).Handle());
        expected.push_back(Form.Control(TForm::ListId(day)));
    }
    for (int id : {int(TForm::IdButtonStrict), int(TForm::IdButtonDefault),
                   int(TForm::IdButtonLenient), IDOK, IDCANCEL})
        expected.push_back(Form.Control(id));
    expected.push_back(box);

    std::vector<HWND> seen;
    std::vector<std::function<void()>> steps;
    // An inactive user: from the check box, Tab reaches only Cancel.
    steps.push_back([&] {
        EXPECT_EQ(box, GetFocus());
        PressKey(VK_TAB);
    });
    steps.push_back([&] {
        EXPECT_EQ(Form.Control(IDCANCEL), GetFocus());
        PressKey(VK_TAB);
    });
    // Space on the check box turns the limits on; then Tab walks down the dialog.
    steps.push_back([&] {
        EXPECT_EQ(box, GetFocus());
        PressKey(VK_SPACE);
    });
    steps.push_back([&] {
        EXPECT_TRUE(Form.IsChecked(TForm::IdCheckBoxActivateUser));
        EXPECT_TRUE(Form.IsControlEnabled(IDOK));
        PressKey(VK_TAB);
    });
    for (size_t i = 0; i < expected.size(); ++i)
        steps.push_back([&] {
            seen.push_back(GetFocus());
            PressKey(VK_TAB);
        });
    // Monday's grid: Shift+Left three times shortens the run at its end.
    steps.push_back([&] {
        EXPECT_EQ(Form.Grid(1).Handle(), GetFocus());
        SetShift(true);
        PressKey(VK_LEFT);
        PressKey(VK_LEFT);
        PressKey(VK_LEFT);
    });
    steps.push_back([&] {
        SetShift(false);
        EXPECT_EQ(7, Form.Grid(1).Begin());
        EXPECT_EQ(17, Form.Grid(1).End());
        PressKey(VK_TAB);
    });
    // Monday's list: Down picks the next choice.
    steps.push_back([&] {
        EXPECT_EQ(Form.Control(TForm::ListId(1)), GetFocus());
        PressKey(VK_DOWN);
    });
    steps.push_back([&] {
        EXPECT_EQ(L"01:30", SelectedText(1));
        PressKey(VK_RETURN);
    });
    EXPECT_EQ(IDOK, Show(std::move(steps)));
    EXPECT_EQ(expected, seen);
    EXPECT_TRUE(user.QorControl);
    EXPECT_EQ(7, user.AllowBegin(1));
    EXPECT_EQ(17, user.AllowEnd(1));
    EXPECT_EQ(90, user.TimeLimit(1));
    EXPECT_EQ(60, user.TimeLimit(2));

    // Escape after a change cancels it; Alt+C is Cancel's access key.
    // Under Xvfb without a window manager, X reports the focus changes of the last showing
    // late and Wine then hands the activation to the desktop: give the dialog the focus a
    // user's click would.
    auto refocus = [&] {
        SetForegroundWindow(Form.Handle());
        SetFocus(box);
    };
    EXPECT_EQ(IDCANCEL, Show({[&] {
                                  refocus();
                                  PressKey(VK_SPACE);
                              },
                              [&] {
                                  EXPECT_FALSE(Form.IsChecked(TForm::IdCheckBoxActivateUser));
                                  PressKey(VK_ESCAPE);
                              }}));
    EXPECT_TRUE(user.QorControl);
    EXPECT_EQ(IDCANCEL, Show({[&] {
                  refocus();
                  HWND focus = GetFocus();
                  PostMessageW(focus, WM_SYSKEYDOWN, 'C', 0x20000001);
                  PostMessageW(focus, WM_SYSCHAR, 'c', 0x20000001);
                  PostMessageW(focus, WM_SYSKEYUP, 'C', 0xE0000001);
              }}));
}

TEST_F(DailyTimeLimitsFormTest, LettersTypedInAGridStayThereAndOnlyAltPressesAButton) {
    SetWeek(Form.QorUser(), L"frank", true, std::vector<TDay>(7, TDay{7, 20, 60}));
    const HWND grid = Form.Grid(3).Handle();
    bool open = false;
    EXPECT_EQ(IDCANCEL, Show({[&] {
                                  Drag(3, 8, 10); // OK is enabled
                                  SetFocus(grid);
                                  for (wchar_t letter : {L'o', L'c'})
                                      PostMessageW(grid, WM_CHAR, letter, 1);
                              },
                              [&] {
                                  open = Form.IsModal() && GetFocus() == grid;
                                  PostMessageW(grid, WM_SYSCHAR, 'c', 0x20000001);
                              }}));
    EXPECT_TRUE(open);
}

// What a screen reader reads of a grid through the system's accessibility interface:
// "name|value".
std::wstring ReadAloud(HWND window) {
    IAccessible* object = nullptr;
    if (FAILED(AccessibleObjectFromWindow(window, OBJID_CLIENT, __uuidof(IAccessible),
                                          reinterpret_cast<void**>(&object))))
        return L"(no object)";
    VARIANT self{}; // CHILDID_SELF
    self.vt = VT_I4;
    BSTR name = nullptr, value = nullptr;
    object->get_accName(self, &name);
    object->get_accValue(self, &value);
    object->Release();
    const std::wstring text = std::wstring(name ? name : L"") + L"|" + (value ? value : L"");
    SysFreeString(name);
    SysFreeString(value);
    return text;
}

// Each grid is named by its day and has its period as value, in the clock the scale shows; a
// screen reader hears of every change.
TEST_F(DailyTimeLimitsFormTest, ScreenReadersReadEachGridsDayAndPeriod) {
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    SetWeek(Form.QorUser(), L"frank", true, std::vector<TDay>(7, TDay{7, 20, 60}));
    const struct {
        bool Use24;
        int Day, Begin, End;
        const wchar_t* Read;
    } cases[] = {
        {true, 1, 7, 20, L"Monday|07:00 to 20:00"},
        {true, 2, 0, 24, L"Tuesday|00:00 to 24:00"},
        {false, 1, 7, 20, L"Monday|7:00 a.m. to 8:00 p.m."},
        {false, 3, 12, 13, L"Wednesday|12:00 p.m. to 1:00 p.m."},
        {false, 4, 0, 1, L"Thursday|12:00 a.m. to 1:00 a.m."},
        {false, 7, 23, 24, L"Sunday|11:00 p.m. to 12:00 a.m."},
    };
    for (const auto& c : cases) {
        Prefs.Use24HourClock = c.Use24;
        Form.QorUser().AllowBegin(c.Day) = c.Begin;
        Form.QorUser().AllowEnd(c.Day) = c.End;
        Show({[&] {
            EXPECT_EQ(c.Read, ReadAloud(Form.Grid(c.Day).Handle()));
            Click(IDCANCEL);
        }});
    }
    static std::vector<HWND> changed;
    const HWINEVENTHOOK hook = SetWinEventHook(
        EVENT_OBJECT_VALUECHANGE, EVENT_OBJECT_VALUECHANGE, nullptr,
        [](HWINEVENTHOOK, DWORD, HWND grid, LONG, LONG, DWORD, DWORD) { changed.push_back(grid); },
        GetCurrentProcessId(), GetCurrentThreadId(), WINEVENT_OUTOFCONTEXT);
    Show({[&] {
              changed.clear();
              Drag(1, 9, 11);
          },
          [&] {
              EXPECT_EQ(L"Monday|9:00 a.m. to 12:00 p.m.", ReadAloud(Form.Grid(1).Handle()));
              Click(IDCANCEL);
          }});
    UnhookWinEvent(hook);
    EXPECT_NE(std::count(changed.begin(), changed.end(), Form.Grid(1).Handle()), 0);

    // A grid writes to no address another program sends it; an object held after its grid is
    // gone, when the handle may name another window, answers that it is cut off.
    THourGrid spare;
    ASSERT_TRUE(spare.Create(Owner.Handle(), 1, 0, 0, 96, L"Spare"));
    wchar_t buffer[16] = L"untouched";
    SendMessageW(spare.Handle(), WM_APP + 0x200, 16, reinterpret_cast<LPARAM>(buffer));
    EXPECT_STREQ(L"untouched", buffer);
    IAccessible* held = nullptr;
    ASSERT_HRESULT_SUCCEEDED(AccessibleObjectFromWindow(
        spare.Handle(), OBJID_CLIENT, __uuidof(IAccessible), reinterpret_cast<void**>(&held)));
    DestroyWindow(spare.Handle());
    VARIANT self{};
    self.vt = VT_I4;
    BSTR value = nullptr;
    EXPECT_EQ(CO_E_OBJNOTCONNECTED, held->get_accValue(self, &value));
    held->Release();
    CoUninitialize();
}

TEST_F(DailyTimeLimitsFormTest, TheHourScaleFollowsTheClockPreferenceAtEveryShowing) {
    auto labelCentre = [&](int id) {
        const RECT r = ClientBounds(Form.Handle(), Form.Control(id));
        return (r.left + r.right) / 2;
    };
    auto boundaryX = [&](int boundary) {
        // The grid line before a cell, after the last cell for 24.
        const RECT grid = ClientBounds(Form.Handle(), Form.Grid(1).Handle());
        return boundary < 24 ? grid.left + Form.Grid(1).CellRect(boundary).left - 1
                             : grid.left + Form.Grid(1).CellRect(23).right;
    };
    auto expectScale = [&](bool use24) {
        EXPECT_EQ(!use24, Form.IsControlShown(TForm::IdLabelAm));
        EXPECT_EQ(!use24, Form.IsControlShown(TForm::IdLabelPm));
        const int gridTop = ClientBounds(Form.Handle(), Form.Grid(1).Handle()).top;
        for (int k = 0; k < TForm::kScaleLabels; ++k) {
            SCOPED_TRACE(k);
            const int twelve = TForm::IdScale12First + k;
            const int twentyFour = TForm::IdScale24First + k;
            EXPECT_EQ(!use24, Form.IsControlShown(twelve));
            EXPECT_EQ(use24, Form.IsControlShown(twentyFour));
            EXPECT_EQ(std::to_wstring(k), Form.ControlText(twentyFour));
            EXPECT_EQ(std::to_wstring(k % 12 == 0 ? 12 : k % 12), Form.ControlText(twelve));
            EXPECT_NEAR(boundaryX(k), labelCentre(use24 ? twentyFour : twelve), 1);
            EXPECT_LE(ClientBounds(Form.Handle(), Form.Control(twelve)).bottom, gridTop);
        }
        // "a.m." over the first half of the day, "p.m." over the second, above the hours.
        EXPECT_GT(labelCentre(TForm::IdLabelAm), boundaryX(0));
        EXPECT_LT(labelCentre(TForm::IdLabelAm), boundaryX(12));
        EXPECT_GT(labelCentre(TForm::IdLabelPm), boundaryX(12));
        EXPECT_LT(labelCentre(TForm::IdLabelPm), boundaryX(24));
        EXPECT_LE(ClientBounds(Form.Handle(), Form.Control(TForm::IdLabelAm)).bottom,
                  ClientBounds(Form.Handle(), Form.Control(TForm::IdScale12First)).top);
    };
    for (bool use24 : {false, true, false}) {
        SCOPED_TRACE(use24);
        Prefs.Use24HourClock = use24;
        EXPECT_EQ(IDCANCEL, Show({[&] {
                      expectScale(use24);
                      Click(IDCANCEL);
                  }}));
    }
    // Without preferences: the 12-hour clock.
    Form.Prefs = nullptr;
    EXPECT_EQ(IDCANCEL, Show({[&] {
                  EXPECT_TRUE(Form.IsControlShown(TForm::IdScale12First));
                  EXPECT_FALSE(Form.IsControlShown(TForm::IdScale24First));
                  Click(IDCANCEL);
              }}));
}

TEST_F(DailyTimeLimitsFormTest, CaptionsFontsColoursAndTheListsBeforeAnyUser) {
    // Before any user is loaded every list shows "02:00".
    for (int day = 1; day <= 7; ++day)
        EXPECT_EQ(L"02:00", SelectedText(day)) << day;
    wchar_t caption[64] = {};
    GetWindowTextW(Form.Handle(), caption, 64);
    EXPECT_STREQ(L"Daily time limits", caption);
    EXPECT_EQ(L"Period of time during which access to the computer is allowed:",
              Form.ControlText(TForm::IdLabelPeriod));
    EXPECT_EQ(L"Time limit:", Form.ControlText(TForm::IdLabelTimeLimit));
    EXPECT_EQ(L"(hh:mm)", Form.ControlText(TForm::IdLabelHhMm));
    EXPECT_EQ(L"a.m.", Form.ControlText(TForm::IdLabelAm));
    EXPECT_EQ(L"p.m.", Form.ControlText(TForm::IdLabelPm));
    EXPECT_EQ(L"Allowed", Form.ControlText(TForm::IdLabelAllowed));
    EXPECT_EQ(L"Blocked", Form.ControlText(TForm::IdLabelBlocked));
    EXPECT_EQ(L"Strict", Form.ControlText(TForm::IdButtonStrict));
    EXPECT_EQ(L"Default", Form.ControlText(TForm::IdButtonDefault));
    EXPECT_EQ(L"Lenient", Form.ControlText(TForm::IdButtonLenient));
    EXPECT_EQ(L"&OK", Form.ControlText(IDOK));
    EXPECT_EQ(L"&Cancel", Form.ControlText(IDCANCEL));
    EXPECT_EQ(IDOK, Form.DefaultButton());
    const wchar_t* days[] = {L"Mon", L"Tue", L"Wed", L"Thu", L"Fri", L"Sat", L"Sun"};
    const wchar_t* choices[] = {L"00:30", L"01:00", L"01:30", L"02:00", L"02:30",
                                L"03:00", L"04:00", L"05:00", L"06:00", L"07:00",
                                L"08:00", L"09:00", L"10:00"};
    // Monday at the top, 32 pixels a row; each row a right-aligned day label, the grid and
    // the list, side by side.
    for (int day = 1; day <= 7; ++day) {
        SCOPED_TRACE(day);
        const int label = TForm::IdDayLabelFirst + day - 1;
        EXPECT_EQ(days[day - 1], Form.ControlText(label));
        EXPECT_EQ(SS_RIGHT, GetWindowLongPtrW(Form.Control(label), GWL_STYLE) & SS_TYPEMASK);
        const RECT grid = ClientBounds(Form.Handle(), Form.Grid(day).Handle());
        const RECT list = ClientBounds(Form.Handle(), Form.Control(TForm::ListId(day)));
        const RECT text = ClientBounds(Form.Handle(), Form.Control(label));
        EXPECT_LE(text.right, grid.left);
        EXPECT_LE(grid.right, list.left);
        if (day > 1) {
            const RECT above = ClientBounds(Form.Handle(), Form.Grid(day - 1).Handle());
            EXPECT_EQ(32, grid.top - above.top);
        }
        const TComboBox combo = Form.List(day);
        ASSERT_EQ(13, combo.Count());
        for (int i = 0; i < 13; ++i)
            EXPECT_EQ(choices[i], combo.ItemText(i));
        EXPECT_EQ(CBS_DROPDOWNLIST,
                  GetWindowLongPtrW(combo.Handle(), GWL_STYLE) & (CBS_DROPDOWN | CBS_DROPDOWNLIST));
    }
    // The open list shows all choices at once.
    EXPECT_EQ(IDCANCEL, Show({[&] {
                  HWND combo = Form.Control(TForm::ListId(7));
                  SendMessageW(combo, CB_SHOWDROPDOWN, TRUE, 0);
                  COMBOBOXINFO info{};
                  info.cbSize = sizeof(info);
                  ASSERT_TRUE(GetComboBoxInfo(combo, &info));
                  RECT list{};
                  GetClientRect(info.hwndList, &list);
                  const auto item = SendMessageW(combo, CB_GETITEMHEIGHT, 0, 0);
                  EXPECT_GE(list.bottom, 13 * item);
                  SendMessageW(combo, CB_SHOWDROPDOWN, FALSE, 0);
                  Click(IDCANCEL);
              }}));
    // The system font; bold headings.
    auto fontOf = [&](int id) {
        LOGFONTW lf{};
        GetObjectW(reinterpret_cast<HFONT>(SendMessageW(Form.Control(id), WM_GETFONT, 0, 0)),
                   sizeof(lf), &lf);
        return lf;
    };
    for (int id :
         {int(TForm::IdCheckBoxActivateUser), int(TForm::IdLabelPeriod),
          int(TForm::IdLabelTimeLimit), int(TForm::IdDayLabelFirst), TForm::ListId(1), IDOK}) {
        SCOPED_TRACE(id);
        const LOGFONTW lf = fontOf(id);
        EXPECT_EQ(SystemFontName(), std::wstring(lf.lfFaceName));
        EXPECT_EQ(-MulDiv(SystemFontSize(), Form.Dpi(), 72), lf.lfHeight);
        const bool heading = id == TForm::IdLabelPeriod || id == TForm::IdLabelTimeLimit;
        EXPECT_EQ(heading, lf.lfWeight >= FW_BOLD);
    }
    // The swatches: disabled, in the allowed colour and in the window colour.
    auto swatchColour = [&](int id) {
        HDC dc = GetDC(Form.Handle());
        auto brush = reinterpret_cast<HBRUSH>(
            SendMessageW(Form.Handle(), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                         reinterpret_cast<LPARAM>(Form.Control(id))));
        ReleaseDC(Form.Handle(), dc);
        LOGBRUSH lb{};
        GetObjectW(brush, sizeof(lb), &lb);
        return lb.lbColor;
    };
    EXPECT_EQ(RGB(80, 195, 94), swatchColour(TForm::IdEditAllowed));
    EXPECT_EQ(GetSysColor(COLOR_WINDOW), swatchColour(TForm::IdEditBlocked));
    EXPECT_FALSE(Form.IsControlEnabled(TForm::IdEditAllowed));
    EXPECT_FALSE(Form.IsControlEnabled(TForm::IdEditBlocked));
}

TEST_F(DailyTimeLimitsFormTest, LayoutIsSoundAt96DpiAndAfterMovingTo144) {
    Form.QorUser().Username = L"Administrator";
    ASSERT_EQ(96, Form.Dpi());
    ExpectSaneAtEveryScale();
    RECT client{};
    GetClientRect(Form.Handle(), &client);
    const int width96 = client.right;
    // Moved to a screen of 144 DPI while shown: the grids and the scales follow too.
    bool checked = false;
    EXPECT_EQ(
        IDCANCEL, Show({[&] {
            RECT suggested{0, 0, 1200, 900};
            SendMessageW(Form.Handle(), WM_DPICHANGED, MAKEWPARAM(144, 144),
                         reinterpret_cast<LPARAM>(&suggested));
            ASSERT_EQ(144, Form.Dpi());
            ExpectSaneLayout(Form.Handle(), 144);
            RECT now{};
            GetClientRect(Form.Handle(), &now);
            EXPECT_EQ(MulDiv(width96, 144, 96), now.right);
            // (Not the height: Wine keeps the caption of 96 DPI.)
            const SIZE size = THourGrid::SizeFor(144);
            for (int day = 1; day <= 7; ++day) {
                const RECT grid = ClientBounds(Form.Handle(), Form.Grid(day).Handle());
                EXPECT_EQ(size.cx, grid.right - grid.left);
                EXPECT_EQ(30, Form.Grid(day).CellRect(0).right - Form.Grid(day).CellRect(0).left);
            }
            for (int k = 0; k < TForm::kScaleLabels; ++k) {
                const RECT r = ClientBounds(Form.Handle(), Form.Control(TForm::IdScale12First + k));
                EXPECT_NEAR(Form.CellBoundaryX(k), (r.left + r.right) / 2, 1);
            }
            checked = true;
            Click(IDCANCEL);
        }}));
    EXPECT_TRUE(checked);
}

TEST(DailyTimeLimitsFormDpi, DialogIsSoundWhenMadeAt144Dpi) {
    EXPECT_EQ(0u, RunTestsAtDpi(144, L"DailyTimeLimitsFormAtDpi.*"));
}

class DailyTimeLimitsFormAtDpi : public DailyTimeLimitsFormTest {
protected:
    void SetUp() override {
        if (ExpectedDpi() == 0)
            GTEST_SKIP() << "runs in the child process of DailyTimeLimitsFormDpi";
        DailyTimeLimitsFormTest::SetUp();
    }
};

TEST_F(DailyTimeLimitsFormAtDpi, EverythingFitsAndTheGridsHaveTheirCells) {
    const int dpi = ExpectedDpi();
    ASSERT_EQ(dpi, Form.Dpi());
    Form.QorUser().Username = L"Administrator";
    ExpectSaneAtEveryScale();
    EXPECT_EQ(ScaleForDpi(20, dpi), Form.Grid(1).CellRect(0).right - Form.Grid(1).CellRect(0).left);
    LOGFONTW lf{};
    GetObjectW(Form.DialogFont(), sizeof(lf), &lf);
    EXPECT_EQ(-MulDiv(SystemFontSize(), dpi, 72), lf.lfHeight);
}

// --- The command "Daily time limits..." in the running program ---

DWORD Stored(const std::wstring& user, const wchar_t* name) {
    DWORD value = 0xDEADBEEF;
    EXPECT_TRUE(ReadStoredDword(UserKey(user), name, value)) << Narrow(user) << " " << Narrow(name);
    return value;
}

class DailyTimeLimitsCommand : public MainFormTest {
protected:
    void SetUp() override {
        MainFormTest::SetUp();
        SetMessageBoxSeam(
            [this](HWND, const std::wstring& text, TMsgKind kind, TMsgButtons buttons) {
                Messages.push_back({text, kind});
                return buttons == TMsgButtons::YesNo ? Answer : IDOK;
            });
    }
    void TearDown() override {
        SetShift(false);
        MainFormTest::TearDown();
    }

    TDailyTimeLimitsForm& Dialog() { return App->DailyTimeLimitsForm; }
    // Runs the command as the menu does, with `steps` inside its dialog; whether it showed.
    bool RunCommand(std::vector<std::function<void()>> steps) {
        bool shown = false;
        steps.insert(steps.begin(), [&] { shown = IsWindowVisible(Dialog().Handle()) != FALSE; });
        Steps.Run(std::move(steps));
        SendMessageW(Form().Handle(), WM_COMMAND,
                     Form().Action(TMainCommand::AMEditDailyTimeLimits).CommandId, 0);
        if (!Steps.Idle()) {
            // No dialog came: let the steps run out here, where they can do no harm.
            Pump();
        }
        return shown;
    }
    void Click(int id) { SendMessageW(Dialog().Control(id), BM_CLICK, 0, 0); }
    void Pick(int weekday, int index) {
        HWND list = Dialog().Control(TDailyTimeLimitsForm::ListId(weekday));
        SendMessageW(list, CB_SETCURSEL, index, 0);
        SendMessageW(Dialog().Handle(), WM_COMMAND,
                     MAKEWPARAM(TDailyTimeLimitsForm::ListId(weekday), CBN_SELCHANGE),
                     reinterpret_cast<LPARAM>(list));
    }

    TStepRunner Steps;
    int Answer = IDYES;
};

TEST_F(DailyTimeLimitsCommand, OKWritesTheStoreThenTellsTheServiceThenRefreshesTheList) {
    ASSERT_TRUE(StartStandIn());
    Accounts = {L"alice", L"bob", L"cat", L"dan"}; // cat has never been saved
    SeedUser(L"alice", true, 60);
    SeedUser(L"bob", false, 60, 30);
    SeedUser(L"dan", true, 90, 45);
    RegSetKeyValueW(HKEY_LOCAL_MACHINE, UserKey(L"dan").c_str(), L"TimeLimitWed", REG_SZ, L"9", 4);
    Start();
    Messages.clear();
    SeedUser(L"alice", true, 45); // changed elsewhere since the list was read
    SeedUser(L"bob", false, 30, 45);
    SelectRow(1);
    int sentWhileOpen = -1;
    ASSERT_TRUE(RunCommand(
        {[&] {
             EXPECT_EQ(L"Activate computer time limit for user bob:",
                       Dialog().ControlText(TDailyTimeLimitsForm::IdCheckBoxActivateUser));
             EXPECT_EQ(L"00:30", Dialog().List(4).ItemText(Dialog().List(4).Selected()));
             EXPECT_FALSE(Dialog().IsChecked(TDailyTimeLimitsForm::IdCheckBoxActivateUser));
             Click(TDailyTimeLimitsForm::IdCheckBoxActivateUser);
             Pick(1, 4); // Monday, today: 02:30
             Dialog().Grid(2).SetPeriod(9, 12);
             sentWhileOpen = StandInMessages();
             SeedUser(L"bob", false, 90, 15); // and again while the dialog is open
         },
         [&] { Click(IDOK); }}));
    EXPECT_EQ(0, sentWhileOpen);
    ASSERT_TRUE(PumpUntil([&] { return StandInMessages() == 1; }));
    EXPECT_EQ("40, QORsvc", StandIn.Command("last"));
    // bob's changes are stored over what the store held at OK; other users stay as stored,
    // dan's week that cannot be read whole too, and cat gets the Default week.
    EXPECT_EQ(1u, Stored(L"bob", L"QorControl"));
    EXPECT_EQ(150u, Stored(L"bob", L"TimeLimitMon"));
    EXPECT_EQ(9u, Stored(L"bob", L"AllowBeginTue"));
    EXPECT_EQ(12u, Stored(L"bob", L"AllowEndTue"));
    EXPECT_EQ(7u, Stored(L"bob", L"AllowBeginWed"));
    EXPECT_EQ(90u, Stored(L"bob", L"TimeLimitThu"));
    EXPECT_EQ(15u, Stored(L"bob", L"BonusTime"));
    EXPECT_EQ(45u, Stored(L"alice", L"TimeLimitMon"));
    EXPECT_EQ(90u, Stored(L"dan", L"TimeLimitThu"));
    EXPECT_EQ(120u, Stored(L"cat", L"TimeLimitFri"));
    // The list shows the stored week with bob still selected.
    EXPECT_EQ(L" 02:30", Cell(1, 1));
    EXPECT_EQ(L" 00:15", Cell(1, 2));
    EXPECT_EQ(1, SelectedRow());
    // dan edited himself: his week as the dialog showed it, Wednesday's unreadable limit
    // repaired as it was read and shown (missing: no time), and the bonus that the dialog does
    // not show kept.
    SelectRow(3);
    ASSERT_TRUE(RunCommand({[&] { Pick(2, 1); }, [&] { Click(IDOK); }}));
    const std::pair<const wchar_t*, DWORD> dan[] = {{L"TimeLimitTue", 60},
                                                    {L"TimeLimitWed", 0},
                                                    {L"BonusTime", 45},
                                                    {L"BonusDayOfYear", DWORD{kTestDayOfYear}}};
    for (const auto& [name, value] : dan)
        EXPECT_EQ(value, Stored(L"dan", name)) << name;
    EXPECT_TRUE(Messages.empty());
}

TEST_F(DailyTimeLimitsCommand, CancelWritesNothingAndSendsNothingEvenAfterAPreset) {
    ASSERT_TRUE(StartStandIn());
    Accounts = {L"alice"};
    SeedUser(L"alice", true, 90, 30);
    Start();
    SelectRow(0);
    for (bool escape : {false, true}) {
        ASSERT_TRUE(RunCommand({[&] {
                                    Click(TDailyTimeLimitsForm::IdButtonStrict);
                                    Pick(1, 12);
                                },
                                [&] {
                                    if (escape)
                                        PressKey(VK_ESCAPE);
                                    else
                                        Click(IDCANCEL);
                                }}));
    }
    EXPECT_EQ(90u, Stored(L"alice", L"TimeLimitMon"));
    EXPECT_EQ(7u, Stored(L"alice", L"AllowBeginMon"));
    EXPECT_EQ(30u, Stored(L"alice", L"BonusTime"));
    EXPECT_EQ(90, RowUser(0)->TimeLimitMon);
    EXPECT_EQ(30, RowUser(0)->BonusTime);
    EXPECT_TRUE(RowUser(0)->QorControl);
    // The pipe keeps order: anything the cancelled commands had sent would come first.
    Form().CommitUser(*RowUser(0));
    ASSERT_TRUE(PumpUntil([&] { return StandInMessages() != 0; }));
    Pump();
    EXPECT_EQ(1, StandInMessages());
    ASSERT_EQ(2u, Messages.size()); // the two questions, nothing else
}

TEST_F(DailyTimeLimitsCommand, APresetConfirmedWithOKClearsTodaysBonus) {
    Accounts = {L"alice"};
    SeedUser(L"alice", false, 90, 30);
    Start();
    SelectRow(0);
    ASSERT_TRUE(RunCommand({[&] {
                                Click(TDailyTimeLimitsForm::IdCheckBoxActivateUser);
                                Click(TDailyTimeLimitsForm::IdButtonDefault);
                            },
                            [&] { Click(IDOK); }}));
    ASSERT_EQ(1u, Messages.size());
    EXPECT_EQ(L"Are you sure you want to revert to default values?", Messages[0].Text);
    EXPECT_EQ(TMsgKind::Confirm, Messages[0].Kind);
    EXPECT_EQ(1u, Stored(L"alice", L"QorControl"));
    EXPECT_EQ(7u, Stored(L"alice", L"AllowBeginMon"));
    EXPECT_EQ(20u, Stored(L"alice", L"AllowEndSun"));
    EXPECT_EQ(60u, Stored(L"alice", L"TimeLimitThu"));
    EXPECT_EQ(120u, Stored(L"alice", L"TimeLimitFri"));
    EXPECT_EQ(0u, Stored(L"alice", L"BonusTime"));
    EXPECT_EQ(0u, Stored(L"alice", L"BonusDayOfYear"));
    EXPECT_EQ(L" 01:00", Cell(0, 1));
    EXPECT_EQ(L" 00:00", Cell(0, 2));
}

TEST_F(DailyTimeLimitsCommand, EachUserIsShownWithHisOwnWeekAndTheClockOfThePreferences) {
    Accounts = {L"alice", L"bob"};
    SeedUser(L"alice", true, 45);
    SeedUser(L"bob", true, 600);
    {
        HKEY key = nullptr;
        ASSERT_EQ(ERROR_SUCCESS,
                  RegCreateKeyExW(HKEY_LOCAL_MACHINE, kPreferencesKeyPath, 0, nullptr, 0,
                                  KEY_ALL_ACCESS, nullptr, &key, nullptr));
        WriteDword(key, L"Use24HourClock", 1);
        RegCloseKey(key);
    }
    Start();
    SelectRow(0);
    ASSERT_TRUE(RunCommand({[&] {
        EXPECT_TRUE(Dialog().IsControlShown(TDailyTimeLimitsForm::IdScale24First));
        EXPECT_FALSE(Dialog().IsControlShown(TDailyTimeLimitsForm::IdScale12First));
        for (int day = 1; day <= 7; ++day) {
            const TComboBox list = Dialog().List(day);
            EXPECT_EQ(L"00:45", list.ItemText(list.Selected()));
        }
        Click(IDCANCEL);
    }}));
    SelectRow(1);
    ASSERT_TRUE(RunCommand({[&] {
        EXPECT_EQ(L"Activate computer time limit for user bob:",
                  Dialog().ControlText(TDailyTimeLimitsForm::IdCheckBoxActivateUser));
        for (int day = 1; day <= 7; ++day) {
            const TComboBox list = Dialog().List(day);
            EXPECT_EQ(13, list.Count());
            EXPECT_EQ(L"10:00", list.ItemText(list.Selected()));
        }
        Click(IDCANCEL);
    }}));
    // OK without touching the odd limit keeps it in the store, and Thursday's period, shown
    // clipped and left alone, keeps what was stored for it meanwhile.
    auto storeThursday = [](int begin) {
        RegSetKeyValueW(HKEY_LOCAL_MACHINE, UserKey(L"alice").c_str(), L"AllowBeginThu", REG_DWORD,
                        &begin, sizeof(begin));
    };
    storeThursday(-3);
    SelectRow(0);
    ASSERT_TRUE(RunCommand({[&] {
                                Dialog().Grid(3).SetPeriod(1, 2);
                                storeThursday(8);
                            },
                            [&] {
                                SendMessageW(
                                    Dialog().Handle(), WM_COMMAND,
                                    MAKEWPARAM(TDailyTimeLimitsForm::GridId(3), kHourGridChanged),
                                    reinterpret_cast<LPARAM>(Dialog().Grid(3).Handle()));
                                Click(IDOK);
                            }}));
    EXPECT_EQ(45u, Stored(L"alice", L"TimeLimitMon"));
    EXPECT_EQ(1u, Stored(L"alice", L"AllowBeginWed"));
    EXPECT_EQ(8u, Stored(L"alice", L"AllowBeginThu"));
}

TEST_F(DailyTimeLimitsCommand, DoubleClickOpensItAndWithoutAUserNothingOpens) {
    Accounts = {L"alice"};
    SeedUser(L"alice", true, 60);
    Start();
    // No row selected: the dialog stays hidden.
    EXPECT_FALSE(RunCommand({}));
    SelectRow(0);
    bool shown = false;
    Steps.Run({[&] {
        shown = IsWindowVisible(Dialog().Handle()) != FALSE;
        Click(IDCANCEL);
    }});
    RECT row = RowRect(0);
    LPARAM point = MAKELPARAM(row.left + Form().Scale(30), (row.top + row.bottom) / 2);
    SendMessageW(List(), WM_LBUTTONDBLCLK, MK_LBUTTON, point);
    SendMessageW(List(), WM_LBUTTONUP, 0, point);
    Pump();
    EXPECT_TRUE(shown);
}

} // namespace
} // namespace vantrel::testing
