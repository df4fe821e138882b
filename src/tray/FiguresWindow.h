#pragma once
// The small window a click on the notification icon opens: a sentence on where the user stands,
// the bar of today's time left, and the figures (today's limit, bonus, time used on all
// computers, time left, today's allowed hours, what happens when the time is up) in read-only
// fields that Tab reaches and a screen reader reads with their labels, then as fields of the same
// kind each running program with a limit of its own and its time left. Escape, Enter and the
// close box close it. "Ask for more time..." beside Close (for a user with a limit) opens the
// ask window. It is laid out for its screen's DPI in the system's message font, and
// again when either changes.
#include "tray/TrayTexts.h"
#include "ui/controls/ALProgressBar.h"
#include "ui/controls/Gdi.h"
#include "ui/controls/Window.h"

#include <array>
#include <functional>
#include <string>
#include <vector>

namespace vantrel {

inline constexpr int kFigureLineCount = 6;

class TFiguresWindow : public TWindow {
public:
    TFiguresWindow() = default;
    ~TFiguresWindow() override;

    // Called by "Ask for more time...".
    std::function<void()> OnAsk;
    static constexpr int kAskId = 101;

    // Shows the view in front, beside the notification area of the screen at `anchor` (the
    // primary screen without one); made at the first showing.
    bool Show(const TTrayView& view, const POINT* anchor);
    // Brings the window up to date while it is shown; `restyle` after a change of the system's
    // colours or fonts, which the same figures must be drawn in again.
    void Update(const TTrayView& view, bool restyle = false);
    void Hide();
    bool Shown() const;
    // Tab, Enter and Escape for the window's controls; true when the message was used.
    bool HandleDialogMessage(MSG& msg);
    // What the window shows, a line each: the sentence, then "label value" per figure shown.
    std::wstring Text() const;
    int Dpi() const { return FDpi; }

protected:
    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    bool Create(const POINT* anchor);
    void MakeFonts();
    void SetTexts(const TTrayView& view);
    // Makes the controls of so many program lines, in the Tab order after the figures.
    void MakeProgramLines(size_t count);
    // Sizes the controls and the window for the texts; the window keeps its lower right corner
    // (beside the notification area) within the screen's work area.
    void Layout();
    int Scale(int pixels) const;

    struct TLineControls {
        HWND Label = nullptr;
        HWND Value = nullptr;
    };

    int FDpi = 96;
    TFontHandle FFont;
    TFontHandle FBoldFont;
    HWND FSummary = nullptr;
    TALProgressBar FBar;
    std::array<TLineControls, kFigureLineCount> FLines{};
    // Made as programs come, and kept (hidden) when they go.
    std::vector<TLineControls> FPrograms;
    size_t FProgramCount = 0;
    HWND FClose = nullptr;
    HWND FAsk = nullptr;
    HWND FLastFocus = nullptr;
    bool FHasLines = false;
    // What the window shows: the same figures again change nothing (no flicker every poll).
    TTrayView FShown;
};

} // namespace vantrel
