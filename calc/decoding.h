// Locator decoding: a locator back to the centre of its square or subsquare.
#pragma once

#include "runtime/code_page.h"
#include "runtime/errors.h"
#include "runtime/text.h"

namespace pelmora::calc {

runtime::Outcome<float> LatFromGrid(const runtime::Text& Grid,
                                    const runtime::CodePage& page = runtime::Windows1252());

runtime::Outcome<float> LongFromGrid(const runtime::Text& Grid,
                                     const runtime::CodePage& page = runtime::Windows1252());

}  // namespace pelmora::calc
