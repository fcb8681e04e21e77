#!/usr/bin/env bash
# Checks the licence of every library the shipped programs link, as a customer's lawyer would:
# each must be one a proprietary program may link (LGPL, MIT, BSD and the like, or the GCC
# runtime with its exception); a GPL-only library, or one whose licence cannot be found, fails.
#
#   scripts/check-licences.sh linux PROGRAM...   the ELF programs: their NEEDED libraries, the
#                                                Debian packages that own them (dpkg -S) and
#                                                those packages' copyright files
#   scripts/check-licences.sh windows DIR        every .exe and .dll under DIR (the unpacked
#                                                zip): their imports (objdump -p); each must be
#                                                part of Windows or shipped in DIR, and each
#                                                shipped DLL's licence is that of the Debian
#                                                package it comes from
#
# Prints one line per library with its package and licence; exits 1 when any fails.
set -euo pipefail

usage() {
    echo "usage: $0 linux PROGRAM... | $0 windows DIR" >&2
    exit 2
}
[ $# -ge 2 ] || usage
platform="$1"
shift

# The licences (Debian's short names) a proprietary program may link or ship beside itself.
# "A or B" passes when one of them does.
allowed_one() {
    local licence
    licence="$(printf '%s' "$1" | tr '[:upper:]' '[:lower:]' | sed 's/^ *//; s/ *$//')"
    case "$licence" in
        lgpl-2 | lgpl-2+ | lgpl-2.0 | lgpl-2.0+ | lgpl-2.1 | lgpl-2.1+ | lgpl-3 | lgpl-3+) return 0 ;;
        expat | mit | bsd-2-clause | bsd-3-clause | isc | zlib | zpl-2.1 | public-domain) return 0 ;;
        boost-1.0 | apache-2.0 | mpl-2.0) return 0 ;;
        "gpl-3+ with gcc-exception-3.1") return 0 ;;
    esac
    return 1
}

# Why a licence fails, or nothing when it passes.
verdict() {
    local licence="$1" rest alternative
    [ -n "$licence" ] || { echo "licence unknown"; return; }
    rest="$licence"
    while [ -n "$rest" ]; do
        alternative="${rest%% or *}"
        allowed_one "$alternative" && return
        [ "$alternative" = "$rest" ] && break
        rest="${rest#* or }"
    done
    case "$(printf '%s' "$licence" | tr '[:upper:]' '[:lower:]')" in
        gpl-* | agpl-*) echo "GPL only" ;;
        *) echo "not on the allowed list" ;;
    esac
}

# The licence of a Debian package as its copyright file states it: in the machine-readable
# format, the licence of the stanza for all files ("Files: *"); in free text, what the text
# itself grants, for the runtimes that still use free text.
package_licence() {
    local file="/usr/share/doc/$1/copyright"
    [ -r "$file" ] || return 0
    if head -1 "$file" | grep -q '^Format:'; then
        awk '/^Files: *\*[[:space:]]*$/ { files = 1; next }
             files && /^License:/ { sub(/^License: */, ""); print; exit }
             /^$/ { files = 0 }' "$file"
    elif grep -q 'GCC RUNTIME LIBRARY EXCEPTION' "$file"; then
        echo "GPL-3+ with GCC-exception-3.1"
    elif grep -q 'GNU C Library' "$file" && grep -q 'GNU Lesser General Public' "$file"; then
        echo "LGPL-2.1+"
    fi
}

# The Debian package that installed a file, trying the merged-/usr twin of its path too.
owner_of() {
    local path="$1" candidate
    for candidate in "$path" "$(readlink -f "$path")" "/usr${path#/usr}" "${path#/usr}"; do
        [ -n "$candidate" ] || continue
        dpkg -S "$candidate" 2> /dev/null | head -1 | cut -d: -f1 && return 0
    done
    return 0
}

failures=0
report() {
    local what="$1" package="$2" licence="$3" why
    why="$(verdict "$licence")"
    [ -n "$package" ] || why="no Debian package owns it"
    if [ -n "$why" ]; then
        printf 'FAIL  %-40s %-28s %-34s %s\n' "$what" "${package:--}" "${licence:--}" "$why"
        failures=$((failures + 1))
    else
        printf 'ok    %-40s %-28s %s\n' "$what" "$package" "$licence"
    fi
}

