#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

namespace tarvo {

class PasteboardItem;

// When a destination reads: while the pointer merely hovers over it, or for
// the drop itself. Some destinations read during hover and again at the drop.
enum class DataRequestPhase { hover, drop };

// Produces an item's data only when a destination asks for it.
class PasteboardItemDataProvider {
public:
    virtual ~PasteboardItemDataProvider() = default;
    // Sets data of `type` on `item`, or leaves the item without, then calls
    // `done` exactly once, at once or later, on the main thread.
    virtual void provideData(PasteboardItem& item, const QString& type, DataRequestPhase phase,
                             std::function<void()> done) = 0;
};

// Data as it is handed over: bytes, or the contents of a file that is read
// only while it is sent, piece by piece.
struct PasteboardData {
    QByteArray bytes;
    std::optional<QString> file;
    // A word for a command line, such as a quoted path: several are joined
    // by spaces, where other text is joined by lines, so that a terminal
    // given them runs nothing.
    bool shellWord = false;

    static PasteboardData fromBytes(QByteArray bytes) {
        return {std::move(bytes), std::nullopt, false};
    }
    static PasteboardData fromFile(QString path) { return {QByteArray(), std::move(path), false}; }
    static PasteboardData fromShellWord(QByteArray bytes) {
        return {std::move(bytes), std::nullopt, true};
    }
    bool operator==(const PasteboardData&) const = default;
};

// One entry of an outgoing pasteboard: the types it offers, in order, with
// data set on it by its provider when a destination reads a type. Lives on
// the main thread. Always held through a shared pointer.
class PasteboardItem final : public std::enable_shared_from_this<PasteboardItem> {
public:
    PasteboardItem() = default;
    PasteboardItem(const PasteboardItem&) = delete;
    PasteboardItem& operator=(const PasteboardItem&) = delete;

    // Offers `types` with data from `provider` (not owned). False, and
    // nothing changes, when the list is empty.
    bool setDataProvider(PasteboardItemDataProvider* provider, const QStringList& types);
    // Stops asking the provider, for an owner that goes away before the
    // pasteboard does; later requests get nothing.
    void detachProvider() { m_provider = nullptr; }

    const QStringList& types() const { return m_types; }

    void setData(const QByteArray& data, const QString& type);
    void setString(const QString& string, const QString& type); // as UTF-8
    void setFileContents(const QString& path, const QString& type);
    void setData(const PasteboardData& data, const QString& type);
    std::optional<PasteboardData> data(const QString& type) const;

    // Asks the provider for `type` afresh and hands `answer` what it set:
    // nothing for a type the item does not offer, or when the provider set
    // nothing. `answer` runs exactly once.
    void request(const QString& type, DataRequestPhase phase,
                 std::function<void(std::optional<PasteboardData>)> answer);

private:
    PasteboardItemDataProvider* m_provider = nullptr;
    QStringList m_types;
    QHash<QString, PasteboardData> m_data;
};

} // namespace tarvo
