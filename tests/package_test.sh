#!/usr/bin/env bash
# Installs and packages a build folder as a user would, and checks what comes out:
#   package_test.sh BUILD_FOLDER TOOL...
# `cmake --install` must put exactly the tools in bin/ and their compressed pages in
# share/man/man1/; the .deb that cpack makes must hold exactly those under /usr, carry
# its control fields, depend on exactly the packages that own the libraries the tools
# link, and its ringetch must run from another folder. Every failure is reported
# before the exit status says so; everything is made, and removed, in one temporary
# folder.
set -uo pipefail
build="$1"
shift
tools=("$@")
failures=0
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

fail()
{
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

# The files that an installed tree holds, given the folder it is installed under
# (empty for the prefix itself).
expected_files()
{
    local tool
    for tool in "${tools[@]}"; do
        echo "${1:+$1/}bin/$tool"
        echo "${1:+$1/}share/man/man1/$tool.1.gz"
    done | sort
}

# The Debian package that owns the library file at path, the /usr-merged alias tried
# too; empty when none does.
owning_package()
{
    local path candidate
    path="$1"
    for candidate in "$path" "/usr$path" "$(readlink -f "$path")"; do
        dpkg -S "$candidate" 2>/dev/null | head -n 1 | cut -d: -f1 && return
    done
}

[[ ${#tools[@]} -gt 0 ]] || fail "no tools named"

# Installing writes install_manifest.txt into the build folder; whatever was there
# before is put back at the end.
manifest="$build/install_manifest.txt"
[[ ! -f "$manifest" ]] || cp "$manifest" "$work/manifest"
restore_manifest()
{
    if [[ -f "$work/manifest" ]]; then mv "$work/manifest" "$manifest"; else rm -f "$manifest"; fi
    rm -rf "$work"
}
trap restore_manifest EXIT

# 1. cmake --install into a prefix of our own.
if cmake --install "$build" --prefix "$work/prefix" >"$work/install.log" 2>&1; then
    installed=$(cd "$work/prefix" && find . \( -type f -o -type l \) | sed 's|^\./||' | sort)
    [[ "$installed" == "$(expected_files)" ]] ||
        fail "cmake --install put (left), expected (right):"$'\n'"$(diff <(echo "$installed") <(expected_files))"
else
    fail "cmake --install failed:"$'\n'"$(cat "$work/install.log")"
fi

# 2. The package, built in our folder.
if ! cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/package" >"$work/cpack.log" 2>&1; then
    fail "cpack failed:"$'\n'"$(cat "$work/cpack.log")"
    exit 1
fi
debs=("$work"/package/*.deb)
if [[ ${#debs[@]} -ne 1 || ! -f "${debs[0]}" ]]; then
    fail "cpack made ${#debs[@]} packages, not one: ${debs[*]}"
    exit 1
fi
deb="${debs[0]}"

# 3. Its files: the tools and pages under /usr, root's, and the folders that hold them.
contents=$(dpkg-deb -c "$deb")
packed=$(awk '$1 !~ /^d/ { print $6 }' <<<"$contents" | sed 's|^\./||' | sort)
[[ "$packed" == "$(expected_files usr)" ]] ||
    fail "the package holds (left), expected (right):"$'\n'"$(diff <(echo "$packed") <(expected_files usr))"
folders=$(awk '$1 ~ /^d/ { print $6 }' <<<"$contents" | sort | tr '\n' ' ')
[[ "$folders" == "./usr/ ./usr/bin/ ./usr/share/ ./usr/share/man/ ./usr/share/man/man1/ " ]] ||
    fail "the package's folders: $folders"
strangers=$(awk '$2 != "root/root"' <<<"$contents")
[[ -z "$strangers" ]] || fail "entries not owned by root:"$'\n'"$strangers"

# 4. Its control fields.
field() { dpkg-deb -f "$deb" "$1"; }
[[ "$(field Package)" == "ringetch" ]] || fail "Package: $(field Package)"
[[ "$(field Architecture)" == "$(dpkg --print-architecture)" ]] || fail "Architecture: $(field Architecture)"
[[ "$(field Maintainer)" =~ ^[^\<]+\ \<[^@\>]+@[^\>]+\>$ ]] || fail "Maintainer: $(field Maintainer)"
[[ -n "$(field Version)" ]] || fail "no Version"
description=$(field Description)
[[ $(wc -l <<<"$description") -ge 3 && -n "$(head -n 1 <<<"$description")" ]] ||
    fail "Description needs a summary line and a long description:"$'\n'"$description"

# 5. Its dependencies: exactly the packages that own the libraries its tools need.
dpkg-deb -x "$deb" "$work/root"
needed_packages=""
for tool in "${tools[@]}"; do
    binary="$work/root/usr/bin/$tool"
    for soname in $(objdump -p "$binary" | awk '$1 == "NEEDED" { print $2 }'); do
        path=$(ldd "$binary" | awk -v name="$soname" '$1 == name && $2 == "=>" { print $3 }')
        owner=$(owning_package "$path")
        [[ -n "$owner" ]] || fail "$tool needs $soname ($path), which no installed package owns"
        needed_packages+="$owner"$'\n'
    done
done
needed_packages=$(sort -u <<<"$needed_packages" | sed '/^$/d')
depends=$(field Depends | tr ',' '\n' | sed -E 's/^ +//; s/ .*$//' | sed '/^$/d' | sort -u)
[[ -n "$depends" && "$depends" == "$needed_packages" ]] ||
    fail "Depends (left) against the owners of the linked libraries (right):"$'\n'"$(diff <(echo "$depends") <(echo "$needed_packages"))"

# 6. The packaged ringetch runs from another folder, and its page formats cleanly.
mkdir "$work/elsewhere"
(cd "$work/elsewhere" && "$work/root/usr/bin/ringetch" size 3000000 image /dev/null <<<"exit" >"$work/run.out" 2>&1)
status=$?
[[ $status -eq 0 ]] && grep -q 'image "/dev/null" created succesfully.' "$work/run.out" ||
    fail "the packaged ringetch exited $status:"$'\n'"$(cat "$work/run.out")"
warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings=w -l "$work/root/usr/share/man/man1/ringetch.1.gz" 2>&1 >/dev/null)
[[ -z "$warnings" ]] || fail "the packaged page of ringetch:"$'\n'"$warnings"

if [[ $failures -gt 0 ]]; then
    echo "$failures package check(s) failed" >&2
    exit 1
fi
echo "$(basename "$deb"): ${tools[*]} with their pages; Depends: $(field Depends)"
