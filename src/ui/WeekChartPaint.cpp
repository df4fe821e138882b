#include "ui/WeekChart.h"

#include "ui/WeekChartDraw.h"

#include <algorithm>

namespace vantrel {

namespace {

COLORREF Mix(COLORREF a, COLORREF b, int percentOfA) {
    auto channel = [percentOfA](int x, int y) {
        return (x * percentOfA + y * (100 - percentOfA)) / 100;
    };
    return RGB(channel(GetRValue(a), GetRValue(b)), channel(GetGValue(a), GetGValue(b)),
               channel(GetBValue(a), GetBValue(b)));
}

void DrawTextAt(HDC dc, const std::wstring& text, RECT r, UINT format, COLORREF color) {
    SetTextColor(dc, color);
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &r,
              format | DT_SINGLELINE | DT_NOPREFIX);
}

std::wstring DayCaption(const TDayUsage& day, bool today) {
    if (today)
        return L"Today";
    wchar_t text[64] = {};
    if (GetDateFormatW(LOCALE_USER_DEFAULT, 0, &day.Date, L"ddd d", text, 64) <= 0)
        return std::wstring();
    return text;
}

std::wstring HoursCaption(const TDayUsage& day, bool brief) {
    if (!day.Limited)
        return L"No limits";
    return AllowedHoursText(day.AllowBegin, day.AllowEnd, day.Clock24, brief);
}

// Diagonal stripes over a rectangle, so that the part beyond the limit shows whatever its
// computers' colours.
void Stripes(HDC dc, const RECT& r, COLORREF color, int width, int pitch) {
    if (r.bottom <= r.top || r.right <= r.left)
        return;
    const int saved = SaveDC(dc);
    IntersectClipRect(dc, r.left, r.top, r.right, r.bottom);
    TPenHandle pen(CreatePen(PS_SOLID, width, color));
    TScopedSelect select(dc, pen.Get());
    const int height = r.bottom - r.top;
    for (int x = r.left - height; x < r.right + pitch; x += pitch) {
        MoveToEx(dc, x, r.bottom, nullptr);
        LineTo(dc, x + height, r.top);
    }
    RestoreDC(dc, saved);
}

void Frame(HDC dc, const RECT& r, int width, COLORREF color) {
    FillSolidRect(dc, RECT{r.left, r.top, r.right, r.top + width}, color);
    FillSolidRect(dc, RECT{r.left, r.bottom - width, r.right, r.bottom}, color);
    FillSolidRect(dc, RECT{r.left, r.top, r.left + width, r.bottom}, color);
    FillSolidRect(dc, RECT{r.right - width, r.top, r.right, r.bottom}, color);
}

// A horizontal marker `thickness` high centred on y; dashed markers leave gaps.
void Marker(HDC dc, int left, int right, int y, int thickness, COLORREF color, int dash) {
    const int top = y - thickness / 2;
    if (dash <= 0) {
        FillSolidRect(dc, RECT{left, top, right, top + thickness}, color);
        return;
    }
    for (int x = left; x < right; x += 2 * dash)
        FillSolidRect(dc, RECT{x, top, std::min(x + dash + dash / 2, right), top + thickness},
                      color);
}

} // namespace

void TWeekChart::PaintLegend(HDC dc) const {
    const int swatch = Scale(12);
    const COLORREF text = GetSysColor(COLOR_WINDOWTEXT);
    const std::vector<TLegendEntry>& legend = Legend();
    for (size_t i = 0; i < legend.size(); ++i) {
        const RECT& r = legend[i].Bounds;
        const int top = (r.top + r.bottom - swatch) / 2;
        const RECT box{r.left, top, r.left + swatch, top + swatch};
        const std::wstring& caption = legend[i].Text;
        if (i < Series().size()) {
            FillSolidRect(dc, box, ComputerColor(i));
        } else if (caption == L"Time limit") {
            Marker(dc, box.left, box.right, (box.top + box.bottom) / 2, std::max(2, Scale(2)), text,
                   0);
        } else if (caption == L"With bonus") {
            Marker(dc, box.left, box.right, (box.top + box.bottom) / 2, std::max(2, Scale(2)),
                   kBonusColor, Scale(3));
        } else {
            FillSolidRect(dc, box, GetSysColor(COLOR_BTNSHADOW));
            Stripes(dc, box, kOverLimitColor, std::max(1, Scale(2)), Scale(5));
            Frame(dc, box, std::max(1, Scale(1)), kOverLimitColor);
        }
        RECT label = r;
        label.left += swatch + Scale(4);
        DrawTextAt(dc, caption, label, DT_LEFT | DT_VCENTER, text);
    }
}

