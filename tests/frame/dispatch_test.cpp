// clsQuorrel called through its function table and by name through IDispatch, in-process,
// against the presence stand-in that records what arrived.
#include <gtest/gtest.h>

#include <vector>

#include "frame/descriptor.h"
#include "frame/quorrel.h"
#include "tests/frame/com_test_util.h"
#include "tests/frame/presence_stub.h"

extern "C" HRESULT DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv);

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
  static VARIANT Missing() {
    VARIANT v = Var(VT_ERROR);
    v.scode = DISP_E_PARAMNOTFOUND;
    return v;
  }

  ComPtr<_clsQuorrel> object_;
  VARIANT result_{};
  UINT arg_err_ = 99;
  int calls_before_ = 0;
  Bstr conn_ = MakeBstr(u"Provider=SQLite;Data Source=x.db");
};

TEST_F(QuorrelTest, FunctionTableCallReadsArgumentsAndLeavesThemAlone) {
  SHORT state = 2;
  Bstr name = MakeBstr(u"Sales");
  BSTR name_ptr = name.get();
  VARIANT_BOOL login = VARIANT_TRUE;
  LONG result = -5;
  ASSERT_EQ(object_->UpdateOnlineState(conn_.get(), &state, &name_ptr, &login, &result), S_OK);
  EXPECT_EQ(LastCall().conn, u"Provider=SQLite;Data Source=x.db");
  EXPECT_EQ(LastCall().self_state, 2);
  EXPECT_EQ(LastCall().mod_name, u"Sales");
  EXPECT_TRUE(LastCall().mod_login);
  EXPECT_EQ(result, presence::stub::Checksum(LastCall().conn, 2, u"Sales", true));
  EXPECT_EQ(state, 2);
  EXPECT_EQ(name_ptr, name.get());
  EXPECT_EQ(Text(name.get()), u"Sales");
  EXPECT_EQ(login, VARIANT_TRUE);

  // Omitted optional parameters, a NULL connection string, a login flag that is merely nonzero.
  ASSERT_EQ(object_->UpdateOnlineState(nullptr, nullptr, nullptr, nullptr, &result), S_OK);
  EXPECT_EQ(LastCall().conn, u"");
  EXPECT_EQ(LastCall().self_state, 0);
  EXPECT_EQ(LastCall().mod_name, u"");
  EXPECT_FALSE(LastCall().mod_login);
  login = 1;
  BSTR null_name = nullptr;
  ASSERT_EQ(object_->UpdateOnlineState(conn_.get(), nullptr, &null_name, &login, &result), S_OK);
  EXPECT_TRUE(LastCall().mod_login);
  EXPECT_EQ(LastCall().mod_name, u"");

  // Embedded NULs travel: the BSTR's length counts, not its first NUL.
  const char16_t raw[] = {u'a', 0, u'b'};
  Bstr odd(SysAllocStringLen(raw, 3));
  ASSERT_EQ(object_->UpdateOnlineState(odd.get(), nullptr, nullptr, nullptr, &result), S_OK);
  EXPECT_EQ(LastCall().conn, Text(raw, 3));

  EXPECT_EQ(object_->UpdateOnlineState(conn_.get(), nullptr, nullptr, nullptr, nullptr), E_POINTER);
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

TEST_F(QuorrelTest, InvokeWithOnlyTheConnectionStringUsesDefaults) {
  ASSERT_EQ(Call({Str(conn_)}), S_OK);
  ASSERT_TRUE(Ran());
  EXPECT_EQ(LastCall().conn, u"Provider=SQLite;Data Source=x.db");
  EXPECT_EQ(LastCall().self_state, 0);
  EXPECT_EQ(LastCall().mod_name, u"");
  EXPECT_FALSE(LastCall().mod_login);
  EXPECT_EQ(result_.vt, VT_I4);
  EXPECT_EQ(result_.lVal, presence::stub::Checksum(LastCall().conn, 0, u"", false));

  // Read like a property, as VBScript does for "n = o.UpdateOnlineState(c)"; no result wanted.
  ASSERT_EQ(Call({Str(conn_)}, {}, DISPATCH_METHOD | DISPATCH_PROPERTYGET), S_OK);
  DISPPARAMS params{nullptr, nullptr, 0, 0};
  VARIANT arg = Str(conn_);
  params.rgvarg = &arg;
  params.cArgs = 1;
  EXPECT_EQ(object_->Invoke(kDispidUpdateOnlineState, IID_NULL, 0, DISPATCH_METHOD, &params,
                            nullptr, nullptr, nullptr),
            S_OK);
}

TEST_F(QuorrelTest, InvokeByPositionByNameAndMixed) {
  Bstr name = MakeBstr(u"Stock");
  VARIANT login = Var(VT_BOOL);
  login.boolVal = VARIANT_TRUE;
  // Positional: rgvarg holds the last argument first.
  ASSERT_EQ(Call({login, Str(name), I2(2), Str(conn_)}), S_OK);
  EXPECT_EQ(LastCall().self_state, 2);
  EXPECT_EQ(LastCall().mod_name, u"Stock");
  EXPECT_TRUE(LastCall().mod_login);

  // Named only, in any order.
  ASSERT_EQ(
      Call({Str(name), Str(conn_), I2(3)}, {kParamModName, kParamConnSystem, kParamSelfState}),
      S_OK);
  EXPECT_EQ(LastCall().conn, u"Provider=SQLite;Data Source=x.db");
  EXPECT_EQ(LastCall().self_state, 3);
  EXPECT_EQ(LastCall().mod_name, u"Stock");
  EXPECT_FALSE(LastCall().mod_login);

  // One positional, one named: named arguments come first in rgvarg.
  ASSERT_EQ(Call({login, Str(conn_)}, {kParamModLogin}), S_OK);
  EXPECT_EQ(LastCall().self_state, 0);
  EXPECT_TRUE(LastCall().mod_login);
}

TEST_F(QuorrelTest, InvokeOmittedAndByReferenceArguments) {
  // VT_ERROR/DISP_E_PARAMNOTFOUND marks an omitted argument in the middle.
  ASSERT_EQ(Call({I2(1), Missing(), I2(2), Str(conn_)}), S_OK);
  EXPECT_EQ(LastCall().self_state, 2);
  EXPECT_EQ(LastCall().mod_name, u"");
  EXPECT_TRUE(LastCall().mod_login);

  // Typed references, and variant references as VBScript passes its variables.
  SHORT state = 2;
  Bstr name = MakeBstr(u"Ledger");
  BSTR name_ptr = name.get();
  VARIANT_BOOL login = VARIANT_TRUE;
  VARIANT by_state = Var(VT_I2 | VT_BYREF);
  by_state.piVal = &state;
  VARIANT by_name = Var(VT_BSTR | VT_BYREF);
  by_name.pbstrVal = &name_ptr;
  VARIANT by_login = Var(VT_BOOL | VT_BYREF);
  by_login.pboolVal = &login;
  ASSERT_EQ(Call({by_login, by_name, by_state, Str(conn_)}), S_OK);
  EXPECT_EQ(LastCall().self_state, 2);
  EXPECT_EQ(LastCall().mod_name, u"Ledger");
  EXPECT_TRUE(LastCall().mod_login);

  VARIANT held_state = Var(VT_BSTR);
  Bstr digits = MakeBstr(u" 2 ");
  held_state.bstrVal = digits.get();
  VARIANT held_conn = Str(conn_);
  VARIANT ref_state = Var(VT_VARIANT | VT_BYREF);
  ref_state.pvarVal = &held_state;
  VARIANT ref_conn = Var(VT_VARIANT | VT_BYREF);
  ref_conn.pvarVal = &held_conn;
  ASSERT_EQ(Call({ref_state, ref_conn}), S_OK);
  EXPECT_EQ(LastCall().conn, u"Provider=SQLite;Data Source=x.db");
  EXPECT_EQ(LastCall().self_state, 2);

  // Nothing the caller passed by reference was written.
  EXPECT_EQ(state, 2);
  EXPECT_EQ(name_ptr, name.get());
  EXPECT_EQ(Text(name.get()), u"Ledger");
  EXPECT_EQ(login, VARIANT_TRUE);
  EXPECT_EQ(held_state.vt, VT_BSTR);
  EXPECT_EQ(held_state.bstrVal, digits.get());

  // VT_EMPTY is the default too.
  ASSERT_EQ(Call({Var(VT_EMPTY), Var(VT_EMPTY), Var(VT_EMPTY), Str(conn_)}), S_OK);
  EXPECT_EQ(LastCall().self_state, 0);
  EXPECT_FALSE(LastCall().mod_login);
}

TEST_F(QuorrelTest, BadCallsNameTheArgumentAtFault) {
  VARIANT big = Var(VT_I4);
  big.lVal = 40000;
  EXPECT_EQ(Call({Var(VT_EMPTY), big, Str(conn_)}), DISP_E_OVERFLOW);
  EXPECT_EQ(arg_err_, 1u);
  EXPECT_FALSE(Ran());

  EXPECT_EQ(Call({Var(VT_NULL), Str(conn_)}), DISP_E_TYPEMISMATCH);  // SelfState
  EXPECT_EQ(arg_err_, 0u);
  EXPECT_EQ(Call({Var(VT_NULL), I2(0), Str(conn_)}), DISP_E_TYPEMISMATCH);  // ModName
  EXPECT_EQ(arg_err_, 0u);
  EXPECT_EQ(Call({I2(0), Var(VT_NULL)}), DISP_E_TYPEMISMATCH);  // the connection string
  EXPECT_EQ(arg_err_, 1u);
  Bstr word = MakeBstr(u"maybe");
  EXPECT_EQ(Call({Str(word), Var(VT_EMPTY), Var(VT_EMPTY), Str(conn_)}), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(arg_err_, 0u);
  EXPECT_EQ(Call({Var(0x0FFF), Str(conn_)}), DISP_E_BADVARTYPE);
  EXPECT_EQ(arg_err_, 0u);

  // The required first argument is missing.
  EXPECT_EQ(Call({}), DISP_E_PARAMNOTFOUND);
  EXPECT_EQ(arg_err_, 99u);
  EXPECT_EQ(Call({Missing()}), DISP_E_PARAMNOTFOUND);
  EXPECT_EQ(arg_err_, 0u);
  EXPECT_EQ(Call({I2(2)}, {kParamSelfState}), DISP_E_PARAMNOTFOUND);

  // Too many, unknown or repeated names.
  EXPECT_EQ(Call({I2(0), I2(0), I2(0), I2(0), Str(conn_)}), DISP_E_BADPARAMCOUNT);
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

}  // namespace
}  // namespace wq::frame
