// Automation dates (VT_DATE) as text, the way oleaut32 writes them for English (United States).
#pragma once

#include "platform/com/com.h"
#include "platform/text/text.h"

namespace wq::frame {

// "M/D/YYYY h:mm:ss AM": the date alone when the time is midnight, the time alone on day 0
// (30 December 1899), rounded to the second. Days count from 30 December 1899; the fraction is
// the time of day, also for dates before it. E_INVALIDARG outside the years 100 to 9999.
HRESULT FormatDate(DATE date, Text* out);

}  // namespace wq::frame
