// The class object and the module's lifetime, in-process.
#include <gtest/gtest.h>

#include "frame/descriptor.h"
#include "frame/quorrel.h"
#include "tests/frame/com_test_util.h"

extern "C" HRESULT DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv);
extern "C" HRESULT DllCanUnloadNow();

namespace wq::frame {
namespace {

using testing::ComPtr;

TEST(ClassObject, OnlyForClsQuorrel) {
  void* p = &p;
  const CLSID foreign = {
      0x166548CF, 0x3B83, 0x4029, {0xB9, 0x9D, 0x94, 0x99, 0x48, 0x88, 0x60, 0xC4}};
  EXPECT_EQ(DllGetClassObject(foreign, IID_IClassFactory, &p), CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(p, nullptr);
  EXPECT_EQ(DllGetClassObject(kIidQuorrel, IID_IClassFactory, &p), CLASS_E_CLASSNOTAVAILABLE);
  p = &p;
  EXPECT_EQ(DllGetClassObject(kClsidQuorrel, IID_IDispatch, &p), E_NOINTERFACE);
  EXPECT_EQ(p, nullptr);
  EXPECT_EQ(DllGetClassObject(kClsidQuorrel, IID_IClassFactory, nullptr), E_POINTER);
  EXPECT_EQ(DllCanUnloadNow(), S_OK);
}

TEST(ClassObject, CreatesIndependentInstances) {
  ComPtr<IClassFactory> factory;
  ASSERT_EQ(DllGetClassObject(kClsidQuorrel, IID_IUnknown, factory.out()), S_OK);
  ComPtr<IUnknown> a;
  ComPtr<IUnknown> b;
  ASSERT_EQ(factory->CreateInstance(nullptr, IID_IUnknown, a.out()), S_OK);
  ASSERT_EQ(factory->CreateInstance(nullptr, IID_IDispatch, b.out()), S_OK);
  EXPECT_NE(static_cast<void*>(a.p), static_cast<void*>(b.p));
  // One reference each after creation: AddRef makes two, Release one.
  EXPECT_EQ(a->AddRef(), 2u);
  EXPECT_EQ(a->Release(), 1u);

  void* p = &p;
  EXPECT_EQ(factory->CreateInstance(a.p, IID_IUnknown, &p), CLASS_E_NOAGGREGATION);
  EXPECT_EQ(p, nullptr);
  EXPECT_EQ(factory->CreateInstance(nullptr, IID_IClassFactory, &p), E_NOINTERFACE);
  EXPECT_EQ(p, nullptr);
  EXPECT_EQ(factory->CreateInstance(nullptr, IID_IUnknown, nullptr), E_POINTER);
}

TEST(ClassObject, QueryInterfaceOfAnInstance) {
  ComPtr<IClassFactory> factory;
  ASSERT_EQ(DllGetClassObject(kClsidQuorrel, IID_IClassFactory, factory.out()), S_OK);
  ComPtr<IUnknown> unknown;
  ASSERT_EQ(factory->CreateInstance(nullptr, IID_IUnknown, unknown.out()), S_OK);
  ComPtr<IDispatch> dispatch;
  ComPtr<_clsQuorrel> quorrel;
  ASSERT_EQ(unknown->QueryInterface(IID_IDispatch, dispatch.out()), S_OK);
  ASSERT_EQ(unknown->QueryInterface(kIidQuorrel, quorrel.out()), S_OK);
  // One object behind one function table.
  EXPECT_EQ(static_cast<void*>(unknown.p), static_cast<void*>(dispatch.p));
  EXPECT_EQ(static_cast<void*>(unknown.p), static_cast<void*>(quorrel.p));
  void* p = &p;
  EXPECT_EQ(unknown->QueryInterface(IID_IClassFactory, &p), E_NOINTERFACE);
  EXPECT_EQ(p, nullptr);
  EXPECT_EQ(unknown->QueryInterface(kClsidQuorrel, &p), E_NOINTERFACE);
  EXPECT_EQ(unknown->QueryInterface(IID_IUnknown, nullptr), E_POINTER);
}

TEST(Module, CanUnloadOnlyWhenNothingHoldsIt) {
  EXPECT_EQ(DllCanUnloadNow(), S_OK);
  IClassFactory* factory = nullptr;
  ASSERT_EQ(DllGetClassObject(kClsidQuorrel, IID_IClassFactory, reinterpret_cast<void**>(&factory)),
            S_OK);
  EXPECT_EQ(DllCanUnloadNow(), S_FALSE);  // the class object is held
  IUnknown* object = nullptr;
  ASSERT_EQ(factory->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(&object)),
            S_OK);
  EXPECT_EQ(factory->LockServer(TRUE), S_OK);
  factory->Release();
  EXPECT_EQ(DllCanUnloadNow(), S_FALSE);  // an instance and a lock
  object->Release();
  EXPECT_EQ(DllCanUnloadNow(), S_FALSE);  // the lock
  ASSERT_EQ(DllGetClassObject(kClsidQuorrel, IID_IClassFactory, reinterpret_cast<void**>(&factory)),
            S_OK);
  EXPECT_EQ(factory->LockServer(FALSE), S_OK);
  EXPECT_EQ(DllCanUnloadNow(), S_FALSE);  // the class object again
  ASSERT_EQ(factory->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(&object)),
            S_OK);
  // An unbalanced unlock and an extra release of the class object don't hide a live instance.
  EXPECT_EQ(factory->LockServer(FALSE), S_OK);
  factory->Release();
  factory->Release();
  EXPECT_EQ(DllCanUnloadNow(), S_FALSE);
  object->Release();
  EXPECT_EQ(DllCanUnloadNow(), S_OK);
}

}  // namespace
}  // namespace wq::frame
