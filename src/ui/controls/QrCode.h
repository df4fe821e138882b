#pragma once
// QR codes (ISO/IEC 18004) of a text, for the pairing of an authenticator app: byte mode, error
// correction level M, versions 1 to 13 (the smallest that holds the text; version 13 holds 331
// bytes), the mask of the lowest penalty. The matrix is a pure function of the text; painting
// puts it in a rectangle black on white, whatever the theme, with the 4 modules of quiet zone
// that readers need around it.
#include <windows.h>

#include <string>
#include <vector>

namespace vantrel {

struct TQrCode {
    int Version = 0; // 0 when the text does not fit any version made here
    int Size = 0;    // modules a side: 17 + 4 * Version
    int Mask = -1;
    std::vector<bool> Dark; // Size * Size, row by row

    bool IsEmpty() const { return Size == 0; }
    bool At(int row, int column) const { return Dark[row * Size + column]; }
};

inline constexpr int kQrQuietModules = 4;
inline constexpr int kQrMostVersion = 13;

// The code of the bytes; empty when they are too long.
TQrCode QrCodeOf(const std::string& bytes);
// As QrCodeOf with the mask given (0 to 7), for tests of the masks.
TQrCode QrCodeWithMask(const std::string& bytes, int mask);
// The penalty of a finished matrix by the four rules of the standard (runs, blocks, finder-like
// patterns, balance of dark and light).
int QrPenalty(const TQrCode& code);

// The module size in whole pixels that fits the code and its quiet zone in a square of `side`
// pixels; 0 when not even one pixel a module fits.
int QrModulePixels(const TQrCode& code, int side);
// Paints the code, quiet zone included, centred in `bounds` with whole pixels a module (so that
// every module has the same size); the rest of the rectangle is white too.
void PaintQrCode(HDC dc, const RECT& bounds, const TQrCode& code);

} // namespace vantrel
