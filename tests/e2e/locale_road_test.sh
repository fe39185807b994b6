#!/usr/bin/env bash
# The installer's road under other system code pages than Japanese. The same road runs
# three times, each in a child process of this script with its own FERN_LOCALE and so its
# own prefix: ja_JP.UTF-8 (code page 932, the reference), C.UTF-8 (1252) and zh_CN.UTF-8
# (936). Each child writes a snapshot of what a player and the machine see; this script
# checks the reference's texts by themselves (so that a garbled reference cannot pass)
# and reports every line in which another code page's snapshot differs from it.
#
# The package is titled 表示ソフト and its maker ソフト表工房: ソ and 表 end in the byte 0x5C
# in Shift-JIS, a backslash to every single-byte code page, so the title, the
# single-instance guard's name, the folders, the shortcuts and the registry keys all hold
# it. The disc lies in a folder named José, which Shift-JIS cannot write: the installer
# finds its own file by the folder's short name. The road: the menu and a second instance
# refused while it is open; a package without install.env; a temp folder named with "é"
# that has no short form (start-up refuses with a message); the installation into C:\ゲーム\表示ソフト typed into the folder
# dialog (the confirmation, the copy, a desktop shortcut, the completion); the access
# grant, whose batch job hands the folder to a stand-in cacls.exe that records its command
# line (a single-byte code page may make the batch file name the folder by its short
# name, which is read back in its long form); the installed tree, the INI file's bytes,
# the registry keys and values the installation added (reg export, UTF-16), the
# shortcuts; then the uninstaller, after which nothing it removes may be left.
#
#   locale_road_test.sh                                   the three roads and the comparison
#   locale_road_test.sh --road <locale> <packages> <snapshot>   one road (the child)
source "$(dirname "$0")/lib.sh"
T=$'\t'
TITLE='表示ソフト'
MENU="$TITLE スタートアップ"
MAKER='ソフト表工房'
EXE='ソフト表.exe'
FOLDER_WIN='C:\ゲーム\表示ソフト'
INI_WIN='C:\ゲーム\ソフト表.ini'
PROPOSAL="C:\\Program Files\\$MAKER\\$TITLE"
REFERENCE=ja_JP.UTF-8
LOCALES=("$REFERENCE" C.UTF-8 zh_CN.UTF-8)
declare -A CODE_PAGE=([ja_JP.UTF-8]=932 [C.UTF-8]=1252 [zh_CN.UTF-8]=936)
# The snapshot's parts, in the order of the road, with what each holds.
PARTS=(menu nosettings temp install grant placed tree ini registry links uninstall remains)
declare -A PART=(
  [menu]="the menu and a second instance (driver output)"
  [nosettings]="the start-up failure box of a package without install.env (driver output)"
  [temp]="the start-up failure box of a temp folder Shift-JIS cannot name (driver output)"
  [install]="the installation's windows (driver output)"
  [grant]="the access grant: cacls's command line, the folder in its long form"
  [placed]="what the installation added to C:\\, the Start menu and the desktop"
  [tree]="the installed files: name, size, time, SHA-256"
  [ini]="the INI file"
  [registry]="the registry keys and values the installation added or changed"
  [links]="the shortcuts read through the shell link object"
  [uninstall]="the uninstaller's boxes (driver output)"
  [remains]="what is left after the uninstaller"
)

