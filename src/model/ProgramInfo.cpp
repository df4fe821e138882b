#include "model/ProgramInfo.h"

#include <wincrypt.h>
#include <winver.h>

#include <algorithm>
#include <cstdio>
#include <utility>
#include <vector>

namespace vantrel {

namespace {

// A field longer than this is cut: the identity is written into the store's lines, and no
// program needs more to be told apart.
constexpr size_t kFieldMost = 256;

// Control characters (a tab, a line break) would break the stored lines; they become spaces.
// Leading and trailing spaces go.
std::wstring Clean(const std::wstring& text, size_t most) {
    std::wstring out;
    out.reserve(text.size());
    for (wchar_t c : text)
        out += (c < L' ' || c == 0x7F || (c >= 0x80 && c < 0xA0) || c == 0x2028 || c == 0x2029)
                   ? L' '
                   : c;
    const size_t begin = out.find_first_not_of(L' ');
    if (begin == std::wstring::npos)
        return std::wstring();
    out = out.substr(begin, out.find_last_not_of(L' ') - begin + 1);
    if (out.size() > most) {
        size_t cut = most;
        // Never half of a surrogate pair.
        if (cut > 0 && out[cut - 1] >= 0xD800 && out[cut - 1] <= 0xDBFF)
            --cut;
        out.resize(cut);
    }
    return out;
}

std::wstring Lower(std::wstring text) {
    if (!text.empty())
        CharLowerBuffW(&text[0], static_cast<DWORD>(text.size()));
    return text;
}

bool SameText(const std::wstring& a, const std::wstring& b) {
    return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                                static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

std::wstring FileNameOf(const std::wstring& path) {
    const size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

// The path without the "\\?\" prefix that long paths and some process queries carry.
std::wstring PlainPath(const std::wstring& path) {
    if (path.compare(0, 8, L"\\\\?\\UNC\\") == 0)
        return L"\\\\" + path.substr(8);
    if (path.compare(0, 4, L"\\\\?\\") == 0)
        return path.substr(4);
    return path;
}

// Whether the file lies in the folder or a folder below it: the folder's name must match whole,
// so "C:\Windows2\game.exe" is not in "C:\Windows".
bool InFolder(const std::wstring& path, std::wstring folder) {
    while (!folder.empty() && (folder.back() == L'\\' || folder.back() == L'/'))
        folder.pop_back();
    if (folder.empty() || path.size() <= folder.size() + 1)
        return false;
    const wchar_t next = path[folder.size()];
    return (next == L'\\' || next == L'/') && SameText(path.substr(0, folder.size()), folder);
}

// Whether the file lies in the Windows folder (anywhere below it), and whether directly in it or
// directly in the system folder, where no standard user may put a file (below them some folders
// are open to users: Temp, Tasks, spool\drivers\color).
void WindowsPlace(const std::wstring& path, bool& below, bool& closed) {
    below = closed = false;
    wchar_t windows[MAX_PATH + 1] = {};
    // The shared folder; GetWindowsDirectoryW may name a private one on a terminal server.
    const UINT length = GetSystemWindowsDirectoryW(windows, MAX_PATH + 1);
    if (length == 0 || length > MAX_PATH)
        return;
    const std::wstring plain = PlainPath(path);
    below = InFolder(plain, std::wstring(windows, length));
    if (!below)
        return;
    const size_t slash = plain.find_last_of(L"\\/");
    const std::wstring folder =
        slash == std::wstring::npos ? std::wstring() : plain.substr(0, slash);
    wchar_t system[MAX_PATH + 1] = {};
    const UINT systemLength = GetSystemDirectoryW(system, MAX_PATH + 1);
    closed = SameText(folder, std::wstring(windows, length)) ||
             (systemLength > 0 && systemLength <= MAX_PATH &&
              SameText(folder, std::wstring(system, systemLength)));
}

// One block of version information: a WORD length (the whole block with its children), a WORD
// value length, a WORD type, a key ending in a null, then the value and the children, each
// beginning at a multiple of four bytes.
struct TVersionBlock {
    std::wstring Key;
    size_t Value = 0;    // where the value begins
    size_t Children = 0; // where the children begin
    size_t End = 0;
};

size_t Aligned(size_t offset) {
    return (offset + 3) & ~size_t(3);
}

WORD WordAt(const BYTE* data, size_t offset) {
    return static_cast<WORD>(data[offset] | (data[offset + 1] << 8));
}

// The block at `offset`, which must end by `limit`; false when it does not fit.
bool BlockAt(const BYTE* data, size_t offset, size_t limit, TVersionBlock& block) {
    if (offset > limit || limit - offset < 6)
        return false;
    const size_t length = WordAt(data, offset);
    const size_t valueLength = WordAt(data, offset + 2);
    const bool text = WordAt(data, offset + 4) == 1;
    if (length < 6 || length > limit - offset)
        return false;
    block.End = offset + length;
    block.Key.clear();
    size_t at = offset + 6;
    for (;; at += 2) {
        if (block.End - at < 2)
            return false;
        const wchar_t c = WordAt(data, at);
        if (c == L'\0')
            break;
        block.Key += c;
    }
    block.Value = std::min(Aligned(at + 2), block.End);
    // A text value's length counts characters (some tools count bytes); a binary one's bytes.
    const size_t valueBytes = text ? valueLength * 2 : valueLength;
    block.Children = valueBytes > block.End - block.Value
                         ? block.End
                         : std::min(Aligned(block.Value + valueBytes), block.End);
    return true;
}

// The first child of `parent` with the key (in any letter case). Each child takes at least six
// bytes, so the walk ends within the parent.
bool ChildNamed(const BYTE* data, const TVersionBlock& parent, const wchar_t* key,
                TVersionBlock& child) {
    for (size_t at = parent.Children; BlockAt(data, at, parent.End, child); at = Aligned(child.End))
        if (SameText(child.Key, key))
            return true;
    return false;
}

// A string's text: from its value to the end of its block, up to the first null, since tools
// disagree on what a text value's length counts.
std::wstring TextOf(const BYTE* data, const TVersionBlock& block) {
    std::wstring text;
    for (size_t at = block.Value; block.End - at >= 2; at += 2) {
        const wchar_t c = WordAt(data, at);
        if (c == L'\0')
            break;
        text += c;
    }
    return text;
}

// The file's own version information, read with the same parsing as a running image's.
void ReadVersionFields(const std::wstring& path, TProgramFields& fields) {
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeExW(0, path.c_str(), &ignored);
    // Real version information is below 64 KB (its length is a WORD); a crafted file's
    // resource may claim far more.
    if (size == 0 || size > 1024 * 1024)
        return;
    std::vector<BYTE> data(size);
    if (GetFileVersionInfoExW(0, path.c_str(), 0, size, data.data()))
        ParseVersionFields(data.data(), data.size(), fields);
}

// The subject of the certificate the file's embedded signature names. The signature is not
// verified: it names only programs without version information, for which a forged signer
// makes one more identity, as a copy with edited version information does anyway; verifying
// would cost a look-up of revocation lists per file.
std::wstring ReadSigner(const std::wstring& path) {
    HCERTSTORE store = nullptr;
    HCRYPTMSG message = nullptr;
    DWORD encoding = 0, content = 0, format = 0;
    if (!CryptQueryObject(CERT_QUERY_OBJECT_FILE, path.c_str(),
                          CERT_QUERY_CONTENT_FLAG_PKCS7_SIGNED_EMBED, CERT_QUERY_FORMAT_FLAG_BINARY,
                          0, &encoding, &content, &format, &store, &message, nullptr))
        return std::wstring();
    std::wstring signer;
    DWORD size = 0;
    if (CryptMsgGetParam(message, CMSG_SIGNER_INFO_PARAM, 0, nullptr, &size) && size > 0) {
        std::vector<BYTE> buffer(size);
        if (CryptMsgGetParam(message, CMSG_SIGNER_INFO_PARAM, 0, buffer.data(), &size)) {
            const auto* info = reinterpret_cast<const CMSG_SIGNER_INFO*>(buffer.data());
            CERT_INFO wanted{};
            wanted.Issuer = info->Issuer;
            wanted.SerialNumber = info->SerialNumber;
            PCCERT_CONTEXT cert =
                CertFindCertificateInStore(store, X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, 0,
                                           CERT_FIND_SUBJECT_CERT, &wanted, nullptr);
            if (cert) {
                const DWORD chars =
                    CertGetNameStringW(cert, CERT_NAME_SIMPLE_DISPLAY_TYPE, 0, nullptr, nullptr, 0);
                if (chars > 1) {
                    std::wstring name(chars, L'\0');
                    CertGetNameStringW(cert, CERT_NAME_SIMPLE_DISPLAY_TYPE, 0, nullptr, &name[0],
                                       chars);
                    name.resize(chars - 1);
                    signer = name;
                }
                CertFreeCertificateContext(cert);
            }
        }
    }
    CryptMsgClose(message);
    CertCloseStore(store, 0);
    return signer;
}

// A path as an identity: as it is up to kPathKept characters; a longer one (a folder deep in
// folders) would make a line of up to 64 KB rewritten every minute, and becomes its first
// kPathHead characters, "~" and the 64-bit FNV-1a hash of the whole path (of its UTF-16 code
// units, low byte first) in 16 hexadecimal digits.
constexpr size_t kPathKept = 260;
constexpr size_t kPathHead = 240;

std::wstring PathIdentity(const std::wstring& path) {
    if (path.size() <= kPathKept)
        return path;
    unsigned long long hash = 14695981039346656037ULL;
    for (wchar_t c : path) {
        for (unsigned byte :
             {static_cast<unsigned>(c) & 0xFF, (static_cast<unsigned>(c) >> 8) & 0xFF}) {
            hash ^= byte;
            hash *= 1099511628211ULL;
        }
    }
    wchar_t digits[17];
    swprintf(digits, 17, L"%016llx", hash);
    return path.substr(0, kPathHead) + L"~" + digits;
}

bool FileStamp(const std::wstring& path, ULONGLONG& size, FILETIME& written) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return false;
    size = (static_cast<ULONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    written = data.ftLastWriteTime;
    return true;
}

} // namespace

TProgramInfo ProgramInfoOf(const TProgramFields& fields, const std::wstring& path) {
    TProgramInfo info;
    info.Path = path;
    const std::wstring original = Clean(fields.OriginalFilename, kFieldMost);
    const std::wstring product = Clean(fields.ProductName, kFieldMost);
    const std::wstring company = Clean(fields.CompanyName, kFieldMost);
    const std::wstring signer = Clean(fields.Signer, kFieldMost);
    // The signer names only a program without version information: a copy stripped of its
    // signature (which any signing tool does) must still be the program its rule names.
    if (!original.empty() || !product.empty() || !company.empty())
        info.Id = Lower(L"v:" + original + L"|" + product + L"|" + company + L"|");
    else if (!signer.empty())
        info.Id = Lower(L"v:|||" + signer);
    else
        info.Id = L"f:" + PathIdentity(Lower(Clean(PlainPath(path), 32767)));

    // The description tells the programs of one product apart ("Microsoft Word", not
    // "Microsoft Office"; "Notepad", not "Microsoft Windows Operating System").
    info.Name = Clean(fields.FileDescription, kProgramNameMost);
    if (info.Name.empty())
        info.Name = Clean(fields.ProductName, kProgramNameMost);
    if (info.Name.empty())
        info.Name = Clean(FileNameOf(PlainPath(path)), kProgramNameMost);
    if (info.Name.empty())
        info.Name = L"?";

    // Windows' own programs: those Microsoft made anywhere in the Windows folder (a copy of a game
    // put in a folder there that users may write stays the user's), and whatever lies where only
    // an administrator puts files (Wine's helpers there have no version information).
    bool below = false, closed = false;
    WindowsPlace(path, below, closed);
    info.PartOfWindows = closed || (below && SameText(Clean(fields.CompanyName, kFieldMost),
                                                      L"Microsoft Corporation"));
    return info;
}

// Reads the strings of the first language the block lists; a block that lists none, or whose
// listed language is empty, is read in U.S. English (Unicode, then the Windows code page), where
// most programs keep them.
bool ParseVersionFields(const BYTE* data, size_t size, TProgramFields& fields) {
    TVersionBlock root, strings;
    if (!data || !BlockAt(data, 0, size, root) ||
        !ChildNamed(data, root, L"StringFileInfo", strings))
        return false;
    std::vector<std::wstring> languages;
    TVersionBlock var, translation;
    if (ChildNamed(data, root, L"VarFileInfo", var) &&
        ChildNamed(data, var, L"Translation", translation) &&
        translation.End - translation.Value >= 4) {
        wchar_t language[16];
        swprintf(language, 16, L"%04x%04x", WordAt(data, translation.Value),
                 WordAt(data, translation.Value + 2));
        languages.push_back(language);
    }
    languages.push_back(L"040904B0");
    languages.push_back(L"040904E4");
    for (const std::wstring& language : languages) {
        TVersionBlock table;
        if (!ChildNamed(data, strings, language.c_str(), table))
            continue;
        TProgramFields read;
        const std::pair<const wchar_t*, std::wstring*> wanted[] = {
            {L"OriginalFilename", &read.OriginalFilename},
            {L"ProductName", &read.ProductName},
            {L"FileDescription", &read.FileDescription},
            {L"CompanyName", &read.CompanyName},
        };
        for (const auto& field : wanted) {
            TVersionBlock value;
            if (ChildNamed(data, table, field.first, value))
                *field.second = TextOf(data, value);
        }
        if (!read.OriginalFilename.empty() || !read.ProductName.empty() ||
            !read.FileDescription.empty() || !read.CompanyName.empty()) {
            read.Signer = fields.Signer;
            fields = read;
            return true;
        }
    }
    return false;
}

bool ReadProgramFields(const std::wstring& path, TProgramFields& fields) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    CloseHandle(file);
    TProgramFields read;
    read.Signer = ReadSigner(path);
    ReadVersionFields(path, read);
    fields = read;
    return true;
}

bool ReadProgramInfo(const std::wstring& path, TProgramInfo& info) {
    TProgramFields fields;
    if (!ReadProgramFields(path, fields))
        return false;
    info = ProgramInfoOf(fields, path);
    return true;
}

bool TProgramInfoCache::Get(const std::wstring& path, TProgramInfo& info, TProgramFields* fields) {
    const std::wstring key = Lower(path);
    ULONGLONG size = 0;
    FILETIME written{};
    const bool present = FileStamp(path, size, written);
    auto found = FEntries.find(key);
    if (found != FEntries.end()) {
        TEntry& entry = found->second;
        if (present && entry.Size == size && CompareFileTime(&entry.Written, &written) == 0) {
            FUse.splice(FUse.begin(), FUse, entry.Use);
            info = entry.Info;
            if (fields)
                *fields = entry.Fields;
            return true;
        }
        FUse.erase(entry.Use);
        FEntries.erase(found);
    }
    TProgramFields read;
    if (!present || !ReadProgramFields(path, read))
        return false;
    FUse.push_front(key);
    TEntry& entry = FEntries[key];
    entry.Size = size;
    entry.Written = written;
    entry.Fields = read;
    entry.Info = ProgramInfoOf(read, path);
    entry.Use = FUse.begin();
    info = entry.Info;
    if (fields)
        *fields = read;
    while (FEntries.size() > (FMost > 0 ? FMost : 1)) {
        FEntries.erase(FUse.back());
        FUse.pop_back();
    }
    return true;
}

} // namespace vantrel
