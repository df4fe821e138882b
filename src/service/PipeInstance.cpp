#include "service/PipeInstance.h"

namespace vantrel {

THandle NewPipeInstance(const std::wstring& pipeName, const TPipeShape& shape,
                        PSECURITY_DESCRIPTOR security, bool first, DWORD& error) {
    SECURITY_ATTRIBUTES attributes{sizeof(attributes), security, FALSE};
    const std::wstring path = L"\\\\.\\pipe\\" + pipeName;
    DWORD openMode = PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED;
    if (first)
        openMode |= FILE_FLAG_FIRST_PIPE_INSTANCE;
    THandle pipe(CreateNamedPipeW(
        path.c_str(), openMode,
        PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS,
        shape.Instances, shape.Buffer, shape.Buffer, shape.TimeoutMs, &attributes));
    error = pipe ? ERROR_SUCCESS : GetLastError();
    return pipe;
}

THandle NewFirstPipeInstance(const std::wstring& pipeName, const TPipeShape& shape,
                             PSECURITY_DESCRIPTOR& security,
                             PSECURITY_DESCRIPTOR (*newSecurity)(bool administratorsOwn),
                             DWORD& error) {
    THandle first = NewPipeInstance(pipeName, shape, security, true, error);
    if (!first && error == ERROR_INVALID_OWNER) {
        LocalFree(security);
        security = newSecurity(false);
        if (!security) {
            error = GetLastError();
            return THandle();
        }
        first = NewPipeInstance(pipeName, shape, security, true, error);
    }
    return first;
}

} // namespace vantrel