# snapshot_tool tree <dir> | ini <file> | regdelta <before.reg>... -- <after.reg>... <new-keys
# file>: the snapshot's normalised forms. Names are shown as UTF-8 (the Linux side's form
# of Windows names); bytes that are not UTF-8 or Shift-JIS are escaped.
snapshot_tool() {
  python3 - "$@" <<'PY'
import hashlib, os, re, sys

def show(raw):
    return raw.decode('utf-8', 'backslashreplace')

def tree(root):
    root = os.fsencode(root)
    if not os.path.isdir(root):
        print('no folder')
        return
    lines = []
    for folder, dirs, files in os.walk(root):
        for d in dirs:
            lines.append(os.path.relpath(os.path.join(folder, d), root) + b'/')
        for f in files:
            path = os.path.join(folder, f)
            st = os.stat(path)
            digest = hashlib.sha256(open(path, 'rb').read()).hexdigest()[:16]
            lines.append(b'%s\t%d\t%d\tsha256:%s' % (os.path.relpath(path, root), st.st_size,
                                                      int(st.st_mtime), digest.encode()))
    for line in sorted(lines):
        print(show(line))

def ini(path):
    if not os.path.isfile(path):
        print('no file')
        return
    data = open(path, 'rb').read()
    print('bytes %d sha256:%s' % (len(data), hashlib.sha256(data).hexdigest()[:16]))
    try:
        text = data.decode('cp932')
    except UnicodeDecodeError:
        print('not Shift-JIS: ' + data.hex())
        return
    for line in text.split('\r\n'):
        print(line.replace('\r', '\\r').replace('\n', '\\n'))

ROOTS = {'HKEY_LOCAL_MACHINE': 'HKLM', 'HKEY_CURRENT_USER': 'HKCU'}

def read_reg(path):
    keys = {}
    if not os.path.isfile(path):
        return keys
    text = open(path, 'rb').read().decode('utf-16')
    current, pending = None, ''
    for line in text.splitlines():
        line = pending + line.strip() if pending else line
        pending = ''
        if re.search(r',\\$', line):
            pending = line[:-1]
            continue
        if line.startswith('[') and line.endswith(']'):
            head, _, rest = line[1:-1].partition('\\')
            current = ROOTS.get(head, head) + '\\' + rest
            keys[current] = []
        elif current is not None and line:
            m = re.match(r'^(@|"((?:[^"\\]|\\.)*)")=(.*)$', line)
            if not m:
                continue
            name = '@' if m.group(1) == '@' else re.sub(r'\\(.)', r'\1', m.group(2))
            value = m.group(3)
            if value.startswith('"') and value.endswith('"'):
                value = re.sub(r'\\(.)', r'\1', value[1:-1])
            keys[current].append(name + '=' + value)
    return keys

# Wine's own settings change as programs run.
def noise(key):
    return (key + '\\').startswith('HKCU\\Software\\Wine\\')

def regdelta(args):
    split = args.index('--')
    before, after = {}, {}
    for path in args[:split]:
        before.update(read_reg(path))
    for path in args[split + 1:-1]:
        after.update(read_reg(path))
    new_tops = []
    for key, values in after.items():
        if noise(key) or (key in before and before[key] == values):
            continue
        if key in before:
            print('changed ' + key)
            for value in values:
                if value not in before[key]:
                    print('  ' + value)
            continue
        print('new ' + key)
        for value in values:
            print('  ' + value)
        parent = key.rpartition('\\')[0]
        if parent in before:
            new_tops.append(key)
    for key in before:
        if key not in after and not noise(key):
            print('gone ' + key)
    with open(args[-1], 'w') as out:
        out.write(''.join(key + '\n' for key in new_tops))

{'tree': lambda a: tree(a[0]), 'ini': lambda a: ini(a[0]),
 'regdelta': regdelta}[sys.argv[1]](sys.argv[2:])
PY
}

