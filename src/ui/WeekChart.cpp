#include "ui/WeekChart.h"

#include "ui/WeekChartDraw.h"
#include "win/Dpi.h"
#include "win/WindowClass.h"

#include <commctrl.h>

#include <algorithm>
#include <cwchar>

namespace vantrel {

namespace {

constexpr int kDays = 7;

// Twelve colours told apart also by readers who confuse red and green; none is the warning
// colour or the bonus colour. A computer's colour comes from its name (ComputerColor).
constexpr COLORREF kComputerColors[] = {RGB(45, 108, 192), RGB(240, 160, 32),  RGB(138, 92, 194),
                                        RGB(26, 150, 150), RGB(156, 107, 60),  RGB(194, 86, 155),
                                        RGB(95, 109, 138), RGB(86, 180, 233),  RGB(204, 170, 0),
                                        RGB(20, 70, 120),  RGB(210, 140, 210), RGB(140, 140, 50)};
constexpr size_t kColorCount = sizeof(kComputerColors) / sizeof(kComputerColors[0]);
// "Other programs": none of the palette's, so that it never looks like one program.
constexpr COLORREF kOtherProgramsColor = RGB(160, 164, 170);

// The name's place in the palette: FNV-1a over the name in capitals, since computer names are
// compared ignoring case.
size_t ColorIndexOf(const std::wstring& name) {
    std::wstring upper = name;
    if (!upper.empty())
        CharUpperBuffW(upper.data(), static_cast<DWORD>(upper.size()));
    unsigned hash = 2166136261u;
    for (wchar_t c : upper) {
        hash ^= static_cast<unsigned>(c);
        hash *= 16777619u;
    }
    return hash % kColorCount;
}

bool SameName(const std::wstring& a, const std::wstring& b) {
    return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                                static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

} // namespace

bool TWeekChart::Create(HWND parent, int id, const RECT& bounds, int dpi, const wchar_t* name) {
    if (!RegisterWindowClass(kClassName, CS_DBLCLKS, LoadCursorW(nullptr, IDC_ARROW), nullptr))
        return false;
    FDpi = dpi;
    if (!CreateHandle(WS_EX_CLIENTEDGE, kClassName, name, WS_CHILD | WS_VISIBLE | WS_TABSTOP,
                      bounds.left, bounds.top, bounds.right - bounds.left,
                      bounds.bottom - bounds.top, parent,
                      reinterpret_cast<HMENU>(static_cast<INT_PTR>(id))))
        return false;
    FToolTip = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                               WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT,
                               CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, Handle(), nullptr,
                               GetModuleHandleW(nullptr), nullptr);
    if (FToolTip) {
        for (int day = 0; day < kDays; ++day) {
            TOOLINFOW tool{};
            tool.cbSize = TTTOOLINFOW_V2_SIZE;
            tool.uFlags = TTF_SUBCLASS;
            tool.hwnd = Handle();
            tool.uId = static_cast<UINT_PTR>(day);
            tool.lpszText = LPSTR_TEXTCALLBACKW;
            SendMessageW(FToolTip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
        }
        SendMessageW(FToolTip, TTM_SETMAXTIPWIDTH, 0, Scale(320));
        UpdateTools();
    }
    return true;
}

std::wstring DurationLabel(long long minutes) {
    if (minutes == 0)
        return L"0";
    const bool negative = minutes < 0;
    minutes = negative ? -minutes : minutes;
    std::wstring text;
    if (minutes < 60) {
        text = std::to_wstring(minutes) + L" min";
    } else {
        const long long rest = minutes % 60;
        text = std::to_wstring(minutes / 60) + L" h";
        if (rest != 0)
            text += (rest < 10 ? L" 0" : L" ") + std::to_wstring(rest);
    }
    return negative ? L"-" + text : text;
}

void OrderComputers(TWeekUsage& week, const std::wstring& thisComputer) {
    const auto before = [&thisComputer](const std::wstring& a, const std::wstring& b) {
        const bool aHere = SameName(a, thisComputer);
        const bool bHere = SameName(b, thisComputer);
        if (aHere != bHere)
            return aHere;
        return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                                    static_cast<int>(b.size()), TRUE) == CSTR_LESS_THAN;
    };
    std::stable_sort(week.Computers.begin(), week.Computers.end(), before);
    for (TDayUsage& day : week.Days)
        std::stable_sort(day.Computers.begin(), day.Computers.end(),
                         [&before](const TUsageEntry& a, const TUsageEntry& b) {
                             return before(a.Computer, b.Computer);
                         });
}

void TWeekChart::AssignColors() {
    // Each computer (or program) takes its name's colour; of two that would share one, the later
    // in the legend's order takes the next free colour, so that as many as the palette holds
    // differ.
    FColors.clear();
    std::vector<bool> taken(kColorCount, false);
    const std::vector<std::wstring>& series = Series();
    for (size_t i = 0; i < series.size(); ++i) {
        if (FView == TWeekChartView::Programs && series[i] == kOtherProgramsName &&
            i + 1 == series.size()) {
            FColors.push_back(kOtherProgramsColor);
            continue;
        }
        size_t index = ColorIndexOf(series[i]);
        if (i < kColorCount)
            for (size_t step = 0; step < kColorCount && taken[index]; ++step)
                index = (index + 1) % kColorCount;
        taken[index] = true;
        FColors.push_back(kComputerColors[index]);
    }
}

COLORREF TWeekChart::ComputerColor(size_t index) const {
    return index < FColors.size() ? FColors[index] : kComputerColors[index % kColorCount];
}

COLORREF TWeekChart::ColorOfName(const std::wstring& computer) {
    return kComputerColors[ColorIndexOf(computer)];
}

int TWeekChart::Scale(int pixels) const {
    return ScaleForDpi(pixels, FDpi);
}

void TWeekChart::SetWeek(const TWeekUsage& week, const std::wstring& thisComputer) {
    FWeek = week;
    FThisComputer = thisComputer;
    AssignColors();
    FCurrent = static_cast<int>(FWeek.Days.size()) - 1;
    if (FCurrent < 0)
        FCurrent = 0;
    ComputeScale();
    LayoutChanged();
    if (Handle()) {
        NotifyWinEvent(EVENT_OBJECT_VALUECHANGE, Handle(), OBJID_CLIENT, CHILDID_SELF);
    }
}

std::wstring DayProgramsText(const TDayUsage& day, const TProgramList& programs) {
    wchar_t date[128] = {};
    GetDateFormatW(LOCALE_USER_DEFAULT, DATE_LONGDATE, &day.Date, nullptr, date, 128);
    std::wstring text = std::wstring(date) + L": " + HoursText(day.Minutes) + L" used";
    std::wstring listed;
    for (const TProgramMinutes& program : programs)
        if (program.Minutes > 0)
            listed += (listed.empty() ? L"" : L", ") +
                      (program.Id.empty() ? std::wstring(kOtherProgramsName) : program.Name) +
                      L" " + HoursText(program.Minutes);
    return text + (listed.empty() ? L". No programs recorded." : L". Programs: " + listed + L".");
}

void TWeekChart::SetPrograms(const std::vector<TProgramList>& days) {
    FProgramDays = days;
    // The week's minutes of each program, by identity; the biggest get series of their own.
    TProgramList week;
    for (const TProgramList& day : days)
        SumProgramLists(week, day);
    FPrograms.clear();
    std::vector<std::wstring> ids;
    for (const TProgramMinutes& program : week)
        if (!program.Id.empty() && program.Minutes > 0 && ids.size() < kChartProgramsShown) {
            ids.push_back(program.Id);
            FPrograms.push_back(program.Name);
        }
    bool others = false;
    FProgramMinutes.assign(days.size(), std::vector<int>(ids.size() + 1, 0));
    for (size_t d = 0; d < days.size(); ++d)
        for (const TProgramMinutes& program : days[d]) {
            const auto at = std::find(ids.begin(), ids.end(), program.Id);
            const size_t series = static_cast<size_t>(at - ids.begin());
            long long sum =
                static_cast<long long>(FProgramMinutes[d][series]) + std::max(0, program.Minutes);
            FProgramMinutes[d][series] = static_cast<int>(std::min<long long>(sum, 1 << 30));
            others = others || (at == ids.end() && program.Minutes > 0);
        }
    if (others)
        FPrograms.push_back(kOtherProgramsName);
    AssignColors();
    ComputeScale();
    LayoutChanged();
}

void TWeekChart::SetView(TWeekChartView view) {
    if (view == FView)
        return;
    FView = view;
    AssignColors();
    ComputeScale();
    LayoutChanged();
    if (Handle())
        NotifyWinEvent(EVENT_OBJECT_VALUECHANGE, Handle(), OBJID_CLIENT, CHILDID_SELF);
}

const std::vector<std::wstring>& TWeekChart::Series() const {
    return FView == TWeekChartView::Programs ? FPrograms : FWeek.Computers;
}

int TWeekChart::SeriesMinutes(int day, size_t series) const {
    if (day < 0 || day >= static_cast<int>(FWeek.Days.size()))
        return 0;
    if (FView == TWeekChartView::Computers)
        return series < FWeek.Computers.size()
                   ? FWeek.Days[static_cast<size_t>(day)].MinutesOn(FWeek.Computers[series])
                   : 0;
    if (static_cast<size_t>(day) >= FProgramMinutes.size() ||
        series >= FProgramMinutes[static_cast<size_t>(day)].size())
        return 0;
    return FProgramMinutes[static_cast<size_t>(day)][series];
}

std::wstring TWeekChart::DayText(int day) const {
    if (day < 0 || day >= static_cast<int>(FWeek.Days.size()))
        return std::wstring();
    const TDayUsage& usage = FWeek.Days[static_cast<size_t>(day)];
    if (FView == TWeekChartView::Computers)
        return DayUsageText(usage);
    static const TProgramList none;
    return DayProgramsText(usage, static_cast<size_t>(day) < FProgramDays.size()
                                      ? FProgramDays[static_cast<size_t>(day)]
                                      : none);
}

void TWeekChart::SetDpi(int dpi) {
    FDpi = dpi;
    if (FToolTip)
        SendMessageW(FToolTip, TTM_SETMAXTIPWIDTH, 0, Scale(320));
    LayoutChanged();
}

void TWeekChart::SetCurrentDay(int day) {
    const int last = static_cast<int>(FWeek.Days.size()) - 1;
    day = std::clamp(day, 0, std::max(0, last));
    if (day == FCurrent)
        return;
    FCurrent = day;
    if (!Handle())
        return;
    InvalidateRect(Handle(), nullptr, FALSE);
    NotifyWinEvent(EVENT_OBJECT_VALUECHANGE, Handle(), OBJID_CLIENT, CHILDID_SELF);
    if (HWND parent = GetParent(Handle()))
        SendMessageW(parent, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(Handle()), kWeekChartChanged),
                     reinterpret_cast<LPARAM>(Handle()));
}

