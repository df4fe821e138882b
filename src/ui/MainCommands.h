#pragma once
// The main window's commands, one line each. A line declares the command's id
// TMainCommand::<name>, its handler TMainForm::<name>Execute, its action in the command table
// and where it shows; MainCommands.cpp builds the menu bar, the tool bar and the list's pop-up
// menu from the lines alone. A misspelt name does not compile.
//
// X(name, category, caption with the menu bar's access key after "&", picture (TMainImage),
//   shortcut key, when it is enabled (TEnabledWhen),
//   place in its menu, on the tool bar, in the pop-up menu (TShown))
//
// The category is the command's menu on the menu bar, captioned "&" + category: the menus
// come in the order their categories first appear, and each surface shows its commands in the
// order of the lines. TShown::Group starts a group: a separator goes before the command unless
// it is the first on its surface.
//
// Adding a command: a line here (in the place it should take on its surfaces) and its
// handler TMainForm::<name>Execute in MainCommands.cpp.
// clang-format off
#define VANTREL_MAIN_COMMANDS(X)                                                                                                \
    X(AMFileExit,                L"File",  L"&Exit",                   None,          0,     Always,       Yes,   No,    No)    \
    X(AMEditDailyTimeLimits,     L"Users", L"&Daily time limits...",   DailyLimits,   0,     UserSelected, Yes,   Yes,   Yes)   \
    X(AMEditDetailedTimeUsage,   L"Users", L"De&tailed time usage...", DetailedUsage, 0,     UserSelected, Yes,   Yes,   Yes)   \
    X(AMEditWeeklyTimeUsage,     L"Users", L"&Weekly time usage...",   WeeklyUsage,   VK_F7, UserSelected, Yes,   Yes,   Yes)   \
    X(AMEditPrograms,            L"Users", L"&Programs...",            Programs,      0,     UserSelected, Yes,   Yes,   Yes)   \
    X(AMEditIncreaseTodaysLimit, L"Users", L"&Increase bonus time...", BonusMore,     0,     UserSelected, Group, Group, Group) \
    X(AMEditDecreaseTodaysLimit, L"Users", L"D&ecrease bonus time...", BonusLess,     0,     UserSelected, Yes,   Yes,   Yes)   \
    X(AMEditAnswerRequest,       L"Users", L"&Answer request...",      AnswerRequest, 0,     UserAsks,     Yes,   Yes,   Yes)   \
    X(AMEditRefresh,             L"Tools", L"&Refresh user data",      Refresh,       0,     Always,       Yes,   Group, No)    \
    X(AMToolsUsageReport,        L"Tools", L"&Time usage report...",   Report,        0,     Always,       Yes,   Yes,   No)    \
    X(AMToolsPreferences,        L"Tools", L"&Preferences...",         Preferences,   0,     Always,       Group, No,    No)    \
    X(AMToolsLog,                L"Tools", L"&View logfile...",        ViewLog,       0,     Always,       Yes,   No,    No)    \
    X(AMToolsStartService,       L"Tools", L"&Start time-limit service", None,        0,     Always,       Yes,   No,    No)    \
    X(AMHelpHelp,                L"Help",  L"&Help",                   Help,          VK_F1, Always,       Yes,   No,    No)    \
    X(AMHelpAbout,               L"Help",  L"&About...",               About,         0,     Always,       Group, No,    No)
// clang-format on

namespace vantrel {

enum class TMainCommand : int {
#define VANTREL_COMMAND_ID(name, ...) name,
    VANTREL_MAIN_COMMANDS(VANTREL_COMMAND_ID)
#undef VANTREL_COMMAND_ID
};

// Whether a command shows on a surface (its menu, the tool bar, the pop-up menu).
enum class TShown {
    No,
    Yes,
    // Shown, with a separator before it.
    Group,
};

enum class TEnabledWhen {
    Always,
    // While the selected row of the user list carries a user; the command works on that user.
    UserSelected,
    // While the selected row's user has a request for more time that waits for an answer.
    UserAsks,
};

} // namespace vantrel