# ---------------------------------------------------------------------------------------
# The child: one road under FERN_LOCALE, in that locale's prefix.
if [ "${1:-}" = --road ]; then
  LOCALE=$2 PACKAGES=$3 SNAP=$4
  mkdir -p "$SNAP"
  C=$WINEPREFIX/drive_c
  FOLDER=$C/ゲーム/表示ソフト
  PROGRAMS_WIN='C:\ProgramData\Microsoft\Windows\Start Menu\Programs'
  PROGRAMS=$C/ProgramData/Microsoft/Windows/Start\ Menu/Programs
  DESKTOP_WIN='C:\users\Public\Desktop'
  DESKTOP=$C/users/Public/Desktop
  UNINSTALL_ROOT='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'
  PENDING_KEY='HKLM\System\CurrentControlSet\Control\Session Manager'
  SYSTEM_CACLS=$C/windows/system32/cacls.exe
  TEMP_DIR=$(wine_temp_dir)
  export FERN_RECORD_ARGS
  FERN_RECORD_ARGS=$(winpath "$WORK/cacls.log")
  export WINEDLLOVERRIDES="$WINEDLLOVERRIDES;cacls.exe=n"
  # The programs of one road come close together; a server that stays up for 15 s after
  # the last of them keeps each start fast (the test run's own prefix has one already).
  wineserver -p15 < /dev/null > /dev/null 2>&1 || true

  win "$WORK/codepage.out" "$WIN_DIR/read_link.exe" codepage - || true
  cut -f2 "$WORK/codepage.out" > "$SNAP/codepage"

  # The protected uninstaller copy's random folder name, the same in every road.
  kept_name() { sed -E 's/\\Fernstall\\[0-9A-F]{16}/\\Fernstall\\<copy>/g'; }
  # The names in a folder, one a line (UTF-8 as Linux sees them).
  names_in() { { ls -A "$1" 2> /dev/null || true; } | LC_ALL=C sort; }
  # Lines of the second file that the first lacks.
  added() { LC_ALL=C comm -13 "$1" "$2"; }
  export_road_keys() {
    wine_reg export "$UNINSTALL_ROOT" "$(winpath "$WORK/$1-uninstall.reg")" /y || true
    wine_reg export 'HKCU\Software' "$(winpath "$WORK/$1-user.reg")" /y || true
  }
  registry_delta() {
    snapshot_tool regdelta "$WORK/before-uninstall.reg" "$WORK/before-user.reg" -- \
      "$WORK/$1-uninstall.reg" "$WORK/$1-user.reg" "$WORK/$1-new-keys"
  }

  # What the road leaves in the prefix: the road's own names, and the uninstaller's copy
  # in the temp folder, pending deletion at the next start of Windows. The reference's
  # prefix is shared with every other scenario: only those go there. Another locale's
  # prefix is this scenario's own: everything found new since the start goes too,
  # whatever names a code page gave it, and its programs end.
  remove_named() {
    rm -rf "$C/ゲーム" "$PROGRAMS/$MAKER" "$DESKTOP/$TITLE.LNK"
    wine_reg delete "HKCU\\Software\\$MAKER" /f || true
    wine_reg delete "HKLM\\Software\\$MAKER" /f || true
    wine_reg delete "$UNINSTALL_ROOT\\QvApp$TITLE" /f || true
  }
  cleanup_road() {
    local list name
    remove_named
    remove_new_kept_copies
    added "$WORK/temp.before" <(names_in "$TEMP_DIR") | grep '^FernUninstall_' |
      while IFS= read -r name; do rm -rf "${TEMP_DIR:?}/$name"; done
    if [ "$had_pending" = no ]; then
      wine_reg delete "$PENDING_KEY" /v PendingFileRenameOperations /f || true
    fi
    if [ "$LOCALE" != "$REFERENCE" ]; then
      for list in "$WORK"/*-new-keys; do
        [ -f "$list" ] || continue
        while IFS= read -r name; do wine_reg delete "$name" /f || true; done < "$list"
      done
      added "$WORK/c.before" <(names_in "$C") | while IFS= read -r name; do rm -rf "${C:?}/$name"; done
      added "$WORK/programs.before" <(names_in "$PROGRAMS") |
        while IFS= read -r name; do rm -rf "$PROGRAMS/$name"; done
      added "$WORK/desktop.before" <(names_in "$DESKTOP") |
        while IFS= read -r name; do rm -rf "$DESKTOP/$name"; done
      added "$WORK/temp.before" <(names_in "$TEMP_DIR") |
        while IFS= read -r name; do rm -rf "$TEMP_DIR/$name"; done
      wineserver -k > /dev/null 2>&1 || true
    fi
    if [ -f "$SYSTEM_CACLS.fern-saved" ]; then mv -f "$SYSTEM_CACLS.fern-saved" "$SYSTEM_CACLS"; fi
  }
  # What an earlier run cut short may have left under the road's names, and Wine's cacls.
  remove_named
  if [ -f "$SYSTEM_CACLS.fern-saved" ]; then mv -f "$SYSTEM_CACLS.fern-saved" "$SYSTEM_CACLS"; fi
  names_in "$C" > "$WORK/c.before"
  names_in "$PROGRAMS" > "$WORK/programs.before"
  names_in "$DESKTOP" > "$WORK/desktop.before"
  names_in "$TEMP_DIR" > "$WORK/temp.before"
  had_pending=no
  wine_reg query "$PENDING_KEY" /v PendingFileRenameOperations && had_pending=yes
  export_road_keys before
  cp -p "$SYSTEM_CACLS" "$SYSTEM_CACLS.fern-saved"
  on_exit cleanup_road
  cp "$WIN_DIR/record_args.exe" "$SYSTEM_CACLS"

  # road_drive <part>: runs a driver script from stdin; its output (shown) becomes the
  # part of the snapshot, a failing step as the driver's FAIL line. The installer's batch
  # job inherits the driver's output and echoes its commands into it, at no fixed place
  # and in the console's code page: only the driver's own lines are kept.
  road_drive() {
    echo "--- $LOCALE: ${PART[$1]}"
    cat > "$WORK/script.txt"
    "$FERN_WINE" "$DRIVER" "$(winpath "$WORK/script.txt")" > "$OUT.raw" 2> "$WORK/driver.err" \
      < /dev/null || true
    tr -d '\r' < "$OUT.raw" | { grep -aE $'^(FAIL: |  |[a-z-]+(\t|$))' || true; } > "$SNAP/$1"
    sed 's/^/    /' "$SNAP/$1"
  }

  road_drive menu <<END
launch${T}first${T}$(winpath "$PACKAGES/setup.exe")
wait-window${T}first${T}#32770${T}*${T}20000
caption
controls
launch${T}second${T}$(winpath "$PACKAGES/setup.exe")
wait-box${T}second${T}15000
caption
text
click${T}1
wait-exit${T}second${T}15000
wait-window${T}first${T}#32770${T}*${T}1000
close
wait-exit${T}first${T}15000
END

  road_drive nosettings <<END
clear-clipboard
launch${T}setup${T}$(winpath "$PACKAGES/nosettings.exe")
wait-box${T}setup${T}15000
caption
text
clipboard
click${T}1
wait-exit${T}setup${T}15000
END

  # A temp folder whose name has a character Shift-JIS cannot write ("é") and no short
  # form (it does not exist): start-up says so and ends, rather than unpack into a folder
  # named with "?" in its place. Programs take TEMP and TMP from the registry.
  wine_reg export 'HKCU\Environment' "$(winpath "$WORK/environment.reg")" /y
  restore_environment() {
    wine_reg delete 'HKCU\Environment' /v TEMP /f || true
    wine_reg delete 'HKCU\Environment' /v TMP /f || true
    wine_reg import "$(winpath "$WORK/environment.reg")" || true
  }
  on_exit restore_environment
  wine_reg add 'HKCU\Environment' /v TEMP /d 'C:\nowhere\José' /f
  wine_reg add 'HKCU\Environment' /v TMP /d 'C:\nowhere\José' /f
  road_drive temp <<END
clear-clipboard
launch${T}setup${T}$(winpath "$PACKAGES/setup.exe")
wait-box${T}setup${T}15000
text
clipboard
click${T}1
wait-exit${T}setup${T}15000
END
  restore_environment

  road_drive install <<END
launch${T}setup${T}$(winpath "$PACKAGES/setup.exe")
wait-window${T}setup${T}#32770${T}*${T}20000
click-label${T}インストール
wait-window${T}setup${T}#32770${T}インストール先のフォルダの指定${T}15000
controls
type${T}1000${T}$FOLDER_WIN
click${T}1
wait-box${T}setup${T}15000
caption
text
click${T}6
wait-closed${T}10000
wait-window${T}setup${T}#32770${T}ショートカットの作成${T}60000
controls
click${T}1
wait-window${T}setup${T}#32770${T}インストール終了${T}15000
controls
click${T}1
wait-exit${T}setup${T}15000
END

  echo "--- $LOCALE: ${PART[grant]}"
  # The batch job runs hidden and on its own; without an installation there is none.
  grant_wait=3
  [ -d "$FOLDER" ] && grant_wait=30
  wait_for "$grant_wait" test -s "$WORK/cacls.log" || true
  wait_for 10 test ! -e "$TEMP_DIR/Fernstall_fullaccess.bat" || true
  {
    if [ -s "$WORK/cacls.log" ]; then
      echo "runs $(wc -l < "$WORK/cacls.log")"
      record=$(head -n 1 "$WORK/cacls.log" | tr -d '\r')
      echo "program ${record%%"$T"*}"
      line=${record#*"$T"}
      # "<cacls>" "<folder>" <options>: the folder as given and in its long form.
      given=$(sed -n 's/^"[^"]*" "\([^"]*\)".*/\1/p' <<< "$line")
      echo "command ${line/"\"$given\""/\"<folder>\"}"
      if win "$WORK/long.out" "$WIN_DIR/read_link.exe" long "$given"; then
        echo "folder $(cut -f2 "$WORK/long.out")"
      else
        echo "folder unresolvable: $given"
      fi
    else
      echo "cacls never ran"
    fi
    if [ -e "$TEMP_DIR/Fernstall_fullaccess.bat" ]; then echo "the batch file was left behind"; fi
  } > "$SNAP/grant"
  sed 's/^/    /' "$SNAP/grant"

  echo "--- $LOCALE: the machine after the installation"
  {
    added "$WORK/c.before" <(names_in "$C") | sed 's/^/C:\\/'
    added "$WORK/programs.before" <(names_in "$PROGRAMS") | while IFS= read -r name; do
      (cd "$PROGRAMS" && find "$name" | LC_ALL=C sort | sed 's|/|\\|g; s/^/Start menu: /')
    done
    added "$WORK/desktop.before" <(names_in "$DESKTOP") | sed 's/^/desktop: /'
  } > "$SNAP/placed"
  snapshot_tool tree "$FOLDER" > "$SNAP/tree"
  snapshot_tool ini "$(unix_path "$INI_WIN")" > "$SNAP/ini"
  export_road_keys installed
  {
    registry_delta installed
    if reg_key_exists "HKLM\\Software\\$MAKER\\$TITLE"; then echo "the administrator probe key is there"; fi
  } | kept_name > "$SNAP/registry"
  {
    added "$WORK/programs.before" <(names_in "$PROGRAMS") | while IFS= read -r name; do
      (cd "$PROGRAMS" && find "$name" -type d | LC_ALL=C sort) | while IFS= read -r folder; do
        label="Start menu\\${folder//\//\\}"
        links_in "$PROGRAMS_WIN\\${folder//\//\\}" | while IFS= read -r link; do
          echo "$label: $link"
        done
      done
    done | LC_ALL=C sort
    # Only the shortcuts the road added; the desktop may hold others.
    links_in "$DESKTOP_WIN" | awk -F'\t' 'NR == FNR { new[$0]; next } ($1 in new) { print "desktop: " $0 }' \
      <(added "$WORK/desktop.before" <(names_in "$DESKTOP")) -
  } | kept_name > "$SNAP/links"
  sed 's/^/    /' "$SNAP/placed" "$SNAP/tree" "$SNAP/ini" "$SNAP/registry" "$SNAP/links"

  road_drive uninstall < <(uninstall_walk "$FOLDER_WIN")

  echo "--- $LOCALE: ${PART[remains]}"
  export_road_keys uninstalled
  {
    if [ -e "$FOLDER" ]; then echo "the InstallFolder: $(cd "$FOLDER" && find . | LC_ALL=C sort | tr '\n' ' ')"; fi
    added "$WORK/c.before" <(names_in "$C") | sed 's/^/C:\\/'
    added "$WORK/programs.before" <(names_in "$PROGRAMS") | sed 's/^/Start menu: /'
    added "$WORK/desktop.before" <(names_in "$DESKTOP") | sed 's/^/desktop: /'
    registry_delta uninstalled
    if reg_key_exists "HKLM\\Software\\$MAKER\\$TITLE"; then echo "the administrator probe key is left"; fi
    for name in $(added <(echo "$KEPT_BEFORE" | LC_ALL=C sort) <(names_in "${KEPT_ROOTS[0]}")); do
      echo "protected copy: $(names_in "${KEPT_ROOTS[0]}/$name" | tr '\n' ' ')"
    done
  } > "$SNAP/remains"
  sed 's/^/    /' "$SNAP/remains"
  exit 0
