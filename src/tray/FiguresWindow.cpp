#include "tray/FiguresWindow.h"

#include "tray/TrayPicture.h"
#include "tray/TrayWindowParts.h"
#include "ui/ProgramIcons.h"
#include "ui/controls/DialogMetrics.h"
#include "win/Dpi.h"

#include <algorithm>

namespace vantrel {

namespace {

constexpr wchar_t kClassName[] = L"VantrelTrayFigures";
constexpr wchar_t kCaption[] = L"Your time today - Vantrel";
constexpr wchar_t kCloseCaption[] = L"Close";
constexpr wchar_t kAskCaption[] = L"&Ask for more time...";
constexpr DWORD kStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
constexpr DWORD kExStyle = WS_EX_CONTROLPARENT;
// 96-DPI pixels, beside the shared dialog measures.
constexpr int kMinContentWidth = 280;
constexpr int kBarHeight = 14;
constexpr int kColumnGap = 12;
constexpr int kLineGap = 6;
// Wine's stand-in for Segoe UI draws a pixel or two past the width it reports, and an edit
// keeps a little room for its caret even without margins.
constexpr int kTextSlack = 8;
// The sentence at the top has room for this many lines, so that one that wraps (the figures
// turning out of date, a long day's name) neither grows nor moves the window.
constexpr int kSummaryLines = 2;
// A long program name is cut short on the screen (a screen reader reads it whole).
constexpr int kMostProgramLabelWidth = 220;

// The system's message font at a DPI (the one message boxes use).
LOGFONTW MessageFont(int dpi) {
    using TForDpi = BOOL(WINAPI*)(UINT, UINT, PVOID, UINT, UINT);
    static const auto forDpi = reinterpret_cast<TForDpi>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"user32.dll"), "SystemParametersInfoForDpi")));
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof(metrics);
    if (forDpi &&
        forDpi(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0, static_cast<UINT>(dpi)))
        return metrics.lfMessageFont;
    if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0)) {
        // Made for the system DPI.
        metrics.lfMessageFont.lfHeight =
            MulDiv(metrics.lfMessageFont.lfHeight, dpi, DpiOfWindow(nullptr));
        return metrics.lfMessageFont;
    }
    LOGFONTW font{};
    GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof(font), &font);
    return font;
}

int TextWidth(HDC dc, const std::wstring& text) {
    SIZE size{};
    GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
    return size.cx;
}

RECT WorkAreaAt(HMONITOR monitor) {
    MONITORINFO info{};
    info.cbSize = sizeof(info);
    GetMonitorInfoW(monitor, &info);
    return info.rcWork;
}

} // namespace

TFiguresWindow::~TFiguresWindow() {
    // The controls go before the fonts they show.
    DestroyHandle();
}

int TFiguresWindow::Scale(int pixels) const {
    return ScaleForDpi(pixels, FDpi);
}

bool TFiguresWindow::Create(const POINT* anchor) {
    // The class keeps its icons for the life of the process.
    static const HICON icon = LoadProgramIcon(IDI_PROGRAM, GetSystemMetrics(SM_CXICON));
    static const HICON smallIcon = LoadProgramIcon(IDI_PROGRAM, GetSystemMetrics(SM_CXSMICON));
    if (!RegisterWindowClass(kClassName, 0, LoadCursorW(nullptr, IDC_ARROW),
                             reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1), icon, smallIcon))
        return false;
    // Made on the screen it will show on, so that it is made for that screen's DPI.
    const RECT work = WorkAreaAt(anchor ? MonitorFromPoint(*anchor, MONITOR_DEFAULTTOPRIMARY)
                                        : MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY));
    if (!CreateHandle(kExStyle, kClassName, kCaption, kStyle, work.right - 200, work.bottom - 200,
                      100, 100, nullptr))
        return false;
    FDpi = DpiOfWindow(Handle());
    FSummary = MakeControl(Handle(), L"STATIC", SS_LEFT | SS_NOPREFIX);
    FBar.SetShowPosText(false);
    FBar.SetMin(0);
    FBar.SetMax(100);
    FBar.SetParent(Handle());
    // Each label comes right before its field: that is how a screen reader names the field.
    for (TLineControls& line : FLines) {
        line.Label = MakeControl(Handle(), L"STATIC", SS_LEFT | SS_NOPREFIX);
        line.Value = MakeControl(Handle(), L"EDIT", WS_TABSTOP | ES_READONLY | ES_AUTOHSCROLL);
        SendMessageW(line.Value, EM_SETMARGINS, EC_LEFTMARGIN | EC_RIGHTMARGIN, 0);
    }
    FClose = MakeControl(Handle(), L"BUTTON", WS_TABSTOP | BS_DEFPUSHBUTTON, IDOK);
    SetWindowTextW(FClose, kCloseCaption);
    FAsk = MakeControl(Handle(), L"BUTTON", WS_TABSTOP | BS_PUSHBUTTON, kAskId);
    SetWindowTextW(FAsk, kAskCaption);
    if (!FSummary || !FClose || !FAsk)
        return false;
    MakeFonts();
    return true;
}

