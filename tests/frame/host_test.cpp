// WebQuorrel.so as a COM host written in C sees it: registered into a registry file, found
// again by ProgID, loaded with dlopen and called through the host's own declarations of COM's
// function tables and VARIANTs (tests/frame/com_abi.h, not the component's headers). This
// module carries the presence stand-in, which answers with a checksum of what it received.
#include "tests/frame/host.h"

#include <gtest/gtest.h>
#include <limits.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/temp_dir.h"

namespace {

namespace fs = std::filesystem;

const char kProgId[] = "webQuorrel.clsQuorrel";
const char kClsidText[] = "{166548CF-3B83-4029-B99D-9499488860C3}";
const char kIidText[] = HOST_IID_QUORREL;
const char kForeign[] =
    "# entries of other components\n"
    "HKCR\\Other.Thing\\CLSID = {00000000-0000-0000-0000-000000000001}\n"
    "HKCR\\CLSID\\{00000000-0000-0000-0000-000000000001}\\InprocServer32 = /x/other.so\n";

const abi_olechar* U(const char16_t* s) { return reinterpret_cast<const abi_olechar*>(s); }
uint32_t Len(const char16_t* s) {
  return static_cast<uint32_t>(std::char_traits<char16_t>::length(s));
}

struct Bstr {
  explicit Bstr(const char16_t* s) : b(host_bstr(U(s), Len(s))) {}
  ~Bstr() { host_bstr_free(b); }
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  abi_bstr b;
};

abi_variant Var(uint16_t vt) {
  abi_variant v;
  std::memset(&v, 0, sizeof v);
  v.vt = vt;
  return v;
}

int32_t Checksum(const char16_t* conn, int16_t state, const char16_t* name, bool login) {
  return host_stub_checksum(U(conn), Len(conn), state, U(name), Len(name), login ? 1 : 0);
}

class HostTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = wq::testing::MakeTempDir("host");
    registry_ = (dir_ / "registry").string();
    std::ofstream(registry_) << kForeign;
    setenv("WEBQUORREL_REGISTRY", registry_.c_str(), 1);

    // Register from where the build put the module, then find it again as a host would.
    char error[512];
    char path[PATH_MAX];
    ASSERT_TRUE(host_install(WQ_STUB_MODULE, registry_.c_str(), kProgId, &clsid_, path, sizeof path,
                             &module_, error, sizeof error))
        << error;
    server_path_ = path;
  }

  void TearDown() override {
    host_unload(&module_);
    unsetenv("WEBQUORREL_REGISTRY");
    fs::remove_all(dir_);
  }

  abi_quorrel* Create() {
    abi_quorrel* object = host_create_quorrel(&module_, &clsid_);
    EXPECT_NE(object, nullptr);
    return object;
  }

  std::string ReadRegistry() const {
    std::ifstream in(registry_);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }

  fs::path dir_;
  std::string registry_;
  abi_guid clsid_{};
  std::string server_path_;
  host_module module_{};
};

TEST_F(HostTest, TheProgIdLeadsToThisModule) {
  abi_guid expected;
  ASSERT_TRUE(host_parse_guid(kClsidText, &expected));
  EXPECT_TRUE(host_guid_equal(&clsid_, &expected));
  char real[PATH_MAX];
  ASSERT_NE(realpath(WQ_STUB_MODULE, real), nullptr);
  EXPECT_EQ(server_path_, real);
  char data[256];
  const std::string server_key = std::string("CLSID\\") + kClsidText + "\\InprocServer32";
  ASSERT_EQ(host_registry_read(registry_.c_str(), server_key.c_str(), "ThreadingModel", data,
                               sizeof data),
            1);
  EXPECT_STREQ(data, "Apartment");
  const std::string interface_key = std::string("Interface\\") + kIidText;
  ASSERT_EQ(
      host_registry_read(registry_.c_str(), interface_key.c_str(), nullptr, data, sizeof data), 1);
  EXPECT_STREQ(data, "_clsQuorrel");
  EXPECT_EQ(host_registry_read(registry_.c_str(), "Other.Thing\\CLSID", nullptr, data, sizeof data),
            1);
}

