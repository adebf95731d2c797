#include <cstdio>
#include <string>

#include "frame/descriptor.h"
#include "frame/registry.h"

namespace wq::frame {

Text GuidText(const GUID& guid) {
  char buffer[40];
  std::snprintf(buffer, sizeof buffer, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                static_cast<unsigned>(guid.Data1), guid.Data2, guid.Data3, guid.Data4[0],
                guid.Data4[1], guid.Data4[2], guid.Data4[3], guid.Data4[4], guid.Data4[5],
                guid.Data4[6], guid.Data4[7]);
  return Text(buffer, buffer + 38);
}

std::vector<RegistryValue> RegistrationValues(const Text& module_path,
                                              const Text& type_library_platform) {
  const ComponentDescriptor& c = kComponent;
  const Text prog_id = kProgId;
  const Text clsid = GuidText(c.quorrel.clsid);
  const Text iid = GuidText(c.quorrel.default_interface);
  const Text libid = GuidText(c.library_id);
  const Text marshaller = GuidText(kClsidAutomationMarshaller);
  const Text version =
      FromUtf8(std::to_string(c.library_major) + "." + std::to_string(c.library_minor));
  const Text lcid = FromUtf8(std::to_string(c.library_lcid));
  const Text threading = u"Apartment";
  Text module_dir = module_path;
  const size_t slash = module_dir.find_last_of(u"/\\");
  module_dir.resize(slash == Text::npos ? 0 : slash);

  const Text class_key = u"CLSID\\" + clsid;
  const Text interface_key = u"Interface\\" + iid;
  const Text library_key = u"TypeLib\\" + libid + u"\\" + version;
  return {
      // The ProgID names the class.
      {prog_id, {}, prog_id},
      {prog_id + u"\\CLSID", {}, clsid},
      // The class entry.
      {class_key, {}, prog_id},
      {class_key + u"\\InprocServer32", {}, module_path},
      {class_key + u"\\InprocServer32", u"ThreadingModel", threading},
      {class_key + u"\\ProgID", {}, prog_id},
      {class_key + u"\\VERSION", {}, version},
      {class_key + u"\\TypeLib", {}, libid},
      // The default interface, marshalled by the standard automation marshaller.
      {interface_key, {}, c.quorrel.interface_name},
      {interface_key + u"\\ProxyStubClsid", {}, marshaller},
      {interface_key + u"\\ProxyStubClsid32", {}, marshaller},
      {interface_key + u"\\TypeLib", {}, libid},
      {interface_key + u"\\TypeLib", u"Version", version},
      // The type library, carried by the module itself.
      {library_key, {}, c.project},
      {library_key + u"\\FLAGS", {}, u"0"},
      {library_key + u"\\" + lcid + u"\\" + type_library_platform, {}, module_path},
      {library_key + u"\\HELPDIR", {}, module_dir},
  };
}

}  // namespace wq::frame
