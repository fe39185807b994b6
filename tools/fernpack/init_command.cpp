// fernpack init: writes a starting game folder that packs and installs with no edits:
// install.env with every key the installer reads (each explained in Japanese and English,
// on comment lines that both of the installer's readers pass over), a placeholder menu
// picture and a readme. It never overwrites a file.
#include <errno.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "archive/entry_name.h"
#include "tools/fernpack/commands.h"
#include "tools/fernpack/png_io.h"
#include "tools/fernpack/sjis_names.h"

namespace {

// The menu picture's placeholder: the size the sample uses, clear of the button column.
const int kPictureWidth = 160;
const int kPictureHeight = 256;
// Longest title taken from the folder's name; longer ones fall back to the placeholder.
const size_t kMaxTitleBytes = 60;

const char kFallbackTitle[] = "MyGame";

// The settings file. Literals are Shift-JIS (the build compiles them so); "%TITLE%" and
// "%FOLDER%" are filled in. Lines end in CR LF, as Windows editors write them.
const char kSettingsTemplate[] =
    "// install.env: ゲームのインストール設定 / the game's installation settings\n"
    "// このファイルは Shift-JIS で保存してください。 / Keep this file in Shift-JIS.\n"
    "// 「//」で始まる行はコメントです。 / Lines that begin with \"//\" are comments.\n"
    "// キーと値はタブで区切り、値の中の空白は「|」と書きます。\n"
    "// A key and its value are separated by a tab; write \"|\" for a blank inside a value.\n"
    "// 値は127バイトまでです。 / A value holds at most 127 bytes.\n"
    "//\n"
    "// TITLEBAR: ゲームの題名。メニューの題名、スタートメニューのフォルダ、ショートカット、\n"
    "//   アンインストールの登録名になります。「\\」は使えません。\n"
    "//   既定値: ＨＡＬＤＲＯ アプリケーション\n"
    "// TITLEBAR: the game's title: the menu's caption, the Start-menu folder, the\n"
    "//   shortcuts' names and the uninstall entry. No backslash.\n"
    "//   Default: a placeholder title.\n"
    "TITLEBAR\t%TITLE%\n"
    "//\n"
    "// INSTFOL: インストール先の「Program Files」の下に作るフォルダ(メーカー名など)。\n"
    "//   ない場合は作りません。\n"
    "// INSTFOL: the folder under Program Files that holds the game's folder (customarily\n"
    "//   the maker). Without it there is none.\n"
    "INSTFOL\tMyCompany\n"
    "//\n"
    "// INSTTO: ゲームのフォルダ名。ショートカットの説明にも使われます。既定値: HALDRO_APP\n"
    "// INSTTO: the game's own folder name, also the shortcuts' description.\n"
    "//   Default: HALDRO_APP\n"
    "INSTTO\t%FOLDER%\n"
    "//\n"
    "// INSTMAKEFOL: 1 のとき、利用者が選んだフォルダに INSTTO が含まれなければ、\n"
    "//   INSTFOL と INSTTO のフォルダを付け足します。既定値: 0\n"
    "// INSTMAKEFOL: 1 appends INSTFOL and INSTTO to a folder the player chose when it\n"
    "//   does not hold the INSTTO name. Default: 0\n"
    "INSTMAKEFOL\t1\n"
    "//\n"
    "// EXENAME: ゲーム本体のファイル名。ショートカットはこれを起動します。既定値: haldro.exe\n"
    "// EXENAME: the game program in the game folder; the shortcuts start it.\n"
    "//   Default: haldro.exe\n"
    "EXENAME\tgame.exe\n"
    "//\n"
    "// INST_GROUP: スタートメニューで題名のフォルダの上に置くフォルダ。ない場合は作りません。\n"
    "// INST_GROUP: a Start-menu folder above the title's folder. Without it there is none.\n"
    "INST_GROUP\tMyCompany\n"
    "//\n"
    "// INSTREADME: メニューの説明書ボタンと、完了画面のチェックボックスの文字。\n"
    "//   「-」で始まると説明書は出しません。既定値: -\n"
    "// INSTREADME: the label of the menu's readme button and of the completion dialog's\n"
    "//   box. A value beginning with \"-\" offers no readme. Default: -\n"
    "INSTREADME\tお読みください\n"
    "//\n"
    "// INSTREADMEFL: 説明書のファイル名(最上位の .txt)。既定値: readme.txt\n"
    "// INSTREADMEFL: the readme file, a top-level .txt file. Default: readme.txt\n"
    "INSTREADMEFL\treadme.txt\n"
    "//\n"
    "// HELP_FILE: INSTREADMEFL がないときの説明書ショートカットの行き先。既定値: なし\n"
    "// HELP_FILE: the readme shortcut's target when INSTREADMEFL is missing.\n"
    "//   Default: none\n"
    "HELP_FILE\treadme.txt\n"
    "//\n"
    "// REG_GLOBAL, REG_LOCAL: 利用者ごとのレジストリキー Software\\REG_GLOBAL\\REG_LOCAL。\n"
    "//   REG_GLOBAL が「-」で始まると [reg] は書き込みません。既定値: -\n"
    "// REG_GLOBAL, REG_LOCAL: the per-user registry key Software\\REG_GLOBAL\\REG_LOCAL.\n"
    "//   A REG_GLOBAL beginning with \"-\" writes no [reg] line. Default: -\n"
    "REG_GLOBAL\tMyCompany\n"
    "REG_LOCAL\t%FOLDER%\n"
    "//\n"
    "// INI_FILE, INI_SECTION: [ini] を書き込む INI ファイルとそのセクション。\n"
    "//   フォルダのない名前は Windows フォルダのファイルです。\n"
    "//   INI_FILE が「-」で始まると [ini] は書き込みません。既定値: -\n"
    "// INI_FILE, INI_SECTION: the INI file the [ini] lines go to, and its section. A name\n"
    "//   without a folder is a file in the Windows folder. An INI_FILE beginning with \"-\"\n"
    "//   writes no [ini] line. Default: -\n"
    "INI_FILE\t-\n"
    "INI_SECTION\t-\n"
    "//\n"
    "// 以下の4つのセクションは、見出しの行から「-」で始まる行までです。\n"
    "// The four sections below run from their header to a line beginning with \"-\".\n"
    "//\n"
    "// [delfiles]: アンインストールで消すゲームのファイル(ゲームが作るもの)。\n"
    "// [delfiles]: files the game creates, removed when it is uninstalled.\n"
    "[delfiles]\n"
    "//   例 / example: config.dat\n"
    "-\n"
    "//\n"
    "// [delfiles_user]: セーブデータなど。アンインストール時に確認してから消します。\n"
    "// [delfiles_user]: the player's files, such as saved games; removed after asking.\n"
    "[delfiles_user]\n"
    "//   例 / example: save\\*.sav\n"
    "-\n"
    "//\n"
    "// [ini]: キー=値 の行。REP_INSTALL はインストール先、REP_CDROMDRIVE は CD-ROM の\n"
    "//   ルート(Q:\\ など)になります。\n"
    "// [ini]: key=value lines. REP_INSTALL becomes the installation folder,\n"
    "//   REP_CDROMDRIVE the CD-ROM drive's root (such as Q:\\).\n"
    "[ini]\n"
    "//   例 / example: InstallPath=REP_INSTALL\n"
    "-\n"
    "//\n"
    "// [reg]: \"名前\"=\"文字列\" の行(レジストリの書き出し形式)。REP_INSTALL と\n"
    "//   REP_CDROM が置き換わります。InstTo と IsInst は次回のインストール先の提案に使われます。\n"
    "// [reg]: \"name\"=\"text\" lines, as a registry export writes them. REP_INSTALL and\n"
    "//   REP_CDROM are replaced. InstTo and IsInst let the next installation propose\n"
    "//   the same folder.\n"
    "[reg]\n"
    "\"InstTo\"=\"REP_INSTALL\"\n"
    "\"IsInst\"=\"1\"\n"
    "-\n"
    "[EOF]\n";

const char kReadmeTemplate[] =
    "%TITLE%\n"
    "\n"
    "インストール\n"
    "  ディスクの setup.exe を起動し、[インストール] を押してください。\n"
    "\n"
    "アンインストール\n"
    "  スタートメニューの「%TITLE% アンインストール」を使ってください。\n";

std::string Fill(const char *text, const std::string &title, const std::string &folder) {
  std::string out;
  for (const char *p = text; *p; p++) {
    if (strncmp(p, "%TITLE%", 7) == 0) {
      out += title;
      p += 6;
    } else if (strncmp(p, "%FOLDER%", 8) == 0) {
      out += folder;
      p += 7;
    } else if (*p == '\n') {
      out += "\r\n";
    } else {
      out += *p;
    }
  }
  return out;
}

// The folder's own name in Shift-JIS when it can serve as title and folder name: it
// converts, it is a valid single file name without a blank, "|" or backslash byte, and
// it is short. Otherwise the placeholder.
std::string TitleFor(const std::string &folder) {
  std::string base = folder;
  size_t slash = base.rfind('/');
  if (slash != std::string::npos) base = base.substr(slash + 1);
  std::string sjis, error;
  if (!ConvertNameComponent(base, &sjis, &error) || sjis.empty() ||
      sjis.size() > kMaxTitleBytes || CheckEntryName(sjis.c_str(), false) != kNameOk) {
    return kFallbackTitle;
  }
  for (unsigned char c : base) {
    if (c <= ' ' || c == '|' || c == '\\' || c == '.') return kFallbackTitle;
  }
  return sjis;
}

// A calm vertical gradient with a lighter frame: a placeholder that shows where the
// picture goes and how large it is.
BgrImage PlaceholderPicture() {
  BgrImage image;
  image.width = kPictureWidth;
  image.height = kPictureHeight;
  image.bgr.resize((size_t)kPictureWidth * kPictureHeight * 3);
  for (int y = 0; y < kPictureHeight; y++) {
    for (int x = 0; x < kPictureWidth; x++) {
      unsigned char *p = &image.bgr[((size_t)y * kPictureWidth + x) * 3];
      bool frame = x < 4 || y < 4 || x >= kPictureWidth - 4 || y >= kPictureHeight - 4;
      p[0] = frame ? 230 : (unsigned char)(150 - y * 80 / kPictureHeight);  // blue
      p[1] = frame ? 230 : (unsigned char)(90 + y * 60 / kPictureHeight);   // green
      p[2] = frame ? 230 : (unsigned char)(40 + y * 20 / kPictureHeight);   // red
    }
  }
  return image;
}

bool IsEmptyOrMissingFolder(const std::string &folder, std::string *error) {
  struct stat info;
  if (stat(folder.c_str(), &info) != 0) {
    if (errno == ENOENT) return true;
    *error = "cannot look at " + folder + ": " + strerror(errno);
    return false;
  }
  if (!S_ISDIR(info.st_mode)) {
    *error = folder + " exists and is not a folder: choose a new folder name";
    return false;
  }
  return true;
}

}  // namespace

