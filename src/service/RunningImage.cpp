#include "service/RunningImage.h"

#include <winternl.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <vector>

namespace vantrel {

namespace {

using TQueryInformationProcess = LONG(WINAPI*)(HANDLE, ULONG, PVOID, ULONG, PULONG);
constexpr ULONG kProcessBasicInformation = 0;

// The first page of an image holds its headers.
constexpr size_t kHeadersBytes = 4096;
// A directory of resources lists a handful of entries; those past this many are not looked at,
// so that one directory costs at most 8 KB to read.
constexpr size_t kMostEntries = 1024;
constexpr size_t kFirstEntries = 8;
// A version information block's length is a WORD.
constexpr size_t kMostVersionBytes = 0xFFFF;
constexpr DWORD kVersionType = 16; // RT_VERSION
constexpr DWORD kVersionName = 1;  // VS_VERSION_INFO
constexpr DWORD kHighBit = 0x80000000;

TQueryInformationProcess QueryInformationProcess() {
    static const auto query = reinterpret_cast<TQueryInformationProcess>(
        GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationProcess"));
    return query;
}

bool ReadAt(HANDLE process, ULONG_PTR address, void* out, size_t size) {
    SIZE_T done = 0;
    return ReadProcessMemory(process, reinterpret_cast<LPCVOID>(address), out, size, &done) &&
           done == size;
}

// Where the process's image begins, as its environment block records it. A 32-bit process on
// 64-bit Windows has a 64-bit block too, which records the same base.
bool ImageBase(HANDLE process, ULONG_PTR& base) {
    const TQueryInformationProcess query = QueryInformationProcess();
    PROCESS_BASIC_INFORMATION basic{};
    ULONG length = 0;
    if (!query || query(process, kProcessBasicInformation, &basic, sizeof(basic), &length) < 0 ||
        !basic.PebBaseAddress)
        return false;
    // The block's second pointer after its flags is the image's base.
    const ULONG_PTR at = reinterpret_cast<ULONG_PTR>(basic.PebBaseAddress) +
                         offsetof(PEB, Reserved3) + sizeof(PVOID);
    return ReadAt(process, at, &base, sizeof(base)) && base != 0;
}

template <class TOptional>
bool OptionalFields(const BYTE* at, size_t room, ULONG& imageSize,
                    IMAGE_DATA_DIRECTORY& resources) {
    constexpr size_t needed = offsetof(TOptional, DataDirectory) +
                              (IMAGE_DIRECTORY_ENTRY_RESOURCE + 1) * sizeof(IMAGE_DATA_DIRECTORY);
    if (room < needed)
        return false;
    TOptional optional{};
    memcpy(&optional, at, std::min(room, sizeof(optional)));
    imageSize = optional.SizeOfImage;
    resources = optional.NumberOfRvaAndSizes > IMAGE_DIRECTORY_ENTRY_RESOURCE
                    ? optional.DataDirectory[IMAGE_DIRECTORY_ENTRY_RESOURCE]
                    : IMAGE_DATA_DIRECTORY{};
    return true;
}

// The image's size and where its resources lie, from its first page.
bool HeadersOf(const BYTE* headers, ULONG& imageSize, IMAGE_DATA_DIRECTORY& resources) {
    IMAGE_DOS_HEADER dos;
    memcpy(&dos, headers, sizeof(dos));
    if (dos.e_magic != IMAGE_DOS_SIGNATURE || dos.e_lfanew < 0 ||
        static_cast<size_t>(dos.e_lfanew) >
            kHeadersBytes - sizeof(DWORD) - sizeof(IMAGE_FILE_HEADER) - sizeof(WORD))
        return false;
    const size_t nt = static_cast<size_t>(dos.e_lfanew);
    DWORD signature = 0;
    IMAGE_FILE_HEADER file;
    WORD magic = 0;
    const size_t optional = nt + sizeof(signature) + sizeof(file);
    memcpy(&signature, headers + nt, sizeof(signature));
    memcpy(&file, headers + nt + sizeof(signature), sizeof(file));
    memcpy(&magic, headers + optional, sizeof(magic));
    if (signature != IMAGE_NT_SIGNATURE)
        return false;
    const size_t room = std::min<size_t>(file.SizeOfOptionalHeader, kHeadersBytes - optional);
    if (magic == IMAGE_NT_OPTIONAL_HDR64_MAGIC)
        return OptionalFields<IMAGE_OPTIONAL_HEADER64>(headers + optional, room, imageSize,
                                                       resources);
    if (magic == IMAGE_NT_OPTIONAL_HDR32_MAGIC)
        return OptionalFields<IMAGE_OPTIONAL_HEADER32>(headers + optional, room, imageSize,
                                                       resources);
    return false;
}

// The image's resources in the process, each read bounded by the resources' size and the
// image's.
class TResources {
public:
    TResources(HANDLE process, ULONG_PTR base, ULONG imageSize, IMAGE_DATA_DIRECTORY directory)
        : FProcess(process), FBase(base), FImageSize(imageSize), FDirectory(directory) {}

    bool ReadImage(ULONGLONG offset, void* out, size_t size) const {
        return offset <= FImageSize && size <= FImageSize - offset &&
               ReadAt(FProcess, FBase + static_cast<ULONG_PTR>(offset), out, size);
    }
    // Offsets within the resources' directory tree.
    bool Read(ULONG offset, void* out, size_t size) const {
        return offset <= FDirectory.Size && size <= FDirectory.Size - offset &&
               ReadImage(ULONGLONG(FDirectory.VirtualAddress) + offset, out, size);
    }

    // The entry with the number `id` of the directory at `offset`, or when it has none and
    // `orFirst`, its first entry. `directory` says whether the entry must lead to a directory or
    // to data. Its offset; false when there is none.
    bool Pick(ULONG offset, DWORD id, bool orFirst, bool directory, ULONG& found) const {
        struct TEntry {
            DWORD Name;
            DWORD Offset;
        };
        // The header and the first few entries in one reading (each is a round trip to the
        // process's memory), which most directories need no more than.
        IMAGE_RESOURCE_DIRECTORY header;
        BYTE first[sizeof(header) + kFirstEntries * sizeof(TEntry)];
        size_t firstBytes = sizeof(first);
        if (!Read(offset, first, firstBytes)) {
            firstBytes = sizeof(header);
            if (!Read(offset, first, firstBytes))
                return false;
        }
        memcpy(&header, first, sizeof(header));
        const size_t count = std::min<size_t>(
            size_t(header.NumberOfNamedEntries) + header.NumberOfIdEntries, kMostEntries);
        if (count == 0)
            return false;
        std::vector<TEntry> entries(count);
        const size_t have = std::min(count, (firstBytes - sizeof(header)) / sizeof(TEntry));
        memcpy(entries.data(), first + sizeof(header), have * sizeof(TEntry));
        if (count > have && !Read(offset + ULONG(sizeof(header) + have * sizeof(TEntry)),
                                  entries.data() + have, (count - have) * sizeof(TEntry)))
            return false;
        const auto named = std::find_if(entries.begin(), entries.end(), [id](const TEntry& e) {
            return (e.Name & kHighBit) == 0 && e.Name == id;
        });
        const TEntry& entry = named != entries.end() ? *named : entries.front();
        if ((named == entries.end() && !orFirst) || ((entry.Offset & kHighBit) != 0) != directory)
            return false;
        found = entry.Offset & ~kHighBit;
        return true;
    }

    // The version information block: the first language of the resource numbered 1 (else of
    // the first resource of its type), as the system reads a file's.
    bool VersionBlock(std::vector<BYTE>& block) const {
        ULONG names = 0, languages = 0, data = 0;
        IMAGE_RESOURCE_DATA_ENTRY entry;
        if (!Pick(0, kVersionType, false, true, names) ||
            !Pick(names, kVersionName, true, true, languages) ||
            !Pick(languages, 0, true, false, data) || !Read(data, &entry, sizeof(entry)))
            return false;
        block.resize(std::min<size_t>(entry.Size, kMostVersionBytes));
        return !block.empty() && ReadImage(entry.OffsetToData, block.data(), block.size());
    }

private:
    HANDLE FProcess;
    ULONG_PTR FBase;
    ULONG FImageSize;
    IMAGE_DATA_DIRECTORY FDirectory;
};

} // namespace

TImageVersion ReadRunningImageFields(HANDLE process, TProgramFields& fields) {
    ULONG_PTR base = 0;
    std::vector<BYTE> headers(kHeadersBytes);
    ULONG imageSize = 0;
    IMAGE_DATA_DIRECTORY directory{};
    if (!ImageBase(process, base) || !ReadAt(process, base, headers.data(), headers.size()) ||
        !HeadersOf(headers.data(), imageSize, directory))
        return TImageVersion::Unread;
    std::vector<BYTE> block;
    TProgramFields read;
    if (directory.VirtualAddress == 0 ||
        !TResources(process, base, imageSize, directory).VersionBlock(block) ||
        !ParseVersionFields(block.data(), block.size(), read))
        return TImageVersion::None;
    fields = read;
    return TImageVersion::Fields;
}

} // namespace vantrel
