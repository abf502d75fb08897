#include "DefaultRules.h"

namespace tarvo::DefaultRules {

namespace {

Rule makeRule(const char* id, SourceType type, Destination destination, Delivery deliver) {
    Rule rule;
    rule.id = QUuid::fromString(QLatin1String(id));
    rule.sourceType = type;
    rule.destination = std::move(destination);
    rule.deliver = std::move(deliver);
    rule.rename = std::nullopt;
    rule.enabled = true;
    rule.createdAt = seedDate();
    return rule;
}

} // namespace

Date seedDate() {
    return Date::fromSecondsSince1970(0);
}

std::vector<Rule> all() {
    using S = SourceType;
    using C = AppCategory;
    return {
        makeRule("1E000000-0000-4000-A000-000000000001", S::images,
                 Destination::category(C::terminalOrEditor), Delivery::path()),
        makeRule("1E000000-0000-4000-A000-000000000002", S::images,
                 Destination::category(C::browser),
                 Delivery::image({ImageFormat::jpeg, 2000, 0.85, true})),
        makeRule("1E000000-0000-4000-A000-000000000003", S::heic, Destination::anywhere(),
                 Delivery::image({ImageFormat::jpeg, std::nullopt, 0.92, true})),
        makeRule("1E000000-0000-4000-A000-000000000004", S::richText,
                 Destination::category(C::terminalOrEditor), Delivery::plainText()),
        makeRule("1E000000-0000-4000-A000-000000000005", S::url, Destination::category(C::finder),
                 Delivery::webloc()),
        makeRule("1E000000-0000-4000-A000-000000000006", S::anyFile,
                 Destination::category(C::terminalOrEditor), Delivery::path()),
    };
}

} // namespace tarvo::DefaultRules
