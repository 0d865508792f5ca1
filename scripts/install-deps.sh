#!/usr/bin/env bash
# Installs the Debian packages a job needs, only those missing.
#   install-deps.sh build     native build, bqlite and the native tests
#   install-deps.sh test      + sanitizers, MinGW cross builds, oracles, Wine and Xvfb
set -euo pipefail
what=${1:-build}

packages=(cmake ninja-build g++ make pkg-config libgtest-dev googletest zlib1g-dev lzma-dev libssl-dev python3 file)
if [ "$what" = test ]; then
  packages+=(libbenchmark-dev libssl-dev libcrypto++-dev rhash openssl hyperfine time bc
             clang libclang-rt-14-dev
             g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix mingw-w64-tools libz-mingw-w64-dev
             libwine-dev wine wine64 xvfb xauth imagemagick)
  # Each subsystem's oracles and fixture makers, one package a line (# starts a comment).
  for list in "$(dirname "$0")"/deps/*.txt; do
    [ -f "$list" ] || continue
    while read -r p _; do
      case "$p" in ""|"#"*) ;; *) packages+=("$p") ;; esac
    done < "$list"
  done
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "installing: ${missing[*]}" >&2
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO=sudo
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get -o DPkg::Lock::Timeout=600 update -qq
$SUDO apt-get install -y -qq -o DPkg::Lock::Timeout=600 "${missing[@]}" >/dev/null
