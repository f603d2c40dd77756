// The type library embedded in Pelmora.dll, read back through ITypeLib and
// ITypeInfo: the library, the dual interface in both views, every method with
// its identifier, slot, parameters and flags, and the creatable class.
#include <windows.h>
// <windows.h> first: the OLE headers rely on it.
#include <gtest/gtest.h>
#include <oleauto.h>

#include <string>
#include <vector>

#include "tests/component/com_support.h"

namespace pelmora::test {
namespace {

// The methods of _CalcDistClass in vtable order, written out here rather than
// read from Pelmora.idl, so that a changed identifier, name, type or order in
// the IDL fails. The last parameter is the [out, retval] one; the others are
// [in].
struct Method {
  MEMBERID id;
  std::wstring name;
  std::vector<std::wstring> params;
  std::vector<VARTYPE> types;
};

const std::vector<Method>& Methods() {
  static const std::vector<Method> methods = {
      {0x60030000, L"sLocator", {L"sLat", L"sLon", L"Result"}, {VT_R4, VT_R4, VT_BSTR}},
      {0x60030001,
       L"Azimut",
       {L"MyLat", L"MyLon", L"lnLatitude", L"lnLongitude", L"Result"},
       {VT_R4, VT_R4, VT_R4, VT_R4, VT_R4}},
      {0x60030002, L"Distanse", {L"lnLatitude", L"lnLongitude", L"Result"}, {VT_R4, VT_R4, VT_R4}},
      {0x60030003, L"LatFromGrid", {L"Grid", L"Result"}, {VT_BSTR, VT_R4}},
      {0x60030004, L"LongFromGrid", {L"Grid", L"Result"}, {VT_BSTR, VT_R4}},
      {0x60030005,
       L"DistanceFrom",
       {L"alat", L"alon", L"blat", L"blon", L"Result"},
       {VT_R4, VT_R4, VT_R4, VT_R4, VT_R4}},
      {0x60030006, L"ArcCos", {L"X", L"Result"}, {VT_R4, VT_R4}},
      {0x60030007, L"GridFromLatLong", {L"dLat", L"dLon", L"Result"}, {VT_R4, VT_R4, VT_BSTR}},
  };
  return methods;
}

const GUID kStdOle = {0x00020430, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

class TypeLibrary : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(Server::Get().module(), nullptr);
    ASSERT_EQ(Hr{LoadTypeLibEx(Server::Get().path().c_str(), REGKIND_NONE, library_.Out())},
              Hr{S_OK});
  }

  ITypeLib* library() const { return library_.get(); }

  ComPtr<ITypeInfo> Info(UINT index) const {
    ComPtr<ITypeInfo> info;
    EXPECT_EQ(Hr{library_->GetTypeInfo(index, info.Out())}, Hr{S_OK}) << index;
    return info;
  }

  // The vtable view of the dual interface.
  ComPtr<ITypeInfo> VtableView() const {
    return ImplementedType(Info(0).get(), static_cast<UINT>(-1));
  }

  // The type `info` implements or derives from at `index` (-1: the vtable
  // view of a dual interface); null, with a failure, when there is none.
  static ComPtr<ITypeInfo> ImplementedType(ITypeInfo* info, UINT index) {
    ComPtr<ITypeInfo> implemented;
    HREFTYPE ref = 0;
    EXPECT_EQ(Hr{info->GetRefTypeOfImplType(index, &ref)}, Hr{S_OK}) << index;
    EXPECT_EQ(Hr{info->GetRefTypeInfo(ref, implemented.Out())}, Hr{S_OK}) << index;
    return implemented;
  }

