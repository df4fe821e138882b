#pragma once
// A thin layer over the registry's W functions: move-only key owners that close at once,
// strict REG_DWORD checks in one place, and the connection to a network computer's registry.
#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace vantrel {

// Every call returns the system's code (ERROR_SUCCESS on success); the store above turns the
// codes into the Booleans it needs.
class TRegKey {
public:
    TRegKey() = default;
    explicit TRegKey(HKEY key) : FKey(key) {}
    ~TRegKey() { Close(); }
    TRegKey(TRegKey&& other) noexcept : FKey(other.FKey) { other.FKey = nullptr; }
    TRegKey& operator=(TRegKey&& other) noexcept;
    TRegKey(const TRegKey&) = delete;
    TRegKey& operator=(const TRegKey&) = delete;

    // Opens an existing key with the access asked for (KEY_READ to read, KEY_SET_VALUE to
    // write values); never creates one. Under User Account Control, and wherever a key's
    // security grants less, asking for more than the caller needs is refused.
    LONG Open(HKEY root, const std::wstring& path, REGSAM access);
    // Opens the key, creating it and any missing key above it.
    LONG Create(HKEY root, const std::wstring& path, REGSAM access);
    // ERROR_SUCCESS also when no key is open.
    LONG Close();
    bool IsOpen() const { return FKey != nullptr; }
    HKEY Get() const { return FKey; }
    // Gives up ownership without closing (for a key that belongs to the caller).
    HKEY Release() {
        HKEY key = FKey;
        FKey = nullptr;
        return key;
    }

    // ERROR_FILE_NOT_FOUND when the value is missing, ERROR_INVALID_DATATYPE when it is not a
    // REG_DWORD of four bytes, ERROR_INVALID_HANDLE when no key is open. The value is changed
    // only on success.
    LONG ReadDword(const wchar_t* name, DWORD& value) const;
    LONG ReadInt(const wchar_t* name, int& value) const;
    // Any non-zero value reads as true.
    LONG ReadBool(const wchar_t* name, bool& value) const;
    // ERROR_FILE_NOT_FOUND when missing, ERROR_INVALID_DATATYPE when not REG_SZ.
    LONG ReadString(const wchar_t* name, std::wstring& value) const;
    // ERROR_FILE_NOT_FOUND when missing, ERROR_INVALID_DATATYPE when not REG_MULTI_SZ. The
    // strings in order; an empty string ends the list, as the registry's editors read it.
    LONG ReadMultiString(const wchar_t* name, std::vector<std::wstring>& values) const;
    // A REG_BINARY value of exactly `size` bytes; ERROR_INVALID_DATATYPE for any other type or
    // size. The buffer is changed only on success.
    LONG ReadBinary(const wchar_t* name, void* data, DWORD size) const;

    LONG WriteDword(const wchar_t* name, DWORD value) const;
    LONG WriteInt(const wchar_t* name, int value) const {
        return WriteDword(name, static_cast<DWORD>(value));
    }
    // Writes 0 or 1.
    LONG WriteBool(const wchar_t* name, bool value) const {
        return WriteDword(name, value ? 1 : 0);
    }
    LONG WriteString(const wchar_t* name, const std::wstring& value) const;
    // ERROR_INVALID_PARAMETER for a string that is empty or holds a null character, which the
    // list could not keep.
    LONG WriteMultiString(const wchar_t* name, const std::vector<std::wstring>& values) const;
    LONG WriteBinary(const wchar_t* name, const void* data, DWORD size) const;

    // Names of the subkeys, in the order the registry lists them; names holds those listed
    // before a failure too.
    LONG SubkeyNames(std::vector<std::wstring>& names) const;

private:
    HKEY FKey = nullptr;
};

// HKEY_LOCAL_MACHINE of this computer, or of a network computer once Connect succeeded.
// A failed connection keeps the local root. The connection closes with the object.
class TRegRoot {
public:
    TRegRoot() = default;
    ~TRegRoot();
    TRegRoot(const TRegRoot&) = delete;
    TRegRoot& operator=(const TRegRoot&) = delete;

    // The system's code; on failure the local root stays.
    LONG Connect(const std::wstring& computer);
    // Takes a network computer's root connected elsewhere (TTimedConnect).
    void Adopt(HKEY remote);
    bool IsRemote() const { return FRemote != nullptr; }
    HKEY Get() const { return FRemote ? FRemote : HKEY_LOCAL_MACHINE; }

private:
    HKEY FRemote = nullptr;
};

// Connects to HKEY_LOCAL_MACHINE of a network computer; returns the system error code.
// Production passes the name unchanged to RegConnectRegistryW. Tests map names onto keys of
// this computer's registry; an empty function restores the real call.
using TRemoteRegistryConnect = std::function<LONG(const std::wstring& computer, HKEY* root)>;
void SetRemoteRegistrySeam(TRemoteRegistryConnect connect);
LONG ConnectRemoteRegistry(const std::wstring& computer, HKEY* root);

// A connection to a network computer's registry that is waited for only so long: a computer
// that does not answer would otherwise hold the caller for as long as the network gives it
// (tens of seconds). The connection is made on a thread of its own. An attempt given up on goes
// on alone; what it gets is kept for the next Connect to the same computer, which takes a
// connection that came late at once, waits for one still on its way, and starts a new attempt
// only when that one failed. No Connect waits longer than its own time in all. A computer that
// answered too slowly is asked again as soon as its late connection is taken, so that the next
// Connect finds one waiting: a computer that answers a little too slowly is used every time
// after the first. A connection kept for another computer's name is closed unused.
class TTimedConnect {
public:
    TTimedConnect() = default;
    TTimedConnect(const TTimedConnect&) = delete;
    TTimedConnect& operator=(const TTimedConnect&) = delete;

    // As TRegRoot::Connect, or ERROR_TIMEOUT when the computer did not answer within timeoutMs.
    LONG Connect(const std::wstring& computer, DWORD timeoutMs, TRegRoot& root);

private:
    struct TAttempt;
    static DWORD WINAPI RunAttempt(void* parameter);
    // A new attempt on a thread of its own; null (with the system's code) when none could start.
    static std::shared_ptr<TAttempt> Start(const std::wstring& computer, DWORD timeoutMs, LONG& rc);
    // Hands the attempt's outcome to `root` and `result` once it has finished; one that has not
    // is marked as too slow.
    static bool Take(TAttempt& attempt, TRegRoot& root, LONG& result);
    std::shared_ptr<TAttempt> FPending;
};

} // namespace vantrel
