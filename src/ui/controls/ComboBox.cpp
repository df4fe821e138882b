#include "ui/controls/ComboBox.h"

namespace vantrel {

int TComboBox::Add(const std::wstring& text) {
    // Without a control every message answers 0, which would read as the first item.
    if (!FHandle)
        return -1;
    const LRESULT index =
        SendMessageW(FHandle, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
    return index < 0 ? -1 : static_cast<int>(index);
}

int TComboBox::Count() const {
    const LRESULT count = SendMessageW(FHandle, CB_GETCOUNT, 0, 0);
    return count < 0 ? 0 : static_cast<int>(count);
}

void TComboBox::Clear() {
    SendMessageW(FHandle, CB_RESETCONTENT, 0, 0);
}

int TComboBox::Selected() const {
    if (!FHandle)
        return -1;
    const LRESULT index = SendMessageW(FHandle, CB_GETCURSEL, 0, 0);
    return index < 0 ? -1 : static_cast<int>(index);
}

bool TComboBox::SetSelected(int index) {
    if (index < -1 || index >= Count())
        return false;
    // Clearing answers CB_ERR although it succeeds.
    SendMessageW(FHandle, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    return true;
}

std::wstring TComboBox::ItemText(int index) const {
    if (index < 0 || index >= Count())
        return std::wstring();
    const LRESULT length = SendMessageW(FHandle, CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0);
    if (length <= 0)
        return std::wstring();
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    const LRESULT copied = SendMessageW(FHandle, CB_GETLBTEXT, static_cast<WPARAM>(index),
                                        reinterpret_cast<LPARAM>(text.data()));
    text.resize(copied > 0 ? static_cast<size_t>(copied) : 0);
    return text;
}

bool TComboBox::SetItemData(int index, LPARAM data) {
    if (index < 0 || index >= Count())
        return false;
    return SendMessageW(FHandle, CB_SETITEMDATA, static_cast<WPARAM>(index), data) != CB_ERR;
}

LPARAM TComboBox::ItemData(int index) const {
    if (index < 0 || index >= Count())
        return 0;
    return SendMessageW(FHandle, CB_GETITEMDATA, static_cast<WPARAM>(index), 0);
}

} // namespace vantrel
