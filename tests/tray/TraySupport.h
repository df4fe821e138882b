#pragma once
// What the tray's tests share: a clock they move, and figures written by "the service" a given
// number of seconds before that clock's now.
#include "model/Clock.h"
#include "model/UserFigures.h"

#include <gtest/gtest.h>

namespace vantrel {

// Monday 9 March 2026 at the given local time.
inline SYSTEMTIME MondayAt(int hour, int minute, int second = 0) {
    SYSTEMTIME t{};
    t.wYear = 2026;
    t.wMonth = 3;
    t.wDay = 9;
    t.wDayOfWeek = 1;
    t.wHour = static_cast<WORD>(hour);
    t.wMinute = static_cast<WORD>(minute);
    t.wSecond = static_cast<WORD>(second);
    return t;
}

// The moment `seconds` before the clock's now, in UTC, as the service stamps its figures.
inline FILETIME SecondsAgo(int seconds) {
    const SYSTEMTIME now = UtcNow();
    FILETIME file{};
    SystemTimeToFileTime(&now, &file);
    ULARGE_INTEGER units{{file.dwLowDateTime, file.dwHighDateTime}};
    units.QuadPart -= static_cast<ULONGLONG>(seconds) * 10000000ULL;
    return FILETIME{units.LowPart, units.HighPart};
}

// Someone with 45 of today's 150 minutes left, until 20:00, written just now.
inline TUserFigures TimeLeftFigures() {
    TUserFigures f;
    f.Written = SecondsAgo(20);
    f.Limited = true;
    f.State = TFiguresState::TimeLeft;
    f.Limit = 120;
    f.Bonus = 30;
    f.Used = 105;
    f.Left = 45;
    f.AllowBegin = 7;
    f.AllowEnd = 20;
    f.Until = 20 * 60;
    f.Clock24 = true;
    return f;
}

class TrayClockTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetClockSeam([this] { return Now; });
    }
    void TearDown() override { SetClockSeam(nullptr); }

    SYSTEMTIME Now = MondayAt(19, 15);
};

} // namespace vantrel
