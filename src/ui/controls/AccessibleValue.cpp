#include "ui/controls/AccessibleValue.h"

#include <oleacc.h>

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

} // namespace

// The system's client object of the window, with the value taken from the control. Late-bound
// callers (IDispatch::Invoke) reach the system's object, as they would without this one;
// assistive technology calls through the interface itself.
class TAccessibleClient::TObject final : public IAccessible, public IOleWindow {
public:
    TObject(HWND window, IAccessible* standard, const TAccessibleSource& source)
        : FWindow(window), FStandard(standard), FSource(&source) {}
    TObject(const TObject&) = delete;
    TObject& operator=(const TObject&) = delete;

    void Disconnect() { FSource = nullptr; }

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
        *window = nullptr;
        if (!FSource)
            return CO_E_OBJNOTCONNECTED;
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
        if (!FSource)
            return CO_E_OBJNOTCONNECTED;
        return FStandard->Invoke(id, iid, locale, flags, params, result, exception, badArgument);
    }

    // IAccessible: the value is the control's.
    HRESULT STDMETHODCALLTYPE get_accValue(VARIANT child, BSTR* value) override {
        if (!value)
            return E_POINTER;
        *value = nullptr;
        if (!FSource)
            return CO_E_OBJNOTCONNECTED;
        if (!IsSelf(child))
            return FStandard->get_accValue(child, value);
        return ToBstr(FSource->AccessibleValue(), value);
    }

    // IAccessible: everything else is the system's, while the control exists.
    HRESULT STDMETHODCALLTYPE get_accName(VARIANT child, BSTR* name) override {
        return Forward(&IAccessible::get_accName, child, name);
    }
    HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** parent) override {
        return Forward(&IAccessible::get_accParent, parent);
    }
    HRESULT STDMETHODCALLTYPE get_accChildCount(LONG* count) override {
        return Forward(&IAccessible::get_accChildCount, count);
    }
    HRESULT STDMETHODCALLTYPE get_accChild(VARIANT child, IDispatch** object) override {
        return Forward(&IAccessible::get_accChild, child, object);
    }
    HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT child, BSTR* text) override {
        return Forward(&IAccessible::get_accDescription, child, text);
    }
    HRESULT STDMETHODCALLTYPE get_accRole(VARIANT child, VARIANT* role) override {
        return Forward(&IAccessible::get_accRole, child, role);
    }
    HRESULT STDMETHODCALLTYPE get_accState(VARIANT child, VARIANT* state) override {
        return Forward(&IAccessible::get_accState, child, state);
    }
    HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT child, BSTR* text) override {
        return Forward(&IAccessible::get_accHelp, child, text);
    }
    HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* file, VARIANT child, LONG* topic) override {
        return Forward(&IAccessible::get_accHelpTopic, file, child, topic);
    }
    HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT child, BSTR* text) override {
        return Forward(&IAccessible::get_accKeyboardShortcut, child, text);
    }
    HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* child) override {
        return Forward(&IAccessible::get_accFocus, child);
    }
    HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* children) override {
        return Forward(&IAccessible::get_accSelection, children);
    }
    HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT child, BSTR* text) override {
        return Forward(&IAccessible::get_accDefaultAction, child, text);
    }
    HRESULT STDMETHODCALLTYPE accSelect(LONG flags, VARIANT child) override {
        return Forward(&IAccessible::accSelect, flags, child);
    }
    HRESULT STDMETHODCALLTYPE accLocation(LONG* left, LONG* top, LONG* width, LONG* height,
                                          VARIANT child) override {
        return Forward(&IAccessible::accLocation, left, top, width, height, child);
    }
    HRESULT STDMETHODCALLTYPE accNavigate(LONG direction, VARIANT start, VARIANT* end) override {
        return Forward(&IAccessible::accNavigate, direction, start, end);
    }
    HRESULT STDMETHODCALLTYPE accHitTest(LONG x, LONG y, VARIANT* child) override {
        return Forward(&IAccessible::accHitTest, x, y, child);
    }
    HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT child) override {
        return Forward(&IAccessible::accDoDefaultAction, child);
    }
    HRESULT STDMETHODCALLTYPE put_accName(VARIANT child, BSTR name) override {
        return Forward(&IAccessible::put_accName, child, name);
    }
    HRESULT STDMETHODCALLTYPE put_accValue(VARIANT child, BSTR value) override {
        return Forward(&IAccessible::put_accValue, child, value);
    }

private:
    ~TObject() { FStandard->Release(); }

    // The system's object knows the window only by its handle, which may name another window
    // once the control is gone.
    template <typename TMethod, typename... TArgs> HRESULT Forward(TMethod method, TArgs... args) {
        if (!FSource)
            return CO_E_OBJNOTCONNECTED;
        return (FStandard->*method)(args...);
    }

    HWND FWindow;
    IAccessible* FStandard;
    const TAccessibleSource* FSource;
    LONG FReferences = 1;
};

LRESULT TAccessibleClient::Answer(HWND window, WPARAM wParam, const TAccessibleSource& source) {
    if (!FObject) {
        IAccessible* standard = nullptr;
        if (FAILED(CreateStdAccessibleObject(window, OBJID_CLIENT, __uuidof(IAccessible),
                                             reinterpret_cast<void**>(&standard))) ||
            !standard)
            return 0;
        FObject = new (std::nothrow) TObject(window, standard, source);
        if (!FObject) {
            standard->Release();
            return 0;
        }
    }
    const LRESULT result =
        LresultFromObject(__uuidof(IAccessible), wParam, static_cast<IAccessible*>(FObject));
    // A failure comes back as an error code, which the caller must not pass on as an answer.
    return FAILED(static_cast<HRESULT>(result)) ? 0 : result;
}

void TAccessibleClient::Disconnect() {
    if (!FObject)
        return;
    FObject->Disconnect();
    // Clients in other processes hold the object through COM's stub: they are cut off too, and
    // their references go.
    CoDisconnectObject(static_cast<IAccessible*>(FObject), 0);
    FObject->Release();
    FObject = nullptr;
}

} // namespace vantrel
