#pragma once

#include "AppcastItem.h"

#include <QString>

#include <variant>

namespace tarvo {

// The outcome of one update check.
struct UpdateCheckResult {
    // The feed has no release newer than the running build.
    struct UpToDate {
        bool operator==(const UpToDate&) const = default;
    };
    // A verified archive was written to `stagedAt` (an absolute path).
    struct UpdateReady {
        AppcastItem item;
        QString stagedAt;
        bool operator==(const UpdateReady&) const = default;
    };
    // The check ended without staging anything; `message` is for the user.
    struct Failed {
        QString message;
        bool operator==(const Failed&) const = default;
    };

    std::variant<UpToDate, UpdateReady, Failed> value;

    static UpdateCheckResult upToDate() { return {UpToDate{}}; }
    static UpdateCheckResult updateReady(AppcastItem item, QString stagedAt) {
        return {UpdateReady{std::move(item), std::move(stagedAt)}};
    }
    static UpdateCheckResult failed(QString message) { return {Failed{std::move(message)}}; }

    // "upToDate", "updateReady(2.1, /home/ann/Downloads/Tarvo-2.1.deb)", "failed(...)".
    QString description() const;
    bool operator==(const UpdateCheckResult&) const = default;
};

} // namespace tarvo