std::wstring TWeekChart::AccessibleValue() const {
    return DayText(FCurrent);
}

void TWeekChart::ComputeScale() {
    long long top = 60;
    for (const TDayUsage& day : FWeek.Days) {
        top = std::max<long long>(top, day.Minutes);
        if (day.Limited)
            top = std::max({top, static_cast<long long>(day.TimeLimit), day.Allowed()});
    }
    if (FView == TWeekChartView::Programs)
        for (const std::vector<int>& day : FProgramMinutes)
            for (int minutes : day)
                top = std::max<long long>(top, minutes);
    // Room above the highest bar and limit line, so that no limit runs along the plot's top,
    // right under the row of totals.
    ++top;
    // At most six steps of a round length.
    static const int kSteps[] = {15, 30, 60, 120, 180, 240, 360, 480, 720, 1440};
    long long step = 0;
    for (int candidate : kSteps)
        if (top <= 6LL * candidate) {
            step = candidate;
            break;
        }
    if (step == 0)
        for (step = 2880; top > 6 * step; step *= 2) {
        }
    FGridStep = static_cast<int>(std::min<long long>(step, 1 << 29));
    FScaleMinutes = static_cast<int>(
        std::min<long long>((top + step - 1) / step * step, static_cast<long long>(1) << 30));
}

