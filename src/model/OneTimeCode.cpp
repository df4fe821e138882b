#include "model/OneTimeCode.h"

#include <windows.h>

#include <bcrypt.h>

namespace vantrel {

namespace {

bool HmacSha1(const TSecret& key, const unsigned char* data, ULONG size, unsigned char out[20]) {
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    if (BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA1_ALGORITHM, nullptr,
                                    BCRYPT_ALG_HANDLE_HMAC_FLAG) != 0)
        return false;
    BCRYPT_HASH_HANDLE hash = nullptr;
    TSecret secret = key;
    bool ok = BCryptCreateHash(algorithm, &hash, nullptr, 0, secret.data(),
                               static_cast<ULONG>(secret.size()), 0) == 0;
    ok = ok && BCryptHashData(hash, const_cast<PUCHAR>(data), size, 0) == 0 &&
         BCryptFinishHash(hash, out, 20, 0) == 0;
    if (hash)
        BCryptDestroyHash(hash);
    BCryptCloseAlgorithmProvider(algorithm, 0);
    SecureZeroMemory(secret.data(), secret.size());
    return ok;
}

const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ234567";

std::string PercentEncoded(const std::wstring& text) {
    std::string utf8;
    if (!text.empty()) {
        const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                             nullptr, 0, nullptr, nullptr);
        utf8.resize(size > 0 ? static_cast<size_t>(size) : 0);
        if (size > 0)
            WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &utf8[0],
                                size, nullptr, nullptr);
    }
    std::string encoded;
    for (unsigned char c : utf8) {
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
            c == '-' || c == '.' || c == '_' || c == '~') {
            encoded += static_cast<char>(c);
        } else {
            static const char hex[] = "0123456789ABCDEF";
            encoded += '%';
            encoded += hex[c >> 4];
            encoded += hex[c & 15];
        }
    }
    return encoded;
}

} // namespace

int CounterCode(const TSecret& key, std::uint64_t counter, int digits) {
    unsigned char message[8];
    for (int i = 7; i >= 0; --i) {
        message[i] = static_cast<unsigned char>(counter & 0xFF);
        counter >>= 8;
    }
    unsigned char mac[20];
    if (digits < 6 || digits > 9 || !HmacSha1(key, message, sizeof(message), mac))
        return -1;
    const int offset = mac[19] & 0x0F;
    const std::uint32_t truncated = (static_cast<std::uint32_t>(mac[offset] & 0x7F) << 24) |
                                    (static_cast<std::uint32_t>(mac[offset + 1]) << 16) |
                                    (static_cast<std::uint32_t>(mac[offset + 2]) << 8) |
                                    mac[offset + 3];
    std::uint32_t modulus = 1;
    for (int i = 0; i < digits; ++i)
        modulus *= 10;
    return static_cast<int>(truncated % modulus);
}

int TimeCode(const TSecret& key, std::uint64_t unixSeconds, int digits) {
    return CounterCode(key, CodeStep(unixSeconds), digits);
}

std::string Base32(const TSecret& bytes) {
    std::string text;
    unsigned buffer = 0;
    int bits = 0;
    for (unsigned char byte : bytes) {
        buffer = (buffer << 8) | byte;
        bits += 8;
        while (bits >= 5) {
            text += kAlphabet[(buffer >> (bits - 5)) & 31];
            bits -= 5;
        }
    }
    if (bits > 0)
        text += kAlphabet[(buffer << (5 - bits)) & 31];
    return text;
}

bool FromBase32(const std::string& text, TSecret& bytes) {
    TSecret read;
    unsigned buffer = 0;
    int bits = 0;
    int count = 0;
    bool padding = false;
    for (char c : text) {
        if (c == ' ' || c == '-')
            continue;
        if (c == '=') {
            padding = true;
            continue;
        }
        const char upper = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
        int value = -1;
        if (upper >= 'A' && upper <= 'Z')
            value = upper - 'A';
        else if (upper >= '2' && upper <= '7')
            value = upper - '2' + 26;
        if (value < 0 || padding)
            return false;
        buffer = (buffer << 5) | static_cast<unsigned>(value);
        bits += 5;
        ++count;
        if (bits >= 8) {
            read.push_back(static_cast<unsigned char>((buffer >> (bits - 8)) & 0xFF));
            bits -= 8;
        }
    }
    // 1, 3 and 6 characters past a whole group of 8 are never made by any number of bytes.
    const int rest = count % 8;
    if (rest == 1 || rest == 3 || rest == 6 || read.empty())
        return false;
    bytes.swap(read);
    return true;
}

bool NewSecret(TSecret& key) {
    key.assign(20, 0);
    if (BCryptGenRandom(nullptr, key.data(), static_cast<ULONG>(key.size()),
                        BCRYPT_USE_SYSTEM_PREFERRED_RNG) != 0) {
        key.clear();
        return false;
    }
    return true;
}

std::string OtpauthAddress(const std::wstring& issuer, const std::wstring& account,
                           const TSecret& key) {
    const std::string name = PercentEncoded(issuer);
    return "otpauth://totp/" + name + ":" + PercentEncoded(account) + "?secret=" + Base32(key) +
           "&issuer=" + name + "&algorithm=SHA1&digits=" + std::to_string(kCodeDigits) +
           "&period=" + std::to_string(kCodeStepSeconds);
}

} // namespace vantrel