fi

# ---------------------------------------------------------------------------------------
# The parent: the packages, the three roads, the checks.
game=$WORK/game
make_game "$game" "$TITLE"
cp "$WIN_DIR/record_run.exe" "$game/$EXE"
mkdir -p "$game/表データ/表"
printf '表示ソフトのデータ\r\n' | iconv -f UTF-8 -t CP932 > "$game/表データ/ソース説明.txt"
python3 -c 'import random, sys; r = random.Random(5); sys.stdout.buffer.write(bytes(r.getrandbits(8) for _ in range(40000)))' \
  > "$game/表データ/表/ソフト.dat"
touch -d '2008-05-12 09:30:00 UTC' "$game/$EXE" "$game/表データ/ソース説明.txt"
touch -d '2010-01-31 23:59:58 UTC' "$game/表データ/表/ソフト.dat" "$game/readme.txt"
{
  printf '%s\r\n' "REG_GLOBAL${T}$MAKER" "REG_LOCAL${T}$TITLE" "INST_GROUP${T}$MAKER" \
    "INSTFOL${T}$MAKER" "INSTTO${T}$TITLE" "EXENAME${T}$EXE" "INSTREADME${T}説明書" \
    "INSTREADMEFL${T}表データ\\ソース説明.txt" "INI_FILE${T}$INI_WIN" "INI_SECTION${T}表示設定"
  printf '%s\r\n' '[ini]' 'インストール先=REP_INSTALL' 'ソフト名=表示ソフト' \
    'データ表=REP_INSTALL\表データ' '-'
  printf '%s\r\n' '[reg]' '"InstTo"="REP_INSTALL"' '"名前"="ソフト\\表"' '"表示"="ソフト表示"' '-'
} | iconv -f UTF-8 -t CP932 >> "$game/install.env"
# The disc's folder is named with a character Shift-JIS cannot write: the installer finds
# its own file by the folder's short name.
packages=$WORK/José
mkdir -p "$packages" "$WORK/nosettings"
pack_game "$game" "$packages/setup.exe" --uninstaller "$WIN_DIR/UnInst.exe"
printf 'readme\r\n' > "$WORK/nosettings/readme.txt"
"$(dirname "$FERNPACK")/pack_unreviewed" "$WORK/nosettings" "$packages/nosettings.exe" "$STUB"

