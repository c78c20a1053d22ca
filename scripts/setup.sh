#!/usr/bin/env bash
# Installs the Debian packages the project needs (only those missing) and
# builds it in ./build. Safe to run again: it does nothing that is done.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(
  build-essential cmake pkg-config
  zlib1g-dev libssl-dev openssl libgtest-dev libbenchmark-dev
  clang libclang-rt-14-dev
  python3 nodejs npm
  qt6-base-dev libqcustomplot-dev fonts-dejavu-core
  desktop-file-utils appstream groff-base
  libcairo2-dev parallel
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
# A Node.js from another source (with its own npm) serves as well.
if command -v node >/dev/null && command -v npm >/dev/null; then
  missing=("${missing[@]/nodejs}")
  missing=("${missing[@]/npm}")
fi
read -r -a missing <<< "${missing[*]}"
if ((${#missing[@]})); then
  echo "setup: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# The OPC peer tests run node-opcua, which needs Node.js 18 or newer (Debian
# 12's own nodejs is 18).
node_major=$(node -p 'process.versions.node.split(".")[0]' 2>/dev/null || echo 0)
if ((node_major < 18)); then
  echo "setup: Node.js 18 or newer is needed for the OPC peer tests; found $(node --version 2>/dev/null || echo none)." >&2
  echo "setup: install Debian 12's nodejs and npm (apt-get install nodejs npm) or put a newer node first on PATH." >&2
  exit 1
fi

cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j2
