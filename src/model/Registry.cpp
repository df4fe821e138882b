#include "model/Registry.h"

#include "win/Handle.h"
#include "win/Lock.h"

namespace vantrel {

TRegKey& TRegKey::operator=(TRegKey&& other) noexcept {
    if (this != &other) {
        Close();
        FKey = other.FKey;
        other.FKey = nullptr;
    }
    return *this;
}

LONG TRegKey::Open(HKEY root, const std::wstring& path, REGSAM access) {
    Close();
    HKEY key = nullptr;
    LONG rc = RegOpenKeyExW(root, path.c_str(), 0, access, &key);
    if (rc == ERROR_SUCCESS)
        FKey = key;
    return rc;
}

LONG TRegKey::Create(HKEY root, const std::wstring& path, REGSAM access) {
    Close();
    HKEY key = nullptr;
    LONG rc = RegCreateKeyExW(root, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, access,
                              nullptr, &key, nullptr);
    if (rc == ERROR_SUCCESS)
        FKey = key;
    return rc;
}

LONG TRegKey::Close() {
    if (!FKey)
        return ERROR_SUCCESS;
    LONG rc = RegCloseKey(FKey);
    FKey = nullptr;
    return rc;
}

LONG TRegKey::ReadDword(const wchar_t* name, DWORD& value) const {
    if (!FKey)
        return ERROR_INVALID_HANDLE;
    DWORD type = 0;
    DWORD data = 0;
    DWORD size = sizeof(data);
    LONG rc = RegQueryValueExW(FKey, name, nullptr, &type, reinterpret_cast<BYTE*>(&data), &size);
    // A longer value of another type answers ERROR_MORE_DATA; it is still the wrong type.
    if ((rc == ERROR_SUCCESS || rc == ERROR_MORE_DATA) && type != REG_DWORD)
        return ERROR_INVALID_DATATYPE;
    if (rc != ERROR_SUCCESS)
        return rc;
    if (size != sizeof(data))
        return ERROR_INVALID_DATATYPE;
    value = data;
    return ERROR_SUCCESS;
}

LONG TRegKey::ReadInt(const wchar_t* name, int& value) const {
    DWORD data = 0;
    LONG rc = ReadDword(name, data);
    if (rc == ERROR_SUCCESS)
        value = static_cast<int>(data);
    return rc;
}

LONG TRegKey::ReadBool(const wchar_t* name, bool& value) const {
    DWORD data = 0;
    LONG rc = ReadDword(name, data);
    if (rc == ERROR_SUCCESS)
        value = data != 0;
    return rc;
}

namespace {

// Reads a value of the type given into a buffer of characters, however long it has grown since
// its size was asked (the service writes too).
LONG ReadText(HKEY key, const wchar_t* name, DWORD wanted, std::wstring& text) {
    for (int attempt = 0; attempt < 4; ++attempt) {
        DWORD type = 0;
        DWORD size = 0;
        LONG rc = RegQueryValueExW(key, name, nullptr, &type, nullptr, &size);
        if (rc != ERROR_SUCCESS)
            return rc;
        if (type != wanted)
            return ERROR_INVALID_DATATYPE;
        std::wstring buffer(size / sizeof(wchar_t) + 1, L'\0');
        DWORD bytes = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
        rc = RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&buffer[0]),
                              &bytes);
        if (rc == ERROR_MORE_DATA)
            continue;
        if (rc != ERROR_SUCCESS)
            return rc;
        if (type != wanted)
            return ERROR_INVALID_DATATYPE;
        buffer.resize(bytes / sizeof(wchar_t));
        text = buffer;
        return ERROR_SUCCESS;
    }
    return ERROR_MORE_DATA;
}

} // namespace

LONG TRegKey::ReadString(const wchar_t* name, std::wstring& value) const {
    if (!FKey)
        return ERROR_INVALID_HANDLE;
    std::wstring buffer;
    const LONG rc = ReadText(FKey, name, REG_SZ, buffer);
    if (rc != ERROR_SUCCESS)
        return rc;
    // Stored strings may or may not carry their terminator.
    size_t end = buffer.find(L'\0');
    if (end != std::wstring::npos)
        buffer.resize(end);
    value = buffer;
    return ERROR_SUCCESS;
}

LONG TRegKey::ReadMultiString(const wchar_t* name, std::vector<std::wstring>& values) const {
    if (!FKey)
        return ERROR_INVALID_HANDLE;
    std::wstring buffer;
    const LONG rc = ReadText(FKey, name, REG_MULTI_SZ, buffer);
    if (rc != ERROR_SUCCESS)
        return rc;
    std::vector<std::wstring> strings;
    size_t begin = 0;
    while (begin < buffer.size()) {
        size_t end = buffer.find(L'\0', begin);
        if (end == std::wstring::npos)
            end = buffer.size();
        if (end == begin)
            break;
        strings.push_back(buffer.substr(begin, end - begin));
        begin = end + 1;
    }
    values = std::move(strings);
    return ERROR_SUCCESS;
}

