#include "ui/CommandBars.h"

#include <algorithm>
#include <cstring>
#include <cwctype>

namespace vantrel {

namespace {

constexpr UINT kToolBarId = 0xE800;

wchar_t AccessKeyOf(const std::wstring& caption) {
    for (size_t i = 0; i + 1 < caption.size(); ++i) {
        if (caption[i] != L'&')
            continue;
        if (caption[i + 1] == L'&') {
            ++i;
            continue;
        }
        return static_cast<wchar_t>(std::towupper(caption[i + 1]));
    }
    return 0;
}

void FillSolid(HDC dc, const RECT& rect, HBRUSH brush) {
    FillRect(dc, &rect, brush);
}

// A 32-bit top-down DIB section of the given size; bits receives its pixels.
HBITMAP CreateDib32(int width, int height, uint32_t** bits) {
    BITMAPINFO info = TopDownBitmapInfo(width, height);
    void* raw = nullptr;
    HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &raw, nullptr, 0);
    *bits = static_cast<uint32_t*>(raw);
    return bitmap;
}

// Reads an icon's colour and mask into straight-alpha 32-bit pixels.
bool IconPixels(HICON icon, int width, int height, std::vector<uint32_t>& pixels) {
    ICONINFO info{};
    if (!GetIconInfo(icon, &info))
        return false;
    TBitmapHandle color(info.hbmColor);
    TBitmapHandle mask(info.hbmMask);
    if (!color)
        return false;
    BITMAPINFO bi = TopDownBitmapInfo(width, height);
    pixels.assign(static_cast<size_t>(width) * height, 0);
    TScopedGetDC screen(nullptr);
    if (!GetDIBits(screen.Get(), color.Get(), 0, height, pixels.data(), &bi, DIB_RGB_COLORS))
        return false;
    bool hasAlpha =
        std::any_of(pixels.begin(), pixels.end(), [](uint32_t p) { return (p >> 24) != 0; });
    if (!hasAlpha && mask) {
        // An icon without an alpha channel: its mask says which pixels are transparent.
        std::vector<uint32_t> maskBits(pixels.size(), 0);
        GetDIBits(screen.Get(), mask.Get(), 0, height, maskBits.data(), &bi, DIB_RGB_COLORS);
        for (size_t i = 0; i < pixels.size(); ++i)
            if ((maskBits[i] & 0xFFFFFF) == 0)
                pixels[i] |= 0xFF000000u;
    }
    return true;
}

// Picture `index` of a list as straight-alpha 32-bit pixels. A picture with alpha in a 32-bit
// list is read from the list's own bitmap, a DIB section (the list keeps it selected into its
// DC, where GetDIBits may not read it); any other through an icon made of it, which under
// Wine costs about 1 ms.
bool ListPicture(HIMAGELIST list, int index, int width, int height, std::vector<uint32_t>& pixels) {
    IMAGEINFO info{};
    DIBSECTION section{};
    if (ImageList_GetImageInfo(list, index, &info) &&
        GetObjectW(info.hbmImage, sizeof(section), &section) == sizeof(section) &&
        section.dsBm.bmBitsPixel == 32 && section.dsBm.bmBits && info.rcImage.left >= 0 &&
        info.rcImage.top >= 0 && info.rcImage.left + width <= section.dsBm.bmWidth &&
        info.rcImage.top + height <= section.dsBm.bmHeight) {
        const auto* bits = static_cast<const BYTE*>(section.dsBm.bmBits);
        const bool bottomUp = section.dsBmih.biHeight > 0;
        pixels.resize(static_cast<size_t>(width) * height);
        for (int y = 0; y < height; ++y) {
            const int row = info.rcImage.top + y;
            const BYTE* from =
                bits +
                static_cast<size_t>(bottomUp ? section.dsBm.bmHeight - 1 - row : row) *
                    section.dsBm.bmWidthBytes +
                static_cast<size_t>(info.rcImage.left) * 4;
            std::memcpy(&pixels[static_cast<size_t>(y) * width], from,
                        static_cast<size_t>(width) * 4);
        }
        if (std::any_of(pixels.begin(), pixels.end(), [](uint32_t p) { return (p >> 24) != 0; }))
            return true;
    }
    HICON icon = ImageList_GetIcon(list, index, ILD_NORMAL);
    const bool read = icon && IconPixels(icon, width, height, pixels);
    if (icon)
        DestroyIcon(icon);
    return read;
}

} // namespace

