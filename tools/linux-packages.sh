#!/usr/bin/env bash
# The Linux packages of Pelmora, from this source tree:
#   tools/linux-packages.sh OUT          the Debian packages (libpelmora1,
#                                        libpelmora-dev, pelmora,
#                                        python3-pelmora,
#                                        libsqlite3-mod-pelmora) and the
#                                        Python wheel, into OUT
#   tools/linux-packages.sh --test OUT   the same, then lintian (no error or
#                                        warning), the packages installed on
#                                        this machine, used as a user would
#                                        (debian/tests/installed), the wheel
#                                        installed in a plain virtual
#                                        environment offline, and everything
#                                        purged again, with nothing left
# The packages are built (dpkg-buildpackage) in a copy of the files git
# tracks, in build/linux-packages (BUILD_ROOT overrides build/); every time
# stamp is that of debian/changelog or the last commit (SOURCE_DATE_EPOCH).
# Installing and purging needs root, as the test command runs.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${BUILD_ROOT:-$root/build}/linux-packages
test=false
if [ "${1:-}" = --test ]; then
  test=true
  shift
fi
[ $# -eq 1 ] || { echo "usage: tools/linux-packages.sh [--test] OUT" >&2; exit 2; }
out=$(mkdir -p "$1" && cd "$1" && pwd)
if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
  SOURCE_DATE_EPOCH=$(git -C "$root" log -1 --format=%ct)
fi
export SOURCE_DATE_EPOCH

# A copy of the tracked files as they are in the work tree: the packages'
# source, without build trees or anything else lying about.
rm -rf "$build"
mkdir -p "$build/src"
(cd "$root" && git ls-files -z | xargs -0 cp --parents -t "$build/src")
log=$build/build.log
if ! (cd "$build/src" && dpkg-buildpackage -us -uc -b) >"$log" 2>&1; then
  tail -n 40 "$log" >&2
  echo "linux-packages: dpkg-buildpackage failed (log: $log)" >&2
  exit 1
fi
packages=(libpelmora1 libpelmora-dev pelmora python3-pelmora libsqlite3-mod-pelmora)
version=$(cd "$build/src" && dpkg-parsechangelog -S Version)
arch=$(dpkg --print-architecture)
changes=$build/pelmora_${version}_${arch}.changes
rm -f "$out"/*.deb "$out"/pelmora-*.whl
for package in "${packages[@]}"; do
  cp "$build/${package}_${version}_${arch}.deb" "$out/"
done

# The wheel, for a virtual environment: Debian's setuptools and wheel, with
# nothing downloaded.
PELMORA_BUILD_DIR=$build/wheel-tree /usr/bin/python3 -m pip wheel -q --no-build-isolation \
  --no-deps --disable-pip-version-check -w "$out" "$build/src/python" >>"$log" 2>&1 ||
  { tail -n 40 "$log" >&2; echo "linux-packages: the wheel failed (log: $log)" >&2; exit 1; }
ls "$out"/*.deb "$out"/pelmora-*.whl

$test || exit 0

echo "linux-packages: lintian"
if ! lintian --fail-on error,warning "$changes" >"$build/lintian.txt" 2>&1; then
  cat "$build/lintian.txt" >&2
  echo "linux-packages: lintian reports errors or warnings" >&2
  exit 1
fi
grep -v '^running with root privileges' "$build/lintian.txt" || true

echo "linux-packages: installed, used and purged"
debs=()
for package in "${packages[@]}"; do debs+=("$out/${package}_${version}_${arch}.deb"); done
DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${debs[@]}" \
  >>"$log" 2>&1 || { tail -n 20 "$log" >&2; exit 1; }
files=$(dpkg -L "${packages[@]}" | sort -u)
status=0
"$root/debian/tests/installed" || status=1
DEBIAN_FRONTEND=noninteractive apt-get purge -y -q "${packages[@]}" >>"$log" 2>&1
left=""
while read -r path; do
  [ -e "$path" ] && [ ! -d "$path" ] && left="$left $path"
done <<<"$files"
if [ -n "$left" ]; then
  echo "linux-packages: left after the purge:$left" >&2
  status=1
fi
for package in "${packages[@]}"; do
  # Purged: dpkg knows nothing of it, or "pn" / "un" (not installed).
  case $(dpkg-query -W -f='${db:Status-Abbrev}' "$package" 2>/dev/null || true) in
    "" | ?n*) ;;
    *) echo "linux-packages: $package is not purged" >&2; status=1 ;;
  esac
done

echo "linux-packages: the wheel in a plain virtual environment, offline"
rm -rf "$build/venv"
/usr/bin/python3 -m venv "$build/venv"
"$build/venv/bin/pip" install -q --no-index --disable-pip-version-check "$out"/pelmora-*.whl
got=$(cd "$build" && "$build/venv/bin/python" -c 'import pelmora; print(pelmora.grid_from_lat_long(52.5, 13.4))')
[ "$got" = JO62qm ] || { echo "linux-packages: the wheel gave '$got'" >&2; status=1; }
exit $status
