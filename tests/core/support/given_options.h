// Options as a front end hands them to a writer, for the writer tables'
// tests: "name=value" words, and a refusal thrown back as Refused.
#pragma once

#include "writer.h"

#include <QMap>
#include <QString>

namespace zentraq::testing {

struct Refused {
    QString message;
};

class GivenOptions : public core::Options {
public:
    // `wantedShown`: how much of a refusal's list of wanted values is kept
    // (all when negative), for tests that check only its start.
    explicit GivenOptions(const QString& words, int wantedShown = -1) : m_wantedShown(wantedShown) {
        for (const QString& w : words.split(u' ', Qt::SkipEmptyParts))
            m_given[w.section(u'=', 0, 0)] = w.section(u'=', 1);
    }
    bool isSet(const char* name) const override { return m_given.contains(QLatin1String(name)); }
    QString value(const char* name) const override { return m_given.value(QLatin1String(name)); }
    int count(const char* name, int low, int high) const override {
        bool ok = false;
        const int v = value(name).toInt(&ok);
        if (!ok || v < low || v > high)
            throw Refused{QStringLiteral("--%1 from %2 to %3").arg(name).arg(low).arg(high)};
        return v;
    }
    [[noreturn]] void refuseValue(const char* name, const QString& wanted) const override {
        throw Refused{
            QStringLiteral("--%1 wants %2").arg(QLatin1String(name), wanted.left(m_wantedShown))};
    }
    [[noreturn]] void refuse(const QString& message) const override { throw Refused{message}; }

private:
    QMap<QString, QString> m_given;
    int m_wantedShown;
};

} // namespace zentraq::testing
