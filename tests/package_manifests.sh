#!/usr/bin/env bash
# The winget and Scoop manifests that scripts/package.sh writes, for the
# build's own setup program and a ZIP made from the build, checked against
# the published schemas kept in tools/setup/schemas/ and against the files'
# real hashes and the ZIP's folder.
#
#   package_manifests.sh <build folder> <version>
set -euo pipefail
build=$1 version=$2
source_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
(cd "$work" && cpack --config "$build/CPackConfig.cmake" -G ZIP -B "$work" -D CPACK_OUTPUT_FILE_PREFIX="$work" >/dev/null)
zip="$work/tarvel-$version-win64.zip" setup="$build/package/tarvel-$version-setup.exe"
bash "$source_dir/tools/setup/write_manifests.sh" "$version" "$setup" "$zip" "$work/manifests"

# Debian's python3 with its python3-jsonschema and python3-yaml, not a
# python3 that PATH may name first.
/usr/bin/python3 - "$source_dir/tools/setup/schemas" "$work/manifests" "$setup" "$zip" "$version" <<'EOF'
import glob, hashlib, json, os, sys, zipfile
import jsonschema, yaml
schemas, manifests, setup, package, version = sys.argv[1:]
def load_schema(name):
    return json.load(open(os.path.join(schemas, name), encoding="utf-8"))
def sha256(path):
    return hashlib.sha256(open(path, "rb").read()).hexdigest()
types = set()
for path in sorted(glob.glob(os.path.join(manifests, "winget", "*.yaml"))):
    manifest = yaml.safe_load(open(path, encoding="utf-8"))
    kind = manifest["ManifestType"]
    types.add(kind)
    jsonschema.validate(manifest, load_schema(f"winget/manifest.{kind}.1.10.0.json"))
    assert manifest["PackageVersion"] == version, path
    if kind == "installer":
        assert manifest["Installers"][0]["InstallerSha256"] == sha256(setup).upper(), "not the setup program's hash"
locales = len(glob.glob(os.path.join(manifests, "winget", "*.locale.*.yaml")))
assert types == {"version", "installer", "defaultLocale", "locale"} and locales == 11, (types, locales)
scoop = json.load(open(os.path.join(manifests, "scoop", "tarvel.json"), encoding="utf-8"))
jsonschema.validate(scoop, load_schema("scoop/schema.json"))
assert scoop["architecture"]["64bit"]["hash"] == sha256(package), "not the ZIP's hash"
folders = {name.split("/")[0] for name in zipfile.ZipFile(package).namelist()}
assert folders == {scoop["extract_dir"]} and scoop["version"] == version, (folders, scoop["extract_dir"])
print(f"winget: {len(types)} kinds, {locales} locales; scoop: extract_dir {scoop['extract_dir']}; all valid")
EOF
