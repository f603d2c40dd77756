#include "calc/encoding.h"

#include <gtest/gtest.h>

#include "tests/test_support.h"

namespace pelmora::calc {
namespace {

using runtime::RtError;
using runtime::Text;
using test::T;

TEST(Encoding, WorkedExample) {
  EXPECT_EQ(sLocator(51.5f, -0.12f).value, T(u"IO91wl"));
  EXPECT_EQ(GridFromLatLong(51.5f, -0.12f).value, T(u"IO91wm"));
}

}  // namespace
}  // namespace pelmora::calc
