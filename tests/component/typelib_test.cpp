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

// The methods of _CalcDistClass in vtable order, with their parameters; the
// last parameter is the [out, retval] one.
struct Method {
  const wchar_t* name;
  std::vector<const wchar_t*> params;
  std::vector<VARTYPE> types;
};

const std::vector<Method>& Methods() {
  static const std::vector<Method> methods = {
      {L"sLocator", {L"sLat", L"sLon", L"Result"}, {VT_R4, VT_R4, VT_BSTR}},
      {L"Azimut",
       {L"MyLat", L"MyLon", L"lnLatitude", L"lnLongitude", L"Result"},
       {VT_R4, VT_R4, VT_R4, VT_R4, VT_R4}},
      {L"Distanse", {L"lnLatitude", L"lnLongitude", L"Result"}, {VT_R4, VT_R4, VT_R4}},
      {L"LatFromGrid", {L"Grid", L"Result"}, {VT_BSTR, VT_R4}},
      {L"LongFromGrid", {L"Grid", L"Result"}, {VT_BSTR, VT_R4}},
      {L"DistanceFrom",
       {L"alat", L"alon", L"blat", L"blon", L"Result"},
       {VT_R4, VT_R4, VT_R4, VT_R4, VT_R4}},
      {L"ArcCos", {L"X", L"Result"}, {VT_R4, VT_R4}},
      {L"GridFromLatLong", {L"dLat", L"dLon", L"Result"}, {VT_R4, VT_R4, VT_BSTR}},
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

  Ptr<ITypeInfo> Info(UINT index) const {
    Ptr<ITypeInfo> info;
    EXPECT_EQ(Hr{library_->GetTypeInfo(index, info.Out())}, Hr{S_OK}) << index;
    return info;
  }

  // The vtable view of the dual interface.
  Ptr<ITypeInfo> VtableView() const {
    const Ptr<ITypeInfo> dispatch = Info(0);
    HREFTYPE ref = 0;
    EXPECT_EQ(Hr{dispatch->GetRefTypeOfImplType(static_cast<UINT>(-1), &ref)}, Hr{S_OK});
    Ptr<ITypeInfo> vtable;
    EXPECT_EQ(Hr{dispatch->GetRefTypeInfo(ref, vtable.Out())}, Hr{S_OK});
    return vtable;
  }

 private:
  Ptr<ITypeLib> library_;
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
  const Ptr<ITypeInfo> dispatch = Info(0);
  const TYPEATTR d = Attributes(dispatch.get());
  EXPECT_TRUE(IsEqualGUID(d.guid, IID__CalcDistClass));
  EXPECT_EQ(d.typekind, TKIND_DISPATCH);
  EXPECT_EQ(d.wTypeFlags,
            TYPEFLAG_FHIDDEN | TYPEFLAG_FDUAL | TYPEFLAG_FNONEXTENSIBLE | TYPEFLAG_FDISPATCHABLE);

  const Ptr<ITypeInfo> vtable = VtableView();
  ASSERT_TRUE(vtable);
  const TYPEATTR v = Attributes(vtable.get());
  EXPECT_TRUE(IsEqualGUID(v.guid, IID__CalcDistClass));
  EXPECT_EQ(v.typekind, TKIND_INTERFACE);
  EXPECT_EQ(v.wTypeFlags, TYPEFLAG_FHIDDEN | TYPEFLAG_FDUAL | TYPEFLAG_FNONEXTENSIBLE |
                              TYPEFLAG_FOLEAUTOMATION | TYPEFLAG_FDISPATCHABLE);
  EXPECT_EQ(v.cFuncs, 8);
  EXPECT_EQ(v.cVars, 0);
  EXPECT_EQ(v.cImplTypes, 1);
  EXPECT_EQ(v.cbSizeVft, 15 * sizeof(void*));

  // Derived from IDispatch of the standard Automation library.
  HREFTYPE base_ref = 0;
  ASSERT_EQ(Hr{vtable->GetRefTypeOfImplType(0, &base_ref)}, Hr{S_OK});
  Ptr<ITypeInfo> base;
  ASSERT_EQ(Hr{vtable->GetRefTypeInfo(base_ref, base.Out())}, Hr{S_OK});
  EXPECT_TRUE(IsEqualGUID(Attributes(base.get()).guid, IID_IDispatch));
  Ptr<ITypeLib> container;
  UINT index = 0;
  ASSERT_EQ(Hr{base->GetContainingTypeLib(container.Out(), &index)}, Hr{S_OK});
  TLIBATTR* container_attributes = nullptr;
  ASSERT_EQ(Hr{container->GetLibAttr(&container_attributes)}, Hr{S_OK});
  EXPECT_TRUE(IsEqualGUID(container_attributes->guid, kStdOle));
  container->ReleaseTLibAttr(container_attributes);
}

TEST_F(TypeLibrary, MethodsInVtableOrder) {
  const Ptr<ITypeInfo> vtable = VtableView();
  ASSERT_TRUE(vtable);
  for (UINT i = 0; i < Methods().size(); ++i) {
    const Method& method = Methods()[i];
    FUNCDESC* f = nullptr;
    ASSERT_EQ(Hr{vtable->GetFuncDesc(i, &f)}, Hr{S_OK});
    EXPECT_EQ(f->memid, static_cast<MEMBERID>(0x60030000 + i)) << i;
    EXPECT_EQ(f->oVft, static_cast<SHORT>((7 + i) * sizeof(void*))) << i;
    EXPECT_EQ(f->funckind, FUNC_PUREVIRTUAL) << i;
    EXPECT_EQ(f->invkind, INVOKE_FUNC) << i;
    EXPECT_EQ(f->callconv, CC_STDCALL) << i;
    EXPECT_EQ(f->wFuncFlags, 0) << i;
    EXPECT_EQ(f->cParamsOpt, 0) << i;
    EXPECT_EQ(f->elemdescFunc.tdesc.vt, VT_HRESULT) << i;
    ASSERT_EQ(f->cParams, static_cast<SHORT>(method.params.size())) << i;
    for (SHORT p = 0; p < f->cParams; ++p) {
      const ELEMDESC& param = f->lprgelemdescParam[p];
      const VARTYPE want = method.types[static_cast<std::size_t>(p)];
      if (p + 1 < f->cParams) {
        EXPECT_EQ(param.tdesc.vt, want) << i << " " << p;
        EXPECT_EQ(param.paramdesc.wParamFlags, PARAMFLAG_FIN) << i << " " << p;
      } else {
        ASSERT_EQ(param.tdesc.vt, VT_PTR) << i;
        EXPECT_EQ(param.tdesc.lptdesc->vt, want) << i;
        EXPECT_EQ(param.paramdesc.wParamFlags, PARAMFLAG_FOUT | PARAMFLAG_FRETVAL) << i;
      }
    }
    const MEMBERID memid = f->memid;
    vtable->ReleaseFuncDesc(f);

    BSTR names[8] = {};
    UINT count = 0;
    ASSERT_EQ(Hr{vtable->GetNames(memid, names, 8, &count)}, Hr{S_OK});
    ASSERT_EQ(count, method.params.size() + 1) << i;
    EXPECT_STREQ(names[0], method.name);
    for (UINT n = 1; n < count; ++n) EXPECT_STREQ(names[n], method.params[n - 1]) << i;
    for (BSTR name : names) SysFreeString(name);
  }
}

TEST_F(TypeLibrary, MethodsInTheDispatchView) {
  // Clients that read the dispatch view see each method by its identifier,
  // returning its value.
  const Ptr<ITypeInfo> dispatch = Info(0);
  const TYPEATTR d = Attributes(dispatch.get());
  int found = 0;
  for (UINT i = 0; i < d.cFuncs; ++i) {
    FUNCDESC* f = nullptr;
    ASSERT_EQ(Hr{dispatch->GetFuncDesc(i, &f)}, Hr{S_OK});
    const MEMBERID memid = f->memid;
    if (memid >= 0x60030000 && memid < 0x60030008) {
      const Method& method = Methods()[static_cast<std::size_t>(memid - 0x60030000)];
      ++found;
      EXPECT_EQ(f->funckind, FUNC_DISPATCH) << memid;
      EXPECT_EQ(f->invkind, INVOKE_FUNC) << memid;
      EXPECT_EQ(f->elemdescFunc.tdesc.vt, method.types.back()) << memid;
      EXPECT_EQ(f->cParams, static_cast<SHORT>(method.params.size() - 1)) << memid;
      Bstr name;
      ASSERT_EQ(Hr{dispatch->GetDocumentation(memid, name.Out(), nullptr, nullptr, nullptr)},
                Hr{S_OK});
      EXPECT_STREQ(name.get(), method.name);
    }
    dispatch->ReleaseFuncDesc(f);
  }
  EXPECT_EQ(found, 8);
}

TEST_F(TypeLibrary, CreatableClassWithItsDefaultInterface) {
  const Ptr<ITypeInfo> coclass = Info(1);
  const TYPEATTR c = Attributes(coclass.get());
  EXPECT_TRUE(IsEqualGUID(c.guid, CLSID_CalcDistClass));
  EXPECT_EQ(c.typekind, TKIND_COCLASS);
  EXPECT_EQ(c.wTypeFlags, TYPEFLAG_FCANCREATE);
  ASSERT_EQ(c.cImplTypes, 1);

  INT flags = 0;
  ASSERT_EQ(Hr{coclass->GetImplTypeFlags(0, &flags)}, Hr{S_OK});
  EXPECT_EQ(flags, IMPLTYPEFLAG_FDEFAULT);
  HREFTYPE ref = 0;
  ASSERT_EQ(Hr{coclass->GetRefTypeOfImplType(0, &ref)}, Hr{S_OK});
  Ptr<ITypeInfo> interface_info;
  ASSERT_EQ(Hr{coclass->GetRefTypeInfo(ref, interface_info.Out())}, Hr{S_OK});
  EXPECT_TRUE(IsEqualGUID(Attributes(interface_info.get()).guid, IID__CalcDistClass));

  // The library finds both by their identifiers.
  Ptr<ITypeInfo> by_guid;
  EXPECT_EQ(Hr{library()->GetTypeInfoOfGuid(CLSID_CalcDistClass, by_guid.Out())}, Hr{S_OK});
  EXPECT_EQ(Hr{library()->GetTypeInfoOfGuid(IID__CalcDistClass, by_guid.Out())}, Hr{S_OK});
}

}  // namespace
}  // namespace pelmora::test
