#!/usr/bin/env bash
# Writes the manifests that winget and Scoop install Tarvel from, for the
# files about to be published:
#
#   write_manifests.sh VERSION SETUP.exe PACKAGE.zip FOLDER
#
#   FOLDER/winget/   the multi-file winget manifest set for the setup program
#                    (schema 1.10.0): Tarvel.Tarvel.yaml (version),
#                    Tarvel.Tarvel.installer.yaml and
#                    Tarvel.Tarvel.locale.<language>.yaml, en-US the default
#   FOLDER/scoop/tarvel.json   the Scoop manifest for the ZIP
#
# TARVEL_DOWNLOAD_URL is the address of the folder the two files are
# published in, {version} standing for the version; its default is
# https://github.com/tarvel/tarvel/releases/download/v{version} (a GitHub
# release tagged v<version>).  For a GitHub release, Scoop looks for new
# versions among the repository's releases; elsewhere, on the page at the
# address's host, which must name the ZIPs.  Called by scripts/package.sh;
# the schemas they follow are in tools/setup/schemas/.
set -euo pipefail
version=$1 setup=$2 zip=$3 out=$4
download=${TARVEL_DOWNLOAD_URL:-https://github.com/tarvel/tarvel/releases/download/v\{version\}}
download=${download%/}
[[ $download == *'{version}'* ]] || { echo "TARVEL_DOWNLOAD_URL has no {version}: $download" >&2; exit 1; }
folder_url=${download//\{version\}/$version}
setup_url="$folder_url/$(basename "$setup")"
zip_url="$folder_url/$(basename "$zip")"
# Scoop's autoupdate puts each new version where $version stands.
zip_template="${download//\{version\}/\$version}/$(basename "$zip" | sed "s/$version/\$version/g")"
if [[ $download =~ ^(https://github\.com/[^/]+/[^/]+)/releases/download/ ]]; then
    homepage=${BASH_REMATCH[1]}
    checkver="{ \"github\": \"$homepage\" }"
else
    homepage=$(sed -E 's#^([a-z]+://[^/]+).*#\1#' <<<"$download")
    checkver="{ \"url\": \"$homepage\", \"regex\": \"tarvel-([\\\\d.]+)-win64\\\\.zip\" }"
fi
setup_hash=$(sha256sum "$setup" | cut -d' ' -f1)
zip_hash=$(sha256sum "$zip" | cut -d' ' -f1)
# The ZIP's one top folder, which Scoop extracts.
top=$(unzip -Z1 "$zip" | awk -F/ 'NR == 1 { print $1 }')  # reads it all: no SIGPIPE for unzip under pipefail

id=Tarvel.Tarvel
short="Switch windows with a mouse button."
mkdir -p "$out/winget" "$out/scoop"
rm -f "$out"/winget/*.yaml
header() {  # $1: the manifest's type
    printf '# Written by scripts/package.sh\n# yaml-language-server: $schema=https://aka.ms/winget-manifest.%s.1.10.0.schema.json\n\n' "$1"
    printf 'PackageIdentifier: %s\nPackageVersion: %s\n' "$id" "$version"
}
footer() { printf 'ManifestType: %s\nManifestVersion: 1.10.0\n' "$1"; }

{ header version; printf 'DefaultLocale: en-US\n'; footer version; } >"$out/winget/$id.yaml"

# Per user, no administrator rights; what the setup program writes under
# HKCU\...\Uninstall\Tarvel is what winget knows an installed copy by.
{
    header installer
    cat <<EOF
InstallerType: nullsoft
Scope: user
InstallModes:
- interactive
- silent
UpgradeBehavior: install
ElevationRequirement: elevationProhibited
InstallationMetadata:
  DefaultInstallLocation: '%LOCALAPPDATA%\\Programs\\Tarvel'
AppsAndFeaturesEntries:
- DisplayName: Tarvel
  Publisher: Tarvel
  DisplayVersion: '$version'
  ProductCode: Tarvel
Installers:
- Architecture: x64
  InstallerUrl: '$setup_url'
  InstallerSha256: ${setup_hash^^}
EOF
    footer installer
} >"$out/winget/$id.installer.yaml"

{
    header defaultLocale
    cat <<EOF
PackageLocale: en-US
Publisher: Tarvel
PublisherUrl: '$homepage'
PackageName: Tarvel
PackageUrl: '$homepage'
License: MIT
ShortDescription: '$short'
Description: 'Tarvel sits beside the clock and turns a mouse button into a window switcher: press it, and Windows shows your open windows to pick one with the pointer. Choose the button, a long press or a corner of the screen; applications you name keep the button for themselves.'
Moniker: tarvel
Tags:
- mouse
- windows
- switcher
- tray
EOF
    footer defaultLocale
} >"$out/winget/$id.locale.en-US.yaml"

# The same short description in the languages Tarvel speaks besides English.
while IFS='|' read -r locale text; do
    { header locale; printf "PackageLocale: %s\nShortDescription: '%s'\n" "$locale" "$text"; footer locale; } \
        >"$out/winget/$id.locale.$locale.yaml"
done <<'EOF'
de-DE|Mit einer Maustaste zwischen Ihren Fenstern wechseln.
fr-FR|Passez d’une fenêtre à l’autre avec un bouton de la souris.
es-ES|Cambie de ventana con un botón del ratón.
it-IT|Passa da una finestra all’altra con un tasto del mouse.
pt-BR|Alterne entre suas janelas com um botão do mouse.
pl-PL|Przełączaj się między oknami za pomocą przycisku myszy.
ru-RU|Переключайтесь между окнами кнопкой мыши.
ja-JP|マウスのボタンでウィンドウを切り替えます。
zh-CN|用鼠标按键切换窗口。
ko-KR|마우스 버튼으로 창을 전환합니다.
EOF

cat >"$out/scoop/tarvel.json" <<EOF
{
    "version": "$version",
    "description": "$short",
    "homepage": "$homepage",
    "license": "MIT",
    "architecture": {
        "64bit": {
            "url": "$zip_url",
            "hash": "$zip_hash"
        }
    },
    "extract_dir": "$top",
    "shortcuts": [["tarvel-host.exe", "Tarvel"]],
    "checkver": $checkver,
    "autoupdate": {
        "architecture": {
            "64bit": { "url": "$zip_template" }
        }
    }
}
EOF
