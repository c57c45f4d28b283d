// The engine's text and value conversions in one include:
// - convert_error.h   EConvertError and the conversion messages;
// - date_time.h       day numbers, milliseconds, TTimeStamp and the
//                     day-count scale (day 0 = 1899-12-30);
// - date_time_text.h  text forms of dates, times and timestamps;
// - number_text.h     text forms of whole numbers, Booleans, floats and
//                     four-place decimals.
// None of them depends on the machine's regional settings.
#pragma once

#include "locale/convert_error.h"
#include "locale/date_time.h"
#include "locale/date_time_text.h"
#include "locale/number_text.h"
