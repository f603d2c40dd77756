#!/usr/bin/env bash
# Pelmora.dll's import and export tables: it imports only system DLLs (the
# runtime is linked in statically) and no maths function from any of them
# (sine, cosine and arc tangent are its own, the same bits on every host),
# and exports exactly the four entry points, by their undecorated names.
#   dll_table_test.sh OBJDUMP PELMORA_DLL
set -euo pipefail
objdump=$1
dll=$2

table=$("$objdump" -p "$dll")
imports=$(sed -n 's/^\s*DLL Name: //p' <<<"$table" | tr 'a-z' 'A-Z' | sort)
exports=$(sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/p' <<<"$table" |
  sed -n 's/^\s*\[ *[0-9]*\] //p' | sort)

status=0
allowed="ADVAPI32.DLL KERNEL32.DLL MSVCRT.DLL OLE32.DLL OLEAUT32.DLL"
for dll_name in $imports; do
  case " $allowed " in
    *" $dll_name "*) ;;
    *) echo "unexpected import: $dll_name"; status=1 ;;
  esac
done

# Imported function names: the last word of the lines after each DLL Name.
functions=$(sed -n '/^\s*DLL Name:/,/^$/{/DLL Name:/d;/Hint\/Ord/d;/^$/d;p}' <<<"$table" | awk '{print $NF}')
maths=$(grep -E -x '_?(CI)?(a?(sin|cos|tan)h?|atan2|exp|log|log10|log2|pow|sqrt|hypot|fmod|cbrt)[fl]?' \
  <<<"$functions" || true)
if [ -n "$maths" ]; then
  echo "imports maths functions: $(echo $maths)"
  status=1
fi

expected=$(printf '%s\n' DllCanUnloadNow DllGetClassObject DllRegisterServer DllUnregisterServer)
if [ "$exports" != "$expected" ]; then
  echo "exports differ:"; diff <(echo "$expected") <(echo "$exports") || true
  status=1
fi

[ $status -eq 0 ] && echo "imports: $(echo $imports); exports: $(echo $exports)"
exit $status
