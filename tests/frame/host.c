#include "tests/frame/host.h"

#include <ctype.h>
#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

_Static_assert(sizeof(abi_guid) == 16, "GUID is 16 bytes");
_Static_assert(sizeof(abi_variant) == (sizeof(void*) == 8 ? 24 : 16), "VARIANT size");
_Static_assert(offsetof(abi_variant, u) == 8, "VARIANT value offset");
_Static_assert(sizeof(abi_excepinfo) == (sizeof(void*) == 8 ? 64 : 32), "EXCEPINFO size");

const abi_guid host_iid_iunknown = {
    0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const abi_guid host_iid_iclassfactory = {
    0x00000001, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const abi_guid host_iid_idispatch = {
    0x00020400, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const abi_guid host_iid_null = {0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};

int host_load(const char* path, host_module* module, char* error, size_t error_size) {
  memset(module, 0, sizeof *module);
  module->handle = dlopen(path, RTLD_NOW | RTLD_LOCAL);
  if (module->handle == NULL) {
    snprintf(error, error_size, "%s", dlerror());
    return 0;
  }
  *(void**)&module->DllRegisterServer = dlsym(module->handle, "DllRegisterServer");
  *(void**)&module->DllUnregisterServer = dlsym(module->handle, "DllUnregisterServer");
  *(void**)&module->DllGetClassObject = dlsym(module->handle, "DllGetClassObject");
  *(void**)&module->DllCanUnloadNow = dlsym(module->handle, "DllCanUnloadNow");
  if (!module->DllRegisterServer || !module->DllUnregisterServer || !module->DllGetClassObject ||
      !module->DllCanUnloadNow) {
    snprintf(error, error_size, "an entry point is missing");
    host_unload(module);
    return 0;
  }
  return 1;
}

void host_unload(host_module* module) {
  if (module->handle != NULL) dlclose(module->handle);
  memset(module, 0, sizeof *module);
}

int host_exports(const host_module* module, const char* symbol) {
  return dlsym(module->handle, symbol) != NULL;
}

static int same_ignoring_case(const char* a, const char* b, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    if (tolower((unsigned char)a[i]) != tolower((unsigned char)b[i])) return 0;
  }
  return 1;
}

int host_registry_read(const char* file, const char* key, const char* name, char* data,
                       size_t data_size) {
  FILE* f = fopen(file, "r");
  if (f == NULL) return -1;
  char want[1024];
  if (name != NULL && name[0] != '\0') {
    snprintf(want, sizeof want, "HKCR\\%s @%s = ", key, name);
  } else {
    snprintf(want, sizeof want, "HKCR\\%s = ", key);
  }
  const size_t want_len = strlen(want);
  char line[4096];
  int found = 0;
  while (fgets(line, sizeof line, f) != NULL) {
    size_t len = strlen(line);
    while (len > 0 && (line[len - 1] == '\n' || line[len - 1] == '\r')) line[--len] = '\0';
    if (len >= want_len && same_ignoring_case(line, want, want_len)) {
      if (len - want_len >= data_size) {
        found = -1;
        break;
      }
      memcpy(data, line + want_len, len - want_len + 1);
      found = 1; /* the last one wins, as a later write would */
    }
  }
  fclose(f);
  return found;
}

static int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

static int parse_hex(const char* s, int digits, uint32_t* out) {
  uint32_t v = 0;
  for (int i = 0; i < digits; ++i) {
    const int d = hex_value(s[i]);
    if (d < 0) return 0;
    v = v * 16 + (uint32_t)d;
  }
  *out = v;
  return 1;
}

int host_parse_guid(const char* text, abi_guid* guid) {
  /* {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX} */
  if (strlen(text) != 38 || text[0] != '{' || text[37] != '}' || text[9] != '-' ||
      text[14] != '-' || text[19] != '-' || text[24] != '-') {
    return 0;
  }
  uint32_t v;
  if (!parse_hex(text + 1, 8, &v)) return 0;
  guid->data1 = v;
  if (!parse_hex(text + 10, 4, &v)) return 0;
  guid->data2 = (uint16_t)v;
  if (!parse_hex(text + 15, 4, &v)) return 0;
  guid->data3 = (uint16_t)v;
  static const int offsets[8] = {20, 22, 25, 27, 29, 31, 33, 35};
  for (int i = 0; i < 8; ++i) {
    if (!parse_hex(text + offsets[i], 2, &v)) return 0;
    guid->data4[i] = (uint8_t)v;
  }
  return 1;
}

int host_guid_equal(const abi_guid* a, const abi_guid* b) { return memcmp(a, b, sizeof *a) == 0; }

int host_resolve_progid(const char* file, const char* progid, abi_guid* clsid, char* path,
                        size_t path_size) {
  char key[512];
  char text[64];
  snprintf(key, sizeof key, "%s\\CLSID", progid);
  if (host_registry_read(file, key, NULL, text, sizeof text) != 1) return 0;
  if (!host_parse_guid(text, clsid)) return 0;
  snprintf(key, sizeof key, "CLSID\\%s\\InprocServer32", text);
  return host_registry_read(file, key, NULL, path, path_size) == 1;
}

int host_install(const char* module_path, const char* registry, const char* progid, abi_guid* clsid,
                 char* path, size_t path_size, host_module* module, char* error,
                 size_t error_size) {
  host_module installer;
  if (!host_load(module_path, &installer, error, error_size)) return 0;
  const abi_hresult hr = installer.DllRegisterServer();
  host_unload(&installer);
  if (hr != ABI_S_OK) {
    snprintf(error, error_size, "DllRegisterServer failed: 0x%08x", (unsigned)hr);
    return 0;
  }
  if (!host_resolve_progid(registry, progid, clsid, path, path_size)) {
    snprintf(error, error_size, "%s is not registered in %s", progid, registry);
    return 0;
  }
  return host_load(path, module, error, error_size);
}

abi_quorrel* host_create_quorrel(const host_module* module, const abi_guid* clsid) {
  abi_guid iid;
  void* object = NULL;
  if (!host_parse_guid(HOST_IID_QUORREL, &iid)) return NULL;
  if (host_create(module, clsid, &iid, &object) != ABI_S_OK) return NULL;
  return (abi_quorrel*)object;
}

abi_bstr host_bstr(const abi_olechar* units, uint32_t count) {
  unsigned char* block = malloc(4 + (size_t)count * 2 + 2);
  if (block == NULL) return NULL;
  const uint32_t bytes = count * 2;
  memcpy(block, &bytes, 4);
  abi_bstr bstr = (abi_bstr)(block + 4);
  if (count > 0) memcpy(bstr, units, (size_t)count * 2);
  bstr[count] = 0;
  return bstr;
}

abi_bstr host_bstr_ascii(const char* text) {
  const size_t n = strlen(text);
  abi_olechar* units = malloc((n + 1) * sizeof *units);
  if (units == NULL) return NULL;
  for (size_t i = 0; i < n; ++i) units[i] = (unsigned char)text[i];
  abi_bstr bstr = host_bstr(units, (uint32_t)n);
  free(units);
  return bstr;
}

void host_bstr_free(abi_bstr bstr) {
  if (bstr != NULL) free((unsigned char*)bstr - 4);
}

abi_hresult host_create(const host_module* module, const abi_guid* clsid, const abi_guid* iid,
                        void** object) {
  abi_class_factory* factory = NULL;
  abi_hresult hr = module->DllGetClassObject(clsid, &host_iid_iclassfactory, (void**)&factory);
  if (hr < 0) return hr;
  hr = factory->vtbl->CreateInstance(factory, NULL, iid, object);
  factory->vtbl->Release(factory);
  return hr;
}

static void mix(uint32_t* h, uint8_t byte) {
  *h ^= byte;
  *h *= 16777619u;
}

static void mix_unit(uint32_t* h, uint16_t unit) {
  mix(h, (uint8_t)(unit & 0xFF));
  mix(h, (uint8_t)(unit >> 8));
}

int32_t host_stub_checksum(const abi_olechar* conn, uint32_t conn_count, int16_t self_state,
                           const abi_olechar* mod_name, uint32_t mod_name_count, int mod_login) {
  uint32_t h = 2166136261u;
  for (uint32_t i = 0; i < conn_count; ++i) mix_unit(&h, conn[i]);
  mix_unit(&h, 0xFFFF);
  mix_unit(&h, (uint16_t)self_state);
  for (uint32_t i = 0; i < mod_name_count; ++i) mix_unit(&h, mod_name[i]);
  mix_unit(&h, 0xFFFF);
  mix(&h, mod_login ? 1 : 0);
  return (int32_t)(h & 0x7FFFFFFFu);
}
