# Sourced helpers about running 32-bit x86 Linux programs (the 32-bit Wine loader).
# Some virtual machines' kernels refuse 32-bit ELF programs outright ("Exec format
# error"). There the 32-bit Wine loader can still run under qemu-user through binfmt_misc,
# but every 32-bit Windows process then costs minutes, so the test suite runs the 64-bit
# build of the same sources under 64-bit Wine, and the 32-bit installer gets its own
# scenario run (make test-i686).

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

# True when the kernel itself runs 32-bit programs (no emulation registered by us).
fern_kernel_i386() {
  [ -e "$fern_binfmt_entry" ] && return 1
  local probe
  probe=$(mktemp)
  fern_write_probe "$probe"
  "$probe" >/dev/null 2>&1
  local rc=$?
  rm -f "$probe"
  [ "$rc" -eq 42 ]
}

fern_wine32_installed() {
  dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q "install ok installed"
}

# True when 32-bit Wine runs natively here: the whole suite then runs the 32-bit build.
fern_native_i386() {
  fern_wine32_installed && fern_kernel_i386
}

# Prints why the 32-bit installer cannot run here at all (nothing when it can, natively
# or under emulation).
fern_i686_unavailable() {
  if ! fern_wine32_installed; then
    echo "32-bit Wine (wine32:i386) is not installed; see the set-up's message"
  elif ! fern_kernel_i386; then
    if [ ! -e "$fern_binfmt_entry" ] || [ ! -x /usr/bin/qemu-i386-static ]; then
      echo "this kernel cannot run 32-bit programs and no qemu-i386 emulation is registered"
    elif [ "$(head -n 1 "$fern_binfmt_entry")" != enabled ]; then
      echo "this kernel cannot run 32-bit programs and the qemu-i386 emulation is switched off"
    fi
  fi
}

# Registers qemu-i386 for 32-bit ELF programs when the kernel cannot run them.
fern_enable_i386_emulation() {
  fern_kernel_i386 && return 0
  [ -e "$fern_binfmt_entry" ] && { echo 1 > "$fern_binfmt_entry"; return 0; }
  [ -e "$fern_binfmt/register" ] || mount -t binfmt_misc binfmt_misc "$fern_binfmt"
  echo ':fern-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386-static:F' \
    > "$fern_binfmt/register"
}