 private:
  ComPtr<ITypeLib> library_;
};

// A type description's attributes, copied and released.
TYPEATTR Attributes(ITypeInfo* info) {
  TYPEATTR* attributes = nullptr;
  TYPEATTR copy = {};
  if (info->GetTypeAttr(&attributes) == S_OK) {
    copy = *attributes;
    info->ReleaseTypeAttr(attributes);
  }
  return copy;
}

std::wstring NameOf(ITypeInfo* info) {
  Bstr name;
  info->GetDocumentation(MEMBERID_NIL, name.Out(), nullptr, nullptr, nullptr);
  return name.get() == nullptr ? L"" : name.get();
}

TEST_F(TypeLibrary, Library) {
  TLIBATTR* attributes = nullptr;
  ASSERT_EQ(Hr{library()->GetLibAttr(&attributes)}, Hr{S_OK});
  EXPECT_TRUE(IsEqualGUID(attributes->guid, LIBID_Tevaro));
  EXPECT_EQ(attributes->lcid, 0x0409u);
  EXPECT_EQ(attributes->syskind, kSysKind);
  EXPECT_EQ(attributes->wMajorVerNum, 1);
  EXPECT_EQ(attributes->wMinorVerNum, 0);
  library()->ReleaseTLibAttr(attributes);

  Bstr name;
  Bstr doc;
  Bstr help_file;
  DWORD help_context = 1;
  ASSERT_EQ(
      Hr{library()->GetDocumentation(-1, name.Out(), doc.Out(), &help_context, help_file.Out())},
      Hr{S_OK});
  EXPECT_STREQ(name.get(), L"Tevaro");
  EXPECT_EQ(doc.get(), nullptr);
  EXPECT_EQ(help_file.get(), nullptr);
  EXPECT_EQ(help_context, 0u);

  // The interface first, then the class.
  ASSERT_EQ(library()->GetTypeInfoCount(), 2u);
  TYPEKIND kind = TKIND_MAX;
  ASSERT_EQ(Hr{library()->GetTypeInfoType(0, &kind)}, Hr{S_OK});
  EXPECT_EQ(kind, TKIND_DISPATCH);
  ASSERT_EQ(Hr{library()->GetTypeInfoType(1, &kind)}, Hr{S_OK});
  EXPECT_EQ(kind, TKIND_COCLASS);
  EXPECT_EQ(NameOf(Info(0).get()), L"_CalcDistClass");
  EXPECT_EQ(NameOf(Info(1).get()), L"CalcDistClass");
}

TEST_F(TypeLibrary, InterfaceFlagsInBothViews) {
  const ComPtr<ITypeInfo> dispatch = Info(0);
  const TYPEATTR d = Attributes(dispatch.get());
  EXPECT_TRUE(IsEqualGUID(d.guid, IID__CalcDistClass));
  EXPECT_EQ(d.typekind, TKIND_DISPATCH);
  EXPECT_EQ(d.wTypeFlags,
            TYPEFLAG_FHIDDEN | TYPEFLAG_FDUAL | TYPEFLAG_FNONEXTENSIBLE | TYPEFLAG_FDISPATCHABLE);

  const ComPtr<ITypeInfo> vtable = VtableView();
  ASSERT_TRUE(vtable);
  const TYPEATTR v = Attributes(vtable.get());
  EXPECT_TRUE(IsEqualGUID(v.guid, IID__CalcDistClass));
  EXPECT_EQ(v.typekind, TKIND_INTERFACE);
  EXPECT_EQ(v.wTypeFlags, TYPEFLAG_FHIDDEN | TYPEFLAG_FDUAL | TYPEFLAG_FNONEXTENSIBLE |
                              TYPEFLAG_FOLEAUTOMATION | TYPEFLAG_FDISPATCHABLE);
  ASSERT_FALSE(Methods().empty());
  EXPECT_EQ(v.cFuncs, Methods().size());
  EXPECT_EQ(v.cVars, 0);
  EXPECT_EQ(v.cImplTypes, 1);
  EXPECT_EQ(v.cbSizeVft, (7 + Methods().size()) * sizeof(void*));

  // Derived from IDispatch of the standard Automation library.
  const ComPtr<ITypeInfo> base = ImplementedType(vtable.get(), 0);
  ASSERT_TRUE(base);
  EXPECT_TRUE(IsEqualGUID(Attributes(base.get()).guid, IID_IDispatch));
  ComPtr<ITypeLib> container;
  UINT index = 0;
  ASSERT_EQ(Hr{base->GetContainingTypeLib(container.Out(), &index)}, Hr{S_OK});
  TLIBATTR* container_attributes = nullptr;
  ASSERT_EQ(Hr{container->GetLibAttr(&container_attributes)}, Hr{S_OK});
  EXPECT_TRUE(IsEqualGUID(container_attributes->guid, kStdOle));
  container->ReleaseTLibAttr(container_attributes);
}

TEST_F(TypeLibrary, MethodsInVtableOrder) {
  const ComPtr<ITypeInfo> vtable = VtableView();
  ASSERT_TRUE(vtable);
  ASSERT_FALSE(Methods().empty());
  for (UINT i = 0; i < Methods().size(); ++i) {
    const Method& method = Methods()[i];
    SCOPED_TRACE(Narrow(method.name));
    FUNCDESC* f = nullptr;
    ASSERT_EQ(Hr{vtable->GetFuncDesc(i, &f)}, Hr{S_OK});
    EXPECT_EQ(f->memid, method.id);
    EXPECT_EQ(f->oVft, static_cast<SHORT>((7 + i) * sizeof(void*)));
    EXPECT_EQ(f->funckind, FUNC_PUREVIRTUAL);
    EXPECT_EQ(f->invkind, INVOKE_FUNC);
    EXPECT_EQ(f->callconv, CC_STDCALL);
    EXPECT_EQ(f->wFuncFlags, 0);
    EXPECT_EQ(f->cParamsOpt, 0);
    EXPECT_EQ(f->elemdescFunc.tdesc.vt, VT_HRESULT);
    ASSERT_EQ(f->cParams, static_cast<SHORT>(method.params.size()));
    for (SHORT p = 0; p < f->cParams; ++p) {
      const ELEMDESC& param = f->lprgelemdescParam[p];
      const auto at = static_cast<std::size_t>(p);
      if (p + 1 < f->cParams) {
        EXPECT_EQ(param.tdesc.vt, method.types[at]) << p;
        EXPECT_EQ(param.paramdesc.wParamFlags, PARAMFLAG_FIN) << p;
      } else {
        ASSERT_EQ(param.tdesc.vt, VT_PTR);
        EXPECT_EQ(param.tdesc.lptdesc->vt, method.types[at]);
        EXPECT_EQ(param.paramdesc.wParamFlags, PARAMFLAG_FOUT | PARAMFLAG_FRETVAL);
      }
    }
    const MEMBERID memid = f->memid;
    vtable->ReleaseFuncDesc(f);

    BSTR names[8] = {};
    UINT count = 0;
    ASSERT_EQ(Hr{vtable->GetNames(memid, names, 8, &count)}, Hr{S_OK});
    ASSERT_EQ(count, method.params.size() + 1);
    EXPECT_STREQ(names[0], method.name.c_str());
    for (UINT n = 1; n < count; ++n) EXPECT_STREQ(names[n], method.params[n - 1].c_str()) << n;
    for (BSTR name : names) SysFreeString(name);
  }
}

TEST_F(TypeLibrary, MethodsInTheDispatchView) {
  // Clients that read the dispatch view see each method by its identifier,
  // returning its value.
  const ComPtr<ITypeInfo> dispatch = Info(0);
  const TYPEATTR d = Attributes(dispatch.get());
  std::vector<std::wstring> seen;
  for (UINT i = 0; i < d.cFuncs; ++i) {
    FUNCDESC* f = nullptr;
    ASSERT_EQ(Hr{dispatch->GetFuncDesc(i, &f)}, Hr{S_OK});
    const MEMBERID memid = f->memid;
    for (const Method& method : Methods()) {
      if (method.id != memid) continue;
      seen.push_back(method.name);
      EXPECT_EQ(f->funckind, FUNC_DISPATCH) << memid;
      EXPECT_EQ(f->invkind, INVOKE_FUNC) << memid;
      EXPECT_EQ(f->elemdescFunc.tdesc.vt, method.types.back()) << memid;
      EXPECT_EQ(f->cParams, static_cast<SHORT>(method.params.size() - 1)) << memid;
      Bstr name;
      ASSERT_EQ(Hr{dispatch->GetDocumentation(memid, name.Out(), nullptr, nullptr, nullptr)},
                Hr{S_OK});
      EXPECT_STREQ(name.get(), method.name.c_str());
    }
    dispatch->ReleaseFuncDesc(f);
  }
  EXPECT_EQ(seen.size(), Methods().size());
}

TEST_F(TypeLibrary, CreatableClassWithItsDefaultInterface) {
  const ComPtr<ITypeInfo> coclass = Info(1);
  const TYPEATTR c = Attributes(coclass.get());
  EXPECT_TRUE(IsEqualGUID(c.guid, CLSID_CalcDistClass));
  EXPECT_EQ(c.typekind, TKIND_COCLASS);
  EXPECT_EQ(c.wTypeFlags, TYPEFLAG_FCANCREATE);
  ASSERT_EQ(c.cImplTypes, 1);

  INT flags = 0;
  ASSERT_EQ(Hr{coclass->GetImplTypeFlags(0, &flags)}, Hr{S_OK});
  EXPECT_EQ(flags, IMPLTYPEFLAG_FDEFAULT);
  const ComPtr<ITypeInfo> interface_info = ImplementedType(coclass.get(), 0);
  ASSERT_TRUE(interface_info);
  EXPECT_TRUE(IsEqualGUID(Attributes(interface_info.get()).guid, IID__CalcDistClass));

  // The library finds both by their identifiers.
  ComPtr<ITypeInfo> by_guid;
  EXPECT_EQ(Hr{library()->GetTypeInfoOfGuid(CLSID_CalcDistClass, by_guid.Out())}, Hr{S_OK});
  EXPECT_EQ(Hr{library()->GetTypeInfoOfGuid(IID__CalcDistClass, by_guid.Out())}, Hr{S_OK});
}

}  // namespace
}  // namespace pelmora::test
