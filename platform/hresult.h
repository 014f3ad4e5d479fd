// HRESULT, the result type of the phone's SMS library and radio interface: zero or
// positive is success (the radio interface returns command identifiers that way),
// negative is an error code.
#pragma once

#include "platform/win_types.h"

typedef LONG HRESULT;

#define S_OK ((HRESULT)0L)
#define E_FAIL ((HRESULT)0x80004005L)
#define E_INVALIDARG ((HRESULT)0x80070057L)
#define E_OUTOFMEMORY ((HRESULT)0x8007000EL)
#define SUCCEEDED(hr) (((HRESULT)(hr)) >= 0)
#define FAILED(hr) (((HRESULT)(hr)) < 0)
