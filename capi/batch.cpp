// libpelmora's array forms: the calculations of pelmora.cpp over strided
// arrays, the floating-point guard taken once for the whole array. Groups of
// elements go through calc/lanes.h where the processor allows it; an
// element a group leaves undone, and every element elsewhere, goes through
// the scalar calculation, so each result is the scalar function's.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "calc/bearing.h"
#include "calc/distance.h"
#include "calc/lanes.h"
#include "calc/path.h"
#include "pelmora.h"
#include "runtime/errors.h"
#include "runtime/fp_guard.h"

namespace {

using pelmora::runtime::FpGuard;
using pelmora::runtime::Outcome;
using pelmora::runtime::RtError;

int StatusOf(RtError error) {
  if (error == RtError::kNone) return PELMORA_OK;
  const pelmora::runtime::ErrorEntry* entry = pelmora::runtime::EntryOf(error);
  return entry != nullptr ? static_cast<int>(entry->number) : PELMORA_FLOATING_POINT;
}

constexpr unsigned kLanes = pelmora::calc::lanes::kLanes;

// An array as the caller describes it: a pointer and a stride in bytes.
// Elements are copied in and out byte for byte, so no alignment is assumed.
template <class T>
struct Strided {
  using Byte = std::conditional_t<std::is_const_v<T>, const unsigned char, unsigned char>;
  Byte* base;
  std::ptrdiff_t stride;

  Strided(T* pointer, std::ptrdiff_t step) : base(reinterpret_cast<Byte*>(pointer)), stride(step) {}
  Byte* At(std::size_t i) const { return base + static_cast<std::ptrdiff_t>(i) * stride; }
  std::remove_const_t<T> Get(std::size_t i) const {
    std::remove_const_t<T> value;
    std::memcpy(&value, At(i), sizeof value);
    return value;
  }
  void Put(std::size_t i, const T& value) const { std::memcpy(At(i), &value, sizeof value); }
  // The results of a group's lanes done, from i.
  void PutLanes(std::size_t i, unsigned done, const T (&values)[kLanes]) const {
    if (done == (1u << kLanes) - 1 && stride == sizeof(T)) {
      std::memcpy(At(i), values, sizeof values);
      return;
    }
    for (unsigned lane = 0; lane < kLanes; ++lane) {
      if ((done >> lane & 1u) != 0) Put(i + lane, values[lane]);
    }
  }
  bool null() const { return base == nullptr; }

  // Whether n >= 1 elements from base lie within the address space and
  // within PTRDIFF_MAX bytes, so that At never wraps.
  bool Fits(std::size_t n) const {
    const auto address = reinterpret_cast<std::uintptr_t>(base);
    const std::size_t step =
        stride < 0 ? 0u - static_cast<std::size_t>(stride) : static_cast<std::size_t>(stride);
    constexpr std::size_t kMax = static_cast<std::size_t>(PTRDIFF_MAX);
    if (n > 1 && step > (kMax - sizeof(T)) / (n - 1)) return false;
    const std::size_t reach = (n - 1) * step;
    if (sizeof(T) - 1 > UINTPTR_MAX - address) return false;
    return stride >= 0 ? reach <= UINTPTR_MAX - address - (sizeof(T) - 1) : reach <= address;
  }
};

using Floats = Strided<const float>;

// The misuse of an array: null, or reaching beyond what an object can.
template <class T>
int Misuse(const Strided<T>& array, std::size_t n) {
  if (array.null()) return PELMORA_NULL_POINTER;
  return array.Fits(n) ? PELMORA_OK : PELMORA_LENGTH_TOO_LARGE;
}

// Each element's status, and the first failure.
class Statuses {
 public:
  Statuses(int* status, std::ptrdiff_t stride) : array_(status, stride) {}
  int Misuse(std::size_t n) const { return array_.null() ? PELMORA_OK : ::Misuse(array_, n); }
  void Record(std::size_t i, int status) {
    if (!array_.null()) array_.Put(i, status);
    if (status != PELMORA_OK && first_status_ == PELMORA_OK) {
      first_status_ = status;
      first_ = i;
    }
  }
  int Finish(std::size_t n, std::size_t* first_failure) const {
    if (first_failure != nullptr) *first_failure = first_status_ == PELMORA_OK ? n : first_;
    return first_status_;
  }