check_linux() {
    local program library path package
    for program in "$@"; do
        [ -f "$program" ] || { echo "no such program: $program" >&2; exit 2; }
        echo "== $(basename "$program")"
        # The paths the dynamic loader picks for them.
        declare -A found=()
        while read -r name _ resolved _; do
            [ -n "$resolved" ] && found[$name]="$resolved"
        done < <(ldd "$program" | sed -n -e 's/^\t\(\S*\) => \(\S*\) .*/\1 x \2/p' \
            -e 's|^\t\(/\S*/\)\(\S*\) .*|\2 x \1\2|p')
        for library in $(objdump -p "$program" | awk '/^ *NEEDED/ { print $2 }'); do
            path="${found[$library]:-}"
            package=""
            [ -n "$path" ] && package="$(owner_of "$path")"
            report "$library" "$package" "$(package_licence "$package")"
        done
        unset found
    done
}

# Whether a DLL is part of Windows itself: Wine carries its own build of each, and the
# runtimes that Windows does not carry (Visual C++'s) are excluded.
windows_dlls="${RV740X_WINDOWS_DLLS:-/usr/lib/x86_64-linux-gnu/wine/x86_64-windows}"
part_of_windows() {
    local name
    name="$(printf '%s' "$1" | tr '[:upper:]' '[:lower:]')"
    case "$name" in
        msvcp* | vcruntime* | msvcr[0-9]* | concrt* | vcomp* | mfc* | d3dx*) return 1 ;;
    esac
    [ -e "$windows_dlls/$name" ] || [[ "$name" == api-ms-win-* ]]
}

# The Debian package a shipped DLL comes from: Qt's libraries from the same Qt module built for
# this machine (Qt6Core.dll: libQt6Core.so.6), Qt's plugins from Qt Gui's, anything else from
# the package that installed a file of that name for the cross compiler.
package_of_dll() {
    local file="$1" name
    name="$(basename "$file")"
    if [[ "$name" == Qt6*.dll ]]; then
        owner_of "/usr/lib/x86_64-linux-gnu/lib${name%.dll}.so.6"
    elif [ "$(dirname "$file")" != "$root" ]; then
        owner_of /usr/lib/x86_64-linux-gnu/libQt6Gui.so.6
    else
        dpkg -S "*/$name" 2> /dev/null | grep -m1 -i mingw | cut -d: -f1 || true
    fi
}

check_windows() {
    root="$(cd "$1" && pwd)"
    local objdump=x86_64-w64-mingw32-objdump file import shipped name
    local -A shipped_names=()
    while IFS= read -r -d '' file; do
        name="$(basename "$file" | tr '[:upper:]' '[:lower:]')"
        shipped_names[$name]=1
    done < <(find "$root" -iname '*.dll' -print0)
    while IFS= read -r -d '' file; do
        echo "== ${file#"$root"/}"
        for import in $("$objdump" -p "$file" | sed -n 's/^\tDLL Name: //p' | tr -d '\r'); do
            name="$(printf '%s' "$import" | tr '[:upper:]' '[:lower:]')"
            if [ -n "${shipped_names[$name]:-}" ]; then
                echo "      $import: shipped"
            elif part_of_windows "$import"; then
                echo "      $import: Windows"
            else
                printf 'FAIL  %-40s neither shipped nor part of Windows\n' "$import"
                failures=$((failures + 1))
            fi
        done
    done < <(find "$root" \( -iname '*.exe' -o -iname '*.dll' \) -print0 | sort -z)
    echo "== shipped libraries"
    while IFS= read -r -d '' shipped; do
        local package
        package="$(package_of_dll "$shipped")"
        report "${shipped#"$root"/}" "$package" "$(package_licence "$package")"
    done < <(find "$root" -iname '*.dll' -print0 | sort -z)
}

case "$platform" in
    linux) check_linux "$@" ;;
    windows) check_windows "$1" ;;
    *) usage ;;
esac

if [ "$failures" -ne 0 ]; then
    echo "licence check: $failures failures"
    exit 1
fi
echo "licence check: every linked library may be shipped with a proprietary program"
