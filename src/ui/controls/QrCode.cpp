#include "ui/controls/QrCode.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cstdint>
#include <cstdlib>

namespace vantrel {
namespace {

// The blocks of level M for each version: codewords of error correction per block, then the
// blocks of the first group with their data codewords, then those of the second group.
struct TBlocks {
    int EcPerBlock;
    int Blocks1, Data1, Blocks2, Data2;
};
constexpr std::array<TBlocks, kQrMostVersion + 1> kLevelM = {{
    {0, 0, 0, 0, 0},    // no version 0
    {10, 1, 16, 0, 0},  // 1: 26 codewords
    {16, 1, 28, 0, 0},  // 2: 44
    {26, 1, 44, 0, 0},  // 3: 70
    {18, 2, 32, 0, 0},  // 4: 100
    {24, 2, 43, 0, 0},  // 5: 134
    {16, 4, 27, 0, 0},  // 6: 172
    {18, 4, 31, 0, 0},  // 7: 196
    {22, 2, 38, 2, 39}, // 8: 242
    {22, 3, 36, 2, 37}, // 9: 292
    {26, 4, 43, 1, 44}, // 10: 346
    {30, 1, 50, 4, 51}, // 11: 404
    {22, 6, 36, 2, 37}, // 12: 466
    {22, 8, 37, 1, 38}, // 13: 532
}};

// The rows and columns of the alignment patterns' centres.
const std::vector<int>& AlignmentCentres(int version) {
    static const std::array<std::vector<int>, kQrMostVersion + 1> centres = {{
        {},
        {},
        {6, 18},
        {6, 22},
        {6, 26},
        {6, 30},
        {6, 34},
        {6, 22, 38},
        {6, 24, 42},
        {6, 26, 46},
        {6, 28, 50},
        {6, 30, 54},
        {6, 32, 58},
        {6, 34, 62},
    }};
    return centres[version];
}

int DataCodewords(int version) {
    const TBlocks& b = kLevelM[version];
    return b.Blocks1 * b.Data1 + b.Blocks2 * b.Data2;
}

// Bits of the character count in byte mode.
int CountBits(int version) {
    return version <= 9 ? 8 : 16;
}

// GF(256) over the polynomial x^8 + x^4 + x^3 + x^2 + 1.
struct TGalois {
    std::array<std::uint8_t, 512> Exp{};
    std::array<int, 256> Log{};
    TGalois() {
        int x = 1;
        for (int i = 0; i < 255; ++i) {
            Exp[i] = static_cast<std::uint8_t>(x);
            Log[x] = i;
            x <<= 1;
            if (x & 0x100)
                x ^= 0x11D;
        }
        for (int i = 255; i < 512; ++i)
            Exp[i] = Exp[i - 255];
    }
    std::uint8_t Multiply(std::uint8_t a, std::uint8_t b) const {
        return a == 0 || b == 0 ? 0 : Exp[Log[a] + Log[b]];
    }
};
const TGalois& Galois() {
    static const TGalois galois;
    return galois;
}

// The error correction codewords of a block: the remainder of the data (times x^n) divided by
// the generator (x - a^0)(x - a^1)...(x - a^(n-1)).
std::vector<std::uint8_t> ErrorCorrection(const std::uint8_t* data, int length, int n) {
    const TGalois& gf = Galois();
    // The generator's coefficients, highest power first: p(x) (x + a^i) = p(x) x + a^i p(x).
    std::vector<std::uint8_t> generator = {1};
    for (int i = 0; i < n; ++i) {
        std::vector<std::uint8_t> next(generator.size() + 1, 0);
        for (std::size_t k = 0; k < next.size(); ++k) {
            if (k < generator.size())
                next[k] = generator[k];
            if (k >= 1)
                next[k] ^= gf.Multiply(generator[k - 1], gf.Exp[i]);
        }
        generator.swap(next);
    }
    std::vector<std::uint8_t> remainder(n, 0);
    for (int i = 0; i < length; ++i) {
        const std::uint8_t factor = data[i] ^ remainder[0];
        std::rotate(remainder.begin(), remainder.begin() + 1, remainder.end());
        remainder[n - 1] = 0;
        for (int j = 0; j < n; ++j)
            remainder[j] ^= gf.Multiply(generator[j + 1], factor);
    }
    return remainder;
}

// The remainder of `value` (already shifted) divided by a BCH generator of degree `degree`.
int BchRemainder(int value, int generator, int degree) {
    for (int bit = 31; bit >= degree; --bit)
        if (value & (1 << bit))
            value ^= generator << (bit - degree);
    return value;
}

class TBits {
public:
    void Add(unsigned value, int count) {
        for (int i = count - 1; i >= 0; --i)
            FBits.push_back(((value >> i) & 1) != 0);
    }
    std::size_t Size() const { return FBits.size(); }
    std::vector<std::uint8_t> Bytes() const {
        std::vector<std::uint8_t> bytes(FBits.size() / 8, 0);
        for (std::size_t i = 0; i < bytes.size() * 8; ++i)
            if (FBits[i])
                bytes[i / 8] |= static_cast<std::uint8_t>(0x80 >> (i % 8));
        return bytes;
    }

private:
    std::vector<bool> FBits;
};

// The data codewords: mode, count, bytes, terminator and padding.
std::vector<std::uint8_t> DataOf(const std::string& text, int version) {
    const std::size_t capacity = static_cast<std::size_t>(DataCodewords(version)) * 8;
    TBits bits;
    bits.Add(0x4, 4); // byte mode
    bits.Add(static_cast<unsigned>(text.size()), CountBits(version));
    for (unsigned char c : text)
        bits.Add(c, 8);
    bits.Add(0, static_cast<int>(std::min<std::size_t>(4, capacity - bits.Size())));
    bits.Add(0, static_cast<int>((8 - bits.Size() % 8) % 8));
    for (bool even = true; bits.Size() < capacity; even = !even)
        bits.Add(even ? 0xEC : 0x11, 8);
    return bits.Bytes();
}

// The codewords in the order they are placed: the blocks' data interleaved, then their error
// correction interleaved.
std::vector<std::uint8_t> CodewordsOf(const std::vector<std::uint8_t>& data, int version) {
    const TBlocks& b = kLevelM[version];
    std::vector<std::vector<std::uint8_t>> blocks, corrections;
    int at = 0;
    for (int i = 0; i < b.Blocks1 + b.Blocks2; ++i) {
        const int length = i < b.Blocks1 ? b.Data1 : b.Data2;
        blocks.emplace_back(data.begin() + at, data.begin() + at + length);
        corrections.push_back(ErrorCorrection(data.data() + at, length, b.EcPerBlock));
        at += length;
    }
    std::vector<std::uint8_t> out;
    const int longest = std::max(b.Data1, b.Data2);
    for (int i = 0; i < longest; ++i)
        for (const auto& block : blocks)
            if (i < static_cast<int>(block.size()))
                out.push_back(block[i]);
    for (int i = 0; i < b.EcPerBlock; ++i)
        for (const auto& correction : corrections)
            out.push_back(correction[i]);
    return out;
}

bool MaskInverts(int mask, int row, int column) {
    const int i = row, j = column;
    switch (mask) {
    case 0:
        return (i + j) % 2 == 0;
    case 1:
        return i % 2 == 0;
    case 2:
        return j % 3 == 0;
    case 3:
        return (i + j) % 3 == 0;
    case 4:
        return (i / 2 + j / 3) % 2 == 0;
    case 5:
        return (i * j) % 2 + (i * j) % 3 == 0;
    case 6:
        return ((i * j) % 2 + (i * j) % 3) % 2 == 0;
    default:
        return ((i + j) % 2 + (i * j) % 3) % 2 == 0;
    }
}

class TMatrix {
public:
    explicit TMatrix(int version)
        : FVersion(version), FSize(17 + 4 * version), FDark(FSize * FSize, false),
          FFunction(FSize * FSize, false) {
        DrawFunctionPatterns();
    }

