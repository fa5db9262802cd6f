#pragma once
/// The decimal separator of the listing's numbers, from the user's regional settings.

namespace ar4 {

/// The separator of the user's regional settings as one Windows-1251 byte: on POSIX systems the locale named
/// by LC_ALL, LC_NUMERIC or LANG; on Windows the user's default locale. A point when none is set, when the
/// named locale is not installed, or when its separator is not a single Windows-1251 character.
char UserDecimalSeparator();

}  // namespace ar4
