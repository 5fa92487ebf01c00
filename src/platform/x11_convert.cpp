// Surface rows (blue, green, red bytes) into the window's pixel layout, on the way to the server.
//
// The channel tables convert any TrueColor layout one pixel at a time; they are the reference the faster
// paths must match byte for byte. Two layouts cover nearly every real screen and get a path of their own on
// x86 processors with SSSE3 (picked at run time): 32-bit pixels whose channels are whole bytes, which is a
// byte shuffle, and 16-bit pixels of at most 8 bits a channel, which is the tables' rounding done in vector
// lanes.

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <cstring>
#include <string_view>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define CT_X86_VECTORS 1
#endif

#include "platform/x11_internal.h"

namespace x11 {

PixelFormat Format;
VectorInstructions ConvertInstructions = VectorInstructions::Plain;

namespace {

using platform::CopyRect;
using platform::Surface;

std::uint32_t ChannelValue(std::uint32_t byte, unsigned long mask) {
    if (mask == 0) {
        return 0;
    }
    const int shift = std::countr_zero(mask);
    const int bits = std::popcount(mask);
    const std::uint64_t top = (std::uint64_t{1} << bits) - 1;
    // Nearest value of the channel's own width (exact for 8-bit channels).
    const std::uint64_t scaled = (byte * top + 127) / 255;
    return static_cast<std::uint32_t>((scaled << shift) & mask);
}

const std::uint8_t* SourceRow(const Surface& surface, const CopyRect& r, std::int32_t row) {
    return memory_surface::Row(surface, r.SourceY + row) + 3 * static_cast<std::size_t>(r.SourceX);
}

#ifdef CT_X86_VECTORS

// A channel's full mask is its value for 255; with 8 bits or fewer, contiguous, it can be computed in 16-bit
// lanes.
struct Channel {
    int Shift, Top;
};

bool NarrowChannel(std::uint32_t mask, Channel& channel) {
    if (mask == 0) {
        return false;
    }
    channel.Shift = std::countr_zero(mask);
    const std::uint32_t top = mask >> channel.Shift;
    channel.Top = static_cast<int>(top);
    return top <= 0xFF && std::has_single_bit(top + 1);
}

// Where each byte of four output pixels comes from in twelve input bytes (0x80: zero), when each channel's
// mask is one whole byte of the pixel; false for any other 32-bit layout.
bool ShuffleControl32(int byteOrder, std::uint8_t (&control)[16]) {
    const std::uint32_t masks[3] = {Format.Blue[255], Format.Green[255], Format.Red[255]};
    std::memset(control, 0x80, sizeof control);
    for (int source = 0; source < 3; ++source) {
        const std::uint32_t mask = masks[source];
        if (mask == 0 || std::countr_zero(mask) % 8 != 0 || mask >> std::countr_zero(mask) != 0xFF) {
            return false;
        }
        const int valueByte = std::countr_zero(mask) / 8;
        const int memoryByte = byteOrder == LSBFirst ? valueByte : 3 - valueByte;
        for (int pixel = 0; pixel < 4; ++pixel) {
            control[4 * pixel + memoryByte] = static_cast<std::uint8_t>(3 * pixel + source);
        }
    }
    return true;
}

// Sixteen pixels from 48 bytes as four vectors, each with four pixels in its low twelve bytes.
struct Sixteen {
    __m128i Quarter[4];
};

__attribute__((target("ssse3"))) inline Sixteen LoadSixteen(const std::uint8_t* in) {
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 16));
    const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 32));
    return {{a, _mm_alignr_epi8(b, a, 12), _mm_alignr_epi8(c, b, 8), _mm_srli_si128(c, 4)}};
}

// Rows of at least sixteen pixels: sixteen at a time, the last sixteen of a row overlapping the ones before
// (written twice, alike), so no row ever needs a pixel-by-pixel tail or reads past its own pixels.
__attribute__((target("ssse3"))) void Shuffle32(const Surface& surface, const CopyRect& r, std::uint8_t* out,
                                                std::size_t stride, const std::uint8_t (&controlBytes)[16]) {
    const __m128i control = _mm_loadu_si128(reinterpret_cast<const __m128i*>(controlBytes));
    for (std::int32_t row = 0; row < r.Height; ++row) {
        const std::uint8_t* in = SourceRow(surface, r, row);
        std::uint8_t* to = out + stride * static_cast<std::size_t>(row);
        for (std::int32_t x = 0;; x += 16) {
            x = std::min(x, r.Width - 16);
            const Sixteen pixels = LoadSixteen(in + 3 * static_cast<std::size_t>(x));
            for (int q = 0; q < 4; ++q) {
                _mm_storeu_si128(reinterpret_cast<__m128i*>(to + 4 * static_cast<std::size_t>(x) + 16 * q),
                                 _mm_shuffle_epi8(pixels.Quarter[q], control));
            }
            if (x + 16 >= r.Width) {
                break;
            }
        }
    }
}

