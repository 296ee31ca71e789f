#pragma once

#include <array>
#include <cstdint>

// The two settings bytes of a frame header, as the scope packs them. Read by
// the decoder, packed by the simulated scope (sim/), so the layout is written
// down once. Header only: no code to link.
//  A: bits 7-6 trigger mode, bits 5-0 time base t.
//  B: bit 7 hold, bit 6 memory, bit 5 DC coupling, bit 4 x10 probe, bits 3-0
//     sensitivity v.
constexpr int ModeShift = 6;
constexpr std::uint8_t TimeBaseMask = 0x3F;
constexpr std::uint8_t SensitivityMask = 0x0F;
constexpr std::uint8_t HoldMask = 0x80;
constexpr std::uint8_t MemoryMask = 0x40;
constexpr std::uint8_t CouplingMask = 0x20;
constexpr std::uint8_t ProbeMask = 0x10;

// Seconds per division of the slow time bases t = 20..31 (index t - 20): a
// single-sample frame's position counter is divided by it.
constexpr int RollFirstTimeBase = 20;
inline constexpr std::array<std::int32_t, 12> RollSecondsPerDiv = {1,  2,   5,   10,  20,   30,
                                                                   60, 120, 300, 900, 1800, 3600};
