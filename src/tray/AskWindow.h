#pragma once
// "Ask for more time": the window in which the limited user asks the parent for more time today
// and follows the request. It shows the request as the figures tell it (waiting, granted, not
// granted with the parent's reply, withdrawn, expired), how many requests are left today, and
// offers an amount (15, 30 or 60 minutes, or another one typed, up to what the parent allows),
// a short reason, Send, Withdraw while a request waits, and the entry of a code from the
// parent's phone once one is paired. What it sends goes to its owner, which calls the service
// and hands the answer back in words.
#include "model/AskMessage.h"
#include "tray/AskTexts.h"
#include "ui/controls/Gdi.h"
#include "ui/controls/Window.h"

#include <functional>
#include <string>

namespace vantrel {

class TAskWindow : public TWindow {
public:
    TAskWindow() = default;
    ~TAskWindow() override;

    // Called with each message the user sends.
    std::function<void(const TAskMessage&)> OnSend;

    // Shows the view in front, near the screen's lower right corner; made at the first showing.
    bool Show(const TAskView& view);
    // Brings the window up to date while it is shown.
    void Update(const TAskView& view);
    void Hide();
    bool Shown() const;
    // While the service is being asked, nothing more can be sent.
    void SetBusy(bool busy);
    // The outcome of the last message, in words.
    void ShowResult(const std::wstring& text);
    bool HandleDialogMessage(MSG& msg);
    // What the window shows, a line each (state, requests left, code note, result), for tests.
    std::wstring Text() const;
    int Dpi() const { return FDpi; }

    // For tests and the pictures: the fields as if typed.
    void SetAmountText(const std::wstring& text);
    void SetReasonText(const std::wstring& text);
    void SetCodeText(const std::wstring& text);
    // The controls' ids, which a click sends as WM_COMMAND.
    static constexpr int kSendId = 101;
    static constexpr int kWithdrawId = 102;
    static constexpr int kCodeId = 103;

protected:
    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    bool Create();
    void MakeFonts();
    void SetTexts(const TAskView& view);
    void Layout();
    int Scale(int pixels) const;
    void Send(int id);

    int FDpi = 96;
    TFontHandle FFont;
    TFontHandle FBoldFont;
    HWND FState = nullptr;
    HWND FLeft = nullptr;
    HWND FAmountLabel = nullptr;
    HWND FAmount = nullptr;
    HWND FReasonLabel = nullptr;
    HWND FReason = nullptr;
    HWND FSend = nullptr;
    HWND FWithdraw = nullptr;
    HWND FCodeLabel = nullptr;
    HWND FCode = nullptr;
    HWND FUseCode = nullptr;
    HWND FCodeNote = nullptr;
    HWND FResult = nullptr;
    HWND FClose = nullptr;
    bool FBusy = false;
    TAskView FShown;
    bool FHasShown = false;
};

} // namespace vantrel
