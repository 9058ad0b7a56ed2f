#pragma once

// The entry date formatter of any Qt locale: the user's is `localeDateFormatter()`; tests and
// the dialog's own checks name other locales.

#include "platform/LocaleDates.h"

#include <QLocale>

namespace platform {

DateFormatter qtDateFormatter(const QLocale& locale);

} // namespace platform
