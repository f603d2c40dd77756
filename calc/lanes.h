// DistanceFrom and Azimut eight elements at a time, for the array forms of
// the C library: on x86-64 processors with AVX2 and FMA the fast paths of
// the sine, cosine and arc tangent (runtime/trig.cpp) run in the lanes of
// two AVX2 registers (four doubles each), the same IEEE operations in the
// same order on the same doubles, so every lane that passes the scalar path's rounding tests holds
// the scalar path's result. A lane the kernels cannot finish this way (a
// failed rounding test, an argument outside the fast paths' ranges, an
// input outside the calculation's plain domain, any status but success)
// is left undone, for the caller to make by the scalar calculation.
#pragma once

namespace pelmora::calc::lanes {

// The elements of one group.
inline constexpr int kLanes = 8;

// A group: the inputs, input by input (a_lat, a_lon, b_lat, b_lon, or
// my_lat, my_lon, lat, lon), then the results of the lanes done.
struct Group {
  float in[4][kLanes];
  float distance[kLanes];
  float bearing[kLanes];
};

// Whether the kernels run: the processor has AVX2 and FMA, the environment
// variable PELMORA_NO_AVX2 was unset or empty at the first use, and the
// tests have not switched them off.
bool Enabled();

// The tests' switch: the kernels off (false) or back as the processor and
// the environment allow (true); returns whether they now run.
bool Use(bool lanes);

// The distances or bearings of a group's lanes: returns the lanes done, a
// bit each (lane k is bit k), whose results hold the scalar calculation's
// value with success. Only Enabled() callers.
unsigned Distance(Group& group);
unsigned Azimut(Group& group);

// ArcCos of the lanes' in[0], into distance[].
unsigned ArcCos(Group& group);

// What DistanceFrom computes from its first position alone: the float32
// radians of the longitude and the sine and cosine of the latitude, each the
// very value the scalar calculation stores (from runtime::SinCos). A batch
// whose first position is the same for every element makes it once.
struct Station {
  float lambda = 0.0f;
  float sin_phi = 0.0f;
  float cos_phi = 0.0f;
};
Station StationAt(float lat, float lon);

// Distance for a group whose first positions are all (lat, lon) of
// `station` = StationAt(lat, lon): the same results, without the station's
// sine and cosine.
unsigned Distance(Group& group, const Station& station);

// DistanceFrom(a_lat, a_lon, b_lat, b_lon) for a = the station's position, on
// every processor: false (nothing written) for inputs outside the plain
// domain, whose call the caller makes in full; else its value, with success.
bool DistanceFrom(float a_lat, float a_lon, float b_lat, float b_lon, const Station& station,
                  float& result);

}  // namespace pelmora::calc::lanes
