#pragma once
// A user's week as a bar chart: one bar per day of the minutes used, stacked by computer in the
// colours of the legend above (each computer's colour comes from its name, so it stays from one
// opening to the next; this computer is named so), or, by program, one bar per program side by
// side (programs that ran at the same time each count the minute, so their minutes are not a
// part of the day's and are never stacked): the week's biggest programs in colours of their own,
// the rest as "Other programs"; the day's time limit marked across its bar
// (and limit + bonus on a day with a bonus), the part beyond it striped in the warning colour;
// the day's total in a row above the plot, where no limit line runs; under each bar the day and
// its allowed hours. The value axis counts durations ("1 h 30"), not times of day. One day is
// current: the arrow keys, Home and End move it, a click chooses it. Its figures are the chart's
// value for assistive technology, and every bar tells its figures in a tool tip. Painted off-screen
// and copied in one step.
#include "model/ProgramUsage.h"
#include "model/WeekUsage.h"
#include "ui/controls/AccessibleValue.h"
#include "ui/controls/Gdi.h"
#include "ui/controls/Window.h"

#include <string>

namespace vantrel {

inline constexpr COLORREF kOverLimitColor = RGB(216, 58, 58);
inline constexpr COLORREF kBonusColor = RGB(54, 160, 60);
// WM_COMMAND code to the parent when the current day changed.
inline constexpr WORD kWeekChartChanged = 0x0400;

// What the bars stand for.
enum class TWeekChartView { Computers, Programs };
// Programs the chart by program gives a colour of its own; the others are "Other programs".
inline constexpr size_t kChartProgramsShown = 6;

// The day's programs in one sentence, as the tool tip or a screen reader tells them.
std::wstring DayProgramsText(const TDayUsage& day, const TProgramList& programs);

// A duration as the chart labels it: "0", "45 min", "2 h", "1 h 30", "1 h 05".
std::wstring DurationLabel(long long minutes);
// Puts the week's computers, and each day's, in the legend's order: this computer first, then
// the others by name (ignoring case), so that the legend, the bars and the day's sentence all
// name them alike, whatever order the store listed them in.
void OrderComputers(TWeekUsage& week, const std::wstring& thisComputer);

class TWeekChart : public TWindow, private TAccessibleSource {
public:
    static constexpr const wchar_t* kClassName = L"VantrelWeekChart";

    // A child of `parent` with its client rectangle at `bounds` (pixels of the parent), drawn
    // for `dpi`; `name` is what a screen reader calls it.
    bool Create(HWND parent, int id, const RECT& bounds, int dpi, const wchar_t* name);
    // `thisComputer` is marked in the legend.
    void SetWeek(const TWeekUsage& week, const std::wstring& thisComputer = std::wstring());
    const TWeekUsage& Week() const { return FWeek; }
    // Each day's programs summed over the computers, the oldest day first, as the week's days.
    void SetPrograms(const std::vector<TProgramList>& days);
    void SetView(TWeekChartView view);
    TWeekChartView View() const { return FView; }
    // The series the bars show, in the legend's order: the computers, or the programs shown
    // ("Other programs" last), and a series' minutes on a day.
    const std::vector<std::wstring>& Series() const;
    int SeriesMinutes(int day, size_t series) const;
    // The current day's figures in a sentence, for the view shown.
    std::wstring DayText(int day) const;
    void SetDpi(int dpi);

    // The current day, 0 (the oldest) to 6 (today).
    int CurrentDay() const { return FCurrent; }
    void SetCurrentDay(int day);
    // The tool tip that tells each bar's figures (one tool per day, its id the day).
    HWND ToolTip() const { return FToolTip; }
    // The colour of the legend's n-th computer (the n-th series).
    COLORREF ComputerColor(size_t index) const;
    // The colour a computer's name gives it, unless another computer of the week had it first.
    static COLORREF ColorOfName(const std::wstring& computer);

    // The layout for the present size, DPI and font, in client pixels.
    RECT PlotRect() const;
    // The whole column of a day: its bar, the room above it and its labels.
    RECT DayRect(int day) const;
    RECT BarRect(int day) const;
    // The height in the plot of a number of minutes.
    int MinutesY(long long minutes) const;
    // The minutes the plot's top stands for: a whole number of grid steps.
    int ScaleMinutes() const { return FScaleMinutes; }
    int GridStep() const { return FGridStep; }
    // The legend's entries, in their order, with the place of each.
    struct TLegendEntry {
        std::wstring Text;
        RECT Bounds;
    };
    const std::vector<TLegendEntry>& Legend() const { return Layout().Legend; }

protected:
    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;
    void OnHandleDestroyed() override { FAccessible.Disconnect(); }

private:
    std::wstring AccessibleValue() const override;
    int Scale(int pixels) const;
    int LineHeight() const { return Layout().Line; }
    // Measured once for each size, DPI, font and week: painting asks for it again and again.
    struct TLayout {
        int Line = 0;
        std::vector<TLegendEntry> Legend;
        RECT Plot{};
    };
    const TLayout& Layout() const;
    void LayoutChanged();
    void ComputeScale();
    void UpdateTools();
    void Paint(HDC dc);
    void PaintLegend(HDC dc) const;
    void PaintDay(HDC dc, int day) const;
    void AssignColors();
    int DayAt(int x) const;

    TWeekUsage FWeek;
    TWeekChartView FView = TWeekChartView::Computers;
    std::vector<TProgramList> FProgramDays;
    // The programs shown and their minutes per day ([day][series]).
    std::vector<std::wstring> FPrograms;
    std::vector<std::vector<int>> FProgramMinutes;
    std::wstring FThisComputer;
    std::vector<COLORREF> FColors;
    int FDpi = 96;
    int FCurrent = 6;
    int FScaleMinutes = 60;
    int FGridStep = 15;
    HFONT FFont = nullptr;
    HWND FToolTip = nullptr;
    // The text of the tip shown; the tool tip reads it after the notification.
    std::wstring FTipText;
    TMemoryPicture FBuffer;
    mutable TLayout FLayout;
    mutable bool FLayoutValid = false;
    TAccessibleClient FAccessible;
};

} // namespace vantrel
