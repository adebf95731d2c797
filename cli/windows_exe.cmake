# webquorrel.exe with mingw-w64 (scripts/build-windows). CLI11 and nlohmann-json are header-only:
# their headers are taken from the build machine through a folder that holds only them, so that nothing else of
# its /usr/include reaches the Windows build. The HTTP library of `serve` (libmicrohttpd) is a
# Linux library here, so the Windows build has no `serve` (serve_unavailable.cpp).
set(wq_host_headers "${CMAKE_CURRENT_BINARY_DIR}/host-headers")
file(MAKE_DIRECTORY "${wq_host_headers}")
foreach(header CLI nlohmann)
  if(NOT EXISTS "/usr/include/${header}")
    message(FATAL_ERROR "/usr/include/${header} is missing (scripts/packages/build.txt)")
  endif()
  file(CREATE_LINK "/usr/include/${header}" "${wq_host_headers}/${header}" SYMBOLIC)
endforeach()

add_library(CLI11::CLI11 INTERFACE IMPORTED)
target_include_directories(CLI11::CLI11 SYSTEM INTERFACE "${wq_host_headers}")
add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED)
target_include_directories(nlohmann_json::nlohmann_json SYSTEM INTERFACE "${wq_host_headers}")

set(wq_system_sources system_win.cpp signals_win.cpp)

include(CheckTypeSize)
set(CMAKE_EXTRA_INCLUDE_FILES windows.h)
check_type_size(IMAGE_LOAD_CONFIG_DIRECTORY WQ_LOAD_CONFIG_SIZE LANGUAGE C)
unset(CMAKE_EXTRA_INCLUDE_FILES)

# wq_windows_exe(TARGET): static runtime, so that the program needs nothing but system DLLs,
# written beside WebQuorrel.dll; the DLLs it imports are looked for in System32 only
# (load_config_win.c).
function(wq_windows_exe target)
  target_sources(${target} PRIVATE ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/load_config_win.c)
  set_source_files_properties(${CMAKE_CURRENT_FUNCTION_LIST_DIR}/load_config_win.c
                              PROPERTIES SKIP_UNITY_BUILD_INCLUSION ON)
  target_link_libraries(${target} PRIVATE shell32)
  set(map "${CMAKE_CURRENT_BINARY_DIR}/${target}.map")
  target_link_options(${target} PRIVATE -static -static-libgcc -static-libstdc++
                      $<$<CONFIG:Release>:-s> "-Wl,-Map=${map}")
  set_target_properties(${target} PROPERTIES RUNTIME_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}"
                        LINK_SEARCH_END_STATIC ON)
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND sh ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/dependent_load_flags.sh
            $<TARGET_FILE:${target}> ${map} ${WQ_LOAD_CONFIG_SIZE}
    VERBATIM)
endfunction()
