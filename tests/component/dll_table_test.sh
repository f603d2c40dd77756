#!/usr/bin/env bash
# Pelmora.dll's import and export tables: it imports only system DLLs (the
# runtime is linked in statically) and exports exactly the four entry points,
# by their undecorated names.
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

expected=$(printf '%s\n' DllCanUnloadNow DllGetClassObject DllRegisterServer DllUnregisterServer)
if [ "$exports" != "$expected" ]; then
  echo "exports differ:"; diff <(echo "$expected") <(echo "$exports") || true
  status=1
fi

[ $status -eq 0 ] && echo "imports: $(echo $imports); exports: $(echo $exports)"
exit $status
