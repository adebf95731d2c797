// Checks of the type information that clsQuorrel's IDispatch hands out, shared by the client's
// modes. Check() counts and reports; it is the client's own.
#pragma once

// clang-format off
#include <windows.h>
#include <oleauto.h>
// clang-format on

void Check(bool ok, const char* what, long detail = 0);

// GetTypeInfoCount and GetTypeInfo of the object, and the description they give: the method's
// and its parameters' dispatch ids as the object's own GetIDsOfNames hands them out, its kind,
// parameter types, flags and defaults, and its result type.
void CheckTypeInfo(IDispatch* dispatch);
