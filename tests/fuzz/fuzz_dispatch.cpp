// IDispatch::Invoke on clsQuorrel (the code of WebQuorrel.so, linked in) with DISPPARAMS built
// from the fuzz bytes: any VARTYPE, by-reference and nested variants, named arguments, wrong
// counts and flags. It must never crash, leak or write through a by-reference argument, and
// must answer with a result or a DISP_E_* code (E_INVALIDARG only for inconsistent pointers,
// or, as oleaut32 answers, for a date that cannot be written as text).
//
// Connection strings never hold '=', so the update fails before it opens anything, unless
// byte 0 has bit 7 set: then every text argument is the throw-away SQLite database's string and
// the real update runs.
#include <array>
#include <cstring>
#include <deque>
#include <memory>
#include <utility>
#include <vector>

#include "frame/descriptor.h"
#include "frame/quorrel.h"
#include "platform/com/com.h"
#include "tests/fuzz/fuzz_input.h"
#include "tests/fuzz/scratch_database.h"

extern "C" HRESULT DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv);

namespace {

using namespace wq;

class Reader {
 public:
  Reader(const uint8_t* data, size_t size) : p_(data), end_(data + size) {}
  uint8_t Byte() { return p_ < end_ ? *p_++ : 0; }
  uint16_t Word() { return static_cast<uint16_t>(Byte() | (Byte() << 8)); }
  void Fill(void* out, size_t n) {
    auto* o = static_cast<uint8_t*>(out);
    for (size_t i = 0; i < n; ++i) o[i] = Byte();
  }

 private:
  const uint8_t* p_;
  const uint8_t* end_;
};

// Everything the arguments point at, kept until the call is over and compared afterwards.
struct Storage {
  std::deque<std::array<uint8_t, 16>> cells;  // by-reference targets of plain types
  std::deque<std::array<uint8_t, 16>> cell_copies;
  std::deque<BSTR> bstrs;  // every BSTR made, freed at the end
  std::deque<BSTR*> bstr_refs;
  std::deque<BSTR> bstr_ref_copies;
  std::deque<VARIANT> nested;
  std::deque<std::pair<const VARIANT*, VARIANT>> nested_copies;
  bool use_scratch = false;
  bool has_date = false;  // a date argument, which may be out of the range text can show

