#pragma once
// The three surfaces that show the command table: the main menu bar, the tool bar under it
// and the pop-up menu of the user list. All three are drawn by us in the flat XP style of the
// colour map: the menus are owner-drawn, the tool bar is custom-drawn. None shows tool tips.
#include "ui/ActionManager.h"
#include "ui/XPColorMap.h"
#include "ui/controls/Gdi.h"
#include "ui/controls/ImageList.h"
#include "win/Dpi.h"

#include <commctrl.h>

#include <deque>
#include <string>
#include <vector>

namespace vantrel {

// The entries of a menu or the tool bar in order: an action, or a separator for nullptr.
using TCommandItems = std::vector<TAction*>;

// A menu of the menu bar; its items show their actions' menu captions, with access keys.
struct TCommandMenu {
    std::wstring Caption;
    TCommandItems Items;
};

// A 32-bit list of greyed, half-transparent copies of the icons of `source`, for disabled
// commands.
TImageListHandle CreateDisabledImageList(HIMAGELIST source);

class TCommandBars {
public:
    TCommandBars(TActionManager& actions, TXPColorMapEx& colors);
    ~TCommandBars();
    TCommandBars(const TCommandBars&) = delete;
    TCommandBars& operator=(const TCommandBars&) = delete;

    // Builds the menu bar (set on owner), the tool bar (a child of owner) and the pop-up menu,
    // whose items show their actions' plain captions.
    bool Create(HWND owner, const std::vector<TCommandMenu>& mainMenu, const TCommandItems& toolBar,
                const TCommandItems& popupMenu);
    void Destroy();

    // Sizes for a DPI: the font to draw the menus with and the icon lists (both owned by the
    // caller, icons of the DPI's size). Resizes the tool bar's buttons.
    void SetMetrics(int dpi, HFONT font, HIMAGELIST images, HIMAGELIST disabledImages);

    HMENU MainMenuBar() const { return FMainMenuBar; }
    HWND ToolBar() const { return FToolBar; }
    HMENU PopupMenu() const { return FPopupMenu; }
    // Height of the tool bar band, at least 26 pixels at 96 DPI.
    int ToolBarHeight() const;

    // Follows the action's enabled state on every surface.
    void UpdateAction(const TAction& action);
    // Shows the pop-up menu at a screen point; the chosen command arrives as WM_COMMAND.
    void ShowPopupMenu(POINT screen);
    // New system colours: the colour map is computed again and the bars repainted.
    void SettingsChanged();
    // Paints the menu bar beyond its last item, which the system leaves in its own colour.
    // Called after the owner's non-client area was painted.
    void PaintMenuBarRest();

    // WM_MEASUREITEM, WM_DRAWITEM, WM_MENUCHAR and the tool bar's NM_CUSTOMDRAW; true when
    // the message was one of ours and `result` holds the answer.
    bool HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result);

    // Index of the item of `menu` whose access key is `key`, or -1.
    int FindAccessKey(HMENU menu, wchar_t key) const;

private:
    struct TEntry {
        std::wstring Caption;
        TAction* Action = nullptr;
        bool TopLevel = false;
        bool Separator = false;
    };

    HMENU BuildMenu(const TCommandItems& items, bool accessKeys);
    TEntry& NewEntry(const std::wstring& caption, TAction* action, bool topLevel, bool separator);
    void AppendItem(HMENU menu, TEntry& entry, UINT id, HMENU subMenu);
    void UpdateMenuBrushes();
    void MeasureItem(MEASUREITEMSTRUCT& item);
    void DrawItem(const DRAWITEMSTRUCT& item);
    void DrawTopLevelItem(const DRAWITEMSTRUCT& item, const TEntry& entry);
    void DrawPopupItem(const DRAWITEMSTRUCT& item, const TEntry& entry);
    LRESULT ToolBarCustomDraw(NMTBCUSTOMDRAW& draw);
    int Scale(int pixels) const { return ScaleForDpi(pixels, FDpi); }
    int IconSize() const;

    TActionManager& FActions;
    TXPColorMapEx& FColors;
    HWND FOwner = nullptr;
    HMENU FMainMenuBar = nullptr;
    HMENU FPopupMenu = nullptr;
    HWND FToolBar = nullptr;
    std::deque<TEntry> FEntries;
    int FDpi = 96;
    HFONT FFont = nullptr;
    HIMAGELIST FImages = nullptr;
    HIMAGELIST FDisabledImages = nullptr;
    TBrushHandle FBarBrush;
    TBrushHandle FMenuBrush;
    TBrushHandle FSelectedBrush;
    TBrushHandle FPressedBrush;
    TBrushHandle FFrameBrush;
};

} // namespace vantrel