LONG TRegKey::ReadBinary(const wchar_t* name, void* data, DWORD size) const {
    if (!FKey)
        return ERROR_INVALID_HANDLE;
    std::vector<BYTE> buffer(size);
    DWORD type = 0;
    DWORD bytes = size;
    LONG rc = RegQueryValueExW(FKey, name, nullptr, &type, buffer.data(), &bytes);
    if ((rc == ERROR_SUCCESS || rc == ERROR_MORE_DATA) && (type != REG_BINARY || bytes != size))
        return ERROR_INVALID_DATATYPE;
    if (rc != ERROR_SUCCESS)
        return rc;
    CopyMemory(data, buffer.data(), size);
    return ERROR_SUCCESS;
}

LONG TRegKey::WriteDword(const wchar_t* name, DWORD value) const {
    if (!FKey)
        return ERROR_INVALID_HANDLE;
    return RegSetValueExW(FKey, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                          sizeof(value));
}

LONG TRegKey::WriteString(const wchar_t* name, const std::wstring& value) const {
    if (!FKey)
        return ERROR_INVALID_HANDLE;
    DWORD bytes = static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t));
    return RegSetValueExW(FKey, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                          bytes);
}

LONG TRegKey::WriteMultiString(const wchar_t* name, const std::vector<std::wstring>& values) const {
    if (!FKey)
        return ERROR_INVALID_HANDLE;
    std::wstring data;
    for (const std::wstring& value : values) {
        if (value.empty() || value.find(L'\0') != std::wstring::npos)
            return ERROR_INVALID_PARAMETER;
        data += value;
        data += L'\0';
    }
    data += L'\0';
    return RegSetValueExW(FKey, name, 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(data.data()),
                          static_cast<DWORD>(data.size() * sizeof(wchar_t)));
}

LONG TRegKey::WriteBinary(const wchar_t* name, const void* data, DWORD size) const {
    if (!FKey)
        return ERROR_INVALID_HANDLE;
    return RegSetValueExW(FKey, name, 0, REG_BINARY, static_cast<const BYTE*>(data), size);
}

LONG TRegKey::SubkeyNames(std::vector<std::wstring>& names) const {
    names.clear();
    if (!FKey)
        return ERROR_INVALID_HANDLE;
    // Key names are at most 255 characters, so one buffer serves every name.
    wchar_t buffer[256];
    for (DWORD index = 0;; ++index) {
        DWORD length = 256;
        LONG rc = RegEnumKeyExW(FKey, index, buffer, &length, nullptr, nullptr, nullptr, nullptr);
        if (rc == ERROR_NO_MORE_ITEMS)
            return ERROR_SUCCESS;
        if (rc != ERROR_SUCCESS)
            return rc;
        names.emplace_back(buffer, length);
    }
}

namespace {
TRemoteRegistryConnect& Seam() {
    static TRemoteRegistryConnect seam;
    return seam;
}
} // namespace

void SetRemoteRegistrySeam(TRemoteRegistryConnect connect) {
    Seam() = std::move(connect);
}

LONG ConnectRemoteRegistry(const std::wstring& computer, HKEY* root) {
    *root = nullptr;
    if (Seam())
        return Seam()(computer, root);
    return RegConnectRegistryW(computer.c_str(), HKEY_LOCAL_MACHINE, root);
}

struct TTimedConnect::TAttempt {
    // A connection nobody took closes with the attempt.
    ~TAttempt() {
        if (Root)
            RegCloseKey(Root);
    }
    // A copy, so that the attempt never reads the seam while a test replaces it.
    TRemoteRegistryConnect Connect;
    std::wstring Computer;
    DWORD TimeoutMs = 0;
    ULONGLONG Started = 0;
    THandle Done;
    TCriticalSection Lock;
    bool Finished = false;
    // It took longer than the time it was given (a caller gave up on it).
    bool Slow = false;
    HKEY Root = nullptr;
    LONG Result = ERROR_TIMEOUT;
};