const TWeekChart::TLayout& TWeekChart::Layout() const {
    if (FLayoutValid)
        return FLayout;
    TLayout layout;
    RECT client{};
    GetClientRect(Handle(), &client);
    TScopedGetDC dc(Handle());
    TScopedSelect font(dc.Get(), FFont ? FFont : GetStockObject(DEFAULT_GUI_FONT));
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc.Get(), &metrics);
    layout.Line = metrics.tmHeight;

    std::vector<std::wstring> texts;
    const bool byComputer = FView == TWeekChartView::Computers;
    for (const std::wstring& name : Series())
        texts.push_back(byComputer && !FThisComputer.empty() && SameName(name, FThisComputer)
                            ? name + L" (this computer)"
                            : name);
    bool bonus = false, over = false;
    for (const TDayUsage& day : FWeek.Days) {
        bonus = bonus || (day.Limited && day.Bonus != 0);
        // The striped part belongs to the stacked bar of the computers.
        over = over || (byComputer && day.OverLimit() > 0);
    }
    if (FWeek.Limited)
        texts.push_back(L"Time limit");
    if (bonus)
        texts.push_back(L"With bonus");
    if (over)
        texts.push_back(L"Over the limit");
    const int margin = Scale(6);
    int x = margin, y = Scale(4);
    for (const std::wstring& text : texts) {
        const int width = Scale(14) + Scale(4) + TextSize(dc.Get(), text).cx;
        if (x > margin && x + width > client.right - margin) {
            x = margin;
            y += layout.Line + Scale(2);
        }
        layout.Legend.push_back({text, RECT{x, y, x + width, y + layout.Line}});
        x += width + Scale(14);
    }

    const int legendBottom = layout.Legend.empty() ? Scale(4) : layout.Legend.back().Bounds.bottom;
    int labelWidth = 0;
    for (long long minutes = 0; minutes <= FScaleMinutes; minutes += FGridStep)
        labelWidth = std::max<int>(labelWidth, TextSize(dc.Get(), DurationLabel(minutes)).cx);
    layout.Plot =
        RECT{margin + labelWidth + Scale(6), legendBottom + Scale(8) + layout.Line,
             client.right - Scale(8), client.bottom - Scale(6) - 2 * layout.Line - Scale(6)};
    FLayout = std::move(layout);
    FLayoutValid = true;
    return FLayout;
}

