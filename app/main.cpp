#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  MessageBoxA(nullptr, "沃蒙在线安装", "InstallZelm", MB_OK);
  return 0;
}
