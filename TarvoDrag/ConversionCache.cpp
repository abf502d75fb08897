#include "ConversionCache.h"

namespace tarvo {

ConversionCache::Key ConversionCache::Key::of(const ConversionRequest& request) {
    const bool namesApp = request.rename && request.rename->contains(QLatin1String("{app}"));
    return Key{request.item.id, request.delivery, request.rename,
               namesApp ? request.destinationApp : std::nullopt};
}

ConversionCache::Entry* ConversionCache::find(const Key& key) {
    for (Entry& entry : m_entries) {
        if (entry.key == key)
            return &entry;
    }
    return nullptr;
}

const ConversionCache::Entry* ConversionCache::find(const Key& key) const {
    for (const Entry& entry : m_entries) {
        if (entry.key == key)
            return &entry;
    }
    return nullptr;
}

std::optional<ConversionCache::Answer> ConversionCache::finished(const Key& key) const {
    const Entry* entry = find(key);
    return entry ? entry->answer : std::nullopt;
}

bool ConversionCache::isConverting(const Key& key) const {
    const Entry* entry = find(key);
    return entry && !entry->answer;
}

void ConversionCache::begin(const Key& key) {
    if (!find(key))
        m_entries.push_back(Entry{key, std::nullopt, {}, false});
}

void ConversionCache::wait(const Key& key, Waiter waiter) {
    Entry* entry = find(key);
    if (!entry) {
        waiter(std::nullopt);
        return;
    }
    if (entry->answer) {
        waiter(*entry->answer);
        return;
    }
    entry->waiters.push_back(std::move(waiter));
}

void ConversionCache::finish(const Key& key, const Answer& answer) {
    begin(key);
    Entry* entry = find(key);
    entry->answer = answer;
    std::vector<Waiter> waiters = std::move(entry->waiters);
    entry->waiters.clear();
    // A waiter may ask the cache again: `entry` is not touched after this.
    for (const Waiter& waiter : waiters)
        waiter(answer);
}

bool ConversionCache::isRecorded(const Key& key) const {
    const Entry* entry = find(key);
    return entry && entry->recorded;
}

void ConversionCache::markRecorded(const Key& key) {
    if (Entry* entry = find(key))
        entry->recorded = true;
}

} // namespace tarvo