void TWeekChart::PaintDay(HDC dc, int index) const {
    const TDayUsage& day = FWeek.Days[static_cast<size_t>(index)];
    const RECT column = DayRect(index);
    const RECT plot = PlotRect();
    const RECT bar = BarRect(index);
    const int line = LineHeight();
    const bool byComputer = FView == TWeekChartView::Computers;
    if (byComputer) {
        // The computers, stacked in the legend's order.
        long long below = 0;
        for (size_t c = 0; c < FWeek.Computers.size(); ++c) {
            const int minutes = day.MinutesOn(FWeek.Computers[c]);
            if (minutes <= 0)
                continue;
            const int bottom = MinutesY(below);
            below += minutes;
            const int top = MinutesY(below);
            if (bottom > top)
                FillSolidRect(dc, RECT{bar.left, top, bar.right, bottom}, ComputerColor(c));
        }
    } else if (!FPrograms.empty()) {
        // The programs side by side in the legend's order, over a wider part of the column.
        const int inset = (column.right - column.left) / 8;
        const int left = column.left + inset;
        const int width = static_cast<int>(column.right - inset - left);
        const int count = static_cast<int>(FPrograms.size());
        for (int p = 0; p < count; ++p) {
            const int minutes = SeriesMinutes(index, static_cast<size_t>(p));
            if (minutes <= 0)
                continue;
            const int x0 = left + p * width / count;
            const int x1 = std::max(x0 + 1, left + (p + 1) * width / count - (count > 1 ? 1 : 0));
            const int top = std::min<int>(MinutesY(minutes), plot.bottom - 1);
            FillSolidRect(dc, RECT{x0, top, x1, plot.bottom},
                          ComputerColor(static_cast<size_t>(p)));
        }
    }
    if (byComputer && day.OverLimit() > 0) {
        const RECT over{bar.left, bar.top, bar.right, MinutesY(std::max(0LL, day.Allowed()))};
        Stripes(dc, over, kOverLimitColor, std::max(2, Scale(2)), Scale(6));
        Frame(dc, over, std::max(1, Scale(1)), kOverLimitColor);
    }
    if (day.Limited) {
        const int inset = (column.right - column.left) / 10;
        const int thickness = std::max(2, Scale(2));
        const int limitY = MinutesY(day.TimeLimit);
        Marker(dc, column.left + inset, column.right - inset, limitY, thickness,
               GetSysColor(COLOR_WINDOWTEXT), 0);
        if (day.Bonus != 0) {
            const int bonusY = MinutesY(std::max(0LL, day.Allowed()));
            Marker(dc, column.left + inset, column.right - inset, bonusY, thickness, kBonusColor,
                   Scale(4));
        }
    }
    // The day's total in the row above the plot, apart from every line a limit could be read
    // from.
    if (day.Minutes > 0) {
        const RECT total{column.left, plot.top - line - Scale(4), column.right,
                         plot.top - Scale(2)};
        DrawTextAt(dc, DurationLabel(day.Minutes), total, DT_CENTER | DT_BOTTOM,
                   day.OverLimit() > 0 ? kOverLimitColor : GetSysColor(COLOR_WINDOWTEXT));
    }
    // The day and its allowed hours under the bar.
    const bool today = index == static_cast<int>(FWeek.Days.size()) - 1;
    RECT caption{column.left, plot.bottom + Scale(4), column.right, plot.bottom + Scale(4) + line};
    DrawTextAt(dc, DayCaption(day, today), caption, DT_CENTER | DT_TOP,
               GetSysColor(COLOR_WINDOWTEXT));
    std::wstring hours = HoursCaption(day, false);
    if (TextSize(dc, hours).cx > column.right - column.left - Scale(8))
        hours = HoursCaption(day, true);
    OffsetRect(&caption, 0, line);
    DrawTextAt(dc, hours, caption, DT_CENTER | DT_TOP, GetSysColor(COLOR_WINDOWTEXT));
}

void TWeekChart::Paint(HDC dc) {
    RECT client{};
    GetClientRect(Handle(), &client);
    if (!FBuffer.SetSize(client.right, client.bottom))
        return;
    HDC buffer = FBuffer.DC();
    const COLORREF window = GetSysColor(COLOR_WINDOW);
    FillSolidRect(buffer, client, window);
    TScopedSelect font(buffer, FFont ? FFont : GetStockObject(DEFAULT_GUI_FONT));
    SetBkMode(buffer, TRANSPARENT);
    const bool focused = GetFocus() == Handle();
    const COLORREF currentBackground = Mix(GetSysColor(COLOR_HIGHLIGHT), window, focused ? 18 : 9);
    if (FCurrent >= 0 && FCurrent < static_cast<int>(FWeek.Days.size()))
        FillSolidRect(buffer, DayRect(FCurrent), currentBackground);
    const RECT plot = PlotRect();
    const int line = LineHeight();
    const COLORREF grid = Mix(GetSysColor(COLOR_BTNSHADOW), window, 35);
    for (long long minutes = 0; minutes <= FScaleMinutes; minutes += FGridStep) {
        const int y = MinutesY(minutes);
        FillSolidRect(buffer, RECT{plot.left, y, plot.right, y + 1}, grid);
        const RECT label{0, y - line / 2, plot.left - Scale(6), y - line / 2 + line};
        DrawTextAt(buffer, DurationLabel(minutes), label, DT_RIGHT | DT_TOP,
                   GetSysColor(COLOR_WINDOWTEXT));
    }
    for (int day = 0; day < static_cast<int>(FWeek.Days.size()); ++day)
        PaintDay(buffer, day);
    const bool noUsage = std::all_of(FWeek.Days.begin(), FWeek.Days.end(),
                                     [](const TDayUsage& day) { return day.Minutes == 0; });
    const bool noPrograms = FView == TWeekChartView::Programs && FPrograms.empty();
    if (noUsage || noPrograms) {
        RECT empty = plot;
        empty.bottom = (plot.top + plot.bottom) / 2;
        DrawTextAt(buffer,
                   noUsage ? L"No time usage recorded on these seven days."
                           : L"No programs recorded on these seven days.",
                   empty, DT_CENTER | DT_VCENTER, GetSysColor(COLOR_WINDOWTEXT));
    }
    FillSolidRect(buffer, RECT{plot.left, plot.bottom, plot.right, plot.bottom + 1},
                  GetSysColor(COLOR_BTNSHADOW));
    PaintLegend(buffer);
    if (focused && FCurrent >= 0 && FCurrent < static_cast<int>(FWeek.Days.size())) {
        RECT focus = DayRect(FCurrent);
        InflateRect(&focus, -1, -1);
        DrawFocusRect(buffer, &focus);
    }
    BitBlt(dc, 0, 0, client.right, client.bottom, buffer, 0, 0, SRCCOPY);
}

} // namespace vantrel
