// The yardstick of the start-up benchmark: the least a desktop program does,
// registering a class, creating one window and ending.
#include <windows.h>

namespace {
LRESULT CALLBACK MinimalWindowProc(HWND window, UINT message, WPARAM w, LPARAM l) {
  return DefWindowProcA(window, message, w, l);
}
}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show) {
  WNDCLASSA window_class{};
  window_class.lpfnWndProc = MinimalWindowProc;
  window_class.hInstance = instance;
  window_class.lpszClassName = "minimalFRAME";
  RegisterClassA(&window_class);
  HWND window = CreateWindowA("minimalFRAME", "minimal", WS_OVERLAPPEDWINDOW, 0, 0, 440, 240,
                              nullptr, nullptr, instance, nullptr);
  ShowWindow(window, show);
  UpdateWindow(window);
  // Handle what showing it queued, then end; the system takes the window
  // away with the process, as it does for scenreg.exe.
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
  return 0;
}
