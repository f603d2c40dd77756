// The first program of a Wine session under CTest, started by
// cmake/wine-run.sh --start-server: the session's services and its desktop
// process start with this program's standard error (a log), and it stays a
// user of the desktop until the server's stop ends it, so that the desktop
// never closes and no test starts another. It prints "ready" once its window
// exists and the service control manager answers. Without an answer (Wine
// failed to start the services) it ends with a message, so that the session
// starts again rather than a test starting the services with its own output.
#include <windows.h>

#include <cstdio>

int main() {
  HWND window =
      CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
  if (window == nullptr) {
    std::fprintf(stderr, "desktop user: no window (error %lu)\n", GetLastError());
    return 1;
  }
  SC_HANDLE services = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
  if (services == nullptr) {
    std::fprintf(stderr, "desktop user: no service control manager (error %lu)\n", GetLastError());
    return 1;
  }
  CloseServiceHandle(services);
  std::puts("ready");
  std::fflush(stdout);
  Sleep(INFINITE);
  return 0;
}
