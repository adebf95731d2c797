// clsQuorrel, the component's one creatable class, and its default dual interface _clsQuorrel.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/com/com.h"
#include "platform/text/text.h"

namespace wq::frame {

// The default interface: IDispatch's operations, then UpdateOnlineState in the next slot.
// The three optional parameters are in/out by reference; NULL means omitted. The method reads
// them and never writes them.
struct _clsQuorrel : public IDispatch {
  virtual HRESULT STDMETHODCALLTYPE UpdateOnlineState(BSTR gstrConnSystem, SHORT* SelfState,
                                                      BSTR* ModName, VARIANT_BOOL* ModLogin,
                                                      LONG* result) = 0;
};

class clsQuorrel final : public _clsQuorrel {
 public:
  clsQuorrel() noexcept;
  clsQuorrel(const clsQuorrel&) = delete;
  clsQuorrel& operator=(const clsQuorrel&) = delete;

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  // IDispatch (dispatch.cpp)
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* pctinfo) override;
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo) override;
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID lcid,
                                          DISPID* rgDispId) override;
  HRESULT STDMETHODCALLTYPE Invoke(DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags,
                                   DISPPARAMS* pDispParams, VARIANT* pVarResult,
                                   EXCEPINFO* pExcepInfo, UINT* puArgErr) override;

  // _clsQuorrel
  HRESULT STDMETHODCALLTYPE UpdateOnlineState(BSTR gstrConnSystem, SHORT* SelfState, BSTR* ModName,
                                              VARIANT_BOOL* ModLogin, LONG* result) override;

 private:
  ~clsQuorrel();

  std::atomic<ULONG> references_{1};
};

// The method with its arguments taken: the update of the method body (method_body.h), every
// failure traced and answered as 0.
int32_t RunUpdateOnlineState(const Text& gstrConnSystem, int16_t SelfState, const Text& ModName,
                             bool ModLogin) noexcept;

}  // namespace wq::frame
