// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/ShownValues.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QLocale>

namespace stowmere::app::shown {
namespace {

constexpr std::uint64_t kKilo = 1024;
constexpr std::uint64_t kMega = kKilo * 1024;
constexpr std::uint64_t kGiga = kMega * 1024;

// The locale's long time format less its time-zone fields ("t"), which a list of local
// moments does not need. Quoted literals are kept as they are.
QString timeWithoutZone(const QLocale& locale)
{
    const QString format = locale.timeFormat(QLocale::LongFormat);
    QString kept;
    bool quoted = false;
    for (const QChar c : format) {
        if (c == u'\'')
            quoted = !quoted;
        if (quoted || c != u't')
            kept += c;
    }
    return kept.simplified();
}

QString twoDecimals(std::uint64_t bytes, std::uint64_t unit, const char* text)
{
    QLocale locale;
    // A size is read at a glance: no grouping, as in the run reports.
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    return QCoreApplication::translate("ShownValues", text)
        .arg(locale.toString(static_cast<double>(bytes) / static_cast<double>(unit), 'f', 2));
}

} // namespace

QString dateTime(std::int64_t secondsSinceEpoch)
{
    const QLocale locale;
    const QDateTime moment = QDateTime::fromSecsSinceEpoch(secondsSinceEpoch).toLocalTime();
    return locale.toString(moment.date(), QLocale::ShortFormat) + QLatin1Char(' ') +
           locale.toString(moment.time(), timeWithoutZone(locale));
}

QString byteSize(std::uint64_t bytes)
{
    if (bytes > kGiga)
        return twoDecimals(bytes, kGiga, QT_TRANSLATE_NOOP("ShownValues", "%1 GB"));
    if (bytes > kMega)
        return twoDecimals(bytes, kMega, QT_TRANSLATE_NOOP("ShownValues", "%1 MB"));
    if (bytes > kKilo)
        return twoDecimals(bytes, kKilo, QT_TRANSLATE_NOOP("ShownValues", "%1 KB"));
    QLocale locale;
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    return QCoreApplication::translate("ShownValues", "%1 Bytes")
        .arg(locale.toString(static_cast<qulonglong>(bytes)));
}

} // namespace stowmere::app::shown
