// clsQuorrel called through its function table and by name through IDispatch, in-process,
// against the presence stand-in that records what arrived.
#include <gtest/gtest.h>

#include <vector>

#include "frame/descriptor.h"
#include "frame/quorrel.h"
#include "tests/frame/com_test_util.h"
#include "tests/frame/presence_stub.h"

extern "C" HRESULT DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv);
extern "C" HRESULT DllCanUnloadNow();

namespace wq::frame {
namespace {

using presence::stub::LastCall;
using testing::Bstr;
using testing::ComPtr;
using testing::MakeBstr;
using testing::Var;

class QuorrelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ComPtr<IClassFactory> factory;
    ASSERT_EQ(DllGetClassObject(kClsidQuorrel, IID_IClassFactory, factory.out()), S_OK);
    ASSERT_EQ(factory->CreateInstance(nullptr, kIidQuorrel, object_.out()), S_OK);
  }

  // Invokes UpdateOnlineState with rgvarg as given (last parameter first) and named ids.
  HRESULT Call(std::vector<VARIANT> args, std::vector<DISPID> named = {},
               WORD flags = DISPATCH_METHOD) {
    DISPPARAMS params{args.data(), named.data(), static_cast<UINT>(args.size()),
                      static_cast<UINT>(named.size())};
    result_ = Var(VT_EMPTY);
    arg_err_ = 99;
    calls_before_ = LastCall().calls;
    return object_->Invoke(kDispidUpdateOnlineState, IID_NULL, 0, flags, &params, &result_, nullptr,
                           &arg_err_);
  }
  bool Ran() const { return LastCall().calls == calls_before_ + 1; }

  static VARIANT Str(const Bstr& b) {
    VARIANT v = Var(VT_BSTR);
    v.bstrVal = b.get();
    return v;
  }
  static VARIANT I2(SHORT x) {
    VARIANT v = Var(VT_I2);
    v.iVal = x;
    return v;
  }

  ComPtr<_clsQuorrel> object_;
  VARIANT result_{};
  UINT arg_err_ = 99;
  int calls_before_ = 0;
  Bstr conn_ = MakeBstr(u"Provider=SQLite;Data Source=x.db");
};

// Through the function table; the C host test covers the ordinary calls.
TEST_F(QuorrelTest, FunctionTableEdgeValues) {
  LONG result = -5;
  // A login flag that is merely nonzero, a NULL BSTR behind the module name pointer.
  VARIANT_BOOL login = 1;
  BSTR null_name = nullptr;
  ASSERT_EQ(object_->UpdateOnlineState(conn_.get(), nullptr, &null_name, &login, &result), S_OK);
  EXPECT_TRUE(LastCall().mod_login);
  EXPECT_EQ(LastCall().mod_name, u"");
  EXPECT_EQ(login, 1);

  // Embedded NULs travel: the BSTR's length counts, not its first NUL.
  const char16_t raw[] = {u'a', 0, u'b'};
  Bstr odd(SysAllocStringLen(raw, 3));
  ASSERT_EQ(object_->UpdateOnlineState(odd.get(), nullptr, nullptr, nullptr, &result), S_OK);
  EXPECT_EQ(LastCall().conn, Text(raw, 3));
  EXPECT_EQ(result, presence::stub::Checksum(Text(raw, 3), 0, u"", false));
}

