// No method of Pelmora.dll leaks an Automation string or any other block of
// the task allocator, on success or failure, through the vtable or through
// IDispatch. The test program runs with OANOCACHE=1, so that every BSTR is
// allocated and freed through the task allocator, where an IMallocSpy counts
// them.
#include <windows.h>
// <windows.h> first: the OLE headers rely on it.
#include <gtest/gtest.h>
#include <oleauto.h>

#include <vector>

#include "tests/component/com_support.h"
#include "tests/component/holdings.h"

namespace pelmora::test {
namespace {

// One round of calls: every method through the vtable and by name, each
// succeeding and failing where it can; the caller frees what it owns.
void OneRound(_CalcDistClass* object, IDispatch* dispatch) {
  BSTR text = nullptr;
  float value = 0.0f;
  object->sLocator(52.5f, 13.4f, &text);
  SysFreeString(text);
  object->sLocator(1e30f, 0.0f, &text);  // overflow: null text
  SysFreeString(text);
  object->GridFromLatLong(52.5f, 13.4f, &text);
  SysFreeString(text);
  object->GridFromLatLong(0.0f, 4000.0f, &text);  // invalid argument
  SysFreeString(text);
  object->GridFromLatLong(0.0f, 0.0f, nullptr);  // E_POINTER
  object->Azimut(52.5f, 13.4f, 40.7f, -74.0f, &value);
  object->Azimut(52.5f, 180.0f, 40.0f, -180.000137f, &value);  // floating point
  object->Distanse(1.0f, 2.0f, &value);
  object->DistanceFrom(52.5f, 13.4f, 40.7f, -74.0f, &value);
  object->ArcCos(2.0f, &value);
  {
    const Bstr grid(L"  JO62qm  ");
    object->LatFromGrid(grid.get(), &value);
    object->LongFromGrid(grid.get(), &value);
    object->LatFromGrid(nullptr, &value);
  }

  LPOLESTR name[] = {const_cast<LPOLESTR>(L"GridFromLatLong")};
  DISPID id = 0;
  dispatch->GetIDsOfNames(IID_NULL, name, 1, 0, &id);
  VARIANT args[2] = {R8(13.4), R8(52.5)};
  DISPPARAMS params = {args, nullptr, 2, 0};
  {
    Variant result;
    dispatch->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &params, &result.v, nullptr, nullptr);
  }
  // The text result of a call whose caller wants none.
  dispatch->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr);
  // A failure with its exception information.
  V_R8(&args[0]) = 4000.0;
  {
    Variant result;
    ExcepInfo exception;
    dispatch->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &params, &result.v, &exception, nullptr);
  }
  // A text argument that does not convert, and one that does.
  VARIANT text_args[2] = {Str(L"east"), Str(L"52")};
  DISPPARAMS text_params = {text_args, nullptr, 2, 0};
  {
    Variant result;
    dispatch->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &text_params, &result.v, nullptr, nullptr);
  }
  VariantClear(&text_args[0]);
  text_args[0] = Str(L"13");
  {
    Variant result;
    dispatch->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &text_params, &result.v, nullptr, nullptr);
  }
  VariantClear(&text_args[0]);
  VariantClear(&text_args[1]);
}

TEST(Leaks, NoBlockOutlivesItsCall) {
  TaskBlockSpy spy;
  ASSERT_EQ(Hr{CoRegisterMallocSpy(&spy)}, Hr{S_OK});
  {
    const ComPtr<_CalcDistClass> object = Server::Get().Create();
    ASSERT_TRUE(object);
    ComPtr<IDispatch> dispatch;
    ASSERT_EQ(Hr{object->QueryInterface(IID_IDispatch, dispatch.OutVoid())}, Hr{S_OK});

    // The first round loads what stays for the instance's lifetime (its type
    // information); the error object of the last failure stays with the
    // thread until it is cleared.
    OneRound(object.get(), dispatch.get());
    SetErrorInfo(0, nullptr);
    const LONG outstanding = spy.Outstanding();
    const LONG allocations = spy.Allocations();

    constexpr int kRounds = 500;
    for (int i = 0; i < kRounds; ++i) OneRound(object.get(), dispatch.get());
    SetErrorInfo(0, nullptr);

    // The spy sees the strings: each round allocates several.
    EXPECT_GE(spy.Allocations() - allocations, 5 * kRounds);
    EXPECT_EQ(spy.Outstanding(), outstanding);
  }
  EXPECT_EQ(Hr{Server::Get().CanUnloadNow()}, Hr{S_OK});
  CoRevokeMallocSpy();
}

}  // namespace
}  // namespace pelmora::test
