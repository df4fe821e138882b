#include "model/ProgramInfo.h"

#include <wincrypt.h>
#include <winver.h>

#include <algorithm>
#include <cstdio>
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

bool InWindowsFolder(const std::wstring& path) {
    wchar_t windows[MAX_PATH + 1] = {};
    // The shared folder; GetWindowsDirectoryW may name a private one on a terminal server.
    const UINT length = GetSystemWindowsDirectoryW(windows, MAX_PATH + 1);
    if (length == 0 || length > MAX_PATH)
        return false;
    return InFolder(PlainPath(path), std::wstring(windows, length));
}

// The version information's walk trusts the lengths the file states (at most 65535 units
// each), which a crafted file sets beyond its block: zeros behind the block keep every such
// reading inside the buffer. Real version information is below 64 KB (its length is a WORD).
constexpr DWORD kVersionInfoMost = 1024 * 1024;
constexpr size_t kVersionSlack = 4 * 65536;

// One string of the version information's block ("\StringFileInfo\040904B0\"), or empty.
std::wstring VersionString(const std::vector<BYTE>& data, const std::wstring& block,
                           const wchar_t* name) {
    void* value = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(data.data(), (block + name).c_str(), &value, &length) || !value ||
        length == 0)
        return std::wstring();
    // A stated length never reaches past the buffer.
    const BYTE* at = static_cast<const BYTE*>(value);
    if (at < data.data() || at >= data.data() + data.size())
        return std::wstring();
    length = static_cast<UINT>(
        std::min<size_t>(length, static_cast<size_t>(data.data() + data.size() - at) / 2));
    std::wstring text(static_cast<const wchar_t*>(value), length);
    const size_t end = text.find(L'\0');
    if (end != std::wstring::npos)
        text.resize(end);
    return text;
}

// Reads the strings of the first language the file lists; a file that lists none, or whose
// listed block is empty, is read in U.S. English (Unicode, then the Windows code page), where
// most programs keep them.
void ReadVersionFields(const std::wstring& path, TProgramFields& fields) {
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
    if (size == 0 || size > kVersionInfoMost)
        return;
    std::vector<BYTE> data(size + kVersionSlack);
    if (!GetFileVersionInfoW(path.c_str(), 0, size, data.data()))
        return;
    std::vector<std::wstring> blocks;
    struct TTranslation {
        WORD Language;
        WORD CodePage;
    };
    void* listed = nullptr;
    UINT length = 0;
    if (VerQueryValueW(data.data(), L"\\VarFileInfo\\Translation", &listed, &length) && listed &&
        length >= sizeof(TTranslation)) {
        const TTranslation first = *static_cast<const TTranslation*>(listed);
        wchar_t block[40];
        swprintf(block, 40, L"\\StringFileInfo\\%04x%04x\\", first.Language, first.CodePage);
        blocks.push_back(block);
    }
    blocks.push_back(L"\\StringFileInfo\\040904B0\\");
    blocks.push_back(L"\\StringFileInfo\\040904E4\\");
    for (const std::wstring& block : blocks) {
        TProgramFields read;
        read.OriginalFilename = VersionString(data, block, L"OriginalFilename");
        read.ProductName = VersionString(data, block, L"ProductName");
        read.FileDescription = VersionString(data, block, L"FileDescription");
        read.CompanyName = VersionString(data, block, L"CompanyName");
        if (!read.OriginalFilename.empty() || !read.ProductName.empty() ||
            !read.FileDescription.empty() || !read.CompanyName.empty()) {
            read.Signer = fields.Signer;
            fields = read;
            return;
        }
    }
}

// The subject of the certificate the file's embedded signature names. The signature is not
// verified: a forged signer makes only one more identity, as a copy with edited version
// information does anyway, and verifying would cost a look-up of revocation lists per file.
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
    if (!original.empty() || !product.empty() || !company.empty() || !signer.empty())
        info.Id = Lower(L"v:" + original + L"|" + product + L"|" + company + L"|" + signer);
    else
        info.Id = Lower(L"f:" + Clean(PlainPath(path), 32767));

    // The description tells the programs of one product apart ("Microsoft Word", not
    // "Microsoft Office"; "Notepad", not "Microsoft Windows Operating System").
    info.Name = Clean(fields.FileDescription, kProgramNameMost);
    if (info.Name.empty())
        info.Name = Clean(fields.ProductName, kProgramNameMost);
    if (info.Name.empty())
        info.Name = Clean(FileNameOf(PlainPath(path)), kProgramNameMost);
    if (info.Name.empty())
        info.Name = L"?";

    // Wine's own programs, as Windows', name Microsoft as their maker.
    info.PartOfWindows =
        SameText(Clean(fields.CompanyName, kFieldMost), L"Microsoft Corporation") &&
        InWindowsFolder(path);
    return info;
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

bool TProgramInfoCache::Get(const std::wstring& path, TProgramInfo& info) {
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
            return true;
        }
        FUse.erase(entry.Use);
        FEntries.erase(found);
    }
    TProgramInfo read;
    if (!present || !ReadProgramInfo(path, read))
        return false;
    FUse.push_front(key);
    TEntry& entry = FEntries[key];
    entry.Size = size;
    entry.Written = written;
    entry.Info = read;
    entry.Use = FUse.begin();
    while (FEntries.size() > (FMost > 0 ? FMost : 1)) {
        FEntries.erase(FUse.back());
        FUse.pop_back();
    }
    info = read;
    return true;
}

} // namespace vantrel
