#pragma once
// The main window's command table. Every command the administrator can give is one action
// here; the menu bar, the tool bar and the pop-up menu only show actions and run them, so an
// action's enabled state is decided in one place and every surface follows it.
#include "ui/controls/ImageList.h"

#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace vantrel {

struct TAction {
    std::wstring Category;    // "Users"
    std::wstring Caption;     // "Detailed time usage..."
    std::wstring MenuCaption; // "De&tailed time usage...": the menu bar's, with its access key
    int ImageIndex = kNoImage;
    // Virtual key of the shortcut (no modifiers), 0 for none.
    WORD ShortCut = 0;
    // The WM_COMMAND identifier every surface sends for this action.
    UINT CommandId = 0;
    bool Enabled = true;
    std::function<void()> OnExecute;
};

class TActionManager {
public:
    static constexpr UINT kFirstCommandId = 100;

    TActionManager() = default;
    ~TActionManager();
    TActionManager(const TActionManager&) = delete;
    TActionManager& operator=(const TActionManager&) = delete;

    // The caption marks the menu bar's access key with "&" ("&&" for an ampersand); the
    // action's plain Caption is the same text without the mark.
    TAction& Add(const wchar_t* category, const wchar_t* menuCaption, int imageIndex, WORD shortCut,
                 std::function<void()> onExecute);

    // The actions in the order they were added, from 0.
    TAction& At(size_t index) { return *FActions.at(index); }
    // nullptr when unknown.
    TAction* FindById(UINT commandId);
    const std::vector<std::unique_ptr<TAction>>& Actions() const { return FActions; }

    // Tells every surface through OnEnabledChanged when the state really changes.
    void SetEnabled(TAction& action, bool enabled);
    // Runs the action when it is enabled; false when it is disabled or has no handler. (Help
    // asked for in a dialog reaches the disabled window this way, and runs.)
    bool Execute(TAction& action);
    // Runs the handler whatever the enabled state (the double-click rule needs that).
    bool ExecuteHandler(TAction& action);
    // WM_COMMAND from any surface; false when the id is not an action's. An action's command
    // is taken (true) but not run while the window is disabled.
    bool ExecuteCommand(UINT commandId);

    // Accelerator table of every action with a shortcut; owned here.
    HACCEL Accelerators();

    std::function<void(TAction&)> OnEnabledChanged;
    // Runs before every handler, whatever the way the command came.
    std::function<void()> OnBeforeExecute;
    // The window the commands are for. While it is disabled (a dialog or a box is open over
    // it), a command that reaches it anyway (posted by another program, or left in the queue)
    // does not run: it would open a second dialog over the first.
    HWND Window = nullptr;

private:
    std::vector<std::unique_ptr<TAction>> FActions;
    HACCEL FAccelerators = nullptr;
};

// "Detailed time usage..." for "De&tailed time usage...".
std::wstring WithoutAccessKey(const std::wstring& caption);
// "F1" for VK_F1; empty for no shortcut.
std::wstring ShortCutText(WORD virtualKey);

} // namespace vantrel
