// Runs the shared table of client arguments (tests/frame/coerce_cases.h) through our coercion
// and through oleaut32's VariantChangeTypeEx (locale 0x0409, no flags), in each argument form.
// With the path of WebQuorrel.dll it also sends every failing case through the DLL's Invoke
// and through the system's ITypeInfo::Invoke on the same object, and compares the failure
// result and puArgErr (where the system sets it: Wine's leaves it alone).
//
//   webquorrel_coerce_compare.exe [WebQuorrel.dll]
//
// It prints one line per difference and ends with "coerce cases=<n> forms=<m> differ=<d>
// invokes=<i> argerr-unset=<u> lenient=<l> failures=<f>": differ counts results unlike
// oleaut32's, argerr-unset failing Invokes where the system left puArgErr unset, lenient
// references to by-reference parameters that the system refuses and ours reads.
// clang-format off
#include <windows.h>
#include <oleauto.h>
// clang-format on

#include <cstdio>
#include <string>

#include "tests/frame/coerce_cases.h"
#include "webquorrel_h.h"

namespace cases = wq::frame::cases;
using wq::Text;

namespace {

int g_failures = 0;
int g_unreported = 0;  // failing Invokes where the system left puArgErr unset
int g_lenient = 0;     // references the system refuses and ours reads

struct Outcome {
  HRESULT hr;
  Text value;
  bool operator==(const Outcome& o) const { return hr == o.hr && (FAILED(hr) || value == o.value); }
};

std::string Show(const Outcome& o) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "0x%08lX", static_cast<unsigned long>(o.hr));
  return SUCCEEDED(o.hr) ? "\"" + wq::ToUtf8(o.value) + "\"" : buffer;
}

Outcome Ours(const VARIANT& arg, cases::Target target) {
  Outcome o{S_OK, {}};
  o.hr = cases::CoerceOurs(arg, target, &o.value);
  return o;
}

Outcome System(const VARIANT& arg, cases::Target target) {
  const VARTYPE vt = target == cases::Target::kShort  ? VT_I2
                     : target == cases::Target::kBool ? VT_BOOL
                                                      : VT_BSTR;
  VARIANT out;
  VariantInit(&out);
  VARIANT source = arg;
  Outcome o{VariantChangeTypeEx(&out, &source, 0x0409, 0, vt), {}};
  if (SUCCEEDED(o.hr)) {
    if (vt == VT_BSTR) {
      o.value = Text(reinterpret_cast<const char16_t*>(out.bstrVal), SysStringLen(out.bstrVal));
    } else {
      const std::string digits = std::to_string(vt == VT_I2 ? out.iVal : out.boolVal);
      o.value = Text(digits.begin(), digits.end());
    }
  }
  VariantClear(&out);
  return o;
}

std::string Describe(const cases::CoerceCase& c, int form) {
  const char* target = c.target == cases::Target::kShort  ? "short"
                       : c.target == cases::Target::kBool ? "bool"
                                                          : "text";
  std::string source = c.source ? c.source : c.text ? "\"" + wq::ToUtf8(c.text) + "\"" : "-";
  return "vt " + std::to_string(c.vt) + " " + source + " " + cases::FormName(form) + " to " +
         target;
}

// The argument in the parameter's place, the others valid, through both Invokes: they must
// fail alike and name the same argument. Returns false on a difference.
struct Invokers {
  IDispatch* object;
  ITypeInfo* table;  // the function-table side of _clsQuorrel
  void* instance;
};

