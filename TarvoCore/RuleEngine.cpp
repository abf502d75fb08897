#include "RuleEngine.h"

#include "CanonicalText.h"

namespace tarvo {

namespace {

bool destinationMatches(const Destination& ruleDestination,
                        const ResolvedDestination& destination) {
    if (const auto* app = std::get_if<Destination::App>(&ruleDestination.value))
        return destination.bundleID && CanonicalText::equal(*destination.bundleID, app->bundleID);
    if (const auto* c = std::get_if<Destination::Category>(&ruleDestination.value))
        // No application under the pointer has no category to match, not even `other`.
        return destination.bundleID && destination.category == c->category;
    return true;
}

} // namespace

RuleEngine::RuleEngine(std::vector<Rule> rules, AppCategoryMap categories)
    : m_rules(std::move(rules)), m_categories(std::move(categories)) {}

void RuleEngine::beginDrag() {
    m_dragActive = true;
    m_cache.clear();
}

void RuleEngine::endDrag() {
    m_dragActive = false;
    m_cache.clear();
}

void RuleEngine::rulesChanged() {
    m_cache.clear();
}

template <typename SourceTypeOf>
std::optional<Rule> RuleEngine::answer(const QUuid& itemID, const ResolvedDestination& destination,
                                       SourceTypeOf sourceTypeOf) {
    if (!m_dragActive)
        return match(sourceTypeOf(), destination);
    const CacheKey key{itemID, CanonicalText::form(destination.bundleID.value_or(QString())),
                       destination.category};
    if (const auto it = m_cache.constFind(key); it != m_cache.constEnd())
        return *it;
    std::optional<Rule> found = match(sourceTypeOf(), destination);
    m_cache.insert(key, found);
    return found;
}

// An item's source type takes a look into the MIME database, so a drag that
// asks again at every pointer move is answered from the cache without it.
std::optional<Rule> RuleEngine::rule(const Item& item, const QString& containerRoot,
                                     const ResolvedDestination& destination) {
    return answer(item.id, destination, [&] { return item.sourceType(containerRoot); });
}

std::optional<Rule> RuleEngine::rule(SourceType sourceType, const ResolvedDestination& destination,
                                     const QUuid& itemID) {
    return answer(itemID, destination, [sourceType] { return sourceType; });
}

std::optional<Rule> RuleEngine::match(SourceType sourceType,
                                      const ResolvedDestination& destination) const {
    const Rule* best = nullptr;
    for (const Rule& candidate : m_rules) {
        if (!candidate.enabled || !covers(candidate.sourceType, sourceType) ||
            !destinationMatches(candidate.destination, destination))
            continue;
        if (!best) {
            best = &candidate;
            continue;
        }
        const int specificity = candidate.specificity();
        const int bestSpecificity = best->specificity();
        // Equal specificity: the later creation wins; equal times keep list order.
        if (specificity > bestSpecificity ||
            (specificity == bestSpecificity && best->createdAt < candidate.createdAt))
            best = &candidate;
    }
    if (!best)
        return std::nullopt;
    return *best;
}

Delivery RuleEngine::effectiveDelivery(const std::optional<Rule>& rule,
                                       const ResolvedDestination& destination) const {
    if (!rule)
        return Delivery::original();
    // Over a file list or a non-text area of a terminal or editor the file itself
    // is more useful than its path; an undetermined pane still gets the path.
    if (rule->deliver.is<Delivery::Path>() &&
        destination.category == AppCategory::terminalOrEditor && destination.isEditorPane == false)
        return Delivery::original();
    return rule->deliver;
}

} // namespace tarvo
