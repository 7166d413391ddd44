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
# cpack says why it failed on its standard output: shown only then.
if ! (cd "$work" && cpack --config "$build/CPackConfig.cmake" -G ZIP -B "$work" -D CPACK_OUTPUT_FILE_PREFIX="$work" \
      >"$work/cpack.log" 2>&1); then
    cat "$work/cpack.log"
    exit 1
fi
zip="$work/tarvel-$version-win64.zip" setup="$build/package/tarvel-$version-setup.exe"
bash "$source_dir/tools/setup/write_manifests.sh" "$version" "$setup" "$zip" "$work/manifests"

# Debian's python3 with its python3-jsonschema and python3-yaml, not a
# python3 that PATH may name first.
/usr/bin/python3 - "$source_dir/tools/setup/schemas" "$work/manifests" "$setup" "$zip" "$version" <<'EOF'
import glob, hashlib, json, os, sys, zipfile
import jsonschema, yaml
schemas, manifests, setup, package, version = sys.argv[1:]
schema = lambda name: json.load(open(os.path.join(schemas, name), encoding="utf-8"))
sha256 = lambda path: hashlib.sha256(open(path, "rb").read()).hexdigest()
kinds = []
for path in sorted(glob.glob(os.path.join(manifests, "winget", "*.yaml"))):
    manifest = yaml.safe_load(open(path, encoding="utf-8"))
    kinds.append(manifest["ManifestType"])
    jsonschema.validate(manifest, schema(f"winget/manifest.{kinds[-1]}.1.10.0.json"))
    assert manifest["PackageVersion"] == version, path
    if kinds[-1] == "installer":
        assert manifest["Installers"][0]["InstallerSha256"] == sha256(setup).upper(), "not the setup program's hash"
assert sorted(kinds) == ["defaultLocale", "installer"] + ["locale"] * 10 + ["version"], kinds
scoop = json.load(open(os.path.join(manifests, "scoop", "tarvel.json"), encoding="utf-8"))
jsonschema.validate(scoop, schema("scoop/schema.json"))
assert scoop["architecture"]["64bit"]["hash"] == sha256(package) and scoop["version"] == version, scoop
folders = {name.split("/")[0] for name in zipfile.ZipFile(package).namelist()}
assert folders == {scoop["extract_dir"]}, (folders, scoop["extract_dir"])
print(f"winget: {len(kinds)} files, scoop: extract_dir {scoop['extract_dir']}; valid, with the files' hashes")
EOF
