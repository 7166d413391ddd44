#!/usr/bin/env bash
# The release package and the setup program signed as scripts/package.sh signs
# them, with a throwaway self-signed certificate made here (a file without a
# password, signed without a time stamp), and every signature verified against it: the programs and DLLs of the package, those
# the setup program carries, its uninstaller and the setup program itself.
#
#   package_signing.sh <build folder> <makensis> <tarvel.nsi> <the setup program's defines...>
set -euo pipefail
build=$1 makensis=$2 script=$3
shift 3
source_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

openssl req -x509 -newkey rsa:2048 -nodes -subj "/CN=Tarvel signing test" -days 1 \
    -keyout key.pem -out cert.pem 2>/dev/null
openssl pkcs12 -export -inkey key.pem -in cert.pem -out cert.pfx -passout pass:
export TARVEL_SIGN_PFX=$work/cert.pfx TARVEL_SIGN_PASSWORD=

# Without a time-stamp server nothing is signed, and the message names the variable.
cp "$build/bin/tarvel-host.exe" unsigned.exe
if refusal=$(bash "$source_dir/scripts/sign.sh" unsigned.exe 2>&1); then
    echo "signed without a time stamp"; exit 1
fi
grep -q TARVEL_SIGN_TIMESTAMP <<<"$refusal" && cmp -s unsigned.exe "$build/bin/tarvel-host.exe"
export TARVEL_SIGN_TIMESTAMP=none

# What the ZIP holds, and the setup program's staging, as the build makes them.
cmake --install "$build" --prefix "$work/package" --strip >/dev/null
cmake -DBUILD="$build" -DSTAGE="$work/stage" -DOUTPUT="$work/files.nsh" \
    -P "$(dirname "$script")/setup_files.cmake"
# makensis signs the uninstaller under a temporary name and keeps it inside
# the setup program; this sign command also keeps a copy of what it signed.
cat >keep_signed.sh <<KEEP
set -e
bash "$source_dir/scripts/sign.sh" "\$1"
cp "\$1" "$work/signed-\$(basename "\$1")"
KEEP
"$makensis" -V2 -WX "$@" -DFILES="$work/files.nsh" -DOUTFILE="$work/tarvel-setup.exe" \
    "-DSIGN=bash \"$work/keep_signed.sh\"" "$script"

mapfile -t binaries < <(find package stage -iname '*.exe' -o -iname '*.dll')
mapfile -t kept < <(find . -maxdepth 1 -name 'signed-*' ! -name signed-tarvel-setup.exe)
echo "programs and DLLs: ${#binaries[@]} (tarvel.dll, tarvel-bridge.dll, tarvel-host.exe and the" \
    "app switcher, twice), uninstallers signed: ${#kept[@]} (1)"
[ "${#binaries[@]}" -ge 8 ] && [ "${#kept[@]}" -eq 1 ]
bash "$source_dir/scripts/sign.sh" --verify cert.pem "${binaries[@]}" "${kept[@]}" tarvel-setup.exe
