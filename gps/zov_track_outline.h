#pragma once
// The mainland outline test of the datum shift: is a position inside the
// closed polygon of zov_track_outline_data.cpp (made from Natural Earth
// borders by tools/mainland-outline/make-outline.js)?
#include <array>

struct ZovOutlineVertex {
  float latitude;
  float longitude;
};

// Vertices of the closed outline; the last repeats the first.
inline constexpr int kZovOutlineVertices = 343;
extern const std::array<ZovOutlineVertex, kZovOutlineVertices> kZovMainlandOutline;

// Box around the outline; positions outside it are outside at once.
inline constexpr float kZovOutlineMinLatitude = 3.0f;
inline constexpr float kZovOutlineMaxLatitude = 55.8271f;
inline constexpr float kZovOutlineMinLongitude = 72.004f;
inline constexpr float kZovOutlineMaxLongitude = 137.8347f;

// True when (latitude, longitude) lies inside the outline: inside the box,
// and an odd number of edges i -> i+1 have `longitude` less than vertex i's
// longitude and `latitude` strictly between the two vertices' latitudes.
// (The crossing uses vertex i's longitude, not where the edge meets the
// parallel; the table is fine enough for that to hold near cities.)
bool ZovInsideMainland(float latitude, float longitude);