  ~Storage() {
    for (BSTR b : bstrs) SysFreeString(b);
  }
  BSTR MakeBstr(Reader& in) {
    Text text;
    if (use_scratch) {
      text = fuzz::ScratchConnection();
    } else {
      const size_t n = in.Byte() % 24;
      for (size_t i = 0; i < n; ++i) {
        char16_t c = (in.Byte() & 0x80) ? static_cast<char16_t>(in.Word()) : in.Byte();
        text += c == u'=' ? u'_' : c;
      }
    }
    BSTR b = SysAllocStringLen(reinterpret_cast<const OLECHAR*>(text.data()),
                               static_cast<UINT>(text.size()));
    bstrs.push_back(b);
    return b;
  }
};

bool PointerType(VARTYPE base) {
  return base == VT_BSTR || base == VT_DISPATCH || base == VT_UNKNOWN || base == VT_VARIANT ||
         base == VT_RECORD || base == VT_DECIMAL;
}

void Build(Reader& in, Storage& s, VARIANT* v, int depth) {
  std::memset(v, 0, sizeof(*v));
  const uint8_t shape = in.Byte();
  VARTYPE vt;
  if (shape & 0x80) {
    vt = in.Word();  // anything at all
  } else {
    static constexpr VARTYPE kTypes[] = {
        VT_EMPTY, VT_NULL,  VT_I2,   VT_I4,      VT_R4,      VT_R8,       VT_CY,     VT_DATE,
        VT_BSTR,  VT_ERROR, VT_BOOL, VT_VARIANT, VT_DECIMAL, VT_I1,       VT_UI1,    VT_UI2,
        VT_UI4,   VT_I8,    VT_UI8,  VT_INT,     VT_UINT,    VT_DISPATCH, VT_UNKNOWN};
    vt = kTypes[(shape & 0x3f) % std::size(kTypes)];
    if (shape & 0x40) vt |= VT_BYREF;
  }
  const VARTYPE base = vt & VT_TYPEMASK;
  if (base == VT_DATE) s.has_date = true;
  if (vt & VT_BYREF) {
    if (in.Byte() & 1) {
      // A by-reference variant without a target.
    } else if (base == VT_BSTR) {
      auto* ref = new BSTR(s.MakeBstr(in));
      s.bstr_refs.push_back(ref);
      s.bstr_ref_copies.push_back(*ref);
      v->pbstrVal = ref;
    } else if (base == VT_VARIANT && depth < 2) {
      VARIANT* inner = &s.nested.emplace_back();  // a deque: the address stays valid
      Build(in, s, inner, depth + 1);
      s.nested_copies.emplace_back(inner, *inner);
      v->pvarVal = inner;
    } else if (!(vt & VT_ARRAY) && !PointerType(base)) {
      s.cells.emplace_back();
      in.Fill(s.cells.back().data(), 16);
      s.cell_copies.push_back(s.cells.back());
      v->byref = s.cells.back().data();
    } else {
      s.cells.emplace_back();  // zeros: a null object, array or record behind the reference
      s.cell_copies.push_back(s.cells.back());
      v->byref = s.cells.back().data();
    }
  } else if (base == VT_BSTR && !(vt & VT_ARRAY)) {
    v->bstrVal = s.MakeBstr(in);
  } else if (base == VT_DECIMAL && !(vt & VT_ARRAY)) {
    in.Fill(&v->decVal, sizeof(DECIMAL));
  } else if (!(vt & VT_ARRAY) && !PointerType(base)) {
    in.Fill(&v->llVal, 8);
  }
  v->vt = vt;
}

// Releases what an argument holds by value (the BSTRs are the storage's).
bool SameBstr(BSTR a, BSTR b) {
  return a == b;  // the pointer itself must not have been replaced
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace wq::frame;
  Reader in(data, size);
  const uint8_t control = in.Byte();
  Storage s;
  s.use_scratch = (control & 0x80) != 0;
  const UINT args = in.Byte() % 7;
  const UINT named = (control & 0x08) ? in.Byte() % 8 : in.Byte() % (args + 1);
  std::vector<VARIANT> rgvarg(args);
  for (VARIANT& v : rgvarg) Build(in, s, &v, 0);
  std::vector<DISPID> ids(named);
  for (DISPID& id : ids) id = static_cast<DISPID>(static_cast<int8_t>(in.Byte())) % 6;
  const WORD flags = (control & 0x10) ? in.Word() : DISPATCH_METHOD;
  const DISPID member =
      (control & 0x20) ? static_cast<int8_t>(in.Byte()) : kDispidUpdateOnlineState;
  const bool null_args = (control & 0x40) && (in.Byte() & 1);

  IClassFactory* factory = nullptr;
  if (DllGetClassObject(kClsidQuorrel, IID_IClassFactory, reinterpret_cast<void**>(&factory)) !=
      S_OK) {
    fuzz::Violated("no class object");
  }
  _clsQuorrel* object = nullptr;
  if (factory->CreateInstance(nullptr, kIidQuorrel, reinterpret_cast<void**>(&object)) != S_OK) {
    fuzz::Violated("no object");
  }
  factory->Release();

  std::vector<VARIANT> copies = rgvarg;
  DISPPARAMS params{null_args ? nullptr : rgvarg.data(), ids.empty() ? nullptr : ids.data(), args,
                    named};
  VARIANT result;
  VariantInit(&result);
  UINT arg_err = 0;
  HRESULT hr = object->Invoke(member, IID_NULL, 0, flags, &params, &result, nullptr, &arg_err);
  object->Release();

  const bool inconsistent = (null_args && args > 0) || named > args;
  const bool allowed = hr == S_OK || (hr & 0xFFFF0000u) == 0x80020000u ||
                       (hr == E_INVALIDARG && (inconsistent || s.has_date)) || hr == E_OUTOFMEMORY;
  if (!allowed) fuzz::Violated("Invoke answered with an unexpected code");
  if (hr == S_OK && result.vt != VT_I4) fuzz::Violated("the result is no 32-bit integer");
  VariantClear(&result);

  // Nothing the caller passed was written to.
  if (!copies.empty() &&
      std::memcmp(copies.data(), rgvarg.data(), copies.size() * sizeof(VARIANT)) != 0) {
    fuzz::Violated("an argument was changed");
  }
  for (size_t i = 0; i < s.cells.size(); ++i) {
    if (s.cells[i] != s.cell_copies[i]) fuzz::Violated("a by-reference target was written");
  }
  for (size_t i = 0; i < s.bstr_refs.size(); ++i) {
    if (!SameBstr(*s.bstr_refs[i], s.bstr_ref_copies[i])) fuzz::Violated("a BSTR was replaced");
    delete s.bstr_refs[i];
  }
  for (const auto& [nested, copy] : s.nested_copies) {
    if (std::memcmp(nested, &copy, sizeof(VARIANT)) != 0) {
      fuzz::Violated("a nested variant was written");
    }
  }
  if (s.use_scratch) fuzz::EmptyScratchTable();
  return 0;
}