// Eight pixels at column x of a row: pixels 0-3 from the first sixteen bytes into the low lane, pixels 4-7
// from sixteen bytes starting eight in into the high lane, so no step reads past its 24 bytes.
__attribute__((target("avx2"))) inline void Eight(const std::uint8_t* in, std::uint8_t* to, __m256i control,
                                                  std::int32_t x) {
    const std::uint8_t* from = in + 3 * static_cast<std::size_t>(x);
    const __m256i pixels = _mm256_loadu2_m128i(reinterpret_cast<const __m128i*>(from + 8),
                                               reinterpret_cast<const __m128i*>(from));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(to + 4 * static_cast<std::size_t>(x)),
                        _mm256_shuffle_epi8(pixels, control));
}

// The same with AVX2, eight pixels a step, 32 while a row has them; a row's last step overlaps the one
// before. The byte shuffle works lane by lane, so each lane has a control of its own.
__attribute__((target("avx2"))) void Shuffle32Wide(const Surface& surface, const CopyRect& r,
                                                   std::uint8_t* out, std::size_t stride,
                                                   const std::uint8_t (&controlBytes)[16]) {
    const __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(controlBytes));
    // Input bytes of the high lane's pixels sit 4 further on; zeroing entries (0x80) stay as they are.
    const __m128i zeroing = _mm_cmpeq_epi8(low, _mm_set1_epi8(static_cast<char>(0x80)));
    const __m128i high =
        _mm_or_si128(_mm_add_epi8(low, _mm_andnot_si128(zeroing, _mm_set1_epi8(4))), zeroing);
    const __m256i control = _mm256_set_m128i(high, low);
    for (std::int32_t row = 0; row < r.Height; ++row) {
        const std::uint8_t* in = SourceRow(surface, r, row);
        std::uint8_t* to = out + stride * static_cast<std::size_t>(row);
        std::int32_t x = 0;
        for (; x + 32 <= r.Width; x += 32) {
            Eight(in, to, control, x);
            Eight(in, to, control, x + 8);
            Eight(in, to, control, x + 16);
            Eight(in, to, control, x + 24);
        }
        for (; x + 8 <= r.Width; x += 8) {
            Eight(in, to, control, x);
        }
        if (x < r.Width) {
            Eight(in, to, control, r.Width - 8);
        }
    }
}

// One channel of eight pixels (16-bit lanes holding 0..255) at its place in the pixel: the tables' nearest
// value, (v * top + 127) / 255, with the division done exactly for these magnitudes as (w + 1 + (w >> 8))
// >> 8.
__attribute__((target("ssse3"))) inline __m128i Place(__m128i bytes, const Channel& channel) {
    const __m128i w = _mm_add_epi16(_mm_mullo_epi16(bytes, _mm_set1_epi16(static_cast<short>(channel.Top))),
                                    _mm_set1_epi16(127));
    const __m128i q =
        _mm_srli_epi16(_mm_add_epi16(_mm_add_epi16(w, _mm_set1_epi16(1)), _mm_srli_epi16(w, 8)), 8);
    return _mm_sll_epi16(q, _mm_cvtsi32_si128(channel.Shift));
}

// Sixteen 16-bit pixels from one vector holding a channel's byte for each, for the three channels.
__attribute__((target("ssse3"))) void Pack16(__m128i blue, __m128i green, __m128i red,
                                             const Channel (&channels)[3], bool swapBytes, std::uint8_t* to) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i swap = _mm_setr_epi8(1, 0, 3, 2, 5, 4, 7, 6, 9, 8, 11, 10, 13, 12, 15, 14);
    for (int half = 0; half < 2; ++half) {
        const auto widen = [&](__m128i v) {
            return half == 0 ? _mm_unpacklo_epi8(v, zero) : _mm_unpackhi_epi8(v, zero);
        };
        __m128i pixels =
            _mm_or_si128(_mm_or_si128(Place(widen(blue), channels[0]), Place(widen(green), channels[1])),
                         Place(widen(red), channels[2]));
        if (swapBytes) {
            pixels = _mm_shuffle_epi8(pixels, swap);
        }
        _mm_storeu_si128(reinterpret_cast<__m128i*>(to + 16 * half), pixels);
    }
}

// Each channel's sixteen bytes gathered from the four quarters of sixteen pixels.
__attribute__((target("ssse3"))) inline __m128i Gather(const Sixteen& pixels, int channel) {
    __m128i gathered = _mm_setzero_si128();
    for (int q = 0; q < 4; ++q) {
        alignas(16) std::int8_t control[16];
        std::memset(control, -128, sizeof control);
        for (int pixel = 0; pixel < 4; ++pixel) {
            control[4 * q + pixel] = static_cast<std::int8_t>(3 * pixel + channel);
        }
        gathered = _mm_or_si128(
            gathered,
            _mm_shuffle_epi8(pixels.Quarter[q], _mm_load_si128(reinterpret_cast<const __m128i*>(control))));
    }
    return gathered;
}

