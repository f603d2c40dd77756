// A native client of CalcDistClass that prints what every one of its eight
// methods answers on a fixed sample, as bit patterns and exact texts, one
// line per input. The same program built for each edition, run by a 32-bit
// and a 64-bit host against the registered (or manifest-activated) server,
// must print the same lines: that is how the two editions are compared.
//   edition_probe.exe [--bitness]
//   edition_probe.exe --load DLL
// The class is created by its ProgID through COM, in a single-threaded
// apartment. With --bitness the program prints the pointer width of its own
// process (32 or 64) first. Exit status 0, or 1 with the failing status.
// With --load it only loads DLL and prints "loaded" or the loader's error
// number (193 for a DLL of the other bitness).
#include <windows.h>
// <windows.h> first: the OLE headers rely on it.
#include <oleauto.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>

#include "Pelmora.h"

namespace {

unsigned Bits(float value) {
  std::uint32_t bits = 0;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}

// A result: its bits, or the failing status with what the method delivered.
std::string Number(HRESULT hr, float value) {
  char text[40];
  if (FAILED(hr)) {
    std::snprintf(text, sizeof text, "!%08lX:%08X", static_cast<unsigned long>(hr), Bits(value));
  } else {
    std::snprintf(text, sizeof text, "%08X", Bits(value));
  }
  return text;
}

std::string Text(HRESULT hr, BSTR value) {
  std::string out;
  if (FAILED(hr)) {
    char status[16];
    std::snprintf(status, sizeof status, "!%08lX:", static_cast<unsigned long>(hr));
    out = status;
  }
  if (value == nullptr) return out + "<null>";
  for (UINT i = 0; i < SysStringLen(value); ++i) {
    const wchar_t c = value[i];
    out += (c >= 0x20 && c < 0x7F) ? static_cast<char>(c) : '?';
  }
  return out;
}

// One position: both encodings, the centre of the first locator, and the
// bearing and distance from two origins.
void Position(_CalcDistClass* calc, float lat, float lon) {
  BSTR s_locator = nullptr;
  BSTR grid = nullptr;
  const HRESULT hs = calc->sLocator(lat, lon, &s_locator);
  const HRESULT hg = calc->GridFromLatLong(lat, lon, &grid);
  float centre_lat = -1.0f;
  float centre_lon = -1.0f;
  const HRESULT hla = calc->LatFromGrid(grid, &centre_lat);
  const HRESULT hlo = calc->LongFromGrid(grid, &centre_lon);
  std::printf("%08X,%08X %s %s %s %s", Bits(lat), Bits(lon), Text(hs, s_locator).c_str(),
              Text(hg, grid).c_str(), Number(hla, centre_lat).c_str(),
              Number(hlo, centre_lon).c_str());
  SysFreeString(s_locator);
  SysFreeString(grid);
  const float origins[][2] = {{52.5f, 13.4f}, {-33.8688f, 151.2093f}};
  for (const auto& origin : origins) {
    float bearing = -1.0f;
    float distance = -1.0f;
    const HRESULT ha = calc->Azimut(origin[0], origin[1], lat, lon, &bearing);
    const HRESULT hd = calc->DistanceFrom(origin[0], origin[1], lat, lon, &distance);
    std::printf(" %s %s", Number(ha, bearing).c_str(), Number(hd, distance).c_str());
  }
  float zero = -1.0f;
  const HRESULT hz = calc->Distanse(lat, lon, &zero);
  std::printf(" %s\n", Number(hz, zero).c_str());
}

int Probe(_CalcDistClass* calc) {
  // The whole globe on a grid of 2.8125 by 5.625 degrees, and the same grid
  // moved by fractions that no cell boundary shares.
  for (int i = 0; i <= 64; ++i) {
    for (int j = 0; j <= 64; ++j) {
      const float lat = -90.0f + 2.8125f * static_cast<float>(i);
      const float lon = -180.0f + 5.625f * static_cast<float>(j);
      Position(calc, lat, lon);
      Position(calc, lat * 0.999f + 0.0137f, lon * 0.999f - 0.0291f);
    }
  }
  // Far outside the usual ranges, and the special values.
  constexpr float kInf = std::numeric_limits<float>::infinity();
  const float odd[] = {1e3f,  -1e4f, 1e11f, -1e20f,
                       3e38f, kInf,  -kInf, std::numeric_limits<float>::quiet_NaN()};
  for (const float a : odd) {
    Position(calc, a, 13.4f);
    Position(calc, 52.5f, a);
  }
  // The arc cosine from -1 to 1 in steps of 1/256, and beyond.
  for (int k = -260; k <= 260; ++k) {
    const float x = static_cast<float>(k) / 256.0f;
    float angle = -1.0f;
    const HRESULT h = calc->ArcCos(x, &angle);
    std::printf("ArcCos %08X %s\n", Bits(x), Number(h, angle).c_str());
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "--load") == 0) {
    const HMODULE module = LoadLibraryA(argv[2]);
    if (module == nullptr) {
      std::printf("error %lu\n", GetLastError());
      return 1;
    }
    std::printf("loaded\n");
    FreeLibrary(module);
    return 0;
  }
  if (argc > 1 && std::strcmp(argv[1], "--bitness") == 0) {
    std::printf("%u-bit host\n", static_cast<unsigned>(sizeof(void*) * 8));
  }
  HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  if (FAILED(hr)) {
    std::fprintf(stderr, "CoInitializeEx: 0x%08lX\n", static_cast<unsigned long>(hr));
    return 1;
  }
  CLSID clsid{};
  _CalcDistClass* calc = nullptr;
  hr = CLSIDFromProgID(L"Tevaro.CalcDistClass", &clsid);
  if (SUCCEEDED(hr)) {
    hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID__CalcDistClass,
                          reinterpret_cast<void**>(&calc));
  }
  int status = 1;
  if (FAILED(hr)) {
    std::fprintf(stderr, "cannot create Tevaro.CalcDistClass: 0x%08lX\n",
                 static_cast<unsigned long>(hr));
  } else {
    status = Probe(calc);
    calc->Release();
  }
  CoUninitialize();
  return status;
}
