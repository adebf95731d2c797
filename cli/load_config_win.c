/* The load configuration of webquorrel.exe. Its DependentLoadFlags tell Windows (10 1607 and
   later) to look for the DLLs the program imports in System32 only: ODBC32.dll is not one of the
   KnownDLLs, so without it a planted odbc32.dll beside the program (an unpacked download, say)
   would load. The linker does not point the image at this structure itself:
   dependent_load_flags.sh does that after the link. */
#include <windows.h>

__attribute__((used)) const IMAGE_LOAD_CONFIG_DIRECTORY _load_config_used = {
    .Size = sizeof(IMAGE_LOAD_CONFIG_DIRECTORY),
    .Reserved1 = LOAD_LIBRARY_SEARCH_SYSTEM32, /* DependentLoadFlags in newer headers */
};
