#pragma once

#include "TarvoConvert/ConversionRequest.h"
#include "TarvoConvert/ConversionResult.h"
#include "TarvoCore/RuleModel.h"

#include <QString>
#include <QUuid>

#include <functional>
#include <optional>
#include <vector>

namespace tarvo {

// What one drag out of the shelf has converted so far: destinations ask for
// the same item again (once per type, during hover and at the drop), and
// each asks for what one conversion already produced. An entry may still be
// converting; whoever asks then waits for it. Main thread only.
class ConversionCache final {
public:
    // The conversion's own answer; none when even the unchanged item failed.
    using Answer = std::optional<ConversionResult>;
    using Waiter = std::function<void(const Answer&)>;

    struct Key {
        QUuid itemID;
        Delivery delivery;
        std::optional<QString> rename;
        // The destination's application, where the rename template names it:
        // the same rule over another application makes another file.
        std::optional<QString> destinationApp;
        bool operator==(const Key&) const = default;

        static Key of(const ConversionRequest& request);
    };

    // The finished answer for `key`; none while unknown or still converting.
    std::optional<Answer> finished(const Key& key) const;
    bool isConverting(const Key& key) const;

    // Marks `key` as converting; its waiters hear `finish`.
    void begin(const Key& key);
    // Adds `waiter` to a conversion under way.
    void wait(const Key& key, Waiter waiter);
    void finish(const Key& key, const Answer& answer);

    // Whether the delivery of this entry's result has been recorded, so it
    // is recorded once however often it is read.
    bool isRecorded(const Key& key) const;
    void markRecorded(const Key& key);

private:
    struct Entry {
        Key key;
        std::optional<Answer> answer;
        std::vector<Waiter> waiters;
        bool recorded = false;
    };
    Entry* find(const Key& key);
    const Entry* find(const Key& key) const;

    // A drag converts a handful of items: a list is all it takes.
    std::vector<Entry> m_entries;
};

} // namespace tarvo
