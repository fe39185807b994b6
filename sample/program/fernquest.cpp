// fernquest.exe: the sample game's program. It stands in for a real game on the sample
// disc: it opens a window, shows the first line of a data file it was installed with and
// the folder that the installer wrote into its INI file, writes config.dat (a file the
// game makes, which [delfiles] names) and keeps a saved game in the save folder (a file
// of the player's, which [delfiles_user] names), so that the uninstaller has both kinds.
// Its texts and the files it reads are Shift-JIS, decoded as such (code page 932) whatever
// the system code page is; it talks to Windows in wide characters.
#include <windows.h>

#include <stdio.h>
#include <string.h>
#include <wchar.h>

namespace {

enum { kPathSize = 260, kLineSize = 512 };

const UINT kShiftJis = 932;
const wchar_t kWindowClass[] = L"FernQuestWindow";
const wchar_t kTitle[] = L"ふぇるん冒険記";

// What the window shows, filled once at start.
struct Game {
  wchar_t folder[kPathSize];        // the program's own folder, with a final backslash
  wchar_t scenario[kLineSize];      // first line of data\script01.txt
  wchar_t install_path[kPathSize];  // InstallPath from the INI file the installer wrote
  int saved;                        // the saved game could be written
};
Game g_game;

// The program's folder from its own path; paths here come from Windows and fit.
void FindOwnFolder() {
  DWORD length = GetModuleFileNameW(nullptr, g_game.folder, kPathSize);
  if (length == 0 || length >= kPathSize) {
    g_game.folder[0] = 0;
    return;
  }
  wchar_t *last = wcsrchr(g_game.folder, L'\\');
  if (last) last[1] = 0;
}

// Shift-JIS bytes as wide text; empty when they do not decode.
void Decode(const char *text, wchar_t *out, int count) {
  if (MultiByteToWideChar(kShiftJis, 0, text, -1, out, count) == 0) out[0] = 0;
}

void ReadScenario() {
  wchar_t path[kPathSize];
  _snwprintf(path, kPathSize, L"%lsdata\\script01.txt", g_game.folder);
  path[kPathSize - 1] = 0;
  wcscpy(g_game.scenario, L"(data\\script01.txt がありません)");
  FILE *file = _wfopen(path, L"rb");
  if (!file) return;
  char line[kLineSize];
  if (fgets(line, sizeof line, file)) {
    line[strcspn(line, "\r\n")] = '\0';
    Decode(line, g_game.scenario, kLineSize);
  }
  fclose(file);
}

// InstallPath in the [Setting] section of fernquest.ini in the Windows folder, read as the
// Shift-JIS bytes the installer wrote (the profile functions would decode them with the
// system code page).
void ReadInstallPath() {
  wchar_t path[kPathSize];
  UINT length = GetWindowsDirectoryW(path, kPathSize);
  if (length == 0 || length + 16 >= kPathSize) return;
  wcscat(path, L"\\fernquest.ini");
  FILE *file = _wfopen(path, L"rb");
  if (!file) return;
  char line[kLineSize];
  bool in_section = false;
  while (fgets(line, sizeof line, file)) {
    line[strcspn(line, "\r\n")] = '\0';
    if (line[0] == '[') {
      in_section = _stricmp(line, "[Setting]") == 0;
    } else if (in_section && _strnicmp(line, "InstallPath=", 12) == 0) {
      Decode(line + 12, g_game.install_path, kPathSize);
      break;
    }
  }
  fclose(file);
}

void WriteSavedGame() {
  wchar_t path[kPathSize];
  _snwprintf(path, kPathSize, L"%lsconfig.dat", g_game.folder);
  path[kPathSize - 1] = 0;
  if (FILE *config = _wfopen(path, L"wb")) {
    fputs("played=1\r\n", config);
    fclose(config);
  }
  _snwprintf(path, kPathSize, L"%lssave", g_game.folder);
  path[kPathSize - 1] = 0;
  CreateDirectoryW(path, nullptr);
  _snwprintf(path, kPathSize, L"%lssave\\slot1.sav", g_game.folder);
  path[kPathSize - 1] = 0;
  FILE *file = _wfopen(path, L"wb");
  if (!file) return;
  g_game.saved = fputs("stage1\r\n", file) >= 0;
  if (fclose(file) != 0) g_game.saved = 0;
}

void Paint(HWND window) {
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(window, &paint);
  HFONT font = CreateFontW(-16, 0, 0, 0, FW_NORMAL, 0, 0, 0, SHIFTJIS_CHARSET, 0, 0, 0, 0,
                           L"ＭＳ Ｐゴシック");
  HGDIOBJ old = SelectObject(dc, font);
  SetBkMode(dc, TRANSPARENT);
  wchar_t lines[4][kLineSize + 32];
  _snwprintf(lines[0], kLineSize + 32, L"%ls へようこそ", kTitle);
  _snwprintf(lines[1], kLineSize + 32, L"シナリオ: %ls", g_game.scenario);
  _snwprintf(lines[2], kLineSize + 32, L"インストール先: %ls",
             g_game.install_path[0] ? g_game.install_path : L"(INI ファイルにありません)");
  _snwprintf(lines[3], kLineSize + 32, L"%ls",
             g_game.saved ? L"セーブデータ: save\\slot1.sav に保存しました"
                          : L"セーブデータを保存できません");
  for (int i = 0; i < 4; i++) {
    lines[i][kLineSize + 31] = 0;
    TextOutW(dc, 16, 16 + i * 28, lines[i], (int)wcslen(lines[i]));
  }
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
  return DefWindowProcW(window, message, wparam, lparam);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show) {
  FindOwnFolder();
  ReadScenario();
  ReadInstallPath();
  WriteSavedGame();

  WNDCLASSW window_class;
  memset(&window_class, 0, sizeof window_class);
  window_class.lpfnWndProc = WindowProc;
  window_class.hInstance = instance;
  window_class.hCursor = LoadCursor(nullptr, IDC_ARROW);
  window_class.hbrBackground = (HBRUSH)(COLOR_WINDOW + 1);
  window_class.lpszClassName = kWindowClass;
  if (!RegisterClassW(&window_class)) return 1;
  HWND window = CreateWindowW(kWindowClass, kTitle, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                              CW_USEDEFAULT, 520, 200, nullptr, nullptr, instance, nullptr);
  if (!window) return 1;
  ShowWindow(window, show);
  UpdateWindow(window);
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return 0;
}