TImageListHandle CreateDisabledImageList(HIMAGELIST source) {
    if (!source)
        return TImageListHandle();
    int width = 0;
    int height = 0;
    ImageList_GetIconSize(source, &width, &height);
    int count = ImageList_GetImageCount(source);
    TImageListHandle list(ImageList_Create(width, height, ILC_COLOR32, count, 0));
    if (!list || count <= 0)
        return list;
    // All the greyed copies go into the list as one strip.
    uint32_t* bits = nullptr;
    const int stripWidth = width * count;
    TBitmapHandle strip(CreateDib32(stripWidth, height, &bits));
    if (!strip)
        return TImageListHandle();
    // The list's bitmap may hold drawing not yet carried out.
    GdiFlush();
    std::vector<uint32_t> pixels;
    for (int i = 0; i < count; ++i) {
        if (!ListPicture(source, i, width, height, pixels))
            pixels.assign(static_cast<size_t>(width) * height, 0);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                uint32_t c = pixels[static_cast<size_t>(y) * width + x];
                uint32_t a = c >> 24;
                uint32_t r = (c >> 16) & 0xFF, g = (c >> 8) & 0xFF, b = c & 0xFF;
                // Grey, lifted towards white and half transparent: the usual "disabled" look.
                uint32_t grey = (r * 30 + g * 59 + b * 11) / 100;
                grey = 96 + grey * 5 / 8;
                a = a * 5 / 8;
                bits[static_cast<size_t>(y) * stripWidth + i * width + x] =
                    (a << 24) | (grey << 16) | (grey << 8) | grey;
            }
    }
    GdiFlush();
    if (ImageList_Add(list.Get(), strip.Get(), nullptr) != 0)
        return TImageListHandle();
    return list;
}

TCommandBars::TCommandBars(TActionManager& actions, TXPColorMapEx& colors)
    : FActions(actions), FColors(colors) {}

TCommandBars::~TCommandBars() {
    Destroy();
}

void TCommandBars::Destroy() {
    if (FPopupMenu) {
        DestroyMenu(FPopupMenu);
        FPopupMenu = nullptr;
    }
    if (FMainMenuBar) {
        if (FOwner && IsWindow(FOwner) && GetMenu(FOwner) == FMainMenuBar)
            SetMenu(FOwner, nullptr);
        DestroyMenu(FMainMenuBar);
        FMainMenuBar = nullptr;
    }
    if (FToolBar && IsWindow(FToolBar))
        DestroyWindow(FToolBar);
    FToolBar = nullptr;
    FEntries.clear();
}

TCommandBars::TEntry& TCommandBars::NewEntry(const std::wstring& caption, TAction* action,
                                             bool topLevel, bool separator) {
    FEntries.emplace_back();
    TEntry& entry = FEntries.back();
    entry.Caption = caption;
    entry.Action = action;
    entry.TopLevel = topLevel;
    entry.Separator = separator;
    return entry;
}