    void Place(const std::vector<std::uint8_t>& codewords) {
        const std::size_t bitCount = codewords.size() * 8;
        std::size_t bit = 0;
        // Two columns at a time from the right, up and down in turn; the vertical timing
        // pattern's column is left out. Modules left over (the remainder bits) stay light.
        for (int right = FSize - 1; right >= 1; right -= 2) {
            if (right == 6)
                right = 5;
            const bool upward = ((right + 1) & 2) == 0;
            for (int step = 0; step < FSize; ++step) {
                const int row = upward ? FSize - 1 - step : step;
                for (int k = 0; k < 2; ++k) {
                    const int column = right - k;
                    if (FFunction[Index(row, column)] || bit >= bitCount)
                        continue;
                    FDark[Index(row, column)] = ((codewords[bit / 8] >> (7 - bit % 8)) & 1) != 0;
                    ++bit;
                }
            }
        }
    }

    TQrCode Masked(int mask) const {
        TQrCode code;
        code.Version = FVersion;
        code.Size = FSize;
        code.Mask = mask;
        code.Dark = FDark;
        for (int row = 0; row < FSize; ++row)
            for (int column = 0; column < FSize; ++column)
                if (!FFunction[Index(row, column)] && MaskInverts(mask, row, column))
                    code.Dark[Index(row, column)] = !code.Dark[Index(row, column)];
        WriteFormat(code, mask);
        return code;
    }

private:
    int Index(int row, int column) const { return row * FSize + column; }
    void Set(int row, int column, bool dark) {
        FDark[Index(row, column)] = dark;
        FFunction[Index(row, column)] = true;
    }

