#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

#include <initializer_list>
#include <optional>
#include <variant>
#include <vector>

// Every text the user sees, looked up by key in the "Localizable" table that
// ships inside the binary ("Tarvo_TarvoCore.bundle" among its resources). A key
// the table lacks shows as the key itself. Nothing is cached but the table.
namespace tarvo::L10n {

// The text for `key`, or `key` itself when the table has none.
QString text(const QString& key);

// Format arguments: counts as 64-bit integers, everything else as text.
using Argument = std::variant<qint64, QString>;
enum class ArgumentKind { integer, text };

// Looks `key` up and fills %1, %2, ... with the arguments, in one pass, so an
// argument holding "%2" is never expanded again. "%%" stands for "%". A
// placeholder without an argument stays as written.
QString format(const QString& key, std::initializer_list<Argument> arguments);
QString fill(const QString& pattern, const std::vector<Argument>& arguments);

// The formatted keys with the kinds of their arguments in order, so the
// shipped table can be checked against what the members pass.
struct FormatSignature {
    const char* key;
    std::vector<ArgumentKind> arguments;
};
const std::vector<FormatSignature>& formatSignatures();

// The whole shipped table, key to text.
const QHash<QString, QString>& table();

#define TARVO_L10N_TEXT(member, key) QString member();
#include "L10nTexts.inc"
#undef TARVO_L10N_TEXT

QString sourceType(const QString& rawValue);
QString category(const QString& rawValue);
QString badgeFormat(const QString& formatName, std::optional<qint64> maxPixels);
QString countChip(qint64 count);
QString overflowChip(qint64 count);
QString evicted(qint64 count);
QString badgeBatch(qint64 count);
QString batchConfirm(qint64 count, const QString& formatName, std::optional<qint64> maxPixels);
QString ctxRemove(const QString& name);
QString sentTo(const QString& appName);
QString pathCopied(const QString& text);
QString pastedInto(const QString& appName);
QString chipFailed(const QString& text);
QString handOff(const QString& appName);
QString contextAddRule(const QString& appName);
QString rulesEditorTitle(const QString& type, const QString& into, const QString& deliver);
QString aboutVersion(const QString& version);
QString aboutUpdateFound(const QString& version);
QString a11yTarvoOpen(qint64 count);
QString a11yLanded(const QString& text);
// Why a global shortcut could not be registered, naming it ("Alt+Space").
QString hotkeyTaken(const QString& shortcut);
QString hotkeyTakenByWindowManager(const QString& shortcut, const QString& windowManager);
QString hotkeyUnknownKey(const QString& shortcut);

QStringList menuBarTitles();
QStringList settingsTabTitles();
QStringList allButtonTitles();

} // namespace tarvo::L10n

namespace tarvo::TarvoLinks {
QString website();
QString support();
QString privacy();
QString appcast();
} // namespace tarvo::TarvoLinks
