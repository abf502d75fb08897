#pragma once

#include "TarvoCore/Date.h"
#include "TarvoCore/RuleModel.h"

#include <QString>

#include <optional>

namespace tarvo {

// What a batch confirmation asks: whether several items about to be
// converted go out converted or as they are, decided for the user after a
// few seconds.
struct BatchConfirmation {
    static constexpr double timeout = 4.0;

    enum class Choice { deliver, originals };

    int itemCount = 0;
    QString format;                  // the target format's name, shown in the question
    std::optional<qint64> maxPixels; // the conversion's pixel limit, none for none

    QString message() const;

    // Only with confirmations on and two items or more: always with a rename
    // template, otherwise for an image delivery that sets a pixel limit.
    static bool isNeeded(int itemCount, const Delivery& delivery,
                         const std::optional<QString>& rename, bool confirmationsEnabled);
    // `deliver` once the timeout has passed since the question was shown.
    static std::optional<Choice> choice(Date shownAt, Date now);

    bool operator==(const BatchConfirmation&) const = default;
};

} // namespace tarvo