bool CompareInvoke(const Invokers& inv, VARIANT arg, cases::Target target, bool reference,
                   const std::string& what) {
  // Parameter position: text goes to gstrConnSystem (1 argument), short to SelfState (2),
  // bool to ModLogin (4). rgvarg holds the last argument first.
  short state = 0;
  BSTR module = SysAllocString(L"");
  BSTR conn = SysAllocString(L"x");
  VARIANT args[4];
  for (auto& a : args) VariantInit(&a);
  const UINT count = target == cases::Target::kText ? 1 : target == cases::Target::kShort ? 2 : 4;
  args[0] = arg;
  if (count > 1) {
    args[count - 1].vt = VT_BSTR;
    args[count - 1].bstrVal = conn;
  }
  if (count == 4) {
    args[2].vt = VT_I2 | VT_BYREF;
    args[2].piVal = &state;
    args[1].vt = VT_BSTR | VT_BYREF;
    args[1].pbstrVal = &module;
  }
  DISPPARAMS params = {args, nullptr, count, 0};
  UINT oursArg = 99;
  UINT systemArg = 99;
  VARIANT result;
  VariantInit(&result);
  EXCEPINFO info = {};
  const HRESULT ours =
      inv.object->Invoke(1, IID_NULL, 0x0409, DISPATCH_METHOD, &params, &result, &info, &oursArg);
  VariantClear(&result);
  const HRESULT system =
      inv.table->Invoke(inv.instance, 1, DISPATCH_METHOD, &params, &result, &info, &systemArg);
  VariantClear(&result);
  SysFreeString(module);
  SysFreeString(conn);
  // Wine's ITypeInfo::Invoke leaves puArgErr alone; where it sets it, it must agree.
  if (ours == system && (oursArg == systemArg || systemArg == 99)) {
    if (systemArg == 99) ++g_unreported;
    return true;
  }
  // A reference to a by-reference parameter: Wine's Invoke refuses variant references (which
  // script hosts send for variables) and typed ones of another type; ours reads and converts
  // them (the method never writes its parameters back).
  if (reference && system == DISP_E_TYPEMISMATCH) {
    ++g_lenient;
    return true;
  }
  std::printf("invoke differs: %s: ours 0x%08lX arg %u, system 0x%08lX arg %u\n", what.c_str(),
              static_cast<unsigned long>(ours), oursArg, static_cast<unsigned long>(system),
              systemArg);
  return false;
}

bool LoadInvokers(const wchar_t* dll, Invokers* inv) {
  using GetClassObject = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
  HMODULE module = LoadLibraryW(dll);
  auto get = module ? reinterpret_cast<GetClassObject>(
                          reinterpret_cast<void*>(GetProcAddress(module, "DllGetClassObject")))
                    : nullptr;
  IClassFactory* factory = nullptr;
  if (get == nullptr ||
      FAILED(get(CLSID_clsQuorrel, IID_IClassFactory, reinterpret_cast<void**>(&factory)))) {
    return false;
  }
  factory->CreateInstance(nullptr, IID_IDispatch, reinterpret_cast<void**>(&inv->object));
  factory->Release();
  ITypeInfo* info = nullptr;
  HREFTYPE ref = 0;
  if (inv->object == nullptr || FAILED(inv->object->GetTypeInfo(0, 0, &info))) return false;
  const HRESULT hr = info->GetRefTypeOfImplType(static_cast<UINT>(-1), &ref);
  if (SUCCEEDED(hr)) info->GetRefTypeInfo(ref, &inv->table);
  info->Release();
  // The dual interface's function table is the object itself (IDispatch is its first base).
  inv->instance = inv->object;
  return inv->table != nullptr;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  CoInitialize(nullptr);
  Invokers inv = {nullptr, nullptr, nullptr};
  if (argc > 1 && !LoadInvokers(argv[1], &inv)) {
    std::printf("FAIL cannot load the DLL's object and type information\n");
    ++g_failures;
  }
  int total = 0, forms = 0, differ = 0, invokes = 0;
  for (const cases::CoerceCase& c : cases::kCases) {
    ++total;
    cases::CaseArgument argument(c);
    for (int form = 0; form < 3; ++form) {
      if (!argument.HasForm(form)) continue;
      ++forms;
      const VARIANT arg = argument.Form(form);
      const Outcome ours = Ours(arg, c.target);
      const Outcome system = System(arg, c.target);
      const Outcome table{c.hr, c.result ? Text(c.result) : Text()};
      const std::string what = Describe(c, form);
      if (!(ours == table)) {
        ++g_failures;
        std::printf("FAIL table: %s: ours %s, table %s\n", what.c_str(), Show(ours).c_str(),
                    Show(table).c_str());
      }
      if (!(ours == system)) {
        ++differ;
        std::printf("FAIL differs: %s: ours %s, oleaut32 %s\n", what.c_str(), Show(ours).c_str(),
                    Show(system).c_str());
      }
      if (inv.table != nullptr && FAILED(ours.hr) && ours == system) {
        ++invokes;
        if (!CompareInvoke(inv, arg, c.target, form != 0 && c.target != cases::Target::kText,
                           what)) {
          ++g_failures;
        }
      }
    }
  }
  if (inv.object != nullptr) inv.object->Release();
  if (inv.table != nullptr) inv.table->Release();
  CoUninitialize();
  g_failures += differ;
  std::printf(
      "coerce cases=%d forms=%d differ=%d invokes=%d argerr-unset=%d lenient=%d failures=%d\n",
      total, forms, differ, invokes, g_unreported, g_lenient, g_failures);
  return g_failures == 0 ? 0 : 1;
}
