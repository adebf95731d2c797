// The component descriptor: the fixed identity of the webQuorrel component that the four DLL
// entry points serve. The GUIDs never change; the Windows build and its type library use the
// same values.
#pragma once

#include "platform/com/com.h"

namespace wq::frame {

enum class ThreadingModel { kApartment };

struct ClassEntry {
  const char16_t* name;            // clsQuorrel
  CLSID clsid;                     // the class identifier
  const char16_t* interface_name;  // _clsQuorrel
  IID default_interface;           // the identifier of its default interface
  bool creatable;
  const IID* event_interface;  // none
};

struct ComponentDescriptor {
  const char16_t* project;  // webQuorrel
  ThreadingModel threading;
  GUID library_id;    // the type library's identifier
  LCID library_lcid;  // 0: neutral
  WORD library_major;
  WORD library_minor;
  ClassEntry quorrel;  // the one project object with a class entry
};

// {F3B51D76-B208-4772-A774-32ABC1C3DC0D}
inline constexpr GUID kLibraryId = {
    0xF3B51D76, 0xB208, 0x4772, {0xA7, 0x74, 0x32, 0xAB, 0xC1, 0xC3, 0xDC, 0x0D}};
// {166548CF-3B83-4029-B99D-9499488860C3}
inline constexpr CLSID kClsidQuorrel = {
    0x166548CF, 0x3B83, 0x4029, {0xB9, 0x9D, 0x94, 0x99, 0x48, 0x88, 0x60, 0xC3}};
// {C350A005-4CD1-4DA9-9735-3FA8CAA01068}
inline constexpr IID kIidQuorrel = {
    0xC350A005, 0x4CD1, 0x4DA9, {0x97, 0x35, 0x3F, 0xA8, 0xCA, 0xA0, 0x10, 0x68}};
// The standard automation marshaller, the proxy/stub of every dual interface.
inline constexpr CLSID kClsidAutomationMarshaller = {
    0x00020424, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

inline constexpr ComponentDescriptor kComponent = {
    u"webQuorrel",
    ThreadingModel::kApartment,
    kLibraryId,
    0,
    1,
    0,
    {u"clsQuorrel", kClsidQuorrel, u"_clsQuorrel", kIidQuorrel, true, nullptr},
};

// "webQuorrel.clsQuorrel": the project name, a full stop and the class name.
inline constexpr char16_t kProgId[] = u"webQuorrel.clsQuorrel";

// Dispatch identifiers: the method, and its parameters by position.
inline constexpr DISPID kDispidUpdateOnlineState = 1;
enum UpdateOnlineStateParam : DISPID {
  kParamConnSystem = 0,
  kParamSelfState = 1,
  kParamModName = 2,
  kParamModLogin = 3,
  kParamCount = 4,
};

}  // namespace wq::frame
