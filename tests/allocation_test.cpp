// No calculation allocates on the heap: every method over a grid of special
// and ordinary inputs, failures included, and decoding over short, long and
// odd texts. The program's operator new counts while a method runs. A
// six-character result fits in the string itself.
#include <gtest/gtest.h>

#include <cstdlib>
#include <limits>
#include <new>
#include <string>
#include <vector>

#include "calc/bearing.h"
#include "calc/decoding.h"
#include "calc/distance.h"
#include "calc/encoding.h"
#include "tests/test_support.h"

namespace {
bool counting = false;
long allocations = 0;

void* Allocate(std::size_t size) {
  if (counting) ++allocations;
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}
}  // namespace

void* operator new(std::size_t size) { return Allocate(size); }
void* operator new[](std::size_t size) { return Allocate(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

namespace pelmora::calc {
namespace {

// The heap allocations that `call` makes.
template <class Call>
long AllocationsOf(Call call) {
  allocations = 0;
  counting = true;
  call();
  counting = false;
  return allocations;
}

constexpr float kInf = std::numeric_limits<float>::infinity();

const float kValues[] = {
    0.0f,  -0.0f,  52.5f, -33.9f, 13.4f, 179.99f,          -180.0f,
    90.0f, 1e-45f, 1e30f, kInf,   -kInf, test::QuietNan(), test::SignallingNan()};

TEST(Allocation, NoMethodAllocates) {
  // The counter counts: a string and its units beyond the string's own
  // buffer are two allocations.
  static std::u16string* volatile sink = nullptr;
  ASSERT_EQ(AllocationsOf([] { sink = new std::u16string(100, u'x'); }), 2);
  delete sink;

  BearingFields fields;
  for (const float a : kValues) {
    for (const float b : kValues) {
      EXPECT_EQ(AllocationsOf([&] { static_cast<void>(sLocator(a, b)); }), 0) << a << " " << b;
      EXPECT_EQ(AllocationsOf([&] { static_cast<void>(GridFromLatLong(a, b)); }), 0) << a << b;
      EXPECT_EQ(AllocationsOf([&] { static_cast<void>(Distanse(a, b)); }), 0) << a << " " << b;
      for (const float c : {0.0f, 40.7f, -74.0f, kInf, test::QuietNan()}) {
        for (const float d : {0.0f, 13.4f, kInf, test::SignallingNan()}) {
          EXPECT_EQ(AllocationsOf([&] { static_cast<void>(Azimut(fields, a, b, c, d)); }), 0);
          EXPECT_EQ(AllocationsOf([&] { static_cast<void>(DistanceFrom(a, b, c, d)); }), 0);
        }
      }
    }
    EXPECT_EQ(AllocationsOf([&] { static_cast<void>(ArcCos(a)); }), 0) << a;
  }

  std::vector<runtime::Text> texts = {runtime::Text(),        test::T(u""),
                                      test::T(u"JO62qm"),     test::T(u"jo62"),
                                      test::T(u"  RR99xx  "), test::T(u"J\u00D6\u4E2D2q\xD800")};
  texts.push_back(runtime::Text(u"JO62qm" + std::u16string(1000, u'x')));
  for (const runtime::Text& text : texts) {
    EXPECT_EQ(AllocationsOf([&] { static_cast<void>(LatFromGrid(text)); }), 0) << test::Show(text);
    EXPECT_EQ(AllocationsOf([&] { static_cast<void>(LongFromGrid(text)); }), 0) << test::Show(text);
  }
}

}  // namespace
}  // namespace pelmora::calc