# Each locale runs in a prefix of its own: the default one that wine-env.sh names after
# it, or, when the caller chose the prefix, one beside it named likewise.
own_prefix=
[ "$WINEPREFIX" = "${FERN_CHOSEN_PREFIX:-}" ] || own_prefix=$WINEPREFIX
for locale in "${LOCALES[@]}"; do
  started=$SECONDS
  status=0
  prefix=
  [ -z "$own_prefix" ] || prefix=$own_prefix
  [ -z "$own_prefix" ] || [ "$locale" = "$REFERENCE" ] || prefix=$own_prefix-$locale
  if [ -n "$prefix" ]; then
    FERN_LOCALE=$locale WINEPREFIX=$prefix bash "$0" --road "$locale" "$packages" \
      "$WORK/snapshot-$locale" || status=$?
  else
    FERN_LOCALE=$locale bash "$0" --road "$locale" "$packages" "$WORK/snapshot-$locale" ||
      status=$?
  fi
  echo "the road under $locale took $((SECONDS - started)) s"
  if [ "$status" -ne 0 ]; then
    echo "FAILED: $locale: the road did not run to its end (exit code $status)"
    failures=$((failures + 1))
  fi
done

# The reference's own texts: what a Japanese player must see, whatever the others show.
ref=$WORK/snapshot-$REFERENCE
# want <part> <exact line>: the reference's part holds the line.
want() {
  if ! grep -qxF -- "$2" "$ref/$1" 2>/dev/null; then
    echo "FAILED: $REFERENCE: ${PART[$1]}: expected line: $2"
    failures=$((failures + 1))
  fi
}
# want_nothing <part>: the reference's part is empty.
want_nothing() {
  if [ -s "$ref/$1" ] || [ ! -e "$ref/$1" ]; then
    echo "FAILED: $REFERENCE: ${PART[$1]}: expected nothing, found:"
    sed 's/^/      /' "$ref/$1" 2>/dev/null
    failures=$((failures + 1))
  fi
}
scenario "the reference road under $REFERENCE shows the Japanese texts and names"
want menu "caption${T}$MENU"
want menu "control${T}1002${T}Button${T}インストール"
want menu "caption${T}$TITLE"
want menu "text${T}[ $MENU ] は既に起動中です"
check "both instances ended with 0" [ "$(grep -c "^exit${T}0$" "$ref/menu" 2>/dev/null)" = 2 ]
missing_text='起動に必要なファイルが不足しています。\nインストールの異常終了、起動するフォルダ異常、等を確認してください。'
want nosettings "text${T}$missing_text"
want nosettings "clipboard${T}$missing_text"
want nosettings "exit${T}-1"
temp_text='一時フォルダの名前に使用できない文字が含まれているため、起動できません。\n環境変数 TEMP を半角英数字だけのフォルダに設定して下さい。'
want temp "text${T}$temp_text"
want temp "clipboard${T}$temp_text"
want temp "exit${T}-1"
want install "control${T}1000${T}Edit${T}$PROPOSAL"
want install "text${T}[$FOLDER_WIN]にインストールします"
want install "exit${T}0"
want grant "runs 1"
want grant "command \"C:\\windows\\system32\\cacls.exe\" \"<folder>\" /e /g everyone:F"
want grant "folder $FOLDER_WIN"
want placed 'C:\ゲーム'
want placed "desktop: $TITLE.LNK"
want tree "$EXE${T}$(stat -c '%s' "$game/$EXE")${T}$(stat -c '%Y' "$game/$EXE")${T}sha256:$(sha256sum "$game/$EXE" | cut -c1-16)"
want tree "表データ/表/ソフト.dat${T}40000${T}$(stat -c '%Y' "$game/表データ/表/ソフト.dat")${T}sha256:$(sha256sum "$game/表データ/表/ソフト.dat" | cut -c1-16)"
want ini '[表示設定]'
want ini "インストール先=$FOLDER_WIN"
want ini 'ソフト名=表示ソフト'
want ini "データ表=$FOLDER_WIN\\表データ"
want registry "new HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\QvApp$TITLE"
want registry "  DisplayName=$TITLE"
KEPT_WIN='C:\Program Files\Common Files\Fernstall\<copy>'
want registry "  UninstallString=\"$KEPT_WIN\\UnInst.exe\""
want registry "new HKCU\\Software\\$MAKER\\$TITLE"
want registry "  InstTo=$FOLDER_WIN"
want registry '  名前=ソフト\表'
want registry '  表示=ソフト表示'
want registry "the administrator probe key is there"
want links "Start menu\\$MAKER\\$TITLE: $TITLE.LNK${T}$FOLDER_WIN\\$EXE${T}$FOLDER_WIN${T}$TITLE"
want links "Start menu\\$MAKER\\$TITLE: $TITLE 説明書.LNK${T}$FOLDER_WIN\\表データ\\ソース説明.txt${T}$FOLDER_WIN\\表データ${T}$TITLE"
want links "Start menu\\$MAKER\\$TITLE: $TITLE アンインストール.LNK${T}$KEPT_WIN\\UnInst.exe${T}$KEPT_WIN${T}$TITLE"
want links "desktop: $TITLE.LNK${T}$FOLDER_WIN\\$EXE${T}$FOLDER_WIN${T}$TITLE"
want uninstall "text${T}[$TITLE]をアンインストールします。\\nよろしいですか？"
want uninstall "text${T}アンインストールが完了しました。"
want uninstall "exit${T}0"
# The INI file stays by design (it may be shared), and with it C:\ゲーム; the protected
# copy's running program goes when Windows next starts.
if [ "$(cat "$ref/remains" 2>/dev/null)" != $'C:\\ゲーム\nprotected copy: UnInst.exe ' ]; then
  echo "FAILED: $REFERENCE: ${PART[remains]}: expected only C:\\ゲーム (the INI file) and the protected copy's program, found:"
  sed 's/^/      /' "$ref/remains" 2>/dev/null
  failures=$((failures + 1))
