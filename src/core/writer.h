#pragma once

// One interface for every output structure the tool writes: a font for an
// embedded GUI library, picture data as text, C or bytes, an LVGL image, an
// Arduino array. A writer says its name (the value of --format that picks
// it) and whether its result is bytes rather than text; it checks the options
// before any work, completing the settings with its own defaults and
// refusing what it cannot honour; and it makes the result, which describes
// itself (the lines of a C header comment) and writes itself to a sink. A
// command looks its writer up in the table of its kind by name and runs it.
//
// How to add a format: one class, in files of its own, that derives from the
// writer of its kind (font::FontWriter in fontwriter.h, rgbqumo::PictureWriter
// in picturewriter.h) and its result; and one line in that kind's table
// (fontWriters() in fontwriters.cpp, pictureWriters() in picturewriters.cpp).
//   - name(), summary(), binary(): what --format calls it, what it makes in
//     a few words for the help, whether its result is bytes (never written
//     to a terminal).
//   - takes(option): which of the options that only some formats take it
//     takes (the kind's header lists them); the command refuses the others,
//     naming the formats that take them.
//   - check(settings, options): its defaults (a bit depth, how its library
//     renders) and its own refusals, in the front end's words through
//     Options, before a file is read.
//   - make(source, settings): the result, throwing the kind's error for a
//     source it cannot hold; result->describe() and result->write(sink).
// The help, the format list of --format and the option messages follow from
// the table.

#include "carray.h"

#include <QString>
#include <QStringList>
#include <QStringView>

#include <memory>
#include <span>

namespace zentraq::core {

// What a writer may ask of the front end that chose it: which options were
// given, and their values read by the front end's rules. Every refusal is
// worded by the front end and thrown; none returns.
class Options {
public:
    virtual ~Options() = default;
    virtual bool isSet(const char* name) const = 0;
    // Its value; empty when it was not given.
    virtual QString value(const char* name) const = 0;
    // Its value as a whole number from `low` to `high`; refuses anything else.
    virtual int count(const char* name, int low, int high) const = 0;
    // Refuses the value given to `name`: it wants `wanted`.
    [[noreturn]] virtual void refuseValue(const char* name, const QString& wanted) const = 0;
    // Refuses the request as given, saying why.
    [[noreturn]] virtual void refuse(const QString& message) const = 0;
};

// A result made and ready to be written.
class Result {
public:
    virtual ~Result() = default;
    // The lines of a header comment that say how it was made.
    virtual QStringList describe() const = 0;
    // Writes it into `sink`; returns the bytes of its data.
    virtual long long write(ByteSink& sink) = 0;
};

// A writer of `Made` results from a `Source` with `Settings`.
template <class Settings, class Source, class Made> class Writer {
public:
    virtual ~Writer() = default;
    virtual const char* name() const = 0;
    // What it makes, in a few words for the help ("an Adafruit GFX header").
    virtual const char* summary() const = 0;
    virtual bool binary() const = 0;
    virtual bool takes(const char* option) const = 0;
    virtual void check(Settings& settings, const Options& options) const = 0;
    // The source is the writer's to keep or to use up (a decoded picture is
    // made opaque in place).
    virtual std::unique_ptr<Made> make(Source source, const Settings& settings) const = 0;
};

// The writer of `table` named `name`, or nullptr.
template <class W> const W* writerNamed(std::span<const W* const> table, QStringView name) {
    for (const W* w : table)
        if (name == QLatin1String(w->name()))
            return w;
    return nullptr;
}

// The names of the writers of `table` for which `pick` holds, in its order.
template <class W, class Pick> QStringList writerNames(std::span<const W* const> table, Pick pick) {
    QStringList names;
    for (const W* w : table)
        if (pick(*w))
            names << QString::fromLatin1(w->name());
    return names;
}

// The help of a --format that picks one of `table`: "NAME: SUMMARY" each,
// the first one the default; and its values, "a|b|c".
template <class W> QString formatHelp(std::span<const W* const> table) {
    QStringList items;
    for (const W* w : table)
        items << QString::fromLatin1(w->name()) + QStringLiteral(": ") +
                     QString::fromUtf8(w->summary()) +
                     (w == table.front() ? QStringLiteral(" (default)") : QString());
    return items.join(QStringLiteral("; "));
}
template <class W> QString formatValues(std::span<const W* const> table) {
    return writerNames(table, [](const W&) { return true; }).join(u'|');
}

// "a, b and c" (or with another last join: "a, b or c").
QString listed(const QStringList& items, const QString& lastJoin = QStringLiteral(" and "));

} // namespace zentraq::core