void TCommandBars::AppendItem(HMENU menu, TEntry& entry, UINT id, HMENU subMenu) {
    MENUITEMINFOW mii{};
    mii.cbSize = sizeof(mii);
    mii.fMask = MIIM_FTYPE | MIIM_DATA | MIIM_ID | MIIM_STATE;
    mii.fType = MFT_OWNERDRAW | (entry.Separator ? MFT_SEPARATOR : 0);
    mii.wID = id;
    mii.dwItemData = reinterpret_cast<ULONG_PTR>(&entry);
    mii.fState = (entry.Action && !entry.Action->Enabled) ? MFS_GRAYED : MFS_ENABLED;
    if (!entry.Separator) {
        // The text is not drawn by the system, but it lets the menu find access keys itself.
        mii.fMask |= MIIM_STRING;
        mii.dwTypeData = const_cast<wchar_t*>(entry.Caption.c_str());
    }
    if (subMenu) {
        mii.fMask |= MIIM_SUBMENU;
        mii.hSubMenu = subMenu;
    }
    InsertMenuItemW(menu, GetMenuItemCount(menu), TRUE, &mii);
}

HMENU TCommandBars::BuildMenu(const TCommandItems& items, bool accessKeys) {
    HMENU menu = CreatePopupMenu();
    for (TAction* action : items) {
        if (!action) {
            AppendItem(menu, NewEntry(std::wstring(), nullptr, false, true), 0, nullptr);
            continue;
        }
        const std::wstring& caption = accessKeys ? action->MenuCaption : action->Caption;
        AppendItem(menu, NewEntry(caption, action, false, false), action->CommandId, nullptr);
    }
    return menu;
}