TEST_F(HostTest, ExportsOnlyTheEntryPoints) {
  for (const char* name :
       {"DllRegisterServer", "DllUnregisterServer", "DllGetClassObject", "DllCanUnloadNow"}) {
    EXPECT_TRUE(host_exports(&module_, name)) << name;
  }
  for (const char* name :
       {"SysAllocString", "SysFreeString", "VariantClear",
        "_ZN2wq5frame4body17UpdateOnlineStateERKNSt7__cxx1112basic_stringIDsSt11char_"
        "traitsIDsESaIDsEEEsS9_b"}) {
    EXPECT_FALSE(host_exports(&module_, name)) << name;
  }
}

TEST_F(HostTest, UnregisterRemovesOnlyItsOwnEntries) {
  ASSERT_EQ(module_.DllUnregisterServer(), ABI_S_OK);
  EXPECT_EQ(ReadRegistry(), kForeign);
  abi_guid clsid;
  char path[PATH_MAX];
  EXPECT_FALSE(host_resolve_progid(registry_.c_str(), kProgId, &clsid, path, sizeof path));
  EXPECT_EQ(module_.DllUnregisterServer(), ABI_S_OK);  // a second time changes nothing
  EXPECT_EQ(ReadRegistry(), kForeign);
}

TEST_F(HostTest, ClassObjectAndInstances) {
  void* p = &p;
  abi_guid foreign = clsid_;
  foreign.data4[7] ^= 1;
  EXPECT_EQ(module_.DllGetClassObject(&foreign, &host_iid_iclassfactory, &p),
            ABI_CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(p, nullptr);

  abi_class_factory* factory = nullptr;
  ASSERT_EQ(module_.DllGetClassObject(&clsid_, &host_iid_iclassfactory,
                                      reinterpret_cast<void**>(&factory)),
            ABI_S_OK);
  abi_unknown outer{nullptr};
  p = &p;
  EXPECT_EQ(factory->vtbl->CreateInstance(factory, &outer, &host_iid_iunknown, &p),
            ABI_CLASS_E_NOAGGREGATION);
  EXPECT_EQ(p, nullptr);
  abi_quorrel* a = nullptr;
  abi_quorrel* b = nullptr;
  ASSERT_EQ(factory->vtbl->CreateInstance(factory, nullptr, &host_iid_idispatch,
                                          reinterpret_cast<void**>(&a)),
            ABI_S_OK);
  ASSERT_EQ(factory->vtbl->CreateInstance(factory, nullptr, &host_iid_iunknown,
                                          reinterpret_cast<void**>(&b)),
            ABI_S_OK);
  EXPECT_NE(a, b);
  EXPECT_EQ(a->vtbl->AddRef(a), 2u);
  EXPECT_EQ(a->vtbl->Release(a), 1u);
  p = &p;
  EXPECT_EQ(a->vtbl->QueryInterface(a, &host_iid_iclassfactory, &p), ABI_E_NOINTERFACE);
  EXPECT_EQ(p, nullptr);
  EXPECT_EQ(a->vtbl->QueryInterface(a, &clsid_, &p), ABI_E_NOINTERFACE);

  // The module stays while anything of it is held.
  EXPECT_EQ(module_.DllCanUnloadNow(), ABI_S_FALSE);
  EXPECT_EQ(factory->vtbl->LockServer(factory, 1), ABI_S_OK);
  factory->vtbl->Release(factory);
  EXPECT_EQ(a->vtbl->Release(a), 0u);
  EXPECT_EQ(module_.DllCanUnloadNow(), ABI_S_FALSE);  // b and the lock
  EXPECT_EQ(b->vtbl->Release(b), 0u);
  EXPECT_EQ(module_.DllCanUnloadNow(), ABI_S_FALSE);  // the lock
  ASSERT_EQ(
      module_.DllGetClassObject(&clsid_, &host_iid_iunknown, reinterpret_cast<void**>(&factory)),
      ABI_S_OK);
  EXPECT_EQ(factory->vtbl->LockServer(factory, 0), ABI_S_OK);
  factory->vtbl->Release(factory);
  EXPECT_EQ(module_.DllCanUnloadNow(), ABI_S_OK);
}

TEST_F(HostTest, CallThroughTheFunctionTable) {
  EXPECT_EQ(module_.DllCanUnloadNow(), ABI_S_OK);
  abi_quorrel* first = Create();
  abi_quorrel* second = Create();
  ASSERT_NE(first, nullptr);
  ASSERT_NE(second, nullptr);

  Bstr conn(u"Provider=SQLite;Data Source=/tmp/x.db");
  Bstr name(u"Sales \u00e9");
  abi_bstr name_ptr = name.b;
  int16_t state = 2;
  int16_t login = -1;
  int32_t result = -7;
  ASSERT_EQ(first->vtbl->UpdateOnlineState(first, conn.b, &state, &name_ptr, &login, &result),
            ABI_S_OK);
  EXPECT_EQ(result, Checksum(u"Provider=SQLite;Data Source=/tmp/x.db", 2, u"Sales \u00e9", true));
  EXPECT_EQ(state, 2);
  EXPECT_EQ(name_ptr, name.b);
  EXPECT_EQ(login, -1);

  // Optional parameters omitted: NULL pointers.
  ASSERT_EQ(second->vtbl->UpdateOnlineState(second, conn.b, nullptr, nullptr, nullptr, &result),
            ABI_S_OK);
  EXPECT_EQ(result, Checksum(u"Provider=SQLite;Data Source=/tmp/x.db", 0, u"", false));
  ASSERT_EQ(second->vtbl->UpdateOnlineState(second, nullptr, nullptr, nullptr, nullptr, &result),
            ABI_S_OK);
  EXPECT_EQ(result, Checksum(u"", 0, u"", false));
  EXPECT_EQ(second->vtbl->UpdateOnlineState(second, conn.b, nullptr, nullptr, nullptr, nullptr),
            ABI_E_POINTER);

  EXPECT_EQ(module_.DllCanUnloadNow(), ABI_S_FALSE);
  first->vtbl->Release(first);
  EXPECT_EQ(module_.DllCanUnloadNow(), ABI_S_FALSE);
  second->vtbl->Release(second);
  EXPECT_EQ(module_.DllCanUnloadNow(), ABI_S_OK);
}

TEST_F(HostTest, CallByName) {
  abi_quorrel* q = Create();
  ASSERT_NE(q, nullptr);
  const char16_t* names[] = {u"updateonlinestate", u"MODNAME", u"gstrconnsystem", u"selfstate",
                             u"modlogin"};
  int32_t ids[5];
  ASSERT_EQ(q->vtbl->GetIDsOfNames(
                q, &host_iid_null,
                const_cast<abi_olechar**>(reinterpret_cast<const abi_olechar**>(names)), 5, 0, ids),
            ABI_S_OK);
  const char16_t* bogus[] = {u"UpdateOnlineStatus"};
  int32_t bogus_id = 0;
  EXPECT_EQ(
      q->vtbl->GetIDsOfNames(
          q, &host_iid_null,
          const_cast<abi_olechar**>(reinterpret_cast<const abi_olechar**>(bogus)), 1, 0, &bogus_id),
      ABI_DISP_E_UNKNOWNNAME);
  EXPECT_EQ(bogus_id, ABI_DISPID_UNKNOWN);
  const int32_t method = ids[0];
  const int32_t p_name = ids[1], p_conn = ids[2], p_state = ids[3], p_login = ids[4];

  Bstr conn(u"DSN=presence");
  abi_variant result;
  uint32_t arg_err = 99;
  auto invoke = [&](std::vector<abi_variant> args, std::vector<int32_t> named = {},
                    uint16_t flags = ABI_DISPATCH_METHOD) {
    abi_dispparams params{args.data(), named.data(), static_cast<uint32_t>(args.size()),
                          static_cast<uint32_t>(named.size())};
    result = Var(ABI_VT_EMPTY);
    arg_err = 99;
    return q->vtbl->Invoke(q, method, &host_iid_null, 0, flags, &params, &result, nullptr,
                           &arg_err);
  };
  auto bstr = [](const Bstr& s) {
    abi_variant v = Var(ABI_VT_BSTR);
    v.u.bstrVal = s.b;
    return v;
  };
  auto i2 = [](int16_t x) {
    abi_variant v = Var(ABI_VT_I2);
    v.u.iVal = x;
    return v;
  };

  // Only the first argument: the defaults apply.
  ASSERT_EQ(invoke({bstr(conn)}, {}, ABI_DISPATCH_METHOD | ABI_DISPATCH_PROPERTYGET), ABI_S_OK);
  EXPECT_EQ(result.vt, ABI_VT_I4);
  EXPECT_EQ(result.u.lVal, Checksum(u"DSN=presence", 0, u"", false));

  // All four by position, the last first in rgvarg, passed by reference as typed pointers.
  int16_t state = 2;
  Bstr name(u"Ledger");
  abi_bstr name_ptr = name.b;
  int16_t login = -1;
  abi_variant by_state = Var(ABI_VT_I2 | ABI_VT_BYREF);
  by_state.u.piVal = &state;
  abi_variant by_name = Var(ABI_VT_BSTR | ABI_VT_BYREF);
  by_name.u.pbstrVal = &name_ptr;
  abi_variant by_login = Var(ABI_VT_BOOL | ABI_VT_BYREF);
  by_login.u.pboolVal = &login;
  ASSERT_EQ(invoke({by_login, by_name, by_state, bstr(conn)}), ABI_S_OK);
  EXPECT_EQ(result.u.lVal, Checksum(u"DSN=presence", 2, u"Ledger", true));
  EXPECT_EQ(state, 2);
  EXPECT_EQ(name_ptr, name.b);
  EXPECT_EQ(login, -1);

  // By name, with variant references as script hosts pass their variables.
  abi_variant held = i2(2);
  abi_variant ref = Var(ABI_VT_VARIANT | ABI_VT_BYREF);
  ref.u.pvarVal = &held;
  ASSERT_EQ(invoke({ref, bstr(name), bstr(conn)}, {p_state, p_name, p_conn}), ABI_S_OK);
  EXPECT_EQ(result.u.lVal, Checksum(u"DSN=presence", 2, u"Ledger", false));
  EXPECT_EQ(held.vt, ABI_VT_I2);
  EXPECT_EQ(held.u.iVal, 2);

  // An omitted argument in the middle, and text and numbers that coerce.
  abi_variant missing = Var(ABI_VT_ERROR);
  missing.u.scode = ABI_DISP_E_PARAMNOTFOUND;
  Bstr digits(u"2");
  abi_variant truth = Var(ABI_VT_I4);
  truth.u.lVal = 1;
  ASSERT_EQ(invoke({truth, missing, bstr(digits), bstr(conn)}), ABI_S_OK);
  EXPECT_EQ(result.u.lVal, Checksum(u"DSN=presence", 2, u"", true));
  ASSERT_EQ(invoke({truth, bstr(conn)}, {p_login, p_conn}), ABI_S_OK);
  EXPECT_EQ(result.u.lVal, Checksum(u"DSN=presence", 0, u"", true));

  // Bad calls: the standard results, and the index in rgvarg of the argument at fault.
  abi_variant big = Var(ABI_VT_R8);
  big.u.dblVal = 1e6;
  EXPECT_EQ(invoke({big, bstr(conn)}), ABI_DISP_E_OVERFLOW);
  EXPECT_EQ(arg_err, 0u);
  EXPECT_EQ(invoke({Var(ABI_VT_NULL), i2(0), bstr(conn)}), ABI_DISP_E_TYPEMISMATCH);
  EXPECT_EQ(arg_err, 0u);
  EXPECT_EQ(invoke({i2(0), Var(ABI_VT_NULL)}), ABI_DISP_E_TYPEMISMATCH);
  EXPECT_EQ(arg_err, 1u);
  EXPECT_EQ(invoke({Var(0x7FF), bstr(conn)}), ABI_DISP_E_BADVARTYPE);
  EXPECT_EQ(invoke({}), ABI_DISP_E_PARAMNOTFOUND);
  EXPECT_EQ(invoke({missing}), ABI_DISP_E_PARAMNOTFOUND);
  EXPECT_EQ(arg_err, 0u);
  EXPECT_EQ(invoke({i2(0), i2(0), i2(0), i2(0), bstr(conn)}), ABI_DISP_E_BADPARAMCOUNT);
  EXPECT_EQ(invoke({i2(0), bstr(conn)}, {42}), ABI_DISP_E_PARAMNOTFOUND);
  EXPECT_EQ(arg_err, 0u);
  abi_dispparams none{nullptr, nullptr, 0, 0};
  EXPECT_EQ(q->vtbl->Invoke(q, method + 1, &host_iid_null, 0, ABI_DISPATCH_METHOD, &none, nullptr,
                            nullptr, nullptr),
            ABI_DISP_E_MEMBERNOTFOUND);

  uint32_t count = 5;
  EXPECT_EQ(q->vtbl->GetTypeInfoCount(q, &count), ABI_S_OK);
  EXPECT_EQ(count, 0u);
  q->vtbl->Release(q);
}

}  // namespace
