// The first program of a Wine session under CTest, started by
// cmake/wine-run.sh --start-server: it makes a window, so that the session's
// services and desktop process start with its standard error (a log), and
// stays a user of the desktop until the server's stop ends it, so that the
// desktop never closes and no test starts another. It prints "ready" once its
// window exists.
#include <windows.h>

#include <cstdio>

int main() {
  HWND window =
      CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
  if (window == nullptr) {
    std::fprintf(stderr, "desktop user: no window (error %lu)\n", GetLastError());
    return 1;
  }
  std::puts("ready");
  std::fflush(stdout);
  Sleep(INFINITE);
  return 0;
}
