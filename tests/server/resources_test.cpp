// The resources of Pelmora.dll, read as a client reads them: the version
// information through GetFileVersionInfoW/VerQueryValueW and as its raw tree,
// the interface identifier resource and the type library byte for byte, and
// the resource directory as the loader searches it.
#include <windows.h>
// <windows.h> first: the OLE headers rely on it.
#include <gtest/gtest.h>
#include <oleauto.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "Pelmora.h"
#include "pelmora_identifiers.h"
#include "tests/component/com_support.h"

namespace pelmora::test {
namespace {

const std::wstring& DllPath() {
  static const std::wstring path = ServerBesideProgram();
  return path;
}

// The DLL's resources, the DLL loaded as data only.
class Resources : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    module_ = LoadLibraryExW(DllPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  }
  static void TearDownTestSuite() { FreeLibrary(module_); }
  void SetUp() override { ASSERT_NE(module_, nullptr) << Narrow(DllPath()); }

  // The bytes of resource `id` of `type`; empty when it is not found.
  static std::vector<unsigned char> Bytes(const wchar_t* type, const wchar_t* id) {
    const HRSRC info = FindResourceW(module_, id, type);
    if (info == nullptr) return {};
    const HGLOBAL data = LoadResource(module_, info);
    const auto* first = static_cast<const unsigned char*>(LockResource(data));
    return std::vector<unsigned char>(first, first + SizeofResource(module_, info));
  }

  static HMODULE module_;
};
HMODULE Resources::module_ = nullptr;

// ---- Version information through the version API ----

class VersionApi : public ::testing::Test {
 protected:
  void SetUp() override {
    DWORD handle = 0;
    const DWORD size = GetFileVersionInfoSizeW(DllPath().c_str(), &handle);
    ASSERT_GT(size, 0u);
    block_.resize(size);
    ASSERT_TRUE(GetFileVersionInfoW(DllPath().c_str(), 0, size, block_.data()));
  }
  // VerQueryValueW of `path`: false when absent.
  bool Query(const std::wstring& path, void** value, UINT* length) {
    return VerQueryValueW(block_.data(), path.c_str(), value, length) != FALSE;
  }
  std::vector<unsigned char> block_;
};

// The version the packages carry, MAJOR.MINOR.PATCH, from the project's
// numbers: the texts say it in full, as the packages' ProductVersion does.
std::wstring PackageVersion() {
  return std::to_wstring(PELMORA_VERSION_MAJOR) + L"." + std::to_wstring(PELMORA_VERSION_MINOR) +
         L"." + std::to_wstring(PELMORA_VERSION_PATCH);
}

TEST_F(VersionApi, StringsOfTheTable040904B0) {
  const struct {
    const wchar_t* name;
    std::wstring value;
  } kStrings[] = {
      {L"CompanyName", L"Tevaro"},
      {L"FileDescription", L"Pelmora, Maidenhead locator arithmetic for Automation clients"},
      {L"LegalCopyright", L"Copyright (c) 2026 The Pelmora authors. MIT License."},
      {L"ProductName", L"Pelmora"},
      {L"FileVersion", PackageVersion()},
      {L"ProductVersion", PackageVersion()},
      {L"InternalName", L"Pelmora"},
      {L"OriginalFilename", L"Pelmora.dll"},
      {L"OLESelfRegister", L""},
  };
  for (const auto& s : kStrings) {
    SCOPED_TRACE(Narrow(s.name));
    void* value = nullptr;
    UINT length = 0;
    ASSERT_TRUE(Query(std::wstring(L"\\StringFileInfo\\040904B0\\") + s.name, &value, &length));
    ASSERT_NE(value, nullptr);
    EXPECT_EQ(std::wstring(static_cast<const wchar_t*>(value)), s.value);
  }
  // An entry that version information often has, and this one has not.
  void* value = nullptr;
  UINT length = 0;
  EXPECT_FALSE(Query(L"\\StringFileInfo\\040904B0\\Comments", &value, &length));
}

TEST_F(VersionApi, FixedPart) {
  void* value = nullptr;
  UINT length = 0;
  ASSERT_TRUE(Query(L"\\", &value, &length));
  ASSERT_EQ(length, sizeof(VS_FIXEDFILEINFO));
  const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
  EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
  // MAJOR.MINOR.PATCH.0, the version of the packages' File table.
  const DWORD most = (PELMORA_VERSION_MAJOR << 16) | PELMORA_VERSION_MINOR;
  const DWORD least = PELMORA_VERSION_PATCH << 16;
  EXPECT_EQ(fixed->dwFileVersionMS, most);
  EXPECT_EQ(fixed->dwFileVersionLS, least);
  EXPECT_EQ(fixed->dwProductVersionMS, most);
  EXPECT_EQ(fixed->dwProductVersionLS, least);
  EXPECT_EQ(fixed->dwFileFlags & fixed->dwFileFlagsMask, 0u);
  EXPECT_EQ(fixed->dwFileFlags, 0u);
  EXPECT_EQ(fixed->dwFileOS, static_cast<DWORD>(VOS__WINDOWS32));
  EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_DLL));
  EXPECT_EQ(fixed->dwFileSubtype, 0u);
}

