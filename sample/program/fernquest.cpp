// fernquest.exe: the sample game's program. It stands in for a real game on the sample
// disc: it opens a window, shows the first line of a data file it was installed with and
// the folder that the installer wrote into its INI file, writes config.dat (a file the
// game makes, which [delfiles] names) and keeps a saved game in the save folder (a file
// of the player's, which [delfiles_user] names), so that the uninstaller has both kinds. Sources are UTF-8; literals
// are Shift-JIS, as in the installer.
#include <windows.h>

#include <stdio.h>
#include <string.h>

namespace {

enum { kPathSize = 260, kLineSize = 512 };

const char kWindowClass[] = "FernQuestWindow";
const char kTitle[] = "ふぇるん冒険記";

// What the window shows, filled once at start.
struct Game {
  char folder[kPathSize];      // the program's own folder, with a final backslash
  char scenario[kLineSize];    // first line of data\script01.txt
  char install_path[kPathSize];  // InstallPath from the INI file the installer wrote
  int saved;                   // the saved game could be written
};
Game g_game;

// The program's folder from its own path; paths here come from Windows and fit.
void FindOwnFolder() {
  DWORD length = GetModuleFileNameA(nullptr, g_game.folder, sizeof g_game.folder);
  if (length == 0 || length >= sizeof g_game.folder) {
    g_game.folder[0] = '\0';
    return;
  }
  char *last = strrchr(g_game.folder, '\\');
  if (last) last[1] = '\0';
}

void ReadScenario() {
  char path[kPathSize];
  snprintf(path, sizeof path, "%sdata\\script01.txt", g_game.folder);
  snprintf(g_game.scenario, sizeof g_game.scenario, "%s", "(data\\script01.txt がありません)");
  FILE *file = fopen(path, "rb");
  if (!file) return;
  if (fgets(g_game.scenario, sizeof g_game.scenario, file)) {
    g_game.scenario[strcspn(g_game.scenario, "\r\n")] = '\0';
  }
  fclose(file);
}

void WriteSavedGame() {
  char path[kPathSize];
  snprintf(path, sizeof path, "%sconfig.dat", g_game.folder);
  if (FILE *config = fopen(path, "wb")) {
    fputs("played=1\r\n", config);
    fclose(config);
  }
  snprintf(path, sizeof path, "%ssave", g_game.folder);
  CreateDirectoryA(path, nullptr);
  snprintf(path, sizeof path, "%ssave\\slot1.sav", g_game.folder);
  FILE *file = fopen(path, "wb");
  if (!file) return;
  g_game.saved = fputs("stage1\r\n", file) >= 0;
  if (fclose(file) != 0) g_game.saved = 0;
}

void Paint(HWND window) {
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(window, &paint);
  HFONT font = CreateFontA(-16, 0, 0, 0, FW_NORMAL, 0, 0, 0, SHIFTJIS_CHARSET, 0, 0, 0, 0,
                           "ＭＳ Ｐゴシック");
  HGDIOBJ old = SelectObject(dc, font);
  SetBkMode(dc, TRANSPARENT);
  char lines[4][kLineSize + 32];
  snprintf(lines[0], sizeof lines[0], "%s へようこそ", kTitle);
  snprintf(lines[1], sizeof lines[1], "シナリオ: %s", g_game.scenario);
  snprintf(lines[2], sizeof lines[2], "インストール先: %s",
           g_game.install_path[0] ? g_game.install_path : "(INI ファイルにありません)");
  snprintf(lines[3], sizeof lines[3], "%s",
           g_game.saved ? "セーブデータ: save\\slot1.sav に保存しました" : "セーブデータを保存できません");
  for (int i = 0; i < 4; i++) TextOutA(dc, 16, 16 + i * 28, lines[i], (int)strlen(lines[i]));
  SelectObject(dc, old);
  DeleteObject(font);
  EndPaint(window, &paint);
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_PAINT:
      Paint(window);
      return 0;
    case WM_KEYDOWN:
      if (wparam == VK_ESCAPE) DestroyWindow(window);
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
  }
  return DefWindowProcA(window, message, wparam, lparam);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show) {
  FindOwnFolder();
  ReadScenario();
  GetPrivateProfileStringA("Setting", "InstallPath", "", g_game.install_path,
                           sizeof g_game.install_path, "fernquest.ini");
  WriteSavedGame();

  WNDCLASSA window_class;
  memset(&window_class, 0, sizeof window_class);
  window_class.lpfnWndProc = WindowProc;
  window_class.hInstance = instance;
  window_class.hCursor = LoadCursor(nullptr, IDC_ARROW);
  window_class.hbrBackground = (HBRUSH)(COLOR_WINDOW + 1);
  window_class.lpszClassName = kWindowClass;
  if (!RegisterClassA(&window_class)) return 1;
  HWND window = CreateWindowA(kWindowClass, kTitle, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                              CW_USEDEFAULT, 520, 200, nullptr, nullptr, instance, nullptr);
  if (!window) return 1;
  ShowWindow(window, show);
  UpdateWindow(window);
  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  return 0;
}
