#include "reports/HelpViewer.h"

#include "ReportsSupport.h"
#include "model/Registry.h"

#include <gtest/gtest.h>

namespace vantrel {
namespace {

const wchar_t kServerKey[] = L"CLSID\\{adb880a6-d8ff-11cf-9377-00aa003b7a11}\\InprocServer32";

std::wstring Folder(UINT(WINAPI* ask)(LPWSTR, UINT)) {
    wchar_t buffer[MAX_PATH + 1] = {};
    UINT length = ask(buffer, MAX_PATH + 1);
    return std::wstring(buffer, length);
}

// Keeps the registered server of the HTML Help control as it was, whatever a test writes.
class THelpControlServerKey {
public:
    THelpControlServerKey() {
        FExisted =
            RegOpenKeyExW(HKEY_CLASSES_ROOT, kServerKey, 0, KEY_READ, &FKey) == ERROR_SUCCESS;
        if (FExisted) {
            DWORD size = 0;
            FHadValue =
                RegQueryValueExW(FKey, nullptr, nullptr, &FType, nullptr, &size) == ERROR_SUCCESS;
            FData.resize(size);
            if (FHadValue && size)
                RegQueryValueExW(FKey, nullptr, nullptr, &FType, FData.data(), &size);
            RegCloseKey(FKey);
        }
        FKey = nullptr;
    }
    ~THelpControlServerKey() {
        if (!FExisted) {
            RegDeleteTreeW(HKEY_CLASSES_ROOT, kServerKey);
            return;
        }
        HKEY key = nullptr;
        RegCreateKeyExW(HKEY_CLASSES_ROOT, kServerKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                        nullptr);
        if (FHadValue)
            RegSetValueExW(key, nullptr, 0, FType, FData.data(), static_cast<DWORD>(FData.size()));
        else
            RegDeleteValueW(key, nullptr);
        RegCloseKey(key);
    }
    THelpControlServerKey(const THelpControlServerKey&) = delete;
    THelpControlServerKey& operator=(const THelpControlServerKey&) = delete;

    static void Set(const std::wstring& text, DWORD type = REG_SZ) {
        HKEY key = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CLASSES_ROOT, kServerKey, 0, nullptr, 0,
                                                 KEY_ALL_ACCESS, nullptr, &key, nullptr));
        RegSetValueExW(key, nullptr, 0, type, reinterpret_cast<const BYTE*>(text.c_str()),
                       static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
        RegCloseKey(key);
    }

private:
    HKEY FKey = nullptr;
    bool FExisted = false;
    bool FHadValue = false;
    DWORD FType = REG_SZ;
    std::vector<BYTE> FData;
};

TEST(HelpControlPath, LeadingSystemRootIsExpandedInAnyLetterCase) {
    const std::wstring windows = Folder(GetWindowsDirectoryW);
    EXPECT_EQ(windows + L"\\System32\\hhctrl.ocx",
              ExpandLeadingSystemRoot(L"%SystemRoot%\\System32\\hhctrl.ocx"));
    EXPECT_EQ(windows + L"\\x", ExpandLeadingSystemRoot(L"%systemroot%\\x"));
    EXPECT_EQ(windows + L"\\x", ExpandLeadingSystemRoot(L"%SYSTEMROOT%\\x"));
    EXPECT_EQ(windows, ExpandLeadingSystemRoot(L"%sYsTeMrOoT%"));
    // Only exactly that variable, only at the start.
    EXPECT_EQ(L"%SystemRoot", ExpandLeadingSystemRoot(L"%SystemRoot"));
    EXPECT_EQ(L"%SystemRoot\\x\\y", ExpandLeadingSystemRoot(L"%SystemRoot\\x\\y"));
    EXPECT_EQ(L"C:%SystemRoot%\\x", ExpandLeadingSystemRoot(L"C:%SystemRoot%\\x"));
    EXPECT_EQ(L"%WINDIR%\\System32\\hhctrl.ocx",
              ExpandLeadingSystemRoot(L"%WINDIR%\\System32\\hhctrl.ocx"));
    EXPECT_EQ(L"", ExpandLeadingSystemRoot(L""));
}

TEST(HelpControlPath, RegisteredServerIsUsedWhenItsFileExists) {
    THelpControlServerKey keep;
    const std::wstring windows = Folder(GetWindowsDirectoryW);
    const std::wstring system = Folder(GetSystemDirectoryW);
    // notepad.exe lies in the Windows folder itself, so the answer cannot be the fallback.
    THelpControlServerKey::Set(L"%systemroot%\\notepad.exe", REG_EXPAND_SZ);
    EXPECT_EQ(windows + L"\\notepad.exe", FindHelpControlPath());
    THelpControlServerKey::Set(windows + L"\\notepad.exe");
    EXPECT_EQ(windows + L"\\notepad.exe", FindHelpControlPath());

    // Any other variable stays as it is, names no file, and the system folder is used.
    THelpControlServerKey::Set(L"%WINDIR%\\notepad.exe", REG_EXPAND_SZ);
    EXPECT_EQ(system + L"\\hhctrl.ocx", FindHelpControlPath());
    THelpControlServerKey::Set(windows + L"\\no-such-control.ocx");
    EXPECT_EQ(system + L"\\hhctrl.ocx", FindHelpControlPath());
    THelpControlServerKey::Set(L"");
    EXPECT_EQ(system + L"\\hhctrl.ocx", FindHelpControlPath());
    RegDeleteTreeW(HKEY_CLASSES_ROOT, kServerKey);
    EXPECT_EQ(system + L"\\hhctrl.ocx", FindHelpControlPath());
}

TEST(HelpViewer, LibraryIsLoadedOnceAndFreedWithItsEntryPoints) {
    THelpViewer viewer;
    ASSERT_TRUE(viewer.Loaded());
    EXPECT_TRUE(viewer.HasEntryPoints());
    viewer.Load();
    EXPECT_TRUE(viewer.Loaded());
    viewer.Unload();
    EXPECT_FALSE(viewer.Loaded());
    EXPECT_FALSE(viewer.HasEntryPoints());
    viewer.Unload();

    THelpViewer notAtStart(false);
    EXPECT_FALSE(notAtStart.Loaded());
    EXPECT_FALSE(notAtStart.HasEntryPoints());
}

class HelpFile : public ::testing::Test {
protected:
    void SetUp() override {
        path = HelpFilePath();
        // Wine's viewer keeps a help file it showed open until its process ends, so the test
        // that shows one cannot remove it; the next test does.
        DeleteFileW(path.c_str());
        ASSERT_FALSE(FileExistsHere()) << "no help file lies beside the test program";
    }
    void TearDown() override { DeleteFileW(path.c_str()); }
    bool FileExistsHere() const {
        return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
    }

