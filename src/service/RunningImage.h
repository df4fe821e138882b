#pragma once
// The version information of the program a process runs, read from the image in the process's
// own memory: renaming the program's file while it runs, and putting another file in its place,
// changes nothing there. Everything is read as the process holds it, which a crafted program
// decides: each offset and size is bounded by the image and the block read, and at most about
// 100 KB are read.
#include "model/ProgramInfo.h"

#include <windows.h>

namespace vantrel {

enum class TImageVersion {
    // The process's memory could not be read (access refused, the process gone, no image where
    // the process says it runs one): nothing is known of its program.
    Unread,
    // The image was read and holds no version information (or none that can be parsed).
    None,
    // The fields were read.
    Fields,
};

// The fields of the version information of the process's program (the signer stays empty: it
// lives only in the file). `process` must be opened with PROCESS_QUERY_LIMITED_INFORMATION and
// PROCESS_VM_READ. A 32-bit program's image (PE32 headers) is read as a 64-bit one's; Wine here
// runs no 32-bit programs, so only 64-bit ones have been tried.
TImageVersion ReadRunningImageFields(HANDLE process, TProgramFields& fields);

} // namespace vantrel
