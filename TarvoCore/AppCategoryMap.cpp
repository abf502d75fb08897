#include "AppCategoryMap.h"

#include "CanonicalText.h"

#include <QSet>

#include <algorithm>
#include <initializer_list>

namespace tarvo {

namespace {

using C = AppCategory;

void insertAll(QHash<QString, AppCategory>& table, std::initializer_list<const char*> ids,
               AppCategory category) {
    for (const char* id : ids)
        table.insert(QString::fromLatin1(id), category);
}

QHash<QString, AppCategory> makeSeed() {
    QHash<QString, AppCategory> table;
    // Terminals.
    insertAll(table,
              {"com.apple.Terminal", "com.googlecode.iterm2", "dev.warp.Warp-Stable",
               "dev.warp.Warp", "com.mitchellh.ghostty", "io.alacritty", "net.kovidgoyal.kitty",
               "com.github.wez.wezterm", "co.zeit.hyper", "com.raphaelamorim.rio",
               "com.tabby.Tabby"},
              C::terminalOrEditor);
    // Editors.
    insertAll(table,
              {"com.microsoft.VSCode",
               "com.microsoft.VSCodeInsiders",
               "com.vscodium",
               "com.todesktop.230313mzl4w4u92",
               "com.exafunction.windsurf",
               "dev.zed.Zed",
               "dev.zed.Zed-Preview",
               "com.sublimetext.4",
               "com.sublimetext.3",
               "com.panic.Nova",
               "com.apple.dt.Xcode",
               "com.barebones.bbedit",
               "com.jetbrains.intellij",
               "com.jetbrains.intellij.ce",
               "com.jetbrains.pycharm",
               "com.jetbrains.WebStorm",
               "com.jetbrains.goland",
               "com.jetbrains.rubymine",
               "com.jetbrains.CLion",
               "com.jetbrains.AppCode",
               "com.jetbrains.fleet",
               "org.gnu.Emacs",
               "org.vim.MacVim",
               "com.neovide.neovide",
               "abnerworks.Typora",
               "md.obsidian",
               "com.coteditor.CotEditor",
               "org.textmate.TextMate"},
              C::terminalOrEditor);
    // Browsers.
    insertAll(table,
              {"com.apple.Safari", "com.apple.SafariTechnologyPreview", "com.google.Chrome",
               "com.google.Chrome.canary", "com.google.Chrome.beta", "company.thebrowser.Browser",
               "company.thebrowser.dia", "org.mozilla.firefox",
               "org.mozilla.firefoxdeveloperedition", "com.microsoft.edgemac", "com.brave.Browser",
               "com.vivaldi.Vivaldi", "com.operasoftware.Opera", "com.kagi.kagimacOS",
               "org.qutebrowser.qutebrowser", "com.duckduckgo.macos.browser",
               "com.sigmaos.sigmaos.stable"},
              C::browser);
    // Messaging.
    insertAll(table,
              {"com.apple.mail",
               "com.apple.MobileSMS",
               "com.tinyspeck.slackmacgap",
               "com.hnc.Discord",
               "ru.keepcoder.Telegram",
               "net.whatsapp.WhatsApp",
               "org.whispersystems.signal-desktop",
               "notion.id",
               "com.microsoft.teams2",
               "com.microsoft.teams",
               "us.zoom.xos",
               "com.readdle.smartemail-Mac",
               "com.microsoft.Outlook",
               "com.superhuman.electron",
               "com.missiveapp.missive",
               "com.linear",
               "com.atlassian.jira",
               "com.hey.app",
               "com.loom.desktop",
               "com.apple.iChat",
               "com.electron.chatgpt",
               "com.openai.chat",
               "com.anthropic.claudefordesktop"},
              C::messaging);
    // Design.
    insertAll(table,
              {"com.figma.Desktop", "com.bohemiancoding.sketch3", "com.adobe.Photoshop",
               "com.adobe.illustrator", "com.adobe.InDesign", "com.adobe.AfterEffects",
               "com.adobe.PremierePro", "com.seriflabs.affinityphoto2",
               "com.seriflabs.affinitydesigner2", "com.seriflabs.affinitypublisher2",
               "com.pixelmatorteam.pixelmator.x", "org.blenderfoundation.blender",
               "com.linearity.curve", "com.framer.desktop", "design.penpot.app"},
              C::design);
    table.insert(QStringLiteral("com.apple.finder"), C::finder);
    return table;
}

// Desktop-file ids as Debian packages and Flathub install them; where the two
// differ, both are listed.
QHash<QString, AppCategory> makeLinuxSeed() {
    QHash<QString, AppCategory> table;
    // Terminals.
    insertAll(table,
              {"org.gnome.Terminal", "org.gnome.Console", "org.gnome.Ptyxis", "org.kde.konsole",
               "xfce4-terminal", "org.xfce.terminal", "com.gexperts.Tilix", "terminator",
               "mate-terminal", "lxterminal", "qterminal", "kitty", "Alacritty",
               "org.wezfurlong.wezterm", "foot", "xterm", "debian-xterm", "io.elementary.terminal",
               "com.raggesilver.BlackBox"},
              C::terminalOrEditor);
    // Editors and IDEs.
    insertAll(table,
              {"code",
               "code-oss",
               "com.visualstudio.code",
               "codium",
               "com.vscodium.codium",
               "cursor",
               "org.gnome.TextEditor",
               "org.gnome.gedit",
               "org.gnome.Builder",
               "org.kde.kate",
               "org.kde.kwrite",
               "org.xfce.mousepad",
               "mousepad",
               "pluma",
               "xed",
               "geany",
               "org.geany.Geany",
               "emacs",
               "org.gnu.emacs",
               "gvim",
               "nvim",
               "sublime_text",
               "com.sublimetext.three",
               "jetbrains-idea",
               "jetbrains-idea-ce",
               "com.jetbrains.IntelliJ-IDEA-Community",
               "com.jetbrains.IntelliJ-IDEA-Ultimate",
               "jetbrains-pycharm",
               "jetbrains-pycharm-ce",
               "com.jetbrains.PyCharm-Community",
               "com.jetbrains.PyCharm-Professional",
               "jetbrains-clion",
               "jetbrains-goland",
               "jetbrains-webstorm",
               "jetbrains-rubymine",
               "obsidian",
               "md.obsidian.Obsidian",
               "typora",
               "io.typora.Typora"},
              C::terminalOrEditor);
    // Browsers.
    insertAll(table,
              {"firefox",
               "firefox-esr",
               "chromium",
               "chromium-browser",
               "org.chromium.Chromium",
               "google-chrome",
               "google-chrome-beta",
               "google-chrome-unstable",
               "microsoft-edge",
               "com.microsoft.Edge",
               "brave-browser",
               "vivaldi-stable",
               "opera",
               "com.opera.Opera",
               "org.gnome.Epiphany",
               "org.kde.falkon",
               "librewolf",
               "io.gitlab.librewolf-community",
               "org.torproject.torbrowser-launcher",
               "zen",
               "app.zen_browser.zen"},
              C::browser);
    // File managers: the desktop's counterpart of the Finder.
    insertAll(table,
              {"org.gnome.Nautilus", "org.kde.dolphin", "thunar", "org.xfce.Thunar", "nemo",
               "pcmanfm", "pcmanfm-qt", "caja", "io.elementary.files", "org.kde.krusader",
               "spacefm", "doublecmd"},
              C::finder);
    // Messaging and mail.
    insertAll(table,
              {"org.telegram.desktop",
               "telegram-desktop",
               "signal-desktop",
               "org.signal.Signal",
               "slack",
               "com.slack.Slack",
               "discord",
               "com.discordapp.Discord",
               "thunderbird",
               "org.mozilla.Thunderbird",
               "net.thunderbird.Thunderbird",
               "org.gnome.Evolution",
               "org.kde.kmail2",
               "org.gnome.Geary",
               "im.riot.Riot",
               "element-desktop",
               "org.gnome.Fractal",
               "zoom",
               "us.zoom.Zoom",
               "teams-for-linux",
               "com.github.IsmaelMartinez.teams_for_linux",
               "org.kde.neochat",
               "chat.delta.desktop"},
              C::messaging);
    // Design, photo and 3D.
    insertAll(table,
              {"org.gimp.GIMP",
               "gimp",
               "org.inkscape.Inkscape",
               "inkscape",
               "krita",
               "org.kde.krita",
               "blender",
               "org.blender.Blender",
               "darktable",
               "org.darktable.Darktable",
               "rawtherapee",
               "com.rawtherapee.RawTherapee",
               "scribus",
               "net.scribus.Scribus",
               "org.kde.kdenlive",
               "org.pitivi.Pitivi",
               "com.github.PintaProject.Pinta",
               "pinta",
               "org.freecad.FreeCAD",
               "io.github.lainsce.Emulsion"},
              C::design);
    return table;
}

bool containsText(const QStringList& list, const QString& text) {
    return std::any_of(list.begin(), list.end(),
                       [&](const QString& s) { return CanonicalText::equal(s, text); });
}

void removeAll(QStringList& list, const QString& text) {
    list.removeIf([&](const QString& s) { return CanonicalText::equal(s, text); });
}

QStringList sortedKeys(const QHash<QString, AppCategory>& table) {
    QStringList keys = table.keys();
    std::sort(keys.begin(), keys.end(), CanonicalText::less);
    return keys;
}

QStringList readIDs(const json::ObjectReader& reader, const char* key) {
    QStringList ids;
    if (!reader.optionalValue(QLatin1String(key)))
        return ids;
    const QJsonArray array = reader.array(QLatin1String(key));
    const json::CodingPath path = reader.pathTo(QLatin1String(key));
    for (qsizetype i = 0; i < array.size(); ++i)
        ids.append(json::readString(array.at(i), path + QStringList{QString::number(i)}));
    return ids;
}

} // namespace

const QHash<QString, AppCategory>& AppCategoryMap::seed() {
    // A function-local static is initialised once, safely from any thread.
    static const QHash<QString, AppCategory> table = makeSeed();
    return table;
}

const QHash<QString, AppCategory>& AppCategoryMap::linuxSeed() {
    static const QHash<QString, AppCategory> table = makeLinuxSeed();
    return table;
}

std::optional<AppCategory> AppCategoryMap::builtInCategory(const QString& bundleID) {
    const QString key = CanonicalText::form(bundleID);
    if (const auto it = seed().constFind(key); it != seed().constEnd())
        return *it;
    if (const auto it = linuxSeed().constFind(key); it != linuxSeed().constEnd())
        return *it;
    return std::nullopt;
}

QStringList AppCategoryMap::builtInBundleIDs() {
    QStringList ids = sortedKeys(seed());
    for (const QString& id : sortedKeys(linuxSeed())) {
        if (!seed().contains(id))
            ids.append(id);
    }
    return ids;
}

bool AppCategoryMap::isFileManager(const QString& bundleID) {
    return builtInCategory(bundleID) == AppCategory::finder;
}

AppCategory AppCategoryMap::category(const std::optional<QString>& bundleID) const {
    if (!bundleID)
        return AppCategory::other;
    if (const auto it = overrides.constFind(CanonicalText::form(*bundleID));
        it != overrides.constEnd())
        return *it;
    return builtInCategory(*bundleID).value_or(AppCategory::other);
}

void AppCategoryMap::setCategory(AppCategory category, const QString& bundleID) {
    overrides.insert(CanonicalText::form(bundleID), category);
    noteSeen(bundleID);
}

void AppCategoryMap::clearOverride(const QString& bundleID) {
    overrides.remove(CanonicalText::form(bundleID));
}

bool AppCategoryMap::noteSeen(const QString& bundleID) {
    if (containsText(seen, bundleID))
        return false;
    seen.append(bundleID);
    return true;
}

void AppCategoryMap::pin(const QString& bundleID) {
    if (isPinned(bundleID))
        return;
    pinned.append(bundleID);
    noteSeen(bundleID);
}

void AppCategoryMap::unpin(const QString& bundleID) {
    removeAll(pinned, bundleID);
}

void AppCategoryMap::forget(const QString& bundleID) {
    removeAll(pinned, bundleID);
    removeAll(seen, bundleID);
    clearOverride(bundleID);
}

bool AppCategoryMap::isPinned(const QString& bundleID) const {
    return containsText(pinned, bundleID);
}

QStringList AppCategoryMap::listedBundleIDs() const {
    QStringList ids;
    QSet<QString> forms;
    const auto add = [&](const QString& id) {
        if (!forms.contains(CanonicalText::form(id))) {
            forms.insert(CanonicalText::form(id));
            ids.append(id);
        }
    };
    for (const QString& id : seen)
        add(id);
    for (auto it = overrides.constBegin(); it != overrides.constEnd(); ++it)
        add(it.key());
    for (const QString& id : pinned)
        add(id);
    std::sort(ids.begin(), ids.end(), CanonicalText::less);
    return ids;
}

QJsonObject AppCategoryMap::toJson() const {
    QJsonObject map;
    for (auto it = overrides.constBegin(); it != overrides.constEnd(); ++it)
        map.insert(it.key(), tarvo::toJson(it.value()));
    return {{QStringLiteral("overrides"), map},
            {QStringLiteral("seen"), QJsonArray::fromStringList(seen)},
            {QStringLiteral("pinned"), QJsonArray::fromStringList(pinned)}};
}

AppCategoryMap AppCategoryMap::fromJson(const QJsonValue& value, const json::CodingPath& path) {
    const json::ObjectReader r(value, path);
    AppCategoryMap map;
    if (const auto overrides = r.optionalValue(QStringLiteral("overrides"))) {
        const json::CodingPath overridesPath = r.pathTo(QStringLiteral("overrides"));
        const json::ObjectReader o(*overrides, overridesPath);
        for (auto it = o.object().begin(); it != o.object().end(); ++it) {
            map.overrides.insert(CanonicalText::form(it.key()),
                                 appCategoryFromJson(it.value(), o.pathTo(it.key())));
        }
    }
    map.seen = readIDs(r, "seen");
    map.pinned = readIDs(r, "pinned");
    return map;
}

bool AppCategoryMap::operator==(const AppCategoryMap& other) const {
    const auto sameList = [](const QStringList& a, const QStringList& b) {
        return std::equal(a.begin(), a.end(), b.begin(), b.end(), CanonicalText::equal);
    };
    return overrides == other.overrides && sameList(seen, other.seen) &&
           sameList(pinned, other.pinned);
}

} // namespace tarvo
