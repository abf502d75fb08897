#include "L10n.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

namespace tarvo::L10n {

namespace {

constexpr char bundleName[] = "Tarvo_TarvoCore";
constexpr char tablePath[] = ":/Tarvo_TarvoCore.bundle/Localizable.json";

QHash<QString, QString> loadTable() {
    QFile file(QString::fromLatin1(tablePath));
    if (!file.open(QIODevice::ReadOnly))
        qFatal("unable to find bundle named %s", bundleName);
    const QJsonObject object = QJsonDocument::fromJson(file.readAll()).object();
    QHash<QString, QString> result;
    result.reserve(object.size());
    for (auto it = object.begin(); it != object.end(); ++it)
        result.insert(it.key(), it.value().toString());
    return result;
}

QStringList list(std::initializer_list<const char*> keys) {
    QStringList result;
    for (const char* key : keys)
        result.append(text(QString::fromLatin1(key)));
    return result;
}

} // namespace

const QHash<QString, QString>& table() {
    static const QHash<QString, QString> loaded = loadTable();
    return loaded;
}

QString text(const QString& key) {
    const auto& t = table();
    const auto it = t.constFind(key);
    return it == t.constEnd() ? key : it.value();
}

QString fill(const QString& pattern, const std::vector<Argument>& arguments) {
    QString out;
    out.reserve(pattern.size() + 16);
    for (qsizetype i = 0; i < pattern.size(); ++i) {
        const QChar c = pattern.at(i);
        if (c != u'%' || i + 1 >= pattern.size()) {
            out.append(c);
            continue;
        }
        const QChar next = pattern.at(i + 1);
        if (next == u'%') {
            out.append(u'%');
            ++i;
            continue;
        }
        const int n = next.digitValue();
        if (n < 1 || static_cast<size_t>(n) > arguments.size()) {
            out.append(c);
            continue;
        }
        const Argument& argument = arguments[static_cast<size_t>(n - 1)];
        if (const auto* number = std::get_if<qint64>(&argument))
            out.append(QString::number(*number));
        else
            out.append(std::get<QString>(argument));
        ++i;
    }
    return out;
}

QString format(const QString& key, std::initializer_list<Argument> arguments) {
    return fill(text(key), std::vector<Argument>(arguments));
}

const std::vector<FormatSignature>& formatSignatures() {
    using K = ArgumentKind;
    static const std::vector<FormatSignature> signatures = {
        {"badge.formatWithSize", {K::text, K::integer}},
        {"tarvo.countChip", {K::integer}},
        {"tarvo.overflowChip", {K::integer}},
        {"tarvo.evicted", {K::integer}},
        {"badge.batch", {K::integer}},
        {"batch.confirm", {K::integer, K::text, K::integer}},
        {"batch.confirmNoResize", {K::integer, K::text}},
        {"ctx.remove", {K::text}},
        {"chip.sentTo", {K::text}},
        {"chip.pathCopied", {K::text}},
        {"chip.pastedInto", {K::text}},
        {"chip.failed", {K::text}},
        {"chip.handOff", {K::text}},
        {"context.addRule", {K::text}},
        {"rules.editorTitle", {K::text, K::text, K::text}},
        {"about.version", {K::text}},
        {"about.updateFound", {K::text}},
        {"a11y.tarvoOpen", {K::integer}},
        {"a11y.tarvoOpenOne", {}},
        {"a11y.landed", {K::text}},
        {"general.hotkeyTaken", {K::text}},
        {"general.hotkeyTakenByWindowManager", {K::text, K::text}},
        {"general.hotkeyUnknownKey", {K::text}},
    };
    return signatures;
}

#define TARVO_L10N_TEXT(member, key)                                                               \
    QString member() {                                                                             \
        return text(QStringLiteral(key));                                                          \
    }
#include "L10nTexts.inc"
#undef TARVO_L10N_TEXT

QString sourceType(const QString& rawValue) {
    return text(QStringLiteral("sourceType.") + rawValue);
}

QString category(const QString& rawValue) {
    return text(QStringLiteral("category.") + rawValue);
}

QString badgeFormat(const QString& formatName, std::optional<qint64> maxPixels) {
    if (!maxPixels)
        return formatName;
    return format(QStringLiteral("badge.formatWithSize"), {formatName, *maxPixels});
}

QString countChip(qint64 count) {
    return format(QStringLiteral("tarvo.countChip"), {count});
}
QString overflowChip(qint64 count) {
    return format(QStringLiteral("tarvo.overflowChip"), {count});
}
QString evicted(qint64 count) {
    return format(QStringLiteral("tarvo.evicted"), {count});
}
QString badgeBatch(qint64 count) {
    return format(QStringLiteral("badge.batch"), {count});
}

QString batchConfirm(qint64 count, const QString& formatName, std::optional<qint64> maxPixels) {
    if (maxPixels)
        return format(QStringLiteral("batch.confirm"), {count, formatName, *maxPixels});
    return format(QStringLiteral("batch.confirmNoResize"), {count, formatName});
}

QString ctxRemove(const QString& name) {
    return format(QStringLiteral("ctx.remove"), {name});
}
QString sentTo(const QString& appName) {
    return format(QStringLiteral("chip.sentTo"), {appName});
}
QString pathCopied(const QString& t) {
    return format(QStringLiteral("chip.pathCopied"), {t});
}
QString pastedInto(const QString& appName) {
    return format(QStringLiteral("chip.pastedInto"), {appName});
}
QString chipFailed(const QString& t) {
    return format(QStringLiteral("chip.failed"), {t});
}
QString handOff(const QString& appName) {
    return format(QStringLiteral("chip.handOff"), {appName});
}
QString contextAddRule(const QString& appName) {
    return format(QStringLiteral("context.addRule"), {appName});
}
QString rulesEditorTitle(const QString& type, const QString& into, const QString& deliver) {
    return format(QStringLiteral("rules.editorTitle"), {type, into, deliver});
}
QString aboutVersion(const QString& v) {
    return format(QStringLiteral("about.version"), {v});
}
QString aboutUpdateFound(const QString& v) {
    return format(QStringLiteral("about.updateFound"), {v});
}

QString a11yTarvoOpen(qint64 count) {
    if (count == 1)
        return text(QStringLiteral("a11y.tarvoOpenOne"));
    return format(QStringLiteral("a11y.tarvoOpen"), {count});
}

QString a11yLanded(const QString& t) {
    return format(QStringLiteral("a11y.landed"), {t});
}

QString hotkeyTaken(const QString& shortcut) {
    return format(QStringLiteral("general.hotkeyTaken"), {shortcut});
}

QString hotkeyTakenByWindowManager(const QString& shortcut, const QString& windowManager) {
    return format(QStringLiteral("general.hotkeyTakenByWindowManager"), {shortcut, windowManager});
}

QString hotkeyUnknownKey(const QString& shortcut) {
    return format(QStringLiteral("general.hotkeyUnknownKey"), {shortcut});
}

QStringList menuBarTitles() {
    return list({"menu.open", "menu.undo", "menu.clear", "menu.settings", "menu.quit"});
}

QStringList settingsTabTitles() {
    return list(
        {"settings.tab.general", "settings.tab.rules", "settings.tab.apps", "settings.tab.about"});
}

QStringList allButtonTitles() {
    return list({"batch.deliver",
                 "batch.originals",
                 "item.retry",
                 "permission.openSettings",
                 "permission.notNow",
                 "rules.add",
                 "rules.remove",
                 "rules.save",
                 "rules.cancel",
                 "about.checkForUpdates",
                 "onboarding.getStarted",
                 "onboarding.continue",
                 "onboarding.start",
                 "onboarding.back",
                 "onboarding.done",
                 "onboarding.skip",
                 "general.hotkeyRecord",
                 "context.quickLook",
                 "context.open",
                 "context.revealInFinder",
                 "context.copy",
                 "context.copyPath",
                 "context.remove"});
}

} // namespace tarvo::L10n

namespace tarvo::TarvoLinks {
QString website() {
    return QStringLiteral("https://tarvoapp.com");
}
QString support() {
    return QStringLiteral("mailto:support@tarvoapp.com");
}
QString privacy() {
    return QStringLiteral("https://tarvoapp.com/privacy");
}
QString appcast() {
    return QStringLiteral("https://tarvoapp.com/appcast.xml");
}
} // namespace tarvo::TarvoLinks