int RunInit(int argc, char **argv) {
  if (argc != 1 || argv[0][0] == '-') {
    fprintf(stderr, "usage: fernpack init <game-folder>\n");
    return 2;
  }
  std::string folder = argv[0];
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  std::string error;
  if (!IsEmptyOrMissingFolder(folder, &error)) {
    fprintf(stderr, "fernpack init: %s\n", error.c_str());
    return 1;
  }
  const char *const kNames[] = {"install.env", "insttscr.png", "readme.txt"};
  for (const char *name : kNames) {
    std::string path = folder + "/" + name;
    struct stat info;
    if (lstat(path.c_str(), &info) == 0) {
      fprintf(stderr, "fernpack init: %s already exists; init never overwrites a file: "
                      "choose a new folder or move the file away\n", path.c_str());
      return 1;
    }
  }
  if (mkdir(folder.c_str(), 0777) != 0 && errno != EEXIST) {
    fprintf(stderr, "fernpack init: cannot create %s: %s\n", folder.c_str(), strerror(errno));
    return 1;
  }
  std::string title = TitleFor(folder);
  std::string settings = Fill(kSettingsTemplate, title, title);
  std::string readme = Fill(kReadmeTemplate, title, title);
  std::vector<unsigned char> png;
  if (!WritePng(PlaceholderPicture(), &png, &error) ||
      !SaveFileBytes(folder + "/insttscr.png", png, &error) ||
      !SaveFileBytes(folder + "/install.env",
                     std::vector<unsigned char>(settings.begin(), settings.end()), &error) ||
      !SaveFileBytes(folder + "/readme.txt",
                     std::vector<unsigned char>(readme.begin(), readme.end()), &error)) {
    fprintf(stderr, "fernpack init: %s\n", error.c_str());
    return 1;
  }
  std::string shown;
  if (!SjisToUtf8(title, &shown)) shown = kFallbackTitle;
  printf("wrote %s/install.env, insttscr.png and readme.txt for \"%s\"\n", folder.c_str(),
         shown.c_str());
  printf("next: put the game's files in %s, set EXENAME to its program, then\n"
         "  fernpack pack %s -o setup.exe\n", folder.c_str(), folder.c_str());
  return 0;
}