 private:
  Strided<int> array_;
  int first_status_ = PELMORA_OK;
  std::size_t first_ = 0;
};

// The four inputs of a distance, bearing or path.
struct Positions {
  Floats in[4];
  int Misuse(std::size_t n) const {
    for (const Floats& f : in) {
      if (const int m = ::Misuse(f, n)) return m;
    }
    return PELMORA_OK;
  }
  // Element i's inputs.
  void Get(std::size_t i, float (&x)[4]) const {
    for (int k = 0; k < 4; ++k) x[k] = in[k].Get(i);
  }
  // A group of elements from i, input by input.
  void Group(std::size_t i, pelmora::calc::lanes::Group& g) const {
    for (int k = 0; k < 4; ++k) {
      if (in[k].stride == sizeof(float)) {
        std::memcpy(g.in[k], in[k].At(i), sizeof g.in[k]);
      } else {
        for (unsigned lane = 0; lane < kLanes; ++lane) g.in[k][lane] = in[k].Get(i + lane);
      }
    }
  }
  // The first position the same for every element (a station's log).
  bool SharedFirst() const { return in[0].stride == 0 && in[1].stride == 0; }
};

// The station of a batch whose first position has stride 0: its values made
// once, at the first use (under the guard).
class SharedStation {
 public:
  explicit SharedStation(const Positions& in) : in_(in), shared_(in.SharedFirst()) {}
  bool shared() const { return shared_; }
  const pelmora::calc::lanes::Station& Get() {
    if (!made_) {
      station_ = pelmora::calc::lanes::StationAt(in_.in[0].Get(0), in_.in[1].Get(0));
      made_ = true;
    }
    return station_;
  }

 private:
  const Positions& in_;
  bool shared_;
  bool made_ = false;
  pelmora::calc::lanes::Station station_;
};

// The common frame: misuse, then the guard, then the elements. `group(i, g)`
// computes the kLanes elements from i at once where it can, writes those it
// finished with success and returns their lanes as bits; each element it
// leaves undone, and each element outside whole groups, goes to
// `element(i)`, which writes its result and returns its status.
template <class Group, class Element>
int Batch(std::size_t n, const Positions& in, int misuse, Statuses& statuses,
          std::size_t* first_failure, Group&& group, Element&& element) {
  if (first_failure != nullptr) *first_failure = 0;
  if (n == 0) return PELMORA_OK;
  if (misuse == PELMORA_OK) misuse = in.Misuse(n);
  if (misuse == PELMORA_OK) misuse = statuses.Misuse(n);
  if (misuse != PELMORA_OK) return misuse;
  const FpGuard guard;
  std::size_t i = 0;
  if (pelmora::calc::lanes::Enabled()) {
    pelmora::calc::lanes::Group g;
    for (; n - i >= kLanes; i += kLanes) {
      in.Group(i, g);
      const unsigned done = group(i, g);
      for (unsigned lane = 0; lane < kLanes; ++lane) {
        statuses.Record(i + lane, (done >> lane & 1u) != 0 ? PELMORA_OK : element(i + lane));
      }
    }
  }
  for (; i < n; ++i) statuses.Record(i, element(i));
  return statuses.Finish(n, first_failure);
}

using pelmora::calc::LongPathBearing;
using pelmora::calc::LongPathDistance;
namespace lanes = pelmora::calc::lanes;

}  // namespace

