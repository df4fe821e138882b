#include "ui/ServiceStatus.h"

#include "ui/Resources.h"

namespace vantrel {

TServiceStatus ServiceStatusOf(TServiceLink link, const TServiceNews* news) {
    // Whether the service runs cannot be told: if it does, it counts and enforces all the same.
    if (link == TServiceLink::Stranger)
        return {L"Time-limit service not reached: another program serves its pipe",
                L"A program started without administrator rights serves \\\\.\\pipe\\QorPipe, so "
                L"Vantrel ignores it and cannot tell the service of changes. If the service runs, "
                L"its log names that program: end it, then restart \"Vantrel time-limit "
                L"service\".",
                IDI_ROW_NO_TIME};
    if (link == TServiceLink::None)
        return {L"Time-limit service not running: limits are not enforced",
                L"Start \"Vantrel time-limit service\" in Services (services.msc), or run "
                L"\"QORsvc.exe --start\" as an administrator. Until it runs, no minute is counted "
                L"and nobody is logged off.",
                IDI_ROW_NO_TIME};
    if (news && news->Store == TStoreState::Unreachable)
        return {L"Network store not reachable since " + ClockText(news->StoreDownSince) +
                    L": counting on this computer",
                L"Check that the network computer named in Preferences is on and that its Remote "
                L"Registry service runs. Minutes counted meanwhile go to the network store once "
                L"it answers; the list shows this computer's figures.",
                IDI_STORE_LOCAL};
    return {news && news->Counted ? L"Service running, last minute " + ClockText(news->LastMinute)
                                  : std::wstring(L"Service running"),
            L"The time-limit service counts the minutes of the monitored users and enforces "
            L"their limits; the list follows it minute by minute. Nothing needs to be done.",
            IDI_PADLOCK};
}

} // namespace vantrel
