// Inside find: looking for the pattern in bytes already in memory. What the scan knows about
// the pattern, and the search of one span of bytes for it.
#pragma once

#include <cstdint>

constexpr int GRAM = 8;              // bytes of a word that tells how far a start may move
constexpr int GRAM_TABLE_BITS = 12;  // a hash of the word picks one of these many moves

// What the scan knows about the pattern.
struct find_needle {
    const unsigned char *bytes;
    int length;
    int rare[2];      // positions of its two rarest bytes, which sift the start positions
    int8_t last[256];  // the last position of each byte value in it; -1 where it has none
    // For a pattern of GRAM bytes or more: how far a start may move on, by the hash of the
    // GRAM bytes that end the bytes compared with the pattern.
    int8_t gram_move[1 << GRAM_TABLE_BITS];
    // Whether those moves may take over from sifting. Not for a run of one byte value: bytes
    // that keep passing its sift are mostly that run too, whose words move nothing, while a
    // byte that breaks the run already moves the start past it.
    bool by_grams;
};

// Prepares the scan of a pattern of 1-32 bytes, which must outlive the needle.
[[nodiscard]] find_needle find_prepare(const unsigned char *pattern, int length);
// The first start position of the needle's pattern in bytes[0..size), or -1.
[[nodiscard]] int64_t find_in_span(const unsigned char *bytes, int64_t size, const find_needle &n);
