#include "runtime/text.h"

#include <string>

namespace pelmora::runtime {

std::int32_t Length(const Text& text) { return static_cast<std::int32_t>(text.Units().size()); }

Text Concat(const Text& a, const Text& b) { return Text(a.Units() + b.Units()); }

Outcome<Text> CharFromCode(std::int32_t code, const CodePage& page) {
  const auto unit = CharUnitFromCode(code, page);
  if (!unit) return Failure<Text>(unit.error);
  return Success(Text(std::u16string(1, unit.value)));
}

}  // namespace pelmora::runtime