TEST_F(QuorrelTest, NamesIgnoreLetterCase) {
  const char16_t* names[] = {u"updateONLINEstate", u"modlogin", u"GSTRCONNSYSTEM", u"SelfState",
                             u"ModName"};
  DISPID ids[5] = {};
  ASSERT_EQ(object_->GetIDsOfNames(IID_NULL, const_cast<LPOLESTR*>(names), 5, 0, ids), S_OK);
  EXPECT_EQ(ids[0], kDispidUpdateOnlineState);
  EXPECT_EQ(ids[1], kParamModLogin);
  EXPECT_EQ(ids[2], kParamConnSystem);
  EXPECT_EQ(ids[3], kParamSelfState);
  EXPECT_EQ(ids[4], kParamModName);

  const char16_t* unknown_param[] = {u"UpdateOnlineState", u"Bogus", u"ModName"};
  EXPECT_EQ(object_->GetIDsOfNames(IID_NULL, const_cast<LPOLESTR*>(unknown_param), 3, 0, ids),
            DISP_E_UNKNOWNNAME);
  EXPECT_EQ(ids[0], kDispidUpdateOnlineState);
  EXPECT_EQ(ids[1], DISPID_UNKNOWN);
  EXPECT_EQ(ids[2], kParamModName);

  const char16_t* unknown_member[] = {u"UpdateOnlineStat", u"ModName"};
  EXPECT_EQ(object_->GetIDsOfNames(IID_NULL, const_cast<LPOLESTR*>(unknown_member), 2, 0, ids),
            DISP_E_UNKNOWNNAME);
  EXPECT_EQ(ids[0], DISPID_UNKNOWN);
  EXPECT_EQ(ids[1], DISPID_UNKNOWN);

  LPOLESTR null_name[] = {nullptr};
  EXPECT_EQ(object_->GetIDsOfNames(IID_NULL, null_name, 1, 0, ids), DISP_E_UNKNOWNNAME);
  EXPECT_EQ(object_->GetIDsOfNames(IID_IDispatch, const_cast<LPOLESTR*>(names), 1, 0, ids),
            DISP_E_UNKNOWNINTERFACE);
  EXPECT_EQ(object_->GetIDsOfNames(IID_NULL, nullptr, 1, 0, ids), E_INVALIDARG);
}

TEST_F(QuorrelTest, NoTypeInformation) {
  UINT count = 7;
  EXPECT_EQ(object_->GetTypeInfoCount(&count), S_OK);
  EXPECT_EQ(count, 0u);
  ITypeInfo* info = reinterpret_cast<ITypeInfo*>(&count);
  EXPECT_TRUE(FAILED(object_->GetTypeInfo(0, 0, &info)));
  EXPECT_EQ(info, nullptr);
  EXPECT_EQ(object_->GetTypeInfo(0, 0, nullptr), E_POINTER);
  EXPECT_EQ(object_->GetTypeInfoCount(nullptr), E_INVALIDARG);
}

// Positional and named arguments together, empty variants and no result wanted. (The C host
// test covers the plain positional, named and by-reference forms.)
TEST_F(QuorrelTest, InvokeMixedPositionalAndNamed) {
  VARIANT login = Var(VT_BOOL);
  login.boolVal = VARIANT_TRUE;
  // Named arguments come first in rgvarg, the positional ones follow, last first.
  ASSERT_EQ(Call({login, Var(VT_EMPTY), Str(conn_)}, {kParamModLogin}), S_OK);
  EXPECT_EQ(LastCall().conn, u"Provider=SQLite;Data Source=x.db");
  EXPECT_EQ(LastCall().self_state, 0);
  EXPECT_TRUE(LastCall().mod_login);
  EXPECT_EQ(result_.vt, VT_I4);

  VARIANT arg = Str(conn_);
  DISPPARAMS params{&arg, nullptr, 1, 0};
  EXPECT_EQ(object_->Invoke(kDispidUpdateOnlineState, IID_NULL, 0, DISPATCH_METHOD, &params,
                            nullptr, nullptr, nullptr),
            S_OK);
}

