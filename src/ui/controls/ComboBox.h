#pragma once
// A thin, non-owning view of a drop-down list (a combo box control); the dialog hands one out
// for a control id. Indices are 0-based; -1 means "no item".
#include <windows.h>

#include <string>

namespace vantrel {

class TComboBox {
public:
    explicit TComboBox(HWND handle = nullptr) : FHandle(handle) {}
    HWND Handle() const { return FHandle; }

    // Appends an item (the list is not sorted unless created with CBS_SORT); its index, or -1.
    int Add(const std::wstring& text);
    int Count() const;
    void Clear();
    // The selected item, -1 for none.
    int Selected() const;
    // Selects an item; -1 clears the selection. False (and nothing changes) for an index
    // outside the list. Like the control itself, sends no notification.
    bool SetSelected(int index);
    // The text of an item; empty outside the list.
    std::wstring ItemText(int index) const;
    // A number kept with an item (e.g. the minutes it stands for).
    bool SetItemData(int index, LPARAM data);
    // 0 outside the list.
    LPARAM ItemData(int index) const;

private:
    HWND FHandle;
};

} // namespace vantrel