fi

# Every other code page against the reference, part by part, each differing line shown.
for locale in "${LOCALES[@]:1}"; do
  scenario "the road under $locale against $REFERENCE"
  snap=$WORK/snapshot-$locale
  if [ ! -s "$snap/codepage" ]; then
    echo "FAILED: $locale: no road ran to compare (its output is above)"
    failures=$((failures + 1))
    continue
  fi
  page=$(cut -f1 "$snap/codepage")
  check "$locale runs under code page ${CODE_PAGE[$locale]} (it ran under ${page:-none})" \
    [ "$page" = "${CODE_PAGE[$locale]}" ]
  for part in "${PARTS[@]}"; do
    diff -q "$ref/$part" "$snap/$part" > /dev/null 2>&1 && continue
    # Where the driver stopped, if it did: the line that explains the rest.
    stopped=$(grep -A1 '^FAIL: ' "$snap/$part" 2>/dev/null | sed 's/^  *//' | tr '\n' ' ' || true)
    stopped=${stopped% }
    echo "FAILED: $locale (code page $page): ${PART[$part]}: not as under $REFERENCE${stopped:+; the driver stopped: $stopped}" \
      "(- $REFERENCE, + $locale):"
    { diff -U0 "$ref/$part" "$snap/$part" 2>&1 || true; } | sed '1,2d; /^@@/d; s/^/      /'
    failures=$((failures + 1))
  done
done

finish
