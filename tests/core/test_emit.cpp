// The emit layer: bits in either order, byte fields, array items from the
// table of words, and text blocks that keep what was written when a writer
// forgets to flush. Expected bytes are worked out by hand; the array styles
// of every file, the declarations and the size message are in every C
// output and message tests/identity pins.
#include "bitwriter.h"
#include "bytearraysink.h"
#include "bytefields.h"
#include "carray.h"

#include <QTest>

#include <stdexcept>

using namespace zentraq::core;

Q_DECLARE_METATYPE(zentraq::core::BitOrder)

namespace {

QByteArray hex(const char* text) {
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}

QByteArray bytesOf(const std::vector<std::uint8_t>& v) {
    return QByteArray(reinterpret_cast<const char*>(v.data()), qsizetype(v.size()));
}

// A sink that fails every write.
struct FailingSink : ByteSink {
    void write(const char*, long long) override { throw std::runtime_error("disk full"); }
};

} // namespace

class EmitTest : public QObject {
    Q_OBJECT

private slots:
    // Values of several widths: in MSB order each value's highest bit goes
    // first into bit 7; in LSB order its lowest bit into bit 0. The last byte
    // is completed with zeros, and alignToByte starts a new byte.
    void bits_data() {
        QTest::addColumn<BitOrder>("order");
        QTest::addColumn<QList<int>>("values"); // value, bits, value, bits, ...; -1: align
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("bitCount");
        const BitOrder msb = BitOrder::MsbFirst, lsb = BitOrder::LsbFirst;
        QTest::newRow("msb 1-bit") << msb << QList<int>{1, 1, 0, 1, 1, 1} << hex("A0") << 3;
        QTest::newRow("lsb 1-bit") << lsb << QList<int>{1, 1, 0, 1, 1, 1} << hex("05") << 3;
        QTest::newRow("msb 2-bit")
            << msb << QList<int>{1, 2, 2, 2, 3, 2, 0, 2, 1, 2} << hex("6C 40") << 10;
        QTest::newRow("lsb 2-bit")
            << lsb << QList<int>{1, 2, 2, 2, 3, 2, 0, 2, 1, 2} << hex("39 01") << 10;
        QTest::newRow("msb across bytes")
            << msb << QList<int>{0x5, 3, 0x1FF, 9, 0, 4} << hex("BF F0") << 16;
        QTest::newRow("lsb across bytes")
            << lsb << QList<int>{0x5, 3, 0x1FF, 9, 0, 4} << hex("FD 0F") << 16;
        QTest::newRow("msb only the low bits") << msb << QList<int>{0xFF, 3} << hex("E0") << 3;
        QTest::newRow("msb 32 bits")
            << msb << QList<int>{int(0x89ABCDEF), 32} << hex("89ABCDEF") << 32;
        QTest::newRow("lsb 32 bits")
            << lsb << QList<int>{int(0x89ABCDEF), 32} << hex("EFCDAB89") << 32;
        QTest::newRow("msb aligned rows")
            << msb << QList<int>{1, 1, -1, 1, 2, -1, -1} << hex("80 40") << 3;
        QTest::newRow("lsb aligned rows")
            << lsb << QList<int>{1, 1, -1, 1, 2, -1} << hex("01 01") << 3;
        QTest::newRow("nothing") << msb << QList<int>{0, 0} << QByteArray() << 0;
    }
    void bits() {
        QFETCH(BitOrder, order);
        QFETCH(QList<int>, values);
        QFETCH(QByteArray, bytes);
        QFETCH(int, bitCount);
        std::vector<std::uint8_t> out{0x77}; // appended to what is there
        BitWriter w(out, order);
        for (qsizetype i = 0; i < values.size(); i += 1) {
            if (values[i] == -1) {
                w.alignToByte();
                continue;
            }
            w.write(std::uint32_t(values[i]), values[i + 1]);
            ++i;
        }
        QCOMPARE(int(w.bitCount()), bitCount);
        QCOMPARE(bytesOf(w.bytes()), QByteArray("\x77") + bytes);
    }

