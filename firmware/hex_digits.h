// The character level of hexadecimal firmware files: digit values, bytes
// from digit pairs and the two record checksums. Record splitting builds on
// this and never looks at a character itself.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace kestrel {

// Digit values by character; 0xFF marks a character that is not a digit.
// A table, not comparisons: firmware data is random-looking, so branches
// on the digit's range would be mispredicted about every other character.
inline constexpr auto kHexDigitTable = [] {
    std::array<uint8_t, 256> table{};
    for (auto& v : table)
        v = 0xFF;
    for (int c = '0'; c <= '9'; ++c)
        table[c] = static_cast<uint8_t>(c - '0');
    for (int c = 'A'; c <= 'F'; ++c)
        table[c] = static_cast<uint8_t>(c - 'A' + 10);
    for (int c = 'a'; c <= 'f'; ++c)
        table[c] = static_cast<uint8_t>(c - 'a' + 10);
    return table;
}();

// Value of one hexadecimal digit (either letter case), or -1.
constexpr int HexDigitValue(char c) {
    const uint8_t v = kHexDigitTable[static_cast<unsigned char>(c)];
    return v == 0xFF ? -1 : v;
}

enum class HexBytesStatus { Ok, Short, NonHex };

#if defined(__SSE2__)
namespace hexsimd {

// Digit values of 16 characters; `valid` gets 0xFF where a character is a
// digit of either case and 0 elsewhere.
inline __m128i Nibbles(__m128i chars, __m128i& valid) {
    const __m128i digit = _mm_sub_epi8(chars, _mm_set1_epi8('0'));
    const __m128i isDigit = _mm_cmpeq_epi8(_mm_min_epu8(digit, _mm_set1_epi8(9)), digit);
    const __m128i letter =
        _mm_sub_epi8(_mm_or_si128(chars, _mm_set1_epi8(0x20)), _mm_set1_epi8('a'));
    const __m128i isLetter = _mm_cmpeq_epi8(_mm_min_epu8(letter, _mm_set1_epi8(5)), letter);
    valid = _mm_or_si128(isDigit, isLetter);
    return _mm_or_si128(_mm_and_si128(isDigit, digit),
                        _mm_and_si128(isLetter, _mm_add_epi8(letter, _mm_set1_epi8(10))));
}

// Eight digit pairs to eight bytes, one in the low half of each 16-bit lane.
inline __m128i Pairs(const unsigned char* p, __m128i& valid) {
    __m128i ok;
    const __m128i n = Nibbles(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)), ok);
    valid = _mm_and_si128(valid, ok);
    // The first digit of a pair is the low byte of its lane: it is the high nibble.
    return _mm_or_si128(_mm_and_si128(_mm_slli_epi16(n, 4), _mm_set1_epi16(0x00F0)),
                        _mm_srli_epi16(n, 8));
}

} // namespace hexsimd
#endif

// Decodes `count` bytes from the digit pairs that start at `pos` and adds
// them to `sum` (for the checksum). A line that ends early is Short; a
// character that is not a digit is NonHex, whichever comes first.
inline HexBytesStatus DecodeHexBytes(std::string_view text, size_t pos, size_t count, uint8_t* out,
                                     unsigned& sum) {
    // Fast path for the usual whole, clean record: no per-character checks.
    if (pos <= text.size() && count <= (text.size() - pos) / 2) {
        const auto* p = reinterpret_cast<const unsigned char*>(text.data()) + pos;
        size_t i = 0;
        unsigned added = 0;
        bool clean = true;
#if defined(__SSE2__)
        // Whole records are the bulk of every firmware file: sixteen bytes
        // at a time cost about what two did one by one.
        __m128i valid = _mm_set1_epi8(-1);
        __m128i sums = _mm_setzero_si128();
        for (; i + 16 <= count; i += 16) {
            const __m128i bytes = _mm_packus_epi16(hexsimd::Pairs(p + 2 * i, valid),
                                                   hexsimd::Pairs(p + 2 * i + 16, valid));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), bytes);
            sums = _mm_add_epi64(sums, _mm_sad_epu8(bytes, _mm_setzero_si128()));
        }
        for (; i + 8 <= count; i += 8) {
            const __m128i bytes =
                _mm_packus_epi16(hexsimd::Pairs(p + 2 * i, valid), _mm_setzero_si128());
            _mm_storel_epi64(reinterpret_cast<__m128i*>(out + i), bytes);
            sums = _mm_add_epi64(sums, _mm_sad_epu8(bytes, _mm_setzero_si128()));
        }
        if (i < count && count >= 8) {
            // The last few bytes: decode the final eight again, overlapping
            // what is done (same digits, same bytes), and sum only the new ones.
            static constexpr uint8_t kNewBytes[16] = {
                0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
            const __m128i bytes =
                _mm_packus_epi16(hexsimd::Pairs(p + 2 * (count - 8), valid), _mm_setzero_si128());
            _mm_storel_epi64(reinterpret_cast<__m128i*>(out + count - 8), bytes);
            const __m128i fresh =
                _mm_loadl_epi64(reinterpret_cast<const __m128i*>(kNewBytes + (count - i)));
            sums =
                _mm_add_epi64(sums, _mm_sad_epu8(_mm_and_si128(bytes, fresh), _mm_setzero_si128()));
            i = count;
        }
        clean = _mm_movemask_epi8(valid) == 0xFFFF;
        added = static_cast<unsigned>(_mm_cvtsi128_si32(sums)) +
                static_cast<unsigned>(_mm_cvtsi128_si32(_mm_unpackhi_epi64(sums, sums)));
#endif
        unsigned bad = 0;
        for (; i < count; ++i) {
            const unsigned high = kHexDigitTable[p[2 * i]];
            const unsigned low = kHexDigitTable[p[2 * i + 1]];
            bad |= high | low;
            const unsigned byte = (high << 4 | low) & 0xFF;
            added += byte;
            out[i] = static_cast<uint8_t>(byte);
        }
        if (clean && (bad & 0x80) == 0) {
            sum += added;
            return HexBytesStatus::Ok;
        }
    }
    // Find which fault comes first.
    for (size_t i = 0; i < count; ++i, pos += 2) {
        if (pos >= text.size())
            return HexBytesStatus::Short;
        const int high = HexDigitValue(text[pos]);
        if (high < 0)
            return HexBytesStatus::NonHex;
        if (pos + 1 >= text.size())
            return HexBytesStatus::Short;
        const int low = HexDigitValue(text[pos + 1]);
        if (low < 0)
            return HexBytesStatus::NonHex;
        out[i] = static_cast<uint8_t>(high << 4 | low);
        sum += out[i];
    }
    return HexBytesStatus::Ok;
}

// Both formats sum every byte of a record modulo 256; they differ in how
// the checksum byte completes the sum of all the others.
// Intel: the two's complement, so the sum of all bytes, checksum included, is 0.
constexpr bool IntelSumValid(unsigned sumWithChecksum) {
    return (sumWithChecksum & 0xFF) == 0;
}
// Motorola: the one's complement, so the sum of all bytes is 0xFF.
constexpr bool MotorolaSumValid(unsigned sumWithChecksum) {
    return (sumWithChecksum & 0xFF) == 0xFF;
}

} // namespace kestrel
