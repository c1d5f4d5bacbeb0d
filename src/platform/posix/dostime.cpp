// File times in the MS-DOS form: 2-second steps, years 1980 to 2107, no time zone applied.
#include "platform/posix/win32_posix.h"

namespace {

// Year, month and day of a day count from 1970-01-01 in the proleptic Gregorian calendar; eras of
// 400 years repeat exactly.
void CivilFromDays(int64_t days, int64_t* year, unsigned* month, unsigned* day) {
  days += 719468;  // count from 0000-03-01, so a leap day ends its year
  int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  unsigned dayOfEra = static_cast<unsigned>(days - era * 146097);
  unsigned yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  unsigned dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  unsigned monthFromMarch = (5 * dayOfYear + 2) / 153;
  *day = dayOfYear - (153 * monthFromMarch + 2) / 5 + 1;
  *month = monthFromMarch < 10 ? monthFromMarch + 3 : monthFromMarch - 9;
  *year = static_cast<int64_t>(yearOfEra) + era * 400 + (*month <= 2 ? 1 : 0);
}

}  // namespace

BOOL CoFileTimeToDosDateTime(FILETIME* fileTime, WORD* dosDate, WORD* dosTime) {
  if (fileTime == nullptr || dosDate == nullptr || dosTime == nullptr) return FALSE;
  uint64_t ticks = (static_cast<uint64_t>(fileTime->dwHighDateTime) << 32) | fileTime->dwLowDateTime;
  int64_t seconds = static_cast<int64_t>(ticks / 10000000u) - 11644473600LL;  // from 1970
  int64_t days = seconds >= 0 ? seconds / 86400 : (seconds - 86399) / 86400;
  int64_t secondOfDay = seconds - days * 86400;
  int64_t year;
  unsigned month, day;
  CivilFromDays(days, &year, &month, &day);
  if (year < 1980 || year > 2107) return FALSE;
  *dosDate = static_cast<WORD>(((year - 1980) << 9) | (month << 5) | day);
  *dosTime = static_cast<WORD>(((secondOfDay / 3600) << 11) | (((secondOfDay / 60) % 60) << 5) |
                               ((secondOfDay % 60) / 2));
  return TRUE;
}
