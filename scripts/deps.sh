#!/usr/bin/env bash
# Installs the Debian packages a target needs, or says how to.
#   scripts/deps.sh build|run|test
set -euo pipefail

build=(g++ g++-multilib binutils make grub-pc-bin grub-common grub-efi-amd64-bin grub-efi-ia32-bin xorriso mtools)
# For the tests, qemu-user runs the 32-bit fuzz targets on machines whose
# kernel cannot.
case "${1:-build}" in
  build) want=("${build[@]}") ;;
  run)   want=("${build[@]}" qemu-system-x86 qemu-system-gui gdb) ;;
  test)  want=("${build[@]}" qemu-system-x86 ovmf libgtest-dev valgrind python3 clang libclang-rt-14-dev qemu-user) ;;
  *) echo "usage: $0 build|run|test" >&2; exit 2 ;;
esac

missing=()
for p in "${want[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

cmd="apt-get install -y --no-install-recommends ${missing[*]}"
if [ "$(id -u)" -ne 0 ]; then
  echo "Missing packages: ${missing[*]}" >&2
  echo "Install them with:" >&2
  echo "    sudo apt-get update && sudo $cmd" >&2
  exit 1
fi
echo "Installing: ${missing[*]}"
apt-get update -q
DEBIAN_FRONTEND=noninteractive $cmd
