#!/bin/sh
# feed.dll exports exactly its ordinals (99 to 131 but for the six unused ones, then the calls
# added since: the reader's 132 to 142, and 143 on) and no names,
# and imports only from system DLLs and TARN.dll (the C and C++ runtimes and winpthread are
# linked in). Usage: check-dll-exports.sh OBJDUMP FEED_DLL
set -eu
objdump=$1
dll=$2

wanted="99 100 101 102 103 104 105 107 108 109 111 112 113 115 116 117 118 119 120 121 122 123
124 125 126 130 131 132 133 134 135 136 137 138 139 140 141 142 143 144 145"
system_dlls="advapi32.dll kernel32.dll msvcrt.dll ntdll.dll ole32.dll oleaut32.dll ucrtbase.dll
user32.dll"
engine_functions="CreateAudioVideoSync CreateCallBackMediaAcceptor CreateEmptySource
CreateSimpleCompositeSource SelectSources"

dump=$("$objdump" -p "$dll")
status=0

# "[   3] +base[ 102] 2130 Export RVA": one line per used slot of the address table.
ordinals=$(printf '%s\n' "$dump" |
    sed -n 's/^[[:space:]]*\[[[:space:]]*[0-9]*\][[:space:]]*+base\[[[:space:]]*\([0-9]*\)\].*/\1/p' |
    sort -n | tr '\n' ' ' | sed 's/ $//')
wanted=$(echo $wanted)
if [ "$ordinals" != "$wanted" ]; then
    echo "exported ordinals: $ordinals"
    echo "wanted:            $wanted"
    status=1
fi

names=$(printf '%s\n' "$dump" | sed -n 's/^[[:space:]]*\[Name Pointer\/Ordinal\] Table[[:space:]]*\([0-9a-fA-F]*\).*/\1/p' |
    head -n 1)
if [ -z "$names" ] || [ $((0x$names)) -ne 0 ]; then
    echo "the export table holds names (count: ${names:-none found})"
    status=1
fi

imports=$(printf '%s\n' "$dump" | sed -n 's/^[[:space:]]*DLL Name:[[:space:]]*//p' |
    tr 'A-Z' 'a-z' | tr -d '\r' | sort -u)
for dll_name in $imports; do
    case " $(echo $system_dlls) tarn.dll " in
        *" $dll_name "*) ;;
        *) echo "imports from $dll_name, which is neither a system DLL nor TARN.dll"; status=1 ;;
    esac
done
case " $(echo $imports) " in
    *" tarn.dll "*) ;;
    *) echo "does not import TARN.dll"; status=1 ;;
esac

# The engine's functions as imported: names, with the 32-bit '@bytes' suffix taken off.
engine=$(printf '%s\n' "$dump" | awk '
    /DLL Name:/ { inside = (tolower($3) == "tarn.dll"); next }
    inside && /^[[:space:]]*$/ { inside = 0 }
    inside && $1 ~ /^[0-9a-f]+$/ && NF == 3 { sub(/@[0-9]+$/, "", $3); print $3 }' |
    sort | tr '\n' ' ' | sed 's/ $//')
if [ "$engine" != "$(echo $engine_functions)" ]; then
    echo "imported from TARN.dll: $engine"
    echo "wanted:                 $(echo $engine_functions)"
    status=1
fi

if [ $status -eq 0 ]; then
    echo "$(echo $ordinals | wc -w) exports by ordinal, no names; imports: $(echo $imports)"
fi
exit $status
