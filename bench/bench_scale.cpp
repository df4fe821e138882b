// The main window with 5,000 accounts (a domain controller lists its domain's accounts): the
// process's GDI and USER object counts after start, after scrolling through every row and
// after refreshes (target: under 300 each, whatever the number of accounts), and
// RefreshUserList against LoadAll alone on the same store (target ratio: at most 1.2).
#include "BenchSupport.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

using namespace vantrel::bench;

constexpr wchar_t kPrefix[] = L"bench_scale_";
constexpr int kUsers = 5000;
constexpr int kRounds = 5;

struct TObjects {
    DWORD Gdi;
    DWORD User;
};

// Wine answers 0 to GetGuiResources. There the GDI objects are counted in the process's GDI
// handle table, which the process environment block points to as on Windows (24-byte entries,
// the object type at byte 14, 0 for a free entry), and the USER objects as the windows of
// this process: far the most of them, and the ones a list of bars would multiply.
constexpr size_t kPebGdiSharedHandleTable = 0xF8;
constexpr size_t kGdiEntrySize = 24;
constexpr size_t kGdiEntryType = 14;
constexpr size_t kGdiMaxHandles = 0x10000;
bool gCountedByHand = false;

DWORD CountGdiHandles() {
    // The process environment block lies at gs:0x60 on x86-64.
    const BYTE* peb = nullptr;
    asm("movq %%gs:0x60, %0" : "=r"(peb));
    auto* table =
        peb ? *reinterpret_cast<const BYTE* const*>(peb + kPebGdiSharedHandleTable) : nullptr;
    if (!table)
        return 0;
    DWORD count = 0;
    for (size_t i = 0; i < kGdiMaxHandles; ++i)
        if (table[i * kGdiEntrySize + kGdiEntryType] != 0)
            ++count;
    return count;
}

BOOL CALLBACK CountWindow(HWND window, LPARAM data) {
    auto* count = reinterpret_cast<DWORD*>(data);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process != GetCurrentProcessId())
        return TRUE;
    ++*count;
    EnumChildWindows(
        window,
        [](HWND, LPARAM child) -> BOOL {
            ++*reinterpret_cast<DWORD*>(child);
            return TRUE;
        },
        data);
    return TRUE;
}

DWORD CountWindows() {
    DWORD count = 0;
    EnumWindows(CountWindow, reinterpret_cast<LPARAM>(&count));
    // Windows owned by no desktop window: the message-only ones of the pipe client.
    HWND messageOnly = nullptr;
    while ((messageOnly = FindWindowExW(HWND_MESSAGE, messageOnly, nullptr, nullptr)))
        CountWindow(messageOnly, reinterpret_cast<LPARAM>(&count));
    return count;
}

TObjects CountObjects() {
    HANDLE self = GetCurrentProcess();
    TObjects objects{GetGuiResources(self, GR_GDIOBJECTS), GetGuiResources(self, GR_USEROBJECTS)};
    if (objects.Gdi == 0 && objects.User == 0) {
        gCountedByHand = true;
        objects = TObjects{CountGdiHandles(), CountWindows()};
    }
    return objects;
}

void PrintObjects(const wchar_t* when, TObjects objects, TObjects& most) {
    std::wprintf(L"%-40ls GDI objects %4lu, USER objects %4lu\n", when, objects.Gdi, objects.User);
    most.Gdi = std::max(most.Gdi, objects.Gdi);
    most.User = std::max(most.User, objects.User);
}

} // namespace

