# WebQuorrel.dll: the COM server for Windows, built with mingw-w64 (scripts/build-windows).
# The type library is compiled from webquorrel.idl by widl; the identifiers in it, in the
# resources and in the registry all come from descriptor.h.

enable_language(RC)

# --- Identifiers from descriptor.h ---------------------------------------------------------
file(READ "${CMAKE_CURRENT_SOURCE_DIR}/descriptor.h" wq_descriptor)

# wq_guid_from_descriptor(<constant> <text-var> <rc-data-var>): the GUID that the aggregate
# initialiser of <constant> spells, as "XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX", and as resource
# data: its 16 bytes in memory order as 16-bit little-endian words.
function(wq_guid_from_descriptor constant text_var data_var)
  set(hex "0[xX][0-9a-fA-F]+")
  string(REGEX MATCH "${constant} = {[^}]*{[^}]*}" init "${wq_descriptor}")
  string(REGEX MATCHALL "${hex}" parts "${init}")
  list(LENGTH parts n)
  if(NOT n EQUAL 11)
    message(FATAL_ERROR "descriptor.h: cannot read the GUID ${constant}")
  endif()
  set(widths 8 4 4 2 2 2 2 2 2 2 2)
  set(digits "")
  foreach(i RANGE 10)
    list(GET parts ${i} part)
    list(GET widths ${i} width)
    string(SUBSTRING "${part}" 2 -1 part)
    string(LENGTH "${part}" len)
    while(len LESS width)
      string(PREPEND part "0")
      math(EXPR len "${len} + 1")
    endwhile()
    string(TOUPPER "${part}" part)
    list(APPEND digits "${part}")
  endforeach()
  list(GET digits 0 d1)
  list(GET digits 1 d2)
  list(GET digits 2 d3)
  list(SUBLIST digits 3 2 d4)
  list(SUBLIST digits 5 6 d5)
  string(JOIN "" d4 ${d4})
  string(JOIN "" d5 ${d5})
  set(${text_var} "${d1}-${d2}-${d3}-${d4}-${d5}" PARENT_SCOPE)
  # Memory order: Data1..Data3 little-endian, Data4 as it stands; then two bytes per word.
  string(SUBSTRING "${d1}" 6 2 b0)
  string(SUBSTRING "${d1}" 4 2 b1)
  string(SUBSTRING "${d1}" 2 2 b2)
  string(SUBSTRING "${d1}" 0 2 b3)
  string(SUBSTRING "${d2}" 2 2 b4)
  string(SUBSTRING "${d2}" 0 2 b5)
  string(SUBSTRING "${d3}" 2 2 b6)
  string(SUBSTRING "${d3}" 0 2 b7)
  set(bytes ${b0} ${b1} ${b2} ${b3} ${b4} ${b5} ${b6} ${b7})
  foreach(i RANGE 3 10)
    list(GET digits ${i} b)
    list(APPEND bytes ${b})
  endforeach()
  set(words "")
  foreach(i RANGE 0 14 2)
    math(EXPR j "${i} + 1")
    list(GET bytes ${i} low)
    list(GET bytes ${j} high)
    list(APPEND words "0x${high}${low}")
  endforeach()
  string(JOIN ", " words ${words})
  set(${data_var} "${words}" PARENT_SCOPE)
endfunction()

wq_guid_from_descriptor(kLibraryId WQ_LIBID unused)
wq_guid_from_descriptor(kIidQuorrel WQ_IID WQ_IID_WORDS)
wq_guid_from_descriptor(kClsidQuorrel WQ_CLSID unused)
string(REGEX MATCH "kDispidUpdateOnlineState = ([0-9]+)" unused "${wq_descriptor}")
set(WQ_DISPID "${CMAKE_MATCH_1}")
if(WQ_DISPID STREQUAL "")
  message(FATAL_ERROR "descriptor.h: cannot read kDispidUpdateOnlineState")
endif()

# For the test stage: the identifiers it looks for in the registry.
file(WRITE "${CMAKE_BINARY_DIR}/webquorrel-ids.sh"
     "libid={${WQ_LIBID}}\niid={${WQ_IID}}\nclsid={${WQ_CLSID}}\n")

# --- Type library ---------------------------------------------------------------------------
find_program(WQ_WIDL NAMES ${WEBQUORREL_WIDL} widl REQUIRED)
# Debian's mingw-w64 ships no .idl files; the Wine development headers carry oaidl.idl.
find_path(WQ_WINE_IDL_DIR oaidl.idl PATHS /usr/include/wine/wine/windows
          /usr/include/wine/windows NO_CMAKE_FIND_ROOT_PATH REQUIRED)
find_path(WQ_STDOLE2_DIR stdole2.tlb PATHS /usr/lib/x86_64-linux-gnu/wine/x86_64-windows
          /usr/lib/i386-linux-gnu/wine/i386-windows /usr/lib/wine/x86_64-windows
          /usr/lib/wine/i386-windows NO_CMAKE_FIND_ROOT_PATH REQUIRED)
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(wq_widl_target --win64)
else()
  set(wq_widl_target --win32)
endif()

