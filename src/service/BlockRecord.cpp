#include "service/BlockRecord.h"

#include "model/Registry.h"

namespace vantrel {

bool RecordedBlock(const std::wstring& user, int& date) {
    TRegKey key;
    return key.Open(HKEY_LOCAL_MACHINE, kBlockRecordKeyPath, KEY_QUERY_VALUE) == ERROR_SUCCESS &&
           key.ReadInt(user.c_str(), date) == ERROR_SUCCESS;
}

LONG RecordBlock(const std::wstring& user, int date) {
    TRegKey key;
    const LONG rc = key.Create(HKEY_LOCAL_MACHINE, kBlockRecordKeyPath, KEY_SET_VALUE);
    return rc == ERROR_SUCCESS ? key.WriteInt(user.c_str(), date) : rc;
}

LONG EndRecordedBlock(const std::wstring& user) {
    TRegKey key;
    LONG rc = key.Open(HKEY_LOCAL_MACHINE, kBlockRecordKeyPath, KEY_SET_VALUE);
    if (rc == ERROR_SUCCESS)
        rc = RegDeleteValueW(key.Get(), user.c_str());
    return rc == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : rc;
}

} // namespace vantrel