bool TCommandBars::Create(HWND owner, const std::vector<TCommandMenu>& mainMenu,
                          const TCommandItems& toolBar, const TCommandItems& popupMenu) {
    FOwner = owner;
    UpdateMenuBrushes();

    FMainMenuBar = CreateMenu();
    for (const TCommandMenu& menu : mainMenu) {
        HMENU sub = BuildMenu(menu.Items, true);
        AppendItem(FMainMenuBar, NewEntry(menu.Caption, nullptr, true, false), 0, sub);
    }
    FPopupMenu = BuildMenu(popupMenu, false);
    UpdateMenuBrushes();
    SetMenu(owner, FMainMenuBar);

    FToolBar = CreateWindowExW(0, TOOLBARCLASSNAMEW, nullptr,
                               WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | TBSTYLE_FLAT |
                                   CCS_NODIVIDER | CCS_NORESIZE | CCS_NOPARENTALIGN,
                               0, 0, 0, 0, owner, reinterpret_cast<HMENU>(UINT_PTR{kToolBarId}),
                               GetModuleHandleW(nullptr), nullptr);
    if (!FToolBar)
        return false;
    SendMessageW(FToolBar, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
    std::vector<TBBUTTON> buttons;
    for (const TAction* action : toolBar) {
        TBBUTTON button{};
        if (!action) {
            button.fsStyle = BTNS_SEP;
            button.iBitmap = 8;
        } else {
            button.iBitmap = action->ImageIndex;
            button.idCommand = static_cast<int>(action->CommandId);
            button.fsState = action->Enabled ? TBSTATE_ENABLED : 0;
            button.fsStyle = BTNS_BUTTON;
        }
        buttons.push_back(button);
    }
    SendMessageW(FToolBar, TB_ADDBUTTONSW, buttons.size(),
                 reinterpret_cast<LPARAM>(buttons.data()));
    return FMainMenuBar && FPopupMenu;
}

int TCommandBars::IconSize() const {
    int width = 16;
    int height = 16;
    if (FImages)
        ImageList_GetIconSize(FImages, &width, &height);
    return width;
}

void TCommandBars::SetMetrics(int dpi, HFONT font, HIMAGELIST images, HIMAGELIST disabledImages) {
    FDpi = dpi;
    FFont = font;
    FImages = images;
    FDisabledImages = disabledImages;
    if (FToolBar) {
        int icon = IconSize();
        SendMessageW(FToolBar, TB_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(images));
        SendMessageW(FToolBar, TB_SETDISABLEDIMAGELIST, 0,
                     reinterpret_cast<LPARAM>(disabledImages));
        SendMessageW(FToolBar, TB_SETBITMAPSIZE, 0, MAKELPARAM(icon, icon));
        SendMessageW(FToolBar, TB_SETBUTTONSIZE, 0, MAKELPARAM(icon + Scale(8), icon + Scale(7)));
        int count = static_cast<int>(SendMessageW(FToolBar, TB_BUTTONCOUNT, 0, 0));
        for (int i = 0; i < count; ++i) {
            TBBUTTON button{};
            SendMessageW(FToolBar, TB_GETBUTTON, i, reinterpret_cast<LPARAM>(&button));
            if (!(button.fsStyle & BTNS_SEP))
                continue;
            TBBUTTONINFOW info{};
            info.cbSize = sizeof(info);
            info.dwMask = TBIF_BYINDEX | TBIF_SIZE;
            info.cx = static_cast<WORD>(Scale(8));
            SendMessageW(FToolBar, TB_SETBUTTONINFOW, i, reinterpret_cast<LPARAM>(&info));
        }
        SendMessageW(FToolBar, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    }
    // The menu asks for item sizes again only for items it has not measured yet; changing
    // the item type makes it forget them.
    std::vector<HMENU> menus = {FMainMenuBar, FPopupMenu};
    for (int i = 0; FMainMenuBar && i < GetMenuItemCount(FMainMenuBar); ++i)
        menus.push_back(GetSubMenu(FMainMenuBar, i));
    for (HMENU menu : menus) {
        if (!menu)
            continue;
        int count = GetMenuItemCount(menu);
        for (int i = 0; i < count; ++i) {
            MENUITEMINFOW mii{};
            mii.cbSize = sizeof(mii);
            mii.fMask = MIIM_FTYPE;
            GetMenuItemInfoW(menu, i, TRUE, &mii);
            SetMenuItemInfoW(menu, i, TRUE, &mii);
        }
    }
    if (FOwner && FMainMenuBar)
        DrawMenuBar(FOwner);
}

int TCommandBars::ToolBarHeight() const {
    int icon = FImages ? IconSize() : Scale(16);
    return std::max(Scale(26), icon + Scale(7) + Scale(4));
}

void TCommandBars::UpdateAction(const TAction& action) {
    UINT state = MF_BYCOMMAND | (action.Enabled ? MF_ENABLED : MF_GRAYED);
    if (FMainMenuBar)
        EnableMenuItem(FMainMenuBar, action.CommandId, state);
    if (FPopupMenu)
        EnableMenuItem(FPopupMenu, action.CommandId, state);
    if (FToolBar)
        SendMessageW(FToolBar, TB_ENABLEBUTTON, action.CommandId, MAKELPARAM(action.Enabled, 0));
}

void TCommandBars::ShowPopupMenu(POINT screen) {
    if (!FPopupMenu || !FOwner)
        return;
    TrackPopupMenuEx(FPopupMenu, TPM_LEFTALIGN | TPM_TOPALIGN | TPM_RIGHTBUTTON, screen.x, screen.y,
                     FOwner, nullptr);
}

void TCommandBars::UpdateMenuBrushes() {
    FBarBrush.Reset(CreateSolidBrush(ColorToRGB(FColors.Color)));
    FMenuBrush.Reset(CreateSolidBrush(ColorToRGB(FColors.MenuColor)));
    FSelectedBrush.Reset(CreateSolidBrush(ColorToRGB(FColors.SelectedColor)));
    FPressedBrush.Reset(CreateSolidBrush(ColorToRGB(FColors.BtnSelectedColor)));
    FFrameBrush.Reset(CreateSolidBrush(ColorToRGB(FColors.BtnFrameColor)));
    MENUINFO info{};
    info.cbSize = sizeof(info);
    info.fMask = MIM_BACKGROUND;
    if (FMainMenuBar) {
        info.hbrBack = FBarBrush.Get();
        SetMenuInfo(FMainMenuBar, &info);
        info.hbrBack = FMenuBrush.Get();
        int count = GetMenuItemCount(FMainMenuBar);
        for (int i = 0; i < count; ++i)
            if (HMENU sub = GetSubMenu(FMainMenuBar, i))
                SetMenuInfo(sub, &info);
    }
    if (FPopupMenu) {
        info.hbrBack = FMenuBrush.Get();
        SetMenuInfo(FPopupMenu, &info);
    }
}

void TCommandBars::SettingsChanged() {
    FColors.UpdateColors();
    UpdateMenuBrushes();
    if (FOwner && FMainMenuBar)
        DrawMenuBar(FOwner);
    if (FToolBar)
        InvalidateRect(FToolBar, nullptr, TRUE);
}

void TCommandBars::PaintMenuBarRest() {
    if (!FOwner || !FMainMenuBar || GetMenu(FOwner) != FMainMenuBar)
        return;
    int count = GetMenuItemCount(FMainMenuBar);
    MENUBARINFO bar{};
    bar.cbSize = sizeof(bar);
    RECT last{};
    if (count <= 0 || !GetMenuBarInfo(FOwner, OBJID_MENU, 0, &bar) ||
        !GetMenuItemRect(FOwner, FMainMenuBar, count - 1, &last))
        return;
    RECT window{};
    GetWindowRect(FOwner, &window);
    RECT rest{last.right, bar.rcBar.top, bar.rcBar.right, bar.rcBar.bottom};
    OffsetRect(&rest, -window.left, -window.top);
    if (rest.right <= rest.left)
        return;
    HDC dc = GetWindowDC(FOwner);
    if (!dc)
        return;
    FillSolid(dc, rest, FBarBrush.Get());
    ReleaseDC(FOwner, dc);
}

int TCommandBars::FindAccessKey(HMENU menu, wchar_t key) const {
    key = static_cast<wchar_t>(std::towupper(key));
    int count = GetMenuItemCount(menu);
    for (int i = 0; i < count; ++i) {
        MENUITEMINFOW mii{};
        mii.cbSize = sizeof(mii);
        mii.fMask = MIIM_DATA;
        if (!GetMenuItemInfoW(menu, i, TRUE, &mii) || !mii.dwItemData)
            continue;
        auto* entry = reinterpret_cast<const TEntry*>(mii.dwItemData);
        if (!entry->Separator && AccessKeyOf(entry->Caption) == key)
            return i;
    }
    return -1;
}

bool TCommandBars::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    auto isOurs = [this](ULONG_PTR data) {
        for (const TEntry& entry : FEntries)
            if (reinterpret_cast<ULONG_PTR>(&entry) == data)
                return true;
        return false;
    };
    switch (msg) {
    case WM_MEASUREITEM: {
        auto* item = reinterpret_cast<MEASUREITEMSTRUCT*>(lParam);
        if (item->CtlType != ODT_MENU || !isOurs(item->itemData))
            return false;
        MeasureItem(*item);
        result = TRUE;
        return true;
    }
    case WM_DRAWITEM: {
        auto* item = reinterpret_cast<DRAWITEMSTRUCT*>(lParam);
        if (item->CtlType != ODT_MENU || !isOurs(item->itemData))
            return false;
        DrawItem(*item);
        result = TRUE;
        return true;
    }
    case WM_MENUCHAR: {
        HMENU menu = reinterpret_cast<HMENU>(lParam);
        bool ours = menu == FMainMenuBar || menu == FPopupMenu;
        for (int i = 0; !ours && FMainMenuBar && i < GetMenuItemCount(FMainMenuBar); ++i)
            ours = GetSubMenu(FMainMenuBar, i) == menu;
        if (!ours)
            return false;
        int index = FindAccessKey(menu, static_cast<wchar_t>(LOWORD(wParam)));
        result = index >= 0 ? MAKELRESULT(index, MNC_EXECUTE) : MAKELRESULT(0, MNC_IGNORE);
        return true;
    }
    case WM_NOTIFY: {
        auto* header = reinterpret_cast<NMHDR*>(lParam);
        if (!FToolBar || header->hwndFrom != FToolBar || header->code != NM_CUSTOMDRAW)
            return false;
        result = ToolBarCustomDraw(*reinterpret_cast<NMTBCUSTOMDRAW*>(lParam));
        return true;
    }
    default:
        return false;
    }
}

void TCommandBars::MeasureItem(MEASUREITEMSTRUCT& item) {
    auto* entry = reinterpret_cast<const TEntry*>(item.itemData);
    if (entry->Separator) {
        item.itemWidth = Scale(20);
        item.itemHeight = Scale(5);
        return;
    }
    TScopedGetDC screen(FOwner);
    TScopedSelect font(screen.Get(), FFont ? FFont : GetStockObject(DEFAULT_GUI_FONT));
    RECT text{};
    DrawTextW(screen.Get(), entry->Caption.c_str(), -1, &text, DT_SINGLELINE | DT_CALCRECT);
    int textWidth = text.right - text.left;
    int textHeight = text.bottom - text.top;
    if (entry->TopLevel) {
        item.itemWidth = textWidth + Scale(12);
        item.itemHeight = textHeight + Scale(6);
        return;
    }
    int icon = IconSize();
    int width = icon + Scale(8) + Scale(8) + textWidth + Scale(16);
    std::wstring shortCut = entry->Action ? ShortCutText(entry->Action->ShortCut) : L"";
    if (!shortCut.empty()) {
        RECT keyText{};
        DrawTextW(screen.Get(), shortCut.c_str(), -1, &keyText, DT_SINGLELINE | DT_CALCRECT);
        width += Scale(24) + (keyText.right - keyText.left);
    }
    item.itemWidth = width;
    item.itemHeight = std::max(icon + Scale(6), textHeight + Scale(8));
}

void TCommandBars::DrawItem(const DRAWITEMSTRUCT& item) {
    auto* entry = reinterpret_cast<const TEntry*>(item.itemData);
    if (entry->TopLevel)
        DrawTopLevelItem(item, *entry);
    else
        DrawPopupItem(item, *entry);
}

void TCommandBars::DrawTopLevelItem(const DRAWITEMSTRUCT& item, const TEntry& entry) {
    HDC dc = item.hDC;
    RECT rect = item.rcItem;
    FillSolid(dc, rect, FBarBrush.Get());
    bool active = (item.itemState & (ODS_SELECTED | ODS_HOTLIGHT)) != 0;
    if (active) {
        FillSolid(dc, rect, FSelectedBrush.Get());
        FrameRect(dc, &rect, FFrameBrush.Get());
    }
    TScopedSelect font(dc, FFont ? FFont : GetStockObject(DEFAULT_GUI_FONT));
    SetBkMode(dc, TRANSPARENT);
    bool disabled = (item.itemState & (ODS_GRAYED | ODS_DISABLED)) != 0;
    SetTextColor(dc,
                 ColorToRGB(disabled ? FColors.DisabledFontColor
                                     : (active ? FColors.SelectedFontColor : FColors.FontColor)));
    UINT format = DT_SINGLELINE | DT_CENTER | DT_VCENTER;
    if (item.itemState & ODS_NOACCEL)
        format |= DT_HIDEPREFIX;
    DrawTextW(dc, entry.Caption.c_str(), -1, &rect, format);
}

void TCommandBars::DrawPopupItem(const DRAWITEMSTRUCT& item, const TEntry& entry) {
    HDC dc = item.hDC;
    RECT rect = item.rcItem;
    int icon = IconSize();
    int gutter = icon + Scale(8);
    RECT gutterRect{rect.left, rect.top, rect.left + gutter, rect.bottom};
    RECT body{rect.left + gutter, rect.top, rect.right, rect.bottom};
    FillSolid(dc, gutterRect, FBarBrush.Get());
    FillSolid(dc, body, FMenuBrush.Get());
    if (entry.Separator) {
        int y = (rect.top + rect.bottom) / 2;
        RECT line{rect.left + gutter + Scale(8), y, rect.right, y + 1};
        FillSolid(dc, line, FFrameBrush.Get());
        return;
    }
    bool disabled = (item.itemState & (ODS_GRAYED | ODS_DISABLED)) != 0;
    bool selected = (item.itemState & ODS_SELECTED) != 0;
    if (selected) {
        if (!disabled)
            FillSolid(dc, rect, FSelectedBrush.Get());
        FrameRect(dc, &rect, FFrameBrush.Get());
    }
    if (entry.Action && entry.Action->ImageIndex != kNoImage) {
        HIMAGELIST list = disabled && FDisabledImages ? FDisabledImages : FImages;
        if (list)
            ImageList_Draw(list, entry.Action->ImageIndex, dc, rect.left + (gutter - icon) / 2,
                           rect.top + (rect.bottom - rect.top - icon) / 2, ILD_TRANSPARENT);
    }
    TScopedSelect font(dc, FFont ? FFont : GetStockObject(DEFAULT_GUI_FONT));
    SetBkMode(dc, TRANSPARENT);
    COLORREF textColor = disabled ? FColors.DisabledFontColor
                                  : (selected ? FColors.SelectedFontColor : FColors.FontColor);
    SetTextColor(dc, ColorToRGB(textColor));
    UINT format = DT_SINGLELINE | DT_VCENTER | DT_LEFT;
    if (item.itemState & ODS_NOACCEL)
        format |= DT_HIDEPREFIX;
    RECT text{rect.left + gutter + Scale(8), rect.top, rect.right - Scale(8), rect.bottom};
    DrawTextW(dc, entry.Caption.c_str(), -1, &text, format);
    if (entry.Action && entry.Action->ShortCut) {
        std::wstring shortCut = ShortCutText(entry.Action->ShortCut);
        RECT keyText{text.left, rect.top, rect.right - Scale(16), rect.bottom};
        DrawTextW(dc, shortCut.c_str(), -1, &keyText, DT_SINGLELINE | DT_VCENTER | DT_RIGHT);
    }
}

LRESULT TCommandBars::ToolBarCustomDraw(NMTBCUSTOMDRAW& draw) {
    switch (draw.nmcd.dwDrawStage) {
    case CDDS_PREPAINT: {
        RECT client{};
        GetClientRect(FToolBar, &client);
        FillSolid(draw.nmcd.hdc, client, FBarBrush.Get());
        return CDRF_NOTIFYITEMDRAW;
    }
    case CDDS_ITEMPREPAINT: {
        TAction* action = FActions.FindById(static_cast<UINT>(draw.nmcd.dwItemSpec));
        if (!action)
            return CDRF_DODEFAULT;
        HDC dc = draw.nmcd.hdc;
        RECT rect = draw.nmcd.rc;
        FillSolid(dc, rect, FBarBrush.Get());
        UINT state = draw.nmcd.uItemState;
        bool enabled = action->Enabled && !(state & CDIS_DISABLED);
        if (enabled && (state & (CDIS_HOT | CDIS_SELECTED))) {
            bool pressed = (state & CDIS_SELECTED) != 0;
            FillSolid(dc, rect, pressed ? FPressedBrush.Get() : FSelectedBrush.Get());
            FrameRect(dc, &rect, FFrameBrush.Get());
        }
        HIMAGELIST list = enabled || !FDisabledImages ? FImages : FDisabledImages;
        int icon = IconSize();
        if (list && action->ImageIndex != kNoImage)
            ImageList_Draw(list, action->ImageIndex, dc,
                           rect.left + (rect.right - rect.left - icon) / 2,
                           rect.top + (rect.bottom - rect.top - icon) / 2, ILD_TRANSPARENT);
        return CDRF_SKIPDEFAULT;
    }
    default:
        return CDRF_DODEFAULT;
    }
}

} // namespace vantrel
