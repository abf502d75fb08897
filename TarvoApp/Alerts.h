#pragma once

#include <QString>

namespace tarvo {

// Modal alerts of the application, behind an interface so that tests answer
// them without a person.
class Alerts {
public:
    virtual ~Alerts() = default;
    // A failure that ends the process, shown until dismissed.
    virtual void showFailure(const QString& message) = 0;
    // An explanation with an action button (none when `button` is empty) and
    // a dismiss button; true when the action button ended it.
    virtual bool explain(const QString& message, const QString& button, const QString& dismiss) = 0;
};

// The alerts as message boxes.
class WidgetAlerts final : public Alerts {
public:
    void showFailure(const QString& message) override;
    bool explain(const QString& message, const QString& button, const QString& dismiss) override;
};

} // namespace tarvo
