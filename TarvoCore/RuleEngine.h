#pragma once

#include "AppCategoryMap.h"
#include "Item.h"
#include "RuleModel.h"

#include <QHash>
#include <QString>
#include <QUuid>

#include <optional>
#include <vector>

namespace tarvo {

// Picks the rule for an item and the application under the pointer, and what
// the destination then receives. Answers are remembered for one drag out of the
// shelf, since the same question comes at every pointer move. Main thread only.
class RuleEngine final {
public:
    RuleEngine(std::vector<Rule> rules, AppCategoryMap categories);

    // The shell replaces both when the rules store changes, then calls
    // rulesChanged().
    const std::vector<Rule>& rules() const { return m_rules; }
    void setRules(std::vector<Rule> rules) { m_rules = std::move(rules); }
    const AppCategoryMap& categories() const { return m_categories; }
    void setCategories(AppCategoryMap categories) { m_categories = std::move(categories); }

    void beginDrag();
    void endDrag();
    void rulesChanged();

    std::optional<Rule> rule(const Item& item, const QString& containerRoot,
                             const ResolvedDestination& destination);
    std::optional<Rule> rule(SourceType sourceType, const ResolvedDestination& destination,
                             const QUuid& itemID);

    Delivery effectiveDelivery(const std::optional<Rule>& rule,
                               const ResolvedDestination& destination) const;

private:
    struct CacheKey {
        QUuid itemID;
        QString bundleID; // composed form; empty when no application was found
        AppCategory category;
        bool operator==(const CacheKey&) const = default;
        friend size_t qHash(const CacheKey& key, size_t seed = 0) {
            return qHashMulti(seed, key.itemID, key.bundleID, static_cast<int>(key.category));
        }
    };

    // The remembered answer when there is one; `sourceTypeOf` is asked only
    // when the rules have to be searched.
    template <typename SourceTypeOf>
    std::optional<Rule> answer(const QUuid& itemID, const ResolvedDestination& destination,
                               SourceTypeOf sourceTypeOf);
    std::optional<Rule> match(SourceType sourceType, const ResolvedDestination& destination) const;

    std::vector<Rule> m_rules;
    AppCategoryMap m_categories;
    QHash<CacheKey, std::optional<Rule>> m_cache;
    bool m_dragActive = false;
};

} // namespace tarvo