TEST_F(VersionApi, OneTranslation) {
  void* value = nullptr;
  UINT length = 0;
  ASSERT_TRUE(Query(L"\\VarFileInfo\\Translation", &value, &length));
  ASSERT_EQ(length, 4u);
  const auto* pair = static_cast<const WORD*>(value);
  EXPECT_EQ(pair[0], 0x0409);
  EXPECT_EQ(pair[1], 0x04B0);
}

// ---- The raw version tree: nothing beyond what is listed ----

// One node of the version information tree.
struct Node {
  std::wstring key;
  std::vector<unsigned char> value;  // texts: UTF-16 including the terminator
  WORD value_length = 0;             // as stored: characters for texts, else bytes
  WORD type = 0;                     // 1: text, 0: binary
  std::vector<Node> children;
};

std::size_t Align4(std::size_t offset) { return (offset + 3) & ~std::size_t{3}; }

WORD Word(const std::vector<unsigned char>& bytes, std::size_t offset) {
  return static_cast<WORD>(bytes[offset] | (bytes[offset + 1] << 8));
}

// Parses the node at `offset`; false when the structure is malformed.
bool Parse(const std::vector<unsigned char>& bytes, std::size_t offset, Node& node) {
  if (offset + 6 > bytes.size()) return false;
  const std::size_t end = offset + Word(bytes, offset);
  if (end > bytes.size() || end < offset + 6) return false;
  node.value_length = Word(bytes, offset + 2);
  node.type = Word(bytes, offset + 4);
  std::size_t at = offset + 6;
  for (;; at += 2) {
    if (at + 2 > end) return false;
    const wchar_t c = Word(bytes, at);
    if (c == 0) break;
    node.key += c;
  }
  at = Align4(at + 2);
  const std::size_t value_bytes = node.type == 1 ? node.value_length * 2u : node.value_length;
  if (at + value_bytes > end) return false;
  node.value.assign(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                    bytes.begin() + static_cast<std::ptrdiff_t>(at + value_bytes));
  at = Align4(at + value_bytes);
  while (at < end) {
    Node child;
    if (!Parse(bytes, at, child)) return false;
    at = Align4(at + Word(bytes, at));
    node.children.push_back(child);
  }
  return true;
}

std::vector<std::wstring> Keys(const Node& node) {
  std::vector<std::wstring> keys;
  for (const Node& child : node.children) keys.push_back(child.key);
  return keys;
}

TEST_F(Resources, VersionTreeHoldsExactlyTheListedEntries) {
  const std::vector<unsigned char> bytes =
      Bytes(MAKEINTRESOURCEW(16) /* RT_VERSION */, MAKEINTRESOURCEW(1));
  ASSERT_FALSE(bytes.empty());
  Node root;
  ASSERT_TRUE(Parse(bytes, 0, root));
  EXPECT_EQ(root.key, L"VS_VERSION_INFO");
  EXPECT_EQ(root.value.size(), sizeof(VS_FIXEDFILEINFO));
  ASSERT_EQ(Keys(root), (std::vector<std::wstring>{L"StringFileInfo", L"VarFileInfo"}));

  const Node& strings = root.children[0];
  ASSERT_EQ(Keys(strings), std::vector<std::wstring>{L"040904B0"});
  const std::vector<std::wstring> kNames = {
      L"CompanyName",    L"FileDescription", L"LegalCopyright",   L"ProductName",    L"FileVersion",
      L"ProductVersion", L"InternalName",    L"OriginalFilename", L"OLESelfRegister"};
  EXPECT_EQ(Keys(strings.children[0]), kNames);
  for (const Node& entry : strings.children[0].children) {
    EXPECT_EQ(entry.type, 1) << Narrow(entry.key);
    EXPECT_TRUE(entry.children.empty()) << Narrow(entry.key);
  }
  // OLESelfRegister is present with an empty value: at most its terminator.
  const Node& self_register = strings.children[0].children.back();
  EXPECT_LE(self_register.value_length, 1);
  for (const unsigned char b : self_register.value) EXPECT_EQ(b, 0);

  const Node& vars = root.children[1];
  ASSERT_EQ(Keys(vars), std::vector<std::wstring>{L"Translation"});
  EXPECT_EQ(vars.children[0].type, 0);
  EXPECT_EQ(vars.children[0].value, (std::vector<unsigned char>{0x09, 0x04, 0xB0, 0x04}));
}

