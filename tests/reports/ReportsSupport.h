#pragma once
// What the report, log and help tests share: environment variables put back after each test,
// whole-file reads and writes, and a scratch folder.
#include <windows.h>

#include <string>
#include <vector>

namespace vantrel {

// Sets an environment variable of this process for the life of the object, then puts back
// what was there (or removes it).
class TEnvironmentVariable {
public:
    TEnvironmentVariable(const wchar_t* name, const wchar_t* value) : FName(name) {
        DWORD size = GetEnvironmentVariableW(name, nullptr, 0);
        if (size > 0) {
            FOld.resize(size);
            size = GetEnvironmentVariableW(name, &FOld[0], size);
            FOld.resize(size);
            FHadValue = true;
        }
        SetEnvironmentVariableW(name, value);
    }
    ~TEnvironmentVariable() { SetEnvironmentVariableW(FName, FHadValue ? FOld.c_str() : nullptr); }
    TEnvironmentVariable(const TEnvironmentVariable&) = delete;
    TEnvironmentVariable& operator=(const TEnvironmentVariable&) = delete;

private:
    const wchar_t* FName;
    std::wstring FOld;
    bool FHadValue = false;
};

inline std::string ReadWholeFile(const std::wstring& path) {
    std::string bytes;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return bytes;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0)
        bytes.append(buffer, got);
    CloseHandle(file);
    return bytes;
}

inline bool WriteWholeFile(const std::wstring& path, const std::string& bytes) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    BOOL ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
    return ok && written == bytes.size();
}

// A fresh, empty folder under the system's temporary folder, removed with the object.
class TScratchFolder {
public:
    explicit TScratchFolder(const wchar_t* name) {
        wchar_t base[MAX_PATH + 1] = {};
        GetTempPathW(MAX_PATH + 1, base);
        FPath = std::wstring(base) + name;
        Remove();
        CreateDirectoryW(FPath.c_str(), nullptr);
    }
    ~TScratchFolder() { Remove(); }
    TScratchFolder(const TScratchFolder&) = delete;
    TScratchFolder& operator=(const TScratchFolder&) = delete;

    const std::wstring& Path() const { return FPath; }
    // The names of the files directly inside.
    std::vector<std::wstring> Files() const {
        std::vector<std::wstring> names;
        WIN32_FIND_DATAW data;
        HANDLE find = FindFirstFileW((FPath + L"\\*").c_str(), &data);
        if (find == INVALID_HANDLE_VALUE)
            return names;
        do {
            if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                names.push_back(data.cFileName);
        } while (FindNextFileW(find, &data));
        FindClose(find);
        return names;
    }

private:
    void Remove() { RemoveTree(FPath); }
    static void RemoveTree(const std::wstring& path) {
        WIN32_FIND_DATAW data;
        HANDLE find = FindFirstFileW((path + L"\\*").c_str(), &data);
        if (find != INVALID_HANDLE_VALUE) {
            do {
                const std::wstring name = data.cFileName;
                if (name == L"." || name == L"..")
                    continue;
                if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                    RemoveTree(path + L"\\" + name);
                else
                    DeleteFileW((path + L"\\" + name).c_str());
            } while (FindNextFileW(find, &data));
            FindClose(find);
        }
        RemoveDirectoryW(path.c_str());
    }

    std::wstring FPath;
};

} // namespace vantrel
