#pragma once

// What the headers and the record stream of a metafile say before anything is
// drawn: which kind it is, its size at 96 dots per inch, the rectangle that is
// drawn onto the picture, and whether the records hold together. Nothing here
// draws; the libraries that do are given only streams that passed these checks.

#include <QByteArray>
#include <QRectF>
#include <QString>

#include <array>
#include <optional>
#include <variant>

namespace zentraq::metafile {

enum class Kind {
    PlaceableWmf, // WMF behind the 22-byte header with the key 0x9AC6CDD7
    Wmf,          // WMF that starts with its own header
    Emf,
};

// The window of a WMF in logical units (origin and extent, either extent may
// be negative) as it stands at the first record that draws.
struct WmfWindow {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

struct Layout {
    Kind kind = Kind::Emf;

    // The picture's size at 96 dots per inch in single precision, fraction
    // kept, and the whole pixels it is drawn at: the nearest, halves to the
    // even neighbour. Both at least 1.
    float width = 0;
    float height = 0;
    int pixelWidth = 0;
    int pixelHeight = 0;

    // WMF: the window mapped onto the picture, and the byte offset of the
    // first record that draws (or of the end record when none does).
    WmfWindow window;
    qsizetype firstDrawing = 0;

    // EMF: the frame in the reference device's pixels, mapped onto the picture.
    QRectF frame;
};

// What went wrong with a metafile, as values: the picture loader words it
// for the window, the command-line tool in its own words. `n` holds the
// numbers each kind names, in the order given.
struct Problem {
    enum class Kind {
        // The headers and records (inspect()).
        NotAMetafile,
        HeaderCutShort,     // file bytes, header bytes
        CutShort,           // file bytes, bytes the header gives
        NoUnitsPerInch,     // a placeable header with 0 units per inch
        BadWmfHeader,       // type, header words, version
        WmfSizeBelowHeader, // the size in words the header gives
        NoEndRecord,        // records before the end
        WmfRecordPastEnd,   // record, its offset, its words, the metafile's bytes
        WmfRecordTooLong,   // record, its words, the largest the header gives
        NoSize,             // a WMF without placeable header or window extent
        BadEmfHeaderSize,   // the header's bytes
        EmptyFrame,         // left, top, right, bottom (0.01 mm)
        NoReferenceDevice,  // pixels across, down, millimetres across, down
        EmfRecordPastEnd,   // record, its offset, its bytes, the metafile's bytes
        NoHeaderFirst,      // record, its offset
        SecondHeader,       // record, its offset
        WrongRecordCount,   // the header's count, the records there are
        BelowAPixel,        // width and height
        // The drawing (zentraq-metafile).
        InputUnreadable,  // the converter could not read its input
        EmfUnreadable,    // the EMF converter failed on the records
        SvgUndrawable,    // Qt cannot draw the SVG made of them
        WindowOutOfRange, // window x, y, width, height
        WindowEmpty,      // the window is empty in the player's units
        WindowNotPlayed,  // the player never reached the window
        PlayerNoMemory,
        PlayerCutShort,   // the player ran out of records
        PlayerUnreadable, // the player cannot read the records
        PlayerFailed,     // the player's error code
        // Running the converter (the picture loader).
        TooManyBytes,        // the most bytes a metafile may have
        NoMemoryFile,        // reason: why the converter's input could not be made
        ConverterMissing,    // program
        ConverterNotStarted, // program, reason
        TimedOut,            // the deadline in milliseconds
        ConverterCrashed,    // the signal that ended it
        ConverterFailed,     // its exit status
        ConverterNoMemory,   // its memory limit in bytes (0: none) ran out
        AnswerCutShort,      // it ended before all the pixels came
        AnswerWrong,         // it answered what no converter says
    };
    Problem() = default;
    explicit Problem(Kind k, std::array<qint64, 4> values = {}) : kind(k), n(values) {}

    Kind kind = Kind::NotAMetafile;
    std::array<qint64, 4> n{};
    float width = 0;  // BelowAPixel
    float height = 0; // BelowAPixel
    QString program;  // ConverterMissing, ConverterNotStarted
    QString reason;   // NoMemoryFile, ConverterNotStarted: the system's words

    // A file cut short (HeaderCutShort, CutShort).
    bool cutShort() const { return kind == Kind::HeaderCutShort || kind == Kind::CutShort; }
    // The converter could not be run (NoMemoryFile, ConverterMissing,
    // ConverterNotStarted): the program's trouble, not the file's.
    bool converterNotRun() const {
        return kind == Kind::NoMemoryFile || kind == Kind::ConverterMissing ||
               kind == Kind::ConverterNotStarted;
    }
};

// A problem as one line of the converter's answer, and back: the kind, the
// numbers, the size. decodeProblem() gives nothing for a line that no
// converter writes; program and reason are not carried.
QByteArray encodeProblem(const Problem& problem);
std::optional<Problem> decodeProblem(const QByteArray& line);

// The kind of metafile that `data` starts with, judged by its first bytes.
// False when it starts like no metafile.
bool looksLikeMetafile(const QByteArray& data, Kind* kind = nullptr);

// Reads the headers and walks every record. A stream that ends early, whose
// header gives a size, record count or largest record that the records do not
// bear out, or whose records run past its end is a Problem; so is a picture
// without a size or smaller than a pixel.
std::variant<Layout, Problem> inspect(const QByteArray& data);

// A copy of the WMF `data` with a pattern fill of `window` that changes no
// pixel (raster operation D) put in front of the record at `firstDrawing`:
// the player reports it in its own device coordinates, which ties the window
// to the picture however the player maps logical units. The header's size
// and largest record are updated; empty when the window does not fit the
// record's 16-bit fields.
QByteArray withWindowMark(const QByteArray& data, const Layout& layout);

// The whole number a single-precision size is drawn at: the nearest, halves
// to the even neighbour; -1 when beyond int.
qint64 roundedSize(float size);

// The raster operation of the mark: the destination kept as it is.
constexpr quint32 MarkRasterOperation = 0x00AA0029;

} // namespace zentraq::metafile