    // Bits copied from a most-significant-first stream, and a writer used
    // again after clear().
    void appendAndClear() {
        BitWriter w;
        const std::uint8_t in[] = {0xB6, 0xC0};
        w.write(1, 1);
        w.append(in, 10); // 1011 0110 11
        QCOMPARE(bytesOf(w.bytes()), hex("DB 60"));
        QCOMPARE(int(w.bitCount()), 11);
        w.clear();
        w.write(3, 2);
        QCOMPARE(bytesOf(w.bytes()), hex("C0"));
    }

    void bitsNeeded_data() {
        QTest::addColumn<int>("value");
        QTest::addColumn<int>("unsignedBits");
        QTest::addColumn<int>("signedBits");
        QTest::newRow("0") << 0 << 0 << 1;
        QTest::newRow("1") << 1 << 1 << 2;
        QTest::newRow("-1") << -1 << 32 << 1;
        QTest::newRow("-2") << -2 << 32 << 2;
        QTest::newRow("127") << 127 << 7 << 8;
        QTest::newRow("-128") << -128 << 32 << 8;
        QTest::newRow("-129") << -129 << 32 << 9;
    }
    void bitsNeeded() {
        QFETCH(int, value);
        QFETCH(int, unsignedBits);
        QFETCH(int, signedBits);
        QCOMPARE(zentraq::core::unsignedBits(std::uint32_t(value)), unsignedBits);
        QCOMPARE(zentraq::core::signedBits(value), signedBits);
    }

