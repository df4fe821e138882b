#pragma once
// A program as a parent knows it and as a renamed or copied file still shows it. The name is the
// one the user would know (the description in the file's version information, which tells the
// programs of one product apart, else its product name, else the file's name); the identity is what
// a copy or a new name keeps: the version information's original file name, product and company;
// for a file without them, the signer of its signature. Only a file that has none of these is
// known by its folder and name.
#include <windows.h>

#include <list>
#include <map>
#include <string>

namespace vantrel {

struct TProgramInfo {
    // "v:<original file name>|<product>|<company>|", or "v:|||<signer>" for a signed file
    // without version information, lower case; or "f:<full path>",
    // lower case, for a file without any of them (a path over 260 characters is cut to 240,
    // followed by "~" and a hash of the whole in 16 hexadecimal digits). Never holds a tab or a
    // control character.
    std::wstring Id;
    // As the user would know it; never empty, at most kProgramNameMost characters, without
    // control characters.
    std::wstring Name;
    // The file it was read from (not part of the identity unless Id begins with "f:").
    std::wstring Path;
    // A program of Windows itself: made by Microsoft and in the Windows folder, or directly in
    // the Windows or the system folder, where only administrators put files. Such programs (the
    // shell, the system's helpers) are not listed among the programs a user ran unless a rule
    // names them. A program of the user's own that claims Microsoft as its maker, put in a folder
    // under the Windows folder that users may write (Temp), is left out of the list too, though
    // its rule and the daily limit still hold.
    bool PartOfWindows = false;
};

inline constexpr size_t kProgramNameMost = 100;

// The fields the identity is made of, as read from a file.
struct TProgramFields {
    std::wstring OriginalFilename;
    std::wstring ProductName;
    std::wstring FileDescription;
    std::wstring CompanyName;
    // The subject of the certificate a signed file is signed with; empty when unsigned.
    std::wstring Signer;
};
// The program's identity and name from its fields and its path (no file is read).
TProgramInfo ProgramInfoOf(const TProgramFields& fields, const std::wstring& path);
// Reads the file's version information (the first language it lists) and its signer. False
// when the file cannot be read at all; a file without version information is still a program.
// The file's own version information is read, never a language file's, so that the file and
// its running image (service/RunningImage.h) tell the same fields.
bool ReadProgramFields(const std::wstring& path, TProgramFields& fields);
// The fields of a version information block (VS_VERSIONINFO) in memory, chosen as
// ReadProgramFields chooses them; the signer in `fields` is kept. Nothing outside the `size`
// bytes is read, whatever sizes the block claims (it may come from a crafted program). False
// when the block holds none of the fields.
bool ParseVersionFields(const BYTE* data, size_t size, TProgramFields& fields);
// Both, and PartOfWindows; false when the file cannot be read.
bool ReadProgramInfo(const std::wstring& path, TProgramInfo& info);

// Reads each file once: an entry holds while the file keeps its size and time of last writing.
// At most `most` files are kept; the one used longest ago goes first. Not thread-safe.
class TProgramInfoCache {
public:
    explicit TProgramInfoCache(size_t most = 1024) : FMost(most) {}
    // False when the file cannot be read. `fields`, when given, receives what the file's
    // program was made of.
    bool Get(const std::wstring& path, TProgramInfo& info, TProgramFields* fields = nullptr);
    size_t Size() const { return FEntries.size(); }

private:
    struct TEntry {
        ULONGLONG Size = 0;
        FILETIME Written{};
        TProgramFields Fields;
        TProgramInfo Info;
        std::list<std::wstring>::iterator Use;
    };
    size_t FMost;
    std::map<std::wstring, TEntry> FEntries; // by lower-case path
    std::list<std::wstring> FUse;            // most recently used first
};

} // namespace vantrel
