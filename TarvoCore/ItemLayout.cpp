#include "ItemLayout.h"

#include "Item.h"

#include <QStringList>

#include <algorithm>
#include <array>
#include <cmath>

namespace tarvo::ItemLayout {

namespace {

constexpr double slotStride = thumbnailSize + spacing;

struct CaptionPrefix {
    const char* prefix;
    const char* label;
};

// Names the desktop gives its captures, each shortened to its time.
constexpr std::array captionPrefixes = {
    CaptionPrefix{"Screenshot ", ""},
    CaptionPrefix{"Screen Recording ", "Rec "},
};

// Position of the dot that starts the extension of the last path component.
std::optional<qsizetype> extensionDot(const QString& name) {
    const qsizetype slash = name.lastIndexOf(u'/');
    const qsizetype dot = name.lastIndexOf(u'.');
    if (dot < 0 || dot < slash)
        return std::nullopt;
    return dot;
}

QString withoutExtension(const QString& name) {
    const auto dot = extensionDot(name);
    if (!dot)
        return name;
    const QString stripped = name.left(*dot);
    return stripped.isEmpty() ? name : stripped;
}

QString extensionOf(const QString& name) {
    const auto dot = extensionDot(name);
    return dot ? name.mid(*dot + 1) : QString();
}

// "10.23.45 PM.png" gives "10:23 PM"; "10.23.45.png" gives "10:23".
std::optional<QString> captureTime(const QString& tail) {
    const QStringList pieces = tail.split(u'.', Qt::SkipEmptyParts);
    if (pieces.size() < 3)
        return std::nullopt;
    // Only U+0020 separates the meridiem; a narrow no-break space leaves none.
    const QStringList secondsAndMeridiem = pieces[2].split(u' ', Qt::SkipEmptyParts);
    const QString meridiem = secondsAndMeridiem.size() >= 2 ? secondsAndMeridiem[1] : QString();
    QString time = pieces[0] + u':' + pieces[1];
    if (!meridiem.isEmpty())
        time += u' ' + meridiem;
    return time;
}

} // namespace

QString tileName(const QString& name) {
    for (const CaptionPrefix& p : captionPrefixes) {
        const QString prefix = QString::fromLatin1(p.prefix);
        if (!name.startsWith(prefix))
            continue;
        const QString rest = name.mid(prefix.size());
        const qsizetype at = rest.indexOf(QLatin1String(" at "));
        if (at >= 0) {
            if (const auto time = captureTime(rest.mid(at + 4)))
                return QString::fromLatin1(p.label) + *time;
        }
        break;
    }
    return withoutExtension(name);
}

QString typeLabel(const Item& item, bool isFolder) {
    const ItemPayload& payload = item.payload;
    if (const auto* file = payload.as<ItemPayload::File>(); file && (isFolder || file->isFolder))
        return {};
    if (payload.is<ItemPayload::Url>())
        return QStringLiteral("LINK");
    if (payload.is<ItemPayload::RichText>())
        return QStringLiteral("RTF");
    if (payload.is<ItemPayload::Text>())
        return QStringLiteral("TXT");
    // Files and images: the name the user knows, not the stored file's name.
    const QString ext = extensionOf(item.displayName).toUpper();
    return ext.isEmpty() ? QStringLiteral("FILE") : ext;
}

VisibleCount visibleCount(qsizetype count) {
    return {count, false};
}

bool showsFilenames(qsizetype count) {
    return count <= maxVisibleFilenames;
}

double contentWidth(qsizetype count) {
    if (count < 1)
        return 0;
    return rowWidth(std::min(count, maxVisible));
}

double rowWidth(qsizetype count) {
    if (count < 1)
        return 0;
    const auto n = static_cast<double>(count);
    return 2 * sidePadding + n * thumbnailSize + (n - 1) * spacing;
}

double maxScrollOffset(qsizetype count, double stripWidth) {
    return std::max(0.0, rowWidth(count) - stripWidth);
}

namespace {

// Where the first slot starts: a row that fits is centred, a wider one
// scrolls.
double rowStart(qsizetype count, double stripWidth, double scrollOffset) {
    const double row = rowWidth(count);
    return row <= stripWidth ? sidePadding + (stripWidth - row) / 2 : sidePadding - scrollOffset;
}

} // namespace

std::vector<Slot> slotsFor(qsizetype count, Size stripSize, double scrollOffset) {
    std::vector<Slot> result;
    if (count < 1)
        return result;
    result.reserve(static_cast<std::size_t>(count));
    for (qsizetype i = 0; i < count; ++i)
        result.push_back(slotAt(i, count, stripSize, scrollOffset));
    return result;
}

Slot slotAt(qsizetype index, qsizetype count, Size stripSize, double scrollOffset) {
    const double x0 = rowStart(count, stripSize.width, scrollOffset);
    const Rect frame{x0 + static_cast<double>(index) * slotStride, bottomPadding, thumbnailSize,
                     thumbnailSize};
    return {index, frame, hitFrame(frame), false};
}

std::pair<qsizetype, qsizetype> slotsMeeting(double from, double to, qsizetype count,
                                             Size stripSize, double scrollOffset) {
    if (count < 1 || to <= from)
        return {0, 0};
    const double x0 = rowStart(count, stripSize.width, scrollOffset);
    // Slot i spans [x0 + i * stride, x0 + i * stride + thumbnailSize).
    const double lo = std::floor((from - x0 - thumbnailSize) / slotStride) + 1;
    const double hi = std::ceil((to - x0) / slotStride);
    const auto clamp = [count](double v) {
        return static_cast<qsizetype>(std::clamp(v, 0.0, static_cast<double>(count)));
    };
    const qsizetype first = clamp(lo);
    return {first, std::max(first, clamp(hi))};
}

Rect hitFrame(const Rect& frame) {
    const double w = std::max(frame.width, minimumHitTarget);
    const double h = std::max(frame.height, minimumHitTarget);
    return {frame.midX() - w / 2, frame.midY() - h / 2, w, h};
}

std::optional<qsizetype> slotIndex(Point point, qsizetype count, Size stripSize,
                                   double scrollOffset) {
    // Hit frames are at least as wide as the tiles, so only the slots near
    // the point can hold it.
    const double reach = std::max(minimumHitTarget, thumbnailSize);
    const auto [first, last] =
        slotsMeeting(point.x - reach, point.x + reach, count, stripSize, scrollOffset);
    for (qsizetype i = first; i < last; ++i) {
        if (slotAt(i, count, stripSize, scrollOffset).hitFrame.contains(point))
            return i;
    }
    return std::nullopt;
}

qsizetype insertionIndex(Point point, qsizetype count, Size stripSize, double scrollOffset) {
    if (count < 1)
        return 0;
    // The first slot whose centre lies right of the point.
    const double x0 = rowStart(count, stripSize.width, scrollOffset);
    const double centre0 = x0 + thumbnailSize / 2;
    const double k = std::floor((point.x - centre0) / slotStride) + 1;
    qsizetype index = static_cast<qsizetype>(std::clamp(k, 0.0, static_cast<double>(count)));
    // Guard the boundary against rounding: step to the exact first slot.
    while (index > 0 && slotAt(index - 1, count, stripSize, scrollOffset).frame.midX() > point.x)
        --index;
    while (index < count && !(slotAt(index, count, stripSize, scrollOffset).frame.midX() > point.x))
        ++index;
    return index < count ? index : count - 1;
}

} // namespace tarvo::ItemLayout
