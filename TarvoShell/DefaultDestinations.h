#pragma once

#include <QString>
#include <QStringList>

// The folders the destination log starts with before the user has dropped
// anywhere.
namespace tarvo::DefaultDestinations {

// The user's Downloads and Desktop folders as the desktop names them
// (localised names included), first to last, each only where it exists: a
// chip for a missing folder could take no drop.
QStringList folders();

// Of `locations`, in order, those that are folders, once each. An empty or
// relative location, and the home folder itself, which a desktop names for a
// folder the user has turned off, are none.
QStringList existing(const QStringList& locations, const QString& home);

} // namespace tarvo::DefaultDestinations