TEST_F(QuorrelTest, BadCallsNameTheArgumentAtFault) {
  EXPECT_EQ(Call({Var(VT_NULL), I2(0), Str(conn_)}), DISP_E_TYPEMISMATCH);  // ModName
  EXPECT_EQ(arg_err_, 0u);
  EXPECT_EQ(Call({I2(0), Var(VT_NULL)}), DISP_E_TYPEMISMATCH);  // the connection string
  EXPECT_EQ(arg_err_, 1u);
  Bstr word = MakeBstr(u"maybe");
  EXPECT_EQ(Call({Str(word), Var(VT_EMPTY), Var(VT_EMPTY), Str(conn_)}), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(arg_err_, 0u);

  // The required first argument is missing: no index when it is absent altogether.
  EXPECT_EQ(Call({}), DISP_E_PARAMNOTFOUND);
  EXPECT_EQ(arg_err_, 99u);
  EXPECT_EQ(Call({I2(2)}, {kParamSelfState}), DISP_E_PARAMNOTFOUND);

  // Too many, unknown or repeated names.
  EXPECT_EQ(Call({I2(0), Str(conn_)}, {7}), DISP_E_PARAMNOTFOUND);
  EXPECT_EQ(arg_err_, 0u);
  EXPECT_EQ(Call({I2(0), Str(conn_)}, {DISPID_PROPERTYPUT}), DISP_E_PARAMNOTFOUND);
  EXPECT_EQ(Call({I2(1), I2(0), Str(conn_)}, {kParamConnSystem}), DISP_E_PARAMNOTFOUND);
  EXPECT_EQ(arg_err_, 0u);
  EXPECT_EQ(Call({I2(1), I2(0), Str(conn_)}, {kParamSelfState, kParamSelfState}),
            DISP_E_PARAMNOTFOUND);
  EXPECT_EQ(arg_err_, 1u);
  EXPECT_FALSE(Ran());

  // Wrong member, interface or kind of call; malformed parameter blocks.
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  EXPECT_EQ(object_->Invoke(2, IID_NULL, 0, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr),
            DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(object_->Invoke(kDispidUpdateOnlineState, IID_IUnknown, 0, DISPATCH_METHOD, &none,
                            nullptr, nullptr, nullptr),
            DISP_E_UNKNOWNINTERFACE);
  EXPECT_EQ(Call({Str(conn_)}, {}, DISPATCH_PROPERTYGET), DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(Call({Str(conn_)}, {}, DISPATCH_METHOD | DISPATCH_PROPERTYPUT), DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(object_->Invoke(kDispidUpdateOnlineState, IID_NULL, 0, DISPATCH_METHOD, nullptr,
                            nullptr, nullptr, nullptr),
            E_INVALIDARG);
  DISPPARAMS bad{nullptr, nullptr, 1, 0};
  EXPECT_EQ(object_->Invoke(kDispidUpdateOnlineState, IID_NULL, 0, DISPATCH_METHOD, &bad, nullptr,
                            nullptr, nullptr),
            E_INVALIDARG);
  VARIANT one = Str(conn_);
  DISPPARAMS more_named{&one, nullptr, 1, 2};
  EXPECT_EQ(object_->Invoke(kDispidUpdateOnlineState, IID_NULL, 0, DISPATCH_METHOD, &more_named,
                            nullptr, nullptr, nullptr),
            E_INVALIDARG);
  EXPECT_FALSE(Ran());
}

TEST_F(QuorrelTest, OneObjectBehindEveryInterface) {
  ComPtr<IUnknown> unknown;
  ComPtr<IDispatch> dispatch;
  ASSERT_EQ(object_->QueryInterface(IID_IUnknown, unknown.out()), S_OK);
  ASSERT_EQ(object_->QueryInterface(IID_IDispatch, dispatch.out()), S_OK);
  EXPECT_EQ(static_cast<void*>(unknown.p), static_cast<void*>(object_.p));
  EXPECT_EQ(static_cast<void*>(dispatch.p), static_cast<void*>(object_.p));
  EXPECT_EQ(object_->QueryInterface(IID_IUnknown, nullptr), E_POINTER);
}

TEST(Module, CarelessHostsDoNotUnloadALiveInstance) {
  IClassFactory* factory = nullptr;
  ASSERT_EQ(DllGetClassObject(kClsidQuorrel, IID_IClassFactory, reinterpret_cast<void**>(&factory)),
            S_OK);
  EXPECT_EQ(DllGetClassObject(kClsidQuorrel, IID_IClassFactory, nullptr), E_POINTER);
  EXPECT_EQ(factory->CreateInstance(nullptr, IID_IUnknown, nullptr), E_POINTER);
  IUnknown* object = nullptr;
  ASSERT_EQ(factory->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(&object)),
            S_OK);
  // An unlock without a lock, and one release of the class object too many.
  EXPECT_EQ(factory->LockServer(FALSE), S_OK);
  factory->Release();
  factory->Release();
  EXPECT_EQ(DllCanUnloadNow(), S_FALSE);
  object->Release();
  EXPECT_EQ(DllCanUnloadNow(), S_OK);
}

}  // namespace
}  // namespace wq::frame
