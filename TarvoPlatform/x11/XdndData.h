#pragma once

#include "TarvoPlatform/PasteboardItem.h"

#include <QByteArray>
#include <QByteArrayList>
#include <QStringList>

#include <optional>
#include <vector>

// How an outgoing drag pasteboard looks to X11 targets: the MIME types and
// atom names announced for its types, which of its types answer a request,
// and the bytes of an answer when several items are dragged at once.
namespace tarvo::XdndData {

// The announced types in the pasteboard's order, without repeats. The
// direct-save protocol saves one file: it is offered only for one promise.
QByteArrayList announcedTypes(const QStringList& pasteboardTypes, int promiseCount);

// The pasteboard types announced at all, for the pasteboard's own list.
QStringList carriedTypes(const QStringList& pasteboardTypes, int promiseCount);

// The pasteboard types that can answer a request for `target`, in the
// pasteboard's order. A link's title is asked for on its own (see `compose`).
QStringList sources(const QByteArray& target, const QStringList& pasteboardTypes);

// Whether `target` carries each link with its title.
bool carriesTitles(const QByteArray& target);

// Whether the answer joins every item's data (lists of files and links,
// text); otherwise the first item that has data answers alone.
bool joinsItems(const QByteArray& target);

// The answer for `target` from each item's data, in item order (an item
// without data is skipped). None when no item had data. For a target that
// carries titles, `titles` holds each item's title, if any, in the same order.
std::optional<PasteboardData>
compose(const QByteArray& target, const std::vector<std::optional<PasteboardData>>& items,
        const std::vector<std::optional<PasteboardData>>& titles = {});

} // namespace tarvo::XdndData
