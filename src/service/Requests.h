#pragma once
// What the service keeps of the codes from the parent's phone beside the request of each user
// (model/TimeRequest.h): the last step whose code was used, and how wrong codes lock code entry.
#include "model/AskMessage.h"
#include "model/TimeRequest.h"

#include <windows.h>

#include <cstdint>

namespace vantrel {

// Under the service's own key, for SYSTEM and the Administrators to write; it tells nothing of
// the key. "LastStep" is the 30-second step of the last code that gave time, so that neither the
// same code nor an older one works again, also after a restart.
inline constexpr wchar_t kCodeUseKeyPath[] =
    L"SYSTEM\\CurrentControlSet\\Services\\QORsvc\\CodeUse";

// Wrong codes: every kCodeTriesInARow of a day lock code entry for kCodeLockMinutes, and after
// kCodeTriesPerDay it stays locked until the day ends.
constexpr int kCodeTriesInARow = 3;
constexpr int kCodeLockMinutes = 15;
constexpr int kCodeTriesPerDay = 10;

// False when nothing was recorded (no code was used yet) or it cannot be read.
bool ReadLastCodeStep(std::uint64_t& step);
LONG WriteLastCodeStep(std::uint64_t step);

// The word of the way in for a refusal of the request's life.
TAskRefusal AskRefusalOf(TRequestRefusal refusal);

// The wrong codes of the request count for its day only: on another day they start again at
// none, and the request belongs to that day from the first wrong code on (with no requests
// made that day yet).
void StartCodeDay(TTimeRequest& request, int day, int year);
// The minutes until code entry is open again (0: open now). `minuteOfDay` is the local time of
// now, for the lock that lasts until the day ends.
int CodesLockedMinutes(const TTimeRequest& request, const FILETIME& now, int day, int year,
                       int minuteOfDay);
// Counts one wrong code and locks code entry as the rules above say.
void CountWrongCode(TTimeRequest& request, const FILETIME& now, int day, int year, int minuteOfDay);

} // namespace vantrel