    void fields_data() {
        QTest::addColumn<qulonglong>("value");
        QTest::addColumn<int>("bytes");
        QTest::addColumn<QByteArray>("low");
        QTest::addColumn<QByteArray>("high");
        QTest::newRow("1 byte") << 0x1234ull << 1 << hex("34") << hex("34");
        QTest::newRow("2 bytes") << 0x1234ull << 2 << hex("3412") << hex("1234");
        QTest::newRow("3 bytes") << 0xABCDEFull << 3 << hex("EFCDAB") << hex("ABCDEF");
        QTest::newRow("4 bytes, top byte set")
            << 0xFF000001ull << 4 << hex("010000FF") << hex("FF000001");
        QTest::newRow("negative as 4 bytes")
            << qulonglong(std::uint32_t(-2)) << 4 << hex("FEFFFFFF") << hex("FFFFFFFE");
        QTest::newRow("8 bytes") << 0x0102030405060708ull << 8 << hex("0807060504030201")
                                 << hex("0102030405060708");
    }
    void fields() {
        QFETCH(qulonglong, value);
        QFETCH(int, bytes);
        QFETCH(QByteArray, low);
        QFETCH(QByteArray, high);
        QByteArray a;
        appendLe(a, value, bytes);
        QCOMPARE(a, low);
        std::vector<std::uint8_t> b;
        appendBe(b, value, bytes);
        QCOMPARE(bytesOf(b), high);
        std::uint8_t at[8];
        storeField(at, value, bytes, ByteOrder::HighFirst);
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(at), bytes), high);
        const qulonglong kept = bytes == 8 ? value : value & ((1ull << (8 * bytes)) - 1);
        QCOMPARE(qulonglong(loadField(at, bytes, ByteOrder::HighFirst)), kept);
        QCOMPARE(qulonglong(loadField(reinterpret_cast<const std::uint8_t*>(low.constData()), bytes,
                                      ByteOrder::LowFirst)),
                 kept);
        QByteArray c = "ab" + QByteArray(bytes, 'x') + "z";
        replaceField(c, 2, value, bytes, ByteOrder::LowFirst);
        QCOMPARE(c, "ab" + low + "z");
    }

    // The table of word items gives the bytes one at a time give, wherever
    // the line stands when the samples come and whatever their width and
    // order.
    void samplesAsBytes_data() {
        QTest::addColumn<int>("sampleBytes");
        QTest::addColumn<int>("perLine");
        QTest::addColumn<int>("before"); // bytes on the line already
        QTest::addColumn<bool>("highFirst");
        QTest::newRow("words, line of 16") << 2 << 16 << 0 << false;
        QTest::newRow("words high first, 4 before") << 2 << 16 << 4 << true;
        QTest::newRow("words, 3 before (split)") << 2 << 16 << 3 << false;
        QTest::newRow("3 bytes, line of 24") << 3 << 24 << 0 << true;
        QTest::newRow("3 bytes low first, line of 16 (split)") << 3 << 16 << 0 << false;
        QTest::newRow("1 byte, no lines") << 1 << 0 << 5 << false;
    }
    void samplesAsBytes() {
        QFETCH(int, sampleBytes);
        QFETCH(int, perLine);
        QFETCH(int, before);
        QFETCH(bool, highFirst);
        const ByteOrder order = highFirst ? ByteOrder::HighFirst : ByteOrder::LowFirst;
        std::vector<std::uint32_t> samples;
        std::vector<std::uint8_t> bytes(std::size_t(before), 0xEE);
        for (std::uint32_t i = 0; i < 41; ++i) {
            samples.push_back((i * 0x9E3779B9u) >> 8);
            std::uint8_t b[3];
            storeField(b, samples.back(), sampleBytes, order);
            bytes.insert(bytes.end(), b, b + sampleBytes);
        }
        const ArrayStyle style{"\r\n", {}, {}, perLine, ItemForm::Hex8};
        ByteArraySink viaTable, viaBytes;
        {
            TextBlock out(viaTable);
            ArrayWriter w(out, style);
            w.bytes(bytes.data(), before);
            w.samples(samples.data(), std::ptrdiff_t(samples.size()), sampleBytes, order);
            w.close();
        }
        {
            TextBlock out(viaBytes);
            ArrayWriter w(out, style);
            for (const std::uint8_t b : bytes)
                w.bytes(&b, 1);
            w.close();
        }
        QCOMPARE(viaTable.bytes, viaBytes.bytes);
        QVERIFY(viaBytes.bytes.startsWith(before ? "0xEE," : "0x"));
    }

    // A text block hands out what it holds when it goes away without a
    // flush (a writer that forgot it loses nothing), in blocks as it fills,
    // and not at all while an exception unwinds, also when the sink would
    // fail.
    void blockKeepsText() {
        ByteArraySink sink;
        {
            TextBlock out(sink, 64);
            out.append("forgotten");
        }
        QCOMPARE(sink.bytes, QByteArray("forgotten"));

        ByteArraySink blocks;
        {
            TextBlock out(blocks, 64);
            for (int i = 0; i < 20; ++i)
                out.append("0123456789");
            QVERIFY(blocks.bytes.size() >= 64);
            QVERIFY(blocks.bytes.size() < 200);
        }
        QCOMPARE(blocks.bytes, QByteArray("0123456789").repeated(20));

        ByteArraySink abandoned;
        FailingSink failing;
        try {
            TextBlock out(abandoned, 64);
            TextBlock doomed(failing, 64);
            out.append("half");
            doomed.append("never");
            throw std::logic_error("the writer failed");
        } catch (const std::logic_error& e) {
            QCOMPARE(QByteArray(e.what()), QByteArray("the writer failed"));
        }
        QCOMPARE(abandoned.bytes, QByteArray());

        // A sink that fails at the end: the failure reaches the caller.
        bool reported = false;
        try {
            TextBlock out(failing, 64);
            out.append("x");
        } catch (const std::runtime_error&) {
            reported = true;
        }
        QVERIFY(reported);
    }
};

QTEST_APPLESS_MAIN(EmitTest)
#include "test_emit.moc"
