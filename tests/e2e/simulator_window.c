/* Stands in for the running simulator: a hidden main window of the
   simulator's class, there until it is closed. */
#include <windows.h>

static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM w, LPARAM l) {
  if (message == WM_DESTROY) PostQuitMessage(0);
  return DefWindowProcA(window, message, w, l);
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR command_line, int show) {
  WNDCLASSA window_class = {0};
  MSG message;
  (void)previous;
  (void)command_line;
  (void)show;
  window_class.lpfnWndProc = Procedure;
  window_class.hInstance = instance;
  window_class.lpszClassName = "FS98MAIN";
  if (!RegisterClassA(&window_class) ||
      !CreateWindowA("FS98MAIN", "Flight Simulator", WS_OVERLAPPEDWINDOW, 0, 0, 320, 240, NULL,
                     NULL, instance, NULL))
    return 1;
  while (GetMessageA(&message, NULL, 0, 0) > 0) DispatchMessageA(&message);
  return 0;
}
