#pragma once
// The main window's commands, one line each. A line declares the command's id
// TMainCommand::<name>, its handler TMainForm::<name>Execute and its action in the command
// table; MainCommands.cpp builds the table from the lines and says where each command shows
// (menu bar, tool bar, pop-up menu) by its id. Adding a command is thus a line here, its
// handler, and its id where it shows; a misspelt name does not compile.
//
// X(name, category, caption with the menu bar's access key after "&", picture (TMainImage),
//   shortcut key, when it is enabled (TEnabledWhen))
// clang-format off
#define VANTREL_MAIN_COMMANDS(X)                                                                           \
    X(AMFileExit,                L"File",  L"&Exit",                   None,          0,     Always)       \
    X(AMEditDailyTimeLimits,     L"Users", L"&Daily time limits...",   DailyLimits,   0,     UserSelected) \
    X(AMEditDetailedTimeUsage,   L"Users", L"De&tailed time usage...", DetailedUsage, 0,     UserSelected) \
    X(AMEditWeeklyTimeUsage,     L"Users", L"&Weekly time usage...",   WeeklyUsage,   VK_F7, UserSelected) \
    X(AMEditIncreaseTodaysLimit, L"Users", L"&Increase bonus time...", BonusMore,     0,     UserSelected) \
    X(AMEditDecreaseTodaysLimit, L"Users", L"D&ecrease bonus time...", BonusLess,     0,     UserSelected) \
    X(AMEditRefresh,             L"Tools", L"&Refresh user data",      Refresh,       0,     Always)       \
    X(AMToolsUsageReport,        L"Tools", L"&Time usage report...",   Report,        0,     Always)       \
    X(AMToolsPreferences,        L"Tools", L"&Preferences...",         Preferences,   0,     Always)       \
    X(AMToolsLog,                L"Tools", L"&View logfile...",        ViewLog,       0,     Always)       \
    X(AMHelpHelp,                L"Help",  L"&Help",                   Help,          VK_F1, Always)       \
    X(AMHelpAbout,               L"Help",  L"&About...",               About,         0,     Always)
// clang-format on

namespace vantrel {

enum class TMainCommand : int {
#define VANTREL_COMMAND_ID(name, ...) name,
    VANTREL_MAIN_COMMANDS(VANTREL_COMMAND_ID)
#undef VANTREL_COMMAND_ID
};

// Not a command: the line between two groups of a menu or the tool bar.
inline constexpr TMainCommand kSeparator = static_cast<TMainCommand>(-1);

enum class TEnabledWhen {
    Always,
    // While the selected row of the user list carries a user; the command works on that user.
    UserSelected,
};

} // namespace vantrel
