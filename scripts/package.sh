#!/usr/bin/env bash
# package.sh [BUILD_DIR]: builds the Debian package qxsim_VERSION_ARCH.deb in
# BUILD_DIR (default build-package) with `cpack -G DEB` and checks it with
# lintian. Needs what scripts/setup.sh installs, plus dpkg-dev, file and
# lintian (installed here when missing; that part needs root).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-package}
scripts/setup.sh >/dev/null
need=()
for p in dpkg-dev file lintian; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || need+=("$p")
done
if ((${#need[@]})); then
  echo "package: installing ${need[*]}"
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
fi
# The package holds the programs only: no tests or benchmarks to build. The
# compiler and linker flags are Debian's (hardening included).
eval "$(dpkg-buildflags --export=sh)"
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
  -DQX_BUILD_TESTS=OFF -DQX_BUILD_BENCHMARKS=OFF >/dev/null
cmake --build "$build" -j"$(nproc)"
rm -f "$build"/qxsim_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
deb=$(ls "$build"/qxsim_*.deb)
echo "package: $deb"
dpkg-deb --field "$deb" Package Version Architecture Installed-Size Depends Recommends Suggests
# lintian's findings: errors fail the build; the warnings are explained in
# the README's "Install" section.
lintian --no-tag-display-limit "$deb" || { echo "package: lintian found errors" >&2; exit 1; }