set(wq_idl "${CMAKE_CURRENT_SOURCE_DIR}/webquorrel.idl")
set(WQ_TYPELIB "${CMAKE_CURRENT_BINARY_DIR}/webquorrel.tlb")
set(wq_idl_dir "${CMAKE_CURRENT_BINARY_DIR}/idl")
set(wq_widl_args ${wq_widl_target} -I "${WQ_WINE_IDL_DIR}" -L "${WQ_STDOLE2_DIR}"
    -DWQ_LIBID=${WQ_LIBID} -DWQ_IID=${WQ_IID} -DWQ_CLSID=${WQ_CLSID}
    -DWQ_DISPID_UPDATEONLINESTATE=${WQ_DISPID})
add_custom_command(
  OUTPUT "${WQ_TYPELIB}" "${wq_idl_dir}/webquorrel_h.h" "${wq_idl_dir}/webquorrel_i.c"
  COMMAND ${CMAKE_COMMAND} -E make_directory "${wq_idl_dir}"
  COMMAND ${WQ_WIDL} ${wq_widl_args} -t -o "${WQ_TYPELIB}" "${wq_idl}"
  # widl stamps the type library with its run's time; SOURCE_DATE_EPOCH's takes its place.
  COMMAND perl "${CMAKE_CURRENT_SOURCE_DIR}/stable_typelib.pl" "${WQ_TYPELIB}"
  COMMAND ${WQ_WIDL} ${wq_widl_args} -h -H "${wq_idl_dir}/webquorrel_h.h" "${wq_idl}"
  COMMAND ${WQ_WIDL} ${wq_widl_args} -u -U "${wq_idl_dir}/webquorrel_i.c" "${wq_idl}"
  DEPENDS "${wq_idl}" "${CMAKE_CURRENT_SOURCE_DIR}/descriptor.h"
          "${CMAKE_CURRENT_SOURCE_DIR}/stable_typelib.pl"
  COMMENT "widl: type library of webQuorrel"
  VERBATIM)
add_custom_target(wq_typelib DEPENDS "${WQ_TYPELIB}" "${wq_idl_dir}/webquorrel_h.h"
                                     "${wq_idl_dir}/webquorrel_i.c")
# For C++ clients of the DLL (the test client): the interface header and the GUID definitions.
add_library(wq_typelib_header STATIC "${wq_idl_dir}/webquorrel_i.c")
add_dependencies(wq_typelib_header wq_typelib)
target_include_directories(wq_typelib_header PUBLIC "${wq_idl_dir}")

# --- Resources ------------------------------------------------------------------------------
file(WRITE "${CMAKE_CURRENT_BINARY_DIR}/webquorrel_resources.h"
     "#define WQ_TYPELIB_FILE \"${WQ_TYPELIB}\"\n"
     "#define WQ_IID_RESOURCE_DATA 16L, ${WQ_IID_WORDS}\n")
set_source_files_properties(webquorrel.rc PROPERTIES OBJECT_DEPENDS "${WQ_TYPELIB}")

# --- The DLL --------------------------------------------------------------------------------
# wq_frame brings the exports, the class object, clsQuorrel and registry_win.cpp; the presence
# update is the method's body.
add_library(WebQuorrel SHARED webquorrel.rc webquorrel.def)
add_dependencies(WebQuorrel wq_typelib)
target_include_directories(WebQuorrel PRIVATE "${CMAKE_CURRENT_BINARY_DIR}")
target_link_libraries(WebQuorrel PRIVATE wq_frame wq_update_body ole32 oleaut32 uuid advapi32
                                         user32)
# thread_local objects with destructors (the per-thread module state) register them through
# __cxa_thread_atexit. libstdc++'s own version holds a reference on the DLL per thread and drops
# it from inside the thread's exit, which unloads the DLL under a winpthreads lock that the
# unload needs again: the thread never ends. The mingw-w64 runtime's version runs them from
# this DLL's own thread-detach callback instead, so it is taken first.
# The symbol is named as the linker sees it: i686 C names carry one more leading underscore.
target_link_libraries(WebQuorrel PRIVATE mingw32)
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  target_link_options(WebQuorrel PRIVATE -Wl,--undefined=___cxa_thread_atexit)
else()
  target_link_options(WebQuorrel PRIVATE -Wl,--undefined=__cxa_thread_atexit)
endif()
# LINK_SEARCH_END_STATIC: CMake links odbc32 between -Bstatic and -Bdynamic, and a link line
# that ends dynamic would take the C++ runtime from its DLLs despite -static.
set_target_properties(WebQuorrel PROPERTIES PREFIX "" OUTPUT_NAME WebQuorrel
                      RUNTIME_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}" LINK_SEARCH_END_STATIC ON)
# Static runtime, so that the DLL needs nothing but system DLLs; plain export names. No time
# stamp in the PE header: two builds of one commit give the same bytes (GCC takes __DATE__ and
# __TIME__ from SOURCE_DATE_EPOCH when it is set; nothing here uses them).
target_link_options(WebQuorrel PRIVATE -static -static-libgcc -static-libstdc++ -Wl,--kill-at
                    -Wl,--no-insert-timestamp $<$<CONFIG:Release>:-s>)
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  target_link_options(WebQuorrel PRIVATE -Wl,--enable-stdcall-fixup)
endif()
