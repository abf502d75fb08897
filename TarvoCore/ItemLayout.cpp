#include "ItemLayout.h"

#include "Item.h"

#include <QStringList>

#include <algorithm>
#include <array>

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

QString typeLabel(const Item& item) {
    const ItemPayload& payload = item.payload;
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

std::vector<Slot> slotsFor(qsizetype count, Size stripSize, double scrollOffset) {
    std::vector<Slot> result;
    if (count < 1)
        return result;
    const double width = stripSize.width;
    const double row = rowWidth(count);
    const double x0 = row <= width ? sidePadding + (width - row) / 2 : sidePadding - scrollOffset;
    result.reserve(static_cast<std::size_t>(count));
    for (qsizetype i = 0; i < count; ++i) {
        const Rect frame{x0 + static_cast<double>(i) * slotStride, bottomPadding, thumbnailSize,
                         thumbnailSize};
        result.push_back({i, frame, hitFrame(frame), false});
    }
    return result;
}

Rect hitFrame(const Rect& frame) {
    const double w = std::max(frame.width, minimumHitTarget);
    const double h = std::max(frame.height, minimumHitTarget);
    return {frame.midX() - w / 2, frame.midY() - h / 2, w, h};
}

std::optional<qsizetype> slotIndex(Point point, qsizetype count, Size stripSize,
                                   double scrollOffset) {
    for (const Slot& slot : slotsFor(count, stripSize, scrollOffset)) {
        if (slot.hitFrame.contains(point))
            return slot.index;
    }
    return std::nullopt;
}

qsizetype insertionIndex(Point point, qsizetype count, Size stripSize, double scrollOffset) {
    const std::vector<Slot> all = slotsFor(count, stripSize, scrollOffset);
    if (all.empty())
        return 0;
    for (const Slot& slot : all) {
        if (slot.frame.midX() > point.x)
            return slot.index;
    }
    return count - 1;
}

} // namespace tarvo::ItemLayout