void TWeekChart::LayoutChanged() {
    FLayoutValid = false;
    UpdateTools();
    if (Handle())
        InvalidateRect(Handle(), nullptr, FALSE);
}

RECT TWeekChart::PlotRect() const {
    return Layout().Plot;
}

RECT TWeekChart::DayRect(int day) const {
    const RECT plot = PlotRect();
    RECT client{};
    GetClientRect(Handle(), &client);
    const int width = plot.right - plot.left;
    return RECT{plot.left + day * width / kDays, plot.top - LineHeight() - Scale(2),
                plot.left + (day + 1) * width / kDays, client.bottom - Scale(3)};
}

RECT TWeekChart::BarRect(int day) const {
    const RECT plot = PlotRect();
    const int width = plot.right - plot.left;
    const int left = plot.left + day * width / kDays;
    const int right = plot.left + (day + 1) * width / kDays;
    const int bar = (right - left) * 11 / 20;
    const int barLeft = left + (right - left - bar) / 2;
    long long minutes = 0;
    if (day >= 0 && day < static_cast<int>(FWeek.Days.size()))
        minutes = FWeek.Days[static_cast<size_t>(day)].Minutes;
    return RECT{barLeft, MinutesY(minutes), barLeft + bar, plot.bottom};
}

int TWeekChart::MinutesY(long long minutes) const {
    const RECT plot = PlotRect();
    minutes = std::clamp<long long>(minutes, 0, FScaleMinutes);
    return plot.bottom -
           static_cast<int>(minutes * (plot.bottom - plot.top) / std::max(1, FScaleMinutes));
}

int TWeekChart::DayAt(int x) const {
    const RECT plot = PlotRect();
    const int width = std::max(1L, plot.right - plot.left);
    return std::clamp(static_cast<int>((x - plot.left) * kDays / width), 0, kDays - 1);
}

void TWeekChart::UpdateTools() {
    if (!FToolTip || !Handle())
        return;
    for (int day = 0; day < kDays; ++day) {
        TOOLINFOW tool{};
        tool.cbSize = TTTOOLINFOW_V2_SIZE;
        tool.hwnd = Handle();
        tool.uId = static_cast<UINT_PTR>(day);
        tool.rect = DayRect(day);
        SendMessageW(FToolTip, TTM_NEWTOOLRECTW, 0, reinterpret_cast<LPARAM>(&tool));
    }
}

LRESULT TWeekChart::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    LRESULT painted = 0;
    if (HandleOwnPaint(
            msg, wParam, [this](HDC dc) { Paint(dc); }, painted))
        return painted;
    switch (msg) {
    case WM_SETFONT:
        FFont = reinterpret_cast<HFONT>(wParam);
        LayoutChanged();
        return 0;
    case WM_GETFONT:
        return reinterpret_cast<LRESULT>(FFont);
    case WM_SIZE:
        LayoutChanged();
        return 0;
    case WM_GETDLGCODE:
        return DLGC_WANTARROWS;
    case WM_GETOBJECT:
        if (static_cast<LONG>(lParam) == OBJID_CLIENT)
            if (LRESULT object = FAccessible.Answer(Handle(), wParam, *this))
                return object;
        break;
    case WM_NOTIFY: {
        auto* header = reinterpret_cast<NMHDR*>(lParam);
        if (header && header->hwndFrom == FToolTip && header->code == TTN_GETDISPINFOW) {
            auto* info = reinterpret_cast<NMTTDISPINFOW*>(lParam);
            const size_t day = static_cast<size_t>(info->hdr.idFrom);
            FTipText = DayText(static_cast<int>(day));
            info->lpszText = const_cast<wchar_t*>(FTipText.c_str());
            return 0;
        }
        break;
    }
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
    case WM_ENABLE:
        InvalidateRect(Handle(), nullptr, FALSE);
        return 0;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
        SetFocus(Handle());
        SetCurrentDay(DayAt(static_cast<short>(LOWORD(lParam))));
        return 0;
    case WM_KEYDOWN:
        switch (wParam) {
        case VK_LEFT:
            SetCurrentDay(FCurrent - 1);
            return 0;
        case VK_RIGHT:
            SetCurrentDay(FCurrent + 1);
            return 0;
        case VK_HOME:
            SetCurrentDay(0);
            return 0;
        case VK_END:
            SetCurrentDay(kDays - 1);
            return 0;
        }
        break;
    }
    return TWindow::HandleMessage(msg, wParam, lParam);
}

} // namespace vantrel
