#pragma once
// Constants of the cameras' GPS block format. They are part of the format the
// recordings are written in: change none of them without new sample files.
#include <cstdint>

// Base alphabet of substitution A: a permutation of the 43 characters
// 0x30-0x5A. The derived alphabet rotates it by the record key and swaps pairs.
inline constexpr char kGpsAlphabetA[] = "C4K0;@9OH72:63PVXUIQZMTDF=YNL85S>W<?1EARJGB";
inline constexpr int kGpsAlphabetASize = 43;

// Base alphabet of substitution B: 48 characters from 0x30-0x5A; the first 39
// are distinct, the last 9 hold the four remaining characters and five repeats.
// The key permutes the tail of it.
inline constexpr char kGpsAlphabetB[] = ">MCQJ;17=9I2Z:@NLTX3D8?OSK4FWAHB5GVYER<0FB2DUP6V";
inline constexpr int kGpsAlphabetBSize = 48;

// Fixed substitution-B key of KARUGPS block version 12.
inline constexpr int64_t kGpsKeyV12 = 31415;
// Fixed substitution-B key of KARUGPS block version 45 (records without a key).
inline constexpr int64_t kGpsKeyV45 = 58213;

// Restoring factor of the coordinate exchange for block states up to 5.
inline constexpr double kGpsRestoreF5 = 1.25;
// Restoring factor of the coordinate exchange for block state 6.
inline constexpr double kGpsRestoreF6 = 1.75;

// Dated factor of block states 11, 12 and 15: the day number (time stamp /
// 86400) is rounded down to a multiple of this step (days) ...
inline constexpr int32_t kGpsDatedStepDays = 8;
// ... reduced modulo this modulus ...
inline constexpr int32_t kGpsDatedModulus = 64;
// ... clamped into [min, max] ...
inline constexpr int32_t kGpsDatedMin = 20;
inline constexpr int32_t kGpsDatedMax = 50;
// ... and divided by the modulus, giving a factor in [0.3125, 0.78125].

// The coded-coordinate library: degrees = (value - offset) * scale.
// Latitude pair (kind 1).
inline constexpr double kQorLatitudeOffset = 5400.00125;
inline constexpr double kQorLatitudeScale = 1.0 / 60.0;
// Longitude pair (every other kind).
inline constexpr double kQorLongitudeOffset = 10800.00250;
inline constexpr double kQorLongitudeScale = 1.0 / 30.0;
