// What the WebAssembly module adds to libpelmora's C functions: the C++
// allocation functions (the module is built without exceptions, so a
// failed allocation traps, as wasm has nothing else to do), and the batch
// functions of the npm package's array forms.
//
// A batch works on fixed areas of the module's memory, kChunk elements at a
// time: the script copies a chunk of each argument in, makes one call, and
// copies the results out, so that no call crosses between JavaScript and
// wasm per element. The areas are static: the module has one caller at a
// time (a JavaScript realm runs one call at once).
#include <cstddef>
#include <cstdint>
#include <new>

#include "pelmora.h"

#define PELMORA_WASM_EXPORT extern "C" __attribute__((visibility("default")))

// The first byte after the static data and the stack (wasm-ld).
extern "C" unsigned char __heap_base;

namespace {

// The allocator of the module: blocks of 32 << c bytes (c < kClasses), a
// 16-byte header holding c before each, freed blocks kept on a list per
// class and used again, memory taken from the end of the heap with
// memory.grow and never given back. The calculations allocate only short
// texts, so a few blocks serve every call; the C library's malloc, many
// times the size, would make the module larger than the rest of its code
// allows.
constexpr std::size_t kClasses = 26;
constexpr std::size_t kHeader = 16;
constexpr std::size_t kPage = 65536;

struct FreeBlock {
  FreeBlock* next;
};
FreeBlock* free_lists[kClasses];
std::uintptr_t heap_top = 0;    // the first byte not yet handed out
std::uintptr_t heap_limit = 0;  // the end of the memory

void* Allocate(std::size_t size) {
  std::size_t c = 0;
  while ((std::size_t{32} << c) - kHeader < size) {
    if (++c == kClasses) return nullptr;
  }
  if (free_lists[c] != nullptr) {
    FreeBlock* block = free_lists[c];
    free_lists[c] = block->next;
    return block;
  }
  if (heap_top == 0) {
    heap_top = (reinterpret_cast<std::uintptr_t>(&__heap_base) + 15) & ~std::uintptr_t{15};
    heap_limit = __builtin_wasm_memory_size(0) * kPage;
  }
  const std::size_t bytes = std::size_t{32} << c;
  if (heap_limit - heap_top < bytes) {
    const std::size_t pages = (bytes - (heap_limit - heap_top) + kPage - 1) / kPage;
    if (__builtin_wasm_memory_grow(0, pages) == static_cast<std::size_t>(-1)) return nullptr;
    heap_limit += pages * kPage;
  }
  auto* header = reinterpret_cast<std::size_t*>(heap_top);
  *header = c;
  heap_top += bytes;
  return reinterpret_cast<unsigned char*>(header) + kHeader;
}

void Release(void* p) {
  if (p == nullptr) return;
  const std::size_t c = *reinterpret_cast<std::size_t*>(static_cast<unsigned char*>(p) - kHeader);
  auto* block = static_cast<FreeBlock*>(p);
  block->next = free_lists[c];
  free_lists[c] = block;
}

}  // namespace

void* operator new(std::size_t size) {
  void* p = Allocate(size);
  if (p == nullptr) __builtin_trap();
  return p;
}
void* operator new[](std::size_t size) { return operator new(size); }
void operator delete(void* p) noexcept { Release(p); }
void operator delete[](void* p) noexcept { Release(p); }
void operator delete(void* p, std::size_t) noexcept { Release(p); }
void operator delete[](void* p, std::size_t) noexcept { Release(p); }

// Memory for the script (a text too long for the text area): null when
// there is none.
PELMORA_WASM_EXPORT void* pelmora_wasm_alloc(std::size_t size) { return Allocate(size); }
PELMORA_WASM_EXPORT void pelmora_wasm_free(void* p) { Release(p); }

namespace {

// The elements of one batch call; the script reads it from
// pelmora_wasm_chunk.
constexpr std::size_t kChunk = 4096;
// The units of the locators of one decoding call (the script calls the
// scalar function for a longer text).
constexpr std::size_t kTextUnits = kChunk * 8;
// A UTF-16 locator result with its terminator.
constexpr std::size_t kLocatorUnits = PELMORA_LOCATOR_SIZE16;

// The areas, by the numbers pelmora_wasm_area takes.
enum Area : int {
  kArg0,      // float arguments of a batch, in the order of the C function
  kArg1,      //
  kArg2,      //
  kArg3,      //
  kWide,      // double arguments before pelmora_wasm_narrow
  kResults,   // float results
  kStatuses,  // int32 statuses
  kLocators,  // UTF-16 locator results, kLocatorUnits apart
  kText,      // UTF-16 units of the texts to decode
  kOffsets,   // int32 start of each text in kText, and the end of the last
  kScalar,    // the result of a scalar call (a float, a UTF-16 locator of up
              // to 12 characters, a pelmora_cell or a pelmora_path)
};

alignas(16) float args[4][kChunk];
alignas(16) double wide[kChunk];
alignas(16) float results[kChunk];
alignas(16) std::int32_t statuses[kChunk];
alignas(16) char16_t locators[kChunk * kLocatorUnits];
alignas(16) char16_t text[kTextUnits];
alignas(16) std::int32_t offsets[kChunk + 1];
constexpr std::size_t kScalarBytes = 64;
static_assert(sizeof(pelmora_cell) <= kScalarBytes && sizeof(pelmora_path) <= kScalarBytes &&
              (12 + 1) * sizeof(char16_t) <= kScalarBytes);
alignas(16) unsigned char scalar[kScalarBytes];

}  // namespace