__attribute__((target("ssse3"))) void Pack16Rows(const Surface& surface, const CopyRect& r, std::uint8_t* out,
                                                 std::size_t stride, const Channel (&channels)[3],
                                                 bool swapBytes) {
    for (std::int32_t row = 0; row < r.Height; ++row) {
        const std::uint8_t* in = SourceRow(surface, r, row);
        std::uint8_t* to = out + stride * static_cast<std::size_t>(row);
        for (std::int32_t x = 0;; x += 16) {
            x = std::min(x, r.Width - 16);
            const Sixteen pixels = LoadSixteen(in + 3 * static_cast<std::size_t>(x));
            Pack16(Gather(pixels, 0), Gather(pixels, 1), Gather(pixels, 2), channels, swapBytes,
                   to + 2 * static_cast<std::size_t>(x));
            if (x + 16 >= r.Width) {
                break;
            }
        }
    }
}

bool ConvertWithVectors(const Surface& surface, const CopyRect& r, std::uint8_t* out, std::size_t stride,
                        int bitsPerPixel, int byteOrder) {
    const bool ssse3 = ConvertInstructions >= VectorInstructions::Ssse3;
    const bool avx2 = ConvertInstructions >= VectorInstructions::Avx2;
    if (bitsPerPixel == 32) {
        std::uint8_t control[16];
        if (!ShuffleControl32(byteOrder, control)) {
            return false;
        }
        if (avx2 && r.Width >= 8) {
            Shuffle32Wide(surface, r, out, stride, control);
            return true;
        }
        if (ssse3 && r.Width >= 16) {
            Shuffle32(surface, r, out, stride, control);
            return true;
        }
        return false;
    }
    if (!ssse3 || r.Width < 16) {
        return false;
    }
    if (bitsPerPixel == 16) {
        Channel channels[3];
        if (!NarrowChannel(Format.Blue[255], channels[0]) || !NarrowChannel(Format.Green[255], channels[1]) ||
            !NarrowChannel(Format.Red[255], channels[2])) {
            return false;
        }
        const bool swapBytes = (byteOrder == LSBFirst) != (std::endian::native == std::endian::little);
        Pack16Rows(surface, r, out, stride, channels, swapBytes);
        return true;
    }
    return false;
}

#else

bool ConvertWithVectors(const Surface&, const CopyRect&, std::uint8_t*, std::size_t, int, int) {
    return false;
}

#endif

} // namespace

void SetPixelFormat(unsigned long redMask, unsigned long greenMask, unsigned long blueMask) {
    for (std::uint32_t byte = 0; byte < 256; ++byte) {
        Format.Red[byte] = ChannelValue(byte, redMask);
        Format.Green[byte] = ChannelValue(byte, greenMask);
        Format.Blue[byte] = ChannelValue(byte, blueMask);
    }
#ifdef CT_X86_VECTORS
    ConvertInstructions = __builtin_cpu_supports("avx2")    ? VectorInstructions::Avx2
                          : __builtin_cpu_supports("ssse3") ? VectorInstructions::Ssse3
                                                            : VectorInstructions::Plain;
#endif
    // COPPERTROWEL_X11_VECTORS=plain or ssse3 takes fewer, as a processor without the others would.
    if (const char* asked = std::getenv("COPPERTROWEL_X11_VECTORS")) {
        const std::string_view name(asked);
        const VectorInstructions level = name == "plain"   ? VectorInstructions::Plain
                                         : name == "ssse3" ? VectorInstructions::Ssse3
                                                           : ConvertInstructions;
        ConvertInstructions = std::min(level, ConvertInstructions);
    }
}

std::uint32_t WindowPixel(std::uint32_t colour) {
    return Format.Red[colour & 0xFF] | Format.Green[(colour >> 8) & 0xFF] |
           Format.Blue[(colour >> 16) & 0xFF];
}

bool ConvertReference(const Surface& surface, const CopyRect& r, std::uint8_t* out, std::size_t stride,
                      int bitsPerPixel, int byteOrder) {
    if (bitsPerPixel % 8 != 0 || bitsPerPixel > 32 || bitsPerPixel == 0) {
        return false;
    }
    const int bytes = bitsPerPixel / 8;
    for (std::int32_t row = 0; row < r.Height; ++row) {
        const std::uint8_t* in = SourceRow(surface, r, row);
        std::uint8_t* to = out + stride * static_cast<std::size_t>(row);
        for (std::int32_t x = 0; x < r.Width; ++x, in += 3, to += bytes) {
            const std::uint32_t pixel = Format.Blue[in[0]] | Format.Green[in[1]] | Format.Red[in[2]];
            for (int k = 0; k < bytes; ++k) {
                const int shift = 8 * (byteOrder == LSBFirst ? k : bytes - 1 - k);
                to[k] = static_cast<std::uint8_t>(pixel >> shift);
            }
        }
    }
    return true;
}

bool Convert(const Surface& surface, const CopyRect& r, std::uint8_t* out, std::size_t stride,
             int bitsPerPixel, int byteOrder) {
    return ConvertWithVectors(surface, r, out, stride, bitsPerPixel, byteOrder) ||
           ConvertReference(surface, r, out, stride, bitsPerPixel, byteOrder);
}

} // namespace x11