int main() {
    SetProcessDPIAware();
    int boxes = 0;
    UseSeededAccounts(kPrefix, kUsers, boxes);
    std::wprintf(L"Seeding %d users...\n", kUsers);
    std::fflush(stdout);
    SeedStore(kPrefix, kUsers, {L"PC1"});

    TObjects most{0, 0};
    PrintObjects(L"before the window", CountObjects(), most);
    vantrel::TMainForm form;
    if (!form.Create()) {
        std::fwprintf(stderr, L"bench_scale: the main window could not be created\n");
        RemoveStore(kPrefix, kUsers);
        return 1;
    }
    form.Show(SW_SHOWNOACTIVATE);
    PumpMessages();
    PrintObjects(L"window shown, list filled", CountObjects(), most);

    // Through every row, a page at a time, letting the list draw after each step.
    HWND list = form.ListViewUsers;
    int pages = 0;
    int lastTop = -1;
    while (true) {
        SendMessageW(list, WM_KEYDOWN, VK_NEXT, 0);
        UpdateWindow(list);
        PumpMessages();
        int top = static_cast<int>(SendMessageW(list, LVM_GETTOPINDEX, 0, 0));
        if (top == lastTop)
            break;
        lastTop = top;
        ++pages;
    }
    wchar_t scrolled[64];
    std::swprintf(scrolled, 64, L"after scrolling %d pages to row %d", pages, lastTop);
    PrintObjects(scrolled, CountObjects(), most);
    std::wprintf(L"bars in the list: %d\n", form.UserList().BarCount());
    // The bars grow with the rows on screen, not with the accounts: a window as tall as the
    // screen's work area shows the cost of a bar per row.
    RECT work{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    RECT outer{};
    GetWindowRect(form.Handle(), &outer);
    SetWindowPos(form.Handle(), nullptr, outer.left, work.top, outer.right - outer.left,
                 work.bottom - work.top, SWP_NOZORDER | SWP_NOACTIVATE);
    UpdateWindow(form.Handle());
    PumpMessages();
    wchar_t tall[64];
    std::swprintf(tall, 64, L"window %ld pixels tall, %d bars", work.bottom - work.top,
                  form.UserList().BarCount());
    TObjects tallObjects = CountObjects();
    std::wprintf(L"%-40ls GDI objects %4lu, USER objects %4lu\n", tall, tallObjects.Gdi,
                 tallObjects.User);
    SetWindowPos(form.Handle(), nullptr, outer.left, outer.top, outer.right - outer.left,
                 outer.bottom - outer.top, SWP_NOZORDER | SWP_NOACTIVATE);
    PumpMessages();

    const TRefreshTimes times = TimeRefreshes(form, kRounds);
    PrintObjects(L"after the refreshes", CountObjects(), most);
    // The list's own share of a refresh: the rows rebuilt from loaded users, and the drawing.
    std::vector<double> fill;
    for (int round = 0; round < kRounds; ++round) {
        double start = Now();
        form.UserList().Fill(form.Users());
        UpdateWindow(form.Handle());
        PumpMessages();
        fill.push_back(Now() - start);
    }
    RemoveStore(kPrefix, kUsers);
    if (boxes != 0 || form.Users().Count() != kUsers || form.UserList().RowCount() != kUsers) {
        std::fwprintf(stderr, L"bench_scale: store not read as seeded (%d users, %d boxes)\n",
                      form.Users().Count(), boxes);
        return 1;
    }
    double loadMs = Median(times.Load);
    double refreshMs = Median(times.Refresh);
    if (gCountedByHand)
        std::wprintf(L"GetGuiResources answered 0: GDI objects counted in the GDI handle table, "
                     L"USER objects as windows\n");
    std::wprintf(L"most GDI objects %lu, most USER objects %lu (target: under 300 each)\n",
                 most.Gdi, most.User);
    std::wprintf(L"LoadAll, %d users: median %.1f ms over %d rounds\n", kUsers, loadMs, kRounds);
    std::wprintf(L"RefreshUserList, %d users: median %.1f ms over %d rounds\n", kUsers, refreshMs,
                 kRounds);
    std::wprintf(L"of which the list's rows and drawing, %d users: median %.1f ms\n", kUsers,
                 Median(fill));
    std::wprintf(L"ratio RefreshUserList / LoadAll: %.2f (target at most 1.20)\n",
                 refreshMs / loadMs);
    return 0;
}
