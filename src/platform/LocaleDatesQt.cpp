#include "platform/LocaleDatesQt.h"

#include <QDate>
#include <QDateTime>
#include <QString>

#include <algorithm>

namespace platform {

DateFormatter qtDateFormatter(const QLocale& locale) {
    // The pattern is worked out once; every entry of a run is formatted with it.
    QString format = locale.dateFormat(QLocale::ShortFormat);
    if (!format.contains(QLatin1String("yyyy")))
        format.replace(QLatin1String("yy"), QLatin1String("yyyy"));
    return [locale, format](int year, int month, int day) {
        const QDate date(year, month, day);
        const QString text = locale.toString(date, format);
        if (std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() <= 0xFF; }))
            return text.toLatin1().toStdString();
        // Latin-1 has no Arabic-Indic or other native digits: the same pattern with ASCII
        // digits, without the invisible direction marks that some patterns hold.
        QString ascii = QLocale::c().toString(date, format);
        ascii.removeIf([](QChar c) { return c.category() == QChar::Other_Format; });
        return ascii.toLatin1().toStdString();
    };
}

DateFormatter localeDateFormatter() {
    return qtDateFormatter(QLocale::system());
}

std::string localDateTime(std::int64_t milliseconds) {
    return QDateTime::fromMSecsSinceEpoch(milliseconds)
        .toString(QStringLiteral("yyyy-MM-dd HH:mm"))
        .toStdString();
}

} // namespace platform