PELMORA_WASM_EXPORT std::size_t pelmora_wasm_chunk(void) { return kChunk; }
PELMORA_WASM_EXPORT std::size_t pelmora_wasm_text_units(void) { return kTextUnits; }

PELMORA_WASM_EXPORT void* pelmora_wasm_area(int area) {
  switch (area) {
    case kArg0:
    case kArg1:
    case kArg2:
    case kArg3:
      return args[area - kArg0];
    case kWide:
      return wide;
    case kResults:
      return results;
    case kStatuses:
      return statuses;
    case kLocators:
      return locators;
    case kText:
      return text;
    case kOffsets:
      return offsets;
    case kScalar:
      return scalar;
    default:
      return nullptr;
  }
}

// The doubles of the wide area into float argument `column` as Automation
// converts a double to a float parameter: to the nearest float, a value
// beyond the float range (an infinity too) refused. Returns the index of
// the first refused element, or -1; NaN passes.
PELMORA_WASM_EXPORT int pelmora_wasm_narrow(int column, int n) {
  constexpr double kLargest = 3.4028234663852886e38;  // FLT_MAX, 0x7F7FFFFF
  if (column < 0 || column > 3 || n < 0 || static_cast<std::size_t>(n) > kChunk) return 0;
  float* out = args[column];
  for (int i = 0; i < n; ++i) {
    const double d = wide[i];
    if (d > kLargest || d < -kLargest) return i;
    out[i] = static_cast<float>(d);
  }
  return -1;
}

// The number functions over the argument areas into the result and status
// areas: 0 azimut (4 arguments), 1 distance_from (4), 2 arc_cos (1).
// Returns the number of failed elements, or -1 for a bad call.
PELMORA_WASM_EXPORT int pelmora_wasm_numbers(int kind, int n) {
  if (n < 0 || static_cast<std::size_t>(n) > kChunk || kind < 0 || kind > 2) return -1;
  int failures = 0;
  for (int i = 0; i < n; ++i) {
    int status;
    if (kind == 0) {
      status = pelmora_azimut(args[0][i], args[1][i], args[2][i], args[3][i], &results[i]);
    } else if (kind == 1) {
      status = pelmora_distance_from(args[0][i], args[1][i], args[2][i], args[3][i], &results[i]);
    } else {
      status = pelmora_arc_cos(args[0][i], &results[i]);
    }
    statuses[i] = status;
    failures += status != PELMORA_OK;
  }
  return failures;
}

// The encodings over argument areas 0 (latitudes) and 1 (longitudes) into
// the locator area: 0 s_locator, 1 grid_from_lat_long. A failed element
// holds the empty text. Returns the failures, or -1 for a bad call.
PELMORA_WASM_EXPORT int pelmora_wasm_locators(int kind, int n) {
  if (n < 0 || static_cast<std::size_t>(n) > kChunk || kind < 0 || kind > 1) return -1;
  int failures = 0;
  for (int i = 0; i < n; ++i) {
    char16_t* out = &locators[static_cast<std::size_t>(i) * kLocatorUnits];
    const int status =
        kind == 0 ? pelmora_s_locator16(args[0][i], args[1][i], out, kLocatorUnits)
                  : pelmora_grid_from_lat_long16(args[0][i], args[1][i], out, kLocatorUnits);
    statuses[i] = status;
    failures += status != PELMORA_OK;
  }
  return failures;
}

// The decodings of the texts of the text area (text i from offsets[i] to
// offsets[i + 1]) into the result area: 0 lat_from_grid, 1 long_from_grid.
// Returns the failures, or -1 for a bad call.
PELMORA_WASM_EXPORT int pelmora_wasm_decode(int kind, int n) {
  if (n < 0 || static_cast<std::size_t>(n) > kChunk || kind < 0 || kind > 1) return -1;
  int failures = 0;
  for (int i = 0; i < n; ++i) {
    const std::int32_t begin = offsets[i], end = offsets[i + 1];
    if (begin < 0 || end < begin || static_cast<std::size_t>(end) > kTextUnits) return -1;
    const char16_t* grid = text + begin;
    const auto length = static_cast<std::size_t>(end - begin);
    const int status = kind == 0 ? pelmora_lat_from_grid16(grid, length, &results[i])
                                 : pelmora_long_from_grid16(grid, length, &results[i]);
    statuses[i] = status;
    failures += status != PELMORA_OK;
  }
  return failures;
}