    void DrawFunctionPatterns() {
        for (int i = 0; i < FSize; ++i) {
            Set(6, i, i % 2 == 0);
            Set(i, 6, i % 2 == 0);
        }
        // Finder patterns with their light separators.
        const int corners[3][2] = {{3, 3}, {3, FSize - 4}, {FSize - 4, 3}};
        for (const auto& corner : corners)
            for (int dy = -4; dy <= 4; ++dy)
                for (int dx = -4; dx <= 4; ++dx) {
                    const int row = corner[0] + dy, column = corner[1] + dx;
                    if (row < 0 || row >= FSize || column < 0 || column >= FSize)
                        continue;
                    const int distance = std::max(std::abs(dy), std::abs(dx));
                    Set(row, column, distance != 2 && distance != 4);
                }
        const std::vector<int>& centres = AlignmentCentres(FVersion);
        const int last = static_cast<int>(centres.size()) - 1;
        for (int a = 0; a <= last; ++a)
            for (int b = 0; b <= last; ++b) {
                // Not over the finder patterns.
                if ((a == 0 && b == 0) || (a == 0 && b == last) || (a == last && b == 0))
                    continue;
                for (int dy = -2; dy <= 2; ++dy)
                    for (int dx = -2; dx <= 2; ++dx)
                        Set(centres[a] + dy, centres[b] + dx,
                            std::max(std::abs(dy), std::abs(dx)) != 1);
            }
        // The format information's places are kept now and written with the mask.
        for (int i = 0; i < 9; ++i) {
            FFunction[Index(8, i)] = true;
            FFunction[Index(i, 8)] = true;
        }
        for (int i = 0; i < 8; ++i) {
            FFunction[Index(8, FSize - 1 - i)] = true;
            FFunction[Index(FSize - 1 - i, 8)] = true;
        }
        Set(FSize - 8, 8, true); // the dark module
        if (FVersion >= 7) {
            const int info = (FVersion << 12) | BchRemainder(FVersion << 12, 0x1F25, 12);
            for (int i = 0; i < 18; ++i) {
                const bool dark = ((info >> i) & 1) != 0;
                const int a = FSize - 11 + i % 3, b = i / 3;
                Set(b, a, dark);
                Set(a, b, dark);
            }
        }
    }

    void WriteFormat(TQrCode& code, int mask) const {
        const int data = (0 << 3) | mask; // level M is 00
        const int format = ((data << 10) | BchRemainder(data << 10, 0x537, 10)) ^ 0x5412;
        auto put = [&](int row, int column, int bit) {
            code.Dark[Index(row, column)] = ((format >> bit) & 1) != 0;
        };
        for (int i = 0; i <= 5; ++i)
            put(i, 8, i);
        put(7, 8, 6);
        put(8, 8, 7);
        put(8, 7, 8);
        for (int i = 9; i < 15; ++i)
            put(8, 14 - i, i);
        for (int i = 0; i < 8; ++i)
            put(8, FSize - 1 - i, i);
        for (int i = 8; i < 15; ++i)
            put(FSize - 15 + i, 8, i);
    }

