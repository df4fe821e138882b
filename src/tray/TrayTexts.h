#pragma once
// What QORtray tells its user of the figures the service wrote: the notification icon's picture
// and tool tip, and the lines of the figures window. Worked out from the figures and the clock
// alone, so that every text can be checked without a window.
#include "model/UserFigures.h"

#include <string>
#include <vector>

namespace vantrel {

// Figures not renewed for more than this come from a service that no longer counts; the
// service writes them after every minute.
inline constexpr int kStaleAfterMinutes = 3;

enum class TTrayPicture { TimeLeft, OutsideHours, OverLimit, Stale };

// How low the time left runs, which the bar's colour tells: at most kLowMinutes, then at most
// kVeryLowMinutes left (the service warns at 10, 5 and 1 minutes).
enum class TTrayLevel { Plenty, Low, VeryLow };
inline constexpr int kLowMinutes = 15;
inline constexpr int kVeryLowMinutes = 5;

// The programs the window lists by name; any further ones are counted on one line.
inline constexpr size_t kProgramLinesShown = 8;
// The notification icon's tool tip holds at most this many characters (NOTIFYICONDATA's szTip
// less its terminating null).
inline constexpr size_t kTipMost = 127;

struct TTrayLine {
    std::wstring Label;
    std::wstring Value;

    bool operator==(const TTrayLine& other) const {
        return Label == other.Label && Value == other.Value;
    }
};

struct TTrayView {
    // Only a user with a limit has an icon.
    bool ShowIcon = false;
    TTrayPicture Picture = TTrayPicture::TimeLeft;
    // Today's share of time left, 0 to 100, as the main window's bar shows it; 0 while the
    // figures are out of date.
    int Share = 0;
    // With time left: how low it runs.
    TTrayLevel Level = TTrayLevel::Plenty;
    std::wstring Tip;
    // The figures window: one sentence on where the user stands, then the figures (none for a
    // user without a limit).
    std::wstring Summary;
    std::vector<TTrayLine> Lines;
    // The programs with a limit of their own that run, least time left first: "Game:" and
    // "20 minutes left today" (at most kProgramLinesShown, then one line of how many more).
    // The tool tip ends with as many of them as it has room for.
    std::vector<TTrayLine> Programs;

    bool operator==(const TTrayView& other) const {
        return ShowIcon == other.ShowIcon && Picture == other.Picture && Share == other.Share &&
               Level == other.Level && Tip == other.Tip && Summary == other.Summary &&
               Lines == other.Lines && Programs == other.Programs;
    }
    bool operator!=(const TTrayView& other) const { return !(*this == other); }
};

// The view of the figures read now; nullptr when none could be read.
TTrayView TrayViewOf(const TUserFigures* figures);

// "Game: 20 minutes left today", "Game: 1 minute left today", "Game: not allowed now".
std::wstring ProgramLeftText(const TProgramLeft& program);

// "45 minutes", "1 hour", "2 hours 5 minutes"; a negative count as its size.
std::wstring DurationText(long long minutes);

} // namespace vantrel
