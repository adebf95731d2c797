/* A minimal COM host in C: loads a COM-shaped shared object, resolves a ProgID through the
 * registry file, creates objects through the class factory, and makes BSTRs of its own. */
#ifndef WQ_TESTS_FRAME_HOST_H
#define WQ_TESTS_FRAME_HOST_H

#include "tests/frame/com_abi.h"

#ifdef __cplusplus
extern "C" {
#endif

extern const abi_guid host_iid_iunknown;
extern const abi_guid host_iid_iclassfactory;
extern const abi_guid host_iid_idispatch;
extern const abi_guid host_iid_null;

typedef struct host_module {
  void* handle;
  abi_hresult (*DllRegisterServer)(void);
  abi_hresult (*DllUnregisterServer)(void);
  abi_hresult (*DllGetClassObject)(const abi_guid* clsid, const abi_guid* iid, void** ppv);
  abi_hresult (*DllCanUnloadNow)(void);
} host_module;

/* dlopen()s path and finds the four entry points; 0 and a message in error on failure. */
int host_load(const char* path, host_module* module, char* error, size_t error_size);
void host_unload(host_module* module);
/* Whether the module exports a symbol of that name. */
int host_exports(const host_module* module, const char* symbol);

/* The data of "HKCR\<key>" (name NULL or "") or "HKCR\<key> @<name>" in the registry file;
 * keys and names compare without regard to case. 1 when found, 0 when not, -1 when the file
 * can't be read or the data doesn't fit. */
int host_registry_read(const char* file, const char* key, const char* name, char* data,
                       size_t data_size);

/* "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" to a GUID; 1 on success. */
int host_parse_guid(const char* text, abi_guid* guid);
int host_guid_equal(const abi_guid* a, const abi_guid* b);

/* Resolves progid to its class id and the class id to the in-process server's path through the
 * registry file. 1 on success. */
int host_resolve_progid(const char* file, const char* progid, abi_guid* clsid, char* path,
                        size_t path_size);

/* Registers the module at module_path as a host's installer does (DllRegisterServer), then
 * resolves progid through the registry file and loads the server it names into module, with its
 * class id and path. 1 on success; 0 and a message in error on failure. */
int host_install(const char* module_path, const char* registry, const char* progid, abi_guid* clsid,
                 char* path, size_t path_size, host_module* module, char* error, size_t error_size);

/* A BSTR laid out by the host itself: the byte length, the units and a NUL. */
abi_bstr host_bstr(const abi_olechar* units, uint32_t count);
abi_bstr host_bstr_ascii(const char* text);
void host_bstr_free(abi_bstr bstr);

/* Gets the class object for clsid from the module and creates one instance with riid. */
abi_hresult host_create(const host_module* module, const abi_guid* clsid, const abi_guid* iid,
                        void** object);

/* The IID of _clsQuorrel, as the type library gives it. */
#define HOST_IID_QUORREL "{C350A005-4CD1-4DA9-9735-3FA8CAA01068}"

/* A clsQuorrel of the module, asked for _clsQuorrel; NULL when it can't be created. */
abi_quorrel* host_create_quorrel(const host_module* module, const abi_guid* clsid);

/* The presence stub's checksum of the arguments it got (see presence_stub.h). */
int32_t host_stub_checksum(const abi_olechar* conn, uint32_t conn_count, int16_t self_state,
                           const abi_olechar* mod_name, uint32_t mod_name_count, int mod_login);

#ifdef __cplusplus
}
#endif

#endif
