#!/usr/bin/env bash
# Start-up with settings: the single-instance guard named with the title, and a settings
# file whose section is left open.
source "$(dirname "$0")/lib.sh"
T=$'\t'

scenario "a second start with the same title says so and ends with 0; the first goes on"
make_game "$WORK/game" "ふぇるん冒険記"
pack_game "$WORK/game" "$WORK/setup.exe"
before=$(workfolders)
drive <<END || true
clear-clipboard
launch${T}first${T}$(winpath "$WORK/setup.exe")
wait-window${T}first${T}#32770${T}ふぇるん冒険記 スタートアップ${T}60000
launch${T}second${T}$(winpath "$WORK/setup.exe")
wait-box${T}second${T}60000
caption
text
clipboard
click${T}1
wait-exit${T}second${T}60000
wait-window${T}first${T}#32770${T}ふぇるん冒険記 スタートアップ${T}1000
close
wait-exit${T}first${T}60000
END
expect "caption${T}ふぇるん冒険記"
expect "text${T}[ ふぇるん冒険記 スタートアップ ] は既に起動中です"
expect "clipboard${T}"
check "both ended with 0" [ "$(grep -c "^exit${T}0$" "$OUT")" -eq 2 ]
check "both instances removed their WorkFolders" [ "$(workfolders)" -eq "$before" ]

scenario "installers with different titles run side by side"
drive <<END || true
hold-mutex${T}別のゲーム スタートアップ
launch${T}other${T}$(winpath "$WORK/setup.exe")
wait-window${T}other${T}#32770${T}ふぇるん冒険記 スタートアップ${T}60000
close
wait-exit${T}other${T}60000
END
expect "exit${T}0"

scenario "an unclosed [reg] section stops the installer with -1, naming the section"
make_game "$WORK/open"
printf '[reg]\r\n"IsInst"="1"\r\n' >> "$WORK/open/install.env"
"$(dirname "$FERNPACK")/pack_unreviewed" "$WORK/open" "$WORK/open.exe" "$STUB"
for answer in 2 4; do  # Cancel and Retry end the program alike
  before=$(workfolders)
  drive <<END || true
clear-clipboard
launch${T}setup${T}$(winpath "$WORK/open.exe")
wait-box${T}setup${T}60000
text
clipboard
click${T}$answer
wait-exit${T}setup${T}60000
END
  expect "text${T}[設定.env]の[reg]が終了していません"
  expect "clipboard${T}[設定.env]の[reg]が終了していません"
  expect "exit${T}-1"
  # This road leaves the WorkFolder behind; the test clears it up.
  check "the WorkFolder stays" [ "$(workfolders)" -eq "$((before + 1))" ]
  find "$(wine_temp_dir)" -maxdepth 1 -name 'TempQVInstallFolder_*' -newer "$WORK/open.exe" \
    -exec rm -rf {} +
done

finish