    std::wstring path;
};

TEST_F(HelpFile, LiesBesideTheProgram) {
    wchar_t module[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, module, MAX_PATH);
    const std::wstring program = module;
    const size_t slash = program.rfind(L'\\');
    ASSERT_NE(std::wstring::npos, slash);
    EXPECT_EQ(program.substr(0, slash) + L"\\QORHelp.chm", path);
}

TEST_F(HelpFile, MissingFileIsToldApartFromOneThatCannotBeOpened) {
    THelpViewer viewer;
    EXPECT_EQ(THelpResult::FileMissing, viewer.ShowHelp());
}

TEST_F(HelpFile, WithoutTheViewerLibraryTheFileCannotBeOpened) {
    ASSERT_TRUE(WriteWholeFile(path, "ITSF"));
    THelpViewer viewer(false);
    EXPECT_EQ(THelpResult::NotOpened, viewer.ShowHelp());
    EXPECT_EQ(THelpResult::NotOpened, viewer.ShowHelp());

    // A library freed at exit is not loaded again behind the program's back.
    THelpViewer unloaded;
    unloaded.Unload();
    EXPECT_EQ(THelpResult::NotOpened, unloaded.ShowHelp());
}

// The help file the build compiled, in the program's folder of the build tree.
std::wstring BuiltHelpFile() {
    wchar_t module[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, module, MAX_PATH);
    std::wstring folder = module;
    folder.resize(folder.rfind(L'\\'));
    return folder + L"\\..\\src\\app\\QORHelp.chm";
}

TEST_F(HelpFile, OpensInTheViewerUnownedAndClosesWhenTheLibraryIsFreed) {
    ASSERT_TRUE(CopyFileW(BuiltHelpFile().c_str(), path.c_str(), FALSE)) << "build the help first";
    THelpViewer viewer;
    EXPECT_EQ(THelpResult::Shown, viewer.ShowHelp());
    // The title is the one the help project gives its viewer window.
    HWND window = FindWindowW(nullptr, L"Vantrel Help");
    ASSERT_NE(nullptr, window);
    EXPECT_TRUE(IsWindowVisible(window));
    EXPECT_EQ(nullptr, GetWindow(window, GW_OWNER));
    // F1 again: the same viewer, no second window.
    EXPECT_EQ(THelpResult::Shown, viewer.ShowHelp());
    EXPECT_EQ(window, FindWindowW(nullptr, L"Vantrel Help"));

    viewer.Unload();
    EXPECT_FALSE(IsWindow(window));
}

} // namespace
} // namespace vantrel