    int FVersion;
    int FSize;
    std::vector<bool> FDark;
    std::vector<bool> FFunction;
};

int SmallestVersion(std::size_t length) {
    for (int version = 1; version <= kQrMostVersion; ++version) {
        const std::size_t bits = 4 + CountBits(version) + 8 * length;
        if (length < (1u << CountBits(version)) &&
            bits <= static_cast<std::size_t>(DataCodewords(version)) * 8)
            return version;
    }
    return 0;
}

TMatrix MatrixOf(const std::string& bytes, int version) {
    TMatrix matrix(version);
    matrix.Place(CodewordsOf(DataOf(bytes, version), version));
    return matrix;
}

} // namespace

TQrCode QrCodeOf(const std::string& bytes) {
    const int version = SmallestVersion(bytes.size());
    if (version == 0)
        return {};
    const TMatrix matrix = MatrixOf(bytes, version);
    TQrCode best;
    int bestPenalty = INT_MAX;
    for (int mask = 0; mask < 8; ++mask) {
        TQrCode code = matrix.Masked(mask);
        const int penalty = QrPenalty(code);
        if (penalty < bestPenalty) {
            bestPenalty = penalty;
            best = std::move(code);
        }
    }
    return best;
}

TQrCode QrCodeWithMask(const std::string& bytes, int mask) {
    const int version = SmallestVersion(bytes.size());
    if (version == 0 || mask < 0 || mask > 7)
        return {};
    return MatrixOf(bytes, version).Masked(mask);
}

int QrPenalty(const TQrCode& code) {
    const int n = code.Size;
    int penalty = 0;
    // Runs of five or more alike in a row or column: 3, and 1 more for each beyond five.
    // Finder-like 1:1:3:1:1 with four light modules on one side: 40 each.
    static const bool finderLike[2][11] = {{1, 0, 1, 1, 1, 0, 1, 0, 0, 0, 0},
                                           {0, 0, 0, 0, 1, 0, 1, 1, 1, 0, 1}};
    for (int pass = 0; pass < 2; ++pass) {
        auto at = [&](int line, int i) { return pass == 0 ? code.At(line, i) : code.At(i, line); };
        for (int line = 0; line < n; ++line) {
            int run = 1;
            for (int i = 1; i <= n; ++i) {
                if (i < n && at(line, i) == at(line, i - 1)) {
                    ++run;
                    continue;
                }
                if (run >= 5)
                    penalty += 3 + run - 5;
                run = 1;
            }
            for (int i = 0; i + 11 <= n; ++i)
                for (const auto& pattern : finderLike) {
                    int k = 0;
                    while (k < 11 && at(line, i + k) == pattern[k])
                        ++k;
                    if (k == 11)
                        penalty += 40;
                }
        }
    }
    // Blocks of 2 x 2 alike: 3 each.
    for (int row = 0; row + 1 < n; ++row)
        for (int column = 0; column + 1 < n; ++column) {
            const bool dark = code.At(row, column);
            if (code.At(row, column + 1) == dark && code.At(row + 1, column) == dark &&
                code.At(row + 1, column + 1) == dark)
                penalty += 3;
        }
    // Balance: 10 for each full 5% the dark modules are away from half.
    const long total = static_cast<long>(n) * n;
    const long dark = std::count(code.Dark.begin(), code.Dark.end(), true);
    penalty += 10 * static_cast<int>(std::labs(dark * 20 - total * 10) / total);
    return penalty;
}

int QrModulePixels(const TQrCode& code, int side) {
    if (code.IsEmpty())
        return 0;
    return side / (code.Size + 2 * kQrQuietModules);
}

void PaintQrCode(HDC dc, const RECT& bounds, const TQrCode& code) {
    FillRect(dc, &bounds, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    const int width = bounds.right - bounds.left, height = bounds.bottom - bounds.top;
    const int module = QrModulePixels(code, std::min(width, height));
    if (module == 0)
        return;
    const int side = module * code.Size;
    const int left = bounds.left + (width - side) / 2, top = bounds.top + (height - side) / 2;
    const HBRUSH black = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    for (int row = 0; row < code.Size; ++row)
        for (int column = 0; column < code.Size; ++column)
            if (code.At(row, column)) {
                const RECT cell = {left + column * module, top + row * module,
                                   left + (column + 1) * module, top + (row + 1) * module};
                FillRect(dc, &cell, black);
            }
}

} // namespace vantrel
