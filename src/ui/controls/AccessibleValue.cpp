#include "ui/controls/AccessibleValue.h"

#include <oleacc.h>

#include <algorithm>
#include <cwchar>
#include <new>
#include <string>

namespace vantrel {

namespace {

bool IsSelf(const VARIANT& child) {
    return child.vt == VT_I4 && child.lVal == CHILDID_SELF;
}

// S_FALSE with no text for an empty one, as the system's objects answer.
HRESULT ToBstr(const std::wstring& text, BSTR* result) {
    if (text.empty())
        return S_FALSE;
    *result = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    return *result ? S_OK : E_OUTOFMEMORY;
}

std::wstring AskText(HWND window, UINT message) {
    for (WPARAM size = 128; size <= 0x10000; size *= 8) {
        std::wstring text(size, L'\0');
        const LRESULT length =
            SendMessageW(window, message, size, reinterpret_cast<LPARAM>(&text[0]));
        if (length >= 0 && static_cast<WPARAM>(length) + 1 < size) {
            text.resize(static_cast<size_t>(length));
            return text;
        }
    }
    return std::wstring();
}

// The system's client object of the window, with the name and the value taken from the window.
// Late-bound callers (IDispatch::Invoke) reach the system's object, as they would without this
// one; assistive technology calls through the interface itself.
class TAccessibleWithValue final : public IAccessible, public IOleWindow {
public:
    TAccessibleWithValue(HWND window, IAccessible* standard)
        : FWindow(window), FStandard(standard) {}
    TAccessibleWithValue(const TAccessibleWithValue&) = delete;
    TAccessibleWithValue& operator=(const TAccessibleWithValue&) = delete;

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (!object)
            return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_IDispatch || iid == __uuidof(IAccessible))
            *object = static_cast<IAccessible*>(this);
        else if (iid == IID_IOleWindow)
            *object = static_cast<IOleWindow*>(this);
        else {
            *object = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return InterlockedIncrement(&FReferences); }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = InterlockedDecrement(&FReferences);
        if (left == 0)
            delete this;
        return left;
    }

    // IOleWindow
    HRESULT STDMETHODCALLTYPE GetWindow(HWND* window) override {
        if (!window)
            return E_POINTER;
        *window = FWindow;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

    // IDispatch
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        return FStandard->GetTypeInfoCount(count);
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID locale, ITypeInfo** info) override {
        return FStandard->GetTypeInfo(index, locale, info);
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID locale,
                                            DISPID* ids) override {
        return FStandard->GetIDsOfNames(iid, names, count, locale, ids);
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID iid, LCID locale, WORD flags,
                                     DISPPARAMS* params, VARIANT* result, EXCEPINFO* exception,
                                     UINT* badArgument) override {
        return FStandard->Invoke(id, iid, locale, flags, params, result, exception, badArgument);
    }

    // IAccessible: the name and the value are the window's.
    HRESULT STDMETHODCALLTYPE get_accName(VARIANT child, BSTR* name) override {
        return WindowText(child, WM_GETTEXT, name, &IAccessible::get_accName);
    }
    HRESULT STDMETHODCALLTYPE get_accValue(VARIANT child, BSTR* value) override {
        return WindowText(child, WM_GETACCESSIBLEVALUE, value, &IAccessible::get_accValue);
    }

