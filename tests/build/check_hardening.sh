#!/usr/bin/env bash
# Checks the hardening of built Windows programs on the host:
#   - DEP (NX_COMPAT) and ASLR (DYNAMIC_BASE) flags, and relocations kept, or
#     the loader cannot move the image and ASLR is void;
#   - marked aware of terminal servers (TERMINAL_SERVER_AWARE), or a Remote
#     Desktop server gives the program a per-user Windows folder;
#   - the stack protector's guard linked in (-fstack-protector-strong);
#   - only system DLLs imported: the programs are static and ship alone.
# Usage: check_hardening.sh <objdump> <nm> program.exe...
set -uo pipefail

objdump="$1" nm="$2"
shift 2

# DLLs every Windows installation has; anything else would have to ship
# beside the program.
kSystemDlls=" kernel32.dll user32.dll gdi32.dll advapi32.dll msvcrt.dll ole32.dll oleaut32.dll comctl32.dll \
 comdlg32.dll shell32.dll shlwapi.dll ws2_32.dll wsock32.dll winmm.dll imm32.dll version.dll uxtheme.dll \
 winspool.drv rpcrt4.dll crypt32.dll bcrypt.dll ntdll.dll gdiplus.dll msimg32.dll oledlg.dll urlmon.dll \
 wininet.dll winhttp.dll iphlpapi.dll secur32.dll userenv.dll dwmapi.dll atl.dll "

failures=0
Fail() {
    echo "FAIL $1: $2"
    failures=$((failures + 1))
}

for exe in "$@"; do
    if [ ! -f "$exe" ]; then
        Fail "$exe" "missing"
        continue
    fi
    name="$(basename "$exe")"
    headers="$("$objdump" -p "$exe")" || { Fail "$name" "objdump cannot read it"; continue; }

    dllChars="$(sed -n 's/^DllCharacteristics[[:space:]]*\([0-9a-fA-F]*\).*/\1/p' <<<"$headers")"
    fileChars="$(sed -n 's/^Characteristics[[:space:]]*0x\([0-9a-fA-F]*\).*/\1/p' <<<"$headers")"
    [ -n "$dllChars" ] || { Fail "$name" "no DllCharacteristics"; continue; }
    (((0x$dllChars & 0x0100) != 0)) || Fail "$name" "DEP off (NX_COMPAT missing, DllCharacteristics $dllChars)"
    (((0x$dllChars & 0x0040) != 0)) || Fail "$name" "ASLR off (DYNAMIC_BASE missing, DllCharacteristics $dllChars)"
    (((0x$dllChars & 0x8000) != 0)) ||
        Fail "$name" "not terminal-server aware (TERMINAL_SERVER_AWARE missing, DllCharacteristics $dllChars)"
    (((0x${fileChars:-1} & 0x0001) == 0)) || Fail "$name" "relocations stripped: the image cannot be moved"
    "$objdump" -h "$exe" | grep -q '[[:space:]]\.reloc[[:space:]]' || Fail "$name" "no .reloc section"

    symbols="$("$nm" "$exe" 2>/dev/null)"
    if [ -n "$symbols" ]; then
        grep -q '_stack_chk_guard$' <<<"$symbols" || Fail "$name" "no stack protector guard"
    else
        echo "note $name: stripped, stack protector not checked"
    fi

    while read -r dll; do
        lower="$(tr 'A-Z' 'a-z' <<<"$dll")"
        case "$kSystemDlls" in
            *" $lower "*) ;;
            *) Fail "$name" "imports non-system DLL $dll" ;;
        esac
    done < <(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$headers")

    imports="$(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$headers" | tr '\n' ' ')"
    echo "checked $name: DllCharacteristics $dllChars, imports $imports"
done

if [ $failures != 0 ]; then
    echo "$failures hardening failure(s)"
    exit 1
fi
echo "all hardened"