DWORD WINAPI TTimedConnect::RunAttempt(void* parameter) {
    auto* holder = static_cast<std::shared_ptr<TAttempt>*>(parameter);
    const std::shared_ptr<TAttempt> attempt = std::move(*holder);
    delete holder;
    HKEY root = nullptr;
    LONG rc = ERROR_GEN_FAILURE;
    try {
        rc = attempt->Connect(attempt->Computer, &root);
    } catch (...) {
        rc = ERROR_GEN_FAILURE;
    }
    if (rc == ERROR_SUCCESS && !root)
        rc = ERROR_INVALID_HANDLE;
    TLockGuard guard(attempt->Lock);
    if (rc == ERROR_SUCCESS) {
        attempt->Root = root;
    } else if (root) {
        RegCloseKey(root);
    }
    attempt->Result = rc;
    attempt->Slow = attempt->Slow || GetTickCount64() - attempt->Started > attempt->TimeoutMs;
    attempt->Finished = true;
    SetEvent(attempt->Done.Get());
    return 0;
}

namespace {

DWORD MsUntil(ULONGLONG deadline) {
    const ULONGLONG now = GetTickCount64();
    return now >= deadline ? 0 : static_cast<DWORD>(deadline - now);
}

} // namespace

std::shared_ptr<TTimedConnect::TAttempt> TTimedConnect::Start(const std::wstring& computer,
                                                              DWORD timeoutMs, LONG& rc) {
    auto attempt = std::make_shared<TAttempt>();
    if (Seam())
        attempt->Connect = Seam();
    else
        attempt->Connect = [](const std::wstring& name, HKEY* key) {
            return RegConnectRegistryW(name.c_str(), HKEY_LOCAL_MACHINE, key);
        };
    attempt->Computer = computer;
    attempt->TimeoutMs = timeoutMs;
    attempt->Started = GetTickCount64();
    attempt->Done.Reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!attempt->Done) {
        rc = static_cast<LONG>(GetLastError());
        return nullptr;
    }
    auto* holder = new std::shared_ptr<TAttempt>(attempt);
    THandle thread(CreateThread(nullptr, 0, RunAttempt, holder, 0, nullptr));
    if (!thread) {
        rc = static_cast<LONG>(GetLastError());
        delete holder;
        return nullptr;
    }
    rc = ERROR_SUCCESS;
    return attempt;
}

bool TTimedConnect::Take(TAttempt& attempt, TRegRoot& root, LONG& result) {
    TLockGuard guard(attempt.Lock);
    if (!attempt.Finished) {
        attempt.Slow = true;
        return false;
    }
    result = attempt.Result;
    if (result == ERROR_SUCCESS) {
        root.Adopt(attempt.Root);
        attempt.Root = nullptr;
    }
    return true;
}

LONG TTimedConnect::Connect(const std::wstring& computer, DWORD timeoutMs, TRegRoot& root) {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    LONG result = ERROR_TIMEOUT;
    if (FPending) {
        const std::shared_ptr<TAttempt> pending = std::move(FPending);
        // The attempt of an earlier call to the same computer, which came too late for that
        // call, is this call's connection; one to another computer closes by itself, unused.
        if (CompareStringOrdinal(pending->Computer.c_str(), -1, computer.c_str(), -1, TRUE) ==
            CSTR_EQUAL) {
            WaitForSingleObject(pending->Done.Get(), MsUntil(deadline));
            if (!Take(*pending, root, result)) {
                FPending = pending;
                return ERROR_TIMEOUT;
            }
            if (result == ERROR_SUCCESS) {
                // A computer that answers too slowly for the time given is asked ahead of the
                // next call, which then has its connection at once too.
                if (pending->Slow) {
                    LONG started = ERROR_SUCCESS;
                    FPending = Start(computer, timeoutMs, started);
                }
                return result;
            }
            // It failed: a new attempt, within what is left of this call's time.
        }
    }
    const std::shared_ptr<TAttempt> attempt = Start(computer, timeoutMs, result);
    if (!attempt)
        return result;
    WaitForSingleObject(attempt->Done.Get(), MsUntil(deadline));
    if (!Take(*attempt, root, result)) {
        FPending = attempt;
        return ERROR_TIMEOUT;
    }
    return result;
}

TRegRoot::~TRegRoot() {
    if (FRemote)
        RegCloseKey(FRemote);
}

void TRegRoot::Adopt(HKEY remote) {
    if (FRemote)
        RegCloseKey(FRemote);
    FRemote = remote;
}

LONG TRegRoot::Connect(const std::wstring& computer) {
    HKEY root = nullptr;
    LONG rc = ConnectRemoteRegistry(computer, &root);
    if (rc != ERROR_SUCCESS)
        return rc;
    if (!root)
        return ERROR_INVALID_HANDLE;
    if (FRemote)
        RegCloseKey(FRemote);
    FRemote = root;
    return ERROR_SUCCESS;
}

} // namespace vantrel
