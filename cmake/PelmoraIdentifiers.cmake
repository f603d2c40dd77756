# Every identifier of Pelmora, written once. The IDL, the resources, the
# assembly manifest, the installer packages and the class's dispatch take
# them from here: component/identifiers.h.in makes a header of them (for the
# IDL, the resource script and the C++ sources), component/ and installer/
# pass them on to the manifest and to wixl. The version is the project's
# (project() in the top-level CMakeLists.txt).
#
# Never change an identifier of a released version: clients compiled against
# the type library, scripts naming the ProgID and installed packages depend
# on them.

# The type library.
set(PELMORA_LIBRARY_NAME Tevaro)
set(PELMORA_LIBID AD57A250-6795-43D8-9A3A-8FEEE1DBF6BC)
set(PELMORA_TYPELIB_VERSION_MAJOR 1)
set(PELMORA_TYPELIB_VERSION_MINOR 0)
# The class and its dual interface; the ProgID is library.class.
set(PELMORA_CLASS_NAME CalcDistClass)
set(PELMORA_CLSID E5C3831C-0F27-4322-B00F-3DFCC9ABCE3C)
set(PELMORA_INTERFACE_NAME _CalcDistClass)
set(PELMORA_IID 34DA1F23-1B3A-42A8-AC6C-14CC022E6027)
set(PELMORA_PROGID ${PELMORA_LIBRARY_NAME}.${PELMORA_CLASS_NAME})
# The methods of the interface in vtable order; the dispatch identifier of
# each is 0x60030000 plus its index.
set(PELMORA_METHODS
  sLocator Azimut Distanse LatFromGrid LongFromGrid DistanceFrom ArcCos GridFromLatLong)
set(PELMORA_DISPID_BASE 0x60030000)
# The language of the type library and the version information (English,
# United States).
set(PELMORA_LANGUAGE 0x0409)
# The private assembly of registration-free use (Tevaro.Pelmora.manifest).
set(PELMORA_ASSEMBLY_NAME ${PELMORA_LIBRARY_NAME}.Pelmora)
# The maker named in the version information and the installer packages.
set(PELMORA_MANUFACTURER Tevaro)
# What the DLL is, in its version information (Explorer's "File
# description") and in the packages' summary.
set(PELMORA_DESCRIPTION "Pelmora, Maidenhead locator arithmetic for Automation clients")
set(PELMORA_COPYRIGHT "Copyright (c) 2026 The Pelmora authors. MIT License.")
# The installer packages' upgrade codes, each the same for every version of
# its package: Pelmora.msi (64-bit Windows, both editions) and
# Pelmora-x86.msi (32-bit Windows). Two products, so that neither package's
# upgrade ever removes the other's installation.
set(PELMORA_UPGRADE_CODE 48178988-3D02-4E7D-B0B1-504FA33980D7)
set(PELMORA_UPGRADE_CODE_X86 6BE7B1F7-4A0A-43F1-B4BB-BBE00C9903F4)
# The standard Automation marshaler, the proxy of every dual interface.
set(PELMORA_AUTOMATION_PROXY 00020424-0000-0000-C000-000000000046)

# ---- Derived values ----
# The version, the same everywhere: the packages' ProductVersion and the
# version information's texts give it as MAJOR.MINOR.PATCH ("1.0.0"), the
# version information's fixed part and the packages' File table as
# MAJOR.MINOR.PATCH.0 ("1.0.0.0").
if(DEFINED PROJECT_VERSION_MAJOR)
  set(PELMORA_VERSION_MAJOR ${PROJECT_VERSION_MAJOR})
  set(PELMORA_VERSION_MINOR ${PROJECT_VERSION_MINOR})
  set(PELMORA_VERSION_PATCH ${PROJECT_VERSION_PATCH})
  set(PELMORA_VERSION ${PELMORA_VERSION_MAJOR}.${PELMORA_VERSION_MINOR}.${PELMORA_VERSION_PATCH})
  set(PELMORA_FILE_VERSION ${PELMORA_VERSION}.0)
endif()

# The C list of the method names (L"sLocator", ...) and a definition of each
# dispatch identifier (#define PELMORA_DISPID_sLocator 0x60030000).
set(PELMORA_METHOD_NAMES_C "")
set(PELMORA_DISPID_DEFINES "")
set(index 0)
foreach(method IN LISTS PELMORA_METHODS)
  if(index GREATER 0)
    string(APPEND PELMORA_METHOD_NAMES_C ", ")
  endif()
  string(APPEND PELMORA_METHOD_NAMES_C "L\"${method}\"")
  math(EXPR dispid "${PELMORA_DISPID_BASE} + ${index}" OUTPUT_FORMAT HEXADECIMAL)
  string(APPEND PELMORA_DISPID_DEFINES "#define PELMORA_DISPID_${method} ${dispid}\n")
  math(EXPR index "${index} + 1")
endforeach()
list(LENGTH PELMORA_METHODS PELMORA_METHOD_COUNT)

# The interface identifier resource holds the identifier in its binary form:
# Data1 (32 bits), Data2 and Data3 (16 bits each), little-endian, then the
# eight bytes of Data4 as they stand, given to the resource compiler as four
# little-endian 16-bit words.
string(SUBSTRING ${PELMORA_IID} 0 8 data1)
string(SUBSTRING ${PELMORA_IID} 9 4 data2)
string(SUBSTRING ${PELMORA_IID} 14 4 data3)
string(SUBSTRING ${PELMORA_IID} 19 4 data4a)
string(SUBSTRING ${PELMORA_IID} 24 12 data4b)
set(PELMORA_IID_RESOURCE_WORDS "0x${data1}L, 0x${data2}, 0x${data3}")
set(data4 ${data4a}${data4b})
foreach(at 0 4 8 12)
  string(SUBSTRING ${data4} ${at} 2 low)
  math(EXPR at_high "${at} + 2")
  string(SUBSTRING ${data4} ${at_high} 2 high)
  string(APPEND PELMORA_IID_RESOURCE_WORDS ", 0x${high}${low}")
endforeach()
