// Fuzz target: arbitrary bytes as the layout settings file. They are read as the program reads
// them at start, every position is split and nudged as the settings page does, and the captions
// are saved back into the same text as "Ayarları Kaydet" saves them. Besides crashes, hangs and
// leaks, three promises are checked, each of which a user would notice when broken:
//  - a nudged position reads back as the number it shows, the other side unchanged;
//  - saving what was loaded never fails for a value the reader produced;
//  - after saving, every key reads back as the value written, and the key the program never
//    writes (RAPORSAYFASI) keeps its value.

#include "LayoutFile.h"
#include "LayoutTable.h"
#include "Position.h"
#include "ProfileText.h"

#include <QByteArray>
#include <QString>
#include <QStringDecoder>
#include <QStringEncoder>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>

using namespace fatura;

namespace {

[[noreturn]] void fail(const char* what, const QString& detail)
{
    std::fprintf(stderr, "finding: %s: %s\n", what, detail.toUtf8().constData());
    std::abort();
}

// Blanks around a value are not part of it (as the settings reader trims them).
QByteArray trimmedValue(QByteArray v)
{
    auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; };
    while (!v.isEmpty() && blank(v.front()))
        v.remove(0, 1);
    while (!v.isEmpty() && blank(v.back()))
        v.chop(1);
    return v;
}

qint32 saturated(qint64 value)
{
    return qint32(std::clamp<qint64>(value, std::numeric_limits<qint32>::min(), std::numeric_limits<qint32>::max()));
}

void checkNudges(const QString& position)
{
    const SplitPositionResult p = SplitPosition(position);
    for (const int step : {1, 8, std::numeric_limits<int>::max()}) {
        for (const NudgeDirection d :
             {NudgeDirection::Left, NudgeDirection::Right, NudgeDirection::Up, NudgeDirection::Down}) {
            const QString moved = NudgePosition(position, d, step);
            const SplitPositionResult m = SplitPosition(moved);
            const bool vertical = d == NudgeDirection::Up || d == NudgeDirection::Down;
            const int sign = (d == NudgeDirection::Left || d == NudgeDirection::Up) ? -1 : 1;
            const qint32 wantTop = vertical ? saturated(qint64(p.top) + sign * qint64(step)) : p.top;
            const qint32 wantLeft = vertical ? p.left : saturated(qint64(p.left) + sign * qint64(step));
            if (m.top != wantTop || m.left != wantLeft)
                fail("nudged position reads back differently", position + QStringLiteral(" -> ") + moved);
            if ((vertical ? m.leftText != p.leftText : m.topText != p.topText))
                fail("nudge changed the other side", position + QStringLiteral(" -> ") + moved);
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const ProfileText loaded(bytes);
    const LayoutCaptions captions = layoutCaptions(loaded);
    for (const QString& caption : captions)
        checkNudges(caption);

    // The whole file as one position text, as a caption of any content could be.
    QStringDecoder decoder("windows-1254");
    SplitPosition(QString(decoder.decode(bytes)));

    constexpr char kAbsent[] = "\x01<absent>";
    const QByteArray untouched = loaded.value(kLayoutSection, "RAPORSAYFASI", kAbsent);
    ProfileText saved(bytes);
    const auto keyValues = layoutKeyValues(captions);
    for (const auto& [key, value] : keyValues)
        saved.setValue(kLayoutSection, key, value); // throws only for a value no reader gives
    for (const auto& [key, value] : keyValues) {
        if (saved.value(kLayoutSection, key, kAbsent) != trimmedValue(value))
            fail("a saved key reads back differently", QString::fromLatin1(key));
    }
    if (saved.value(kLayoutSection, "RAPORSAYFASI", kAbsent) != untouched)
        fail("saving changed RAPORSAYFASI", QString());
    return 0;
}
