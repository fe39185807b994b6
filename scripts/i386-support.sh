# Sourced helpers about running the shipped 32-bit programs (the i686 installer and
# uninstaller, and the 32-bit build of the unit tests).
#
# 32-bit Wine is not installed on the machine: scripts/i386-root.sh unpacks it, with the
# i386 libraries it needs, into a private root (build/i386-root), and the 32-bit programs
# run in a 64-bit prefix with its 32-bit half (WoW64), as players run them on 64-bit
# Windows. Where the kernel refuses 32-bit ELF programs ("Exec format error"), the root
# also holds qemu-i386, registered for them through binfmt_misc.

fern_top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
fern_i386_root=$fern_top/build/i386-root
fern_binfmt=/proc/sys/fs/binfmt_misc
fern_binfmt_entry=$fern_binfmt/fern-i386

# Writes a 32-bit ELF program that exits with 42.
fern_write_probe() {
  python3 - "$1" <<'PY'
import struct, sys
code = bytes([0xb8, 1, 0, 0, 0, 0xbb, 42, 0, 0, 0, 0xcd, 0x80])  # exit(42) via int 0x80
base, eh, ph = 0x08048000, 52, 32
e = b'\x7fELF' + bytes([1, 1, 1, 0]) + bytes(8)
e += struct.pack('<HHIIIIIHHHHHH', 2, 3, 1, base + eh + ph, eh, 0, 0, eh, ph, 1, 0, 0, 0)
size = eh + ph + len(code)
e += struct.pack('<IIIIIIII', 1, 0, base, base, size, size, 5, 0x1000)
open(sys.argv[1], 'wb').write(e + code)
PY
  chmod +x "$1"
}

# True when the kernel itself runs 32-bit programs. While our emulation is switched on,
# every 32-bit program goes through it, so the probe could not tell.
fern_kernel_i386() {
  fern_i386_emulated && return 1
  local probe
  probe=$(mktemp)
  fern_write_probe "$probe"
  "$probe" >/dev/null 2>&1
  local rc=$?
  rm -f "$probe"
  [ "$rc" -eq 42 ]
}

fern_i386_root_ready() { [ -f "$fern_i386_root/.fern-root" ]; }

# True when 32-bit programs run here through our emulation (registered and switched on).
fern_i386_emulated() {
  [ -e "$fern_binfmt_entry" ] && [ "$(head -n 1 "$fern_binfmt_entry")" = enabled ]
}

# Prints why the 32-bit programs cannot run here (nothing when they can, natively or
# under emulation).
fern_i686_unavailable() {
  if ! fern_i386_root_ready; then
    local why
    why=$(cat "$fern_i386_root.why" 2>/dev/null || true)
    echo "the private 32-bit Wine root could not be made${why:+ ($why)}"
  elif ! fern_i386_emulated && ! fern_kernel_i386; then
    if [ -e "$fern_binfmt_entry" ]; then
      echo "this kernel cannot run 32-bit programs and the qemu-i386 emulation is switched off"
    else
      echo "this kernel cannot run 32-bit programs and no qemu-i386 emulation could be registered"
    fi
  fi
}

# Registers the root's qemu-i386 for 32-bit ELF programs (as root). Flag F opens the
# emulator once, at registration, so it keeps working for every later program.
fern_enable_i386_emulation() {
  local qemu=$fern_i386_root/usr/bin/qemu-i386
  [ -x "$qemu" ] || return 1
  if [ -e "$fern_binfmt_entry" ]; then
    if grep -qxF "interpreter $qemu" "$fern_binfmt_entry"; then
      echo 1 > "$fern_binfmt_entry"
      return 0
    fi
    echo -1 > "$fern_binfmt_entry"
  fi
  [ -e "$fern_binfmt/register" ] || mount -t binfmt_misc binfmt_misc "$fern_binfmt"
  echo ":fern-i386:M::\\x7fELF\\x01\\x01\\x01\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x02\\x00\\x03\\x00:\\xff\\xff\\xff\\xff\\xff\\xfe\\xfe\\x00\\xff\\xff\\xff\\xff\\xff\\xff\\xff\\xff\\xfe\\xff\\xff\\xff:$qemu:F" \
    > "$fern_binfmt/register"
}

# Exports what Wine needs to start 32-bit programs from the root in a 64-bit prefix: the
# 64-bit loader copied beside the root's 32-bit one, the machine's wine server, the
# root's 32-bit DLLs and the root's i386 libraries (the C library is the host's 32-bit
# one).
fern_wow64_env() {
  local r=$fern_i386_root
  export FERN_WINE=$r/usr/lib/wine/wine64 WINELOADER=$r/usr/lib/wine/wine64
  export WINESERVER=/usr/lib/wine/wineserver64
  export WINEDLLPATH=$r/usr/lib/i386-linux-gnu/wine
  export LD_LIBRARY_PATH=$r/usr/lib/i386-linux-gnu:$r/lib/i386-linux-gnu${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}
}