void TFiguresWindow::MakeFonts() {
    LOGFONTW font = MessageFont(FDpi);
    TFontHandle normal(CreateFontIndirectW(&font));
    font.lfWeight = FW_BOLD;
    TFontHandle bold(CreateFontIndirectW(&font));
    if (!normal || !bold)
        return;
    const auto set = [](HWND control, HFONT chosen) {
        SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(chosen), TRUE);
    };
    set(FSummary, bold.Get());
    for (const TLineControls& line : FLines) {
        set(line.Label, normal.Get());
        set(line.Value, normal.Get());
    }
    for (const TLineControls& line : FPrograms) {
        set(line.Label, normal.Get());
        set(line.Value, normal.Get());
    }
    set(FClose, normal.Get());
    set(FAsk, normal.Get());
    // The controls hold the new fonts before the old ones go.
    FFont = std::move(normal);
    FBoldFont = std::move(bold);
}

void TFiguresWindow::MakeProgramLines(size_t count) {
    while (FPrograms.size() < count) {
        HWND after = FPrograms.empty() ? FLines.back().Value : FPrograms.back().Value;
        TLineControls line;
        line.Label = MakeControl(Handle(), L"STATIC", SS_LEFT | SS_NOPREFIX | SS_ENDELLIPSIS);
        line.Value = MakeControl(Handle(), L"EDIT", WS_TABSTOP | ES_READONLY | ES_AUTOHSCROLL);
        if (!line.Label || !line.Value) {
            DestroyWindow(line.Label);
            DestroyWindow(line.Value);
            return;
        }
        SendMessageW(line.Value, EM_SETMARGINS, EC_LEFTMARGIN | EC_RIGHTMARGIN, 0);
        // Tab goes from the figures through the programs to the buttons; the label comes right
        // before its field, which a screen reader names by it.
        SetWindowPos(line.Label, after, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        SetWindowPos(line.Value, line.Label, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        for (HWND control : {line.Label, line.Value})
            SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(FFont.Get()), FALSE);
        FPrograms.push_back(line);
    }
}

bool TFiguresWindow::Show(const TTrayView& view, const POINT* anchor) {
    if (!Handle() && !Create(anchor))
        return false;
    const bool wasShown = Shown();
    SetTexts(view);
    if (!wasShown) {
        // Beside the notification icon (or the screen's corner), wholly within the work area.
        RECT window{};
        GetWindowRect(Handle(), &window);
        const int width = window.right - window.left;
        const int height = window.bottom - window.top;
        HMONITOR monitor = anchor ? MonitorFromPoint(*anchor, MONITOR_DEFAULTTOPRIMARY)
                                  : MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY);
        const RECT work = WorkAreaAt(monitor);
        const int gap = Scale(metrics::kMargin);
        int x = anchor ? anchor->x - width / 2 : work.right - width - gap;
        int y = anchor ? anchor->y - height - gap : work.bottom - height - gap;
        x = std::max<int>(work.left, std::min<int>(x, work.right - width - gap));
        y = std::max<int>(work.top + gap, std::min<int>(y, work.bottom - height - gap));
        SetWindowPos(Handle(), nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        FLastFocus = FClose;
    }
    ShowWindow(Handle(), SW_SHOW);
    SetForegroundWindow(Handle());
    SetFocus(FLastFocus && IsWindow(FLastFocus) ? FLastFocus : FClose);
    return true;
}

void TFiguresWindow::Update(const TTrayView& view, bool restyle) {
    if (Shown() && (restyle || view != FShown))
        SetTexts(view);
}

void TFiguresWindow::Hide() {
    if (Handle())
        ShowWindow(Handle(), SW_HIDE);
}

bool TFiguresWindow::Shown() const {
    return Handle() && IsWindowVisible(Handle());
}

bool TFiguresWindow::HandleDialogMessage(MSG& msg) {
    return Handle() && IsDialogMessageW(Handle(), &msg);
}

std::wstring TFiguresWindow::Text() const {
    if (!Handle())
        return {};
    std::wstring text = WindowText(FSummary);
    for (const TLineControls& line : FLines)
        if (IsWindowVisible(line.Value))
            text += L"\n" + WindowText(line.Label) + L" " + WindowText(line.Value);
    for (const TLineControls& line : FPrograms)
        if (IsWindowVisible(line.Value)) {
            const std::wstring label = WindowText(line.Label);
            text += L"\n" + (label.empty() ? L"" : label + L" ") + WindowText(line.Value);
        }
    return text;
}

void TFiguresWindow::SetTexts(const TTrayView& view) {
    FShown = view;
    SetWindowTextW(FSummary, view.Summary.c_str());
    FHasLines = !view.Lines.empty();
    for (size_t i = 0; i < FLines.size(); ++i) {
        const bool has = i < view.Lines.size();
        SetWindowTextW(FLines[i].Label, has ? view.Lines[i].Label.c_str() : L"");
        SetWindowTextW(FLines[i].Value, has ? view.Lines[i].Value.c_str() : L"");
        ShowWindow(FLines[i].Label, has ? SW_SHOWNA : SW_HIDE);
        ShowWindow(FLines[i].Value, has ? SW_SHOWNA : SW_HIDE);
    }
    MakeProgramLines(view.Programs.size());
    FProgramCount = std::min(view.Programs.size(), FPrograms.size());
    for (size_t i = 0; i < FPrograms.size(); ++i) {
        const bool has = i < FProgramCount;
        SetWindowTextW(FPrograms[i].Label, has ? view.Programs[i].Label.c_str() : L"");
        SetWindowTextW(FPrograms[i].Value, has ? view.Programs[i].Value.c_str() : L"");
        ShowWindow(FPrograms[i].Label,
                   has && !view.Programs[i].Label.empty() ? SW_SHOWNA : SW_HIDE);
        ShowWindow(FPrograms[i].Value, has ? SW_SHOWNA : SW_HIDE);
    }
    ApplyTrayColors(FBar, view.Picture, HighContrastOn(), false, view.Level);
    FBar.SetPosition(std::clamp(view.Share, 0, 100));
    FBar.SetVisible(FHasLines);
    ShowWindow(FAsk, view.ShowIcon ? SW_SHOWNA : SW_HIDE);
    Layout();
}

void TFiguresWindow::Layout() {
    if (!Handle() || !FFont)
        return;
    const int margin = Scale(metrics::kMargin);
    const int columnGap = Scale(kColumnGap);
    TScopedGetDC screen(Handle());
    HDC dc = screen.Get();
    int labelWidth = 0;
    int valueWidth = 0;
    int programLabelWidth = 0;
    int programValueWidth = 0;
    int buttonText = 0;
    int askText = 0;
    TEXTMETRICW textMetrics{};
    {
        TScopedSelect select(dc, FFont.Get());
        GetTextMetricsW(dc, &textMetrics);
        for (const TLineControls& line : FLines) {
            labelWidth = std::max(labelWidth, TextWidth(dc, WindowText(line.Label)));
            valueWidth = std::max(valueWidth, TextWidth(dc, WindowText(line.Value)));
        }
        for (size_t i = 0; i < FProgramCount; ++i) {
            programLabelWidth =
                std::max(programLabelWidth, TextWidth(dc, WindowText(FPrograms[i].Label)));
            programValueWidth =
                std::max(programValueWidth, TextWidth(dc, WindowText(FPrograms[i].Value)));
        }
        buttonText = TextWidth(dc, kCloseCaption);
        askText = TextWidth(dc, L"Ask for more time...");
    }
    labelWidth += Scale(kTextSlack);
    valueWidth += Scale(kTextSlack);
    const int lineHeight = static_cast<int>(textMetrics.tmHeight) + Scale(2);
    if (FProgramCount > 0) {
        programLabelWidth =
            std::min(programLabelWidth + Scale(kTextSlack), Scale(kMostProgramLabelWidth));
        programValueWidth += Scale(kTextSlack);
        // In the figures' columns when the names fit there.
        if (FHasLines)
            programLabelWidth = std::max(programLabelWidth, labelWidth);
    }
    const int width = std::max({Scale(kMinContentWidth), labelWidth + columnGap + valueWidth,
                                programLabelWidth + columnGap + programValueWidth});
    RECT summary{0, 0, width, 0};
    {
        TScopedSelect select(dc, FBoldFont.Get());
        TEXTMETRICW bold{};
        GetTextMetricsW(dc, &bold);
        const std::wstring text = WindowText(FSummary);
        DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &summary,
                  DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
        summary.bottom = std::max<LONG>(summary.bottom, kSummaryLines * bold.tmHeight);
    }
    int y = margin;
    MoveWindow(FSummary, margin, y, width, summary.bottom, TRUE);
    y += summary.bottom;
    if (FHasLines) {
        y += Scale(metrics::kUnrelatedGap);
        FBar.SetBounds(margin, y, width, Scale(kBarHeight));
        y += Scale(kBarHeight) + Scale(metrics::kUnrelatedGap);
        for (const TLineControls& line : FLines) {
            MoveWindow(line.Label, margin, y, labelWidth, lineHeight, TRUE);
            MoveWindow(line.Value, margin + labelWidth + columnGap, y,
                       width - labelWidth - columnGap, lineHeight, TRUE);
            y += lineHeight + Scale(kLineGap);
        }
        y -= Scale(kLineGap);
    }
    if (FProgramCount > 0) {
        y += Scale(metrics::kUnrelatedGap);
        for (size_t i = 0; i < FProgramCount; ++i) {
            const TLineControls& line = FPrograms[i];
            // The count of further programs has no label: its text starts where the names do.
            const bool named = GetWindowTextLengthW(line.Label) > 0;
            const int valueLeft = named ? programLabelWidth + columnGap : 0;
            MoveWindow(line.Label, margin, y, programLabelWidth, lineHeight, TRUE);
            MoveWindow(line.Value, margin + valueLeft, y, width - valueLeft, lineHeight, TRUE);
            y += lineHeight + Scale(kLineGap);
        }
        y -= Scale(kLineGap);
    }
    y += Scale(metrics::kUnrelatedGap);
    const int buttonWidth = std::max(Scale(metrics::kButtonWidth), buttonText + 2 * margin);
    const int buttonHeight =
        std::max(Scale(metrics::kButtonHeight), static_cast<int>(textMetrics.tmHeight) + Scale(10));
    MoveWindow(FClose, margin + width - buttonWidth, y, buttonWidth, buttonHeight, TRUE);
    MoveWindow(FAsk, margin, y, std::max(Scale(metrics::kButtonWidth), askText + 2 * margin),
               buttonHeight, TRUE);
    y += buttonHeight + margin;

    RECT outer{0, 0, width + 2 * margin, y};
    AdjustWindowRectForDpi(outer, kStyle, kExStyle, FDpi);
    const int outerWidth = outer.right - outer.left;
    const int outerHeight = outer.bottom - outer.top;
    RECT now{};
    GetWindowRect(Handle(), &now);
    if (outerWidth == now.right - now.left && outerHeight == now.bottom - now.top) {
        // The same size: only the texts changed, and each control draws its own again.
        return;
    }
    // The lower right corner stays where it was, within the work area. The old picture is not
    // copied along: its labels would stay where the controls no longer are.
    const RECT work = WorkAreaAt(MonitorFromWindow(Handle(), MONITOR_DEFAULTTONEAREST));
    const int x = std::max<int>(work.left, std::min<int>(now.right, work.right) - outerWidth);
    const int top = std::max<int>(work.top, std::min<int>(now.bottom, work.bottom) - outerHeight);
    SetWindowPos(Handle(), nullptr, x, top, outerWidth, outerHeight,
                 SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOCOPYBITS);
    RedrawWindow(Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

LRESULT TFiguresWindow::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
            Hide();
            return 0;
        }
        if (LOWORD(wParam) == kAskId) {
            Hide();
            if (OnAsk)
                OnAsk();
            return 0;
        }
        break;
    case DM_GETDEFID:
        return MAKELRESULT(IDOK, DC_HASDEFID);
    case WM_CLOSE:
        Hide();
        return 0;
    case WM_ACTIVATE:
        // The focus comes back to the field it left when the window is activated again.
        if (LOWORD(wParam) == WA_INACTIVE) {
            HWND focus = GetFocus();
            if (focus && IsChild(Handle(), focus))
                FLastFocus = focus;
        } else {
            SetFocus(FLastFocus && IsWindow(FLastFocus) ? FLastFocus : FClose);
            return 0;
        }
        break;
    case WM_DPICHANGED:
    case WM_SETTINGCHANGE:
        if (FollowScaleChange(Handle(), msg, wParam, lParam, FDpi, [this] {
                MakeFonts();
                Layout();
            }))
            return 0;
        break;
    }
    return TWindow::HandleMessage(msg, wParam, lParam);
}

} // namespace vantrel
