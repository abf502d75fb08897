#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <optional>
#include <vector>

// Copies files dropped on a folder chip into that folder. Runs on whichever
// thread calls it: the controller calls it on a worker.
namespace tarvo::ChipCopy {

struct Copied {
    QString source;
    QString written;
    bool operator==(const Copied&) const = default;
};

struct Outcome {
    std::vector<Copied> copied;
    // One line per file that could not be copied, with its reason.
    QStringList failures;
};

// "report.pdf" as the n-th of its name: "report 2.pdf"; "notes" gives
// "notes 2". Only the last extension counts, and a leading dot starts none.
QString numberedName(const QString& name, int n);

// The first of "name", "name 2", "name 3"... free in `folder`, taken at once
// (an empty file, or an empty folder for `directory`) so that nobody else
// gets it; none when the folder takes no new entry.
std::optional<QString> reserve(const QString& name, const QString& folder, bool directory);

// Copies each local file or folder into `folder` under a reserved free name.
// A copy is written beside its place first and renamed over its reservation
// when complete, so a failure leaves neither a partial copy nor the
// reservation behind.
Outcome copyInto(const QList<QUrl>& files, const QString& folder);

} // namespace tarvo::ChipCopy
