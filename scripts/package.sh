#!/usr/bin/env bash
# Builds the programs in build-pkg/ (Release) and packs them into a Debian package there,
# then checks that the package holds what a desktop installation needs.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
dir="${1:-$here/build-pkg}"
"$here/scripts/deps.sh"
cmake -S "$here" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr >/dev/null
cmake --build "$dir" -j "$(nproc)" --target tarvelo tarvelo-cli tarvelo-devsim tarvelo_data
(cd "$dir" && rm -f ./*.deb && cpack -G DEB >/dev/null)
deb="$(ls "$dir"/*.deb)"
contents="$(dpkg-deb -c "$deb")"
missing=0
for path in ./usr/bin/tarvelo ./usr/bin/tarvelo-cli ./usr/bin/tarvelo-devsim \
            ./usr/share/applications/tarvelo.desktop \
            ./usr/share/icons/hicolor/scalable/apps/tarvelo.svg \
            ./usr/share/icons/hicolor/48x48/apps/tarvelo.png \
            ./usr/share/mime/packages/tarvelo.xml \
            ./usr/share/tarvelo/help/index.html \
            ./usr/share/man/man1/tarvelo.1.gz ./usr/share/man/man1/tarvelo-cli.1.gz \
            ./usr/share/man/man1/tarvelo-devsim.1.gz; do
  if ! grep -q " $path\$" <<<"$contents"; then
    echo "missing from the package: $path" >&2
    missing=1
  fi
done
[ "$missing" -eq 0 ] || exit 1
dpkg-deb -f "$deb" Package Version Depends
echo "$deb"