extern "C" {

int pelmora_distance_from_n(size_t n, const float* a_lat, ptrdiff_t a_lat_stride,
                            const float* a_lon, ptrdiff_t a_lon_stride, const float* b_lat,
                            ptrdiff_t b_lat_stride, const float* b_lon, ptrdiff_t b_lon_stride,
                            float* result, ptrdiff_t result_stride, int* status,
                            ptrdiff_t status_stride, size_t* first_failure) {
  const Positions in{
      {{a_lat, a_lat_stride}, {a_lon, a_lon_stride}, {b_lat, b_lat_stride}, {b_lon, b_lon_stride}}};
  const Strided<float> out(result, result_stride);
  Statuses statuses(status, status_stride);
  SharedStation station(in);
  return Batch(
      n, in, Misuse(out, n), statuses, first_failure,
      [&](std::size_t i, lanes::Group& g) {
        const unsigned done =
            station.shared() ? lanes::Distance(g, station.Get()) : lanes::Distance(g);
        out.PutLanes(i, done, g.distance);
        return done;
      },
      [&](std::size_t i) {
        float x[4];
        in.Get(i, x);
        float d;
        if (station.shared() && lanes::DistanceFrom(x[0], x[1], x[2], x[3], station.Get(), d)) {
          out.Put(i, d);
          return static_cast<int>(PELMORA_OK);
        }
        const Outcome<float> o = pelmora::calc::DistanceFrom(x[0], x[1], x[2], x[3]);
        out.Put(i, o.value);
        return StatusOf(o.error);
      });
}

int pelmora_azimut_n(size_t n, const float* my_lat, ptrdiff_t my_lat_stride, const float* my_lon,
                     ptrdiff_t my_lon_stride, const float* lat, ptrdiff_t lat_stride,
                     const float* lon, ptrdiff_t lon_stride, float* result, ptrdiff_t result_stride,
                     int* status, ptrdiff_t status_stride, size_t* first_failure) {
  const Positions in{
      {{my_lat, my_lat_stride}, {my_lon, my_lon_stride}, {lat, lat_stride}, {lon, lon_stride}}};
  const Strided<float> out(result, result_stride);
  Statuses statuses(status, status_stride);
  return Batch(
      n, in, Misuse(out, n), statuses, first_failure,
      [&](std::size_t i, lanes::Group& g) {
        const unsigned done = lanes::Azimut(g);
        out.PutLanes(i, done, g.bearing);
        return done;
      },
      [&](std::size_t i) {
        float x[4];
        in.Get(i, x);
        pelmora::calc::BearingFields fields;
        const Outcome<float> o = pelmora::calc::Azimut(fields, x[0], x[1], x[2], x[3]);
        out.Put(i, o.value);
        return StatusOf(o.error);
      });
}

int pelmora_position_path_n(size_t n, const float* my_lat, ptrdiff_t my_lat_stride,
                            const float* my_lon, ptrdiff_t my_lon_stride, const float* lat,
                            ptrdiff_t lat_stride, const float* lon, ptrdiff_t lon_stride,
                            pelmora_path* path, ptrdiff_t path_stride, int* status,
                            ptrdiff_t status_stride, size_t* first_failure) {
  const Positions in{
      {{my_lat, my_lat_stride}, {my_lon, my_lon_stride}, {lat, lat_stride}, {lon, lon_stride}}};
  const Strided<pelmora_path> out(path, path_stride);
  Statuses statuses(status, status_stride);
  SharedStation station(in);
  // The distance and the bearing of a pair share no sine or cosine: the
  // distance takes radians as degrees times pi32 over 180, the bearing as
  // degrees over K, other float32 values. They share the loads, the guard
  // and the station.
  return Batch(
      n, in, Misuse(out, n), statuses, first_failure,
      [&](std::size_t i, lanes::Group& g) {
        // Both parts must succeed in their lanes: a lane that fails either
        // is made whole by the scalar path.
        const unsigned done =
            (station.shared() ? lanes::Distance(g, station.Get()) : lanes::Distance(g)) &
            lanes::Azimut(g);
        for (unsigned lane = 0; lane < kLanes; ++lane) {
          if ((done >> lane & 1u) == 0) continue;
          const float d = g.distance[lane], b = g.bearing[lane];
          out.Put(i + lane, pelmora_path{d, b, LongPathDistance(d), LongPathBearing(b)});
        }
        return done;
      },
      [&](std::size_t i) {
        float x[4];
        in.Get(i, x);
        const Outcome<pelmora::calc::Path> o = pelmora::calc::PathBetween(x[0], x[1], x[2], x[3]);
        out.Put(i, pelmora_path{o.value.distance, o.value.bearing, o.value.long_distance,
                                o.value.long_bearing});
        return StatusOf(o.error);
      });
}

int pelmora_arc_cos_n(size_t n, const float* x, ptrdiff_t x_stride, float* result,
                      ptrdiff_t result_stride) {
  if (n == 0) return PELMORA_OK;
  const Floats in(x, x_stride);
  const Strided<float> out(result, result_stride);
  if (const int misuse = Misuse(in, n)) return misuse;
  if (const int misuse = Misuse(out, n)) return misuse;
  const FpGuard guard;
  std::size_t i = 0;
  if (lanes::Enabled()) {
    lanes::Group g;
    for (; n - i >= kLanes; i += kLanes) {
      for (unsigned lane = 0; lane < kLanes; ++lane) g.in[0][lane] = in.Get(i + lane);
      const unsigned done = lanes::ArcCos(g);
      out.PutLanes(i, done, g.distance);
      for (unsigned lane = 0; lane < kLanes; ++lane) {
        if ((done >> lane & 1u) == 0) out.Put(i + lane, pelmora::calc::ArcCos(g.in[0][lane]).value);
      }
    }
  }
  for (; i < n; ++i) out.Put(i, pelmora::calc::ArcCos(in.Get(i)).value);
  return PELMORA_OK;
}

}  // extern "C"
