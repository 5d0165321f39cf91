// Inside find: looking for the pattern in bytes already in memory. What the scan knows about
// the pattern, and the search of one span of bytes for it.
#pragma once

#include <cstdint>

constexpr int NEEDLE_BYTES = 32;  // the longest pattern
constexpr int NARROW_BYTES = 6;   // bytes that narrow the starts which pass the screen

// What the scan knows about the pattern.
struct find_needle {
    const unsigned char *bytes;
    int length;
    // The shortest shift that lays the pattern over itself where they overlap: length when
    // none shorter does. A short one sends the search by runs of the period instead of screens.
    int period;
    // Two positions of bytes unalike, chosen by rarity and so that text repeating with a short
    // period fails their screen; and those of the bytes that narrow the starts that pass it.
    int screen[2];
    int narrow[NARROW_BYTES];
    unsigned char padded[NEEDLE_BYTES];  // the pattern, then zeros
    // Each byte of the pattern sixteen times over, to compare with sixteen start positions.
    alignas(16) unsigned char spread[NEEDLE_BYTES][16];
};

// Prepares the scan of a pattern of 1-32 bytes, which must outlive the needle.
[[nodiscard]] find_needle find_prepare(const unsigned char *pattern, int length);
// The first start position of the needle's pattern in bytes[0..size), or -1. Reads no byte
// outside them.
[[nodiscard]] int64_t find_in_span(const unsigned char *bytes, int64_t size, const find_needle &n);
// The same search in the form every processor runs, sixteen bytes at a time by the compiler's
// vectors. find_in_span is this where the processor has no SSE2.
[[nodiscard]] int64_t find_in_span_portable(const unsigned char *bytes, int64_t size, const find_needle &n);