// ---- Custom resources ----

TEST_F(Resources, InterfaceIdentifierResource) {
  const std::vector<unsigned char> bytes = Bytes(L"_IID_CALCDISTCLASS", MAKEINTRESOURCEW(1));
  // The length 16, then {34DA1F23-1B3A-42A8-AC6C-14CC022E6027} with Data1,
  // Data2 and Data3 little-endian.
  const std::vector<unsigned char> kWant = {0x10, 0x00, 0x00, 0x00, 0x23, 0x1F, 0xDA,
                                            0x34, 0x3A, 0x1B, 0xA8, 0x42, 0xAC, 0x6C,
                                            0x14, 0xCC, 0x02, 0x2E, 0x60, 0x27};
  EXPECT_EQ(bytes, kWant);
  // The same as the identifier the interface description defines.
  ASSERT_EQ(bytes.size(), 20u);
  EXPECT_EQ(std::memcmp(bytes.data() + 4, &IID__CalcDistClass, 16), 0);
}

TEST_F(Resources, TypeLibraryResourceIsTheCompiledLibrary) {
  const std::vector<unsigned char> bytes = Bytes(L"TYPELIB", MAKEINTRESOURCEW(1));
  ASSERT_GE(bytes.size(), 4u);
  EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 4), "MSFT");
  std::ifstream file(PELMORA_TLB_PATH, std::ios::binary);
  ASSERT_TRUE(file) << PELMORA_TLB_PATH;
  const std::vector<unsigned char> compiled{std::istreambuf_iterator<char>(file),
                                            std::istreambuf_iterator<char>()};
  EXPECT_EQ(bytes, compiled);
}

// The loader finds every resource by type and identifier: the named types must
// stand in the directory in the order it searches them.
BOOL CALLBACK CollectType(HMODULE, LPWSTR type, LONG_PTR found) {
  auto& types = *reinterpret_cast<std::set<std::wstring>*>(found);
  if (IS_INTRESOURCE(type)) {
    types.insert(L"#" + std::to_wstring(reinterpret_cast<ULONG_PTR>(type)));
  } else {
    types.insert(type);
  }
  return TRUE;
}

BOOL CALLBACK CollectName(HMODULE, LPCWSTR, LPWSTR name, LONG_PTR found) {
  auto& names = *reinterpret_cast<std::set<std::wstring>*>(found);
  names.insert(IS_INTRESOURCE(name) ? L"#" + std::to_wstring(reinterpret_cast<ULONG_PTR>(name))
                                    : std::wstring(name));
  return TRUE;
}

TEST_F(Resources, ExactlyThreeResourcesAllFound) {
  std::set<std::wstring> types;
  ASSERT_TRUE(EnumResourceTypesW(module_, CollectType, reinterpret_cast<LONG_PTR>(&types)));
  EXPECT_EQ(types, (std::set<std::wstring>{L"TYPELIB", L"_IID_CALCDISTCLASS", L"#16"}));
  for (const wchar_t* type :
       {L"TYPELIB", L"_IID_CALCDISTCLASS", static_cast<const wchar_t*>(MAKEINTRESOURCEW(16))}) {
    std::set<std::wstring> names;
    EnumResourceNamesW(module_, type, CollectName, reinterpret_cast<LONG_PTR>(&names));
    EXPECT_EQ(names, std::set<std::wstring>{L"#1"});
    EXPECT_NE(FindResourceW(module_, MAKEINTRESOURCEW(1), type), nullptr);
  }
}

}  // namespace
}  // namespace pelmora::test
