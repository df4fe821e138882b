#pragma once
// Time-based one-time codes as authenticator apps make them: the HMAC-SHA1 of the number of
// 30-second steps since 1 January 1970 (UTC), cut to 6 digits, with the key given to the app as
// Base32 text in an "otpauth://totp/..." address (RFC 6238 over RFC 4226, RFC 4648).
#include <cstdint>
#include <string>
#include <vector>

namespace vantrel {

using TSecret = std::vector<unsigned char>;

constexpr int kCodeDigits = 6;
constexpr std::uint64_t kCodeStepSeconds = 30;

// The code of a counter (an HOTP code), with `digits` digits (6 to 9); -1 when the system
// cannot compute the HMAC.
int CounterCode(const TSecret& key, std::uint64_t counter, int digits = kCodeDigits);
// The code of the 30-second step that holds the time (seconds since 1970, UTC).
int TimeCode(const TSecret& key, std::uint64_t unixSeconds, int digits = kCodeDigits);
// The step of a time, which a code that was used once is remembered by.
inline std::uint64_t CodeStep(std::uint64_t unixSeconds) {
    return unixSeconds / kCodeStepSeconds;
}

// Base32 of RFC 4648 in capitals, without padding, as authenticator apps take it.
std::string Base32(const TSecret& bytes);
// Reads Base32 in either case, with or without padding, spaces and dashes ignored; false for any
// other character or a length no key can have.
bool FromBase32(const std::string& text, TSecret& bytes);

// A new key of 20 bytes (160 bits, as RFC 4226 recommends) from the system's random generator;
// false when the system gives none.
bool NewSecret(TSecret& key);

// "otpauth://totp/Issuer:account?secret=...&issuer=Issuer&algorithm=SHA1&digits=6&period=30",
// the label and issuer percent-encoded as UTF-8.
std::string OtpauthAddress(const std::wstring& issuer, const std::wstring& account,
                           const TSecret& key);

} // namespace vantrel