    // IAccessible: everything else is the system's.
    HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** parent) override {
        return FStandard->get_accParent(parent);
    }
    HRESULT STDMETHODCALLTYPE get_accChildCount(LONG* count) override {
        return FStandard->get_accChildCount(count);
    }
    HRESULT STDMETHODCALLTYPE get_accChild(VARIANT child, IDispatch** object) override {
        return FStandard->get_accChild(child, object);
    }
    HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT child, BSTR* text) override {
        return FStandard->get_accDescription(child, text);
    }
    HRESULT STDMETHODCALLTYPE get_accRole(VARIANT child, VARIANT* role) override {
        return FStandard->get_accRole(child, role);
    }
    HRESULT STDMETHODCALLTYPE get_accState(VARIANT child, VARIANT* state) override {
        return FStandard->get_accState(child, state);
    }
    HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT child, BSTR* text) override {
        return FStandard->get_accHelp(child, text);
    }
    HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* file, VARIANT child, LONG* topic) override {
        return FStandard->get_accHelpTopic(file, child, topic);
    }
    HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT child, BSTR* text) override {
        return FStandard->get_accKeyboardShortcut(child, text);
    }
    HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* child) override {
        return FStandard->get_accFocus(child);
    }
    HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* children) override {
        return FStandard->get_accSelection(children);
    }
    HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT child, BSTR* text) override {
        return FStandard->get_accDefaultAction(child, text);
    }
    HRESULT STDMETHODCALLTYPE accSelect(LONG flags, VARIANT child) override {
        return FStandard->accSelect(flags, child);
    }
    HRESULT STDMETHODCALLTYPE accLocation(LONG* left, LONG* top, LONG* width, LONG* height,
                                          VARIANT child) override {
        return FStandard->accLocation(left, top, width, height, child);
    }
    HRESULT STDMETHODCALLTYPE accNavigate(LONG direction, VARIANT start, VARIANT* end) override {
        return FStandard->accNavigate(direction, start, end);
    }
    HRESULT STDMETHODCALLTYPE accHitTest(LONG x, LONG y, VARIANT* child) override {
        return FStandard->accHitTest(x, y, child);
    }
    HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT child) override {
        return FStandard->accDoDefaultAction(child);
    }
    HRESULT STDMETHODCALLTYPE put_accName(VARIANT child, BSTR name) override {
        return FStandard->put_accName(child, name);
    }
    HRESULT STDMETHODCALLTYPE put_accValue(VARIANT child, BSTR value) override {
        return FStandard->put_accValue(child, value);
    }

private:
    ~TAccessibleWithValue() { FStandard->Release(); }

    using TTextGetter = HRESULT (STDMETHODCALLTYPE IAccessible::*)(VARIANT, BSTR*);
    HRESULT WindowText(const VARIANT& child, UINT message, BSTR* text, TTextGetter standard) {
        if (!text)
            return E_POINTER;
        *text = nullptr;
        if (!IsSelf(child))
            return (FStandard->*standard)(child, text);
        if (!IsWindow(FWindow))
            return E_FAIL;
        return ToBstr(AskText(FWindow, message), text);
    }

    HWND FWindow;
    IAccessible* FStandard;
    LONG FReferences = 1;
};

} // namespace

LRESULT AccessibleClientObject(HWND window, WPARAM wParam) {
    IAccessible* standard = nullptr;
    if (FAILED(CreateStdAccessibleObject(window, OBJID_CLIENT, __uuidof(IAccessible),
                                         reinterpret_cast<void**>(&standard))) ||
        !standard)
        return 0;
    auto* object = new (std::nothrow) TAccessibleWithValue(window, standard);
    if (!object) {
        standard->Release();
        return 0;
    }
    const LRESULT result =
        LresultFromObject(__uuidof(IAccessible), wParam, static_cast<IAccessible*>(object));
    object->Release();
    // A failure comes back as an error code, which the caller must not pass on as an answer.
    return FAILED(static_cast<HRESULT>(result)) ? 0 : result;
}

LRESULT CopyAccessibleValue(const wchar_t* text, WPARAM size, LPARAM buffer) {
    if (!buffer || size == 0)
        return 0;
    auto* out = reinterpret_cast<wchar_t*>(buffer);
    const size_t length = std::min(wcslen(text), static_cast<size_t>(size - 1));
    wmemcpy(out, text, length);
    out[length] = L'\0';
    return static_cast<LRESULT>(length);
}

} // namespace vantrel
