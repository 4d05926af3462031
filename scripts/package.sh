#!/usr/bin/env bash
# Makes the Debian package: sets up, builds the release preset (without the
# tests) and runs CPack. Prints the path of the .deb on stdout.
#   scripts/package.sh
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh
cmake --preset release -DTALVENOR_BUILD_TESTS=OFF >/dev/null
cmake --build --preset release -j"$(nproc)" >&2
# dpkg-shlibdeps, run by CPack, prints its notes on stderr.
(cd build/release && cpack -G DEB >&2)
deb=$(ls -t build/release/talvenor_*.deb | head -n1)
echo "$PWD/$deb"
